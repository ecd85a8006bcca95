#pragma once
#include "plugin/PluginObject.h"

// The inner, non-delegating IUnknown of an aggregate that contains the plug-in.
class AggregatedPlugin final : public IUnknown {
public:
    explicit AggregatedPlugin(IUnknown* outer);
    AggregatedPlugin(const AggregatedPlugin&) = delete;
    AggregatedPlugin& operator=(const AggregatedPlugin&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    friend HRESULT CreateAggregatedPlugin(IUnknown* pUnkOuter, REFIID riid, void** ppv);
    void DestroySelf();

    LONG refCount;
    ContainedPlugin contained;
};

HRESULT CreateAggregatedPlugin(IUnknown* pUnkOuter, REFIID riid, void** ppv);
