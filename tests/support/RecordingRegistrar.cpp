#include "support/RecordingRegistrar.h"

HRESULT CallLog::Record(HRESULT result, const wchar_t* method, std::initializer_list<std::wstring> arguments)
{
    std::wstring call = method + std::wstring(L"(");
    for (const std::wstring& argument : arguments)
        call += (call.back() == L'(' ? L"" : L", ") + argument;
    calls.push_back(call + L")");
    return result;
}

std::wstring GuidText(REFGUID id)
{
    WCHAR text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

ClassOverride::ClassOverride(REFCLSID classId, IUnknown* replacement, int* creationCount)
    : object(replacement), creations(creationCount)
{
    CoRegisterClassObject(classId, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
}

ClassOverride::~ClassOverride() { CoRevokeClassObject(cookie); }

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
