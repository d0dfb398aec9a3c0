// The command-line parser: tokens, quoting, positional tokens ("options") and named tokens
// ("parameters"), and the final check that every token was read.
#pragma once

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NoCrtVector.h"

#include <windows.h>

struct CmdLineEntry {
    bool used = false;
    wstring_nc name;  // without the prefix for a named token; the whole token for a positional one
    bool hasValue = false;
    wstring_nc value;
};

class CmdLine : public NoCopy {
public:
    enum Flags : DWORD {
        BackslashEscapesQuote = 1,
        DoubledQuoteInQuotes = 2,
        SlashIntroducesOption = 4,
        AllFlags = 7,
    };

    class Err : public WStrException {
    public:
        explicit Err(wstrview message) : WStrException(message) {}
    };

    explicit CmdLine(wstrview text, DWORD flags = AllFlags);

    bool IsFlag(wstrview name, bool markUsed);
    bool GetValue(wstrview name, wstring_nc& value);
    bool IsHelp();
    bool FirstOption(wstring_nc& name, bool& hasValue, wstring_nc& value);
    bool NextOption(wstring_nc& name, bool& hasValue, wstring_nc& value);
    // Raises Err naming every token except the program path that no lookup read.
    void CheckAllUsed() const;

    ncsize_t PositionalCount() const { return m_positionals.size(); }
    ncsize_t OptionCount() const { return m_options.size(); }
    const CmdLineEntry& Positional(ncsize_t index) const { return m_entries[m_positionals[index]]; }

private:
    void Split();
    void AddToken(wstrview rawToken);
    wstring_nc Unquote(wstrview rawToken) const;
    void AddNamed(wstrview body);
    // Position in the options map where `name` is or would be.
    ncsize_t FindOption(wstrview name, bool& found) const;
    CmdLineEntry* LookUp(wstrview name);
    bool OptionAtCursor(wstring_nc& name, bool& hasValue, wstring_nc& value);

    DWORD m_flags;
    wstring_nc m_text;
    datavect<ncsize_t> m_positionals;
    ncvector<CmdLineEntry> m_entries;
    datavect<ncsize_t> m_options;  // entry indices, ordered by name without regard to case
    ncsize_t m_cursor = 0;
};
