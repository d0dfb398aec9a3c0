#include "OperationTestKit.h"

#include "InstallLib/Payload.h"
#include "NoCrtLib/Exceptions.h"

using namespace OperationTestKit;

namespace {

class RemovingCreatedFiles : public OperationTest {};

}  // namespace

TEST_F(RemovingCreatedFiles, AFileThatCannotBeRemovedIsReportedAndScheduledForTheNextRestart)
{
    ScratchDirectory directory;
    const std::wstring file = directory / L"KssCtrl.exe";
    WriteTextFile(file, "x");
    Tarnlib::FaultSeam::Arm("DeleteFileW", 1, ERROR_SHARING_VIOLATION);
    OutputCapture output;
    RemoveCreatedFile(wstrview(file.c_str()));
    Tarnlib::FaultSeam::Reset();

    SystemError error(L"DeleteFile()"_v, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Lines(output.Text()), (std::vector<std::string>{
                                        "Rollback: removing previously created file '" + Utf8(file) + "'",
                                        "Rollback: removing file failed",
                                        Utf8(error.Description()),
                                        "Rollback: scheduling file deletion on reboot",
                                    }));
    std::optional<std::vector<std::wstring>> pending = ReadPendingList();
    ASSERT_TRUE(pending.has_value());
    bool scheduled = false;
    for (size_t i = 0; i + 1 < pending->size(); i += 2)
        scheduled = scheduled || ((*pending)[i] == L"\\??\\" + file && (*pending)[i + 1].empty());
    EXPECT_TRUE(scheduled) << "the file is not pending deletion";
    EXPECT_TRUE(Exists(file));
}

TEST_F(RemovingCreatedFiles, InInteractiveModeTheFailureIsAlsoShownInABox)
{
    ScratchDirectory directory;
    const std::wstring file = directory / L"uninst.exe";
    WriteTextFile(file, "x");
    GoInteractive();
    Tarnlib::FaultSeam::Arm("DeleteFileW", 1, ERROR_ACCESS_DENIED);
    OutputCapture output;
    RemoveCreatedFile(wstrview(file.c_str()));
    Tarnlib::FaultSeam::Reset();

    SystemError error(L"DeleteFile()"_v, ERROR_ACCESS_DENIED);
    std::vector<BoxRecord> boxes = m_boxes.Records();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Rollback: removing file failed");
    EXPECT_EQ(boxes[0].text, "Unable to remove previously created '" + Utf8(file) + "'\n" +
                                 Utf8(error.Description()) + "\nThe file will be scheduled for deletion on reboot.");
    EXPECT_EQ(boxes[0].type, "0x10");
}
