#include "HeapRecorder.h"

HeapRecorder::HeapRecorder()
{
    allocations.reserve(256);
    releases.reserve(256);
    m_live.reserve(256);
    NoCrt::SetHeapObserver(this);
}

HeapRecorder::~HeapRecorder() { Stop(); }

void HeapRecorder::Stop() { NoCrt::SetHeapObserver(nullptr); }

// The recorder's own vectors allocate too; those calls are not recorded.
void HeapRecorder::OnAllocate(void* p, std::size_t bytes)
{
    if (!m_recording)
        return;
    m_recording = false;
    allocations.push_back(bytes);
    m_live.push_back({p, bytes});
    m_recording = true;
}

void HeapRecorder::OnFree(void* p)
{
    if (!m_recording)
        return;
    m_recording = false;
    for (std::size_t i = 0; i < m_live.size(); ++i) {
        if (m_live[i].p != p)
            continue;
        const unsigned char* bytes = static_cast<const unsigned char*>(p);
        bool wiped = true;
        for (std::size_t b = 0; b < m_live[i].bytes; ++b)
            wiped = wiped && bytes[b] == NoCrt::WipeByte;
        releases.push_back({m_live[i].bytes, wiped});
        m_live.erase(m_live.begin() + i);
        break;
    }
    m_recording = true;
}
