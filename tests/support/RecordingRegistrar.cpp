#include "support/RecordingRegistrar.h"

STDMETHODIMP RecordingRegistrar::QueryInterface(REFIID riid, void** ppv)
{
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IRegistrar))
        return E_NOINTERFACE;
    *ppv = static_cast<IRegistrar*>(this);
    AddRef();
    return S_OK;
}

HRESULT RecordingRegistrar::Record(const char* method)
{
    calls.push_back({method, {}, {}, 0, {}, {}});
    return E_NOTIMPL;
}

STDMETHODIMP RecordingRegistrar::AddReplacement(LPCOLESTR key, LPCOLESTR item)
{
    calls.push_back({"AddReplacement", key, item, 0, {}, {}});
    return S_OK;
}

HRESULT RecordingRegistrar::RecordScript(const char* method, LPCOLESTR file, UINT id, LPCOLESTR type)
{
    calls.push_back({method, file, type, id, {}, {}});
    return answer;
}

STDMETHODIMP RecordingRegistrar::ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type)
{
    return RecordScript("ResourceRegister", file, id, type);
}

STDMETHODIMP RecordingRegistrar::ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type)
{
    return RecordScript("ResourceUnregister", file, id, type);
}

STDMETHODIMP RecordingCategories::QueryInterface(REFIID riid, void** ppv)
{
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ICatRegister))
        return E_NOINTERFACE;
    *ppv = static_cast<ICatRegister*>(this);
    AddRef();
    return S_OK;
}

HRESULT RecordingCategories::Record(const char* method, REFCLSID classId, ULONG count, CATID ids[])
{
    calls.push_back({method, {}, {}, count, classId, ids[0]});
    return int(calls.size()) - 1 == failingCall ? E_FAIL : S_OK;
}

ClassOverride::ClassOverride(REFCLSID classId, IUnknown* replacement, int* creationCount)
    : object(replacement), creations(creationCount)
{
    CoRegisterClassObject(classId, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
}

ClassOverride::~ClassOverride() { CoRevokeClassObject(cookie); }

STDMETHODIMP ClassOverride::QueryInterface(REFIID riid, void** ppv)
{
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

STDMETHODIMP ClassOverride::CreateInstance(IUnknown*, REFIID riid, void** ppv)
{
    *ppv = nullptr;
    ++*creations;
    if (!object)
        return REGDB_E_CLASSNOTREG;
    return object->QueryInterface(riid, ppv);
}

BroadcastCounter::BroadcastCounter()
    : window(CreateWindowExA(0, "STATIC", "broadcast listener", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                             nullptr)),
      message(RegisterWindowMessageA("WMPlayer_PluginAddRemove"))
{
}

BroadcastCounter::~BroadcastCounter() { DestroyWindow(window); }

int BroadcastCounter::Collect()
{
    int seen = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 300) {
        MSG msg;
        while (PeekMessageA(&msg, window, message, message, PM_REMOVE)) {
            ++seen;
            if (msg.wParam != 0 || msg.lParam != 0)
                ++malformed;
        }
        Sleep(10);
    }
    return seen;
}
