// The one allocator of the program: the Windows process heap, wiped with 0xFE before release.
#pragma once

#include <cstddef>

namespace NoCrt {

constexpr unsigned char WipeByte = 0xFE;

// HeapAlloc on the process heap; throws std::bad_alloc when the heap refuses.
void* Allocate(std::size_t bytes);
// HeapFree on the process heap; null is ignored.
void Free(void* p);
// Overwrites memory with 0xFE in a way the optimiser cannot remove.
void Wipe(void* p, std::size_t bytes);
// Wipes the whole block, then frees it.
void WipeAndFree(void* p, std::size_t bytes);

#ifdef KV_TEST_SEAMS
// Test builds only: observes every allocation and every release before the memory goes back.
struct HeapObserver {
    virtual void OnAllocate(void* p, std::size_t bytes) = 0;
    virtual void OnFree(void* p) = 0;
protected:
    ~HeapObserver() = default;
};
void SetHeapObserver(HeapObserver* observer);
#endif

}  // namespace NoCrt
