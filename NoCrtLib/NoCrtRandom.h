// The process-wide cryptographic provider, acquired at start-up and released at exit.
#pragma once

#include "OpCx.h"

class NoCrtRandomException : public OpEx {
public:
    using OpEx::OpEx;
};

class NoCrtRandom : public OpCx, public NoCopy {
public:
    // Throws NoCrtRandomException when the provider cannot be acquired.
    NoCrtRandom();
    ~NoCrtRandom();

    bool Init();
    static unsigned UseCount();

private:
    void Release();
    bool m_initialized = false;
};
