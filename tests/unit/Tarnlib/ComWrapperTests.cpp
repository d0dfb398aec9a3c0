#include "../NoCrtLib/TestSupport.h"

#include "NoCrtLib/ErrorText.h"
#include "Tarnlib/ComInit.h"
#include "Tarnlib/WrapperBase.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace Tarnlib;

namespace {

// A COM call that reports the HRESULT it is given.
template <int Throw>
class ComOutcome : public CComBase<Throw> {
public:
    explicit ComOutcome(HRESULT hr) { this->Fail(L"TestCall()"_v, hr); }
};

}  // namespace

TEST(ComWrappers, FailureMessageShowsTheCodeInHexadecimal)
{
    struct Case {
        DWORD hr;
        std::wstring message;
    };
    const std::vector<Case> cases = {
        {0x80040154, L"TestCall() failed: COM error 0x80040154."},
        {0x8000000A, L"TestCall() failed: COM error 0x8000000A."},
        {0x80004005, L"TestCall() failed: COM error 0x80004005: Unspecified failure."},
        {0x80070005, L"TestCall() failed: COM error 0x80070005: General access denied error."},
        {0x80070002, L"TestCall() failed: COM error 0x80070002: " + W(WinErrorText(2).str())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hr);
        ComOutcome<0> recorded{HRESULT(c.hr)};
        EXPECT_TRUE(recorded.Failed());
        EXPECT_EQ(W(recorded.ErrorKind()), L"COM");
        EXPECT_EQ(W(recorded.FailureMessage()), c.message);
        try {
            ComOutcome<1> thrown{HRESULT(c.hr)};
            ADD_FAILURE() << "a failed HRESULT did not throw";
        } catch (const BaseExceptionEx<long>& e) {
            EXPECT_EQ(W(e.Description()), c.message);
            EXPECT_EQ(e.Error(), long(c.hr));
            EXPECT_EQ(W(e.Function()), L"TestCall()");
        }
    }
}

TEST(ComWrappers, NonNegativeResultsAreSuccess)
{
    for (HRESULT hr : {S_OK, S_FALSE, HRESULT(0x7FFFFFFF)}) {
        SCOPED_TRACE(hr);
        ComOutcome<0> outcome(hr);
        EXPECT_TRUE(outcome.Succeeded());
        EXPECT_FALSE(outcome.Failed());
    }
}

TEST(ComWrappers, InitSucceedsAgainOnTheSameThreadAndFailsInAnotherApartment)
{
    HRESULT nested = E_FAIL;
    std::wstring message;
    long error = 0;
    std::thread worker([&] {
        {
            CComInit<1> first;
            CComInit<1> second;  // S_FALSE: already initialised
            nested = second.Error();
        }
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        try {
            CComInit<1> apartment;
        } catch (const BaseExceptionEx<long>& e) {
            message = W(e.Description());
            error = e.Error();
        }
        CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(nested, S_OK) << "S_FALSE is success and leaves no error behind";
    EXPECT_EQ(error, long(RPC_E_CHANGED_MODE));
    std::wstring text = W(ComErrorText(RPC_E_CHANGED_MODE).str());
    EXPECT_EQ(message, L"CoInitializeEx() failed: COM error 0x80010106" + (text.empty() ? L"." : L": " + text));
}
