#pragma once
#include <windows.h>
#include <objbase.h>
#include "server/ClassTable.h"

// The class object through which the host creates plug-in objects.
class ClassObject final : public IClassFactory {
public:
    explicit ClassObject(CreatorFunction creator);
    ~ClassObject();
    ClassObject(const ClassObject&) = delete;
    ClassObject& operator=(const ClassObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    volatile LONG refCount;
    // Kept for the object's layout and life; no operation enters it.
    CRITICAL_SECTION lock;
    const CreatorFunction instanceCreator;
};

// The class-object creator stored in the class table; instanceCreator is the row's createInstance.
HRESULT CreateClassObject(void* instanceCreator, REFIID riid, void** ppv);
