// Internal consistency checks. They are never compiled out.
#pragma once

// Throws StrAssertionFailed with the assertion report; never returns.
[[noreturn]] void AssertionFailure(const char* conditionText, const char* sourceFile, unsigned line);
// Reports to the debugger and the console and ends the process with 34821; for places that
// cannot throw.
[[noreturn]] void FatalAssertionReport(const char* conditionText, const char* sourceFile, unsigned line);

// Checks a condition; the report names the given text as the failed condition.
#define NC_CHECK_TEXT(condition, text) \
    ((condition) ? static_cast<void>(0) : AssertionFailure(text, __FILE__, __LINE__))
#define NC_CHECK(condition) NC_CHECK_TEXT(condition, #condition)
