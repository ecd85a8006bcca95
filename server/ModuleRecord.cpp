#include "server/ModuleRecord.h"
#include "server/ClassTable.h"
#include "server/ModuleHeap.h"

ModuleRecord moduleRecord;
HINSTANCE libraryInstance;

namespace {

// {B62F5910-6528-11D1-9611-0000F81E0D0D}: the layout version of ModuleRecord.
constexpr GUID ModuleRecordVersion =
    {0xB62F5910, 0x6528, 0x11D1, {0x96, 0x11, 0x00, 0x00, 0xF8, 0x1E, 0x0D, 0x0D}};

} // namespace

void ProcessAttach(HINSTANCE instance)
{
    ModuleRecord& m = moduleRecord;
    m.versionGuid = &ModuleRecordVersion;
    m.size = ModuleRecordSize;
    m.buildVersion = 0x300;

    m.classTable = classTable;
    m.resourceInstance = instance;
    m.typeLibInstance = instance;
    m.instance = instance;
    m.lockCount = 0;
    m.heap = nullptr;

    InitializeCriticalSection(&m.staticDataLock);
    InitializeCriticalSection(&m.windowCreationLock);
    InitializeCriticalSection(&m.classTableLock);

    m.creationList = nullptr;
    m.destroyHeap = true;
    m.heapCount = 0;
    m.heapIndex = 0;
    m.heaps = nullptr;
    m.terminationList = nullptr;

    if (m.classTable) {
        for (ClassEntry* row = m.classTable; row->classId; ++row)
            row->classInit(true);
    }
    DisableThreadLibraryCalls(instance);
}

void ProcessDetach()
{
    ModuleRecord& m = moduleRecord;
    if (m.classTable) {
        for (ClassEntry* row = m.classTable; row->classId; ++row) {
            if (IUnknown* cached = row->classObject.exchange(nullptr))
                cached->Release();
            row->classInit(false);
        }
    }

    DeleteCriticalSection(&m.staticDataLock);
    DeleteCriticalSection(&m.windowCreationLock);
    DeleteCriticalSection(&m.classTableLock);

    for (TerminationRecord* record = m.terminationList; record;) {
        record->callback(record->argument);
        TerminationRecord* next = record->next;
        HeapDelete(record);
        record = next;
    }
    m.terminationList = nullptr;
}

