// Runs the built installer as a child process and collects what a calling script would see.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct InstallerResult {
    unsigned long exitCode;
    std::string output;  // standard output, as the bytes written
};

enum class InstallerBuild { Shipped, Test };

// Starts KvSshServer-Inst.exe (or the test build, KvSshServer-Inst-test.exe) from the
// directory of this test program with `arguments` after the program name, with the extra
// environment variables given, and waits for it.
InstallerResult RunInstaller(const std::wstring& arguments, InstallerBuild build = InstallerBuild::Shipped,
                             const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

// The usage text as the installer prints it for 200 and 201, with the final empty line.
extern const std::string UsageText;

struct RunCase {
    std::wstring arguments;
    unsigned long exitCode;
    std::string output;
};

// Runs every case with the shipped installer and compares exit code and output exactly.
void ExpectRuns(const std::vector<RunCase>& cases);
