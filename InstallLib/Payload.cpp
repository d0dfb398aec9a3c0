#include "Payload.h"

#include "DeleteOnReboot.h"
#include "RunExit.h"

#include "NoCrtLib/ConsoleOutput.h"
#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NumCvt.h"
#include "NoCrtLib/Paths.h"
#include "NoCrtLib/TextConvert.h"
#include "Tarnlib/FaultSeam.h"
#include "Tarnlib/Wow64.h"

extern "C" {
#include <LzmaDec.h>
}

#include <new>

#ifdef KV_TEST_SEAMS
#include <cstdlib>
#endif

namespace {

constexpr WORD PayloadResourceId = 130;
constexpr SizeT OutputChunkSize = 131072;
constexpr std::uint32_t HeaderCapacity = 4096;
constexpr unsigned HeaderSize = 13;
constexpr int ExitFileExists = 104;

enum MessageType : unsigned char {
    FileNameMessage = 1,
    UninstallerFileMessage = 2,
    CryptoModuleFileMessage = 3,
    CryptoProviderFileMessage = 4,
    LsaPackageFileMessage = 5,
    PlatformsMessage = 100,
    FileDataMessage = 101,
};

enum Platform : unsigned char { Platform32 = 1, Platform64 = 2, AllPlatforms = 3 };

void* AllocateForDecoder(void*, size_t size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void FreeForDecoder(void*, void* address)
{
    if (address)
        HeapFree(GetProcessHeap(), 0, address);
}
ISzAlloc g_decoderAllocator = {AllocateForDecoder, FreeForDecoder};

[[noreturn]] void Fail(wstrview message) { throw InstallError(message); }

void CheckStreamProperties(const unsigned char* properties)
{
    CLzmaProps decoded;
    if (LzmaProps_Decode(&decoded, properties, LZMA_PROPS_SIZE) != SZ_OK)
        Fail(L"LzmaDecodeProperties() failed: incorrect stream properties"_v);
}

// The decoder state with its probability table and dictionary.
class LzmaDecoder : public NoCopy {
public:
    // The properties have been checked: what is left to fail is the allocation.
    explicit LzmaDecoder(const unsigned char* properties)
    {
        LzmaDec_Construct(&m_state);
        if (LzmaDec_Allocate(&m_state, properties, LZMA_PROPS_SIZE, &g_decoderAllocator) != SZ_OK)
            throw std::bad_alloc();
        LzmaDec_Init(&m_state);
    }
    ~LzmaDecoder() { LzmaDec_Free(&m_state, &g_decoderAllocator); }

    // Decodes the next chunk of at most `limit` bytes into the dictionary itself, which the
    // decoder keeps anyway, and returns where the chunk lies: no copy into a separate buffer.
    const unsigned char* DecodeChunk(SizeT limit, const unsigned char*& input, SizeT& inputLeft, SizeT& produced)
    {
        if (m_state.dicPos == m_state.dicBufSize)
            m_state.dicPos = 0;
        SizeT start = m_state.dicPos;
        SizeT room = m_state.dicBufSize - start;
        SizeT consumed = inputLeft;
        ELzmaStatus status;
        SRes result = LzmaDec_DecodeToDic(&m_state, start + (limit < room ? limit : room), input, &consumed,
                                          LZMA_FINISH_ANY, &status);
        input += consumed;
        inputLeft -= consumed;
        produced = m_state.dicPos - start;
        if (result == SZ_OK && produced == 0)
            result = status == LZMA_STATUS_NEEDS_MORE_INPUT ? SZ_ERROR_INPUT_EOF : SZ_ERROR_DATA;
        if (result != SZ_OK)
            Fail(L"LzmaDecode() failed: error "_v + DecimalText(unsigned(result)));
        return m_state.dic + start;
    }

private:
    CLzmaDec m_state;
};

bool IsSixtyFourBitWindows()
{
    static const bool sixtyFour = [] {
        SYSTEM_INFO info = {};
        Tarnlib::Wow64::GetNativeSystemInfo(&info);
        return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    }();
    return sixtyFour;
}

std::uint64_t LittleEndian(const unsigned char* bytes, unsigned count)
{
    std::uint64_t value = 0;
    for (unsigned i = count; i > 0; --i)
        value = value << 8 | bytes[i - 1];
    return value;
}

#ifdef KV_TEST_SEAMS
// Test builds only: the file named by KV_PAYLOAD_FILE, mapped for the life of the process,
// replaces the payload resource.
bool PayloadFromTestFile(ResourceBytes& bytes)
{
    const char* path = std::getenv("KV_PAYLOAD_FILE");
    if (!path || !*path)
        return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw InstallError(L"Test payload file cannot be opened"_v);
    DWORD size = GetFileSize(file, nullptr);
    HANDLE mapping = size ? CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
    CloseHandle(file);
    bytes.size = size;
    bytes.data = mapping ? static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
                         : reinterpret_cast<const unsigned char*>("");
    return true;
}
#endif

ResourceBytes PayloadBytes()
{
#ifdef KV_TEST_SEAMS
    ResourceBytes testBytes;
    if (PayloadFromTestFile(testBytes))
        return testBytes;
#endif
    return LoadResourceBytes(PayloadResourceId, L"BINARY");
}

void ConfirmOverwrite(wstrview path)
{
    PrintLine(L"File '"_v + path + L"' already exists"_v);
    ContinueOrAbort(L"File '"_v + path +
                        L"' already exists.\nDo you want it to be overwritten?\nClicking 'Yes' will overwrite the "
                        L"file, clicking 'No' will abort the installation."_v,
                    L"File already exists"_v, ExitFileExists);
}

}  // namespace

ResourceBytes LoadResourceBytes(WORD id, const wchar_t* type)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = KV_SYSCALL("FindResourceW", nullptr, FindResourceW(module, MAKEINTRESOURCEW(id), type));
    if (!resource)
        Fail(L"FindResourceW() failed: "_v + WinErrorDescription(GetLastError()));
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        Fail(L"LoadResource() failed: "_v + WinErrorDescription(GetLastError()));
    const void* data = LockResource(loaded);
    if (!data)
        Fail(L"LockResource() failed: "_v + WinErrorDescription(GetLastError()));
    DWORD size = SizeofResource(module, resource);
    if (size == 0)
        Fail(L"SizeofResource() failed: "_v + WinErrorDescription(GetLastError()));
    return {static_cast<const unsigned char*>(data), size};
}

// The file being written; closed when the next section begins or the extraction ends.
class WriteFilesFromLzmaStream::OpenFile : public NoCopy {
public:
    OpenFile() = default;
    ~OpenFile() { Close(); }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Open(const wstring_nc& path)
    {
        m_path = path;
        m_handle = KV_SYSCALL("CreateFileW", INVALID_HANDLE_VALUE,
                              CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!IsOpen())
            Fail(L"Error creating target installation file '"_v + path +
                 L"' - CreateFile() failed with the following error: "_v + WinErrorDescription(GetLastError()));
    }
    void Write(const unsigned char* bytes, DWORD count)
    {
        DWORD written = 0;
        if (!KV_SYSCALL("WriteFile", FALSE, WriteFile(m_handle, bytes, count, &written, nullptr)))
            Fail(L"Error writing to target installation file '"_v + m_path +
                 L"' - WriteFile() failed with the following error: "_v + WinErrorDescription(GetLastError()));
        if (written < count)
            Fail(L"Error writing to target installation file '"_v + m_path + L"' - WriteFile() wrote "_v +
                 DecimalText(written) + L" bytes instead of "_v + DecimalText(count));
    }
    void Close()
    {
        if (IsOpen())
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    wstring_nc m_path;
};

// Turns decoded bytes into messages and the messages into files; messages may be split
// anywhere between output chunks.
class WriteFilesFromLzmaStream::Parser : public NoCopy {
public:
    Parser(const ExtractTargets& targets, std::uint32_t selection, ncvector<wstring_nc>& createdFiles)
        : m_targets(targets), m_selection(selection), m_createdFiles(createdFiles)
    {
    }

    bool Done() const { return m_done; }
    void Finish() { m_file.Close(); }

    void ProcessOutBytes(const unsigned char* bytes, size_t count)
    {
        while (count > 0) {
            size_t used = Step(bytes, count);
            bytes += used;
            count -= used;
        }
    }

private:
    enum class State { Type, Length, HeaderBody, FileData };
    enum class Section { Initial, Header, Data };

    size_t Step(const unsigned char* bytes, size_t count)
    {
        switch (m_state) {
        case State::Type:
            m_type = bytes[0];
            m_length = 0;
            m_remaining = 4;
            m_state = State::Length;
            return 1;
        case State::Length:
            m_length = m_length << 8 | bytes[0];
            if (--m_remaining == 0)
                BeginBody();
            return 1;
        case State::HeaderBody:
            return ReadHeaderBody(bytes, count);
        case State::FileData:
            return ReadFileData(bytes, count);
        }
        return count;
    }

    // Bodies of length 0 are complete at once, so that an empty last message is not lost.
    void BeginBody()
    {
        m_remaining = m_length;
        if (m_type == FileDataMessage) {
            m_state = State::FileData;
            if (m_remaining == 0)
                FileDataComplete(nullptr);
            return;
        }
        if (m_length > HeaderCapacity)
            Fail(L"WriteFilesFromLzmaStream::ProcessOutBytes(): unsupported header message size "_v +
                 DecimalText(m_length) + L", maximum: "_v + DecimalText(HeaderCapacity));
        m_headerFill = 0;
        m_state = State::HeaderBody;
        if (m_remaining == 0)
            HeaderComplete();
    }

    size_t ReadHeaderBody(const unsigned char* bytes, size_t count)
    {
        size_t taken = count < m_remaining ? count : m_remaining;
        for (size_t i = 0; i < taken; ++i)
            m_header[m_headerFill++] = bytes[i];
        m_remaining -= std::uint32_t(taken);
        if (m_remaining == 0)
            HeaderComplete();
        return taken;
    }

    void HeaderComplete()
    {
        ProcessHeader();
        m_state = State::Type;
    }

    size_t ReadFileData(const unsigned char* bytes, size_t count)
    {
        size_t taken = count < m_remaining ? count : m_remaining;
        ProcessData(bytes, DWORD(taken));
        m_remaining -= std::uint32_t(taken);
        if (m_remaining == 0)
            FileDataComplete(bytes);
        return taken;
    }

    void FileDataComplete(const unsigned char* bytes)
    {
        if (m_section != Section::Data)
            ProcessData(bytes, 0);
        m_state = State::Type;
        if (m_file.IsOpen())
            m_written |= m_category;
        if (!(m_selection & CategoryRegular) && m_written == m_selection)
            m_done = true;
    }

    void ProcessHeader()
    {
        if (m_section != Section::Header) {
            m_file.Close();
            m_section = Section::Header;
            m_category = CategoryRegular;
            m_platforms = AllPlatforms;
        }
        switch (m_type) {
        case FileNameMessage:
            m_fileName = NarrowToWide(astrview(reinterpret_cast<const char*>(m_header), m_headerFill, false), CP_UTF8);
            break;
        case UninstallerFileMessage:
            m_category = CategoryUninstaller;
            break;
        case CryptoModuleFileMessage:
            m_category = CategoryCryptoModule32;
            break;
        case CryptoProviderFileMessage:
            m_category = CategoryCryptoProvider32;
            break;
        case LsaPackageFileMessage:
            m_category = CategoryLsaPackage;
            break;
        case PlatformsMessage:
            if (m_headerFill > 0)
                m_platforms = m_header[0];
            break;
        default:
            Fail(L"WriteFilesFromLzmaStream::ProcessHeader() - unsupported header message type "_v +
                 DecimalText(m_type));
        }
    }

    void ProcessData(const unsigned char* bytes, DWORD count)
    {
        if (m_section != Section::Data) {
            m_section = Section::Data;
            if (AppliesToThisMachine() && (m_category & m_selection))
                OpenTarget();
        }
        if (m_file.IsOpen() && count > 0)
            m_file.Write(bytes, count);
    }

    bool AppliesToThisMachine() const
    {
        return (m_platforms & (IsSixtyFourBitWindows() ? Platform64 : Platform32)) != 0;
    }

    wstring_nc TargetPath() const
    {
        if (m_category == CategoryUninstaller && !m_targets.uninstallerTarget.empty())
            return m_targets.uninstallerTarget;
        if (m_category == CategoryCryptoModule32 && !m_targets.cryptoModuleTarget.empty())
            return m_targets.cryptoModuleTarget;
        if (m_category == CategoryCryptoProvider32 && !m_targets.cryptoProviderTarget.empty())
            return m_targets.cryptoProviderTarget;
        if (m_fileName.empty())
            Fail(L"WriteFilesFromLzmaStream::ProcessData() - file to write has no name"_v);
        return JoinPath(m_targets.directory.str(), m_fileName.str());
    }

    void OpenTarget()
    {
        wstring_nc targetPath = TargetPath();
        if (m_selection & CategoryRegular) {
            if (GetFileAttributesW(targetPath.c_str()) != INVALID_FILE_ATTRIBUTES)
                ConfirmOverwrite(targetPath.str());
            AppendQuotedUninstallParam(L"-delFile="_v, targetPath.str());
            PrintLine(L"Installing "_v + targetPath);
            CancelPendingDelete(targetPath.str());
        }
        m_file.Open(targetPath);
        m_createdFiles.push_back(targetPath);
    }

    const ExtractTargets& m_targets;
    std::uint32_t m_selection;
    ncvector<wstring_nc>& m_createdFiles;

    State m_state = State::Type;
    unsigned char m_type = 0;
    std::uint32_t m_length = 0;
    std::uint32_t m_remaining = 0;
    unsigned char m_header[HeaderCapacity];
    std::uint32_t m_headerFill = 0;
    Section m_section = Section::Initial;
    OpenFile m_file;
    wstring_nc m_fileName;
    bool m_done = false;
    unsigned char m_platforms = AllPlatforms;
    std::uint32_t m_written = 0;
    std::uint32_t m_category = CategoryRegular;
};

WriteFilesFromLzmaStream::WriteFilesFromLzmaStream(const ExtractTargets& targets, std::uint32_t selection)
{
    try {
        Extract(PayloadBytes(), targets, selection);
    } catch (const WException&) {
        RemoveCreatedFiles();
        throw;
    }
}

// Decodes one output chunk of at most 128 KiB at a time and parses it before the next; stops early once a partial
// extraction has written every category it asked for.
void WriteFilesFromLzmaStream::Extract(const ResourceBytes& payload, const ExtractTargets& targets,
                                       std::uint32_t selection)
{
    if (payload.size < HeaderSize)
        Fail(L"WriteFilesFromLzmaStream: insufficient stream length"_v);
    CheckStreamProperties(payload.data);
    std::uint64_t remaining = LittleEndian(payload.data + LZMA_PROPS_SIZE, 8);
    if (remaining == ~std::uint64_t(0))
        Fail(L"WriteFilesFromLzmaStream: end-of-stream marker not supported"_v);
    LzmaDecoder decoder(payload.data);
    Parser parser(targets, selection, m_createdFiles);
    const unsigned char* input = payload.data + HeaderSize;
    SizeT inputLeft = payload.size - HeaderSize;
    while (remaining > 0 && !parser.Done()) {
        SizeT wanted = remaining < OutputChunkSize ? SizeT(remaining) : OutputChunkSize;
        SizeT produced = 0;
        const unsigned char* chunk = decoder.DecodeChunk(wanted, input, inputLeft, produced);
        ++m_decodedChunks;
        parser.ProcessOutBytes(chunk, produced);
        remaining -= produced;
    }
    parser.Finish();
}

void WriteFilesFromLzmaStream::RemoveCreatedFiles()
{
    for (ncsize_t i = m_createdFiles.size(); i > 0; --i)
        RemoveCreatedFile(m_createdFiles[i - 1].str());
}

WriteFilesFromLzmaStream::~WriteFilesFromLzmaStream()
{
    if (MustRollBack(!m_createdFiles.empty()))
        RemoveCreatedFiles();
}

void RemoveCreatedFile(wstrview path)
{
    PrintLine(L"Rollback: removing previously created file '"_v + path + L"'"_v);
    TerminatedText file(path);
    if (KV_SYSCALL("DeleteFileW", FALSE, DeleteFileW(file)))
        return;
    SystemError error(L"DeleteFile()"_v, GetLastError());
    ReportRemovalFailure(L"Rollback: removing file failed"_v,
                         (L"Unable to remove previously created '"_v + path + L"'\n"_v + error.Description() +
                          L"\nThe file will be scheduled for deletion on reboot."_v)
                             .str(),
                         error.Description(), L"Rollback: scheduling file deletion on reboot"_v, path);
}
