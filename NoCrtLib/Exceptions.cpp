#include "Exceptions.h"

#include "ErrorText.h"
#include "TextConvert.h"

const char* WException::what() const noexcept
{
    static const char conversionFailed[] =
        "[WException: conversion of exception description to ANSI code page failed]";
    if (m_narrow.empty()) {
        wstrview description = Description();
        if (!WideToNarrow(description.ptr, int(description.len), CP_ACP, m_narrow))
            m_narrow.assign(astrview(conversionFailed));
    }
    return m_narrow.c_str();
}

wstrview SystemError::Description() const
{
    if (m_description.empty()) {
        wstring_nc errorText = WinErrorDescription(m_code);
        if (m_context.empty()) {
            m_description = errorText;
        } else {
            m_description.reserve(m_context.length() + 9 + errorText.length() + 1);
            m_description.append(m_context.str());
            m_description.append(L" failed: "_v);
            m_description.append(errorText.str());
        }
    }
    return m_description.str();
}
