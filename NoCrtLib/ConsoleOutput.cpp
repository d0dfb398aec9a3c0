#include "ConsoleOutput.h"

#include "TextConvert.h"

#include <windows.h>

namespace {

void WriteToConsole(HANDLE console, wstrview text)
{
    while (text.len > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(console, text.ptr, text.len, &written, nullptr) || written == 0)
            return;
        text = text.substr(written);
    }
}

// Nothing is buffered: each write reaches the pipe or file before the call returns.
void WriteToFile(HANDLE file, wstrview text)
{
    astring_nc utf8;
    if (!WideToNarrow(text.ptr, int(text.len), CP_UTF8, utf8))
        return;
    const char* bytes = utf8.c_str();
    DWORD remaining = utf8.length();
    while (remaining > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, remaining, &written, nullptr) || written == 0)
            return;
        bytes += written;
        remaining -= written;
    }
}

// Whether the standard output handle is a console, asked once per handle.
bool IsConsole(HANDLE output)
{
    static HANDLE s_checked = nullptr;
    static bool s_console = false;
    if (output != s_checked) {
        DWORD mode;
        s_console = GetConsoleMode(output, &mode) != FALSE;
        s_checked = output;
    }
    return s_console;
}

}  // namespace

void PrintText(wstrview text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return;
    if (IsConsole(output))
        WriteToConsole(output, text);
    else
        WriteToFile(output, text);
}

void PrintLine(wstrview text)
{
    wstring_nc line;
    line.reserve(text.len + 2);
    line.append(text);
    line.append(L'\n');
    PrintText(line.str());
}
