// Scratch directories and files for the packer tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kvpack::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    // Writes a file (creating parent directories) and returns its path.
    std::filesystem::path Write(const std::string& name, std::string_view contents) const;
    std::filesystem::path Write(const std::string& name, const std::vector<std::uint8_t>& contents) const;

private:
    std::filesystem::path m_path;
};

std::vector<std::uint8_t> Bytes(std::string_view text);

// A message as the installer expects it: type, big-endian length, body.
std::vector<std::uint8_t> EncodedMessage(std::uint8_t type, const std::vector<std::uint8_t>& body);
std::vector<std::uint8_t> Concat(const std::vector<std::vector<std::uint8_t>>& parts);

// Bytes that do not compress, the same for the same seed.
std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed);

// The text of the packer's refusal of the action, or "(no error)" when it was accepted.
std::string PackErrorOf(const std::function<void()>& action);

}  // namespace kvpack::test
