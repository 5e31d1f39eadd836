// The unit type tables of the core library (51 slots) and of the extended
// interface library (9 slots). Unused slots are all-zero records.
#pragma once

#include "runtime/library.h"

namespace units {

constexpr int32_t kCoreTypeCount = 51;
constexpr int32_t kExtTypeCount = 9;

extern const rt::UnitTypeRecord kCoreTypes[kCoreTypeCount];
extern const rt::UnitTypeRecord kExtTypes[kExtTypeCount];

} // namespace units
