// The pieces every install operation shares.
#include "OperationTestKit.h"

#include "InstallLib/OperationFramework.h"
#include "InstallLib/RunExit.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace OperationTestKit;

namespace {

TEST(ExceptionDescription, KeepsWideTextAndWidensTheRest)
{
    // Characters no ANSI code page holds together survive only if the wide text is used as it is.
    const std::wstring wide = L"Zugriff verweigert: \u00e9\u4e2d\u0416";
    EXPECT_EQ(Utf8(ExceptionDescription(InstallError(wide.c_str())).str()), Utf8(wide));
    EXPECT_EQ(Utf8(ExceptionDescription(std::runtime_error("disk full")).str()), "disk full");
}

class UninstallParamList : public OperationTest {};

TEST_F(UninstallParamList, EntriesAreAppendedInOrder)
{
    AppendUninstallParam(L" -feedback=1");
    AppendQuotedUninstallParam(L"-workDir=", L"C:\\Program Files\\Srv");
    AppendUninstallParam(L" -rmKvLsa=yes");
    EXPECT_EQ(Utf8(UninstallParams()), " -feedback=1 \"-workDir=C:\\Program Files\\Srv\" -rmKvLsa=yes");
}

}  // namespace
