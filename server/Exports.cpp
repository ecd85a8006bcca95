#include "server/InterfaceTable.h"
#include "server/ModuleRecord.h"

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
