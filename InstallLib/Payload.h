// The product's files, carried as an LZMA payload in resource BINARY 130, and their extraction.
#pragma once

#include "OperationFramework.h"

#include "NoCrtLib/NoCrtVector.h"

#include <windows.h>

#include <cstdint>

// The bytes of a resource of this executable; valid for the life of the process.
struct ResourceBytes {
    const unsigned char* data;
    DWORD size;
};
ResourceBytes LoadResourceBytes(WORD id, const wchar_t* type);

// Where extracted files go: `directory` under their payload names, or a full path for the
// uninstaller and the two crypto files when given.
struct ExtractTargets {
    wstring_nc directory;
    wstring_nc uninstallerTarget;
    wstring_nc cryptoModuleTarget;
    wstring_nc cryptoProviderTarget;
};

// File categories of the payload, one bit each.
enum PayloadCategory : std::uint32_t {
    CategoryUninstaller = 1,
    CategoryCryptoModule32 = 2,
    CategoryCryptoProvider32 = 4,
    CategoryLsaPackage = 8,
    CategoryRegular = 16,
    AllCategories = 31,
};

// Writes the payload files of the selected categories that apply to this machine. With the
// regular category selected it is the full install: existence check and overwrite question,
// progress lines, uninstaller parameters. The files are removed again when the extraction fails
// or the operation is destroyed uncommitted.
class WriteFilesFromLzmaStream : public OperationWithRollback {
public:
    WriteFilesFromLzmaStream(const ExtractTargets& targets, std::uint32_t selection);
    ~WriteFilesFromLzmaStream();

    // Output chunks decoded, for tests of the early stop of a partial extraction.
    unsigned DecodedChunks() const { return m_decodedChunks; }

private:
    class Parser;
    class OpenFile;

    void Extract(const ResourceBytes& payload, const ExtractTargets& targets, std::uint32_t selection);
    void RemoveCreatedFiles();

    ncvector<wstring_nc> m_createdFiles;
    unsigned m_decodedChunks = 0;
};

// Removes one created file; a failure is reported and the file scheduled for deletion at restart.
void RemoveCreatedFile(wstrview path);
