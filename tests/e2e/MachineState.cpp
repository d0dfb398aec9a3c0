#include "MachineState.h"

#include <sddl.h>

namespace {

const wchar_t* const InstallerExecutables[] = {L"KvSshServer-Inst.exe", L"KvSshServer-Inst-test.exe"};

std::wstring AppDefaultsKey(const wchar_t* executable)
{
    return std::wstring(L"Software\\Wine\\AppDefaults\\") + executable;
}

}  // namespace

void DeleteKeyTree(HKEY root, const std::wstring& path)
{
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

PlantedUninstallEntry::PlantedUninstallEntry(const std::wstring& keyName,
                                             const std::map<std::wstring, std::wstring>& values)
    : m_path(UninstallKeyPath + L"\\" + keyName)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const auto& value : values)
        RegSetValueExW(key, value.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                       DWORD((value.second.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

PlantedUninstallEntry::~PlantedUninstallEntry() { DeleteKeyTree(HKEY_LOCAL_MACHINE, m_path); }

WindowsVersionOverride::WindowsVersionOverride(const std::wstring& version)
{
    for (const wchar_t* executable : InstallerExecutables) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, AppDefaultsKey(executable).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                       DWORD((version.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

WindowsVersionOverride::~WindowsVersionOverride()
{
    for (const wchar_t* executable : InstallerExecutables)
        DeleteKeyTree(HKEY_CURRENT_USER, AppDefaultsKey(executable));
}

std::wstring KeyDaclText(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return L"";
    std::wstring text;
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::string buffer(size, '\0');
    if (size && RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size) == ERROR_SUCCESS) {
        wchar_t* sddl = nullptr;
        if (ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1,
                                                                 DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
            text = sddl;
            LocalFree(sddl);
        }
    }
    RegCloseKey(key);
    return text;
}

bool SetKeyDacl(HKEY root, const std::wstring& path, const std::wstring& sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key;
    bool done = false;
    if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        done = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return done;
}
