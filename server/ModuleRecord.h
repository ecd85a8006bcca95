#pragma once
#include <windows.h>
#include <objbase.h>

struct ClassEntry;
struct CreationRecord;

// Callback run at process detach; the module registers none.
struct TerminationRecord {
    void (*callback)(DWORD argument);
    DWORD argument;
    TerminationRecord* next;
};

// Module-wide state, filled at process attach and torn down at process detach. Its layout (132
// bytes, with the heap, type library and version fields that this module never uses) is kept
// whole on purpose: size marks the layout, and registration runs its category step only for 132.
struct ModuleRecord {
    UINT size;
    HINSTANCE instance;
    HINSTANCE resourceInstance;
    HINSTANCE typeLibInstance;
    ClassEntry* classTable;
    volatile LONG lockCount;
    HANDLE heap;
    CRITICAL_SECTION staticDataLock;
    CRITICAL_SECTION windowCreationLock;
    CRITICAL_SECTION classTableLock;
    DWORD buildVersion;
    CreationRecord* creationList;
    bool destroyHeap;
    const GUID* versionGuid;
    UINT heapCount;
    HANDLE* heaps;
    int heapIndex;
    TerminationRecord* terminationList;
};

constexpr UINT ModuleRecordSize = 132;
static_assert(sizeof(ModuleRecord) == ModuleRecordSize, "the record keeps its layout");

extern ModuleRecord moduleRecord;
// The module's instance handle, stored by the entry routine on every call.
extern HINSTANCE libraryInstance;

// The library entry routine's two steps: fill the record, and tear it down.
void ProcessAttach(HINSTANCE instance);
void ProcessDetach();
