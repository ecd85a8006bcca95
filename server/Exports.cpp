// The module's entry points: the library entry routine and the four exports.
#include "server/Exports.h"
#include "server/ClassTable.h"
#include "server/InterfaceTable.h"
#include "server/LoadConfig.h"
#include "server/ModuleRecord.h"
#include "server/Registration.h"

namespace {

bool Skipped(const ClassEntry& row) { return row.getDescription && row.getDescription(); }

} // namespace

// The image's entry point: the module links no language runtime, so nothing starts before the
// attach steps or stops after the detach steps. Thread notifications that arrive before attach has
// switched them off only store the instance. It has no buffer, so no stack cookie guards its frame:
// the cookie may still change under it, at attach.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    libraryInstance = instance;
    if (reason == DLL_PROCESS_ATTACH) {
        SeedStackCookie();
        ProcessAttach(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // A process that is ending (reserved is not null) has lost its other threads, perhaps
        // while they held the heap's or the module's locks: nothing is released then, the system
        // takes it all back.
        if (!reserved)
            ProcessDetach();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return moduleRecord.lockCount == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = S_OK;

    ClassEntry* row = moduleRecord.classTable;
    while (row->classId && !(row->createClassObject && SameGuid(*row->classId, rclsid)))
        ++row;

    if (row->classId) {
        IUnknown* cached = row->classObject.load(std::memory_order_acquire);
        if (!cached) {
            EnterCriticalSection(&moduleRecord.classTableLock);
            cached = row->classObject.load(std::memory_order_acquire);
            if (!cached) {
                void* created = nullptr;
                hr = row->createClassObject(reinterpret_cast<void*>(row->createInstance),
                                            IID_IUnknown, &created);
                // Published only once fully built, so readers outside the lock see a whole object.
                cached = static_cast<IUnknown*>(created);
                row->classObject.store(cached, std::memory_order_release);
            }
            LeaveCriticalSection(&moduleRecord.classTableLock);
        }
        if (cached)
            hr = cached->QueryInterface(riid, ppv);
    }

    if (!*ppv && hr == S_OK)
        hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

STDAPI DllRegisterServer()
{
    HRESULT hr = S_OK;
    for (const ClassEntry* row = moduleRecord.classTable; row->classId; ++row) {
        if (Skipped(*row))
            continue;
        hr = row->updateRegistry(TRUE);
        if (FAILED(hr))
            break;
        if (moduleRecord.size == ModuleRecordSize) {
            const CategoryEntry* table = row->getCategoryMap ? row->getCategoryMap() : nullptr;
            hr = RegisterClassCategories(*row->classId, table, TRUE);
            if (FAILED(hr))
                break;
        }
    }
    // Having no script to run is this module's normal case.
    if (hr == NoRegistrationScript)
        hr = S_OK;
    NotifyPluginAddRemove();
    return hr;
}

STDAPI DllUnregisterServer()
{
    for (const ClassEntry* row = moduleRecord.classTable; row->classId; ++row) {
        if (Skipped(*row))
            continue;
        row->updateRegistry(FALSE);
        if (moduleRecord.size == ModuleRecordSize && row->getCategoryMap)
            RegisterClassCategories(*row->classId, row->getCategoryMap(), FALSE);
    }
    NotifyPluginAddRemove();
    return S_OK;
}
