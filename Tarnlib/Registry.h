// Registry access: open, create, read, write, delete values and list subkeys.
#pragma once

#include "FaultSeam.h"
#include "NoCrtLib/NoCrtVector.h"
#include "WrapperBase.h"

namespace Tarnlib {

// Where a key is: a root and a subkey, or an open key itself.
struct RegLocation {
    HKEY root = nullptr;
    wstring_nc subkey;
    bool keyOnly = false;

    // "HKLM\SOFTWARE\X": a root name, a backslash and the subkey. An unknown root gives root 0.
    static RegLocation Path(wstrview path);
    static RegLocation Under(HKEY root, wstrview subkey);
    // A subkey under HKEY_LOCAL_MACHINE.
    static RegLocation Machine(wstrview subkey);
    // The open key itself; the wrapper opens a second handle to it.
    static RegLocation Key(HKEY key);
};

// Root of a root name ("HKLM", "HKEY_CURRENT_USER", ...); null when the name is unknown.
HKEY RootKeyFromName(wstrview rootName);

enum RegView { NoView = 0, View64 = 1, View32 = 2 };

// The open key and the outcome of the calls made on it.
template <int Throw>
class CReg : public CWinApiBase<Throw> {
public:
    CReg(const CReg&) = delete;
    CReg& operator=(const CReg&) = delete;
    ~CReg() override
    {
        if (m_opened)
            RegCloseKey(m_key);
    }

    HKEY Key() const { return m_key; }
    bool IsOpen() const { return m_opened; }
    // The type of the value read, or the disposition of a create.
    DWORD Result() const { return m_result; }

protected:
    explicit CReg(const RegLocation& location);

    REGSAM WithView(REGSAM access, int view) const;
    void Open(REGSAM access, int view, HANDLE transaction);
    void Create(REGSAM access, int view);
    // Reads the value's data when its type is one of the two accepted.
    bool ReadRaw(wstrview valueName, DWORD type1, DWORD type2, Kvect& data);
    void ReadNumber(wstrview valueName, DWORD& number);
    void ReadString(wstrview valueName, wstring_nc& text);
    void ReadStringList(wstrview valueName, ncvector<wstring_nc>& list);
    void Write(wstrview valueName, DWORD type, const void* data, DWORD bytes);
    void DeleteValue(wstrview valueName);
    void ListSubkeys(ncvector<wstring_nc>& names);

    void RegFailure(wstrview function, DWORD error) { this->template Fail<RegException>(function, error); }

private:
    const wchar_t* SubkeyOrNull() const { return m_subkey.empty() ? nullptr : m_subkey.c_str(); }
    void Opened(LONG status, wstrview function);

    HKEY m_root;
    wstring_nc m_subkey;
    bool m_keyOnly;
    bool m_wow64;
    bool m_opened = false;
    HKEY m_key = nullptr;
    DWORD m_result = 0;
};

template <int Throw, int View>
class CRegOpen : public CReg<Throw> {
public:
    CRegOpen(const RegLocation& location, REGSAM access, HANDLE transaction = nullptr) : CReg<Throw>(location)
    {
        this->Open(access, View, transaction);
    }
};

template <int Throw, int View>
class CRegCreate : public CReg<Throw> {
public:
    explicit CRegCreate(const RegLocation& location) : CReg<Throw>(location)
    {
        this->Create(View == View32 ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_SET_VALUE, View);
    }
};

template <int Throw, int View>
class CRegRead : public CRegOpen<Throw, View> {
public:
    CRegRead(const RegLocation& location, wstrview valueName, DWORD& number)
        : CRegOpen<Throw, View>(location, KEY_QUERY_VALUE)
    {
        this->ReadNumber(valueName, number);
    }
    CRegRead(const RegLocation& location, wstrview valueName, wstring_nc& text)
        : CRegOpen<Throw, View>(location, KEY_QUERY_VALUE)
    {
        this->ReadString(valueName, text);
    }
    CRegRead(const RegLocation& location, wstrview valueName, ncvector<wstring_nc>& list)
        : CRegOpen<Throw, View>(location, KEY_QUERY_VALUE)
    {
        this->ReadStringList(valueName, list);
    }
};

template <int Throw, int View>
class CRegWrite : public CRegCreate<Throw, View> {
public:
    CRegWrite(const RegLocation& location, wstrview valueName, wstrview text) : CRegCreate<Throw, View>(location)
    {
        wstring_nc terminated(text);
        this->Write(valueName, REG_SZ, terminated.c_str(), DWORD((text.len + 1) * sizeof(wchar_t)));
    }
    CRegWrite(const RegLocation& location, wstrview valueName, DWORD number) : CRegCreate<Throw, View>(location)
    {
        this->Write(valueName, REG_DWORD, &number, sizeof(number));
    }
    CRegWrite(const RegLocation& location, wstrview valueName, const ncvector<wstring_nc>& list);
};

template <int Throw, int View>
class CRegDeleteValue : public CRegOpen<Throw, View> {
public:
    CRegDeleteValue(const RegLocation& location, wstrview valueName) : CRegOpen<Throw, View>(location, KEY_SET_VALUE)
    {
        this->DeleteValue(valueName);
    }
};

template <int Throw, int View>
class CRegList : public CRegOpen<Throw, View> {
public:
    CRegList(const RegLocation& location, ncvector<wstring_nc>& names)
        : CRegOpen<Throw, View>(location, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS)
    {
        this->ListSubkeys(names);
    }
};

// The bytes of a string list as stored: each string with its 0, then one more 0.
Kvect MultiStringData(const ncvector<wstring_nc>& list);

template <int Throw, int View>
CRegWrite<Throw, View>::CRegWrite(const RegLocation& location, wstrview valueName, const ncvector<wstring_nc>& list)
    : CRegCreate<Throw, View>(location)
{
    Kvect data = MultiStringData(list);
    this->Write(valueName, REG_MULTI_SZ, data.data(), data.size());
}

extern template class CReg<0>;
extern template class CReg<1>;

}  // namespace Tarnlib
