#include "ProductKey.h"

#include "InstallerState.h"
#include "OperationFramework.h"
#include "Reporting.h"
#include "RunExit.h"
#include "UserMessages.h"

#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/TextConvert.h"
#include "Tarnlib/FaultSeam.h"

#include <initializer_list>
#include <new>

namespace {

constexpr int ExitProductKeyFailed = 106;
constexpr DWORD SecurityBufferSize = 204800;

class OpenKey : public NoCopy {
public:
    ~OpenKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    HKEY* Address() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

class SecurityBuffer : public NoCopy {
public:
    SecurityBuffer() : m_bytes(static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, SecurityBufferSize + 1)))
    {
        if (!m_bytes)
            throw InstallError(WinErrorDescription(ERROR_NOT_ENOUGH_MEMORY));
    }
    ~SecurityBuffer() { HeapFree(GetProcessHeap(), 0, m_bytes); }
    PSECURITY_DESCRIPTOR Get() const { return m_bytes; }

private:
    unsigned char* m_bytes;
};

[[noreturn]] void Fail(wstrview call, LONG status)
{
    throw InstallError(call + L" failed: "_v + WinErrorDescription(DWORD(status)));
}

void ReadDacl(HKEY key, const SecurityBuffer& buffer)
{
    DWORD size = SecurityBufferSize;
    LONG status = KV_SYSCALL_STATUS("RegGetKeySecurity",
                                    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.Get(), &size));
    if (status != ERROR_SUCCESS)
        Fail(L"RegGetKeySecurity()"_v, status);
}

// Creates the key; for a key that existed, copies the access list of "SOFTWARE" onto it.
void EnsureProductKey(bool& keyOpened)
{
    OpenKey productKey;
    DWORD disposition = 0;
    LONG status = KV_SYSCALL_STATUS("RegCreateKeyExW",
                                    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ProductKey.ptr, 0, nullptr, 0,
                                                    READ_CONTROL | WRITE_DAC, nullptr, productKey.Address(),
                                                    &disposition));
    if (status != ERROR_SUCCESS)
        Fail(L"RegCreateKeyEx()"_v, status);
    keyOpened = true;
    if (disposition == REG_CREATED_NEW_KEY)
        return;

    OpenKey softwareKey;
    status = KV_SYSCALL_STATUS("RegOpenKeyExW",
                               RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, READ_CONTROL, softwareKey.Address()));
    if (status != ERROR_SUCCESS)
        Fail(L"RegOpenKeyEx()"_v, status);
    SecurityBuffer productSecurity;
    SecurityBuffer softwareSecurity;
    ReadDacl(productKey.Get(), productSecurity);
    ReadDacl(softwareKey.Get(), softwareSecurity);
    status = KV_SYSCALL_STATUS("RegSetKeySecurity",
                               RegSetKeySecurity(productKey.Get(), DACL_SECURITY_INFORMATION, softwareSecurity.Get()));
    if (status != ERROR_SUCCESS)
        Fail(L"RegSetKeySecurity()"_v, status);
}

wstring_nc FailureText(const std::exception& error)
{
    wstring_nc text = WidenedWhat(error);
    for (wchar_t ending : {L'\n', L'\r', L'.'})
        if (!text.empty() && text[text.length() - 1] == ending)
            text.erase(text.length() - 1);
    return text;
}

void ReportFailure(bool keyOpened, wstrview failure, bool isAdministrator)
{
    wstrview caption = keyOpened ? L"Setting access control for Korvane registry key failed"_v
                                 : L"Creating Korvane registry key failed"_v;
    PrintLine(caption);
    PrintLine(failure);
    if (!isAdministrator)
        PrintLine(L"Try running installer as administrator"_v);
    wstring_nc text = caption + L".\n"_v + failure + L".\n"_v;
    wstrview boxCaption = L"Creating Korvane registry key failed"_v;
    if (!isAdministrator && InstallerState::Instance().interactive) {
        text += L"Try running installer as Administrator.\n"_v;
        ShowMessageBox(text, boxCaption, MB_ICONWARNING | MB_OK);
        throw SilentExit(ExitProductKeyFailed);
    }
    ContinueOrAbort(text + L"Continuing installation is not recommended. Do you want to continue anyway?"_v,
                    boxCaption, ExitProductKeyFailed);
}

}  // namespace

void CreateProductKey(bool (*isAdministrator)())
{
    PrintLine(L"Creating Korvane registry key"_v);
    bool keyOpened = false;
    try {
        EnsureProductKey(keyOpened);
    } catch (const std::exception& error) {
        ReportFailure(keyOpened, FailureText(error), isAdministrator());
    }
}
