#pragma once
#include "server/IRegistrar.h"
#include <comcat.h>
#include <initializer_list>
#include <string>
#include <vector>

// QueryInterface for an object of the test's own with one interface besides IUnknown, which the
// caller names so that the pointer handed out is that interface's.
template <class Interface>
HRESULT OwnQuery(Interface* self, REFIID asked, REFIID own, void** ppv)
{
    *ppv = IsEqualIID(asked, IID_IUnknown) || IsEqualIID(asked, own) ? self : nullptr;
    if (!*ppv)
        return E_NOINTERFACE;
    self->AddRef();
    return S_OK;
}

// Registrar and category manager of the test's own, put in place of the platform's for the test
// process through CoRegisterClassObject. They write every call down as "Method(argument, ...)",
// with numbers in decimal and GUIDs in braces, and count their references and creations.
class CallLog {
public:
    std::vector<std::wstring> calls;
    LONG references = 0;
    int created = 0;

protected:
    HRESULT Record(HRESULT result, const wchar_t* method, std::initializer_list<std::wstring> arguments = {});
};

class RecordingRegistrar : public IRegistrar, public CallLog {
public:
    HRESULT answer = HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        return OwnQuery<IRegistrar>(this, iid, IID_IRegistrar, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP AddReplacement(LPCOLESTR key, LPCOLESTR item) override
    {
        return Record(S_OK, L"AddReplacement", {key, item});
    }
    STDMETHODIMP ClearReplacements() override { return Record(E_NOTIMPL, L"ClearReplacements"); }
    STDMETHODIMP ResourceRegisterSz(LPCOLESTR, LPCOLESTR, LPCOLESTR) override
    {
        return Record(E_NOTIMPL, L"ResourceRegisterSz");
    }
    STDMETHODIMP ResourceUnregisterSz(LPCOLESTR, LPCOLESTR, LPCOLESTR) override
    {
        return Record(E_NOTIMPL, L"ResourceUnregisterSz");
    }
    STDMETHODIMP FileRegister(LPCOLESTR) override { return Record(E_NOTIMPL, L"FileRegister"); }
    STDMETHODIMP FileUnregister(LPCOLESTR) override { return Record(E_NOTIMPL, L"FileUnregister"); }
    STDMETHODIMP StringRegister(LPCOLESTR) override { return Record(E_NOTIMPL, L"StringRegister"); }
    STDMETHODIMP StringUnregister(LPCOLESTR) override { return Record(E_NOTIMPL, L"StringUnregister"); }
    STDMETHODIMP ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) override
    {
        return Record(answer, L"ResourceRegister", {file, std::to_wstring(id), type});
    }
    STDMETHODIMP ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) override
    {
        return Record(answer, L"ResourceUnregister", {file, std::to_wstring(id), type});
    }
};

// A GUID as the category manager's calls are written down.
std::wstring GuidText(REFGUID id);

class RecordingCategories : public ICatRegister, public CallLog {
public:
    // The call (counted from 0) that fails with E_FAIL; -1 for none.
    int failingCall = -1;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        return OwnQuery<ICatRegister>(this, iid, IID_ICatRegister, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP RegisterCategories(ULONG, CATEGORYINFO[]) override { return E_NOTIMPL; }
    STDMETHODIMP UnRegisterCategories(ULONG, CATID[]) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterClassImplCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record(L"RegisterClassImplCategories", c, n, ids); }
    STDMETHODIMP UnRegisterClassImplCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record(L"UnRegisterClassImplCategories", c, n, ids); }
    STDMETHODIMP RegisterClassReqCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record(L"RegisterClassReqCategories", c, n, ids); }
    STDMETHODIMP UnRegisterClassReqCategories(REFCLSID c, ULONG n, CATID ids[]) override { return Record(L"UnRegisterClassReqCategories", c, n, ids); }

private:
    HRESULT Record(const wchar_t* method, REFCLSID classId, ULONG count, CATID ids[])
    {
        const HRESULT result = int(calls.size()) == failingCall ? E_FAIL : S_OK;
        return CallLog::Record(result, method, {GuidText(classId), std::to_wstring(count), GuidText(ids[0])});
    }
};

// Makes CoCreateInstance for classId in this process hand out object, until destroyed; with a
// null object the class cannot be created. Every request is counted in *creations.
class ClassOverride final : public IClassFactory {
public:
    ClassOverride(REFCLSID classId, IUnknown* object, int* creations);
    ~ClassOverride();
    ClassOverride(const ClassOverride&) = delete;
    ClassOverride& operator=(const ClassOverride&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        return OwnQuery<IClassFactory>(this, iid, IID_IClassFactory, out);
    }
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
