#include "bench/ImportCounter.h"
#include <cstdlib>
#include <cstring>

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

template <class T>
T* AtRva(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

} // namespace

int Install(HMODULE module)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = AtRva<IMAGE_NT_HEADERS32>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress); entry->Name; ++entry) {
        auto* names = AtRva<IMAGE_THUNK_DATA32>(module, entry->OriginalFirstThunk);
        auto* slots = AtRva<IMAGE_THUNK_DATA32>(module, entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (names->u1.Ordinal & IMAGE_ORDINAL_FLAG32)
                continue;
            const char* name = reinterpret_cast<const char*>(
                AtRva<IMAGE_IMPORT_BY_NAME>(module, names->u1.AddressOfData)->Name);
            for (const Replacement& r : replacements) {
                if (std::strcmp(name, r.name) != 0)
                    continue;
                DWORD old = 0;
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
                slots->u1.Function = reinterpret_cast<DWORD>(r.function);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
                ++patched;
            }
        }
    }
    return patched;
}

Counts Now() { return {heapAllocations, virtualAllocations}; }

} // namespace importcounter
