#include "constants.h"

namespace data {

const ConstantBlock kConstants = {
    {1, 0},
    "",
#define DEFINE_TEXT(name, text) text,
    PROGRAM_TEXTS(DEFINE_TEXT)
#undef DEFINE_TEXT
};

} // namespace data
