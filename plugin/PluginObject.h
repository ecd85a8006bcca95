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
    // One slot, two uses: stand-alone, the object's reference count; contained, the controlling
    // outer unknown, which does the counting. An object is only ever one of the two, so the
    // plug-in keeps a single layout for both forms.
    union {
        LONG refCount;
        IUnknown* outerUnknown;
    };

private:
    friend HRESULT CreatePlugin(REFIID riid, void** ppv);
    void DestroySelf();

    // The plug-in's name, kept for the object's layout; nothing reads it.
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
