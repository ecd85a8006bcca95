#pragma once
#include <windows.h>

// Counts of what a process holds, measured without GetGuiResources or GetProcessHandleCount,
// which this platform does not answer.
struct ResourceCounts {
    int kernelHandles;
    int gdiObjects;
    int userObjects;
    SIZE_T privateBytes;

    static ResourceCounts Now();
    // The counts once they are back to before's, or as they stand after a short wait: the
    // platform gives up some of what finished threads held a moment after they are joined.
    static ResourceCounts Settled(const ResourceCounts& before);
};
