#include "Sha1.h"

#include <cstring>

namespace {

constexpr std::size_t BlockBytes = 64;
constexpr std::size_t LengthFieldBytes = 8;

std::uint32_t RotateLeft(std::uint32_t value, unsigned bits)
{
    return (value << bits) | (value >> (32 - bits));
}

std::uint32_t LoadBigEndian(const unsigned char* bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

void StoreBigEndian(std::uint32_t value, unsigned char* bytes)
{
    for (int i = 3; i >= 0; --i) {
        bytes[i] = static_cast<unsigned char>(value);
        value >>= 8;
    }
}

// The round function and constant of step t (0..79).
std::uint32_t RoundFunction(unsigned t, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    if (t < 20)
        return (b & c) | (~b & d);
    if (t < 40 || t >= 60)
        return b ^ c ^ d;
    return (b & c) | (b & d) | (c & d);
}

std::uint32_t RoundConstant(unsigned t)
{
    static const std::uint32_t constants[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
    return constants[t / 20];
}

}  // namespace

void Sha1::Restart()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xEFCDAB89;
    m_state[2] = 0x98BADCFE;
    m_state[3] = 0x10325476;
    m_state[4] = 0xC3D2E1F0;
    m_messageBytes = 0;
    m_blockFill = 0;
}

void Sha1::ProcessBlock(const unsigned char* block)
{
    std::uint32_t w[80];
    for (unsigned t = 0; t < 16; ++t)
        w[t] = LoadBigEndian(block + 4 * t);
    for (unsigned t = 16; t < 80; ++t)
        w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3], e = m_state[4];
    for (unsigned t = 0; t < 80; ++t) {
        std::uint32_t temp = RotateLeft(a, 5) + RoundFunction(t, b, c, d) + e + w[t] + RoundConstant(t);
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = temp;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
}

void Sha1::Update(const void* data, std::size_t bytes)
{
    const unsigned char* input = static_cast<const unsigned char*>(data);
    m_messageBytes += bytes;
    while (bytes > 0) {
        std::size_t take = BlockBytes - m_blockFill;
        if (take > bytes)
            take = bytes;
        std::memcpy(m_block + m_blockFill, input, take);
        m_blockFill += take;
        input += take;
        bytes -= take;
        if (m_blockFill == BlockBytes) {
            ProcessBlock(m_block);
            m_blockFill = 0;
        }
    }
}

Sha1Digest Sha1::Final()
{
    // The message length in bits goes into the last 8 bytes of the last block, after the 0x80
    // marker and zero padding; when they don't fit, the padding runs into one more block.
    std::uint64_t messageBits = m_messageBytes * 8;
    m_block[m_blockFill++] = 0x80;
    if (m_blockFill > BlockBytes - LengthFieldBytes) {
        std::memset(m_block + m_blockFill, 0, BlockBytes - m_blockFill);
        ProcessBlock(m_block);
        m_blockFill = 0;
    }
    std::memset(m_block + m_blockFill, 0, BlockBytes - LengthFieldBytes - m_blockFill);
    StoreBigEndian(std::uint32_t(messageBits >> 32), m_block + BlockBytes - 8);
    StoreBigEndian(std::uint32_t(messageBits), m_block + BlockBytes - 4);
    ProcessBlock(m_block);

    Sha1Digest digest;
    for (unsigned i = 0; i < 5; ++i)
        StoreBigEndian(m_state[i], digest.bytes + 4 * i);
    Restart();
    return digest;
}

wstring_nc Sha1HexText(const Sha1Digest& digest)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    wstring_nc text;
    text.reserve(2 * sizeof(digest.bytes) + 1);
    for (unsigned char byte : digest.bytes) {
        text.append(digits[byte >> 4]);
        text.append(digits[byte & 0x0F]);
    }
    return text;
}
