#include "NumCvt.h"

wstring_nc FormatNumber(std::uint64_t value, unsigned base, unsigned minWidth)
{
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (base < 2)
        base = 2;
    if (base > 36)
        base = 36;
    wchar_t reversed[64];
    unsigned count = 0;
    do {
        reversed[count++] = wchar_t(digits[value % base]);
        value /= base;
    } while (value);
    wstring_nc text;
    unsigned width = count > minWidth ? count : minWidth;
    text.reserve(width + 1);
    text.append(width - count, L'0');
    while (count)
        text.append(reversed[--count]);
    return text;
}
