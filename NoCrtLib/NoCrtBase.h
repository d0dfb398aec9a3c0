// Basic types shared by the whole library.
#pragma once

#include <cstdint>

typedef std::uint32_t ncsize_t;
constexpr ncsize_t npos = ncsize_t(-1);

// Base of classes that must not be copied.
class NoCopy {
protected:
    NoCopy() = default;
    ~NoCopy() = default;
public:
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

// Marker base of classes whose allocation failures surface as std::bad_alloc; it has no behaviour.
class NoCrtAllocFail {};
