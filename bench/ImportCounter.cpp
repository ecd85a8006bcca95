#include "bench/ImportCounter.h"
#include "support/ImportSlot.h"
#include <cstdlib>

namespace importcounter {

namespace {

volatile LONG heapAllocations;
volatile LONG virtualAllocations;

LPVOID WINAPI CountedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    InterlockedIncrement(&heapAllocations);
    return HeapAlloc(heap, flags, size);
}

LPVOID WINAPI CountedVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    InterlockedIncrement(&virtualAllocations);
    return VirtualAlloc(address, size, type, protect);
}

void* CountedMalloc(size_t size)
{
    InterlockedIncrement(&heapAllocations);
    return std::malloc(size);
}

void* CountedCalloc(size_t count, size_t size)
{
    InterlockedIncrement(&heapAllocations);
    return std::calloc(count, size);
}

void* CountedRealloc(void* block, size_t size)
{
    InterlockedIncrement(&heapAllocations);
    return std::realloc(block, size);
}

struct Replacement {
    const char* name;
    void* function;
};

const Replacement replacements[] = {
    {"HeapAlloc", reinterpret_cast<void*>(&CountedHeapAlloc)},
    {"VirtualAlloc", reinterpret_cast<void*>(&CountedVirtualAlloc)},
    {"malloc", reinterpret_cast<void*>(&CountedMalloc)},
    {"calloc", reinterpret_cast<void*>(&CountedCalloc)},
    {"realloc", reinterpret_cast<void*>(&CountedRealloc)},
};

} // namespace

// The counters stay in place for the rest of the run.
int Install(HMODULE module)
{
    int patched = 0;
    for (const Replacement& r : replacements) {
        if (DWORD* slot = ImportSlot(module, r.name)) {
            *slot = reinterpret_cast<DWORD>(r.function);
            ++patched;
        }
    }
    return patched;
}

Counts Now() { return {heapAllocations, virtualAllocations}; }

} // namespace importcounter
