#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "PayloadFormat.h"

namespace kvpack::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kvpack-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

fs::path TempDir::Write(const std::string& name, std::string_view contents) const {
    const fs::path path = m_path / name;
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path;
}

fs::path TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& contents) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Written out independently of the packer's own encoder, so that a wrong byte order there shows.
std::vector<std::uint8_t> EncodedMessage(std::uint8_t type, const std::vector<std::uint8_t>& body) {
    const auto size = static_cast<std::uint32_t>(body.size());
    std::vector<std::uint8_t> message;
    message.reserve(5 + body.size());
    message.push_back(type);
    for (int shift = 24; shift >= 0; shift -= 8) {
        message.push_back(static_cast<std::uint8_t>((size >> shift) & 0xFF));
    }
    message.insert(message.end(), body.begin(), body.end());
    return message;
}

std::vector<std::uint8_t> Concat(const std::vector<std::vector<std::uint8_t>>& parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

std::string PackErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const PackError& error) {
        return error.what();
    }
    return "(no error)";
}

}  // namespace kvpack::test
