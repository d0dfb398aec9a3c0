// Records the allocations and releases of the library allocator while it is alive.
#pragma once

#include "NoCrtLib/NoCrtAlloc.h"

#include <cstddef>
#include <vector>

class HeapRecorder : public NoCrt::HeapObserver {
public:
    struct Release {
        std::size_t bytes;           // the size the block was allocated with
        bool wiped;                  // every byte read 0xFE when it was released
    };

    HeapRecorder();
    ~HeapRecorder();

    // Ends the recording early, so that the checks that follow do not record their own memory.
    void Stop();

    void OnAllocate(void* p, std::size_t bytes) override;
    void OnFree(void* p) override;

    std::vector<std::size_t> allocations;
    std::vector<Release> releases;

private:
    struct Block {
        void* p;
        std::size_t bytes;
    };
    std::vector<Block> m_live;
    bool m_recording = true;
};
