#include "server/ClassObject.h"
#include "server/InterfaceTable.h"
#include "server/ModuleHeap.h"
#include "server/ModuleRecord.h"

namespace {

const InterfaceEntry classObjectInterfaces[] = {
    {&IID_IClassFactory, 0, InterfaceAtOffset},
    {nullptr, 0, 0},
};

} // namespace

ClassObject::ClassObject(CreatorFunction creator) : refCount(0), instanceCreator(creator)
{
    InitializeCriticalSection(&lock);
}

ClassObject::~ClassObject() { DeleteCriticalSection(&lock); }

STDMETHODIMP ClassObject::QueryInterface(REFIID riid, void** ppv)
{
    return QueryInterfaceByTable(this, classObjectInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ClassObject::AddRef() { return InterlockedIncrement(&refCount); }

STDMETHODIMP_(ULONG) ClassObject::Release()
{
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0)
        HeapDelete(this);
    return count;
}

STDMETHODIMP ClassObject::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregated object can only be handed out as its inner IUnknown.
    if (pUnkOuter && !IsIUnknown(riid))
        return CLASS_E_NOAGGREGATION;
    return instanceCreator(pUnkOuter, riid, ppv);
}

// No floor at zero: an unbalanced unlock is the caller's fault and shows as a non-zero count.
STDMETHODIMP ClassObject::LockServer(BOOL fLock)
{
    if (fLock)
        InterlockedIncrement(&moduleRecord.lockCount);
    else
        InterlockedDecrement(&moduleRecord.lockCount);
    return S_OK;
}

HRESULT CreateClassObject(void* instanceCreator, REFIID riid, void** ppv)
{
    ClassObject* object = HeapNew<ClassObject>(reinterpret_cast<CreatorFunction>(instanceCreator));
    if (!object)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    if (hr != S_OK)
        HeapDelete(object);
    return hr;
}
