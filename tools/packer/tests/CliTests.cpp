// The kvpack program as the build and a release engineer call it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "FileIo.h"
#include "TestSupport.h"

namespace kvpack {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};

std::string ShellQuoted(const std::string& argument) {
    std::string quoted(1, '\'');
    for (char c : argument) {
        if (c == '\'') {
            quoted.append("'\\''");
        } else {
            quoted.push_back(c);
        }
    }
    quoted.push_back('\'');
    return quoted;
}

std::string Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

RunResult RunKvpack(const TempDir& scratch, const std::vector<std::string>& arguments) {
    std::string command = ShellQuoted(KVPACK_PATH);
    for (const std::string& argument : arguments) {
        command.append(1, ' ').append(ShellQuoted(argument));
    }
    const fs::path out = scratch / "stdout.txt";
    const fs::path err = scratch / "stderr.txt";
    command += " >" + ShellQuoted(out.string()) + " 2>" + ShellQuoted(err.string());
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        throw std::runtime_error("cannot run " + command);
    }
    return {WEXITSTATUS(status), Contents(out), Contents(err)};
}

class KvpackProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.Write("files/uninst.exe", "MZ uninstaller");
        m_dir.Write("files/empty.txt", "");
        m_dir.Write("files/ansi", "ansi|ANSI");
        m_manifest = m_dir.Write("manifest.txt",
                                 "files/uninst.exe\tuninst.exe\tuninstaller\t3\n"
                                 "files/empty.txt\tempty.txt\tregular\t1\n"
                                 "files/ansi\tTermInfo\\ansi\tregular\t3\n");
    }

    TempDir m_dir;
    fs::path m_manifest;
};

TEST_F(KvpackProgram, PacksReproduciblyAndListsTheSections) {
    const std::string first = (m_dir / "first.lzma").string();
    const std::string second = (m_dir / "second.lzma").string();
    ASSERT_EQ(RunKvpack(m_dir, {"pack", m_manifest.string(), first}).exitCode, 0);
    ASSERT_EQ(RunKvpack(m_dir, {"pack", m_manifest.string(), second, "--dict-size", "1048576"}).exitCode, 0);
    ASSERT_EQ(RunKvpack(m_dir, {"pack", m_manifest.string(), second}).exitCode, 0);
    EXPECT_EQ(ReadWholeFile(first), ReadWholeFile(second));
    EXPECT_FALSE(fs::exists(second + ".partial"));

    const RunResult listed = RunKvpack(m_dir, {"list", first});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "uninst.exe\tuninstaller\t3\t14\n"
              "empty.txt\tregular\t1\t0\n"
              "TermInfo\\ansi\tregular\t3\t9\n");
    EXPECT_EQ(listed.err, "");
}

TEST_F(KvpackProgram, RefusalNamesTheManifestLineAndWritesNothing) {
    const fs::path bad = m_dir.Write("bad.txt", "files/ansi\tansi\tdriver\t3\n");
    const fs::path output = m_dir / "out.lzma";
    const RunResult result = RunKvpack(m_dir, {"pack", bad.string(), output.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "kvpack: error: " + bad.string() +
                              ":1: unknown category 'driver'; use uninstaller, crypto-module, crypto-provider, "
                              "lsa-package or regular (or 1, 2, 4, 8, 16)\n");
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(KvpackProgram, RawWritesWhatListRefuses) {
    const fs::path messages = m_dir.Write("messages.txt", "1 text:a\n101 fill:100:41\n7 -\n101 text:b\n");
    const fs::path payload = m_dir / "bad.lzma";
    ASSERT_EQ(RunKvpack(m_dir, {"raw", messages.string(), payload.string(), "--dict-size", "65536"}).exitCode, 0);

    const RunResult listed = RunKvpack(m_dir, {"list", payload.string()});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "kvpack: error: unknown message of type 7 at decoded offset 111\n");
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* error;
};

class KvpackUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(KvpackUsage, ExitsWithCodeTwoAndTheUsage) {
    TempDir dir;
    const RunResult result = RunKvpack(dir, GetParam().arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err.rfind(std::string("kvpack: ") + GetParam().error + "\nusage: kvpack pack", 0), 0u) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Table, KvpackUsage, ::testing::Values(
    UsageCase{"NoCommand", {}, "no command given"},
    UsageCase{"UnknownCommand", {"unpack", "x"}, "unknown command 'unpack'"},
    UsageCase{"MissingOutput", {"pack", "manifest"}, "pack takes 2 operand(s), got 1"},
    UsageCase{"ListWithDictionary", {"list", "p", "--dict-size", "4096"}, "list takes no --dict-size"},
    UsageCase{"DictionaryNotANumber", {"raw", "m", "o", "--dict-size", "32M"}, "--dict-size needs a number of bytes, not '32M'"},
    UsageCase{"DictionaryMissing", {"raw", "m", "o", "--dict-size"}, "--dict-size needs a value"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvpack
