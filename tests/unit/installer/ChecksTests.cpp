#include "installer/Checks.h"

#include "NoCrtLib/Exceptions.h"
#include "Tarnlib/FaultSeam.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

TEST(Checks, ServiceStateQueryAnswersOrNamesTheFailingCall)
{
    struct Case {
        const char* name;
        const wchar_t* service;
        const char* failingFunction;  // armed for its first call; nullptr: none
        std::optional<bool> running;  // nothing: a SystemError is expected
        const wchar_t* context;
    };
    // The Plug and Play service exists on every Windows.
    const std::vector<Case> cases = {
        {"a service that does not exist", L"KvNoSuchService", nullptr, false, nullptr},
        {"opening the service fails", L"PlugPlay", "OpenServiceW", std::nullopt, L"OpenSCManager()"},
        {"querying its state fails", L"PlugPlay", "QueryServiceStatus", std::nullopt, L"QueryServiceStatus()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tarnlib::FaultSeam::Reset();
        if (c.failingFunction)
            Tarnlib::FaultSeam::Arm(c.failingFunction, 1, ERROR_ACCESS_DENIED);
        try {
            bool running = IsServiceRunning(wstrview(c.service));
            EXPECT_EQ(std::optional<bool>(running), c.running);
        } catch (const SystemError& error) {
            EXPECT_FALSE(c.running.has_value()) << "unexpected failure";
            EXPECT_EQ(std::wstring(error.Context().ptr, error.Context().len), c.context);
            EXPECT_EQ(error.Code(), DWORD(ERROR_ACCESS_DENIED));
        }
        Tarnlib::FaultSeam::Reset();
    }
}
