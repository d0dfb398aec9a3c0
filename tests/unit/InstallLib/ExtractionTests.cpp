#include "OperationTestKit.h"

#include "InstallLib/Payload.h"
#include "InstallLib/RunExit.h"
#include "NoCrtLib/ErrorText.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

using namespace OperationTestKit;

namespace {

// A payload made by the build from tests/payloads/<name>.messages, used instead of the resource.
class PayloadFromFile {
public:
    explicit PayloadFromFile(const std::string& name)
    {
        char path[MAX_PATH];
        DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string directory(path, length);
        directory.resize(directory.rfind('\\'));
        _putenv_s("KV_PAYLOAD_FILE", (directory + "\\..\\payload\\edge\\" + name + ".lzma").c_str());
    }
    ~PayloadFromFile() { _putenv_s("KV_PAYLOAD_FILE", ""); }
};

// A payload of the given bytes, written to a scratch file and used instead of the resource.
class PayloadOfBytes {
public:
    explicit PayloadOfBytes(const std::string& bytes) : m_path(m_directory / L"payload.lzma")
    {
        std::ofstream(m_path.c_str(), std::ios::binary) << bytes;
        _putenv_s("KV_PAYLOAD_FILE", Utf8(m_path).c_str());
    }
    ~PayloadOfBytes() { _putenv_s("KV_PAYLOAD_FILE", ""); }

private:
    ScratchDirectory m_directory;
    std::wstring m_path;
};

std::string FileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The text with which a full extraction into the directory fails; empty when it succeeds.
std::wstring FullExtractionFailure(const ScratchDirectory& directory)
{
    try {
        ExtractTargets targets{wstring_nc(directory.Path().c_str()), {}, {}, {}};
        WriteFilesFromLzmaStream extraction(targets, AllCategories);
    } catch (const InstallError& error) {
        return Wide(error.Description());
    }
    return L"";
}

class Extraction : public OperationTest {};

}  // namespace

TEST_F(Extraction, TheUninstallerAloneStopsDecodingAfterTheChunksThatHoldIt)
{
    // Messages before the end of the uninstaller's data: its name (5 + 10 bytes), its category
    // (5), the data header (5) and 510560 data bytes; the 128 KiB chunks that hold them: 4.
    const unsigned uninstallerEnd = 15 + 5 + 5 + 510560;
    const unsigned expectedChunks = (uninstallerEnd + 131071) / 131072;
    PayloadFromFile payload("uninstallerfirst");
    ScratchDirectory directory;
    const std::wstring target = directory / L"KvUninstall.exe";
    OutputCapture output;
    {
        ExtractTargets targets{wstring_nc(directory.Path().c_str()), wstring_nc(target.c_str()), {}, {}};
        WriteFilesFromLzmaStream extraction(targets, CategoryUninstaller);
        EXPECT_EQ(extraction.DecodedChunks(), expectedChunks);
        extraction.Commit();
    }
    EXPECT_EQ(FileBytes(target), std::string(510560, 'M'));
    EXPECT_FALSE(Exists(directory / L"uninst.exe"));
    EXPECT_FALSE(Exists(directory / L"QyProv32.dll")) << "a category outside the selection was written";
    EXPECT_FALSE(Exists(directory / L"KvSshServer.exe"));
    EXPECT_EQ(output.Text(), "") << "a partial extraction prints nothing";
    EXPECT_EQ(UninstallParams(), L"") << "a partial extraction records nothing for the uninstaller";
}

TEST_F(Extraction, TwoCategoriesDecodeUntilBothAreWritten)
{
    PayloadFromFile payload("uninstallerfirst");
    ScratchDirectory directory;
    OutputCapture output;
    ExtractTargets targets{wstring_nc(directory.Path().c_str()), {}, {}, {}};
    WriteFilesFromLzmaStream extraction(targets, CategoryUninstaller | CategoryCryptoProvider32);
    EXPECT_EQ(extraction.DecodedChunks(), (15u + 5 + 5 + 510560 + 17 + 5 + 5 + 100000 + 131071) / 131072);
    EXPECT_EQ(FileBytes(directory / L"QyProv32.dll"), std::string(100000, 'Q'));
    EXPECT_FALSE(Exists(directory / L"KvSshServer.exe"));
    extraction.Commit();
}

TEST_F(Extraction, AFullInstallRecordsPrintsAndUndoesEveryFile)
{
    PayloadFromFile payload("emptydata");
    ScratchDirectory directory;
    OutputCapture output;
    {
        ExtractTargets targets{wstring_nc(directory.Path().c_str()), {}, {}, {}};
        WriteFilesFromLzmaStream extraction(targets, AllCategories);
        for (const wchar_t* name : {L"e1", L"e2", L"e3"})
            EXPECT_TRUE(Exists(directory / name)) << Utf8(std::wstring(name));
    }
    std::wstring params;
    std::vector<std::string> expected;
    for (const wchar_t* name : {L"e1", L"e2", L"e3"}) {
        params += L" \"-delFile=" + (directory / name) + L"\"";
        expected.push_back("Installing " + Utf8(directory / name));
    }
    for (const wchar_t* name : {L"e3", L"e2", L"e1"})
        expected.push_back("Rollback: removing previously created file '" + Utf8(directory / name) + "'");
    EXPECT_EQ(UninstallParams(), params);
    EXPECT_EQ(Lines(output.Text()), expected);
    for (const wchar_t* name : {L"e1", L"e2", L"e3"})
        EXPECT_FALSE(Exists(directory / name)) << "not rolled back: " << Utf8(std::wstring(name));
}

TEST_F(Extraction, InteractiveQuestionDecidesWhetherAnExistingFileIsOverwritten)
{
    struct Case {
        const char* name;
        int answer;
        std::optional<int> exitCode;
        std::string contentAfter;
    };
    for (const Case& c : {Case{"Yes overwrites", IDYES, std::nullopt, "x"}, Case{"No aborts", IDNO, 104, "old"}}) {
        SCOPED_TRACE(c.name);
        PayloadFromFile payload("emptydata");
        ScratchDirectory directory;
        const std::wstring existing = directory / L"e2";
        WriteTextFile(existing, "old");
        GoInteractive({c.answer});
        OutputCapture output;
        EXPECT_EQ(ExitCodeOf([&] {
                      ExtractTargets targets{wstring_nc(directory.Path().c_str()), {}, {}, {}};
                      WriteFilesFromLzmaStream extraction(targets, AllCategories);
                      extraction.Commit();
                  }),
                  c.exitCode);
        std::vector<BoxRecord> records = m_boxes.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].type, "0x34");
        EXPECT_EQ(records[0].caption, "File already exists");
        EXPECT_EQ(records[0].text, "File '" + Utf8(existing) +
                                       "' already exists.\nDo you want it to be overwritten?\nClicking 'Yes' will "
                                       "overwrite the file, clicking 'No' will abort the installation.");
        EXPECT_EQ(FileBytes(existing), c.contentAfter);
        std::vector<std::string> lines = Lines(output.Text());
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1], "File '" + Utf8(existing) + "' already exists");
    }
}

TEST_F(Extraction, AnUnusableStreamHeaderEndsTheExtractionBeforeAnythingIsDecoded)
{
    struct HeaderCase {
        const char* name;
        std::string bytes;
        const wchar_t* text;
    };
    const std::string sizeAllOnes(8, '\xFF');
    const std::vector<HeaderCase> cases = {
        {"twelve bytes", std::string("\x5D\x00\x00\x00\x02", 5) + std::string(7, '\0'),
         L"WriteFilesFromLzmaStream: insufficient stream length"},
        {"properties byte 225", std::string("\xE1\x00\x00\x00\x02", 5) + std::string(8, '\0'),
         L"LzmaDecodeProperties() failed: incorrect stream properties"},
        {"decoded size all ones", std::string("\x5D\x00\x00\x00\x02", 5) + sizeAllOnes,
         L"WriteFilesFromLzmaStream: end-of-stream marker not supported"},
        {"decoded size all ones with a dictionary too large to allocate",
         std::string("\x5D\xFF\xFF\xFF\xFF", 5) + sizeAllOnes,
         L"WriteFilesFromLzmaStream: end-of-stream marker not supported"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        PayloadOfBytes payload(c.bytes);
        ScratchDirectory directory;
        OutputCapture output;
        EXPECT_EQ(FullExtractionFailure(directory), c.text);
        EXPECT_EQ(output.Text(), "");
    }
}

TEST_F(Extraction, FailingFileCallsEndTheExtractionWithTheirTextsAndRemoveWhatWasWritten)
{
    struct FailureCase {
        const char* function;
        unsigned nth;
        const wchar_t* failingName;
        std::wstring text;  // after the path
    };
    const std::wstring created = L"' - CreateFile() failed with the following error: ";
    const std::wstring written = L"' - WriteFile() failed with the following error: ";
    const std::vector<FailureCase> cases = {
        {"CreateFileW", 2, L"e2", created + Wide(WinErrorDescription(ERROR_ACCESS_DENIED).str())},
        {"WriteFile", 1, L"e2", written + Wide(WinErrorDescription(ERROR_ACCESS_DENIED).str())},
    };
    // A failed extraction removes what it wrote also with -noRollback: the files are incomplete.
    for (const FailureCase& c : cases) {
        for (bool noRollback : {false, true}) {
            SCOPED_TRACE(std::string(c.function) + (noRollback ? " with -noRollback" : ""));
            State().noRollback = noRollback;
            PayloadFromFile payload("emptydata");
            ScratchDirectory directory;
            Tarnlib::FaultSeam::Reset();
            Tarnlib::FaultSeam::Arm(c.function, c.nth, ERROR_ACCESS_DENIED);
            OutputCapture output;
            std::wstring message = FullExtractionFailure(directory);
            Tarnlib::FaultSeam::Reset();
            const std::wstring verb = std::string(c.function) == "WriteFile" ? L"writing to" : L"creating";
            EXPECT_EQ(message,
                      L"Error " + verb + L" target installation file '" + (directory / c.failingName) + c.text);
            EXPECT_FALSE(Exists(directory / L"e1")) << "the file written before was not removed";
            std::vector<std::string> lines = Lines(output.Text());
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), "Rollback: removing previously created file '" + Utf8(directory / L"e1") + "'");
        }
    }
}
