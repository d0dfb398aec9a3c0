// Files are read only while the encoder consumes them; a file that changes meanwhile is refused.
#include <gtest/gtest.h>

#include "MessageStream.h"
#include "PayloadFormat.h"
#include "TestSupport.h"

namespace kvpack {
namespace {

using test::Bytes;
using test::Concat;
using test::EncodedMessage;
using test::PackErrorOf;
using test::TempDir;

std::vector<std::uint8_t> ReadAll(MessageStream& stream, std::size_t pieceSize) {
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> piece(pieceSize);
    while (const std::size_t count = stream.Read(piece.data(), piece.size())) {
        all.insert(all.end(), piece.begin(), piece.begin() + count);
    }
    return all;
}

TEST(MessageStream, YieldsItsDeclaredSizeInAnyPieceSize) {
    TempDir dir;
    const auto file = dir.Write("f", "file body");
    const std::vector<std::uint8_t> expected = Concat({
        EncodedMessage(1, Bytes("name")), EncodedMessage(101, Bytes("file body")),
        EncodedMessage(101, Bytes("zzz")), EncodedMessage(101, {}),
    });
    for (std::size_t pieceSize : {1, 3, 7, 64}) {
        MessageStream stream;
        stream.AddMessage(1, Bytes("name"));
        stream.AddFileMessage(101, file);
        stream.AddFilledMessage(101, 3, 'z');
        stream.AddFileMessage(101, dir.Write("empty", ""));
        EXPECT_EQ(stream.Size(), expected.size());
        EXPECT_EQ(ReadAll(stream, pieceSize), expected) << "pieces of " << pieceSize;
    }
}

struct ChangedFile {
    const char* name;
    const char* contentsWhenRead;
    const char* error;
};

class FileChangedWhilePacking : public ::testing::TestWithParam<ChangedFile> {};

TEST_P(FileChangedWhilePacking, IsRefused) {
    TempDir dir;
    const auto file = dir.Write("f", "four");
    MessageStream stream;
    stream.AddFileMessage(101, file);
    dir.Write("f", GetParam().contentsWhenRead);
    const std::string error = PackErrorOf([&] { ReadAll(stream, 64); });
    EXPECT_EQ(error, std::string("'").append(file.string()).append("' ").append(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(Table, FileChangedWhilePacking, ::testing::Values(
    ChangedFile{"Grew", "five!", "became longer than 4 bytes while it was packed"},
    ChangedFile{"Shrank", "two", "became shorter than 4 bytes while it was packed"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvpack
