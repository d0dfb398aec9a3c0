#include "OpCx.h"

wstring_nc OpCx::ContextText() const
{
    wstring_nc text;
    for (ncsize_t i = 0; i < m_lines.size(); ++i) {
        if (!text.empty())
            text.append(L'\n');
        text.append(L"- "_v);
        text.append(m_lines[i].str());
    }
    return text;
}

wstrview OpEx::Description() const
{
    if (m_description.empty()) {
        wstring_nc context = ContextText();
        m_description = m_message;
        if (!m_message.empty() && !ContextLines().empty())
            m_description.append(L'\n');
        m_description.append(context.str());
    }
    return m_description.str();
}
