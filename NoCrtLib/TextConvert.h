// Conversions between the narrow code pages and UTF-16.
#pragma once

#include "NoCrtString.h"

#include <windows.h>

// False on failure (the output is then empty); a count of 0 gives an empty text and true,
// a negative count fails.
bool NarrowToWide(const char* text, int byteCount, UINT codePage, wstring_nc& out);
bool WideToNarrow(const wchar_t* text, int charCount, UINT codePage, astring_nc& out);

// Throwing forms: N2WException and W2NException.
wstring_nc NarrowToWide(astrview text, UINT codePage);
astring_nc WideToNarrow(wstrview text, UINT codePage);
