// Creating the install directory and its missing parents, the reports and rollback of that
// operation, and the securing of the install directory.
#include "OperationTestKit.h"

#include "InstallLib/InstallDir.h"
#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/WinSecurity.h"

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace OperationTestKit;

namespace {

typedef std::vector<std::string> LineList;
typedef std::vector<std::wstring> StringList;

const char Failed[] = "Creating directory failed";
const char NotADirectory[] = "The specified path already exists and is not a directory.";
const char NotEmpty[] = "The directory already exists and is not empty.";

std::string Creating(const std::wstring& path) { return "Creating directory '" + Utf8(path) + "'"; }
std::string RollingBack(const std::wstring& path)
{
    return "Rollback: removing previously created directory '" + Utf8(path) + "'";
}
std::wstring DelDir(const std::wstring& path) { return L" \"-delDir=" + path + L"\""; }
std::string CreateFailure(DWORD error) { return "CreateDirectory() failed: " + Utf8(WinErrorDescription(error).str()); }
std::string RemoveFailure(DWORD error) { return "RemoveDirectory() failed: " + Utf8(WinErrorDescription(error).str()); }

// The temp directory stands for an existing D:\A.
class InstallDirTest : public OperationTest {
protected:
    ScratchDirectory m_root;
};

TEST_F(InstallDirTest, MissingParentsAreCreatedFromTheTopAndRemovedFromTheBottom)
{
    const std::wstring b = m_root / L"B";
    const std::wstring srv = b + L"\\Srv";
    WritePendingList({L"\\??\\" + srv, L"", L"\\??\\C:\\Other\\b.txt", L"", L"\\??\\" + b, L""});

    std::optional<MakeInstallDir> op;
    {
        OutputCapture output;
        op.emplace(srv.c_str(), nullptr, MakeInstallDir::ParentsWithoutSecurity);
        EXPECT_EQ(Lines(output.Text()), (LineList{Creating(srv), Creating(b)}));
    }
    EXPECT_TRUE(IsDirectory(srv));
    EXPECT_EQ(UninstallParams(), DelDir(b) + DelDir(srv));
    EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\C:\\Other\\b.txt", L""}))
        << "old pending deletions of the created directories are cancelled";

    OutputCapture output;
    op.reset();
    EXPECT_EQ(Lines(output.Text()), (LineList{RollingBack(srv), RollingBack(b)}));
    EXPECT_FALSE(Exists(b));
    EXPECT_TRUE(IsDirectory(m_root.Path()));
    EXPECT_EQ(UninstallParams(), DelDir(b) + DelDir(srv)) << "entries stay after a rollback";
}

TEST_F(InstallDirTest, CommitAndNoRollbackKeepTheWholeChain)
{
    struct Case {
        const char* name;
        bool commit;
        bool noRollback;
    };
    for (const Case& c : {Case{"committed", true, false}, Case{"-noRollback", false, true}}) {
        SCOPED_TRACE(c.name);
        const std::wstring b = m_root / (std::wstring(L"B-") + (c.commit ? L"commit" : L"noRollback"));
        const std::wstring srv = b + L"\\Srv";
        OutputCapture output;
        auto op = std::make_unique<MakeInstallDir>(srv.c_str(), nullptr, MakeInstallDir::ParentsWithoutSecurity);
        output.Text();
        if (c.commit)
            op->Commit();
        State().noRollback = c.noRollback;

        op.reset();
        EXPECT_EQ(output.Text(), "");
        EXPECT_TRUE(IsDirectory(srv));
    }
}

enum class Layout {
    FileAtPath,          // <root>\Srv is a file
    NonEmptyDirectory,   // <root>\Srv is a directory holding a file
    MissingParent,       // <root>\B\Srv, and <root>\B does not exist
    CreateDenied,        // <root>\Srv is missing; CreateDirectoryW fails with access denied
};

std::wstring Prepare(const ScratchDirectory& root, Layout layout)
{
    switch (layout) {
    case Layout::FileAtPath:
        WriteTextFile(root / L"Srv", "not a directory");
        break;
    case Layout::NonEmptyDirectory:
        CreateDirectoryW((root / L"Srv").c_str(), nullptr);
        WriteTextFile(root / L"Srv\\kept.txt", "x");
        break;
    case Layout::MissingParent:
        return root / L"B\\Srv";
    case Layout::CreateDenied:
        Tarnlib::FaultSeam::Arm("CreateDirectoryW", 1, ERROR_ACCESS_DENIED);
        break;
    }
    return root / L"Srv";
}

// The system refuses a descriptor of revision 0, so a directory given these attributes is never
// created: that shows which of the chain's directories receive them.
TEST_F(InstallDirTest, ParentsReceiveTheSecurityAttributesUnlessFlagFourIsSet)
{
    SECURITY_DESCRIPTOR unusable = {};
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &unusable, FALSE};
    const std::string refused = CreateFailure(ERROR_UNKNOWN_REVISION);
    for (unsigned flags : {0u, 4u}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        ScratchDirectory root;
        const std::wstring b = root / L"B";
        const std::wstring srv = b + L"\\Srv";
        State().uninstallParams.clear();

        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] { MakeInstallDir op(srv.c_str(), &attributes, flags); }), 102);
        LineList lines = Lines(output.Text());
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(LineList(lines.begin(), lines.begin() + 5),
                  (LineList{Creating(srv), Creating(b), Failed, refused, "Aborting..."}));
        EXPECT_EQ(UninstallParams(), flags == 4 ? DelDir(b) : L"") << "only a parent made without them is created";
        EXPECT_FALSE(Exists(srv));
    }
}

TEST_F(InstallDirTest, FailuresThatEndTheUnattendedRun)
{
    struct Case {
        const char* name;
        Layout layout;
        unsigned flags;
        bool force;
        int exitCode;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"a file at the path", Layout::FileAtPath, 4, false, 101, NotADirectory},
        {"a file at the path, even with -force", Layout::FileAtPath, 4, true, 101, NotADirectory},
        {"CreateDirectoryW fails, even with -force", Layout::CreateDenied, 4, true, 102, CreateFailure(ERROR_ACCESS_DENIED)},
        {"flags 6 never create the missing parent", Layout::MissingParent, 6, true, 102,
         CreateFailure(ERROR_PATH_NOT_FOUND)},
        {"a directory that is not empty, flags 1, no -force", Layout::NonEmptyDirectory, 1, false, 103, NotEmpty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory root;
        const std::wstring path = Prepare(root, c.layout);
        State().force = c.force;
        State().uninstallParams.clear();

        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] { MakeInstallDir op(path.c_str(), nullptr, c.flags); }), c.exitCode);
        EXPECT_EQ(Lines(output.Text()), (LineList{Creating(path), Failed, c.reason, "Aborting...", ""}));
        EXPECT_EQ(UninstallParams(), L"");
        EXPECT_FALSE(Exists(root / L"B"));
        Tarnlib::FaultSeam::Reset();
    }
}

TEST_F(InstallDirTest, AnExistingDirectoryIsKeptAndNeverRemoved)
{
    struct Case {
        const char* name;
        bool withFile;
        unsigned flags;
        bool force;
        LineList reportLines;
    };
    const std::vector<Case> cases = {
        {"not empty, flags 1, -force", true, 1, true, {Failed, NotEmpty}},
        {"not empty, flags 4: no question", true, 4, false, {}},
        {"empty, flags 1: no question", false, 1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory root;
        const std::wstring path = root / L"Srv";
        CreateDirectoryW(path.c_str(), nullptr);
        if (c.withFile)
            WriteTextFile(path + L"\\kept.txt", "x");
        WritePendingList({L"\\??\\" + path, L"", L"\\??\\C:\\Other\\b.txt", L""});
        State().force = c.force;

        OutputCapture output;
        auto op = std::make_unique<MakeInstallDir>(path.c_str(), nullptr, c.flags);
        LineList expected = {Creating(path)};
        expected.insert(expected.end(), c.reportLines.begin(), c.reportLines.end());
        EXPECT_EQ(Lines(output.Text()), expected);
        EXPECT_EQ(UninstallParams(), L"");
        EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\C:\\Other\\b.txt", L""}))
            << "an old pending deletion of the kept directory is cancelled";

        op.reset();
        EXPECT_EQ(output.Text(), "") << "the rollback prints nothing";
        EXPECT_TRUE(IsDirectory(path));
        EXPECT_EQ(Exists(path + L"\\kept.txt"), c.withFile);
    }
}

TEST_F(InstallDirTest, ADriveOrServerParentIsNeverCreated)
{
    std::wstring missingDrive;
    for (wchar_t letter = L'Y'; letter >= L'M' && missingDrive.empty(); --letter) {
        std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
            missingDrive = std::wstring(1, letter) + L":";
    }
    ASSERT_FALSE(missingDrive.empty()) << "no free drive letter";
    for (const std::wstring& path : {missingDrive + L"\\KvSrv", std::wstring(L"\\\\kvnosuchserver\\KvSrv")}) {
        SCOPED_TRACE(Utf8(path));
        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] { MakeInstallDir op(path.c_str(), nullptr, MakeInstallDir::ParentsWithoutSecurity); }),
                  102);
        LineList lines = Lines(output.Text());
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], Creating(path));
        EXPECT_EQ(lines[1], Failed) << "only the directory itself is tried";
    }
}

TEST_F(InstallDirTest, AFailedRemovalIsReportedAndScheduledForTheRestart)
{
    const std::wstring srv = m_root / L"Srv";
    WritePendingRaw(RawPendingValue{});
    OutputCapture output;
    auto op = std::make_unique<MakeInstallDir>(srv.c_str(), nullptr, MakeInstallDir::ParentsWithoutSecurity);
    output.Text();
    Tarnlib::FaultSeam::Arm("RemoveDirectoryW", 1, ERROR_ACCESS_DENIED);

    op.reset();
    EXPECT_EQ(Lines(output.Text()), (LineList{RollingBack(srv), "Rollback: removing directory failed",
                                              RemoveFailure(ERROR_ACCESS_DENIED),
                                              "Scheduling removing directory on reboot"}));
    EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\" + srv, L""}));
}

TEST_F(InstallDirTest, ADirectoryStillHoldingFilesDoesNotStopTheRollbackOfItsParent)
{
    const std::wstring b = m_root / L"B";
    const std::wstring srv = b + L"\\Srv";
    WritePendingRaw(RawPendingValue{});
    OutputCapture output;
    auto op = std::make_unique<MakeInstallDir>(srv.c_str(), nullptr, MakeInstallDir::ParentsWithoutSecurity);
    output.Text();
    WriteTextFile(srv + L"\\left.txt", "x");

    op.reset();
    const std::string failed = "Rollback: removing directory failed";
    const std::string scheduling = "Scheduling removing directory on reboot";
    EXPECT_EQ(Lines(output.Text()),
              (LineList{RollingBack(srv), failed, RemoveFailure(ERROR_DIR_NOT_EMPTY), scheduling, RollingBack(b),
                        failed, RemoveFailure(ERROR_DIR_NOT_EMPTY), scheduling}));
    EXPECT_EQ(ReadPendingList(), (StringList{L"\\??\\" + srv, L"", L"\\??\\" + b, L""}));
}

TEST_F(InstallDirTest, InteractiveReportsShowTheirBoxes)
{
    struct Case {
        const char* name;
        Layout layout;
        unsigned flags;
        bool force;
        std::vector<int> answers;
        std::optional<int> exitCode;
        std::string reason;
        std::string boxType;
        std::string boxQuestion;  // after the reason
    };
    const std::string question = "\nContinuing installation is not recommended. Do you want to continue anyway?";
    const std::vector<Case> cases = {
        {"a file at the path", Layout::FileAtPath, 4, false, {}, 101, NotADirectory, "0x10", ""},
        {"CreateDirectoryW fails", Layout::CreateDenied, 4, false, {}, 102, CreateFailure(ERROR_ACCESS_DENIED), "0x10",
         ""},
        {"not empty, Yes", Layout::NonEmptyDirectory, 1, false, {IDYES}, std::nullopt, NotEmpty, "0x34", question},
        {"not empty, No", Layout::NonEmptyDirectory, 1, false, {IDNO}, 103, NotEmpty, "0x34", question},
        {"not empty, No, -force plays no part", Layout::NonEmptyDirectory, 1, true, {IDNO}, 103, NotEmpty, "0x34",
         question},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory root;
        const std::wstring path = Prepare(root, c.layout);
        State().force = c.force;
        GoInteractive(c.answers);

        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] { MakeInstallDir op(path.c_str(), nullptr, c.flags); }), c.exitCode);
        LineList expected = {Creating(path), Failed, c.reason};
        if (c.exitCode) {
            expected.push_back("Aborting...");
            expected.push_back("");
        }
        EXPECT_EQ(Lines(output.Text()), expected);
        std::vector<BoxRecord> records = m_boxes.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].type, c.boxType);
        EXPECT_EQ(records[0].caption, Failed);
        EXPECT_EQ(records[0].text, "Creating directory '" + Utf8(path) + "' failed.\n" + c.reason + c.boxQuestion);
        Tarnlib::FaultSeam::Reset();
    }
}

TEST_F(InstallDirTest, InteractiveRollbackFailureShowsAnErrorBox)
{
    const std::wstring srv = m_root / L"Srv";
    OutputCapture output;
    auto op = std::make_unique<MakeInstallDir>(srv.c_str(), nullptr, MakeInstallDir::ParentsWithoutSecurity);
    output.Text();
    GoInteractive();
    Tarnlib::FaultSeam::Arm("RemoveDirectoryW", 1, ERROR_ACCESS_DENIED);

    op.reset();
    std::vector<BoxRecord> records = m_boxes.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].type, "0x10");
    EXPECT_EQ(records[0].caption, "Rollback: removing directory failed");
    EXPECT_EQ(records[0].text, "Unable to remove previously created directory '" + Utf8(srv) + "'\n" +
                                   RemoveFailure(ERROR_ACCESS_DENIED) +
                                   "\nThe directory will be scheduled for removal on reboot.");
    EXPECT_EQ(Lines(output.Text()).back(), "Scheduling removing directory on reboot");
}

TEST_F(InstallDirTest, SecuringFailureIsReportedOnceAndEndsTheRunUnlessAllowed)
{
    const std::string description = "Access control is not supported by the underlaying file system.";
    const std::string heading = "Securing installation directory failed";
    struct Case {
        const char* name;
        bool interactive;
        bool force;
        std::vector<int> answers;
        std::optional<int> exitCode;
        LineList lines;
    };
    const std::vector<Case> cases = {
        {"unattended", false, false, {}, 108,
         {heading, description, "Note: use /Force flag to override", "Aborting...", ""}},
        {"unattended with -force", false, true, {}, std::nullopt, {heading, description}},
        {"interactive, Yes", true, false, {IDYES}, std::nullopt, {heading, description}},
        {"interactive, No", true, true, {IDNO}, 108,
         {heading, description, "Installation canceled by user (securing installation directory failure)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.interactive) {
            GoInteractive(c.answers);
        } else {
            State().interactive = false;
            m_boxes.Restart();
        }
        State().force = c.force;
        InstallDirSecurity security;

        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] { ReportSecuringFailure(security, L"Access control is not supported by the "
                                                                   L"underlaying file system."); }),
                  c.exitCode);
        EXPECT_EQ(Lines(output.Text()), c.lines);
        EXPECT_TRUE(security.securingFailed);
        std::vector<BoxRecord> records = m_boxes.Records();
        ASSERT_EQ(records.size(), c.interactive ? 1u : 0u);
        if (c.interactive) {
            EXPECT_EQ(records[0].type, "0x134");
            EXPECT_EQ(records[0].caption, heading);
            EXPECT_EQ(records[0].text, description + "\nDo you want to continue with the installation anyway?");
        }

        State().interactive = false;
        State().force = false;
        EXPECT_EQ(ExitCodeOf([&] { ReportSecuringFailure(security, L"a second failure"); }), std::nullopt);
        EXPECT_EQ(output.Text(), "") << "a second failure is not reported";
    }
}

TEST_F(InstallDirTest, UnreadableVolumeFlagsPassTheAccessControlCheck)
{
    State().installDir = m_root.Path().c_str();
    InstallDirSecurity security;
    Tarnlib::FaultSeam::Arm("GetVolumeInformationW", 1, ERROR_NOT_READY);

    OutputCapture output;
    CheckAccessControlSupport(security);
    EXPECT_EQ(output.Text(), "");
    EXPECT_FALSE(security.securingFailed);
}

TEST_F(InstallDirTest, TheSecuredInstallDirIsCreatedWithItsMissingParents)
{
    const std::wstring programs = m_root / L"Programs";
    const std::wstring installDir = programs + L"\\Srv";
    State().installDir = installDir.c_str();
    InstallDirSecurity security;

    OutputCapture output;
    CreateSecuredInstallDir(security);
    EXPECT_EQ(Lines(output.Text()), (LineList{Creating(installDir), Creating(programs)}));
    EXPECT_FALSE(security.securingFailed);
    EXPECT_TRUE(IsDirectory(installDir));
    EXPECT_EQ(UninstallParams(), DelDir(programs) + DelDir(installDir));

    ASSERT_TRUE(security.installDirOp);
    security.installDirOp->Commit();
    security.installDirOp.reset();
    EXPECT_EQ(output.Text(), "");
    EXPECT_TRUE(IsDirectory(installDir));
}

TEST_F(InstallDirTest, ASecuringFailureWithForceCreatesTheDirectoryWithoutTheList)
{
    const std::wstring installDir = m_root / L"Srv";
    State().installDir = installDir.c_str();
    State().force = true;
    InstallDirSecurity security;
    Tarnlib::FaultSeam::Arm("SetEntriesInAclW", 1, ERROR_NOT_ENOUGH_MEMORY);

    OutputCapture output;
    CreateSecuredInstallDir(security);
    EXPECT_EQ(Lines(output.Text()),
              (LineList{"Securing installation directory failed",
                        "SetEntriesInAcl() failed: " + Utf8(WinErrorDescription(ERROR_NOT_ENOUGH_MEMORY).str()),
                        Creating(installDir)}));
    EXPECT_TRUE(security.securingFailed);
    EXPECT_TRUE(IsDirectory(installDir));
    EXPECT_EQ(UninstallParams(), DelDir(installDir));

    ASSERT_TRUE(security.installDirOp);
    security.installDirOp.reset();
    EXPECT_FALSE(Exists(installDir)) << "the install directory's operation rolls back like any other";
}

TEST_F(InstallDirTest, InstallDirAccessListIsProtectedAndInherited)
{
    InstallDirAccessList list;
    Tarnlib::SecurityDescriptor descriptor;
    descriptor.SetDacl(list.acl.Get());
    descriptor.ProtectDacl();

    wchar_t* sddl = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.Get(), SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr));
    std::wstring text = sddl;
    LocalFree(sddl);
    EXPECT_EQ(Utf8(text), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;GXGR;;;AU)");
}

}  // namespace
