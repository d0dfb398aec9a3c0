#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kvpack {

// A path as messages show it: in single quotes.
std::string Quoted(const std::filesystem::path& path);

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Writes a sibling temporary file and renames it over `path`, so that a failed run never leaves a
// partial payload behind for the build to pick up.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace kvpack
