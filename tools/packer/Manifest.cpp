#include "Manifest.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

#include "FileIo.h"

namespace kvpack {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFieldCount = 4;

class LineError {
public:
    LineError(const std::string& manifest, int line) : m_prefix(manifest + ":" + std::to_string(line) + ": ") {}

    [[noreturn]] void Raise(const std::string& problem) const { throw PackError(m_prefix + problem); }

private:
    std::string m_prefix;
};

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

bool IsIgnored(const std::string& line) {
    const bool blank = std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c); });
    return blank || line.front() == '#';
}

void CheckName(const std::string& name, const LineError& error) {
    if (name.empty()) {
        error.Raise("empty name in the payload");
    }
    if (name.size() > kMaxHeaderBodySize) {
        error.Raise("name in the payload is " + std::to_string(name.size()) + " bytes long in UTF-8; the installer takes at most " +
                    std::to_string(kMaxHeaderBodySize));
    }
    if (!IsValidUtf8(name)) {
        error.Raise("name in the payload is not valid UTF-8");
    }
}

std::uint8_t ParsePlatforms(const std::string& text, const LineError& error) {
    if (text == "1" || text == "2" || text == "3") {
        return static_cast<std::uint8_t>(text[0] - '0');
    }
    error.Raise("platforms '" + text + "' is not 1 (32-bit only), 2 (64-bit only) or 3 (both)");
}

std::uint64_t SourceFileSize(const fs::path& source, const LineError& error) {
    std::error_code code;
    const fs::file_status status = fs::status(source, code);
    if (!fs::exists(status)) {
        error.Raise("source file " + Quoted(source) + " does not exist");
    }
    if (!fs::is_regular_file(status)) {
        error.Raise("source " + Quoted(source) + " is not a regular file");
    }
    const std::uint64_t size = fs::file_size(source, code);
    if (code) {
        error.Raise("cannot read the size of " + Quoted(source) + ": " + code.message());
    }
    if (size > UINT32_MAX) {
        error.Raise("source file " + Quoted(source) + " is " + std::to_string(size) +
                    " bytes long; a file in the payload holds at most 4294967295");
    }
    return size;
}

ManifestEntry ParseEntry(const std::string& line, const fs::path& baseDirectory, const LineError& error) {
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.size() != kFieldCount) {
        error.Raise("expected 4 TAB-separated fields (source, name, category, platforms), found " +
                    std::to_string(fields.size()));
    }
    ManifestEntry entry;
    if (fields[0].empty()) {
        error.Raise("empty source path");
    }
    entry.source = baseDirectory / fs::path(fields[0]);
    entry.name = fields[1];
    CheckName(entry.name, error);
    const std::optional<Category> category = ParseCategory(fields[2]);
    if (!category) {
        error.Raise("unknown category '" + fields[2] +
                    "'; use uninstaller, crypto-module, crypto-provider, lsa-package or regular (or 1, 2, 4, 8, 16)");
    }
    entry.category = *category;
    entry.platforms = ParsePlatforms(fields[3], error);
    entry.size = SourceFileSize(entry.source, error);
    return entry;
}

// Windows names ignore case; this covers the ASCII letters, which is what the product's names use.
std::string FoldCase(const std::string& name) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

// Two files of one name on one platform would make the installer ask whether to overwrite the first.
void CheckNoOverlappingDuplicates(const std::vector<ManifestEntry>& entries, const std::string& displayName) {
    for (std::size_t later = 0; later < entries.size(); ++later) {
        for (std::size_t earlier = 0; earlier < later; ++earlier) {
            const ManifestEntry& a = entries[earlier];
            const ManifestEntry& b = entries[later];
            if ((a.platforms & b.platforms) != 0 && FoldCase(a.name) == FoldCase(b.name)) {
                LineError(displayName, b.line)
                    .Raise("name '" + b.name + "' is already packed for an overlapping platform on line " +
                           std::to_string(a.line));
            }
        }
    }
}

}  // namespace

std::vector<ManifestEntry> ParseManifest(std::istream& text, const fs::path& baseDirectory,
                                         const std::string& displayName) {
    std::vector<ManifestEntry> entries;
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (IsIgnored(line)) {
            continue;
        }
        ManifestEntry entry = ParseEntry(line, baseDirectory, LineError(displayName, number));
        entry.line = number;
        entries.push_back(std::move(entry));
    }
    CheckNoOverlappingDuplicates(entries, displayName);
    return entries;
}

std::vector<ManifestEntry> ReadManifest(const fs::path& manifest) {
    std::ifstream text(manifest, std::ios::binary);
    if (!text) {
        throw PackError("cannot open manifest " + Quoted(manifest));
    }
    return ParseManifest(text, manifest.parent_path(), manifest.string());
}

MessageStream BuildPayloadMessages(const std::vector<ManifestEntry>& entries) {
    MessageStream messages;
    for (const ManifestEntry& entry : entries) {
        messages.AddMessage(static_cast<std::uint8_t>(MessageType::FileName),
                            std::vector<std::uint8_t>(entry.name.begin(), entry.name.end()));
        if (const std::optional<MessageType> categoryMessage = CategoryMessage(entry.category)) {
            messages.AddMessage(static_cast<std::uint8_t>(*categoryMessage), {});
        }
        if (entry.platforms != kPlatformsBoth) {
            messages.AddMessage(static_cast<std::uint8_t>(MessageType::Platforms), {entry.platforms});
        }
        messages.AddFileMessage(static_cast<std::uint8_t>(MessageType::FileData), entry.source);
    }
    return messages;
}

}  // namespace kvpack
