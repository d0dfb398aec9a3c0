// The program's global operator new and delete use the library allocator (the process heap).
// Linked into executables only, so that each program has exactly one definition.
#include "NoCrtAlloc.h"

#include <new>

void* operator new(std::size_t bytes) { return NoCrt::Allocate(bytes); }
void* operator new[](std::size_t bytes) { return NoCrt::Allocate(bytes); }
void operator delete(void* p) noexcept { NoCrt::Free(p); }
void operator delete[](void* p) noexcept { NoCrt::Free(p); }
void operator delete(void* p, std::size_t) noexcept { NoCrt::Free(p); }
void operator delete[](void* p, std::size_t) noexcept { NoCrt::Free(p); }
