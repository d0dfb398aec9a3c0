// Payloads written message by message, and how a listing judges them.
#include <gtest/gtest.h>

#include <sstream>

#include "LzmaCodec.h"
#include "PayloadReader.h"
#include "RawDescription.h"
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

constexpr std::uint32_t kSmallDictionary = 1u << 16;

std::vector<std::uint8_t> RawPayload(const fs::path& description, bool damaged = true) {
    RawDescription raw = ReadRawDescription(description);
    std::vector<std::uint8_t> payload = CompressPayload(raw.messages, kSmallDictionary);
    if (damaged) {
        ApplyDamage(raw, payload);
    }
    return payload;
}

std::vector<std::uint8_t> NoiseBytes(std::size_t count) {
    return RandomBytes(count, 42);
}

TEST(RawPayload, DecodesToExactlyTheDescribedMessages) {
    TempDir dir;
    dir.Write("data/contents.bin", std::vector<std::uint8_t>{0, 1, 2, 0xFE, 0xFF});
    const fs::path description = dir.Write("messages",
                                           "# every kind of body, known and unknown types\n"
                                           "1 text:TermInfo\\ansi\n"
                                           "1 text: spaced  name \r\n"
                                           "7 -\n"
                                           "\n"
                                           "255 hex:00ff10\n"
                                           "0 hex:\n"
                                           "101 fill:5:41\n"
                                           "101 file:data/contents.bin\n");
    const std::vector<std::uint8_t> expected = Concat({
        EncodedMessage(1, Bytes("TermInfo\\ansi")),
        EncodedMessage(1, Bytes(" spaced  name ")),
        EncodedMessage(7, {}),
        EncodedMessage(255, {0x00, 0xFF, 0x10}),
        EncodedMessage(0, {}),
        EncodedMessage(101, Bytes("AAAAA")),
        EncodedMessage(101, {0, 1, 2, 0xFE, 0xFF}),
    });
    EXPECT_EQ(DecodePayload(RawPayload(description)), expected);
}

TEST(RawPayload, DamageTruncatesAndInvertsOnlyTheNamedCompressedBytes) {
    TempDir dir;
    dir.Write("noise", NoiseBytes(2000));
    const std::vector<std::uint8_t> intact = RawPayload(dir.Write("intact", "1 text:a\n101 file:noise\n"));
    const std::vector<std::uint8_t> damaged = RawPayload(
        dir.Write("damaged", "1 text:a\n101 file:noise\ncorrupt-compressed 0\ncorrupt-compressed 700\ntruncate-compressed 900\n"));

    ASSERT_EQ(damaged.size(), kLzmaHeaderSize + 900);
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const bool inverted = i == kLzmaHeaderSize + 0 || i == kLzmaHeaderSize + 700;
        EXPECT_EQ(damaged[i], inverted ? intact[i] ^ 0xFF : intact[i]) << "at " << i;
    }
}

// Each description is packed as it is and must be refused when listed.
struct ListingRefusal {
    const char* name;
    const char* description;
    const char* error;
};

class ListingRefuses : public ::testing::TestWithParam<ListingRefusal> {};

TEST_P(ListingRefuses, WithAMessageSayingWhy) {
    TempDir dir;
    dir.Write("noise", NoiseBytes(4000));
    const std::vector<std::uint8_t> payload = RawPayload(dir.Write("messages", GetParam().description));
    const std::string error = PackErrorOf([&] { ListPayload(payload); });
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Table, ListingRefuses, ::testing::Values(
    ListingRefusal{"UnknownType", "1 text:a\n7 -\n101 text:x\n",
                   "unknown message of type 7 at decoded offset 6"},
    ListingRefusal{"UnknownTypeBetweenFiles", "1 text:a\n101 text:x\n99 hex:01\n101 text:y\n",
                   "unknown message of type 99 at decoded offset 12"},
    ListingRefusal{"HeaderOverLimit", "1 fill:4097:41\n101 text:x\n",
                   "header message of type 1 at decoded offset 0 has a body of 4097 bytes; the maximum is 4096"},
    ListingRefusal{"DataWithoutName", "3 -\n101 text:x\n",
                   "the file data message of type 101 at decoded offset 5 has no file name before it"},
    ListingRefusal{"NameNotUtf8", "1 hex:61ff\n101 text:x\n",
                   "the file name in the message of type 1 at decoded offset 0 is not valid UTF-8"},
    ListingRefusal{"TrailingHeader", "1 text:a\n101 text:x\n1 text:b\n",
                   "the stream ends with header messages that no file data follows"},
    ListingRefusal{"TruncatedStream", "1 text:a\n101 file:noise\ntruncate-compressed 1000\n",
                   "truncated LZMA data: the compressed bytes end after"},
    ListingRefusal{"HeaderOnly", "1 text:a\n101 file:noise\ntruncate-compressed 0\n",
                   "truncated LZMA data: the compressed bytes end after 0 of 4011 decoded bytes"},
    ListingRefusal{"BadFirstRangeCoderByte", "1 text:a\n101 file:noise\ncorrupt-compressed 0\n",
                   "corrupt LZMA data: the decoder failed with data error after 0 of 4011 decoded bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListingRefuses, CorruptionInsideTheStream) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 400; ++i) {
        text += "1 text:TermInfo\\term" + std::to_string(i) + "\n101 text:terminal description " + std::to_string(i * i) + "\n";
    }
    const std::vector<std::uint8_t> intact = RawPayload(dir.Write("intact", text));
    ASSERT_NO_THROW(ListPayload(intact));
    const std::size_t middle = (intact.size() - kLzmaHeaderSize) / 2;
    const std::vector<std::uint8_t> corrupt = RawPayload(dir.Write("corrupt", text + "corrupt-compressed " + std::to_string(middle) + "\n"));
    EXPECT_THROW(ListPayload(corrupt), PackError);
}

TEST(Listing, FollowsTheInstallersSectionRules) {
    TempDir dir;
    const fs::path description = dir.Write("messages",
                                           "1 text:first\n"
                                           "2 -\n"
                                           "100 hex:0199\n"       // only the first byte counts
                                           "101 text:abc\n"
                                           "101 text:de\n"        // continues the same file
                                           "100 -\n"              // new section; an empty body changes nothing
                                           "101 -\n"              // empty file, name carried over
                                           "1 fill:4096:42\n"     // the largest header body
                                           "4 -\n"
                                           "3 -\n"                // the last category message wins
                                           "101 text:z\n");
    const std::vector<FileSection> expected{
        {"first", Category::Uninstaller, 1, 5},
        {"first", Category::Regular, 3, 0},
        {std::string(4096, 'B'), Category::CryptoModule, 3, 1},
    };
    EXPECT_EQ(ListPayload(RawPayload(description)), expected);
}

TEST(Listing, RefusesPayloadHeadersTheInstallerRefuses) {
    const std::vector<std::uint8_t> shortPayload{0x5D, 0, 0, 0, 2};
    EXPECT_EQ(PackErrorOf([&] { ListPayload(shortPayload); }),
              "the payload is 5 bytes long; its LZMA header alone takes 13");

    std::vector<std::uint8_t> badProperties(kLzmaHeaderSize + 5, 0);
    badProperties[0] = 225;
    EXPECT_EQ(PackErrorOf([&] { ListPayload(badProperties); }),
              "invalid LZMA properties byte 225 (must be below 225)");

    std::vector<std::uint8_t> unknownSize(kLzmaHeaderSize + 5, 0xFF);
    unknownSize[0] = 0x5D;
    EXPECT_EQ(PackErrorOf([&] { ListPayload(unknownSize); }),
              "the LZMA header gives no decoded size (end-marker stream); the installer refuses such a payload");
}

struct DescriptionError {
    const char* name;
    const char* description;
    const char* error;  // after "<file>:"
};

class DescriptionErrors : public ::testing::TestWithParam<DescriptionError> {};

TEST_P(DescriptionErrors, NameTheLine) {
    TempDir dir;
    dir.Write("noise", NoiseBytes(100));
    const fs::path description = dir.Write("messages", GetParam().description);
    const std::string error = PackErrorOf([&] { RawPayload(description); });
    EXPECT_EQ(error, description.string() + ":" + GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Table, DescriptionErrors, ::testing::Values(
    DescriptionError{"TypeOutOfRange", "256 -\n", "1: message type '256' is not a number in range"},
    DescriptionError{"NoBody", "1 text:a\n101\n",
                     "2: expected 'TYPE BODY', 'truncate-compressed N' or 'corrupt-compressed OFFSET'"},
    DescriptionError{"UnknownBody", "1 blob:a\n", "1: unknown body 'blob:a'; use -, text:, hex:, fill: or file:"},
    DescriptionError{"OddHex", "1 hex:abc\n", "1: hex body has an odd number of digits"},
    DescriptionError{"BadHex", "1 hex:zz\n", "1: hex byte 'zz' is not a number in range"},
    DescriptionError{"FillByte", "1 fill:3:4\n", "1: fill byte '4' must be two hex digits"},
    DescriptionError{"FillWithoutByte", "1 fill:3\n", "1: fill body must be fill:COUNT:BYTE, e.g. fill:4097:41"},
    DescriptionError{"TruncatedTwice", "truncate-compressed 4\ntruncate-compressed 5\n",
                     "2: the stream is already truncated by an earlier line"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DescriptionErrors, NameAMissingFileAndDamageBeyondTheData) {
    TempDir dir;
    const fs::path missing = dir.Write("missing", "# body from a file\n101 file:nothing-here\n");
    EXPECT_EQ(PackErrorOf([&] { RawPayload(missing); }),
              missing.string() + ":2: '" + (dir.Path() / "nothing-here").string() + "' is not an existing regular file");

    const fs::path tooFar = dir.Write("too-far", "1 text:a\n101 text:b\ntruncate-compressed 1000000\n");
    EXPECT_NE(PackErrorOf([&] { RawPayload(tooFar); }).find("truncate-compressed 1000000 is beyond the"), std::string::npos);

    const fs::path cutAway = dir.Write("cut-away", "1 text:a\n101 text:b\ntruncate-compressed 3\ncorrupt-compressed 3\n");
    EXPECT_EQ(PackErrorOf([&] { RawPayload(cutAway); }),
              "corrupt-compressed 3 is beyond the 3 bytes of LZMA data that are kept");
}

}  // namespace
}  // namespace kvpack
