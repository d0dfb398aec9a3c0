// kvpack: builds and inspects the installer's file payload (an LZMA stream of file messages).
//
//   kvpack pack <manifest> <output> [--dict-size N]
//       Packs the files a manifest lists; see Manifest.h for its lines. Same inputs, same bytes.
//   kvpack list <payload>
//       Prints one line per file section: name, category, platforms, size (TAB-separated), after
//       checking the payload the way the installer reads it.
//   kvpack raw <messages> <output> [--dict-size N]
//       Writes a payload message by message, also malformed ones, for tests; see RawDescription.h.
//
// The dictionary size defaults to 33554432 (32 MiB). Exit code 0 on success, 1 on a failure (with a
// message on standard error), 2 on a wrong command line.

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FileIo.h"
#include "LzmaCodec.h"
#include "Manifest.h"
#include "PayloadReader.h"
#include "RawDescription.h"

namespace {

using namespace kvpack;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: kvpack pack <manifest> <output> [--dict-size N]\n"
    "       kvpack list <payload>\n"
    "       kvpack raw <messages> <output> [--dict-size N]\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    std::string command;
    std::vector<std::string> operands;
    std::uint32_t dictionarySize = kDefaultDictionarySize;
};

std::uint32_t ParseDictionarySize(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw UsageError("--dict-size needs a number of bytes, not '" + text + "'");
    }
    CheckDictionarySize(value);
    return static_cast<std::uint32_t>(value);
}

CommandLine ParseCommandLine(int argc, char** argv) {
    if (argc < 2) {
        throw UsageError("no command given");
    }
    CommandLine line{argv[1], {}, kDefaultDictionarySize};
    const bool writesPayload = line.command == "pack" || line.command == "raw";
    if (!writesPayload && line.command != "list") {
        throw UsageError("unknown command '" + line.command + "'");
    }
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument != "--dict-size") {
            line.operands.push_back(argument);
        } else if (!writesPayload) {
            throw UsageError("list takes no --dict-size");
        } else if (i + 1 == argc) {
            throw UsageError("--dict-size needs a value");
        } else {
            line.dictionarySize = ParseDictionarySize(argv[++i]);
        }
    }
    const std::size_t expected = writesPayload ? 2 : 1;
    if (line.operands.size() != expected) {
        throw UsageError(line.command + " takes " + std::to_string(expected) + " operand(s), got " +
                         std::to_string(line.operands.size()));
    }
    return line;
}

void Pack(const CommandLine& line) {
    MessageStream messages = BuildPayloadMessages(ReadManifest(line.operands[0]));
    WriteFileAtomically(line.operands[1], CompressPayload(messages, line.dictionarySize));
}

void WriteRaw(const CommandLine& line) {
    RawDescription description = ReadRawDescription(line.operands[0]);
    std::vector<std::uint8_t> payload = CompressPayload(description.messages, line.dictionarySize);
    ApplyDamage(description, payload);
    WriteFileAtomically(line.operands[1], payload);
}

void List(const CommandLine& line) {
    const std::vector<std::uint8_t> payload = ReadWholeFile(line.operands[0]);
    for (const FileSection& file : ListPayload(payload)) {
        std::cout << file.name << '\t' << CategoryName(file.category) << '\t' << unsigned{file.platforms} << '\t'
                  << file.size << '\n';
    }
    std::cout.flush();
    if (!std::cout) {
        throw PackError("cannot write the listing to standard output");
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const CommandLine line = ParseCommandLine(argc, argv);
        if (line.command == "pack") {
            Pack(line);
        } else if (line.command == "raw") {
            WriteRaw(line);
        } else {
            List(line);
        }
        return 0;
    } catch (const UsageError& error) {
        std::cerr << "kvpack: " << error.what() << '\n' << kUsage;
        return kExitUsage;
    } catch (const std::exception& error) {
        std::cerr << "kvpack: error: " << error.what() << '\n';
        return kExitFailure;
    }
}
