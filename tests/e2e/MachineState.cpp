#include "MachineState.h"

#include <sddl.h>

#include <fstream>
#include <sstream>

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

namespace {

std::wstring HexBytes(const BYTE* data, DWORD size)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (DWORD i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

std::string Narrow(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

void AddValues(HKEY key, const std::wstring& name, std::map<std::wstring, std::wstring>& entries)
{
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLength = 16384;
        RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        entries[name + L"|" + valueName] =
            std::to_wstring(type) + L":" + HexBytes(reinterpret_cast<const BYTE*>(data.data()), size);
    }
}

void AddKeyTree(HKEY root, const std::wstring& path, const std::wstring& name,
                std::map<std::wstring, std::wstring>& entries)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        entries[name] = L"(no key)";
        return;
    }
    entries[name] = L"key";
    AddValues(key, name, entries);
    for (DWORD index = 0;; ++index) {
        wchar_t subkey[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        AddKeyTree(root, path + L"\\" + subkey, name + L"\\" + subkey, entries);
    }
    RegCloseKey(key);
}

void AddDirectoryTree(const std::wstring& path, std::map<std::wstring, std::wstring>& entries)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        entries[path] = L"(nothing)";
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        entries[path] = L"file:" + std::to_wstring(data.nFileSizeLow);
        return;
    }
    entries[path] = L"directory";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            AddDirectoryTree(path + L"\\" + name, entries);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

MachineSnapshot& MachineSnapshot::Directory(const std::wstring& path)
{
    AddDirectoryTree(path, m_entries);
    return *this;
}

MachineSnapshot& MachineSnapshot::File(const std::wstring& path) { return Directory(path); }

MachineSnapshot& MachineSnapshot::Key(HKEY root, const std::wstring& path)
{
    AddKeyTree(root, path, (root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + path, m_entries);
    return *this;
}

MachineSnapshot& MachineSnapshot::Value(HKEY root, const std::wstring& keyPath, const std::wstring& valueName)
{
    std::wstring name = (root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + keyPath + L"|" + valueName;
    HKEY key;
    DWORD type = 0;
    DWORD size = 0;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS ||
        RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        m_entries[name] = L"(no value)";
        return *this;
    }
    std::string data(size, '\0');
    RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    m_entries[name] = std::to_wstring(type) + L":" + HexBytes(reinterpret_cast<const BYTE*>(data.data()), size);
    return *this;
}

std::string MachineSnapshot::Difference(const MachineSnapshot& other) const
{
    std::string text;
    for (const auto& entry : m_entries) {
        auto found = other.m_entries.find(entry.first);
        if (found == other.m_entries.end())
            text += "only before: " + Narrow(entry.first) + " = " + Narrow(entry.second) + "\n";
        else if (found->second != entry.second)
            text += "changed: " + Narrow(entry.first) + ": " + Narrow(entry.second) + " -> " + Narrow(found->second) + "\n";
    }
    for (const auto& entry : other.m_entries)
        if (!m_entries.count(entry.first))
            text += "only after: " + Narrow(entry.first) + " = " + Narrow(entry.second) + "\n";
    return text;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}
