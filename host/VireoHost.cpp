// vireohost: loads the plug-in the way the media player does, for people and for tests.
//   vireohost properties [DLL] [--snapshot FILE.bmp]
//   vireohost plugins [--watch SECONDS]
//   vireohost info [DLL]
//   vireohost register [DLL] | unregister [DLL]
// The player core's ids are defined here, in the one file that asks for them.
#include <initguid.h>
#include "host/HostCore.h"
#include "host/PlayerPlugins.h"
#include "host/Snapshot.h"
#include "plugin/IWMPPluginUI.h"
#include "server/ClassTable.h"
#include "settings/QualitySetting.h"
#include "settings/RegistrySettings.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr char DefaultDll[] = "VIREOPLUGIN.DLL";

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using EntryFunction = HRESULT(WINAPI*)();

int Fail(const char* what, HRESULT hr)
{
    std::printf("error: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

void Report(const char* what, HRESULT hr) { std::printf("%s: 0x%08lX\n", what, static_cast<unsigned long>(hr)); }

template <class Function>
Function ExportOf(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The DLL beside this program, when none is named.
std::string DllPath(const char* given)
{
    if (given)
        return given;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + DefaultDll;
}

HMODULE LoadDll(const std::string& path)
{
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module)
        std::printf("error: cannot load %s: 0x%08lX\n", path.c_str(),
                    static_cast<unsigned long>(HRESULT_FROM_WIN32(GetLastError())));
    return module;
}

// The player's real core when the platform has one, otherwise the host's own.
IWMPCore* MakeCore(HostCore& fallback, bool& real)
{
    IWMPCore* core = nullptr;
    real = SUCCEEDED(CoCreateInstance(CLSID_WindowsMediaPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPCore,
                                      reinterpret_cast<void**>(&core)));
    if (real)
        return core;
    fallback.AddRef();
    return &fallback;
}

HWND MakeMainWindow()
{
    HWND window = CreateWindowExA(0, "STATIC", "Vireo Plugin Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 60, 640,
                                  480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(window);
    return window;
}

// Without a DLL, the plug-in is the one the player lists, created through COM, as its Options do.
HRESULT FindListedPlugin()
{
    HostCore core;
    const std::string id = ClassIdText(CLSID_VireoPlugin);
    for (const PlayerPlugin& plugin : ScanPlayerPlugins(&core))
        if (lstrcmpiA(plugin.classId.c_str(), id.c_str()) == 0)
            return plugin.capabilities & PluginHasPropertyPage ? S_OK : E_NOTIMPL;
    return REGDB_E_CLASSNOTREG;
}

int ShowProperties(const char* dll, const char* snapshot)
{
    IWMPPluginUI* plugin = nullptr;
    HMODULE module = nullptr;
    if (dll) {
        module = LoadDll(dll);
        if (!module)
            return 1;
        auto getClassObject = ExportOf<GetClassObjectFunction>(module, "DllGetClassObject");
        if (!getClassObject)
            return Fail("finding DllGetClassObject", HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
        IClassFactory* factory = nullptr;
        HRESULT hr = getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        Report("DllGetClassObject", hr);
        if (FAILED(hr))
            return Fail("DllGetClassObject", hr);
        hr = factory->CreateInstance(nullptr, IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin));
        factory->Release();
        Report("CreateInstance", hr);
        if (FAILED(hr))
            return Fail("CreateInstance", hr);
    } else {
        HRESULT hr = FindListedPlugin();
        if (FAILED(hr))
            return Fail("finding the plug-in with a property page among the player's (HKLM\\Software\\Microsoft\\MediaPlayer\\UIPlugins)", hr);
        hr = CoCreateInstance(CLSID_VireoPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPluginUI,
                                            reinterpret_cast<void**>(&plugin));
        Report("CoCreateInstance", hr);
        if (FAILED(hr))
            return Fail("creating the plug-in through COM (is it installed? or name its DLL)", hr);
    }

    HostCore fallback;
    bool realCore = false;
    IWMPCore* core = MakeCore(fallback, realCore);
    std::printf("core: %s\n", realCore ? "the platform's player core" : "the host's own core");
    HWND mainWindow = MakeMainWindow();

    Report("SetCore", plugin->SetCore(core));
    std::thread photographer;
    bool saved = false;
    if (snapshot) {
        const DWORD thread = GetCurrentThreadId();
        photographer = std::thread([thread, snapshot, &saved] { saved = SnapshotAndClose(thread, snapshot); });
    }
    Report("DisplayPropertyPage", plugin->DisplayPropertyPage(mainWindow));
    if (photographer.joinable())
        photographer.join();
    Report("SetCore(null)", plugin->SetCore(nullptr));
    std::printf("Release: %lu\n", plugin->Release());
    core->Release();
    DestroyWindow(mainWindow);

    if (!module)
        module = GetModuleHandleA(DefaultDll);
    if (auto canUnloadNow = module ? ExportOf<EntryFunction>(module, "DllCanUnloadNow") : nullptr) {
        const HRESULT hr = canUnloadNow();
        std::printf("DllCanUnloadNow: 0x%08lX (%s)\n", static_cast<unsigned long>(hr),
                    hr == S_OK ? "may unload" : "must stay loaded");
    }
    if (snapshot) {
        if (!saved)
            return Fail("taking the picture of the dialog", E_FAIL);
        std::printf("picture: %s\n", snapshot);
    }
    if (dll)
        FreeLibrary(module);
    return 0;
}

const char* TypeName(DWORD type)
{
    switch (type) {
    case REG_DWORD: return "REG_DWORD";
    case REG_BINARY: return "REG_BINARY";
    case REG_SZ: return "REG_SZ";
    case REG_QWORD: return "REG_QWORD";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "other";
    }
}

void PrintSetting()
{
    HKEY key = nullptr;
    BYTE data[64] = {};
    DWORD type = 0, size = sizeof data;
    bool present = false;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, QualityKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        present = RegQueryValueExA(key, QualityValueName, nullptr, &type, data, &size) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (present) {
        std::printf("stored: HKCU\\%s\\%s = %s, %lu bytes:", QualityKeyPath, QualityValueName, TypeName(type),
                    static_cast<unsigned long>(size));
        for (DWORD i = 0; i < size && i < sizeof data; ++i)
            std::printf(" %02X", data[i]);
        std::printf("\n");
    } else {
        std::printf("stored: nothing (HKCU\\%s\\%s is absent)\n", QualityKeyPath, QualityValueName);
    }
    const DWORD shown = ReadDwordSetting(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName, DefaultQuality);
    std::printf("the dialog shows: %s\n", shown ? "RealTime" : "Every Frame");
}

bool PrintVersion(const std::string& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::string block(size, '\0');
    if (!size || !GetFileVersionInfoA(path.c_str(), 0, size, &block[0]))
        return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &length))
        std::printf("file version: %lu.%lu.%lu.%lu\n", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                    static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    for (const char* name : {"ProductName", "FileDescription", "CompanyName", "LegalCopyright"}) {
        char* value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (VerQueryValueA(&block[0], query.c_str(), reinterpret_cast<void**>(&value), &length))
            std::printf("%s: %s\n", name, value);
    }
    return true;
}

int Info(const char* dll)
{
    PrintSetting();
    const std::string path = DllPath(dll);
    std::printf("module: %s\n", path.c_str());
    if (!PrintVersion(path))
        return Fail("reading the version resource", HRESULT_FROM_WIN32(GetLastError()));
    return 0;
}

int Register(const char* dll, bool registering)
{
    HMODULE module = LoadDll(DllPath(dll));
    if (!module)
        return 1;
    const char* entry = registering ? "DllRegisterServer" : "DllUnregisterServer";
    auto function = ExportOf<EntryFunction>(module, entry);
    if (!function) {
        FreeLibrary(module);
        return Fail("finding the entry point", HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    }
    // As the package does: the module's broadcast once the entries are written, or once they are gone.
    const LSTATUS written = registering ? WritePlayerEntries(module) : RemovePlayerEntries();
    if (written != ERROR_SUCCESS) {
        FreeLibrary(module);
        return Fail(registering ? "writing the player's entries" : "removing the player's entries", HRESULT_FROM_WIN32(written));
    }
    const HRESULT hr = function();
    Report(entry, hr);
    FreeLibrary(module);
    return FAILED(hr) ? Fail(entry, hr) : 0;
}

int ListPlugins(const char* watch)
{
    HostCore fallback;
    bool realCore = false;
    IWMPCore* core = MakeCore(fallback, realCore);
    if (watch) {
        WatchPlayerPlugins(core, std::strtoul(watch, nullptr, 10));
    } else {
        for (const PlayerPlugin& plugin : ScanPlayerPlugins(core))
            PrintPlayerPlugin(plugin);
    }
    core->Release();
    return 0;
}

int Usage()
{
    std::printf("usage: vireohost properties [DLL] [--snapshot FILE.bmp]\n"
                "       vireohost plugins [--watch SECONDS]\n"
                "       vireohost info [DLL]\n"
                "       vireohost register [DLL]\n"
                "       vireohost unregister [DLL]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    const char* dll = nullptr;
    const char* snapshot = nullptr;
    const char* watch = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--snapshot" && i + 1 < argc)
            snapshot = argv[++i];
        else if (std::string(argv[i]) == "--watch" && i + 1 < argc && command == "plugins")
            watch = argv[++i];
        else if (!dll)
            dll = argv[i];
        else
            return Usage();
    }

    // As strict as the media player, which is linked NX_COMPAT.
    SetProcessDEPPolicy(PROCESS_DEP_ENABLE | PROCESS_DEP_DISABLE_ATL_THUNK_EMULATION);
    const HRESULT init = CoInitialize(nullptr);
    if (FAILED(init))
        return Fail("CoInitialize", init);

    int status;
    if (command == "properties")
        status = ShowProperties(dll, snapshot);
    else if (command == "plugins" && !dll)
        status = ListPlugins(watch);
    else if (command == "info")
        status = Info(dll);
    else if (command == "register" || command == "unregister")
        status = Register(dll, command == "register");
    else
        status = Usage();
    CoUninitialize();
    return status;
}
