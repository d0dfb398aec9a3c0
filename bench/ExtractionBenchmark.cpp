// Measures the installer's extraction of a realistic payload against a bare decode of the same
// stream with the same decoder into the same 128 KiB buffer, in one process under the same
// conditions, and the extraction's peak memory.
//   ExtractionBenchmark [runs]
// The payload is this program's own resource BINARY 130. Exits 1 when the extraction takes more
// than 1.2 times the bare decode (median of the runs' ratios) or its peak working set grows by more than
// the dictionary plus 2 MiB. (Wine's peak private bytes do not follow large heap blocks, so the
// working set, which every page of the dictionary enters once the decoder has filled it, is the
// measure; both are printed.)
#include "InstallLib/InstallerState.h"
#include "InstallLib/Payload.h"
#include "ScratchDirectory.h"

extern "C" {
#include <LzmaDec.h>
}

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr SizeT ChunkSize = 131072;

void* Allocate(void*, size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void Release(void*, void* address) { HeapFree(GetProcessHeap(), 0, address); }
ISzAlloc g_allocator = {Allocate, Release};

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

PROCESS_MEMORY_COUNTERS MemoryCounters()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

// The same decoder, the same chunk size, no parsing and no files.
void BareDecode(const ResourceBytes& payload)
{
    CLzmaDec decoder;
    LzmaDec_Construct(&decoder);
    LzmaDec_Allocate(&decoder, payload.data, LZMA_PROPS_SIZE, &g_allocator);
    LzmaDec_Init(&decoder);
    unsigned long long remaining = 0;
    for (int i = 7; i >= 0; --i)
        remaining = remaining << 8 | payload.data[5 + i];
    std::vector<unsigned char> chunk(ChunkSize);
    const unsigned char* input = payload.data + 13;
    SizeT inputLeft = payload.size - 13;
    while (remaining > 0) {
        SizeT produced = remaining < ChunkSize ? SizeT(remaining) : ChunkSize;
        SizeT consumed = inputLeft;
        ELzmaStatus status;
        if (LzmaDec_DecodeToBuf(&decoder, chunk.data(), &produced, input, &consumed, LZMA_FINISH_ANY, &status) != SZ_OK ||
            produced == 0) {
            std::fprintf(stderr, "bare decode failed\n");
            std::exit(2);
        }
        input += consumed;
        inputLeft -= consumed;
        remaining -= produced;
    }
    LzmaDec_Free(&decoder, &g_allocator);
}

double Extract(unsigned& files)
{
    ScratchDirectory directory;
    double start = Seconds();
    {
        ExtractTargets targets{wstring_nc(directory.Path().c_str()), {}, {}, {}};
        WriteFilesFromLzmaStream extraction(targets, AllCategories);
        extraction.Commit();
    }
    double elapsed = Seconds() - start;
    files = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directory / L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    if (runs < 1)
        runs = 1;
    InstallerState& state = InstallerState::Instance();
    state.interactive = false;
    ResourceBytes payload = LoadResourceBytes(130, L"BINARY");
    unsigned dictionary = payload.data[1] | payload.data[2] << 8 | payload.data[3] << 16 | unsigned(payload.data[4]) << 24;

    PROCESS_MEMORY_COUNTERS before = MemoryCounters();
    unsigned files = 0;
    Extract(files);  // the first extraction, for the memory figure and a warm cache
    PROCESS_MEMORY_COUNTERS after = MemoryCounters();
    SIZE_T peakGrowth = after.PeakWorkingSetSize - before.PeakWorkingSetSize;
    SIZE_T privateGrowth = after.PeakPagefileUsage - before.PeakPagefileUsage;

    // Each run times a bare decode and an extraction back to back; their ratio is taken per run,
    // so that the machine's changing load affects both sides of it alike.
    std::vector<double> extraction, bare, ratios;
    for (int run = 1; run <= runs; ++run) {
        double start = Seconds();
        BareDecode(payload);
        bare.push_back(Seconds() - start);
        extraction.push_back(Extract(files));
        ratios.push_back(extraction.back() / bare.back());
    }

    double ratio = Median(ratios);
    double allowedGrowth = double(dictionary) + 2.0 * 1024 * 1024;
    std::fprintf(stderr,
                 "payload: %lu compressed bytes, dictionary %u bytes, %u files\n"
                 "bare decode: median %.3f s over %d runs\n"
                 "extraction:  median %.3f s over %d runs\n"
                 "ratio extraction / bare decode: median of the runs' ratios %.3f (limit 1.200); "
                 "ratio of the medians %.3f; the runs' ratios ranged from %.3f to %.3f\n"
                 "peak working set of the extraction: +%.2f MiB (limit: dictionary + 2 MiB = %.2f MiB)\n"
                 "peak private bytes as Wine reports them: +%.2f MiB\n",
                 static_cast<unsigned long>(payload.size), dictionary, files, Median(bare), int(bare.size()),
                 Median(extraction), int(extraction.size()), ratio, Median(extraction) / Median(bare),
                 *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                 peakGrowth / 1048576.0, allowedGrowth / 1048576.0, privateGrowth / 1048576.0);
    bool passed = ratio <= 1.2 && double(peakGrowth) <= allowedGrowth;
    std::fprintf(stderr, "%s\n", passed ? "within the limits" : "LIMIT MISSED");
    return passed ? 0 : 1;
}
