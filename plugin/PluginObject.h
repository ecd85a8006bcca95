#pragma once
#include "plugin/IWMPPluginUI.h"

// The plug-in: implements IWMPPluginUI stand-alone; ContainedPlugin is its aggregated form.
class PluginObject : public IWMPPluginUI {
public:
    PluginObject();
    PluginObject(const PluginObject&) = delete;
    PluginObject& operator=(const PluginObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetCore(IWMPCore* pCore) override;
    STDMETHODIMP Create(HWND hwndParent, HWND* phwndWindow) override;
    STDMETHODIMP Destroy() override;
    STDMETHODIMP DisplayPropertyPage(HWND hwndParent) override;
    STDMETHODIMP GetProperty(const WCHAR* pwszName, VARIANT* pvarProperty) override;
    STDMETHODIMP SetProperty(const WCHAR* pwszName, const VARIANT* pvarProperty) override;
    STDMETHODIMP TranslateAccelerator(MSG* lpmsg) override;

    // Second construction step; a failure would end the creation.
    HRESULT CompleteConstruction();
    void ReleaseCore();

protected:
    // Stand-alone: the reference count. Contained: the controlling outer unknown, not counted.
    union {
        LONG refCount;
        IUnknown* outerUnknown;
    };

private:
    friend HRESULT CreatePlugin(REFIID riid, void** ppv);
    void DestroySelf();

    char text[MAX_PATH];
    IWMPCore* core;
};

// The plug-in inside an aggregate: identity and counting belong to the outer unknown.
class ContainedPlugin final : public PluginObject {
public:
    explicit ContainedPlugin(IUnknown* outer);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
};

// Interfaces the plug-in answers for, in both forms.
extern const struct InterfaceEntry pluginInterfaces[];

HRESULT CreatePlugin(REFIID riid, void** ppv);
