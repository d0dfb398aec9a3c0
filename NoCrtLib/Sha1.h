// SHA-1 message digest (FIPS 180-1), used for guard names and hashed group names.
#pragma once

#include "NoCrtString.h"

#include <cstddef>
#include <cstdint>

struct Sha1Digest {
    unsigned char bytes[20];
};

class Sha1 {
public:
    Sha1() { Restart(); }

    // Adds message bytes; may be called any number of times with pieces of any size.
    void Update(const void* data, std::size_t bytes);
    // Pads the message and returns its digest; the object then starts a new, empty message.
    Sha1Digest Final();

private:
    void Restart();
    void ProcessBlock(const unsigned char* block);

    std::uint32_t m_state[5];
    std::uint64_t m_messageBytes;
    unsigned char m_block[64];
    std::size_t m_blockFill;
};

// The 20 digest bytes as 40 upper-case hexadecimal digits, high digit first.
wstring_nc Sha1HexText(const Sha1Digest& digest);
