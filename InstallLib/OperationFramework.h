// The framework every install operation follows: it makes its change when constructed and
// undoes it when destroyed unless committed; failures are reported and may end the run.
#pragma once

#include "NoCrtLib/NoCrtBase.h"
#include "NoCrtLib/NoCrtString.h"

#include <exception>

class OperationWithRollback : public NoCopy {
public:
    virtual void Commit() { m_committed = true; }

protected:
    OperationWithRollback() = default;
    ~OperationWithRollback() = default;
    // True when destruction must undo an applied change.
    bool MustRollBack(bool applied) const;

private:
    bool m_committed = false;
};

// Reports an operation's failure; returns when the run goes on (confirmed, or forced when
// unattended), otherwise prints "Aborting..." and ends the run with `exitCode`.
void AskContinueAfterFailure(wstrview caption, wstrview question, int exitCode, wstrview description);
// Returns when the run goes on: "Yes" to the question when interactive, `-force` when
// unattended; otherwise prints "Aborting..." and ends the run with `exitCode`.
void ContinueOrAbort(wstrview question, wstrview caption, int exitCode);
// Reports a failure that offers no choice and ends the run with `exitCode`.
[[noreturn]] void ReportFailureAndAbort(wstrview caption, wstrview boxText, int exitCode, wstrview description);
// Reports a failed undo; the destruction goes on.
void ReportRollbackFailure(wstrview caption, wstrview text, wstrview description);
// Reports an object of the file system that an undo could not remove, then prints
// `schedulingLine` and schedules the object's deletion at the next restart.
void ReportRemovalFailure(wstrview caption, wstrview text, wstrview description, wstrview schedulingLine,
                          wstrview path);
// The description of a caught exception: its wide text, or what() widened.
wstring_nc ExceptionDescription(const std::exception& error);
// The what() text of an exception, widened from the ANSI code page.
wstring_nc WidenedWhat(const std::exception& error);

// Appends an entry (beginning with a space) to the uninstaller parameters.
void AppendUninstallParam(wstrview entry);
// Appends " \"" + option + value + "\"".
void AppendQuotedUninstallParam(wstrview option, wstrview value);
