#include "InstallerRun.h"
#include "MachineState.h"
#include "SiteRun.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// A payload made by the build from tests/payloads/<name>.messages.
std::wstring EdgePayload(const std::wstring& name)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.rfind(L'\\'));
    return directory + L"\\..\\payload\\edge\\" + name + L".lzma";
}

std::string Line(const std::string& text) { return text + "\n"; }

class PayloadStream : public testing::Test {
protected:
    void SetUp() override { RemoveSiteLeftovers(site); }
    void TearDown() override { RemoveSiteLeftovers(site); }

    InstallerResult Run(const std::wstring& payload, const std::wstring& options = L"")
    {
        return RunInstaller(L"-site=e2e-payload -acceptEULA" + options, InstallerBuild::Test,
                            {{L"KV_PAYLOAD_FILE", EdgePayload(payload)}});
    }

    void WithFiles(const std::vector<std::wstring>& names)
    {
        site.files.clear();
        for (const std::wstring& name : names)
            site.files.push_back(site.installDir + L"\\" + name);
    }

    // The lines of a run whose extraction fails after writing `site.files`.
    std::string FailedExtraction(const std::string& failure)
    {
        std::string lines = "Creating Korvane registry key\n" + Line("Creating directory '" + Utf8(site.installDir) + "'") +
                            Line("Creating directory '" + Utf8(site.termInfoDir) + "'");
        for (const std::wstring& file : site.files)
            lines += Line("Installing " + Utf8(file));
        for (auto file = site.files.rbegin(); file != site.files.rend(); ++file)
            lines += Line("Rollback: removing previously created file '" + Utf8(*file) + "'");
        return lines + RollbackDirectoryLine(site.termInfoDir) + RollbackDirectoryLine(site.installDir) +
               "Exception caught: " + failure + "\n";
    }

    SitePaths site = SitePaths::ForSite(L"e2e-payload");
};

struct ContentCase {
    const wchar_t* payload;
    std::vector<std::pair<std::wstring, std::string>> files;  // name, contents
};

}  // namespace

TEST_F(PayloadStream, WritesEveryFileOfWellFormedPayloadsExactly)
{
    const std::string longName(100, 'c');
    const std::vector<ContentCase> cases = {
        {L"straddle",
         {{L"a", std::string(131058, 'A')}, {L"bbbb", std::string(131000, 'B')}, {std::wstring(100, L'c'), "end"}}},
        {L"header4096", {{L"h", "ok"}}},
        {L"emptydata", {{L"e1", ""}, {L"e2", "x"}, {L"e3", ""}}},
        {L"twodata", {{L"t", "abcdef"}}},
        {L"empty", {}},
    };
    for (const ContentCase& c : cases) {
        SCOPED_TRACE(Utf8(c.payload));
        std::vector<std::wstring> names;
        for (const auto& file : c.files)
            names.push_back(file.first);
        WithFiles(names);
        InstallerResult result = Run(c.payload, L" -noRollback");
        EXPECT_EQ(result.exitCode, 150u);
        EXPECT_EQ(result.output, "Creating Korvane registry key\n" + CreationLines(site) + NotBuiltYet);
        for (const auto& file : c.files)
            EXPECT_EQ(ReadFileBytes(site.installDir + L"\\" + file.first), file.second) << Utf8(file.first);
        RemoveSiteLeftovers(site);
    }
}

TEST_F(PayloadStream, AFailingExtractionRemovesTheFilesItWroteAndEndsTheRun)
{
    struct FailureCase {
        const wchar_t* payload;
        std::vector<std::wstring> writtenFirst;
        std::string failure;
    };
    const std::vector<FailureCase> cases = {
        {L"header4097", {L"first"},
         "WriteFilesFromLzmaStream::ProcessOutBytes(): unsupported header message size 4097, maximum: 4096"},
        {L"unknowntype", {L"u1"}, "WriteFilesFromLzmaStream::ProcessHeader() - unsupported header message type 99"},
        {L"noname", {}, "WriteFilesFromLzmaStream::ProcessData() - file to write has no name"},
        {L"truncated", {L"tr1", L"tr2"}, "LzmaDecode() failed: error 6"},
        {L"corrupted", {L"co1", L"co2"}, "LzmaDecode() failed: error 1"},
    };
    MachineSnapshot before;
    before.Directory(site.installDir);
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(Utf8(c.payload));
        WithFiles(c.writtenFirst);
        InstallerResult result = Run(c.payload);
        EXPECT_EQ(result.exitCode, 150u);
        EXPECT_EQ(result.output, FailedExtraction(c.failure));
        MachineSnapshot after;
        after.Directory(site.installDir);
        EXPECT_TRUE(before == after) << before.Difference(after);
    }
}

TEST_F(PayloadStream, AnExistingTargetFileStopsTheRunUnlessForced)
{
    SitePaths demo = SitePaths::ForSite(L"e2e-payload");
    const std::wstring existing = demo.installDir + L"\\KssCtrl.exe";
    CreateDirectoryW(demo.installDir.c_str(), nullptr);
    {
        std::ofstream file(existing.c_str(), std::ios::binary);
        file << "kept";
    }
    std::vector<std::wstring> writtenBefore;
    for (const std::wstring& file : demo.files) {
        if (file == existing)
            break;
        writtenBefore.push_back(file);
    }
    std::string lines = "Creating Korvane registry key\n" + Line("Creating directory '" + Utf8(demo.installDir) + "'") +
                        Line("Creating directory '" + Utf8(demo.termInfoDir) + "'");
    for (const std::wstring& file : writtenBefore)
        lines += Line("Installing " + Utf8(file));
    lines += Line("File '" + Utf8(existing) + "' already exists") + "Aborting...\n\n" +
             RollbackDirectoryLine(demo.termInfoDir);

    InstallerResult refused = RunInstaller(L"-site=e2e-payload -acceptEULA");
    EXPECT_EQ(refused.exitCode, 104u);
    EXPECT_EQ(refused.output, lines);
    EXPECT_EQ(ReadFileBytes(existing), "kept");
    for (const std::wstring& file : writtenBefore)
        EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES) << "left in place: " << Utf8(file);

    InstallerResult forced = RunInstaller(L"-site=e2e-payload -acceptEULA -force -noRollback");
    EXPECT_EQ(forced.exitCode, 150u);
    EXPECT_NE(forced.output.find("File '" + Utf8(existing) + "' already exists\nInstalling " + Utf8(existing) + "\n"),
              std::string::npos)
        << forced.output;
    EXPECT_NE(ReadFileBytes(existing), "kept") << "the file was not overwritten";
}
