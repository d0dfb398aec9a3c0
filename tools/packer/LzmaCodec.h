// The payload's container: an LZMA stream with the classic 13-byte header (properties byte,
// dictionary size, decoded size) and raw LZMA data without an end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" {
#include <lzma/LzmaDec.h>
}

#include "MessageStream.h"

namespace kvpack {

inline constexpr std::size_t kLzmaHeaderSize = 13;
// All bits set in the decoded-size field means "unknown size, end marker"; the installer refuses it.
inline constexpr std::uint64_t kUnknownDecodedSize = UINT64_MAX;
// lc 3, lp 0, pb 2.
inline constexpr std::uint8_t kPropertiesByte = 0x5D;
inline constexpr std::uint32_t kDefaultDictionarySize = 32u << 20;
inline constexpr std::uint32_t kMinDictionarySize = 1u << 12;
// The installer is a 32-bit process that allocates the whole dictionary at once.
inline constexpr std::uint32_t kMaxDictionarySize = 1u << 27;

struct LzmaHeader {
    std::uint8_t properties = 0;
    std::uint32_t dictionarySize = 0;
    std::uint64_t decodedSize = 0;
};

// The header carries the dictionary size only as 2^n or 3 * 2^n; raises PackError for a size that
// is out of range or not of that form, naming the nearest size that is.
void CheckDictionarySize(std::uint64_t size);

// Header and raw LZMA data of everything `input` yields. The same input and dictionary size give the
// same bytes.
std::vector<std::uint8_t> CompressPayload(ByteSource& input, std::uint32_t dictionarySize);

// Decodes a payload chunk by chunk, never holding more than one chunk of decoded bytes.
class LzmaDecoder {
public:
    static constexpr std::size_t kChunkSize = 128 * 1024;

    // Reads and checks the header; `payload` must outlive the decoder.
    explicit LzmaDecoder(std::span<const std::uint8_t> payload);
    ~LzmaDecoder();
    LzmaDecoder(const LzmaDecoder&) = delete;
    LzmaDecoder& operator=(const LzmaDecoder&) = delete;

    const LzmaHeader& Header() const { return m_header; }
    std::uint64_t DecodedSoFar() const { return m_decoded; }
    // The next decoded bytes, valid until the next call; empty once the decoded size is reached.
    // Raises PackError for corrupt or truncated data.
    std::span<const std::uint8_t> NextChunk();

private:
    std::span<const std::uint8_t> m_input;
    std::size_t m_inputPos = 0;
    LzmaHeader m_header;
    std::uint64_t m_decoded = 0;
    CLzmaDec m_state;
    std::vector<std::uint8_t> m_chunk;
};

}  // namespace kvpack
