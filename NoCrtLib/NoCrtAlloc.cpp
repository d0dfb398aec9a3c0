#include "NoCrtAlloc.h"

#include <windows.h>

#include <new>

namespace NoCrt {

#ifdef KV_TEST_SEAMS
static HeapObserver* g_heapObserver;
void SetHeapObserver(HeapObserver* observer) { g_heapObserver = observer; }
#endif

void* Allocate(std::size_t bytes)
{
    void* p = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
    if (!p)
        throw std::bad_alloc();
#ifdef KV_TEST_SEAMS
    if (g_heapObserver)
        g_heapObserver->OnAllocate(p, bytes);
#endif
    return p;
}

void Free(void* p)
{
    if (!p)
        return;
#ifdef KV_TEST_SEAMS
    if (g_heapObserver)
        g_heapObserver->OnFree(p);
#endif
    HeapFree(GetProcessHeap(), 0, p);
}

void Wipe(void* p, std::size_t bytes)
{
    volatile unsigned char* bytesToWipe = static_cast<volatile unsigned char*>(p);
    for (std::size_t i = 0; i < bytes; ++i)
        bytesToWipe[i] = WipeByte;
}

void WipeAndFree(void* p, std::size_t bytes)
{
    if (!p)
        return;
    Wipe(p, bytes);
    Free(p);
}

}  // namespace NoCrt
