#include "RawDescription.h"

#include <charconv>
#include <fstream>

#include "LzmaCodec.h"
#include "FileIo.h"
#include "PayloadFormat.h"

namespace kvpack {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTruncate = "truncate-compressed";
constexpr std::string_view kCorrupt = "corrupt-compressed";

class LineContext {
public:
    LineContext(const std::string& description, int line)
        : m_prefix(description + ":" + std::to_string(line) + ": ") {}

    [[noreturn]] void Raise(const std::string& problem) const { throw PackError(m_prefix + problem); }

    template <typename Number>
    Number ParseNumber(std::string_view text, const char* what, int base = 10) const {
        Number value{};
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
        if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
            Raise(std::string(what) + " '" + std::string(text) + "' is not a number in range");
        }
        return value;
    }

private:
    std::string m_prefix;
};

std::vector<std::uint8_t> ParseHex(std::string_view hex, const LineContext& context) {
    if (hex.size() % 2 != 0) {
        context.Raise("hex body has an odd number of digits");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(context.ParseNumber<std::uint8_t>(hex.substr(i, 2), "hex byte", 16));
    }
    return bytes;
}

void AddFilledMessage(std::uint8_t type, std::string_view countAndByte, MessageStream& messages, const LineContext& context) {
    const std::size_t colon = countAndByte.find(':');
    if (colon == std::string_view::npos) {
        context.Raise("fill body must be fill:COUNT:BYTE, e.g. fill:4097:41");
    }
    const auto count = context.ParseNumber<std::uint32_t>(countAndByte.substr(0, colon), "fill count");
    const std::string_view byte = countAndByte.substr(colon + 1);
    if (byte.size() != 2) {
        context.Raise("fill byte '" + std::string(byte) + "' must be two hex digits");
    }
    messages.AddFilledMessage(type, count, context.ParseNumber<std::uint8_t>(byte, "fill byte", 16));
}

void AddMessage(std::uint8_t type, std::string_view body, const fs::path& baseDirectory, MessageStream& messages,
                const LineContext& context) {
    auto bodyAfter = [&](std::string_view prefix) -> std::optional<std::string_view> {
        if (body.substr(0, prefix.size()) == prefix) {
            return body.substr(prefix.size());
        }
        return std::nullopt;
    };
    if (body == "-") {
        messages.AddMessage(type, {});
    } else if (auto text = bodyAfter("text:")) {
        messages.AddMessage(type, std::vector<std::uint8_t>(text->begin(), text->end()));
    } else if (auto hex = bodyAfter("hex:")) {
        messages.AddMessage(type, ParseHex(*hex, context));
    } else if (auto fill = bodyAfter("fill:")) {
        AddFilledMessage(type, *fill, messages, context);
    } else if (auto path = bodyAfter("file:")) {
        try {
            messages.AddFileMessage(type, baseDirectory / fs::path(std::string(*path)));
        } catch (const PackError& error) {
            context.Raise(error.what());
        }
    } else {
        context.Raise("unknown body '" + std::string(body) + "'; use -, text:, hex:, fill: or file:");
    }
}

void ParseLine(std::string_view line, const fs::path& baseDirectory, RawDescription& description,
               const LineContext& context) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        context.Raise("expected 'TYPE BODY', '" + std::string(kTruncate) + " N' or '" + std::string(kCorrupt) +
                      " OFFSET'");
    }
    const std::string_view keyword = line.substr(0, space);
    const std::string_view argument = line.substr(space + 1);
    if (keyword == kTruncate) {
        if (description.truncateAt) {
            context.Raise("the stream is already truncated by an earlier line");
        }
        description.truncateAt = context.ParseNumber<std::uint64_t>(argument, "truncation length");
    } else if (keyword == kCorrupt) {
        description.corruptOffsets.push_back(context.ParseNumber<std::uint64_t>(argument, "corruption offset"));
    } else {
        const auto type = context.ParseNumber<std::uint8_t>(keyword, "message type");
        AddMessage(type, argument, baseDirectory, description.messages, context);
    }
}

}  // namespace

RawDescription ParseRawDescription(std::istream& text, const fs::path& baseDirectory, const std::string& displayName) {
    RawDescription description;
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        ParseLine(line, baseDirectory, description, LineContext(displayName, number));
    }
    return description;
}

RawDescription ReadRawDescription(const fs::path& description) {
    std::ifstream text(description, std::ios::binary);
    if (!text) {
        throw PackError("cannot open message description " + Quoted(description));
    }
    return ParseRawDescription(text, description.parent_path(), description.string());
}

void ApplyDamage(const RawDescription& description, std::vector<std::uint8_t>& payload) {
    const std::uint64_t dataSize = payload.size() - kLzmaHeaderSize;
    const std::uint64_t keptSize = description.truncateAt.value_or(dataSize);
    if (keptSize > dataSize) {
        throw PackError(std::string(kTruncate) + " " + std::to_string(keptSize) + " is beyond the " +
                        std::to_string(dataSize) + " bytes of LZMA data");
    }
    for (const std::uint64_t offset : description.corruptOffsets) {
        if (offset >= keptSize) {
            throw PackError(std::string(kCorrupt) + " " + std::to_string(offset) + " is beyond the " +
                            std::to_string(keptSize) + " bytes of LZMA data that are kept");
        }
        payload[kLzmaHeaderSize + offset] ^= 0xFF;
    }
    payload.resize(kLzmaHeaderSize + keptSize);
}

}  // namespace kvpack
