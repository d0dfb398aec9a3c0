#include "WrapperTestSupport.h"

#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/Registry.h"
#include "Tarnlib/Wow64.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace Tarnlib;

namespace {

std::vector<std::wstring> Std(const ncvector<wstring_nc>& list)
{
    std::vector<std::wstring> out;
    for (ncsize_t i = 0; i < list.size(); ++i)
        out.push_back(W(list[i].str()));
    return out;
}

ncvector<wstring_nc> Nc(const std::vector<std::wstring>& list)
{
    ncvector<wstring_nc> out;
    for (const std::wstring& text : list)
        out.push_back(wstring_nc(text.c_str()));
    return out;
}

// A view of `text` that is not followed by a 0: the characters after it in `storage` differ.
wstrview Unterminated(std::wstring& storage, const std::wstring& text)
{
    storage = text + L"#junk";
    return wstrview(storage.c_str(), text.size(), false);
}

// A scratch key for the running test; every armed fault is forgotten afterwards.
class RegistryValues : public testing::Test {
protected:
    void SetUp() override { FaultSeam::Reset(); }
    void TearDown() override { FaultSeam::Reset(); }

    ScratchKey m_scratch{CurrentTestName()};
};

}  // namespace

TEST(RegistryPath, SplitsTheRootNameFromTheSubkey)
{
    struct Case {
        std::wstring path;
        HKEY root;
        std::wstring subkey;
    };
    const std::vector<Case> cases = {
        {L"hklm\\SOFTWARE\\X", HKEY_LOCAL_MACHINE, L"SOFTWARE\\X"},
        {L"HKLM", HKEY_LOCAL_MACHINE, L""},
        {L"HKLM\\", HKEY_LOCAL_MACHINE, L""},
        {L"HKEY_LOCAL_MACHINE\\A\\B\\", HKEY_LOCAL_MACHINE, L"A\\B\\"},
        {L"hkcu\\Software", HKEY_CURRENT_USER, L"Software"},
        {L"HKEY_CURRENT_USER\\Software", HKEY_CURRENT_USER, L"Software"},
        {L"HKEY_CLASSES_ROOT\\.txt", HKEY_CLASSES_ROOT, L".txt"},
        {L"HKEY_CURRENT_CONFIG\\System", HKEY_CURRENT_CONFIG, L"System"},
        {L"Hkey_Users\\.DEFAULT", HKEY_USERS, L".DEFAULT"},
        {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA, L""},
        {L"HKEY_DYN_DATA\\x", HKEY_DYN_DATA, L"x"},
        // Only the two short forms above exist.
        {L"HKCR\\X", nullptr, L"X"},
        {L"HKU\\X", nullptr, L"X"},
        {L"HKCC", nullptr, L""},
        {L"HKLMX\\X", nullptr, L"X"},
        {L"HKL\\X", nullptr, L"X"},
        {L"\\HKLM\\X", nullptr, L"HKLM\\X"},
        {L"", nullptr, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        std::wstring storage;
        RegLocation location = RegLocation::Path(Unterminated(storage, c.path));
        EXPECT_EQ(location.root, c.root);
        EXPECT_EQ(W(location.subkey.str()), c.subkey);
        EXPECT_FALSE(location.keyOnly);
    }
}

TEST(RegistryPath, UnknownRootMakesTheOpenFailAsWindowsDoesForANullKey)
{
    HKEY probe = nullptr;
    LONG expected = RegOpenKeyExW(nullptr, L"Software", 0, KEY_READ, &probe);
    ASSERT_NE(expected, ERROR_SUCCESS);

    CRegOpen<0, NoView> open(RegLocation::Path(L"HKCR\\Software"_v), KEY_READ);
    EXPECT_TRUE(open.Failed());
    EXPECT_FALSE(open.IsOpen());
    EXPECT_EQ(open.Error(), DWORD(expected));
    EXPECT_EQ(W(open.Function()), L"RegOpenKeyExW()");
}

TEST_F(RegistryValues, MissingKeyStopsARecordingWrapperAtItsFirstFailure)
{
    DWORD number = 0xCAFE;
    CRegRead<0, NoView> read(m_scratch.Location(L"NoSuchKey"), L"Value"_v, number);
    EXPECT_TRUE(read.Failed());
    EXPECT_FALSE(read.Succeeded());
    EXPECT_FALSE(read.IsOpen());
    // The read after the failed open did nothing: the open's failure is what remains.
    EXPECT_EQ(read.Error(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(read.Function()), L"RegOpenKeyExW()");
    EXPECT_EQ(W(read.ErrorKind()), L"Windows");
    EXPECT_EQ(W(read.ErrorCodeText().str()), L"2");
    EXPECT_EQ(W(read.ErrorText()), W(WinErrorText(2).str()));
    EXPECT_EQ(W(read.FailureMessage()), L"RegOpenKeyExW() failed: Windows error 2: " + W(WinErrorText(2).str()));
    EXPECT_EQ(number, 0xCAFEu);
}

TEST_F(RegistryValues, ThrowingWrapperCarriesTheFailureInItsException)
{
    try {
        CRegOpen<1, NoView> open(m_scratch.Location(L"NoSuchKey"), KEY_READ);
        FAIL() << "opening a missing key did not throw";
    } catch (const RegException& e) {
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"RegOpenKeyExW()", 2));
        EXPECT_EQ(W(e.Function()), L"RegOpenKeyExW()");
        EXPECT_EQ(e.Error(), DWORD(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(W(e.ErrorText()), W(WinErrorText(2).str()));
    }
}

TEST_F(RegistryValues, CopyResultTakesTheOtherOutcomeAndRebuildsTheMessages)
{
    CRegOpen<0, NoView> missing(m_scratch.Location(L"NoSuchKey"), KEY_READ);
    CRegOpen<0, NoView> present(m_scratch.Location(), KEY_READ);
    ASSERT_TRUE(present.Succeeded());
    ASSERT_TRUE(present.IsOpen());
    EXPECT_EQ(W(present.SuccessMessage()), L" succeeded.");
    present.FailureMessage();  // fills the cache that CopyResult must drop

    present.CopyResult(missing);
    EXPECT_TRUE(present.Failed());
    EXPECT_EQ(present.Error(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(present.Function()), L"RegOpenKeyExW()");
    EXPECT_EQ(W(present.ErrorText()), W(WinErrorText(2).str()));
    EXPECT_EQ(W(present.FailureMessage()), WindowsFailure(L"RegOpenKeyExW()", 2));
    EXPECT_EQ(W(present.SuccessMessage()), L"RegOpenKeyExW() succeeded.");
}

TEST_F(RegistryValues, ReadsStringsFromTheEvenPartOfTheirData)
{
    wchar_t root[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH), 0u);
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::vector<unsigned char> data;
        DWORD error;  // 0: the read succeeds with `text`
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {L"plain", REG_SZ, TextBytes(L"abc"), 0, L"abc"},
        {L"oddAfterTerminator", REG_SZ, {'a', 0, 'b', 0, 0, 0, 'x'}, 0, L"ab"},
        {L"oddBeforeTerminator", REG_SZ, {'a', 0, 'b', 0, 0}, ERROR_INVALID_DATA, L""},
        {L"unterminated", REG_SZ, {'a', 0, 'b', 0}, ERROR_INVALID_DATA, L""},
        {L"empty", REG_SZ, {}, 0, L""},
        {L"oneByte", REG_SZ, {'a'}, 0, L""},
        {L"embeddedZero", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}, 0, L"a"},
        {L"notExpanded", REG_SZ, TextBytes(L"%SystemRoot%\\x"), 0, L"%SystemRoot%\\x"},
        {L"expanded", REG_EXPAND_SZ, TextBytes(L"%SystemRoot%\\x"), 0, std::wstring(root) + L"\\x"},
        {L"expandUnknown", REG_EXPAND_SZ, TextBytes(L"%KvNoSuchVariable%"), 0, L"%KvNoSuchVariable%"},
        {L"expandUnterminated", REG_EXPAND_SZ, {'%', 0, 'a', 0}, ERROR_INVALID_DATA, L""},
        {L"number", REG_DWORD, {1, 0, 0, 0}, ERROR_INVALID_DATATYPE, L""},
        {L"list", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}, ERROR_INVALID_DATATYPE, L""},
    };
    for (const Case& c : cases)
        m_scratch.Put(c.name, c.type, c.data);

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        wstring_nc text(L"unchanged"_v);
        CRegRead<0, NoView> read(m_scratch.Location(), c.name, text);
        EXPECT_EQ(read.Error(), c.error);
        EXPECT_EQ(read.Result(), c.type);
        if (c.error == 0) {
            EXPECT_EQ(W(text.str()), c.text);
            continue;
        }
        EXPECT_EQ(W(read.Function()), L"RegQueryValueExW()");
        EXPECT_EQ(W(text.str()), L"unchanged");
        try {
            CRegRead<1, NoView> throwing(m_scratch.Location(), c.name, text);
            ADD_FAILURE() << "the throwing read did not throw";
        } catch (const RegException& e) {
            EXPECT_EQ(W(e.Description()), WindowsFailure(L"RegQueryValueExW()", c.error));
        }
    }
}

TEST_F(RegistryValues, ReadsNumbersFromTheFirstFourBytes)
{
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::vector<unsigned char> data;
        DWORD error;
        DWORD number;
    };
    const std::vector<Case> cases = {
        {L"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, 0, 0x12345678},
        {L"bigEndian", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}, 0, 0x12345678},
        {L"bigEndianHighBytes", REG_DWORD_BIG_ENDIAN, {0xFE, 0x01, 0x80, 0x7F}, 0, 0xFE01807F},
        {L"extraBytesIgnored", REG_DWORD, {1, 2, 3, 4, 5, 6}, 0, 0x04030201},
        {L"twoBytes", REG_DWORD, {1, 2}, ERROR_INVALID_DATA, 0},
        {L"noBytes", REG_DWORD, {}, ERROR_INVALID_DATA, 0},
        {L"text", REG_SZ, TextBytes(L"12"), ERROR_INVALID_DATATYPE, 0},
        {L"binary", REG_BINARY, {1, 0, 0, 0}, ERROR_INVALID_DATATYPE, 0},
        {L"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, ERROR_INVALID_DATATYPE, 0},
    };
    for (const Case& c : cases)
        m_scratch.Put(c.name, c.type, c.data);

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        // The value name reaches the wrapper as a view without a terminator.
        std::wstring storage;
        DWORD number = 0xDEADBEEF;
        CRegRead<0, NoView> read(m_scratch.Location(), Unterminated(storage, c.name), number);
        EXPECT_EQ(read.Error(), c.error);
        EXPECT_EQ(read.Result(), c.type);
        EXPECT_EQ(number, c.error ? 0xDEADBEEF : c.number);
        if (c.error) {
            EXPECT_EQ(W(read.Function()), L"RegQueryValueExW()");
            EXPECT_EQ(W(read.FailureMessage()), WindowsFailure(L"RegQueryValueExW()", c.error));
        }
    }

    DWORD number = 7;
    CRegRead<0, NoView> missing(m_scratch.Location(), L"missing"_v, number);
    EXPECT_EQ(missing.Error(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(missing.Function()), L"RegQueryValueExW()");
    EXPECT_EQ(number, 7u);
}

TEST_F(RegistryValues, ReadsStringListsKeepingEmptyEntriesInside)
{
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::vector<wchar_t> characters;
        DWORD error;
        std::vector<std::wstring> list;
    };
    const std::vector<Case> cases = {
        {L"two", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, 0, {L"a", L"b"}},
        {L"emptyInside", REG_MULTI_SZ, {'a', 0, 0, 'b', 0, 0}, 0, {L"a", L"", L"b"}},
        {L"twoZeros", REG_MULTI_SZ, {0, 0}, 0, {L""}},
        {L"oneZero", REG_MULTI_SZ, {0}, 0, {}},
        {L"noData", REG_MULTI_SZ, {}, 0, {}},
        {L"withoutFinalZero", REG_MULTI_SZ, {'a', 0, 'b', 'c', 0}, 0, {L"a", L"bc"}},
        {L"leadingEmpty", REG_MULTI_SZ, {0, 'x', 0, 0}, 0, {L"", L"x"}},
        {L"unterminated", REG_MULTI_SZ, {'a', 0, 'b'}, ERROR_INVALID_DATA, {}},
        {L"text", REG_SZ, {'a', 0}, ERROR_INVALID_DATATYPE, {}},
        {L"expandText", REG_EXPAND_SZ, {'a', 0}, ERROR_INVALID_DATATYPE, {}},
    };
    for (const Case& c : cases)
        m_scratch.Put(c.name, c.type, CharBytes(c.characters));
    // A trailing odd byte does not count.
    std::vector<unsigned char> odd = CharBytes({'a', 0, 0});
    odd.push_back('z');
    m_scratch.Put(L"oddByte", REG_MULTI_SZ, odd);

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        ncvector<wstring_nc> list = Nc({L"unchanged"});
        CRegRead<0, NoView> read(m_scratch.Location(), c.name, list);
        EXPECT_EQ(read.Error(), c.error);
        EXPECT_EQ(Std(list), c.error ? std::vector<std::wstring>{L"unchanged"} : c.list);
        if (c.error) {
            EXPECT_EQ(W(read.Function()), L"RegQueryValueExW()");
        }
    }
    ncvector<wstring_nc> list;
    CRegRead<1, NoView> read(m_scratch.Location(), L"oddByte"_v, list);
    EXPECT_EQ(Std(list), std::vector<std::wstring>{L"a"});
}

TEST_F(RegistryValues, WritesListsWithOneFinalZero)
{
    struct Case {
        const wchar_t* name;
        std::vector<std::wstring> list;
        std::vector<wchar_t> stored;
        std::vector<std::wstring> readBack;
    };
    const std::vector<Case> cases = {
        {L"two", {L"a", L"b"}, {'a', 0, 'b', 0, 0}, {L"a", L"b"}},
        {L"empty", {}, {0, 0}, {L""}},
        {L"oneEmpty", {L""}, {0, 0}, {L""}},
        {L"emptyFirst", {L"", L"xy"}, {0, 'x', 'y', 0, 0}, {L"", L"xy"}},
        {L"emptyInside", {L"a", L"", L"b"}, {'a', 0, 0, 'b', 0, 0}, {L"a", L"", L"b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        CRegWrite<1, NoView> write(m_scratch.Location(), c.name, Nc(c.list));
        EXPECT_TRUE(write.Succeeded());
        DWORD type = 0;
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(m_scratch.Get(c.name, type, bytes));
        EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
        EXPECT_EQ(bytes, CharBytes(c.stored));

        ncvector<wstring_nc> list;
        CRegRead<1, NoView> read(m_scratch.Location(), c.name, list);
        EXPECT_EQ(Std(list), c.readBack);
    }
}

TEST_F(RegistryValues, WritesTextsAndNumbersAsTheirRegistryTypes)
{
    std::wstring storage;
    {
        CRegWrite<1, NoView> text(m_scratch.Location(), L"text"_v, Unterminated(storage, L"hello"));
        CRegWrite<1, NoView> empty(m_scratch.Location(), L"empty"_v, L""_v);
        CRegWrite<1, NoView> number(m_scratch.Location(), L"number"_v, DWORD(0xA1B2C3D4));
        CRegWrite<0, NoView> byDefault(m_scratch.Location(), L""_v, L"default"_v);
        EXPECT_TRUE(byDefault.Succeeded());
    }
    struct Expected {
        std::wstring name;
        DWORD type;
        std::vector<unsigned char> bytes;
    };
    const std::vector<Expected> expected = {
        {L"text", REG_SZ, TextBytes(L"hello")},
        {L"empty", REG_SZ, {0, 0}},
        {L"number", REG_DWORD, {0xD4, 0xC3, 0xB2, 0xA1}},
        {L"", REG_SZ, TextBytes(L"default")},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(std::string(e.name.begin(), e.name.end()));
        DWORD type = 0;
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(m_scratch.Get(e.name, type, bytes));
        EXPECT_EQ(type, e.type);
        EXPECT_EQ(bytes, e.bytes);
    }
}

TEST_F(RegistryValues, CreateReportsWhetherTheKeyIsNew)
{
    CRegCreate<1, NoView> first(m_scratch.Location(L"Child\\Grandchild"));
    EXPECT_EQ(first.Result(), DWORD(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(first.IsOpen());
    CRegCreate<1, NoView> second(m_scratch.Location(L"Child\\Grandchild"));
    EXPECT_EQ(second.Result(), DWORD(REG_OPENED_EXISTING_KEY));

    // The key-only form reopens the given key; its result tells it existed.
    CRegWrite<1, NoView> write(RegLocation::Key(m_scratch.Key()), L"viaKey"_v, DWORD(5));
    EXPECT_EQ(write.Result(), DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_NE(write.Key(), m_scratch.Key());
    DWORD number = 0;
    CRegRead<1, NoView> read(m_scratch.Location(), L"viaKey"_v, number);
    EXPECT_EQ(number, 5u);
}

TEST_F(RegistryValues, CreatedKeyIsOpenedForWritingOnly)
{
    m_scratch.Put(L"value", REG_DWORD, {1, 0, 0, 0});
    // Only the 32-bit-view form may also query the key it created.
    struct Case {
        const char* form;
        HKEY key;
        LONG queryResult;
    };
    CRegCreate<1, NoView> plain(m_scratch.Location());
    CRegCreate<1, View32> view32(m_scratch.Location());
    const std::vector<Case> cases = {
        {"no view", plain.Key(), ERROR_ACCESS_DENIED},
        {"32-bit view", view32.Key(), ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        EXPECT_EQ(RegSetValueExW(c.key, L"written", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 2),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegQueryValueExW(c.key, L"value", nullptr, nullptr, nullptr, nullptr), c.queryResult);
    }
}

TEST_F(RegistryValues, WrappersCloseTheKeysTheyOpened)
{
    m_scratch.Put(L"text", REG_SZ, TextBytes(L"x"));
    HKEY opened = nullptr;
    {
        CRegOpen<1, NoView> open(m_scratch.Location(), KEY_READ);
        opened = open.Key();
        EXPECT_EQ(RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_EQ(RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);

    // A throwing wrapper whose read fails after its open: the handle value it took is free again,
    // so the next open gets it back.
    auto openAndClose = [&] {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, m_scratch.Subkey().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        return key;
    };
    const HKEY freed = openAndClose();
    ASSERT_EQ(openAndClose(), freed) << "handle values are not reused here";
    DWORD number = 0;
    EXPECT_THROW((CRegRead<1, NoView>(m_scratch.Location(), L"text"_v, number)), RegException);
    EXPECT_EQ(openAndClose(), freed) << "the failed read kept its key open";
}

TEST_F(RegistryValues, DeletingAMissingValueFailsWithFileNotFound)
{
    m_scratch.Put(L"present", REG_DWORD, {1, 0, 0, 0});
    CRegDeleteValue<1, NoView> remove(m_scratch.Location(), L"present"_v);
    EXPECT_TRUE(remove.Succeeded());
    EXPECT_FALSE(m_scratch.HasValue(L"present"));

    CRegDeleteValue<0, NoView> again(m_scratch.Location(), L"present"_v);
    EXPECT_EQ(again.Error(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(W(again.Function()), L"RegDeleteValueW()");
    try {
        CRegDeleteValue<1, NoView> throwing(m_scratch.Location(), L"present"_v);
        FAIL() << "deleting a missing value did not throw";
    } catch (const RegException& e) {
        EXPECT_EQ(e.Error(), DWORD(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(W(e.Description()), WindowsFailure(L"RegDeleteValueW()", 2));
    }
}

TEST_F(RegistryValues, ListsTheDirectSubkeys)
{
    const std::vector<std::wstring> names = {L"alpha", L"Beta", L"with space", std::wstring(255, L'L')};
    for (const std::wstring& name : names)
        m_scratch.AddSubkey(name);
    m_scratch.AddSubkey(L"alpha\\nested");
    m_scratch.AddSubkey(L"Empty");
    std::vector<std::wstring> expected = names;
    expected.push_back(L"Empty");

    ncvector<wstring_nc> listed = Nc({L"stale entry"});
    std::wstring path = L"HKCU\\" + m_scratch.Subkey();
    CRegList<1, NoView> list(RegLocation::Path(path.c_str()), listed);
    std::vector<std::wstring> got = Std(listed);
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);

    ncvector<wstring_nc> none = Nc({L"stale entry"});
    CRegList<1, NoView> empty(RegLocation::Path((path + L"\\Empty").c_str()), none);
    EXPECT_EQ(none.size(), 0u);
}

TEST_F(RegistryValues, InjectedFailuresNameTheFailingCall)
{
    m_scratch.Put(L"expand", REG_EXPAND_SZ, TextBytes(L"%SystemRoot%"));
    m_scratch.Put(L"number", REG_DWORD, {1, 0, 0, 0});
    m_scratch.AddSubkey(L"child");
    const RegLocation location = m_scratch.Location();
    struct Case {
        const char* function;
        unsigned nth;
        DWORD error;
        std::function<void()> action;  // a throwing wrapper
        const wchar_t* reported;
    };
    const std::vector<Case> cases = {
        {"RegSetValueExW", 1, ERROR_ACCESS_DENIED,
         [&] { CRegWrite<1, NoView>(location, L"new"_v, L"text"_v); }, L"RegSetValueExW()"},
        {"RegCreateKeyExW", 1, ERROR_ACCESS_DENIED,
         [&] { CRegWrite<1, NoView>(location, L"new"_v, DWORD(1)); }, L"RegCreateKeyExW()"},
        {"RegOpenKeyExW", 1, ERROR_ACCESS_DENIED,
         [&] { CRegWrite<1, NoView>(RegLocation::Key(m_scratch.Key()), L"new"_v, DWORD(1)); }, L"RegOpenKeyExW()"},
        {"RegQueryValueExW", 2, ERROR_MORE_DATA,
         [&] {
             DWORD number;
             CRegRead<1, NoView>(location, L"number"_v, number);
         },
         L"RegQueryValueExW()"},
        {"ExpandEnvironmentStringsW", 1, ERROR_NOT_ENOUGH_MEMORY,
         [&] {
             wstring_nc text;
             CRegRead<1, NoView>(location, L"expand"_v, text);
         },
         L"ExpandEnvironmentStringsW()"},
        {"ExpandEnvironmentStringsW", 2, ERROR_INSUFFICIENT_BUFFER,
         [&] {
             wstring_nc text;
             CRegRead<1, NoView>(location, L"expand"_v, text);
         },
         L"ExpandEnvironmentStringsW()"},
        {"RegDeleteValueW", 1, ERROR_ACCESS_DENIED, [&] { CRegDeleteValue<1, NoView>(location, L"number"_v); },
         L"RegDeleteValueW()"},
        {"RegQueryInfoKeyW", 1, ERROR_ACCESS_DENIED,
         [&] {
             ncvector<wstring_nc> names;
             CRegList<1, NoView>(location, names);
         },
         L"RegQueryInfoKeyW()"},
        {"RegEnumKeyExW", 1, ERROR_ACCESS_DENIED,
         [&] {
             ncvector<wstring_nc> names;
             CRegList<1, NoView>(location, names);
         },
         L"RegEnumKeyExW()"},
        // A code above 99999 is shown in hexadecimal.
        {"RegSetValueExW", 1, 0x2000ABCD, [&] { CRegWrite<1, NoView>(location, L"new"_v, L"text"_v); },
         L"RegSetValueExW()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " #" + std::to_string(c.nth));
        FaultSeam::Reset();
        FaultSeam::Arm(c.function, c.nth, c.error);
        try {
            c.action();
            ADD_FAILURE() << "the injected failure was not reported";
        } catch (const RegException& e) {
            EXPECT_EQ(W(e.Function()), c.reported);
            EXPECT_EQ(e.Error(), c.error);
            std::wstring code = c.error > 99999 ? L"0x2000ABCD" : std::to_wstring(c.error);
            EXPECT_EQ(W(e.Description()), std::wstring(c.reported) + L" failed: Windows error " + code + L": " +
                                              W(WinErrorText(c.error).str()));
        }
    }
    FaultSeam::Reset();
    EXPECT_FALSE(m_scratch.HasValue(L"new"));
    EXPECT_TRUE(m_scratch.HasValue(L"number"));

    // The recording form keeps the same failure and does not write.
    FaultSeam::Arm("RegSetValueExW", 1, ERROR_ACCESS_DENIED);
    CRegWrite<0, NoView> recorded(location, L"new"_v, L"text"_v);
    EXPECT_EQ(W(recorded.FailureMessage()), WindowsFailure(L"RegSetValueExW()", 5));
    EXPECT_FALSE(m_scratch.HasValue(L"new"));
}

// Keys under HKEY_LOCAL_MACHINE\Software exist twice on 64-bit Windows: once for 64-bit and once
// for 32-bit programs. The scratch keys here are made in one view, and the wrappers asked for each.
TEST(RegistryViews, EachViewSeesOnlyItsOwnKeys)
{
    if (!Wow64::IsCurrentProcessWow64())
        GTEST_SKIP() << "these cases need a 32-bit process on 64-bit Windows";
    FaultSeam::Reset();
    struct Case {
        const char* madeIn;
        REGSAM flag;
        std::vector<DWORD> errorByView;  // reading with View 0, 1 and 2
    };
    const std::vector<Case> cases = {
        {"64-bit view", KEY_WOW64_64KEY, {ERROR_FILE_NOT_FOUND, 0, ERROR_FILE_NOT_FOUND}},
        {"32-bit view", KEY_WOW64_32KEY, {0, ERROR_FILE_NOT_FOUND, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.madeIn);
        ScratchKey scratch(CurrentTestName(), HKEY_LOCAL_MACHINE, c.flag);
        scratch.Put(L"marker", REG_DWORD, {42, 0, 0, 0});
        const RegLocation location = scratch.Location();
        std::vector<DWORD> errors;
        std::vector<DWORD> numbers(3, 0);
        errors.push_back(CRegRead<0, NoView>(location, L"marker"_v, numbers[0]).Error());
        errors.push_back(CRegRead<0, View64>(location, L"marker"_v, numbers[1]).Error());
        errors.push_back(CRegRead<0, View32>(location, L"marker"_v, numbers[2]).Error());
        EXPECT_EQ(errors, c.errorByView);
        for (size_t view = 0; view < 3; ++view)
            EXPECT_EQ(numbers[view], c.errorByView[view] ? 0u : 42u) << "view " << view;
    }
}

TEST(RegistryViews, CreatingInThe32BitViewLeavesThe64BitViewAlone)
{
    if (!Wow64::IsCurrentProcessWow64())
        GTEST_SKIP() << "needs a 32-bit process on 64-bit Windows";
    ScratchKey parent64(CurrentTestName(), HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    ScratchKey parent32(CurrentTestName(), HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    CRegCreate<1, View32> create(parent32.Location(L"made"));
    EXPECT_EQ(create.Result(), DWORD(REG_CREATED_NEW_KEY));
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(parent32.Key(), L"made", 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCloseKey(probe);
    EXPECT_EQ(RegOpenKeyExW(parent64.Key(), L"made", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryViews, WithoutWow64NoViewIsRequested)
{
    ScratchKey only32(CurrentTestName(), HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    only32.Put(L"marker", REG_DWORD, {7, 0, 0, 0});
    // On a system without IsWow64Process (32-bit Windows) View 1 must not add the 64-bit flag,
    // so the key of the ordinary view is read.
    FaultSeam::Reset();
    FaultSeam::Arm("IsWow64Process", 1, 0);
    DWORD number = 0;
    CRegRead<0, View64> read(only32.Location(), L"marker"_v, number);
    FaultSeam::Reset();
    EXPECT_EQ(read.Error(), 0u);
    EXPECT_EQ(number, 7u);
}
