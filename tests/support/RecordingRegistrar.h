#pragma once
#include "server/IRegistrar.h"
#include <comcat.h>
#include <string>
#include <vector>

// Registrar and category manager of the test's own, put in place of the platform's for the
// test process through CoRegisterClassObject; they record every call.
struct RecordedCall {
    std::string method;
    std::wstring first, second;
    UINT number = 0;
    GUID classId = {};
    GUID categoryId = {};
};

class RecordingRegistrar : public IRegistrar {
public:
    std::vector<RecordedCall> calls;
    HRESULT answer = HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);
    LONG references = 0;
    int created = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP AddReplacement(LPCOLESTR key, LPCOLESTR item) override;
    STDMETHODIMP ClearReplacements() override { return Record("ClearReplacements"); }
    STDMETHODIMP ResourceRegisterSz(LPCOLESTR, LPCOLESTR, LPCOLESTR) override { return Record("ResourceRegisterSz"); }
    STDMETHODIMP ResourceUnregisterSz(LPCOLESTR, LPCOLESTR, LPCOLESTR) override { return Record("ResourceUnregisterSz"); }
    STDMETHODIMP FileRegister(LPCOLESTR) override { return Record("FileRegister"); }
    STDMETHODIMP FileUnregister(LPCOLESTR) override { return Record("FileUnregister"); }
    STDMETHODIMP StringRegister(LPCOLESTR) override { return Record("StringRegister"); }
    STDMETHODIMP StringUnregister(LPCOLESTR) override { return Record("StringUnregister"); }
    STDMETHODIMP ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) override;
    STDMETHODIMP ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) override;

private:
    HRESULT Record(const char* method);
    HRESULT RecordScript(const char* method, LPCOLESTR file, UINT id, LPCOLESTR type);
};

class RecordingCategories : public ICatRegister {
public:
    std::vector<RecordedCall> calls;
    // The call (counted from 0) that fails with E_FAIL; -1 for none.
    int failingCall = -1;
    LONG references = 0;
    int created = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP RegisterCategories(ULONG, CATEGORYINFO[]) override { return E_NOTIMPL; }
    STDMETHODIMP UnRegisterCategories(ULONG, CATID[]) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterClassImplCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record("RegisterClassImplCategories", c, n, ids); }
    STDMETHODIMP UnRegisterClassImplCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record("UnRegisterClassImplCategories", c, n, ids); }
    STDMETHODIMP RegisterClassReqCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record("RegisterClassReqCategories", c, n, ids); }
    STDMETHODIMP UnRegisterClassReqCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record("UnRegisterClassReqCategories", c, n, ids); }

private:
    HRESULT Record(const char* method, REFCLSID classId, ULONG count, CATID ids[]);
};

// Makes CoCreateInstance for classId in this process hand out object, until destroyed; with a
// null object the class cannot be created. Every request is counted in *creations.
class ClassOverride final : public IClassFactory {
public:
    ClassOverride(REFCLSID classId, IUnknown* object, int* creations);
    ~ClassOverride();
    ClassOverride(const ClassOverride&) = delete;
    ClassOverride& operator=(const ClassOverride&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    IUnknown* object;
    int* creations;
    DWORD cookie = 0;
};

// Counts the "WMPlayer_PluginAddRemove" broadcasts that reach a top-level window of the test.
class BroadcastCounter {
public:
    BroadcastCounter();
    ~BroadcastCounter();
    BroadcastCounter(const BroadcastCounter&) = delete;
    BroadcastCounter& operator=(const BroadcastCounter&) = delete;

    // Pumps the window's queue for a while and returns the messages seen since the last call;
    // any with a non-zero wParam or lParam is counted in malformed.
    int Collect();
    int malformed = 0;

private:
    HWND window;
    UINT message;
};
