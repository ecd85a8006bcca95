#include "server/Registration.h"
#include "server/ComHolder.h"
#include "server/IRegistrar.h"
#include <comcat.h>

namespace {

constexpr WCHAR ModuleReplacement[] = L"Module";
constexpr WCHAR ScriptType[] = L"REGISTRY";
constexpr char PluginAddRemoveMessage[] = "WMPlayer_PluginAddRemove";

} // namespace

HRESULT UpdateRegistryFromScript(const ModuleRecord& record, UINT scriptId, BOOL registering)
{
    ComHolder<IRegistrar> registrar;
    HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar, registrar.Receive());
    if (FAILED(hr))
        return hr;

    // Taken in UTF-16 from the start: an ANSI path could not name a folder outside the ANSI code page.
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(record.instance, path, MAX_PATH);
    if (length == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    // A path that fills the buffer was cut short: registering it would name another file.
    if (length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    // The registrar's scripts quote values with apostrophes, so the path's own are doubled.
    WCHAR quotedPath[2 * MAX_PATH];
    WCHAR* out = quotedPath;
    for (const WCHAR* in = path; *in; ++in) {
        *out++ = *in;
        if (*in == L'\'')
            *out++ = L'\'';
    }
    *out = L'\0';

    registrar->AddReplacement(ModuleReplacement, quotedPath);
    return registering ? registrar->ResourceRegister(path, scriptId, ScriptType)
                       : registrar->ResourceUnregister(path, scriptId, ScriptType);
}

HRESULT RegisterClassCategories(REFCLSID classId, const CategoryEntry* table, BOOL registering)
{
    if (!table)
        return S_OK;

    // Whatever a failed creation handed back is released all the same.
    ComHolder<ICatRegister> manager;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                manager.Receive())))
        return S_OK;

    for (const CategoryEntry* row = table; row->kind != 0; ++row) {
        CATID category = *row->categoryId;
        const bool implemented = row->kind == ImplementedCategory;
        if (registering) {
            const HRESULT hr = implemented ? manager->RegisterClassImplCategories(classId, 1, &category)
                                           : manager->RegisterClassReqCategories(classId, 1, &category);
            if (FAILED(hr))
                return hr;
        } else if (implemented) {
            manager->UnRegisterClassImplCategories(classId, 1, &category);
        } else {
            manager->UnRegisterClassReqCategories(classId, 1, &category);
        }
    }
    return S_OK;
}

void NotifyPluginAddRemove()
{
    const UINT message = RegisterWindowMessageA(PluginAddRemoveMessage);
    PostMessageA(HWND_BROADCAST, message, 0, 0);
}
