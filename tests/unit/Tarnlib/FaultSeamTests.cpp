#include "Tarnlib/FaultSeam.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

TEST(FaultSeam, FailsExactlyTheArmedCallWithItsError)
{
    Tarnlib::FaultSeam::Reset();
    Tarnlib::FaultSeam::Arm("GetTickCount", 2, ERROR_ACCESS_DENIED);
    std::vector<bool> failed;
    for (int i = 0; i < 3; ++i) {
        SetLastError(0);
        BOOL ok = KV_SYSCALL("GetTickCount", FALSE, TRUE);
        failed.push_back(!ok);
        if (!ok) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        }
    }
    EXPECT_EQ(failed, (std::vector<bool>{false, true, false}));
    Tarnlib::FaultSeam::Reset();
}

TEST(FaultSeam, ArmsFromTheEnvironmentAndInjectsStatusCodes)
{
    Tarnlib::FaultSeam::Reset();
    _putenv("KV_FAULTS=RegOpenKeyExW#1=2,CoCreateInstance#1=0x80004005");
    Tarnlib::FaultSeam::ArmFromEnvironment();
    EXPECT_EQ(KV_SYSCALL_STATUS("RegOpenKeyExW", ERROR_SUCCESS), 2);
    EXPECT_EQ(KV_SYSCALL_STATUS("RegOpenKeyExW", ERROR_SUCCESS), ERROR_SUCCESS);
    EXPECT_EQ(KV_SYSCALL_HRESULT("CoCreateInstance", S_OK), HRESULT(0x80004005));
    _putenv("KV_FAULTS=");
    Tarnlib::FaultSeam::Reset();
}
