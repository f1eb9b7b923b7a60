// Reading a number from the front of a text, as the C library's wcstol does
// with base 10 where long has 32 bits: leading white space, one optional
// sign, the digits up to the first other character; 0 without digits, and
// values beyond the 32-bit range clamped to its ends. Settings stored as
// decimal text and numbers taken from the usage feed are both read this way.
#pragma once

#include <cstdint>

#include "base/codepage.h"

namespace gw {

int32_t ParseDecimal(WideView text);

}  // namespace gw
