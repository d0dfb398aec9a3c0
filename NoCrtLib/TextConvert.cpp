#include "TextConvert.h"

#include "Exceptions.h"

namespace {

bool TakesNoFlags(UINT codePage) { return codePage == CP_UTF8 || codePage == CP_UTF7; }

}  // namespace

bool NarrowToWide(const char* text, int byteCount, UINT codePage, wstring_nc& out)
{
    out.clear();
    if (byteCount < 0)
        return false;
    if (byteCount == 0)
        return true;
    DWORD flags = TakesNoFlags(codePage) ? 0 : MB_PRECOMPOSED | MB_ERR_INVALID_CHARS;
    int needed = MultiByteToWideChar(codePage, flags, text, byteCount, nullptr, 0);
    if (needed == 0 && flags && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        needed = MultiByteToWideChar(codePage, flags, text, byteCount, nullptr, 0);
    }
    if (needed <= 0)
        return false;
    out.resize(ncsize_t(needed));
    if (MultiByteToWideChar(codePage, flags, text, byteCount, out.data(), needed) != needed) {
        out.clear();
        return false;
    }
    return true;
}

bool WideToNarrow(const wchar_t* text, int charCount, UINT codePage, astring_nc& out)
{
    out.clear();
    if (charCount < 0)
        return false;
    if (charCount == 0)
        return true;
    int needed = WideCharToMultiByte(codePage, 0, text, charCount, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return false;
    out.resize(ncsize_t(needed));
    if (WideCharToMultiByte(codePage, 0, text, charCount, out.data(), needed, nullptr, nullptr) != needed) {
        out.clear();
        return false;
    }
    return true;
}

wstring_nc NarrowToWide(astrview text, UINT codePage)
{
    wstring_nc out;
    if (!NarrowToWide(text.ptr, int(text.len), codePage, out))
        throw N2WException();
    return out;
}

astring_nc WideToNarrow(wstrview text, UINT codePage)
{
    astring_nc out;
    if (!WideToNarrow(text.ptr, int(text.len), codePage, out))
        throw W2NException();
    return out;
}
