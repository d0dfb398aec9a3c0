// Splitting and joining Windows paths.
#pragma once

#include "NoCrtString.h"

struct SplitPathResult {
    wstring_nc directory;
    wstring_nc lastComponent;
};

// Splits at the last backslash; a final backslash of a longer path is cut off first.
SplitPathResult SplitPath(wstrview path);
// Joins with exactly one backslash between two non-empty parts.
wstring_nc JoinPath(wstrview directory, wstrview name);
