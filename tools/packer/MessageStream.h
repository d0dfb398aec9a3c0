// The decoded payload as it is assembled: messages whose bodies are bytes in memory, runs of
// one byte, or whole files read only while the encoder consumes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <variant>
#include <vector>

namespace kvpack {

// A sequence of bytes of known total size, read from the front.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to `capacity` bytes; 0 only at the end. Raises PackError when a source fails.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t capacity) = 0;
};

class MessageStream : public ByteSource {
public:
    void AddMessage(std::uint8_t type, const std::vector<std::uint8_t>& body);
    void AddFilledMessage(std::uint8_t type, std::uint32_t count, std::uint8_t value);
    // The file's size is taken now; the file must keep it until the stream has been read.
    void AddFileMessage(std::uint8_t type, const std::filesystem::path& file);

    std::uint64_t Size() const override { return m_size; }
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override;

private:
    struct Fill {
        std::uint64_t count;
        std::uint8_t value;
    };
    struct FileRef {
        std::filesystem::path path;
        std::uint64_t size;
    };
    using Part = std::variant<std::vector<std::uint8_t>, Fill, FileRef>;

    static std::uint64_t SizeOf(const Part& part);
    void AddPart(Part part);
    std::size_t ReadFromPart(std::uint8_t* buffer, std::size_t count);
    std::size_t ReadFromFile(const FileRef& file, std::uint8_t* buffer, std::size_t count);
    void CloseFile(const FileRef& file);

    std::vector<Part> m_parts;
    std::uint64_t m_size = 0;
    std::size_t m_partIndex = 0;
    std::uint64_t m_partOffset = 0;
    std::ifstream m_file;
};

}  // namespace kvpack
