#pragma once
#include <windows.h>
#include <wmp.h>

// The host's own stand-in for the player's core object, for when the platform offers none.
// The plug-in only holds the core; every method here says that it is not available.
class HostCore final : public IWMPCore {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, IID_IWMPCore))
            return E_NOINTERFACE;
        *ppv = static_cast<IWMPCore*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&references); }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

    STDMETHODIMP close() override { return E_NOTIMPL; }
    STDMETHODIMP get_URL(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_URL(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_openState(WMPOpenState*) override { return E_NOTIMPL; }
    STDMETHODIMP get_playState(WMPPlayState*) override { return E_NOTIMPL; }
    STDMETHODIMP get_controls(IWMPControls**) override { return E_NOTIMPL; }
    STDMETHODIMP get_settings(IWMPSettings**) override { return E_NOTIMPL; }
    STDMETHODIMP get_currentMedia(IWMPMedia**) override { return E_NOTIMPL; }
    STDMETHODIMP put_currentMedia(IWMPMedia*) override { return E_NOTIMPL; }
    STDMETHODIMP get_mediaCollection(IWMPMediaCollection**) override { return E_NOTIMPL; }
    STDMETHODIMP get_playlistCollection(IWMPPlaylistCollection**) override { return E_NOTIMPL; }
    STDMETHODIMP get_versionInfo(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP launchURL(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_network(IWMPNetwork**) override { return E_NOTIMPL; }
    STDMETHODIMP get_currentPlaylist(IWMPPlaylist**) override { return E_NOTIMPL; }
    STDMETHODIMP put_currentPlaylist(IWMPPlaylist*) override { return E_NOTIMPL; }
    STDMETHODIMP get_cdromCollection(IWMPCdromCollection**) override { return E_NOTIMPL; }
    STDMETHODIMP get_closedCaption(IWMPClosedCaption**) override { return E_NOTIMPL; }
    STDMETHODIMP get_isOnline(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Error(IWMPError**) override { return E_NOTIMPL; }
    STDMETHODIMP get_status(BSTR*) override { return E_NOTIMPL; }

    LONG references = 1;
};
