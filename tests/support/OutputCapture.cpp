#include "OutputCapture.h"

OutputCapture::OutputCapture()
{
    CreatePipe(&m_read, &m_write, nullptr, 1 << 20);
    m_savedOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, m_write);
}

OutputCapture::~OutputCapture()
{
    SetStdHandle(STD_OUTPUT_HANDLE, m_savedOutput);
    CloseHandle(m_write);
    CloseHandle(m_read);
}

std::string OutputCapture::Text()
{
    std::string text;
    DWORD available = 0;
    while (PeekNamedPipe(m_read, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!ReadFile(m_read, chunk.data(), available, &read, nullptr))
            break;
        text.append(chunk, 0, read);
    }
    return text;
}
