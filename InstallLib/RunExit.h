// The two exceptions with which a step or an operation ends the run.
#pragma once

#include "NoCrtLib/Exceptions.h"

// A failure of an operation or of one of the installer's own checks, with its message.
class InstallError : public WStrException {
public:
    explicit InstallError(wstrview message) : WStrException(message) {}
};

// Ends the run with an exit code after the step has printed its own lines. It derives from no
// exception class, so only the run's top-level handler catches it.
class SilentExit {
public:
    explicit SilentExit(int exitCode) : m_exitCode(exitCode) {}
    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode;
};
