// A payload described message by message, so that tests can build payloads the packer itself would
// never write. One message per line, "TYPE BODY":
//   TYPE   decimal type byte 0..255 (unknown types too)
//   BODY   -              empty
//          text:...       UTF-8 text up to the end of the line
//          hex:0a0b...    bytes in hex
//          fill:N:BB      N copies of the byte BB (hex)
//          file:PATH      the contents of a file; relative to the description's directory
// Damage to the written stream, applied after compression:
//   truncate-compressed N     keep the header and only the first N bytes of the LZMA data
//   corrupt-compressed OFFSET invert the bits of the LZMA data byte at OFFSET (may be repeated)
// Blank lines and lines starting with '#' are ignored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "MessageStream.h"

namespace kvpack {

struct RawDescription {
    MessageStream messages;
    std::optional<std::uint64_t> truncateAt;
    std::vector<std::uint64_t> corruptOffsets;
};

// Raises PackError naming "<description>:<line>".
RawDescription ReadRawDescription(const std::filesystem::path& description);
RawDescription ParseRawDescription(std::istream& text, const std::filesystem::path& baseDirectory,
                                   const std::string& displayName);

// Applies the corruptions, then the truncation, to a compressed payload (header included).
void ApplyDamage(const RawDescription& description, std::vector<std::uint8_t>& payload);

}  // namespace kvpack
