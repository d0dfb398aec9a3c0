#include "ErrorText.h"

#include "NumCvt.h"

#include <ntsecapi.h>

namespace {

struct CodeText {
    DWORD code;
    const wchar_t* text;
};

const CodeText BuiltinErrorTable[] = {
    {1, L"Incorrect function."},
    {2, L"The system cannot find the file specified."},
    {3, L"The system cannot find the path specified."},
    {4, L"The system cannot open the file."},
    {5, L"Access is denied."},
    {6, L"The handle is invalid."},
    {8, L"Not enough storage is available to process this command."},
    {14, L"Not enough storage is available to complete this operation."},
    {86, L"The specified network password is not correct."},
    {2221, L"The user name could not be found."},
    {2226, L"This operation is only allowed on the primary domain controller of the domain."},
    {2245, L"The password does not meet the password policy requirements. Check the minimum password length, "
           L"password complexity and password history requirements."},
    {2351, L"This computer name is invalid."},
    {10004, L"A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, L"The file handle supplied is not valid."},
    {10013, L"An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014, L"The system detected an invalid pointer address in attempting to use a pointer argument in a call."},
    {10022, L"An invalid argument was supplied."},
    {10024, L"A non-blocking socket operation could not be completed immediately."},
    {10035, L"A non-blocking socket operation could not be completed immediately."},
    {10036, L"A blocking operation is currently executing."},
    {10037, L"An operation was attempted on a non-blocking socket that already had an operation in progress."},
    {10048, L"Only one usage of each socket address (protocol/network address/port is normally permitted."},
    {10049, L"The requested address is not valid in its context."},
    {10050, L"A socket operation encountered a dead network."},
    {10052, L"The connection has been broken due to keep-alive activity detecting a failure while the operation "
            L"was in progress."},
    {10053, L"An established connection was aborted by the software in your host machine."},
    {10054, L"An existing connection was forcibly closed by the remote host."},
    {10057, L"A request to send or receive data was disallowed because the socket is not connected and (when "
            L"sending on a datagram socket using a sendto call no address was supplied."},
    {10058, L"A request to send or receive data was disallowed because the socket had already been shut down in "
            L"that direction with a previous shutdown call."},
    {10060, L"A connection attempt failed because the connected party did not properly respond after a period of "
            L"time, or established connection failed because connected host has failed to respond."},
    {10061, L"No connection could be made because the target machine actively refused it."},
    {11001, L"No such host is known."},
};

const CodeText ComErrorTable[] = {
    {0x00000000, L"Success."},
    {0x00000001, L"Partial success."},
    {0x80004001, L"Not implemented."},
    {0x80004002, L"No such interface supported."},
    {0x80004003, L"Pointer that is not valid."},
    {0x80004004, L"Operation aborted."},
    {0x80004005, L"Unspecified failure."},
    {0x8000FFFF, L"Unexpected error."},
    {0x800401E5, L"The object identified by this moniker could not be found."},
    {0x80070005, L"General access denied error."},
    {0x80070006, L"Handle that is not valid."},
    {0x8007000E, L"Failed to allocate necessary memory."},
    {0x80070057, L"One or more arguments are not valid."},
};

template <size_t N>
const wchar_t* FindText(const CodeText (&table)[N], DWORD code)
{
    for (const CodeText& entry : table)
        if (entry.code == code)
            return entry.text;
    return nullptr;
}

// The thread's last-error value is restored on every exit.
class LastErrorKeeper {
public:
    LastErrorKeeper() : m_saved(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(m_saved); }

private:
    DWORD m_saved;
};

// Releases a buffer that FormatMessageW allocated.
class LocalBuffer {
public:
    ~LocalBuffer()
    {
        if (m_text)
            LocalFree(m_text);
    }
    wchar_t** Address() { return &m_text; }
    const wchar_t* Text() const { return m_text; }

private:
    wchar_t* m_text = nullptr;
};

bool SystemMessage(DWORD code, wstring_nc& text)
{
    LocalBuffer buffer;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
        0x0800, reinterpret_cast<wchar_t*>(buffer.Address()), 0, nullptr);
    if (length == 0 || !buffer.Text())
        return false;
    while (length > 0 && (buffer.Text()[length - 1] == L'\r' || buffer.Text()[length - 1] == L'\n'))
        --length;
    text.assign(wstrview(buffer.Text(), length, false));
    return true;
}

// System message table, also for a code that is an NTSTATUS, then the built-in table.
bool LookUpErrorText(DWORD code, wstring_nc& text)
{
    LastErrorKeeper keeper;
    if (SystemMessage(code, text))
        return true;
    ULONG converted = LsaNtStatusToWinError(NTSTATUS(code));
    if (converted != ERROR_MR_MID_NOT_FOUND && SystemMessage(converted, text))
        return true;
    if (const wchar_t* builtin = BuiltinErrorText(code)) {
        text.assign(wstrview(builtin));
        return true;
    }
    return false;
}

}  // namespace

const wchar_t* BuiltinErrorText(DWORD code) { return FindText(BuiltinErrorTable, code); }

wstring_nc ErrorNumberText(DWORD code)
{
    if (code <= 99999)
        return FormatNumber(code, 10, 0);
    return L"0x"_v + FormatNumber(code, 16, 8).str();
}

wstring_nc WinErrorNumberText(DWORD code, bool withPeriod)
{
    wstring_nc text = L"Windows error "_v + ErrorNumberText(code).str();
    if (withPeriod)
        text.append(L'.');
    return text;
}

wstring_nc WinErrorText(DWORD code)
{
    wstring_nc text;
    if (LookUpErrorText(code, text))
        return text;
    return WinErrorNumberText(code, true);
}

wstring_nc WinErrorDescription(DWORD code)
{
    wstring_nc text;
    if (!LookUpErrorText(code, text) || text.empty())
        return WinErrorNumberText(code, true);
    wstring_nc description = WinErrorNumberText(code, false);
    description.reserve(description.length() + 2 + text.length() + 1);
    description.append(L": "_v);
    description.append(text.str());
    return description;
}

wstring_nc ComErrorText(HRESULT hr)
{
    DWORD code = DWORD(hr);
    if (const wchar_t* text = FindText(ComErrorTable, code))
        return wstring_nc(text);
    if ((code >> 16) == 0x8007)
        return WinErrorText(code & 0xFFFF);
    return wstring_nc();
}
