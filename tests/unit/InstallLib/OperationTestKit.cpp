#include "OperationTestKit.h"

#include "NoCrtLib/TextConvert.h"

#include <cstdio>
#include <cstdlib>

namespace OperationTestKit {

namespace {

const wchar_t SessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t PendingValueName[] = L"PendingFileRenameOperations";

std::string Narrow(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

void SetEnvironment(const char* name, const std::string& value)
{
    _putenv_s(name, value.c_str());
}

}  // namespace

std::string Utf8(const std::wstring& text)
{
    return Utf8(wstrview(text.c_str(), text.size(), true));
}

std::string Utf8(wstrview text)
{
    astring_nc narrow = WideToNarrow(text, CP_UTF8);
    return std::string(narrow.c_str(), narrow.length());
}

std::wstring Wide(wstrview text) { return std::wstring(text.ptr ? text.ptr : L"", text.len); }

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteTextFile(const std::wstring& path, const std::string& content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << Narrow(path);
    DWORD written = 0;
    WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
}

RawPendingValue ReadPendingRaw()
{
    RawPendingValue value;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the Session Manager key";
        return value;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, PendingValueName, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        if (RegQueryValueExW(key, PendingValueName, nullptr, &value.type, value.bytes.data(), &size) == ERROR_SUCCESS) {
            value.bytes.resize(size);
            value.present = true;
        }
    }
    RegCloseKey(key);
    return value;
}

void WritePendingRaw(const RawPendingValue& value)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the Session Manager key for writing";
        return;
    }
    LONG status;
    if (value.present)
        status = RegSetValueExW(key, PendingValueName, 0, value.type, value.bytes.data(), DWORD(value.bytes.size()));
    else {
        status = RegDeleteValueW(key, PendingValueName);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    EXPECT_EQ(status, ERROR_SUCCESS) << "cannot put the pending list back";
}

std::optional<std::vector<std::wstring>> ReadPendingList()
{
    RawPendingValue value = ReadPendingRaw();
    if (!value.present)
        return std::nullopt;
    EXPECT_EQ(value.type, DWORD(REG_MULTI_SZ));
    std::wstring characters(reinterpret_cast<const wchar_t*>(value.bytes.data()), value.bytes.size() / sizeof(wchar_t));
    // The list ends with one more 0 after the last string's own.
    if (characters.size() >= 2 && characters[characters.size() - 1] == 0 && characters[characters.size() - 2] == 0)
        characters.pop_back();
    std::vector<std::wstring> strings;
    size_t start = 0;
    while (start < characters.size()) {
        size_t end = characters.find(L'\0', start);
        if (end == std::wstring::npos)
            end = characters.size();
        strings.push_back(characters.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

void WritePendingList(const std::vector<std::wstring>& strings)
{
    std::wstring characters;
    for (const std::wstring& text : strings) {
        characters += text;
        characters += L'\0';
    }
    characters += L'\0';
    RawPendingValue value;
    value.present = true;
    value.type = REG_MULTI_SZ;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(characters.data());
    value.bytes.assign(bytes, bytes + characters.size() * sizeof(wchar_t));
    WritePendingRaw(value);
}

AnsweredMessageBoxes::AnsweredMessageBoxes()
{
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH + 1, temp);
    m_logPath = std::string(temp) + "KvInstallLibTests-boxes-" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(m_logPath.c_str());
    SetEnvironment("KV_MESSAGEBOX_LOG", m_logPath);
    Answer({});
}

AnsweredMessageBoxes::~AnsweredMessageBoxes()
{
    s_boxesBefore += Records().size();
    SetEnvironment("KV_MESSAGEBOX_ANSWERS", "");
    SetEnvironment("KV_MESSAGEBOX_LOG", "");
    DeleteFileA(m_logPath.c_str());
}

void AnsweredMessageBoxes::Restart()
{
    s_boxesBefore += Records().size();
    DeleteFileA(m_logPath.c_str());
    Answer({});
}

void AnsweredMessageBoxes::Answer(const std::vector<int>& answers)
{
    std::string list;
    for (size_t i = 0; i < s_boxesBefore; ++i)
        list += "1,";
    for (int answer : answers)
        list += std::to_string(answer) + ",";
    if (!list.empty())
        list.pop_back();
    SetEnvironment("KV_MESSAGEBOX_ANSWERS", list);
}

std::vector<BoxRecord> AnsweredMessageBoxes::Records() const
{
    std::vector<BoxRecord> records;
    FILE* log = std::fopen(m_logPath.c_str(), "rb");
    if (!log)
        return records;
    std::string content;
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), log)) > 0)
        content.append(buffer, read);
    std::fclose(log);
    const std::string end = "\n--\n";
    size_t start = 0;
    while (start < content.size()) {
        size_t stop = content.find(end, start);
        if (stop == std::string::npos)
            stop = content.size();
        std::string record = content.substr(start, stop - start);
        size_t first = record.find('\n');
        size_t second = first == std::string::npos ? std::string::npos : record.find('\n', first + 1);
        BoxRecord box;
        if (second != std::string::npos && record.compare(0, 5, "type=") == 0 &&
            record.compare(first + 1, 8, "caption=") == 0 && record.compare(second + 1, 5, "text=") == 0) {
            box.type = record.substr(5, first - 5);
            box.caption = record.substr(first + 9, second - first - 9);
            box.text = record.substr(second + 6);
        } else {
            ADD_FAILURE() << "unreadable message box record: " << record;
        }
        records.push_back(box);
        start = stop + end.size();
    }
    return records;
}

void OperationTest::ResetState()
{
    InstallerState& state = State();
    state.interactive = false;
    state.force = false;
    state.noRollback = false;
    state.installDir.clear();
    state.uninstallParams.clear();
    Tarnlib::FaultSeam::Reset();
}

void OperationTest::SetUp() { ResetState(); }

void OperationTest::TearDown()
{
    if (!m_wentInteractive) {
        EXPECT_TRUE(m_boxes.Records().empty()) << "an unattended run showed a message box";
    }
    ResetState();
}

void OperationTest::GoInteractive(const std::vector<int>& answers)
{
    m_wentInteractive = true;
    State().interactive = true;
    m_boxes.Restart();
    m_boxes.Answer(answers);
}

}  // namespace OperationTestKit
