// The exception hierarchy of the program. Every text is wide; what() gives it in the ANSI code page.
#pragma once

#include "NoCrtString.h"

#include <windows.h>

#include <exception>

class WException : public virtual std::exception {
public:
    virtual wstrview Description() const = 0;
    const char* what() const noexcept override;

private:
    mutable astring_nc m_narrow;
};

// Keeps a view of a static literal without copying it.
class WLitException : public WException {
public:
    explicit WLitException(wstrview literal) : m_literal(literal) {}
    wstrview Description() const override { return m_literal; }

private:
    wstrview m_literal;
};

class WStrException : public virtual WException {
public:
    explicit WStrException(wstrview text) : m_text(text) {}
    wstrview Description() const override { return m_text.str(); }

private:
    wstring_nc m_text;
};

class N2WException : public WException {
public:
    wstrview Description() const override { return L"Narrow-to-wide conversion failed"_v; }
};

class W2NException : public WException {
public:
    wstrview Description() const override { return L"Wide-to-narrow conversion failed"_v; }
};

// A failed Windows call: "<context> failed: Windows error <n>: <text>".
class SystemError : public WException {
public:
    SystemError(wstrview context, DWORD code) : m_context(context), m_code(code) {}
    wstrview Description() const override;
    wstrview Context() const { return m_context.str(); }
    DWORD Code() const { return m_code; }

private:
    wstring_nc m_context;
    DWORD m_code;
    mutable wstring_nc m_description;
};

class InvalidInput : public virtual WException {};
class InvalidArgument : public InvalidInput {};
class InvalidDataFormat : public InvalidInput {};
class BufferTooSmall : public virtual WException {};
class AssertionFailed : public virtual WException {};

class StrInvalidArgument : public InvalidArgument, public WStrException {
public:
    explicit StrInvalidArgument(wstrview text) : WStrException(text) {}
};

class StrAssertionFailed : public AssertionFailed, public WStrException {
public:
    explicit StrAssertionFailed(wstrview text) : WStrException(text) {}
};
