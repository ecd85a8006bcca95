#include "support/ResourceCounts.h"
#include <psapi.h>

namespace {

// Kernel handles (registry keys included) are multiples of 4, given out lowest first; probe
// which ones are open. A test process holds a few hundred at most.
int CountKernelHandles()
{
    int count = 0;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

// The process's GDI handle table, which the PEB points to; one 24-byte entry per handle.
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "entry layout");
constexpr int GdiHandleLimit = 0x10000;

int CountGdiObjects()
{
    // The 32-bit PEB is at fs:[0x30]; GdiSharedHandleTable sits at its offset 0x94.
    const BYTE* peb = nullptr;
    asm("movl %%fs:0x30, %0" : "=r"(peb));
    const auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(peb + 0x94);
    if (!table)
        return -1;
    int count = 0;
    for (int i = 0; i < GdiHandleLimit; ++i)
        if (table[i].type != 0)
            ++count;
    return count;
}

// USER handles are (index * 2 + 0x20); a handle without its generation word matches any
// generation. Freed indices are given out again first, so the table stays short.
int CountUserObjects()
{
    int count = 0;
    for (ULONG_PTR index = 0; index < 0x2000; ++index) {
        const ULONG_PTR value = 0x20 + index * 2;
        if (IsWindow(reinterpret_cast<HWND>(value)) || IsMenu(reinterpret_cast<HMENU>(value)))
            ++count;
    }
    return count;
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    return memory.PrivateUsage;
}

} // namespace

ResourceCounts ResourceCounts::Now()
{
    return {CountKernelHandles(), CountGdiObjects(), CountUserObjects(), PrivateBytes()};
}
