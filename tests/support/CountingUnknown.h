#pragma once
#include <windows.h>
#include <objbase.h>
#include <utility>

// A COM object of the test's own that counts what is done to it; stands in for a
// host's core object or for the outer unknown of an aggregate.
class CountingUnknown : public IUnknown {
public:
    // Where QueryInterface for anything but IUnknown goes; null refuses it.
    IUnknown* inner = nullptr;
    // An object that Release takes and drops a reference to, as a core may do with the plug-in
    // while the plug-in releases it; null touches nothing.
    IUnknown* touchedOnRelease = nullptr;
    LONG addRefs = 0;
    LONG releases = 0;
    LONG queries = 0;

    LONG Net() const { return addRefs - releases; }
    // References taken and given back.
    std::pair<LONG, LONG> Counts() const { return {addRefs, releases}; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        ++queries;
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1 + ++addRefs - releases; }
    STDMETHODIMP_(ULONG) Release() override
    {
        if (touchedOnRelease) {
            touchedOnRelease->AddRef();
            touchedOnRelease->Release();
        }
        return 1 + addRefs - ++releases;
    }
};
