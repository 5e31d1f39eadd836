#include "queries.h"

namespace units {

void* RichEditQuery(int32_t) { return nullptr; }

} // namespace units
