// Scratch directories of the Windows-side tests and the benchmark.
#pragma once

#include <string>

// Removes a file or a directory with everything in it; a missing path is fine.
void RemoveTree(const std::wstring& path);

// A fresh, uniquely named directory under the temporary folder, in long form, removed with
// everything in it when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory() { RemoveTree(m_path); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};
