// Splitting decoded bytes into messages, however the bytes arrive.
#include <gtest/gtest.h>

#include "PayloadReader.h"
#include "TestSupport.h"

namespace kvpack {
namespace {

using test::Bytes;
using test::Concat;
using test::EncodedMessage;
using test::PackErrorOf;

struct Event {
    std::uint8_t type;
    std::uint32_t length;
    std::uint64_t offset;
    std::vector<std::uint8_t> body;  // header messages only

    bool operator==(const Event&) const = default;
};

class Recorder : public MessageHandler {
public:
    void OnHeaderMessage(const MessageInfo& m, std::span<const std::uint8_t> body) override {
        events.push_back({m.type, m.length, m.offset, {body.begin(), body.end()}});
    }
    void OnDataMessage(const MessageInfo& m) override { events.push_back({m.type, m.length, m.offset, {}}); }

    std::vector<Event> events;
};

const std::vector<std::uint8_t> kStream = Concat({
    EncodedMessage(1, Bytes("TermInfo\\ansi")),  // offset 0
    EncodedMessage(2, {}),                       // 18
    EncodedMessage(101, {}),                     // 23
    EncodedMessage(100, {2}),                    // 28
    EncodedMessage(101, Bytes("data")),          // 34
    EncodedMessage(1, std::vector<std::uint8_t>(4096, 'x')),  // 43
});

const std::vector<Event> kExpected{
    {1, 13, 0, Bytes("TermInfo\\ansi")},
    {2, 0, 18, {}},
    {101, 0, 23, {}},
    {100, 1, 28, {2}},
    {101, 4, 34, {}},
    {1, 4096, 43, std::vector<std::uint8_t>(4096, 'x')},
};

std::vector<Event> ReadInPieces(const std::vector<std::uint8_t>& stream, const std::vector<std::size_t>& cuts) {
    Recorder recorder;
    MessageReader reader(recorder);
    std::size_t start = 0;
    for (std::size_t cut : cuts) {
        reader.Feed(std::span(stream).subspan(start, cut - start));
        start = cut;
    }
    reader.Feed(std::span(stream).subspan(start));
    reader.Finish();
    return recorder.events;
}

TEST(MessageReader, GivesTheSameMessagesWhereverTheBytesAreCut) {
    EXPECT_EQ(ReadInPieces(kStream, {}), kExpected);
    for (std::size_t cut = 1; cut < kStream.size(); ++cut) {
        ASSERT_EQ(ReadInPieces(kStream, {cut}), kExpected) << "cut at " << cut;
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < kStream.size(); ++cut) {
        everyByte.push_back(cut);
    }
    EXPECT_EQ(ReadInPieces(kStream, everyByte), kExpected);
}

TEST(MessageReader, RefusesAStreamEndingInsideAMessage) {
    const std::vector<std::size_t> boundaries{0, 18, 23, 28, 34, 43, kStream.size()};
    for (std::size_t length = 0; length <= kStream.size(); ++length) {
        Recorder recorder;
        MessageReader reader(recorder);
        reader.Feed(std::span(kStream).first(length));
        const bool atBoundary = std::find(boundaries.begin(), boundaries.end(), length) != boundaries.end();
        if (atBoundary) {
            EXPECT_NO_THROW(reader.Finish()) << "length " << length;
        } else {
            EXPECT_THROW(reader.Finish(), PackError) << "length " << length;
        }
    }
    Recorder recorder;
    MessageReader reader(recorder);
    reader.Feed(std::span(kStream).first(40));
    EXPECT_EQ(PackErrorOf([&] { reader.Finish(); }),
              "the decoded stream ends inside the message of type 101 at decoded offset 34");
}

TEST(MessageReader, RefusesAnOversizedHeaderAsSoonAsItsLengthIsRead) {
    Recorder recorder;
    MessageReader reader(recorder);
    const std::vector<std::uint8_t> prefix{100, 0, 0, 0x10, 0x01};  // 4097, no body following
    EXPECT_EQ(PackErrorOf([&] { reader.Feed(prefix); }),
              "header message of type 100 at decoded offset 0 has a body of 4097 bytes; the maximum is 4096");
}

}  // namespace
}  // namespace kvpack
