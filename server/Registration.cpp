#include "server/Registration.h"
#include "server/IRegistrar.h"
#include <comcat.h>

namespace {

constexpr WCHAR ModuleReplacement[] = L"Module";
constexpr WCHAR ScriptType[] = L"REGISTRY";
constexpr char PluginAddRemoveMessage[] = "WMPlayer_PluginAddRemove";
// The registrar's answer for a module without "REGISTRY" resources, which this module is.
constexpr HRESULT NoRegistrationScript = HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);

bool Skipped(const ClassEntry& row) { return row.getDescription && row.getDescription(); }

} // namespace

HRESULT UpdatePluginRegistry(BOOL registering)
{
    return UpdateRegistryFromScript(moduleRecord, PluginScriptId, registering);
}

HRESULT UpdateRegistryFromScript(const ModuleRecord& record, UINT scriptId, BOOL registering)
{
    IRegistrar* registrar = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                  reinterpret_cast<void**>(&registrar));
    if (FAILED(hr))
        return hr;

    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(record.instance, path, MAX_PATH);
    // A path that fills the buffer was cut short: registering it would name another file.
    if (length == 0 || length >= MAX_PATH) {
        registrar->Release();
        return length == 0 ? HRESULT_FROM_WIN32(GetLastError()) : HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }

    WCHAR widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);

    // The registrar's scripts quote values with apostrophes, so the path's own are doubled.
    WCHAR quotedPath[2 * MAX_PATH];
    WCHAR* out = quotedPath;
    for (const WCHAR* in = widePath; *in; ++in) {
        *out++ = *in;
        if (*in == L'\'')
            *out++ = L'\'';
    }
    *out = L'\0';

    registrar->AddReplacement(ModuleReplacement, quotedPath);
    hr = registering ? registrar->ResourceRegister(widePath, scriptId, ScriptType)
                     : registrar->ResourceUnregister(widePath, scriptId, ScriptType);
    registrar->Release();
    return hr;
}

HRESULT RegisterClassCategories(REFCLSID classId, const CategoryEntry* table, BOOL registering)
{
    if (!table)
        return S_OK;

    ICatRegister* manager = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                  reinterpret_cast<void**>(&manager));
    if (FAILED(hr)) {
        if (manager)
            manager->Release();
        return S_OK;
    }

    for (const CategoryEntry* row = table; row->kind != 0; ++row) {
        CATID category = *row->categoryId;
        const bool implemented = row->kind == ImplementedCategory;
        if (registering) {
            hr = implemented ? manager->RegisterClassImplCategories(classId, 1, &category)
                             : manager->RegisterClassReqCategories(classId, 1, &category);
            if (FAILED(hr)) {
                manager->Release();
                return hr;
            }
        } else if (implemented) {
            manager->UnRegisterClassImplCategories(classId, 1, &category);
        } else {
            manager->UnRegisterClassReqCategories(classId, 1, &category);
        }
    }
    manager->Release();
    return S_OK;
}

void NotifyPluginAddRemove()
{
    const UINT message = RegisterWindowMessageA(PluginAddRemoveMessage);
    PostMessageA(HWND_BROADCAST, message, 0, 0);
}

STDAPI DllRegisterServer()
{
    HRESULT hr = S_OK;
    for (const ClassEntry* row = moduleRecord.classTable; row->classId; ++row) {
        if (Skipped(*row))
            continue;
        hr = row->updateRegistry(TRUE);
        if (FAILED(hr))
            break;
        if (moduleRecord.size == ModuleRecordSize) {
            const CategoryEntry* table = row->getCategoryMap ? row->getCategoryMap() : nullptr;
            hr = RegisterClassCategories(*row->classId, table, TRUE);
            if (FAILED(hr))
                break;
        }
    }
    // Having no script to run is this module's normal case.
    if (hr == NoRegistrationScript)
        hr = S_OK;
    NotifyPluginAddRemove();
    return hr;
}

STDAPI DllUnregisterServer()
{
    for (const ClassEntry* row = moduleRecord.classTable; row->classId; ++row) {
        if (Skipped(*row))
            continue;
        row->updateRegistry(FALSE);
        if (moduleRecord.size == ModuleRecordSize && row->getCategoryMap)
            RegisterClassCategories(*row->classId, row->getCategoryMap(), FALSE);
    }
    NotifyPluginAddRemove();
    return S_OK;
}
