// Shared pieces of the install-operation tests: scratch directories under the temp folder, the
// machine's list of deletions pending until restart (saved and put back around every test),
// message boxes answered by the test, and the process-wide installer record reset per test.
#pragma once

#include "OutputCapture.h"
#include "ScratchDirectory.h"

#include "InstallLib/InstallerState.h"
#include "InstallLib/RunExit.h"
#include "NoCrtLib/NoCrtString.h"
#include "Tarnlib/FaultSeam.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace OperationTestKit {

std::string Utf8(const std::wstring& text);
std::string Utf8(wstrview text);
std::wstring Wide(wstrview text);

// The printed lines, without their line feeds; a final line feed ends the last line.
std::vector<std::string> Lines(const std::string& text);

// The exit code of the SilentExit that `action` raised; none when it returned.
template <class Action>
std::optional<int> ExitCodeOf(Action action)
{
    try {
        action();
    } catch (const SilentExit& exit) {
        return exit.ExitCode();
    }
    return std::nullopt;
}

bool Exists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
void WriteTextFile(const std::wstring& path, const std::string& content);
// HKLM "SYSTEM\CurrentControlSet\Control\Session Manager" "PendingFileRenameOperations".
struct RawPendingValue {
    bool present = false;
    DWORD type = 0;
    std::vector<unsigned char> bytes;
};
RawPendingValue ReadPendingRaw();
// Writes the value as given, or deletes it when not present.
void WritePendingRaw(const RawPendingValue& value);
// The value's strings in order (empty destinations included); none when the value is missing.
std::optional<std::vector<std::wstring>> ReadPendingList();
// Stores the strings as a multi-string: each with its 0, then one more 0.
void WritePendingList(const std::vector<std::wstring>& strings);

// Puts the pending list back as it was when the object was made.
class PendingListSnapshot {
public:
    PendingListSnapshot() : m_saved(ReadPendingRaw()) {}
    ~PendingListSnapshot() { WritePendingRaw(m_saved); }
    PendingListSnapshot(const PendingListSnapshot&) = delete;
    PendingListSnapshot& operator=(const PendingListSnapshot&) = delete;

private:
    RawPendingValue m_saved;
};

struct BoxRecord {
    std::string type;  // "0x34"
    std::string caption;
    std::string text;
};

// Message boxes go to a log file instead of the screen while the object lives; they are answered
// with the numbers given to Answer() in order, then with IDOK.
class AnsweredMessageBoxes {
public:
    AnsweredMessageBoxes();
    ~AnsweredMessageBoxes();
    AnsweredMessageBoxes(const AnsweredMessageBoxes&) = delete;
    AnsweredMessageBoxes& operator=(const AnsweredMessageBoxes&) = delete;

    void Answer(const std::vector<int>& answers);
    // Forgets the boxes logged so far and the answers not used.
    void Restart();
    std::vector<BoxRecord> Records() const;

private:
    std::string m_logPath;
    // The message-box hook counts every box of the process; answers are given after those.
    static inline size_t s_boxesBefore = 0;
};

// The base of the operation tests: an unattended run with neither -force nor -noRollback, an empty
// uninstaller parameter list, no armed faults, boxes logged instead of shown, and the pending
// list restored afterwards.
class OperationTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static InstallerState& State() { return InstallerState::Instance(); }
    static std::wstring UninstallParams() { return Wide(State().uninstallParams.str()); }
    // Interactive mode, with the answers the boxes will get; the boxes logged are from here on.
    void GoInteractive(const std::vector<int>& answers = {});

    PendingListSnapshot m_pendingList;
    AnsweredMessageBoxes m_boxes;

private:
    static void ResetState();
    bool m_wentInteractive = false;
};

}  // namespace OperationTestKit
