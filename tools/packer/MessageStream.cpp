#include "MessageStream.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "FileIo.h"
#include "PayloadFormat.h"

namespace kvpack {
namespace fs = std::filesystem;

namespace {

std::uint32_t CheckedBodySize(std::uint64_t size, const std::string& what) {
    if (size > UINT32_MAX) {
        throw PackError(what + " is " + std::to_string(size) +
                        " bytes long; a message body holds at most 4294967295 bytes");
    }
    return static_cast<std::uint32_t>(size);
}

}  // namespace

void MessageStream::AddMessage(std::uint8_t type, const std::vector<std::uint8_t>& body) {
    AddPart(Message(type, body));
}

void MessageStream::AddFilledMessage(std::uint8_t type, std::uint32_t count, std::uint8_t value) {
    AddPart(MessagePrefix(type, count));
    AddPart(Fill{count, value});
}

void MessageStream::AddFileMessage(std::uint8_t type, const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        throw PackError(Quoted(file) + " is not an existing regular file");
    }
    const std::uint64_t size = fs::file_size(file, error);
    if (error) {
        throw PackError("cannot read the size of " + Quoted(file) + ": " + error.message());
    }
    AddPart(MessagePrefix(type, CheckedBodySize(size, Quoted(file))));
    AddPart(FileRef{file, size});
}

std::uint64_t MessageStream::SizeOf(const Part& part) {
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&part)) {
        return bytes->size();
    }
    if (const auto* fill = std::get_if<Fill>(&part)) {
        return fill->count;
    }
    return std::get<FileRef>(part).size;
}

void MessageStream::AddPart(Part part) {
    m_size += SizeOf(part);
    m_parts.push_back(std::move(part));
}

std::size_t MessageStream::Read(std::uint8_t* buffer, std::size_t capacity) {
    std::size_t total = 0;
    while (total < capacity && m_partIndex < m_parts.size()) {
        const Part& part = m_parts[m_partIndex];
        const std::uint64_t left = SizeOf(part) - m_partOffset;
        if (left == 0) {
            if (const auto* file = std::get_if<FileRef>(&part)) {
                CloseFile(*file);
            }
            ++m_partIndex;
            m_partOffset = 0;
            continue;
        }
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, capacity - total));
        total += ReadFromPart(buffer + total, count);
    }
    return total;
}

std::size_t MessageStream::ReadFromPart(std::uint8_t* buffer, std::size_t count) {
    const Part& part = m_parts[m_partIndex];
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&part)) {
        std::memcpy(buffer, bytes->data() + m_partOffset, count);
    } else if (const auto* fill = std::get_if<Fill>(&part)) {
        std::memset(buffer, fill->value, count);
    } else {
        ReadFromFile(std::get<FileRef>(part), buffer, count);
    }
    m_partOffset += count;
    return count;
}

std::size_t MessageStream::ReadFromFile(const FileRef& file, std::uint8_t* buffer, std::size_t count) {
    if (!m_file.is_open()) {
        m_file.open(file.path, std::ios::binary);
        if (!m_file) {
            throw PackError("cannot open " + Quoted(file.path) + " for reading");
        }
    }
    m_file.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(m_file.gcount()) != count) {
        throw PackError(Quoted(file.path) + " became shorter than " + std::to_string(file.size) +
                        " bytes while it was packed");
    }
    return count;
}

void MessageStream::CloseFile(const FileRef& file) {
    if (!m_file.is_open()) {
        return;
    }
    const bool grew = m_file.peek() != std::ifstream::traits_type::eof();
    m_file.close();
    m_file.clear();
    if (grew) {
        throw PackError(Quoted(file.path) + " became longer than " + std::to_string(file.size) +
                        " bytes while it was packed");
    }
}

}  // namespace kvpack
