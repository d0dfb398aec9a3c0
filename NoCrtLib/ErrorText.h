// The only way a Windows error code or an HRESULT becomes text.
#pragma once

#include "NoCrtString.h"

#include <windows.h>

// Up to 99999 in decimal, above that "0x" and 8 upper-case hexadecimal digits.
wstring_nc ErrorNumberText(DWORD code);
// "Windows error " + number, with a final period when asked.
wstring_nc WinErrorNumberText(DWORD code, bool withPeriod);
// The message text of the code, or "Windows error <n>." when none is found.
wstring_nc WinErrorText(DWORD code);
// "Windows error <n>: <text>", or "Windows error <n>." when no text is found.
wstring_nc WinErrorDescription(DWORD code);
// The text of an HRESULT; empty when none is known.
wstring_nc ComErrorText(HRESULT hr);
// The built-in text of a code, used when the system has none; null when there is none.
const wchar_t* BuiltinErrorText(DWORD code);
