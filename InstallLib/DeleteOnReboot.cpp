#include "DeleteOnReboot.h"

#include "GuardedEditPolicy.h"

#include "Tarnlib/Files.h"
#include "Tarnlib/Handles.h"
#include "Tarnlib/Wow64.h"

#include <cwchar>
#include <optional>

using namespace Tarnlib;

namespace {

typedef GuardedEditPolicy<DeleteOnReboot::TransactionAborted, DeleteOnReboot::MutexAquireTimeout> Policy;

const wstrview SessionManagerKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"_v;
const wstrview PendingOperationsValue = L"PendingFileRenameOperations"_v;

// The Session Manager key, opened once for the unguarded looks at the list; null when it
// cannot be opened.
HKEY SessionManagerForLooking()
{
    static const CRegOpen<0, NoView> key(RegLocation::Path(SessionManagerKey), KEY_QUERY_VALUE);
    return key.Succeeded() ? key.Key() : nullptr;
}

// Reads the list without the guard; a missing value is an empty list. False when it cannot be read.
bool ReadPendingOperations(ncvector<wstring_nc>& list)
{
    list.clear();
    HKEY key = SessionManagerForLooking();
    if (!key)
        return false;
    TerminatedText valueName(PendingOperationsValue);
    LONG status = RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    CRegRead<0, NoView> read(RegLocation::Key(key), PendingOperationsValue, list);
    return read.Succeeded();
}

wstrview WithoutPrefix(wstrview path, wstrview prefix)
{
    return CompareText(path.substr(0, prefix.len), prefix) == 0 ? path.substr(prefix.len) : path;
}

// The long form of an existing path; false when Windows cannot give it.
bool LongPathOf(const wstring_nc& path, wstring_nc& longPath)
{
    DWORD capacity = 263;
    for (;;) {
        wstring_nc buffer;
        buffer.resize(capacity);
        DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), capacity);
        if (length == 0)
            return false;
        if (length < capacity) {
            buffer.resize(length);
            longPath = buffer;
            return true;
        }
        capacity = length + 1;
    }
}

// File-system redirection off for a WOW64 process while the object lives.
class RedirectionOff : public NoCopy {
public:
    RedirectionOff()
    {
        if (Wow64::IsCurrentProcessWow64())
            m_disabled = Wow64::Wow64DisableWow64FsRedirection(&m_oldValue) != FALSE;
    }
    ~RedirectionOff()
    {
        if (m_disabled)
            Wow64::Wow64RevertWow64FsRedirection(m_oldValue);
    }

private:
    void* m_oldValue = nullptr;
    bool m_disabled = false;
};

}  // namespace

DeleteOnReboot::DeleteOnReboot(wstrview path)
{
    wstring_nc absolute;
    CPathMakeAbs<0> makeAbsolute(path, absolute);
    if (makeAbsolute.Failed())
        absolute = path;
    if (!LongPathOf(absolute, m_path))
        m_path = absolute;
}

wstring_nc DeleteOnReboot::KeyPath() const { return wstring_nc(SessionManagerKey); }

wstring_nc DeleteOnReboot::ValueName() const { return wstring_nc(PendingOperationsValue); }

bool DeleteOnReboot::Modify(ncvector<wstring_nc>& content)
{
    wstring_nc target(WithoutPrefix(m_path.str(), L"\\\\?\\"_v));
    bool changed = false;
    ncsize_t i = 0;
    while (i + 1 < content.size()) {
        bool deletion = content[i + 1].empty();
        wstring_nc source(WithoutPrefix(content[i].str(), L"\\??\\"_v));
        if (deletion && _wcsicmp(source.c_str(), target.c_str()) == 0) {
            content.erase(i + 1);
            content.erase(i);
            changed = true;
        } else {
            i += 2;
        }
    }
    return changed;
}

// Almost every path has no pending deletion. A deletion that another program adds after this
// unguarded look could as well have been added right after a guarded edit, so the look changes
// nothing but the cost of the common case.
bool DeleteOnReboot::Cancel()
{
    if (!MayHavePendingDeletion())
        return false;
    return Run();
}

// False only when the list was read and holds no deletion of the path; an unreadable list is
// left to the guarded edit to report.
bool DeleteOnReboot::MayHavePendingDeletion()
{
    ncvector<wstring_nc> list;
    if (!ReadPendingOperations(list))
        return true;
    return Modify(list);
}

void DeleteOnReboot::CheckRetry(unsigned attempts, DWORD elapsed) { Policy::CheckRetry(attempts, elapsed); }

DWORD DeleteOnReboot::MutexWaitTime(DWORD elapsed) { return Policy::MutexWaitTime(elapsed); }

void DeleteOnReboot::ReadValue(HKEY key, wstrview valueName, ncvector<wstring_nc>& content, DWORD& type)
{
    CRegRead<0, NoView> read(RegLocation::Key(key), valueName, content);
    if (read.Failed()) {
        if (read.Error() != ERROR_FILE_NOT_FOUND)
            throw RegException(read);
        content.clear();
        type = REG_MULTI_SZ;
        return;
    }
    type = read.Result();
}

void DeleteOnReboot::WriteValue(HKEY key, wstrview valueName, const ncvector<wstring_nc>& content, DWORD)
{
    if (content.empty())
        CRegDeleteValue<1, NoView>(RegLocation::Key(key), valueName);
    else
        CRegWrite<1, NoView>(RegLocation::Key(key), valueName, content);
}

// Where guarded edits of the list run under the guard mutex (no kernel transactions), a
// scheduled deletion takes the same mutex, so that it never lands between another editor's
// read and write.
void DeleteOnReboot::Schedule()
{
    DWORD start = GetTickCount();
    std::optional<GuardMutexLock> guard;
    if (!AvailableTransactionFunctions())
        guard.emplace(GuardName(), start, [this](DWORD elapsed) { return MutexWaitTime(elapsed); });
    RedirectionOff redirection;
    CFileRemove<1> scheduleRemoval(m_path.str(), true);
}

bool ScheduleDeleteOnReboot(wstrview path)
{
    try {
        DeleteOnReboot(path).Schedule();
        return true;
    } catch (...) {
        return false;
    }
}

bool CancelPendingDelete(wstrview path)
{
    try {
        // Mostly nothing is pending at all; then the path need not even be normalised.
        ncvector<wstring_nc> list;
        if (ReadPendingOperations(list) && list.empty())
            return false;
        return DeleteOnReboot(path).Cancel();
    } catch (...) {
        return false;
    }
}
