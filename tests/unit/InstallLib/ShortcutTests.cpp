// Shell shortcuts written by the install operation, read back through the shell's link object.
#include "OperationTestKit.h"

#include "InstallLib/Shortcut.h"
#include "NoCrtLib/ErrorText.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace OperationTestKit;

namespace {

typedef std::vector<std::string> LineList;
typedef std::vector<std::wstring> StringList;

std::string Creating(const std::wstring& link) { return "Creating shortcut '" + Utf8(link) + "'"; }
std::wstring DelFile(const std::wstring& path) { return L" \"-delFile=" + path + L"\""; }

struct LinkContent {
    std::wstring path, arguments, workingDirectory, description, iconPath;
    int iconIndex = -1;
};

// What the shell's link object reads from the file.
std::optional<LinkContent> ReadLink(const std::wstring& link)
{
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return std::nullopt;
    std::optional<LinkContent> content;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
            wchar_t buffer[MAX_PATH + 1];
            LinkContent read;
            buffer[0] = 0;
            shellLink->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
            read.path = buffer;
            buffer[0] = 0;
            shellLink->GetArguments(buffer, MAX_PATH);
            read.arguments = buffer;
            buffer[0] = 0;
            shellLink->GetWorkingDirectory(buffer, MAX_PATH);
            read.workingDirectory = buffer;
            buffer[0] = 0;
            shellLink->GetDescription(buffer, MAX_PATH);
            read.description = buffer;
            buffer[0] = 0;
            shellLink->GetIconLocation(buffer, MAX_PATH, &read.iconIndex);
            read.iconPath = buffer;
            content = read;
        }
        file->Release();
    }
    shellLink->Release();
    return content;
}

class ShortcutTest : public OperationTest {
protected:
    void SetUp() override
    {
        OperationTest::SetUp();
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(SUCCEEDED(hr)) << "CoInitializeEx: 0x" << std::hex << hr;
        m_comInitialised = true;
        m_target = m_dir / L"Server.exe";
        m_link = m_dir / L"Server.lnk";
        WriteTextFile(m_target, "MZ");
    }
    void TearDown() override
    {
        if (m_comInitialised)
            CoUninitialize();
        OperationTest::TearDown();
    }

    ScratchDirectory m_dir;
    std::wstring m_target;
    std::wstring m_link;

private:
    bool m_comInitialised = false;
};

TEST_F(ShortcutTest, WritesEveryItemAndRemovesTheLinkOnRollback)
{
    const std::wstring icon = m_dir / L"Server.ico";
    WritePendingList({L"\\??\\" + m_link, L"", L"\\??\\C:\\Other\\b.txt", L""});

    OutputCapture output;
    auto op = std::make_unique<CreateShortcut>(m_link.c_str(), m_target.c_str(), L"-console -port 22",
                                               m_dir.Path().c_str(), L"Starts the server", icon.c_str());
    EXPECT_EQ(Lines(output.Text()), LineList{Creating(m_link)});
    EXPECT_EQ(UninstallParams(), DelFile(m_link));
    EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\C:\\Other\\b.txt", L""}))
        << "an old pending deletion of the link is cancelled";

    std::optional<LinkContent> link = ReadLink(m_link);
    ASSERT_TRUE(link) << "the shortcut cannot be loaded";
    EXPECT_EQ(Utf8(link->path), Utf8(m_target));
    EXPECT_EQ(Utf8(link->arguments), "-console -port 22");
    EXPECT_EQ(Utf8(link->workingDirectory), Utf8(m_dir.Path()));
    EXPECT_EQ(Utf8(link->description), "Starts the server");
    EXPECT_EQ(Utf8(link->iconPath), Utf8(icon));
    EXPECT_EQ(link->iconIndex, 0);

    op.reset();
    EXPECT_EQ(Lines(output.Text()), LineList{"Rollback: removing previously created shortcut '" + Utf8(m_link) + "'"});
    EXPECT_FALSE(Exists(m_link));
}

TEST_F(ShortcutTest, ItemsNotGivenStayEmptyAndTheIconIsTheTarget)
{
    OutputCapture output;
    CreateShortcut op(m_link.c_str(), m_target.c_str(), L"", L"", L"", L"");
    op.Commit();

    std::optional<LinkContent> link = ReadLink(m_link);
    ASSERT_TRUE(link) << "the shortcut cannot be loaded";
    EXPECT_EQ(Utf8(link->path), Utf8(m_target));
    EXPECT_EQ(Utf8(link->arguments), "");
    EXPECT_EQ(Utf8(link->workingDirectory), "");
    EXPECT_EQ(Utf8(link->description), "");
    EXPECT_EQ(Utf8(link->iconPath), Utf8(m_target));
    EXPECT_EQ(link->iconIndex, 0);
}

TEST_F(ShortcutTest, FailuresEndTheUnattendedRunUnlessForced)
{
    struct Case {
        const char* name;
        const char* seam;
        DWORD error;
        bool force;
        std::optional<int> exitCode;
        std::string description;  // the start of it when `wholeDescription` is false
        bool wholeDescription;
    };
    const std::vector<Case> cases = {
        {"Save fails", "IPersistFile::Save", DWORD(E_ACCESSDENIED), false, 105, "IPersistFile::Save() failed", true},
        {"Save fails, -force", "IPersistFile::Save", DWORD(E_ACCESSDENIED), true, std::nullopt,
         "IPersistFile::Save() failed", true},
        {"the link object cannot be made", "CoCreateInstance", DWORD(E_FAIL), false, 105,
         "CoCreateInstance(IShellLinkW) failed: COM error 0x80004005: Unspecified failure.", true},
        {"the link object cannot be made, -force", "CoCreateInstance", DWORD(E_FAIL), true, std::nullopt,
         "CoCreateInstance(IShellLinkW) failed: COM error 0x80004005: Unspecified failure.", true},
        {"the link object has no IPersistFile", "QueryInterface", DWORD(E_NOINTERFACE), false, 105,
         "IShellLinkW::QueryInterface(IPersistFile) failed: COM error 0x80004002", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        State().force = c.force;
        State().uninstallParams.clear();
        Tarnlib::FaultSeam::Reset();
        Tarnlib::FaultSeam::Arm(c.seam, 1, c.error);

        OutputCapture output;
        std::unique_ptr<CreateShortcut> op;
        EXPECT_EQ(ExitCodeOf([&] {
                      op = std::make_unique<CreateShortcut>(m_link.c_str(), m_target.c_str(), L"", L"", L"", L"");
                  }),
                  c.exitCode);
        LineList lines = Lines(output.Text());
        ASSERT_GE(lines.size(), 3u);
        if (c.wholeDescription) {
            EXPECT_EQ(lines[2], c.description);
        } else {
            EXPECT_EQ(lines[2].substr(0, c.description.size()), c.description);
        }
        LineList expected = {Creating(m_link), "Creating shortcut failed", lines[2]};
        if (c.exitCode) {
            expected.push_back("Aborting...");
            expected.push_back("");
        }
        EXPECT_EQ(lines, expected);
        EXPECT_FALSE(Exists(m_link));
        EXPECT_EQ(UninstallParams(), L"");

        WriteTextFile(m_link, "made by someone else");
        op.reset();
        EXPECT_EQ(output.Text(), "") << "a shortcut that was not made is not rolled back";
        EXPECT_TRUE(Exists(m_link));
        DeleteFileW(m_link.c_str());
    }
}

TEST_F(ShortcutTest, InteractiveFailureAsksWhetherToContinue)
{
    const std::string question = "Creating shortcut '" + Utf8(m_link) +
                                 "' failed.\nIPersistFile::Save() failed.\nDo you want to continue with the "
                                 "installation anyway?";
    struct Case {
        const char* name;
        int answer;
        bool force;
        std::optional<int> exitCode;
    };
    for (const Case& c : {Case{"Yes", IDYES, false, std::nullopt}, Case{"No, -force plays no part", IDNO, true, 105}}) {
        SCOPED_TRACE(c.name);
        State().force = c.force;
        GoInteractive({c.answer});
        Tarnlib::FaultSeam::Reset();
        Tarnlib::FaultSeam::Arm("IPersistFile::Save", 1, DWORD(E_ACCESSDENIED));

        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] { CreateShortcut op(m_link.c_str(), m_target.c_str(), L"", L"", L"", L""); }),
                  c.exitCode);
        std::vector<BoxRecord> records = m_boxes.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].type, "0x34");
        EXPECT_EQ(records[0].caption, "Creating shortcut failed");
        EXPECT_EQ(records[0].text, question);
    }
}

TEST_F(ShortcutTest, RollbackOfADeletedShortcutSchedulesItsRemoval)
{
    struct Case {
        const char* name;
        bool interactive;
    };
    for (const Case& c : {Case{"unattended", false}, Case{"interactive", true}}) {
        SCOPED_TRACE(c.name);
        WritePendingRaw(RawPendingValue{});
        OutputCapture output;
        auto op = std::make_unique<CreateShortcut>(m_link.c_str(), m_target.c_str(), L"", L"", L"", L"");
        output.Text();
        ASSERT_TRUE(DeleteFileW(m_link.c_str()));
        if (c.interactive)
            GoInteractive();

        op.reset();
        const std::string error = Utf8(WinErrorDescription(ERROR_FILE_NOT_FOUND).str());
        EXPECT_EQ(Lines(output.Text()),
                  (LineList{"Rollback: removing previously created shortcut '" + Utf8(m_link) + "'",
                            "Rollback: removing shortcut failed", error, "Scheduling remove shortcut on reboot"}));
        EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\" + m_link, L""}));
        if (c.interactive) {
            std::vector<BoxRecord> records = m_boxes.Records();
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].type, "0x10");
            EXPECT_EQ(records[0].caption, "Rollback: removing shortcut failed");
            EXPECT_EQ(records[0].text, "Unable to remove previously created shortcut '" + Utf8(m_link) + "'.\n" +
                                           error + "\nThe shortcut will be scheduled for removal on reboot.");
        }
    }
}

}  // namespace
