// The installer's payload stream: tagged messages that name, classify and carry each file.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kvpack {

// Every failure of the packer that the user has to fix; the text is shown as it is.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class MessageType : std::uint8_t {
    FileName = 1,
    UninstallerFile = 2,
    CryptoModuleFile = 3,
    CryptoProviderFile = 4,
    LsaPackageFile = 5,
    Platforms = 100,
    FileData = 101,
};

// A message is the type byte, the body length (4 bytes, big-endian) and the body.
inline constexpr std::size_t kMessagePrefixSize = 5;
// The installer reads every body except file data into a buffer of this size.
inline constexpr std::uint32_t kMaxHeaderBodySize = 4096;

// One bit each; a file has exactly one.
enum class Category : std::uint32_t {
    Uninstaller = 1,
    CryptoModule = 2,
    CryptoProvider = 4,
    LsaPackage = 8,
    Regular = 16,
};

// Bit 0: written on 32-bit Windows; bit 1: written on 64-bit Windows.
inline constexpr std::uint8_t kPlatforms32 = 1;
inline constexpr std::uint8_t kPlatforms64 = 2;
inline constexpr std::uint8_t kPlatformsBoth = 3;

// The word used in manifests and listings ("uninstaller", "regular", ...).
std::string_view CategoryName(Category category);
// Accepts the words of CategoryName and the bit values 1, 2, 4, 8 and 16.
std::optional<Category> ParseCategory(std::string_view text);

// The header message that marks the next file as `category`; none for Regular.
std::optional<MessageType> CategoryMessage(Category category);
// The category a header message sets, if it is one of the category messages.
std::optional<Category> CategoryOfMessage(std::uint8_t type);

// The 5-byte prefix of a message with a body of `bodySize` bytes.
std::vector<std::uint8_t> MessagePrefix(std::uint8_t type, std::uint32_t bodySize);
// A whole message.
std::vector<std::uint8_t> Message(std::uint8_t type, const std::vector<std::uint8_t>& body);

bool IsValidUtf8(std::string_view text);

}  // namespace kvpack
