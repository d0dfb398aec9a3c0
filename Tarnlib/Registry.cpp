#include "Registry.h"

#include "Transactions.h"
#include "Wow64.h"

namespace Tarnlib {

namespace {

struct RootName {
    const wchar_t* name;
    HKEY root;
};

const RootName RootNames[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {L"HKCU", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},                 {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {L"HKEY_DYN_DATA", HKEY_DYN_DATA},
};

DWORD LittleEndianWord(const unsigned char* bytes)
{
    return DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
}

// The characters of registry string data, rounded down to whole characters.
ncsize_t CharacterCount(const Kvect& data) { return data.size() / sizeof(wchar_t); }

const wchar_t* Characters(const Kvect& data) { return reinterpret_cast<const wchar_t*>(data.data()); }

}  // namespace

HKEY RootKeyFromName(wstrview rootName)
{
    for (const RootName& entry : RootNames)
        if (EqualsNoCase(rootName, wstrview(entry.name)))
            return entry.root;
    return nullptr;
}

RegLocation RegLocation::Path(wstrview path)
{
    RegLocation location;
    ncsize_t slash = 0;
    while (slash < path.len && path.ptr[slash] != L'\\')
        ++slash;
    location.root = RootKeyFromName(path.substr(0, slash));
    if (slash < path.len)
        location.subkey = path.substr(slash + 1);
    return location;
}

RegLocation RegLocation::Under(HKEY root, wstrview subkey)
{
    RegLocation location;
    location.root = root;
    location.subkey = subkey;
    return location;
}

RegLocation RegLocation::Machine(wstrview subkey) { return Under(HKEY_LOCAL_MACHINE, subkey); }

RegLocation RegLocation::Key(HKEY key)
{
    RegLocation location;
    location.root = key;
    location.keyOnly = true;
    return location;
}

Kvect MultiStringData(const ncvector<wstring_nc>& list)
{
    ncsize_t characters = 1;
    for (ncsize_t i = 0; i < list.size(); ++i)
        characters += list[i].length() + 1;
    if (list.empty())
        characters = 2;  // an empty list is stored as two 0 characters
    Kvect data;
    data.resize(characters * sizeof(wchar_t));
    wchar_t* out = reinterpret_cast<wchar_t*>(data.data());
    for (ncsize_t i = 0; i < list.size(); ++i) {
        std::memcpy(out, list[i].c_str(), (list[i].length() + 1) * sizeof(wchar_t));
        out += list[i].length() + 1;
    }
    return data;
}

template <int Throw>
CReg<Throw>::CReg(const RegLocation& location)
    : m_root(location.root), m_subkey(location.subkey), m_keyOnly(location.keyOnly),
      m_wow64(Wow64::IsCurrentProcessWow64())
{
}

template <int Throw>
REGSAM CReg<Throw>::WithView(REGSAM access, int view) const
{
    if (m_wow64 && view == View64)
        return access | KEY_WOW64_64KEY;
    if (m_wow64 && view == View32)
        return access | KEY_WOW64_32KEY;
    return access;
}

template <int Throw>
void CReg<Throw>::Opened(LONG status, wstrview function)
{
    if (status != ERROR_SUCCESS) {
        RegFailure(function, DWORD(status));
        return;
    }
    m_opened = true;
}

template <int Throw>
void CReg<Throw>::Open(REGSAM access, int view, HANDLE transaction)
{
    if (this->Failed())
        return;
    REGSAM mask = WithView(access, view);
    if (transaction == nullptr || transaction == INVALID_HANDLE_VALUE) {
        LONG status = KV_SYSCALL_STATUS("RegOpenKeyExW", RegOpenKeyExW(m_root, SubkeyOrNull(), 0, mask, &m_key));
        Opened(status, L"RegOpenKeyExW()"_v);
        return;
    }
    const TransactionFunctions* functions = AvailableTransactionFunctions();
    LONG status = ERROR_NOT_SUPPORTED;
    if (functions)
        status = KV_SYSCALL_STATUS("RegOpenKeyTransactedW",
                                   functions->regOpenKeyTransacted(m_root, SubkeyOrNull(), 0, mask, &m_key,
                                                                   transaction, nullptr));
    Opened(status, L"RegOpenKeyTransactedW()"_v);
}

template <int Throw>
void CReg<Throw>::Create(REGSAM access, int view)
{
    if (this->Failed())
        return;
    if (m_keyOnly) {
        LONG status = KV_SYSCALL_STATUS("RegOpenKeyExW", RegOpenKeyExW(m_root, nullptr, 0, KEY_SET_VALUE, &m_key));
        if (status == ERROR_SUCCESS)
            m_result = REG_OPENED_EXISTING_KEY;
        Opened(status, L"RegOpenKeyExW()"_v);
        return;
    }
    LONG status = KV_SYSCALL_STATUS(
        "RegCreateKeyExW", RegCreateKeyExW(m_root, m_subkey.c_str(), 0, nullptr, 0, WithView(access, view), nullptr,
                                           &m_key, &m_result));
    Opened(status, L"RegCreateKeyExW()"_v);
}

template <int Throw>
bool CReg<Throw>::ReadRaw(wstrview valueName, DWORD type1, DWORD type2, Kvect& data)
{
    if (this->Failed())
        return false;
    TerminatedText name(valueName);
    DWORD size = 0;
    LONG status =
        KV_SYSCALL_STATUS("RegQueryValueExW", RegQueryValueExW(m_key, name, nullptr, &m_result, nullptr, &size));
    if (status == ERROR_SUCCESS && m_result != type1 && m_result != type2)
        status = ERROR_INVALID_DATATYPE;
    if (status == ERROR_SUCCESS) {
        data.resize(size);
        status = KV_SYSCALL_STATUS("RegQueryValueExW",
                                   RegQueryValueExW(m_key, name, nullptr, &m_result, data.data(), &size));
    }
    if (status != ERROR_SUCCESS) {
        RegFailure(L"RegQueryValueExW()"_v, DWORD(status));
        return false;
    }
    data.resize(size);
    return true;
}

template <int Throw>
void CReg<Throw>::ReadNumber(wstrview valueName, DWORD& number)
{
    Kvect data;
    if (!ReadRaw(valueName, REG_DWORD, REG_DWORD_BIG_ENDIAN, data))
        return;
    if (data.size() < 4) {
        RegFailure(L"RegQueryValueExW()"_v, ERROR_INVALID_DATA);
        return;
    }
    DWORD value = LittleEndianWord(data.data());
    if (m_result == REG_DWORD_BIG_ENDIAN)
        value = (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
    number = value;
}

template <int Throw>
void CReg<Throw>::ReadString(wstrview valueName, wstring_nc& text)
{
    Kvect data;
    if (!ReadRaw(valueName, REG_SZ, REG_EXPAND_SZ, data))
        return;
    ncsize_t count = CharacterCount(data);
    if (count == 0) {
        text.clear();
        return;
    }
    const wchar_t* characters = Characters(data);
    if (characters[count - 1] != 0) {
        RegFailure(L"RegQueryValueExW()"_v, ERROR_INVALID_DATA);
        return;
    }
    if (m_result == REG_SZ) {
        text.assign(wstrview(characters));
        return;
    }
    DWORD needed = KV_SYSCALL("ExpandEnvironmentStringsW", 0, ExpandEnvironmentStringsW(characters, nullptr, 0));
    if (needed == 0) {
        RegFailure(L"ExpandEnvironmentStringsW()"_v, GetLastError());
        return;
    }
    wstring_nc expanded;
    expanded.resize(needed + 1);
    if (KV_SYSCALL("ExpandEnvironmentStringsW", 0,
                   ExpandEnvironmentStringsW(characters, expanded.data(), needed + 1)) == 0) {
        RegFailure(L"ExpandEnvironmentStringsW()"_v, GetLastError());
        return;
    }
    text.assign(wstrview(expanded.c_str()));
}

template <int Throw>
void CReg<Throw>::ReadStringList(wstrview valueName, ncvector<wstring_nc>& list)
{
    Kvect data;
    if (!ReadRaw(valueName, REG_MULTI_SZ, REG_MULTI_SZ, data))
        return;
    ncsize_t count = CharacterCount(data);
    const wchar_t* characters = Characters(data);
    if (count > 0 && characters[count - 1] != 0) {
        RegFailure(L"RegQueryValueExW()"_v, ERROR_INVALID_DATA);
        return;
    }
    list.clear();
    if (count <= 1)
        return;
    if (characters[count - 2] == 0)
        --count;
    for (ncsize_t position = 0; position < count;) {
        wstrview entry(characters + position);
        list.push_back(wstring_nc(entry));
        position += entry.len + 1;
    }
}

template <int Throw>
void CReg<Throw>::Write(wstrview valueName, DWORD type, const void* data, DWORD bytes)
{
    if (this->Failed())
        return;
    TerminatedText name(valueName);
    LONG status = KV_SYSCALL_STATUS(
        "RegSetValueExW", RegSetValueExW(m_key, name, 0, type, static_cast<const BYTE*>(data), bytes));
    if (status != ERROR_SUCCESS)
        RegFailure(L"RegSetValueExW()"_v, DWORD(status));
}

template <int Throw>
void CReg<Throw>::DeleteValue(wstrview valueName)
{
    if (this->Failed())
        return;
    TerminatedText name(valueName);
    LONG status = KV_SYSCALL_STATUS("RegDeleteValueW", RegDeleteValueW(m_key, name));
    if (status != ERROR_SUCCESS)
        RegFailure(L"RegDeleteValueW()"_v, DWORD(status));
}

template <int Throw>
void CReg<Throw>::ListSubkeys(ncvector<wstring_nc>& names)
{
    if (this->Failed())
        return;
    DWORD subkeyCount = 0;
    DWORD longestName = 0;
    LONG status = KV_SYSCALL_STATUS("RegQueryInfoKeyW",
                                    RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, &subkeyCount, &longestName,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    if (status != ERROR_SUCCESS) {
        RegFailure(L"RegQueryInfoKeyW()"_v, DWORD(status));
        return;
    }
    DWORD capacity = (longestName > 260 ? longestName : 260) + 10;
    wstring_nc buffer;
    buffer.resize(capacity);
    names.clear();
    names.reserve(names.size() + subkeyCount);
    for (DWORD index = 0;; ++index) {
        DWORD length = capacity + 1;
        status = KV_SYSCALL_STATUS("RegEnumKeyExW", RegEnumKeyExW(m_key, index, buffer.data(), &length, nullptr,
                                                                  nullptr, nullptr, nullptr));
        if (status == ERROR_NO_MORE_ITEMS)
            return;
        if (status != ERROR_SUCCESS) {
            RegFailure(L"RegEnumKeyExW()"_v, DWORD(status));
            return;
        }
        names.push_back(wstring_nc(wstrview(buffer.c_str(), length, false)));
    }
}

template class CReg<0>;
template class CReg<1>;

}  // namespace Tarnlib
