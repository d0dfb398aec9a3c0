#include "PayloadReader.h"

#include <algorithm>

#include "LzmaCodec.h"

namespace kvpack {
namespace {

std::string Describe(const MessageInfo& message) {
    return "message of type " + std::to_string(message.type) + " at decoded offset " + std::to_string(message.offset);
}

template <typename Consumer>
void DecodeAll(std::span<const std::uint8_t> payload, Consumer consume) {
    LzmaDecoder decoder(payload);
    for (auto chunk = decoder.NextChunk(); !chunk.empty(); chunk = decoder.NextChunk()) {
        consume(chunk);
    }
}

}  // namespace

void MessageReader::Feed(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        switch (m_state) {
        case State::Type:
            m_message = MessageInfo{bytes[i], 0, m_offset + i};
            m_lengthBytes = 0;
            m_state = State::Length;
            ++i;
            break;
        case State::Length:
            m_message.length = (m_message.length << 8) | bytes[i];
            ++i;
            if (++m_lengthBytes == 4) {
                OnLengthComplete();
            }
            break;
        case State::HeaderBody:
        case State::DataBody: {
            const std::size_t count = std::min<std::size_t>(m_remaining, bytes.size() - i);
            if (m_state == State::HeaderBody) {
                m_body.insert(m_body.end(), bytes.begin() + i, bytes.begin() + i + count);
            }
            i += count;
            m_remaining -= static_cast<std::uint32_t>(count);
            if (m_remaining == 0) {
                CompleteMessage();
            }
            break;
        }
        }
    }
    m_offset += bytes.size();
}

void MessageReader::OnLengthComplete() {
    m_remaining = m_message.length;
    if (m_message.type == static_cast<std::uint8_t>(MessageType::FileData)) {
        m_handler.OnDataMessage(m_message);
        m_state = State::DataBody;
    } else {
        if (m_message.length > kMaxHeaderBodySize) {
            throw PackError("header " + Describe(m_message) + " has a body of " + std::to_string(m_message.length) +
                            " bytes; the maximum is " + std::to_string(kMaxHeaderBodySize));
        }
        m_body.clear();
        m_state = State::HeaderBody;
    }
    if (m_remaining == 0) {
        CompleteMessage();
    }
}

void MessageReader::CompleteMessage() {
    if (m_state == State::HeaderBody) {
        m_handler.OnHeaderMessage(m_message, m_body);
    }
    m_state = State::Type;
}

void MessageReader::Finish() const {
    if (m_state != State::Type) {
        throw PackError("the decoded stream ends inside the " + Describe(m_message));
    }
}

void SectionCollector::OnHeaderMessage(const MessageInfo& message, std::span<const std::uint8_t> body) {
    if (m_section != Section::Header) {
        m_section = Section::Header;
        m_category = Category::Regular;
        m_platforms = kPlatformsBoth;
    }
    if (message.type == static_cast<std::uint8_t>(MessageType::FileName)) {
        std::string name(body.begin(), body.end());
        if (!IsValidUtf8(name)) {
            throw PackError("the file name in the " + Describe(message) + " is not valid UTF-8");
        }
        m_name = std::move(name);
    } else if (auto category = CategoryOfMessage(message.type)) {
        m_category = *category;
    } else if (message.type == static_cast<std::uint8_t>(MessageType::Platforms)) {
        if (!body.empty()) {
            m_platforms = body[0];
        }
    } else {
        throw PackError("unknown " + Describe(message));
    }
}

void SectionCollector::OnDataMessage(const MessageInfo& message) {
    if (m_section != Section::Data) {
        if (m_name.empty()) {
            throw PackError("the file data " + Describe(message) + " has no file name before it");
        }
        m_files.push_back(FileSection{m_name, m_category, m_platforms, 0});
        m_section = Section::Data;
    }
    m_files.back().size += message.length;
}

std::vector<FileSection> SectionCollector::Finish() {
    if (m_section == Section::Header) {
        throw PackError("the stream ends with header messages that no file data follows");
    }
    return std::move(m_files);
}

std::vector<FileSection> ListPayload(std::span<const std::uint8_t> payload) {
    SectionCollector sections;
    MessageReader reader(sections);
    DecodeAll(payload, [&](std::span<const std::uint8_t> chunk) { reader.Feed(chunk); });
    reader.Finish();
    return sections.Finish();
}

std::vector<std::uint8_t> DecodePayload(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> decoded;
    DecodeAll(payload, [&](std::span<const std::uint8_t> chunk) { decoded.insert(decoded.end(), chunk.begin(), chunk.end()); });
    return decoded;
}

}  // namespace kvpack
