// Packing a manifest and reading the payload back.
#include <gtest/gtest.h>

#include <sstream>

#include "LzmaCodec.h"
#include "Manifest.h"
#include "PayloadReader.h"
#include "TestSupport.h"

namespace kvpack {
namespace {

using test::Bytes;
using test::Concat;
using test::EncodedMessage;
using test::PackErrorOf;
using test::RandomBytes;
using test::TempDir;
namespace fs = std::filesystem;

std::vector<std::uint8_t> PackManifest(const fs::path& manifest, std::uint32_t dictionarySize = kDefaultDictionarySize) {
    MessageStream messages = BuildPayloadMessages(ReadManifest(manifest));
    return CompressPayload(messages, dictionarySize);
}

std::uint64_t LittleEndianAt(const std::vector<std::uint8_t>& bytes, std::size_t offset, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= std::uint64_t{bytes.at(offset + i)} << (8 * i);
    }
    return value;
}

// Product-like files: special categories, one name built for each platform, an empty file, a name
// with a subdirectory, and a file larger than one decoding chunk.
class ProductFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.Write("bin/uninst.exe", "MZ uninstaller");
        m_dir.Write("bin/QyProv32.dll", "MZ provider");
        m_dir.Write("bin/Crypto32.dll", "MZ module");
        m_dir.Write("bin/x86/KvLsa.dll", "MZ lsa 32");
        m_dir.Write("bin/x64/KvLsa.dll", "MZ lsa 64, a bit longer");
        m_dir.Write("bin/empty.cfg", "");
        m_dir.Write("terminfo/ansi", "ansi|ANSI terminal");
        m_dir.Write("bin/KvSshServer.exe", m_large);
        m_manifest = m_dir.Write("manifest.txt",
                                 "# source\tname\tcategory\tplatforms\n"
                                 "bin/uninst.exe\tuninst.exe\tuninstaller\t3\n"
                                 "bin/QyProv32.dll\tQyProv32.dll\t4\t3\n"
                                 "bin/Crypto32.dll\tCrypto32.dll\tcrypto-module\t3\n"
                                 "\n"
                                 "bin/x86/KvLsa.dll\tKvLsa.dll\tlsa-package\t1\n"
                                 "bin/x64/KvLsa.dll\tKvLsa.dll\t8\t2\r\n"
                                 "bin/empty.cfg\tempty.cfg\tregular\t3\n"
                                 "terminfo/ansi\tTermInfo\\ansi\t16\t3\n" +
                                     (m_dir.Path() / "bin/KvSshServer.exe").string() + "\tKvSshServer.exe\tregular\t2\n");
    }

    TempDir m_dir;
    fs::path m_manifest;
    const std::vector<std::uint8_t> m_large = RandomBytes(300 * 1024, 7);
};

TEST_F(ProductFixture, ListingShowsEverySectionWithCategoryPlatformsAndSize) {
    const std::vector<FileSection> expected{
        {"uninst.exe", Category::Uninstaller, 3, 14},
        {"QyProv32.dll", Category::CryptoProvider, 3, 11},
        {"Crypto32.dll", Category::CryptoModule, 3, 9},
        {"KvLsa.dll", Category::LsaPackage, 1, 9},
        {"KvLsa.dll", Category::LsaPackage, 2, 23},
        {"empty.cfg", Category::Regular, 3, 0},
        {"TermInfo\\ansi", Category::Regular, 3, 18},
        {"KvSshServer.exe", Category::Regular, 2, 300 * 1024},
    };
    EXPECT_EQ(ListPayload(PackManifest(m_manifest)), expected);
}

TEST_F(ProductFixture, HeaderCarriesPropertiesDictionaryAndExactDecodedSize) {
    for (const std::uint32_t dictionarySize : {kDefaultDictionarySize, 1u << 16, 3u << 20}) {
        SCOPED_TRACE(dictionarySize);
        const std::vector<std::uint8_t> payload = PackManifest(m_manifest, dictionarySize);
        EXPECT_EQ(payload.at(0), kPropertiesByte);
        EXPECT_EQ(LittleEndianAt(payload, 1, 4), dictionarySize);
        EXPECT_EQ(LittleEndianAt(payload, 5, 8), DecodePayload(payload).size());
    }
    EXPECT_EQ(LittleEndianAt(PackManifest(m_manifest), 1, 4), 33554432u);
}

TEST_F(ProductFixture, PackingTwiceGivesIdenticalBytes) {
    const std::vector<std::uint8_t> first = PackManifest(m_manifest);
    const std::vector<std::uint8_t> second = PackManifest(m_manifest);
    EXPECT_EQ(first, second);
    // The large random file cannot shrink; identical output must not come from dropping it.
    EXPECT_GT(first.size(), m_large.size());
}

TEST_F(ProductFixture, FileDataIsTheSourceContents) {
    const std::vector<std::uint8_t> decoded = DecodePayload(PackManifest(m_manifest));
    const std::vector<std::uint8_t> lastMessage = EncodedMessage(101, m_large);
    ASSERT_GE(decoded.size(), lastMessage.size());
    EXPECT_TRUE(std::equal(lastMessage.begin(), lastMessage.end(), decoded.end() - lastMessage.size()));
}

TEST(PackLayout, SectionIsNameThenCategoryThenPlatformsThenDataWithDefaultsLeftOut) {
    TempDir dir;
    dir.Write("a", "AAA");
    dir.Write("b", "B");
    dir.Write("c", "CC");
    const fs::path manifest = dir.Write("m", "a\tplain\tregular\t3\n"
                                             "b\tdir\\lsa.dll\tlsa-package\t2\n"
                                             "c\tonly32\tregular\t1\n");
    const std::vector<std::uint8_t> expected = Concat({
        EncodedMessage(1, Bytes("plain")), EncodedMessage(101, Bytes("AAA")),
        EncodedMessage(1, Bytes("dir\\lsa.dll")), EncodedMessage(5, {}), EncodedMessage(100, {2}),
        EncodedMessage(101, Bytes("B")),
        EncodedMessage(1, Bytes("only32")), EncodedMessage(100, {1}), EncodedMessage(101, Bytes("CC")),
    });
    EXPECT_EQ(DecodePayload(PackManifest(manifest)), expected);
}

TEST(PackLayout, EmptyManifestGivesAPayloadWithoutFiles) {
    TempDir dir;
    const std::vector<std::uint8_t> payload = PackManifest(dir.Write("m", "# nothing yet\n"));
    EXPECT_EQ(LittleEndianAt(payload, 5, 8), 0u);
    EXPECT_TRUE(ListPayload(payload).empty());
}

TEST(PackLayout, NameOfExactlyTheHeaderLimitIsPackedAndOneByteMoreIsRefused) {
    TempDir dir;
    dir.Write("f", "x");
    const std::string longest(4096, 'n');
    const std::vector<FileSection> listed = ListPayload(PackManifest(dir.Write("ok", "f\t" + longest + "\tregular\t3\n")));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, longest);

    const fs::path tooLong = dir.Write("bad", "f\t" + longest + "n\tregular\t3\n");
    EXPECT_EQ(PackErrorOf([&] { ReadManifest(tooLong); }),
              tooLong.string() + ":1: name in the payload is 4097 bytes long in UTF-8; the installer takes at most 4096");
}

struct DictionarySizeCase {
    std::uint64_t size;
    const char* refusal;  // nullptr: accepted
};

class DictionarySizes : public ::testing::TestWithParam<DictionarySizeCase> {};

TEST_P(DictionarySizes, AreAcceptedOnlyInRangeAndStorableExactly) {
    const DictionarySizeCase& c = GetParam();
    if (c.refusal == nullptr) {
        EXPECT_NO_THROW(CheckDictionarySize(c.size));
        return;
    }
    const std::string error = PackErrorOf([&] { CheckDictionarySize(c.size); });
    EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Table, DictionarySizes, ::testing::Values(
    DictionarySizeCase{4096, nullptr},
    DictionarySizeCase{6144, nullptr},
    DictionarySizeCase{33554432, nullptr},
    DictionarySizeCase{134217728, nullptr},
    DictionarySizeCase{4095, "out of range 4096..134217728"},
    DictionarySizeCase{134217729, "out of range"},
    DictionarySizeCase{5000, "the next size that can is 6144"},
    DictionarySizeCase{33554433, "the next size that can is 50331648"}));

}  // namespace
}  // namespace kvpack
