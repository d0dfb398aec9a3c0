// Helpers of the wrapper tests: test-unique names, expected failure texts, open-handle checks, and
// registry keys the tests may change freely: HKEY_CURRENT_USER (or another root, in a chosen
// registry view) "Software\KvTarnlibTests\<test name>", emptied before use and deleted afterwards.
#pragma once

#include "../NoCrtLib/TestSupport.h"

#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/Registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline const wchar_t ScratchParent[] = L"Software\\KvTarnlibTests";

// "Suite.Test" of the running test, for names that must not collide between tests.
inline std::wstring CurrentTestName()
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    return std::wstring(name.begin(), name.end());
}

// The failure message of a Windows call that failed with `error`.
inline std::wstring WindowsFailure(const wchar_t* function, DWORD error)
{
    return std::wstring(function) + L" failed: Windows error " + std::to_wstring(error) + L": " +
           W(WinErrorText(error).str());
}

inline bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// The bytes of a text with its terminating 0, as stored for REG_SZ and friends.
inline std::vector<unsigned char> TextBytes(const std::wstring& text)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
    return std::vector<unsigned char>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

// 16-bit characters as registry data, exactly as given (no terminator is added).
inline std::vector<unsigned char> CharBytes(const std::vector<wchar_t>& characters)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(characters.data());
    return std::vector<unsigned char>(bytes, bytes + characters.size() * sizeof(wchar_t));
}

class ScratchKey {
public:
    // `view` is 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY.
    explicit ScratchKey(const std::wstring& name, HKEY root = HKEY_CURRENT_USER, REGSAM view = 0)
        : m_root(root), m_view(view), m_subkey(std::wstring(ScratchParent) + L"\\" + name)
    {
        DeleteTree();
        LONG status = RegCreateKeyExW(m_root, m_subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr,
                                      &m_key, nullptr);
        if (status != ERROR_SUCCESS)
            ADD_FAILURE() << "cannot create the scratch key, error " << status;
    }
    ~ScratchKey()
    {
        if (m_key)
            RegCloseKey(m_key);
        DeleteTree();
        RegDeleteKeyExW(m_root, ScratchParent, m_view, 0);  // only succeeds once it is empty
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    HKEY Key() const { return m_key; }
    const std::wstring& Subkey() const { return m_subkey; }
    Tarnlib::RegLocation Location() const { return Tarnlib::RegLocation::Under(m_root, m_subkey.c_str()); }
    Tarnlib::RegLocation Location(const std::wstring& below) const
    {
        return Tarnlib::RegLocation::Under(m_root, (m_subkey + L"\\" + below).c_str());
    }

    // Stores exactly `bytes`. The buffer handed over carries non-zero padding: for string types
    // Windows adds a terminator that the caller "forgot" when the character after the data is 0,
    // and it reads that character beyond the given size.
    void Put(const std::wstring& name, DWORD type, const std::vector<unsigned char>& bytes) const
    {
        std::vector<unsigned char> padded(bytes);
        padded.insert(padded.end(), {0xFF, 0xFF, 0xFF, 0xFF});
        LONG status = RegSetValueExW(m_key, name.c_str(), 0, type, bytes.empty() ? nullptr : padded.data(),
                                     DWORD(bytes.size()));
        ASSERT_EQ(status, ERROR_SUCCESS) << "cannot store the value " << std::string(name.begin(), name.end());
    }

    // The value as stored; false when it cannot be read.
    bool Get(const std::wstring& name, DWORD& type, std::vector<unsigned char>& bytes) const
    {
        DWORD size = 0;
        if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        bytes.assign(size, 0);
        if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS)
            return false;
        bytes.resize(size);
        return true;
    }

    bool HasValue(const std::wstring& name) const
    {
        return RegQueryValueExW(m_key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    void AddSubkey(const std::wstring& name) const
    {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExW(m_key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(child);
    }

private:
    void DeleteTree()
    {
        HKEY parent = nullptr;
        if (RegOpenKeyExW(m_root, ScratchParent, 0, KEY_ALL_ACCESS | m_view, &parent) != ERROR_SUCCESS)
            return;
        std::wstring leaf = m_subkey.substr(wcslen(ScratchParent) + 1);
        RegDeleteTreeW(parent, leaf.c_str());
        RegCloseKey(parent);
    }

    HKEY m_root;
    REGSAM m_view;
    std::wstring m_subkey;
    HKEY m_key = nullptr;
};
