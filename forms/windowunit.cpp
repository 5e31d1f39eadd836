#include "units/queries.h"

namespace units {

void* WindowQuery(int32_t) { return nullptr; }
void* MenuItemQuery(int32_t) { return nullptr; }

} // namespace units
