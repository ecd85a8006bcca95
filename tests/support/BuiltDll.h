#pragma once
#include "support/StrictGuard.h"
#include "support/Verifier.h"
#include <windows.h>
#include <string>

// The built VIREOPLUGIN.DLL lies beside the test programs.
inline std::string BuiltDllPath()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + "VIREOPLUGIN.DLL";
}

// Loads the DLL for one test, with its guard enforced and its imports verified, and unloads it
// after; once it is gone, nothing it obtained may be left.
class LoadedDll {
public:
    LoadedDll() : module(LoadLibraryA(BuiltDllPath().c_str()))
    {
        if (module) {
            EnforceGuard(module);
            InstallVerifier(module);
        }
    }
    ~LoadedDll()
    {
        if (module && FreeLibrary(module) && !GetModuleHandleA(BuiltDllPath().c_str()))
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
