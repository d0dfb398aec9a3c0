#include "FaultSeam.h"

#ifdef KV_TEST_SEAMS

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace Tarnlib::FaultSeam {

namespace {

struct FunctionFaults {
    unsigned calls = 0;
    std::map<unsigned, DWORD> failingCalls;  // call number -> error
};

std::map<std::string, FunctionFaults>& Faults()
{
    static std::map<std::string, FunctionFaults> faults;
    return faults;
}

}  // namespace

void Arm(const char* function, unsigned nth, DWORD error)
{
    FunctionFaults& faults = Faults()[function];
    faults.failingCalls[faults.calls + nth] = error;
}

void Reset() { Faults().clear(); }

bool Consume(const char* function, DWORD& error)
{
    auto found = Faults().find(function);
    if (found == Faults().end())
        return false;
    FunctionFaults& faults = found->second;
    auto failing = faults.failingCalls.find(++faults.calls);
    if (failing == faults.failingCalls.end())
        return false;
    error = failing->second;
    return true;
}

void ArmFromEnvironment()
{
    const char* text = std::getenv("KV_FAULTS");
    if (!text)
        return;
    std::string list(text);
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(start, end - start);
        size_t hash = entry.find('#');
        size_t equals = entry.find('=', hash == std::string::npos ? 0 : hash);
        if (hash != std::string::npos && equals != std::string::npos) {
            unsigned nth = unsigned(std::strtoul(entry.c_str() + hash + 1, nullptr, 10));
            DWORD error = DWORD(std::strtoul(entry.c_str() + equals + 1, nullptr, 0));
            Arm(entry.substr(0, hash).c_str(), nth, error);
        }
        start = end + 1;
    }
}

}  // namespace Tarnlib::FaultSeam

#endif
