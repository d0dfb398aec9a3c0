#include "../NoCrtLib/TestSupport.h"

#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/Exceptions.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/WinSecurity.h"

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace Security = Tarnlib;
namespace FaultSeam = Tarnlib::FaultSeam;

namespace {

// Every test starts and ends with no armed failure.
class SeamReset : public ::testing::Test {
protected:
    void SetUp() override { FaultSeam::Reset(); }
    void TearDown() override { FaultSeam::Reset(); }
};

std::wstring SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return L"<ConvertSidToStringSidW failed: " + std::to_wstring(GetLastError()) + L">";
    std::wstring copy(text);
    LocalFree(text);
    return copy;
}

template <class Action>
::testing::AssertionResult RaisesSystemError(Action&& action, const wchar_t* context, DWORD code)
{
    try {
        action();
    } catch (const SystemError& error) {
        if (W(error.Context()) == context && error.Code() == code)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "raised \"" << error.what() << "\" (code " << error.Code() << ")";
    } catch (const std::exception& other) {
        return ::testing::AssertionFailure() << "raised another exception: " << other.what();
    }
    return ::testing::AssertionFailure() << "nothing was raised";
}

// The process token, opened by the tests themselves to look at what the code under test did.
class TestToken {
public:
    TestToken()
    {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &m_handle))
            m_handle = nullptr;
    }
    ~TestToken()
    {
        if (m_handle)
            CloseHandle(m_handle);
    }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

constexpr long NotInToken = -1;

// The attributes the process token gives the named privilege, or NotInToken.
long TokenPrivilegeAttributes(const wchar_t* name)
{
    TestToken token;
    LUID luid;
    alignas(TOKEN_PRIVILEGES) unsigned char buffer[8192];
    DWORD needed = 0;
    if (!token.Get() || !LookupPrivilegeValueW(nullptr, name, &luid) ||
        !GetTokenInformation(token.Get(), TokenPrivileges, buffer, sizeof(buffer), &needed))
        return NotInToken;
    const TOKEN_PRIVILEGES* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    const LUID_AND_ATTRIBUTES* entries = list->Privileges;
    for (DWORD i = 0; i < list->PrivilegeCount; ++i)
        if (entries[i].Luid.LowPart == luid.LowPart && entries[i].Luid.HighPart == luid.HighPart)
            return long(entries[i].Attributes);
    return NotInToken;
}

bool TokenHasEnabled(const wchar_t* name)
{
    long attributes = TokenPrivilegeAttributes(name);
    return attributes != NotInToken && (attributes & SE_PRIVILEGE_ENABLED);
}

// Puts a privilege of the process token back into the state a test found it in.
void RestoreTokenPrivilege(const wchar_t* name, long attributes)
{
    TestToken token;
    TOKEN_PRIVILEGES change = {};
    change.PrivilegeCount = 1;
    LookupPrivilegeValueW(nullptr, name, &change.Privileges[0].Luid);
    change.Privileges[0].Attributes = DWORD(attributes) & SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token.Get(), FALSE, &change, 0, nullptr, nullptr);
}

const DWORD SomeError = ERROR_ACCESS_DENIED;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Security identifiers

TEST(Sid, WellKnownIdentifiersHaveTheirStandardText)
{
    struct Case {
        Security::Sid (*build)();
        const wchar_t* text;
    };
    const Case cases[] = {
        {Security::Sid::LocalSystem, L"S-1-5-18"},   {Security::Sid::AuthenticatedUsers, L"S-1-5-11"},
        {Security::Sid::Everyone, L"S-1-1-0"},       {Security::Sid::CreatorOwner, L"S-1-3-0"},
        {Security::Sid::Administrators, L"S-1-5-32-544"},
    };
    for (const Case& c : cases) {
        Security::Sid sid = c.build();
        EXPECT_EQ(SidText(sid.Get()), c.text);
    }
}

TEST(Sid, EightSubAuthoritiesAfterTheFirstTwoAreZero)
{
    Security::Sid sid;
    sid.Set(8, SECURITY_NT_AUTHORITY, 7, 9);
    EXPECT_EQ(SidText(sid.Get()), L"S-1-5-7-9-0-0-0-0-0-0");
    sid.Set(1, SECURITY_NT_AUTHORITY, 18, 9);
    EXPECT_EQ(SidText(sid.Get()), L"S-1-5-18");
}

TEST(Sid, CountOutsideOneToEightIsRejected)
{
    const struct {
        unsigned count;
        const wchar_t* text;
    } cases[] = {
        {0, L"Sid::Set() - invalid subauthority count (0)"},
        {9, L"Sid::Set() - invalid subauthority count (9)"},
    };
    for (const auto& c : cases) {
        Security::Sid sid;
        try {
            sid.Set(c.count, SECURITY_NT_AUTHORITY, 18);
            ADD_FAILURE() << "count " << c.count << " was accepted";
        } catch (const StrInvalidArgument& error) {
            EXPECT_EQ(W(error.Description()), c.text);
        }
    }
}

TEST(Sid, CopyHoldsAnEqualIdentifierAndANullOneEmptiesTheVector)
{
    Security::Sid administrators = Security::Sid::Administrators();
    Kvect copy;
    Security::CopySidTo(administrators.Get(), copy);
    ASSERT_EQ(copy.size(), GetLengthSid(administrators.Get()));
    EXPECT_TRUE(EqualSid(copy.data(), administrators.Get()));

    Security::CopySidTo(nullptr, copy);
    EXPECT_TRUE(copy.empty());
}

// ---------------------------------------------------------------------------------------------
// Access lists and security descriptors

class SecurityObjects : public SeamReset {};

TEST_F(SecurityObjects, ProtectedDescriptorCarriesTheEntriesInOrder)
{
    Security::Sid administrators = Security::Sid::Administrators();
    Security::Sid users = Security::Sid::AuthenticatedUsers();
    Security::AccessEntries entries;
    Security::AddAccessEntry(entries, FILE_ALL_ACCESS, administrators);
    Security::AddAccessEntry(entries, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, users);
    Security::AclHolder acl;
    Security::SetEntriesInAcl(acl, entries);
    ASSERT_NE(acl.Get(), nullptr);

    Security::SecurityDescriptor descriptor;
    EXPECT_FALSE(descriptor.Control() & SE_DACL_PROTECTED);
    descriptor.SetDacl(acl.Get());
    descriptor.ProtectDacl();
    DWORD revision = 0;
    SECURITY_DESCRIPTOR_CONTROL control = descriptor.Control(&revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    EXPECT_FALSE(control & SE_SELF_RELATIVE);
    EXPECT_EQ(revision, DWORD(SECURITY_DESCRIPTOR_REVISION));

    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ASSERT_EQ(dacl, acl.Get());
    ASSERT_EQ(dacl->AceCount, 2);

    const struct {
        PSID sid;
        DWORD mask;
    } expected[] = {{administrators.Get(), FILE_ALL_ACCESS}, {users.Get(), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    for (DWORD i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(allowed->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(allowed->Mask, expected[i].mask);
        EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart), expected[i].sid));
    }

    SECURITY_ATTRIBUTES attributes = descriptor.Attributes();
    EXPECT_EQ(attributes.nLength, 12u);
    EXPECT_EQ(attributes.lpSecurityDescriptor, descriptor.Get());
    EXPECT_FALSE(attributes.bInheritHandle);
}

TEST_F(SecurityObjects, FailedSetEntriesInAclReportsItsCodeAndLeavesNoAcl)
{
    Security::Sid system = Security::Sid::LocalSystem();
    Security::AccessEntries entries;
    Security::AddAccessEntry(entries, FILE_ALL_ACCESS, system);
    Security::AclHolder acl;
    Security::SetEntriesInAcl(acl, entries);
    ASSERT_NE(acl.Get(), nullptr);

    FaultSeam::Arm("SetEntriesInAclW", 1, ERROR_INVALID_PARAMETER);
    try {
        Security::SetEntriesInAcl(acl, entries);
        ADD_FAILURE() << "nothing was raised";
    } catch (const SystemError& error) {
        std::wstring expected = L"SetEntriesInAcl() failed: Windows error 87: " + W(WinErrorText(87).str());
        EXPECT_EQ(W(error.Description()), expected);
    }
    EXPECT_EQ(acl.Get(), nullptr);
}

TEST_F(SecurityObjects, FailedCallsRaiseTheirContexts)
{
    Security::Sid system = Security::Sid::LocalSystem();
    const struct {
        const char* function;
        const wchar_t* context;
        std::function<void()> action;
    } cases[] = {
        {"LocalAlloc", L"SecurityDescriptor: LocalAlloc()", [] { Security::SecurityDescriptor descriptor; }},
        {"InitializeSecurityDescriptor", L"InitializeSecurityDescriptor()",
         [] { Security::SecurityDescriptor descriptor; }},
        {"SetSecurityDescriptorDacl", L"SetSecurityDescriptorDacl()",
         [] { Security::SecurityDescriptor().SetDacl(nullptr); }},
        {"SetSecurityDescriptorControl", L"SetSecurityDescriptorControl()",
         [] { Security::SecurityDescriptor().ProtectDacl(); }},
        {"GetSecurityDescriptorControl", L"GetSecurityDescriptorControl()",
         [] { Security::SecurityDescriptor().Control(); }},
        {"CopySid", L"CopySid()",
         [&system] {
             Kvect copy;
             Security::CopySidTo(system.Get(), copy);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        FaultSeam::Reset();
        FaultSeam::Arm(c.function, 1, SomeError);
        EXPECT_TRUE(RaisesSystemError(c.action, c.context, SomeError));
    }
}

// ---------------------------------------------------------------------------------------------
// Token information

class TokenInformation : public SeamReset {
protected:
    // The number of groups in a buffer read for TokenGroups.
    static DWORD GroupCount(const Kvect& buffer) { return reinterpret_cast<const TOKEN_GROUPS*>(buffer.data())->GroupCount; }

    static bool ContainsGroup(const Kvect& buffer, PSID group)
    {
        const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
        const SID_AND_ATTRIBUTES* entries = groups->Groups;
        for (DWORD i = 0; i < groups->GroupCount; ++i)
            if (EqualSid(entries[i].Sid, group))
                return true;
        return false;
    }

    TestToken m_token;
};

TEST_F(TokenInformation, ReadsTheProcessGroups)
{
    ASSERT_NE(m_token.Get(), nullptr);
    Kvect groups;
    ASSERT_TRUE(Security::ReadTokenInformation(m_token.Get(), TokenGroups, groups, false));
    ASSERT_GE(groups.size(), sizeof(TOKEN_GROUPS));
    Security::Sid everyone = Security::Sid::Everyone();
    EXPECT_TRUE(ContainsGroup(groups, everyone.Get()));
}

TEST_F(TokenInformation, BufferThatKeepsGrowingIsRetried)
{
    Kvect plain;
    ASSERT_TRUE(Security::ReadTokenInformation(m_token.Get(), TokenGroups, plain, false));

    // The first call asks for the size; the calls after it fill the buffer.
    const struct {
        unsigned shortfalls;
        bool succeeds;
    } cases[] = {{1, true}, {1000, true}, {1001, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shortfalls);
        FaultSeam::Reset();
        for (unsigned call = 2; call < 2 + c.shortfalls; ++call)
            FaultSeam::Arm("GetTokenInformation", call, ERROR_INSUFFICIENT_BUFFER);
        Kvect groups;
        if (c.succeeds) {
            ASSERT_TRUE(Security::ReadTokenInformation(m_token.Get(), TokenGroups, groups, false));
            EXPECT_EQ(GroupCount(groups), GroupCount(plain));
        } else {
            EXPECT_TRUE(RaisesSystemError([&] { Security::ReadTokenInformation(m_token.Get(), TokenGroups, groups, false); },
                                          L"GetTokenInformation(second)", ERROR_INSUFFICIENT_BUFFER));
            EXPECT_TRUE(groups.empty());
        }
    }
}

TEST_F(TokenInformation, RetriesContinueUntilAnotherErrorEndsThem)
{
    FaultSeam::Arm("GetTokenInformation", 2, ERROR_INSUFFICIENT_BUFFER);
    FaultSeam::Arm("GetTokenInformation", 3, ERROR_INSUFFICIENT_BUFFER);
    FaultSeam::Arm("GetTokenInformation", 4, SomeError);
    Kvect groups;
    EXPECT_TRUE(RaisesSystemError([&] { Security::ReadTokenInformation(m_token.Get(), TokenGroups, groups, false); },
                                  L"GetTokenInformation(second)", SomeError));
}

TEST_F(TokenInformation, FailureEmptiesTheBufferAndNamesTheCall)
{
    const struct {
        unsigned failingCall;
        const wchar_t* context;
    } cases[] = {{1, L"GetTokenInformation(first)"}, {2, L"GetTokenInformation(second)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failingCall);
        FaultSeam::Reset();
        FaultSeam::Arm("GetTokenInformation", c.failingCall, SomeError);
        Kvect groups;
        groups.resize(40);
        EXPECT_TRUE(RaisesSystemError([&] { Security::ReadTokenInformation(m_token.Get(), TokenGroups, groups, false); },
                                      c.context, SomeError));
        EXPECT_TRUE(groups.empty());
    }
}

TEST_F(TokenInformation, NoThrowReturnsFalseWithTheLastError)
{
    const struct {
        const char* name;
        HANDLE token;
        unsigned failingCall;
        DWORD error;
    } cases[] = {
        {"invalid handle", nullptr, 0, ERROR_INVALID_HANDLE},
        {"first call", m_token.Get(), 1, SomeError},
        {"second call", m_token.Get(), 2, SomeError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultSeam::Reset();
        if (c.failingCall)
            FaultSeam::Arm("GetTokenInformation", c.failingCall, c.error);
        Kvect groups;
        groups.resize(40);
        SetLastError(0);
        EXPECT_FALSE(Security::ReadTokenInformation(c.token, TokenGroups, groups, true));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(groups.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// Privileges

class Privilege : public SeamReset {};

TEST_F(Privilege, NestedEnablesKeepItEnabledUntilTheLastRelease)
{
    Security::Privilege createGlobal(L"SeCreateGlobalPrivilege");
    struct Case {
        Security::Privilege& privilege;
        const char* why;
    };
    const Case cases[] = {
        {Security::ShutdownPrivilege, "the predefined object, disabled by default"},
        {createGlobal, "enabled by default, still disabled by the last release"},
    };
    for (const Case& c : cases) {
        const wchar_t* name = c.privilege.Name();
        SCOPED_TRACE(c.why);
        long original = TokenPrivilegeAttributes(name);
        if (original == NotInToken) {
            ADD_FAILURE() << "the process token does not hold the privilege";
            continue;
        }
        ASSERT_TRUE(c.privilege.Enable());
        EXPECT_TRUE(TokenHasEnabled(name));
        ASSERT_TRUE(c.privilege.Enable());
        c.privilege.Release();
        EXPECT_TRUE(TokenHasEnabled(name));
        c.privilege.Release();
        EXPECT_FALSE(TokenHasEnabled(name));
        RestoreTokenPrivilege(name, original);
    }
}

TEST_F(Privilege, PrivilegeNotHeldStaysFailedWithoutAnotherLookup)
{
    Security::Privilege createToken(L"SeCreateTokenPrivilege");
    if (TokenPrivilegeAttributes(createToken.Name()) != NotInToken)
        GTEST_SKIP() << "the account holds SeCreateTokenPrivilege";
    SetLastError(0);
    EXPECT_FALSE(createToken.Enable());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PRIVILEGE_NOT_HELD));
    EXPECT_EQ(createToken.FailureContext(), nullptr);

    // A second lookup would fail differently.
    FaultSeam::Arm("LookupPrivilegeValueW", 1, SomeError);
    SetLastError(0);
    EXPECT_FALSE(createToken.Enable());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PRIVILEGE_NOT_HELD));
}

TEST_F(Privilege, FailedLookupIsFinal)
{
    Security::Privilege shutdown(L"SeShutdownPrivilege");
    long original = TokenPrivilegeAttributes(shutdown.Name());
    FaultSeam::Arm("LookupPrivilegeValueW", 1, SomeError);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        SetLastError(0);
        EXPECT_FALSE(shutdown.Enable());
        EXPECT_EQ(GetLastError(), SomeError);
        EXPECT_EQ(W(shutdown.FailureContext()), L"LookupPrivilegeValue()");
    }
    EXPECT_EQ(TokenPrivilegeAttributes(shutdown.Name()), original);
}

TEST_F(Privilege, UnknownNameFailsInTheLookup)
{
    Security::Privilege unknown(L"SeNoSuchThingPrivilege");
    SetLastError(0);
    EXPECT_FALSE(unknown.Enable());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_PRIVILEGE));
    EXPECT_EQ(W(unknown.FailureContext()), L"LookupPrivilegeValue()");
}

TEST_F(Privilege, FailedTokenReadIsFinal)
{
    Security::Privilege shutdown(L"SeShutdownPrivilege");
    FaultSeam::Arm("GetTokenInformation", 1, SomeError);
    EXPECT_FALSE(shutdown.Enable());
    EXPECT_EQ(GetLastError(), SomeError);
    EXPECT_EQ(W(shutdown.FailureContext()), L"GetTokenInformation()");
    EXPECT_FALSE(shutdown.Enable());
    EXPECT_EQ(GetLastError(), SomeError);
}

TEST_F(Privilege, TokenThatCannotBeOpenedIsNotAFinalFailure)
{
    Security::Privilege shutdown(L"SeShutdownPrivilege");
    long original = TokenPrivilegeAttributes(shutdown.Name());
    FaultSeam::Arm("OpenProcessToken", 1, SomeError);
    SetLastError(0);
    EXPECT_FALSE(shutdown.Enable());
    EXPECT_EQ(GetLastError(), SomeError);
    EXPECT_TRUE(shutdown.Enable());
    shutdown.Release();
    RestoreTokenPrivilege(shutdown.Name(), original);
}

TEST_F(Privilege, ReleasingMoreThanEnabledIsAnAssertion)
{
    Security::Privilege shutdown(L"SeShutdownPrivilege");
    long original = TokenPrivilegeAttributes(shutdown.Name());
    EXPECT_TRUE(FailsCheck([&] { shutdown.Release(); }, "!!m_count"));
    ASSERT_TRUE(shutdown.Enable());
    shutdown.Release();
    EXPECT_TRUE(FailsCheck([&] { shutdown.Release(); }, "!!m_count"));
    RestoreTokenPrivilege(shutdown.Name(), original);
}

TEST_F(Privilege, EnablerHoldsOneEnableForItsScope)
{
    const wchar_t* name = Security::ShutdownPrivilege.Name();
    long original = TokenPrivilegeAttributes(name);
    {
        Security::PrivilegeEnabler enabler(Security::ShutdownPrivilege);
        EXPECT_TRUE(enabler.Enable());
        EXPECT_TRUE(enabler.Enable());
        EXPECT_TRUE(TokenHasEnabled(name));
    }
    EXPECT_FALSE(TokenHasEnabled(name));
    RestoreTokenPrivilege(name, original);
}

TEST_F(Privilege, EnablerOfAFailedPrivilegeReleasesNothing)
{
    Security::Privilege unknown(L"SeNoSuchThingPrivilege");
    {
        Security::PrivilegeEnabler enabler(unknown);
        EXPECT_FALSE(enabler.Enable());
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_PRIVILEGE));
    }  // a release here would fail the count check inside the destructor and end the process
}
