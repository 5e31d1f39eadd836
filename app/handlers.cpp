#include "handlers.h"

namespace app {

// The window's "created" event needs nothing.
bool OnWindowCreated(int32_t, const int64_t*, int64_t*) { return false; }

bool OnListDevices(int32_t, const int64_t*, int64_t*) { return false; }
bool OnForegroundPackage(int32_t, const int64_t*, int64_t*) { return false; }
bool OnDisablePackage(int32_t, const int64_t*, int64_t*) { return false; }
bool OnDeletePackage(int32_t, const int64_t*, int64_t*) { return false; }
bool OnListDisabled(int32_t, const int64_t*, int64_t*) { return false; }
bool OnEnablePackage(int32_t, const int64_t*, int64_t*) { return false; }

} // namespace app
