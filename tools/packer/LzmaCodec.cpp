#include "LzmaCodec.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string>
#include <type_traits>

extern "C" {
#include <lzma/LzmaEnc.h>
}

#include "PayloadFormat.h"

namespace kvpack {
namespace {

void* Allocate(void*, std::size_t size) {
    return size == 0 ? nullptr : std::malloc(size);
}
void Free(void*, void* address) {
    std::free(address);
}
ISzAlloc g_allocator{Allocate, Free};

// The encoder pulls its input through this; a failure of the source is kept and raised again
// once the encoder has returned.
struct InputAdapter {
    ISeqInStream stream;
    ByteSource* source;
    std::uint64_t bytesRead;
    std::exception_ptr failure;

    static SRes Read(void* self, void* buffer, std::size_t* size) {
        auto* adapter = static_cast<InputAdapter*>(self);
        try {
            *size = adapter->source->Read(static_cast<std::uint8_t*>(buffer), *size);
            adapter->bytesRead += *size;
            return SZ_OK;
        } catch (...) {
            adapter->failure = std::current_exception();
            *size = 0;
            return SZ_ERROR_READ;
        }
    }
};
static_assert(std::is_standard_layout_v<InputAdapter>, "the encoder sees only the first member");

struct OutputAdapter {
    ISeqOutStream stream;
    std::vector<std::uint8_t>* output;

    static std::size_t Write(void* self, const void* data, std::size_t size) {
        auto* adapter = static_cast<OutputAdapter*>(self);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        try {
            adapter->output->insert(adapter->output->end(), bytes, bytes + size);
            return size;
        } catch (...) {
            return 0;
        }
    }
};
static_assert(std::is_standard_layout_v<OutputAdapter>, "the encoder sees only the first member");

class EncoderHandle {
public:
    EncoderHandle() : m_handle(LzmaEnc_Create(&g_allocator)) {
        if (m_handle == nullptr) {
            throw PackError("out of memory creating the LZMA encoder");
        }
    }
    ~EncoderHandle() { LzmaEnc_Destroy(m_handle, &g_allocator, &g_allocator); }
    EncoderHandle(const EncoderHandle&) = delete;
    EncoderHandle& operator=(const EncoderHandle&) = delete;

    CLzmaEncHandle Get() const { return m_handle; }

private:
    CLzmaEncHandle m_handle;
};

std::string ResultText(SRes result) {
    switch (result) {
    case SZ_ERROR_DATA: return "data error";
    case SZ_ERROR_MEM: return "out of memory";
    case SZ_ERROR_UNSUPPORTED: return "unsupported properties";
    case SZ_ERROR_PARAM: return "invalid parameter";
    case SZ_ERROR_READ: return "read error";
    case SZ_ERROR_WRITE: return "write error";
    default: return "error " + std::to_string(result);
    }
}

CLzmaEncProps EncoderProperties(std::uint32_t dictionarySize) {
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 9;
    props.dictSize = dictionarySize;
    props.lc = 3;
    props.lp = 0;
    props.pb = 2;
    props.writeEndMark = 0;
    props.numThreads = 1;
    return props;
}

void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t ReadLittleEndian(const std::uint8_t* bytes, int byteCount) {
    std::uint64_t value = 0;
    for (int i = byteCount - 1; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

std::uint64_t SmallestStorableDictionarySize(std::uint64_t size) {
    for (int bits = 12; bits < 32; ++bits) {
        if (size <= (std::uint64_t{2} << (bits - 1))) {
            return std::uint64_t{1} << bits;
        }
        if (size <= (std::uint64_t{3} << (bits - 1))) {
            return std::uint64_t{3} << (bits - 1);
        }
    }
    return std::uint64_t{1} << 32;
}

}  // namespace

void CheckDictionarySize(std::uint64_t size) {
    if (size < kMinDictionarySize || size > kMaxDictionarySize) {
        throw PackError("dictionary size " + std::to_string(size) + " is out of range " +
                        std::to_string(kMinDictionarySize) + ".." + std::to_string(kMaxDictionarySize));
    }
    const std::uint64_t storable = SmallestStorableDictionarySize(size);
    if (storable != size) {
        throw PackError("dictionary size " + std::to_string(size) +
                        " cannot be stored exactly in the LZMA header (only 2^n and 3*2^n can); the next "
                        "size that can is " + std::to_string(storable));
    }
}

std::vector<std::uint8_t> CompressPayload(ByteSource& input, std::uint32_t dictionarySize) {
    CheckDictionarySize(dictionarySize);
    EncoderHandle encoder;
    const CLzmaEncProps props = EncoderProperties(dictionarySize);
    if (SRes result = LzmaEnc_SetProps(encoder.Get(), &props); result != SZ_OK) {
        throw PackError("the LZMA encoder rejected its settings: " + ResultText(result));
    }

    std::uint8_t encodedProps[LZMA_PROPS_SIZE];
    std::size_t propsSize = sizeof encodedProps;
    LzmaEnc_WriteProperties(encoder.Get(), encodedProps, &propsSize);
    std::vector<std::uint8_t> payload(encodedProps, encodedProps + propsSize);
    AppendLittleEndian(payload, input.Size(), 8);

    InputAdapter in{{&InputAdapter::Read}, &input, 0, nullptr};
    OutputAdapter out{{&OutputAdapter::Write}, &payload};
    const SRes result = LzmaEnc_Encode(encoder.Get(), &out.stream, &in.stream, nullptr, &g_allocator, &g_allocator);
    if (in.failure) {
        std::rethrow_exception(in.failure);
    }
    if (result != SZ_OK) {
        throw PackError("LZMA encoding failed: " + ResultText(result));
    }
    if (in.bytesRead != input.Size()) {
        throw PackError("the payload yielded " + std::to_string(in.bytesRead) + " bytes instead of the " +
                        std::to_string(input.Size()) + " recorded in its header");
    }
    return payload;
}

LzmaDecoder::LzmaDecoder(std::span<const std::uint8_t> payload) : m_input(payload) {
    if (payload.size() < kLzmaHeaderSize) {
        throw PackError("the payload is " + std::to_string(payload.size()) + " bytes long; its LZMA header alone takes " +
                        std::to_string(kLzmaHeaderSize));
    }
    m_header.properties = payload[0];
    m_header.dictionarySize = static_cast<std::uint32_t>(ReadLittleEndian(&payload[1], 4));
    m_header.decodedSize = ReadLittleEndian(&payload[5], 8);
    if (m_header.properties >= 9 * 5 * 5) {
        throw PackError("invalid LZMA properties byte " + std::to_string(m_header.properties) + " (must be below 225)");
    }
    if (m_header.decodedSize == kUnknownDecodedSize) {
        throw PackError("the LZMA header gives no decoded size (end-marker stream); the installer refuses such a payload");
    }
    LzmaDec_Construct(&m_state);
    if (SRes result = LzmaDec_Allocate(&m_state, payload.data(), LZMA_PROPS_SIZE, &g_allocator); result != SZ_OK) {
        throw PackError("cannot set up the LZMA decoder for a dictionary of " +
                        std::to_string(m_header.dictionarySize) + " bytes: " + ResultText(result));
    }
    LzmaDec_Init(&m_state);
    m_inputPos = kLzmaHeaderSize;
    m_chunk.resize(kChunkSize);
}

LzmaDecoder::~LzmaDecoder() {
    LzmaDec_Free(&m_state, &g_allocator);
}

std::span<const std::uint8_t> LzmaDecoder::NextChunk() {
    const std::uint64_t wanted = std::min<std::uint64_t>(m_header.decodedSize - m_decoded, kChunkSize);
    if (wanted == 0) {
        return {};
    }
    for (;;) {
        std::size_t produced = static_cast<std::size_t>(wanted);
        std::size_t consumed = m_input.size() - m_inputPos;
        ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
        const SRes result = LzmaDec_DecodeToBuf(&m_state, m_chunk.data(), &produced, m_input.data() + m_inputPos,
                                                &consumed, LZMA_FINISH_ANY, &status);
        m_inputPos += consumed;
        m_decoded += produced;
        const std::string where = " after " + std::to_string(m_decoded) + " of " +
                                  std::to_string(m_header.decodedSize) + " decoded bytes";
        if (result != SZ_OK) {
            throw PackError("corrupt LZMA data: the decoder failed with " + ResultText(result) + where);
        }
        if (produced > 0) {
            return {m_chunk.data(), produced};
        }
        if (consumed > 0) {
            continue;
        }
        if (status == LZMA_STATUS_NEEDS_MORE_INPUT) {
            throw PackError("truncated LZMA data: the compressed bytes end" + where);
        }
        if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
            throw PackError("corrupt LZMA data: an end marker" + where);
        }
        throw PackError("corrupt LZMA data: the decoder makes no progress" + where);
    }
}

}  // namespace kvpack
