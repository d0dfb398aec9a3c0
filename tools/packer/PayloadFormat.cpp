#include "PayloadFormat.h"

#include <array>

namespace kvpack {
namespace {

struct CategoryInfo {
    Category category;
    std::string_view name;
    std::string_view number;
    std::optional<MessageType> message;
};

constexpr std::array<CategoryInfo, 5> kCategories{{
    {Category::Uninstaller, "uninstaller", "1", MessageType::UninstallerFile},
    {Category::CryptoModule, "crypto-module", "2", MessageType::CryptoModuleFile},
    {Category::CryptoProvider, "crypto-provider", "4", MessageType::CryptoProviderFile},
    {Category::LsaPackage, "lsa-package", "8", MessageType::LsaPackageFile},
    {Category::Regular, "regular", "16", std::nullopt},
}};

const CategoryInfo& InfoOf(Category category) {
    for (const CategoryInfo& info : kCategories) {
        if (info.category == category) {
            return info;
        }
    }
    throw std::logic_error("category without a table entry");
}

}  // namespace

std::string_view CategoryName(Category category) {
    return InfoOf(category).name;
}

std::optional<Category> ParseCategory(std::string_view text) {
    for (const CategoryInfo& info : kCategories) {
        if (text == info.name || text == info.number) {
            return info.category;
        }
    }
    return std::nullopt;
}

std::optional<MessageType> CategoryMessage(Category category) {
    return InfoOf(category).message;
}

std::optional<Category> CategoryOfMessage(std::uint8_t type) {
    for (const CategoryInfo& info : kCategories) {
        if (info.message && static_cast<std::uint8_t>(*info.message) == type) {
            return info.category;
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> MessagePrefix(std::uint8_t type, std::uint32_t bodySize) {
    return {type,
            static_cast<std::uint8_t>(bodySize >> 24),
            static_cast<std::uint8_t>(bodySize >> 16),
            static_cast<std::uint8_t>(bodySize >> 8),
            static_cast<std::uint8_t>(bodySize)};
}

std::vector<std::uint8_t> Message(std::uint8_t type, const std::vector<std::uint8_t>& body) {
    if (body.size() > UINT32_MAX) {
        throw PackError("message body of " + std::to_string(body.size()) +
                        " bytes does not fit the 32-bit length field");
    }
    std::vector<std::uint8_t> message = MessagePrefix(type, static_cast<std::uint32_t>(body.size()));
    message.insert(message.end(), body.begin(), body.end());
    return message;
}

// Strict UTF-8, as the installer's conversion to UTF-16 demands: no overlong forms, no
// surrogate halves, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, codePoint = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, codePoint = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, codePoint = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace kvpack
