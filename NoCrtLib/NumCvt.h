// Number formatting.
#pragma once

#include "NoCrtString.h"

#include <cstdint>

// `value` in `base` (clamped to 2..36), at least `minWidth` digits, filled on the left with "0".
wstring_nc FormatNumber(std::uint64_t value, unsigned base = 10, unsigned minWidth = 0);
inline wstring_nc DecimalText(std::uint64_t value) { return FormatNumber(value, 10, 0); }
