// Runs the built installer as a child process and collects what a calling script would see.
#pragma once

#include <string>

struct InstallerResult {
    unsigned long exitCode;
    std::string output;  // standard output, as the bytes written
};

// Starts KvSshServer-Inst.exe from the directory of this test program with `arguments`
// after the program name, and waits for it.
InstallerResult RunInstaller(const std::wstring& arguments);
