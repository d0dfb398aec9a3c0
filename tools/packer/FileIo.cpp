#include "FileIo.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "PayloadFormat.h"

namespace kvpack {
namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) {
    std::string quoted;
    quoted.reserve(path.native().size() + 2);
    quoted.append(1, '\'').append(path.string()).append(1, '\'');
    return quoted;
}

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw PackError("cannot open " + Quoted(path) + " for reading");
    }
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        throw PackError("cannot read " + Quoted(path));
    }
    return bytes;
}

void WriteFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
    fs::path temporary = path;
    temporary += ".partial";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw PackError("cannot write " + Quoted(temporary));
        }
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        throw PackError("cannot move " + Quoted(temporary) + " to " + Quoted(path) + ": " + error.message());
    }
}

}  // namespace kvpack
