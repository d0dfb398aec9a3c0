// The list of files to pack: one line per file, four TAB-separated fields
//   source path   name in the payload   category   platforms
// Blank lines and lines starting with '#' are ignored; a relative source path is relative to the
// manifest's directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "MessageStream.h"
#include "PayloadFormat.h"

namespace kvpack {

struct ManifestEntry {
    std::filesystem::path source;
    std::string name;
    Category category = Category::Regular;
    std::uint8_t platforms = kPlatformsBoth;
    std::uint64_t size = 0;
    int line = 0;
};

// Raises PackError, naming "<manifest>:<line>", for every entry the installer would refuse or
// could not install as listed.
std::vector<ManifestEntry> ReadManifest(const std::filesystem::path& manifest);
std::vector<ManifestEntry> ParseManifest(std::istream& text, const std::filesystem::path& baseDirectory,
                                         const std::string& displayName);

// One file section per entry, in manifest order: FileName, the category message unless Regular, the
// Platforms message unless both, then FileData.
MessageStream BuildPayloadMessages(const std::vector<ManifestEntry>& entries);

}  // namespace kvpack
