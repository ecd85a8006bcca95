#include "support/ResourceCounts.h"
#include <gtest/gtest.h>

namespace {

// Handles are given out lowest first, so the open ones sit below the first long run of free
// values; scanning up to that run rather than to a fixed bound keeps a leak of thousands in view.
template <typename IsOpen>
int CountOpen(ULONG_PTR first, ULONG_PTR step, IsOpen isOpen)
{
    constexpr int FreeRun = 512;
    int count = 0;
    for (int free = 0; free < FreeRun; ++free, first += step) {
        if (isOpen(first)) {
            ++count;
            free = -1;
        }
    }
    return count;
}

// Kernel handles (registry keys included) are multiples of 4.
int CountKernelHandles()
{
    return CountOpen(4, 4, [](ULONG_PTR value) {
        DWORD flags = 0;
        return GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != FALSE;
    });
}

// The process's GDI handle table, which the PEB (FS:0x30) points to from its offset 0x94: 0x10000
// entries of 24 bytes, whose type byte (at 14) is 0 for a free one.
int CountGdiObjects()
{
    const BYTE* peb = nullptr;
    asm("movl %%fs:0x30, %0" : "=r"(peb));
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0x94);
    if (!table)
        return -1;
    int count = 0;
    for (int i = 0; i < 0x10000; ++i)
        count += table[i * 24 + 14] != 0;
    return count;
}

// USER handles are (index * 2 + 0x20); a handle without its generation word matches any
// generation.
int CountUserObjects()
{
    return CountOpen(0x20, 2, [](ULONG_PTR value) {
        return IsWindow(reinterpret_cast<HWND>(value)) || IsMenu(reinterpret_cast<HMENU>(value));
    });
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
        if (now.kernelHandles <= before.kernelHandles + KernelHandleTolerance && now.gdiObjects <= before.gdiObjects &&
            now.userObjects <= before.userObjects)
            break;
        Sleep(100);
        now = Now();
    }
    return now;
}

void ExpectNothingLeaked(const ResourceCounts& before, const ResourceCounts& after)
{
    EXPECT_LE(after.kernelHandles, before.kernelHandles + KernelHandleTolerance) << "before: " << before.kernelHandles;
    EXPECT_LE(after.gdiObjects, before.gdiObjects);
    EXPECT_LE(after.userObjects, before.userObjects);
    EXPECT_LE(after.privateBytes, before.privateBytes + PrivateBytesTolerance)
        << "grew by " << (after.privateBytes - before.privateBytes) << " bytes";
}
