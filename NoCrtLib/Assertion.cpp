#include "Assertion.h"

#include "Exceptions.h"
#include "TextConvert.h"

#include <windows.h>

namespace {

const char ReportFormat[] = "Assertion failed in module '%s', PID %u, source file '%s', line %u:\r\n%s";
const char FatalReportFormat[] =
    "\r\nAssertion failed in module '%s', PID %u, source file '%s', line %u:\r\n%s\r\n"
    "The asserting thread will be terminated.\r\n";

struct ModulePath {
    char text[300] = {};
    ModulePath() { GetModuleFileNameA(nullptr, text, 299); }
};

struct Report {
    char text[1025] = {};
};

void FormatReport(Report& report, const char* format, const char* conditionText, const char* sourceFile, unsigned line)
{
    ModulePath module;
    wsprintfA(report.text, format, module.text, unsigned(GetCurrentProcessId()), sourceFile, line, conditionText);
    report.text[1024] = 0;
}

bool IsInteractiveWindowStation()
{
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    return GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags), &needed) &&
           (flags.dwFlags & WSF_VISIBLE);
}

// About thirty seconds for a debugger to attach, then a break into it.
void OfferToDebugger()
{
    for (int i = 0; i < 300 && !IsDebuggerPresent(); ++i)
        Sleep(100);
    if (IsDebuggerPresent())
        DebugBreak();
}

// A handle opened here is closed when the report is done; a standard handle is left alone.
class ReportHandle {
public:
    ReportHandle(DWORD standardHandle, const wchar_t* deviceName, DWORD access)
    {
        m_handle = GetStdHandle(standardHandle);
        if (m_handle == nullptr || m_handle == INVALID_HANDLE_VALUE) {
            m_handle = CreateFileW(deviceName, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            m_owned = m_handle != INVALID_HANDLE_VALUE;
        }
    }
    ~ReportHandle()
    {
        if (m_owned)
            CloseHandle(m_handle);
    }
    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
    bool m_owned = false;
};

void WriteText(HANDLE handle, const char* text)
{
    DWORD written = 0;
    WriteFile(handle, text, DWORD(lstrlenA(text)), &written, nullptr);
}

}  // namespace

void AssertionFailure(const char* conditionText, const char* sourceFile, unsigned line)
{
    Report report;
    FormatReport(report, ReportFormat, conditionText, sourceFile, line);
    wstring_nc wideReport;
    if (!NarrowToWide(report.text, lstrlenA(report.text), CP_ACP, wideReport))
        throw StrAssertionFailed(
            L"Assertion failed. Additionally, converting assertion description to wide string also failed."_v);
    throw StrAssertionFailed(wideReport.str());
}

void FatalAssertionReport(const char* conditionText, const char* sourceFile, unsigned line)
{
    bool interactive = IsInteractiveWindowStation();
    if (!interactive)
        OfferToDebugger();
    Report report;
    FormatReport(report, FatalReportFormat, conditionText, sourceFile, line);
    OutputDebugStringA(report.text);
    {
        ReportHandle output(STD_OUTPUT_HANDLE, L"CONOUT$", GENERIC_WRITE);
        if (output.Valid()) {
            WriteText(output.Get(), report.text);
            if (interactive) {
                WriteText(output.Get(), "\r\nPress any key to continue.\r\n");
                ReportHandle input(STD_INPUT_HANDLE, L"CONIN$", GENERIC_READ);
                char key;
                DWORD read = 0;
                if (input.Valid())
                    ReadFile(input.Get(), &key, 1, &read, nullptr);
            }
        } else if (interactive) {
            MessageBoxA(nullptr, report.text, "Assertion failed", MB_ICONERROR);
        }
    }
    ExitProcess(34821);
}
