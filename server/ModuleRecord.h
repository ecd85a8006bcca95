#pragma once
#include <windows.h>
#include <objbase.h>
#include <atomic>

struct CreationRecord;
struct CategoryEntry;

using CreatorFunction = HRESULT (*)(void* argument, REFIID riid, void** ppv);

// One row of the class table; a row whose classId is null ends the table.
struct ClassEntry {
    const CLSID* classId;
    HRESULT (*updateRegistry)(BOOL registering);
    CreatorFunction createClassObject;
    CreatorFunction createInstance;
    // Written once, after the class object is fully built; read outside the lock.
    std::atomic<IUnknown*> classObject;
    DWORD registrationCookie;
    const char* (*getDescription)();
    const CategoryEntry* (*getCategoryMap)();
    void (*classInit)(bool starting);
};

// Callback run at process detach; the module registers none.
struct TerminationRecord {
    void (*callback)(DWORD argument);
    DWORD argument;
    TerminationRecord* next;
};

// Module-wide state, filled at process attach and torn down at process detach.
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

extern ModuleRecord moduleRecord;
// The module's instance handle, stored by the entry routine on every call.
extern HINSTANCE libraryInstance;
extern ClassEntry classTable[];

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
