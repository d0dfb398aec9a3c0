#include "Reporting.h"

#include "RunExit.h"

#include "NoCrtLib/ConsoleOutput.h"

void Abort(int exitCode)
{
    PrintLine(L"Aborting..."_v);
    PrintLine(L""_v);
    throw SilentExit(exitCode);
}
