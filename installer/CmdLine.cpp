#include "CmdLine.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\t' || c == L' '; }

}  // namespace

CmdLine::CmdLine(wstrview text, DWORD flags) : m_flags(flags), m_text(text) { Split(); }

// Tokens end at white space outside quotes; quotes toggle quoting but do not end tokens, and a
// quote after an odd run of backslashes is escaped.
void CmdLine::Split()
{
    const wchar_t* text = m_text.c_str();
    ncsize_t length = m_text.length();
    ncsize_t position = 0;
    ncsize_t tokenStart = 0;
    bool inQuotes = false;
    for (;;) {
        ncsize_t found = position;
        while (found < length && !(text[found] == L'"' || (!inQuotes && IsSeparator(text[found]))))
            ++found;
        if (found == length)
            break;
        if (text[found] != L'"') {
            if (found > tokenStart)
                AddToken(wstrview(text + tokenStart, found - tokenStart, false));
            position = tokenStart = found + 1;
            continue;
        }
        bool escaped = false;
        if ((m_flags & BackslashEscapesQuote) && found != tokenStart) {
            ncsize_t backslashes = 0;
            while (found - backslashes > tokenStart && text[found - backslashes - 1] == L'\\')
                ++backslashes;
            escaped = backslashes % 2 == 1;
        }
        if (!escaped)
            inQuotes = !inQuotes;
        position = found + 1;
    }
    if (tokenStart < length)
        AddToken(wstrview(text + tokenStart, length - tokenStart, false));
}

wstring_nc CmdLine::Unquote(wstrview rawToken) const
{
    wstring_nc result;
    result.reserve(rawToken.len + 1);
    bool backslashMark = false;
    bool quoteMark = false;
    for (ncsize_t i = 0; i < rawToken.len; ++i) {
        wchar_t c = rawToken.ptr[i];
        if (c == L'\\') {
            if (backslashMark) {
                backslashMark = false;
            } else {
                result.append(c);
                backslashMark = (m_flags & BackslashEscapesQuote) != 0;
            }
            quoteMark = false;
        } else if (c == L'"') {
            if (quoteMark) {
                quoteMark = false;
                result.append(c);
            } else if (backslashMark) {
                backslashMark = false;
                result[result.length() - 1] = L'"';
            } else {
                quoteMark = (m_flags & DoubledQuoteInQuotes) != 0;
            }
        } else {
            backslashMark = quoteMark = false;
            result.append(c);
        }
    }
    return result;
}

void CmdLine::AddToken(wstrview rawToken)
{
    wstring_nc token = Unquote(rawToken);
    if (token.empty())
        return;
    bool named = token.length() > 1 &&
                 (token[0] == L'-' || (token[0] == L'/' && (m_flags & SlashIntroducesOption)));
    if (named) {
        AddNamed(token.str().substr(1));
        return;
    }
    CmdLineEntry entry;
    entry.name = token;
    m_positionals.push_back(m_entries.size());
    m_entries.push_back(entry);
}

void CmdLine::AddNamed(wstrview body)
{
    wstrview name = body;
    wstrview value;
    bool hasValue = false;
    for (ncsize_t i = 0; i < body.len; ++i) {
        if (body.ptr[i] == L'=') {
            name = body.substr(0, i);
            value = body.substr(i + 1);
            hasValue = true;
            break;
        }
    }
    bool found = false;
    ncsize_t slot = FindOption(name, found);
    if (!found) {
        CmdLineEntry entry;
        entry.name = name;
        ncsize_t index = m_entries.size();
        m_entries.push_back(entry);
        m_options.insert(m_options.begin() + slot, &index, &index + 1);
    }
    CmdLineEntry& entry = m_entries[m_options[slot]];
    entry.hasValue = hasValue;
    if (hasValue)
        entry.value = value;
}

ncsize_t CmdLine::FindOption(wstrview name, bool& found) const
{
    ncsize_t low = 0;
    ncsize_t high = m_options.size();
    while (low < high) {
        ncsize_t middle = low + (high - low) / 2;
        int order = CompareTextNoCase(m_entries[m_options[middle]].name.str(), name);
        if (order == 0) {
            found = true;
            return middle;
        }
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    found = false;
    return low;
}

CmdLineEntry* CmdLine::LookUp(wstrview name)
{
    bool found = false;
    ncsize_t slot = FindOption(name, found);
    return found ? &m_entries[m_options[slot]] : nullptr;
}

bool CmdLine::IsFlag(wstrview name, bool markUsed)
{
    CmdLineEntry* entry = LookUp(name);
    if (!entry || entry->hasValue)
        return false;
    if (markUsed)
        entry->used = true;
    return true;
}

bool CmdLine::GetValue(wstrview name, wstring_nc& value)
{
    CmdLineEntry* entry = LookUp(name);
    if (!entry || !entry->hasValue)
        return false;
    entry->used = true;
    value = entry->value;
    return true;
}

bool CmdLine::IsHelp()
{
    return IsFlag(L"?"_v, false) || IsFlag(L"h"_v, false) || IsFlag(L"help"_v, false);
}

bool CmdLine::FirstOption(wstring_nc& name, bool& hasValue, wstring_nc& value)
{
    m_cursor = 0;
    return OptionAtCursor(name, hasValue, value);
}

bool CmdLine::NextOption(wstring_nc& name, bool& hasValue, wstring_nc& value)
{
    return OptionAtCursor(name, hasValue, value);
}

bool CmdLine::OptionAtCursor(wstring_nc& name, bool& hasValue, wstring_nc& value)
{
    if (m_cursor >= m_options.size())
        return false;
    const CmdLineEntry& entry = m_entries[m_options[m_cursor++]];
    name = entry.name;
    hasValue = entry.hasValue;
    value = entry.value;
    return true;
}

void CmdLine::CheckAllUsed() const
{
    wstring_nc message;
    auto addLine = [&message](wstrview line) {
        if (!message.empty())
            message += L'\n';
        message += line;
    };
    for (ncsize_t i = 0; i < m_positionals.size(); ++i) {
        const CmdLineEntry& entry = m_entries[m_positionals[i]];
        if (m_positionals[i] != 0 && !entry.used)
            addLine(L"Unexpected command option: "_v + entry.name + L"."_v);
    }
    for (ncsize_t i = 0; i < m_options.size(); ++i) {
        const CmdLineEntry& entry = m_entries[m_options[i]];
        if (entry.used)
            continue;
        wstring_nc line = L"Unexpected command parameter: -"_v + entry.name;
        if (entry.hasValue)
            line += L"="_v + entry.value;
        line += L'.';
        addLine(line);
    }
    if (!message.empty())
        throw Err(message);
}
