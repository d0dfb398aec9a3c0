// Process-wide objects created on first use and destroyed at process exit.
#pragma once

#include "CriticalSection.h"

#include <exception>

namespace Tarnlib {

// A base of T. T's constructor is refused unless it runs inside Instance() on the creating thread.
template <class T>
class LazySingleton {
public:
    class IncorrectInstantiation : public std::exception {};

    static T& Instance()
    {
        if (T* existing = s_state.instance)
            return *existing;
        CriticalSectionLock lock(s_state.section);
        s_state.creatingThread = GetCurrentThreadId();
        try {
            if (!s_state.instance) {
                s_state.instance = new T();
                s_state.createdBySingleton = true;
            }
        } catch (...) {
            s_state.creatingThread = 0;
            throw;
        }
        s_state.creatingThread = 0;
        return *s_state.instance;
    }

protected:
    LazySingleton()
    {
        CriticalSectionLock lock(s_state.section);
        if (s_state.creatingThread != GetCurrentThreadId())
            throw IncorrectInstantiation();
    }
    ~LazySingleton() = default;
    LazySingleton(const LazySingleton&) = delete;
    LazySingleton& operator=(const LazySingleton&) = delete;

private:
    struct State {
        T* volatile instance = nullptr;
        CriticalSection section;
        DWORD creatingThread = 0;
        bool createdBySingleton = false;
        ~State()
        {
            if (createdBySingleton)
                delete instance;
        }
    };
    static inline State s_state;
};

}  // namespace Tarnlib
