// What the packer refuses to pack, and where it says the problem is.
#include <gtest/gtest.h>

#include "Manifest.h"
#include "TestSupport.h"

namespace kvpack {
namespace {

using test::PackErrorOf;
using test::TempDir;
namespace fs = std::filesystem;

struct Refusal {
    const char* name;
    std::string manifest;
    std::string error;  // after "<manifest>:"; "{dir}" stands for the manifest's directory
};

class ManifestRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(ManifestRefuses, NamingTheLine) {
    TempDir dir;
    dir.Write("f", "x");
    dir.Write("empty", "");
    fs::create_directory(dir / "folder");
    const fs::path manifest = dir.Write("manifest.txt", GetParam().manifest);

    std::string expected = manifest.string() + ":" + GetParam().error;
    if (const std::size_t at = expected.find("{dir}"); at != std::string::npos) {
        expected.replace(at, 5, dir.Path().string());
    }
    EXPECT_EQ(PackErrorOf([&] { ReadManifest(manifest); }), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ManifestRefuses, ::testing::Values(
    Refusal{"UnknownCategoryWord", "f\ta\tregular\t3\nf\tb\tdriver\t3\n",
            "2: unknown category 'driver'; use uninstaller, crypto-module, crypto-provider, lsa-package or regular "
            "(or 1, 2, 4, 8, 16)"},
    Refusal{"UnknownCategoryBit", "f\ta\t32\t3\n", "1: unknown category '32'; use uninstaller, crypto-module, "
            "crypto-provider, lsa-package or regular (or 1, 2, 4, 8, 16)"},
    Refusal{"EmptyName", "f\t\tregular\t3\n", "1: empty name in the payload"},
    Refusal{"NameTooLong", "f\t" + std::string(4095, 'a') + "\xC3\xA9\tregular\t3\n",
            "1: name in the payload is 4097 bytes long in UTF-8; the installer takes at most 4096"},
    Refusal{"NameNotUtf8", "f\tna\xFFme\tregular\t3\n", "1: name in the payload is not valid UTF-8"},
    Refusal{"NameWithSurrogate", "f\t\xED\xA0\x80\tregular\t3\n", "1: name in the payload is not valid UTF-8"},
    Refusal{"PlatformsZero", "f\ta\tregular\t0\n",
            "1: platforms '0' is not 1 (32-bit only), 2 (64-bit only) or 3 (both)"},
    Refusal{"PlatformsFour", "f\ta\tregular\t4\n",
            "1: platforms '4' is not 1 (32-bit only), 2 (64-bit only) or 3 (both)"},
    Refusal{"PlatformsMissing", "f\ta\tregular\t\n",
            "1: platforms '' is not 1 (32-bit only), 2 (64-bit only) or 3 (both)"},
    Refusal{"MissingSource", "# files\n\nmissing\ta\tregular\t3\n",
            "3: source file '{dir}/missing' does not exist"},
    Refusal{"SourceIsDirectory", "folder\ta\tregular\t3\n", "1: source '{dir}/folder' is not a regular file"},
    Refusal{"EmptySource", "\ta\tregular\t3\n", "1: empty source path"},
    Refusal{"ThreeFields", "f\ta\tregular\n",
            "1: expected 4 TAB-separated fields (source, name, category, platforms), found 3"},
    Refusal{"SpacesInsteadOfTabs", "f a regular 3\n",
            "1: expected 4 TAB-separated fields (source, name, category, platforms), found 1"},
    Refusal{"SameNameOnOnePlatform", "f\tKvLsa.dll\tlsa-package\t1\nf\tkvlsa.DLL\tlsa-package\t3\n",
            "2: name 'kvlsa.DLL' is already packed for an overlapping platform on line 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Manifest, ResolvesSourcesAgainstItsOwnDirectory) {
    TempDir dir;
    dir.Write("sub/a", "A");
    dir.Write("elsewhere/b", "BB");
    const fs::path manifest = dir.Write("sub/manifest",
                                        "a\tfirst\tregular\t3\n"
                                        "../elsewhere/b\tsecond\tregular\t3\n" +
                                            (dir.Path() / "sub/a").string() + "\tthird\tregular\t3\n");
    const std::vector<ManifestEntry> entries = ReadManifest(manifest);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(fs::equivalent(entries[0].source, dir / "sub/a"));
    EXPECT_TRUE(fs::equivalent(entries[1].source, dir / "elsewhere/b"));
    EXPECT_EQ(entries[1].size, 2u);
    EXPECT_EQ(entries[1].line, 2);
    EXPECT_TRUE(fs::equivalent(entries[2].source, dir / "sub/a"));
}

}  // namespace
}  // namespace kvpack
