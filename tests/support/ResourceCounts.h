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
};
