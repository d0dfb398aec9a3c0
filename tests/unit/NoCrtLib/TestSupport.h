// Helpers shared by the library tests: readable copies of library texts and the check for
// internal consistency failures.
#pragma once

#include "NoCrtLib/Exceptions.h"
#include "NoCrtLib/NoCrtString.h"

#include <gtest/gtest.h>

#include <string>

// A standard copy of a library text, so that GoogleTest can compare and print it.
inline std::wstring W(wstrview text) { return std::wstring(text.ptr ? text.ptr : L"", text.len); }
inline std::string A(astrview text) { return std::string(text.ptr ? text.ptr : "", text.len); }

inline std::wstring WidenAscii(const char* text)
{
    std::wstring wide;
    for (; *text; ++text)
        wide += wchar_t(static_cast<unsigned char>(*text));
    return wide;
}

// Runs `action`, which must fail an internal check; the report must have the form of an
// assertion report and name `checkText` as the failed condition.
template <class Action>
::testing::AssertionResult FailsCheck(Action&& action, const char* checkText)
{
    static const std::wstring prefix = L"Assertion failed in module '";
    try {
        action();
    } catch (const StrAssertionFailed& failure) {
        std::wstring report = W(failure.Description());
        std::wstring suffix = L":\r\n" + WidenAscii(checkText);
        bool prefixOk = report.compare(0, prefix.size(), prefix) == 0;
        bool suffixOk = report.size() >= suffix.size() &&
                        report.compare(report.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (prefixOk && suffixOk)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "report \"" << ::testing::PrintToString(report)
                                             << "\" does not name the check \"" << checkText << "\"";
    } catch (const std::exception& other) {
        return ::testing::AssertionFailure() << "threw another exception: " << other.what();
    }
    return ::testing::AssertionFailure() << "no check failed (expected \"" << checkText << "\")";
}
