// The error model shared by every wrapper: one Windows call per object, whose outcome either
// throws at once (Throw = 1) or is recorded for the caller to ask (Throw = 0).
#pragma once

#include "NoCrtLib/ErrorText.h"
#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NumCvt.h"

namespace Tarnlib {

class BaseException : public WStrException {
public:
    explicit BaseException(wstrview text) : WStrException(text) {}
};

template <class E, int Throw>
class CBase {
public:
    virtual ~CBase() = default;
    virtual bool Succeeded() const = 0;
    bool Failed() const { return !Succeeded(); }
    wstrview Function() const { return m_function.str(); }
    E Error() const { return m_error; }
    virtual wstrview ErrorText() const = 0;
    template <class Other>
    void CopyResult(const Other& other)
    {
        SetFailure(other.Function(), other.Error());
    }
    virtual wstrview ErrorKind() const = 0;
    virtual wstring_nc ErrorCodeText() const = 0;

    wstrview SuccessMessage() const
    {
        if (m_successMessage.empty())
            m_successMessage = m_function + L" succeeded."_v;
        return m_successMessage.str();
    }

    wstrview FailureMessage() const
    {
        if (m_failureMessage.empty()) {
            wstring_nc message = m_function + L" failed: "_v;
            wstrview kind = ErrorKind();
            if (kind.empty()) {
                message += L"error code "_v;
            } else {
                message += kind;
                message += L" error "_v;
            }
            message += ErrorCodeText();
            wstrview text = ErrorText();
            if (text.empty()) {
                message += L'.';
            } else {
                message += L": "_v;
                message += text;
            }
            m_failureMessage = message;
        }
        return m_failureMessage.str();
    }

protected:
    // Records a failure of `function` (a call's name with "()").
    // Records the result of a call; the texts made of the previous one are dropped.
    void SetFailure(wstrview function, E error)
    {
        m_function = function;
        m_error = error;
        m_successMessage.clear();
        m_failureMessage.clear();
        ResetErrorText();
    }
    virtual void ResetErrorText() = 0;

private:
    E m_error = 0;
    wstring_nc m_function;
    mutable wstring_nc m_successMessage;
    mutable wstring_nc m_failureMessage;
};

// The exception of a wrapper family, built from the wrapper that recorded the outcome.
template <class E>
class BaseExceptionEx : public BaseException {
public:
    template <int Throw>
    explicit BaseExceptionEx(const CBase<E, Throw>& wrapper)
        : BaseException(wrapper.Succeeded() ? wrapper.SuccessMessage() : wrapper.FailureMessage()),
          m_function(wrapper.Function()), m_error(wrapper.Error()), m_errorText(wrapper.ErrorText())
    {
    }
    wstrview Function() const { return m_function.str(); }
    E Error() const { return m_error; }
    wstrview ErrorText() const { return m_errorText.str(); }

private:
    wstring_nc m_function;
    E m_error;
    wstring_nc m_errorText;
};

#define KV_WRAPPER_EXCEPTION(name)                                                              \
    class name : public BaseExceptionEx<unsigned long> {                                        \
    public:                                                                                     \
        template <int Throw>                                                                    \
        explicit name(const CBase<unsigned long, Throw>& wrapper) : BaseExceptionEx(wrapper) {} \
    };
KV_WRAPPER_EXCEPTION(RegException)
KV_WRAPPER_EXCEPTION(FileException)
KV_WRAPPER_EXCEPTION(PathException)
KV_WRAPPER_EXCEPTION(MutexException)
KV_WRAPPER_EXCEPTION(WaitException)
KV_WRAPPER_EXCEPTION(TransactionException)
#undef KV_WRAPPER_EXCEPTION

template <int Throw>
class CWinApiBase : public CBase<unsigned long, Throw> {
public:
    bool Succeeded() const override { return this->Error() == 0; }
    wstrview ErrorText() const override
    {
        if (m_errorText.empty())
            m_errorText = WinErrorText(this->Error());
        return m_errorText.str();
    }
    wstrview ErrorKind() const override { return L"Windows"_v; }
    wstring_nc ErrorCodeText() const override { return ErrorNumberText(this->Error()); }

protected:
    void ResetErrorText() override { m_errorText.clear(); }

    // Records the failure; the throwing flavour then throws the family's exception.
    template <class Exception>
    void Fail(wstrview function, unsigned long error)
    {
        this->SetFailure(function, error);
        if constexpr (Throw == 1)
            throw Exception(*this);
    }

private:
    mutable wstring_nc m_errorText;
};

template <int Throw>
class CComBase : public CBase<long, Throw> {
public:
    bool Succeeded() const override { return this->Error() >= 0; }
    wstrview ErrorText() const override
    {
        if (!m_errorTextKnown) {
            m_errorText = ComErrorText(this->Error());
            m_errorTextKnown = true;
        }
        return m_errorText.str();
    }
    wstrview ErrorKind() const override { return L"COM"_v; }
    wstring_nc ErrorCodeText() const override { return L"0x"_v + FormatNumber(static_cast<unsigned long>(this->Error()), 16, 8); }

protected:
    void ResetErrorText() override { m_errorTextKnown = false; }

    void Fail(wstrview function, HRESULT hr)
    {
        this->SetFailure(function, hr);
        if constexpr (Throw == 1)
            throw BaseExceptionEx<long>(*this);
    }

private:
    mutable wstring_nc m_errorText;
    mutable bool m_errorTextKnown = false;
};

}  // namespace Tarnlib
