// Reading a payload back the way the installer reads it: messages, then file sections.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PayloadFormat.h"

namespace kvpack {

struct MessageInfo {
    std::uint8_t type = 0;
    std::uint32_t length = 0;
    std::uint64_t offset = 0;  // of the type byte in the decoded stream
};

class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    virtual void OnHeaderMessage(const MessageInfo& message, std::span<const std::uint8_t> body) = 0;
    // File data bodies are skipped, not buffered.
    virtual void OnDataMessage(const MessageInfo& message) = 0;
};

// Splits decoded bytes into messages; the bytes may arrive in pieces cut anywhere.
class MessageReader {
public:
    explicit MessageReader(MessageHandler& handler) : m_handler(handler) {}

    // Raises PackError for a header message body over kMaxHeaderBodySize bytes.
    void Feed(std::span<const std::uint8_t> bytes);
    // Raises PackError when the stream ends inside a message.
    void Finish() const;

private:
    enum class State { Type, Length, HeaderBody, DataBody };

    void OnLengthComplete();
    void CompleteMessage();

    MessageHandler& m_handler;
    State m_state = State::Type;
    MessageInfo m_message;
    std::uint64_t m_offset = 0;
    unsigned m_lengthBytes = 0;
    std::uint32_t m_remaining = 0;
    std::vector<std::uint8_t> m_body;
};

struct FileSection {
    std::string name;
    Category category = Category::Regular;
    std::uint8_t platforms = kPlatformsBoth;
    std::uint64_t size = 0;

    bool operator==(const FileSection&) const = default;
};

// Groups messages into file sections with the installer's rules: a header message after file data
// starts a new section with category Regular and both platforms; the name carries over; consecutive
// file data messages make one file.
class SectionCollector : public MessageHandler {
public:
    void OnHeaderMessage(const MessageInfo& message, std::span<const std::uint8_t> body) override;
    void OnDataMessage(const MessageInfo& message) override;
    // Raises PackError for what the installer would not install as listed.
    std::vector<FileSection> Finish();

private:
    enum class Section { Initial, Header, Data };

    Section m_section = Section::Initial;
    std::string m_name;
    Category m_category = Category::Regular;
    std::uint8_t m_platforms = kPlatformsBoth;
    std::vector<FileSection> m_files;
};

// Decodes a whole payload and returns its file sections; raises PackError for anything the installer
// would fail on, and for streams it would silently install incompletely.
std::vector<FileSection> ListPayload(std::span<const std::uint8_t> payload);

// Every decoded byte of a payload, for checking what exactly was packed.
std::vector<std::uint8_t> DecodePayload(std::span<const std::uint8_t> payload);

}  // namespace kvpack
