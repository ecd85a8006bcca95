#pragma once
#include <windows.h>
#include <oaidl.h>
#include <wmp.h>

// The media player's UI plug-in interface.
inline constexpr IID IID_IWMPPluginUI =
    {0x4C5E8F9F, 0xAD3E, 0x4BF9, {0x97, 0x53, 0xFC, 0xD3, 0x0D, 0x6D, 0x38, 0xDD}};

MIDL_INTERFACE("4C5E8F9F-AD3E-4BF9-9753-FCD30D6D38DD")
IWMPPluginUI : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* pCore) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(HWND hwndParent, HWND* phwndWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE Destroy() = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND hwndParent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(const WCHAR* pwszName, VARIANT* pvarProperty) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperty(const WCHAR* pwszName, const VARIANT* pvarProperty) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* lpmsg) = 0;
};
