#include "RunSequence.h"

int wmain() { return RunInstaller(); }
