#include "support/ResourceCounts.h"

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

// Committed private memory, summed over the address space (this platform's process memory
// counters report no private usage).
SIZE_T PrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* address = nullptr; VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
    }
    return total;
}

} // namespace

ResourceCounts ResourceCounts::Now()
{
    return {CountKernelHandles(), CountGdiObjects(), CountUserObjects(), PrivateBytes()};
}

ResourceCounts ResourceCounts::Settled(const ResourceCounts& before)
{
    ResourceCounts now = Now();
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (now.kernelHandles <= before.kernelHandles && now.gdiObjects <= before.gdiObjects &&
            now.userObjects <= before.userObjects)
            break;
        Sleep(100);
        now = Now();
    }
    return now;
}
