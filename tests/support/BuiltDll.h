#pragma once
#include "support/StrictGuard.h"
#include "support/Verifier.h"
#include <windows.h>
#include <string>

// The built VIREOPLUGIN.DLL lies beside the test programs.
inline std::wstring BuiltDllPath()
{
    WCHAR path[MAX_PATH];
    const std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return program.substr(0, program.find_last_of(L"\\/") + 1) + L"VIREOPLUGIN.DLL";
}

// Loads the DLL (or a copy of it) for one test, with its guard enforced and its imports verified,
// and unloads it after; once it is gone, nothing it obtained may be left.
class LoadedDll {
public:
    explicit LoadedDll(const std::wstring& path = BuiltDllPath()) : module(LoadLibraryW(path.c_str()))
    {
        if (module) {
            EnforceGuard(module);
            InstallVerifier(module);
        }
    }
    ~LoadedDll()
    {
        HMODULE stillMapped = nullptr;
        if (module && FreeLibrary(module) &&
            !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(module), &stillMapped))
            VerifyUnloaded();
    }
    LoadedDll(const LoadedDll&) = delete;
    LoadedDll& operator=(const LoadedDll&) = delete;

    HMODULE Handle() const { return module; }

    template <class Function>
    Function Export(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

private:
    HMODULE module;
};

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();
