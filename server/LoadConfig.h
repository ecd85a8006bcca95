#pragma once
#include <windows.h>
#include <cstdint>

// The stack cookie the image holds until the loader, or the module at attach, replaces it.
constexpr uintptr_t DefaultStackCookie = 0xBB40E64E;

// The platform's 32-bit load configuration layout, up to the last field that a linker fills in.
struct LoadConfigDirectory32 {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    DWORD DeCommitFreeBlockThreshold;
    DWORD DeCommitTotalFreeThreshold;
    DWORD LockPrefixTable;
    DWORD MaximumAllocationSize;
    DWORD VirtualMemoryThreshold;
    DWORD ProcessHeapFlags;
    DWORD ProcessAffinityMask;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    DWORD EditList;
    const void* SecurityCookie;
    const void* SEHandlerTable;
    DWORD SEHandlerCount;
    const void* GuardCFCheckFunctionPointer;
    const void* GuardCFDispatchFunctionPointer;
    const void* GuardCFFunctionTable;
    const void* GuardCFFunctionCount;
    const void* GuardFlags;
    WORD CodeIntegrityFlags;
    WORD CodeIntegrityCatalog;
    DWORD CodeIntegrityCatalogOffset;
    DWORD CodeIntegrityReserved;
    const void* GuardAddressTakenIatEntryTable;
    const void* GuardAddressTakenIatEntryCount;
    const void* GuardLongJumpTargetTable;
    const void* GuardLongJumpTargetCount;
};
static_assert(sizeof(LoadConfigDirectory32) == 0x78, "the platform's layout up to GuardLongJumpTargetCount");

// Gives the stack cookie a value of this process's own when the loader left the image's default
// (or zero) in place; a cookie the loader has set stays. Called at attach, before any function that
// checks the cookie runs.
void SeedStackCookie();
