#include "plugin/PluginObject.h"
#include "server/InterfaceTable.h"
#include "server/ModuleHeap.h"
#include "server/ModuleRecord.h"
#include "dialog/QualityDialog.h"

const InterfaceEntry pluginInterfaces[] = {
    {&IID_IWMPPluginUI, 0, InterfaceAtOffset},
    {nullptr, 0, 0},
};

namespace {
constexpr char PluginName[] = "Vireo Plugin";
}

PluginObject::PluginObject() : refCount(0), core(nullptr)
{
    // Bounded copy: at most sizeof text - 1 characters and the terminator.
    size_t i = 0;
    for (; i + 1 < sizeof text && PluginName[i]; ++i)
        text[i] = PluginName[i];
    text[i] = '\0';
}

STDMETHODIMP PluginObject::QueryInterface(REFIID riid, void** ppv)
{
    return QueryInterfaceByTable(this, pluginInterfaces, riid, ppv);
}

// The object lives on one host thread at a time, so its count is a plain counter.
STDMETHODIMP_(ULONG) PluginObject::AddRef() { return ++refCount; }

STDMETHODIMP_(ULONG) PluginObject::Release()
{
    const LONG count = --refCount;
    if (count == 0)
        DestroySelf();
    return count;
}

void PluginObject::DestroySelf()
{
    // A balanced AddRef and Release during the clean-up (from the core, say) cannot reach 0 again.
    refCount = 1;
    ReleaseCore();
    InterlockedDecrement(&moduleRecord.lockCount);
    HeapDelete(this);
}

STDMETHODIMP PluginObject::SetCore(IWMPCore* pCore)
{
    ReleaseCore();
    if (pCore) {
        pCore->AddRef();
        core = pCore;
    }
    return S_OK;
}

STDMETHODIMP PluginObject::Create(HWND, HWND*) { return E_NOTIMPL; }

STDMETHODIMP PluginObject::Destroy() { return E_NOTIMPL; }

// Whatever the dialog's outcome, even when it cannot be shown, the call succeeds.
STDMETHODIMP PluginObject::DisplayPropertyPage(HWND hwndParent)
{
    ShowQualityDialog(hwndParent);
    return S_OK;
}

STDMETHODIMP PluginObject::GetProperty(const WCHAR*, VARIANT* pvarProperty)
{
    return pvarProperty ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP PluginObject::SetProperty(const WCHAR*, const VARIANT*) { return E_NOTIMPL; }

STDMETHODIMP PluginObject::TranslateAccelerator(MSG*) { return E_NOTIMPL; }

HRESULT PluginObject::CompleteConstruction() { return S_OK; }

void PluginObject::ReleaseCore()
{
    if (core) {
        core->Release();
        core = nullptr;
    }
}

ContainedPlugin::ContainedPlugin(IUnknown* outer) { outerUnknown = outer; }

STDMETHODIMP ContainedPlugin::QueryInterface(REFIID riid, void** ppv)
{
    const HRESULT hr = outerUnknown->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) || outerUnknown == static_cast<IUnknown*>(this))
        return hr;
    // An outer object that does not pass IWMPPluginUI on still gets the plug-in from its own table.
    return QueryInterfaceByTable(this, pluginInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ContainedPlugin::AddRef() { return outerUnknown->AddRef(); }

STDMETHODIMP_(ULONG) ContainedPlugin::Release() { return outerUnknown->Release(); }

HRESULT CreatePlugin(REFIID riid, void** ppv)
{
    PluginObject* object = HeapNew<PluginObject>();
    if (!object)
        return E_OUTOFMEMORY;
    InterlockedIncrement(&moduleRecord.lockCount);

    // Held across the second step so that nothing it does can free the object.
    ++object->refCount;
    HRESULT hr = object->CompleteConstruction();
    --object->refCount;

    if (hr == S_OK)
        hr = object->QueryInterface(riid, ppv);
    if (hr != S_OK)
        object->DestroySelf();
    return hr;
}
