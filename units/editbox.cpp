#include "queries.h"

namespace units {

void* EditBoxQuery(int32_t) { return nullptr; }

} // namespace units
