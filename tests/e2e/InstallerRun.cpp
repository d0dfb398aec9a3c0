#include "InstallerRun.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* Address() { return &m_handle; }
    HANDLE Get() const { return m_handle; }
    void Close()
    {
        if (m_handle && m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

std::wstring InstallerPath(InstallerBuild build)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.rfind(L'\\') + 1);
    return directory + (build == InstallerBuild::Shipped ? L"KvSshServer-Inst.exe" : L"KvSshServer-Inst-test.exe");
}

// Sets environment variables for the children started while it lives.
class EnvironmentScope {
public:
    explicit EnvironmentScope(const std::vector<std::pair<std::wstring, std::wstring>>& variables)
        : m_variables(variables)
    {
        for (const auto& variable : m_variables)
            SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
    }
    ~EnvironmentScope()
    {
        for (const auto& variable : m_variables)
            SetEnvironmentVariableW(variable.first.c_str(), nullptr);
    }

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_variables;
};

// Reads the child's output until it ends; a child that runs longer than the limit (a question
// that nobody answers, say) is ended, and the test fails instead of hanging.
InstallerResult CollectOutput(HANDLE process, HANDLE output)
{
    constexpr DWORD LimitMilliseconds = 120000;
    InstallerResult result = {};
    DWORD start = GetTickCount();
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        DWORD read = 0;
        if (PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            if (ReadFile(output, buffer, sizeof(buffer), &read, nullptr) && read > 0)
                result.output.append(buffer, read);
            continue;
        }
        if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0) {
            while (ReadFile(output, buffer, sizeof(buffer), &read, nullptr) && read > 0)
                result.output.append(buffer, read);
            break;
        }
        if (GetTickCount() - start > LimitMilliseconds) {
            TerminateProcess(process, 1);
            ADD_FAILURE() << "the installer did not end within " << LimitMilliseconds / 1000 << " s";
            break;
        }
    }
    GetExitCodeProcess(process, &result.exitCode);
    return result;
}

}  // namespace

InstallerResult RunInstaller(const std::wstring& arguments, InstallerBuild build,
                             const std::vector<std::pair<std::wstring, std::wstring>>& environment)
{
    EnvironmentScope scope(environment);
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.Address(), writeEnd.Address(), &inheritable, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();

    std::wstring program = InstallerPath(build);
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        throw std::runtime_error("CreateProcessW failed");
    Handle processHandle(process.hProcess);
    Handle threadHandle(process.hThread);
    writeEnd.Close();

    InstallerResult result = CollectOutput(processHandle.Get(), readEnd.Get());
    return result;
}

void ExpectRuns(const std::vector<RunCase>& cases)
{
    for (const RunCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "arguments: " << std::string(c.arguments.begin(), c.arguments.end()));
        InstallerResult result = RunInstaller(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}
