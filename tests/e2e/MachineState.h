// What the end-to-end tests plant on the machine and read back from it.
#pragma once

#include <windows.h>

#include <map>
#include <string>

inline const std::wstring UninstallKeyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline const std::wstring ProductKeyPath = L"SOFTWARE\\Korvane";

void DeleteKeyTree(HKEY root, const std::wstring& path);
bool KeyExists(HKEY root, const std::wstring& path);
// A file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// An Uninstall entry of a site, with string values; removed again when the object goes.
class PlantedUninstallEntry {
public:
    PlantedUninstallEntry(const std::wstring& keyName, const std::map<std::wstring, std::wstring>& values);
    ~PlantedUninstallEntry();
    PlantedUninstallEntry(const PlantedUninstallEntry&) = delete;
    PlantedUninstallEntry& operator=(const PlantedUninstallEntry&) = delete;

private:
    std::wstring m_path;
};

// Makes Wine report another Windows version to the installer while the object lives.
class WindowsVersionOverride {
public:
    explicit WindowsVersionOverride(const std::wstring& version);
    ~WindowsVersionOverride();
    WindowsVersionOverride(const WindowsVersionOverride&) = delete;
    WindowsVersionOverride& operator=(const WindowsVersionOverride&) = delete;
};

// The access list of a key as security descriptor text (SDDL); empty when it cannot be read.
std::wstring KeyDaclText(HKEY root, const std::wstring& path);
// Gives a key an access list from SDDL text.
bool SetKeyDacl(HKEY root, const std::wstring& path, const std::wstring& sddl);

// A picture of some directories and registry keys: every entry below them, with file sizes and
// value data, so that two pictures compare equal exactly when nothing there changed.
class MachineSnapshot {
public:
    MachineSnapshot& Directory(const std::wstring& path);
    MachineSnapshot& File(const std::wstring& path);
    MachineSnapshot& Key(HKEY root, const std::wstring& path);
    MachineSnapshot& Value(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);

    bool operator==(const MachineSnapshot& other) const { return m_entries == other.m_entries; }
    // The entries that differ, one per line, for a failure message.
    std::string Difference(const MachineSnapshot& other) const;

private:
    std::map<std::wstring, std::wstring> m_entries;
};
