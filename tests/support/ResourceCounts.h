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
    // The counts once they are back within the tolerances below of before's, or as they stand
    // after a short wait: the platform gives up some of what finished threads held a moment
    // after they are joined.
    static ResourceCounts Settled(const ResourceCounts& before);
};

// The thread library makes a wait event the first time two threads contend for one of its
// locks and keeps it for the life of the process, so a run with threads may end a few kernel
// handles up without a leak; a leak of one per cycle shows as hundreds or thousands.
constexpr int KernelHandleTolerance = 3;
// Private bytes may move by a few pages as the process's own heaps settle.
constexpr SIZE_T PrivateBytesTolerance = 256 * 1024;

// Expects no more handles, GDI or USER objects, or memory than before, within the tolerances.
void ExpectNothingLeaked(const ResourceCounts& before, const ResourceCounts& after);
