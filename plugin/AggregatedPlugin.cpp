#include "plugin/AggregatedPlugin.h"
#include "server/InterfaceTable.h"
#include "server/ModuleHeap.h"
#include "server/ModuleRecord.h"

AggregatedPlugin::AggregatedPlugin(IUnknown* outer) : refCount(0), contained(outer) {}

STDMETHODIMP AggregatedPlugin::QueryInterface(REFIID riid, void** ppv)
{
    if (IsIUnknown(riid)) {
        if (!ppv)
            return E_POINTER;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    return QueryInterfaceByTable(&contained, pluginInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) AggregatedPlugin::AddRef() { return ++refCount; }

STDMETHODIMP_(ULONG) AggregatedPlugin::Release()
{
    const LONG count = --refCount;
    if (count == 0)
        DestroySelf();
    return count;
}

void AggregatedPlugin::DestroySelf()
{
    // As for the stand-alone object: a balanced AddRef and Release during the clean-up is harmless.
    refCount = 1;
    contained.ReleaseCore();
    InterlockedDecrement(&moduleRecord.lockCount);
    HeapDelete(this);
}

HRESULT CreateAggregatedPlugin(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    AggregatedPlugin* object = HeapNew<AggregatedPlugin>(pUnkOuter);
    if (!object)
        return E_OUTOFMEMORY;
    InterlockedIncrement(&moduleRecord.lockCount);

    HRESULT hr = object->contained.CompleteConstruction();
    if (hr == S_OK)
        hr = object->QueryInterface(riid, ppv);
    if (hr != S_OK)
        object->DestroySelf();
    return hr;
}
