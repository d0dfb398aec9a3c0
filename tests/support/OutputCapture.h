// Redirects the process's standard output into a pipe for the lifetime of the object.
#pragma once

#include <windows.h>

#include <string>

class OutputCapture {
public:
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Everything written so far, as UTF-8 bytes.
    std::string Text();

private:
    HANDLE m_read = nullptr;
    HANDLE m_write = nullptr;
    HANDLE m_savedOutput = nullptr;
};
