// Operation contexts: a series of steps records what went wrong as context lines.
#pragma once

#include "Exceptions.h"
#include "NoCrtVector.h"

class OpCx : public NoCrtAllocFail {
public:
    void AddContext(wstrview line) { m_lines.push_back(wstring_nc(line)); }
    const ncvector<wstring_nc>& ContextLines() const { return m_lines; }
    // The lines, each introduced by "- ", joined with line feeds.
    wstring_nc ContextText() const;

private:
    ncvector<wstring_nc> m_lines;
};

class OpEx : public OpCx, public virtual WException {
public:
    OpEx(const OpCx& context, wstrview message) : OpCx(context), m_message(message) {}
    wstrview Description() const override;

private:
    wstring_nc m_message;
    mutable wstring_nc m_description;
};
