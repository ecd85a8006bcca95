#include "host/PlayerPlugins.h"
#include "dialog/DialogResources.h"
#include "plugin/IWMPPluginUI.h"
#include "server/ClassTable.h"
#include "settings/RegistrySettings.h"
#include <cstdio>

namespace {

std::string ReadString(HKEY key, const char* name)
{
    char value[512] = "";
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return value;
}

DWORD ReadDword(HKEY key, const char* name)
{
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    return value;
}

// Creates the plug-in by its class id; a background plug-in gets the core and then gives it back.
void Create(PlayerPlugin& plugin, IWMPCore* core)
{
    wchar_t text[64] = L"";
    CLSID classId = {};
    MultiByteToWideChar(CP_ACP, 0, plugin.classId.c_str(), -1, text, 64);
    plugin.created = CLSIDFromString(text, &classId);
    if (FAILED(plugin.created))
        return;
    IWMPPluginUI* instance = nullptr;
    plugin.created = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPluginUI,
                                      reinterpret_cast<void**>(&instance));
    if (FAILED(plugin.created))
        return;
    if (plugin.capabilities & PluginBackground) {
        plugin.coreSet = instance->SetCore(core);
        instance->SetCore(nullptr);
    }
    instance->Release();
}

LSTATUS SetString(HKEY root, const std::string& path, const char* name, const std::string& value)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), value.size() + 1);
    RegCloseKey(key);
    return status;
}

LSTATUS DeleteTree(const char* parent, const std::string& name)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key);
    if (status != ERROR_SUCCESS)
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    status = RegDeleteTreeA(key, name.c_str());
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyExA(key, name.c_str(), KEY_WOW64_32KEY, 0);
    RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

constexpr char ClassesKey[] = "Software\\Classes\\CLSID";

struct Watch {
    IWMPCore* core;
    UINT addRemove;
    std::vector<PlayerPlugin> known;
};

bool Listed(const std::vector<PlayerPlugin>& plugins, const PlayerPlugin& plugin)
{
    for (const PlayerPlugin& other : plugins)
        if (other.classId == plugin.classId)
            return true;
    return false;
}

void PrintChange(const char* what, const PlayerPlugin& plugin)
{
    std::printf("%s: %s %s (CoCreateInstance: 0x%08lX)\n", what, plugin.classId.c_str(), plugin.friendlyName.c_str(),
                static_cast<unsigned long>(plugin.created));
}

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* watch = reinterpret_cast<Watch*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (watch && message == watch->addRemove) {
        const std::vector<PlayerPlugin> now = ScanPlayerPlugins(watch->core);
        for (const PlayerPlugin& plugin : now)
            if (!Listed(watch->known, plugin))
                PrintChange("appeared", plugin);
        for (const PlayerPlugin& plugin : watch->known)
            if (!Listed(now, plugin))
                PrintChange("went", plugin);
        watch->known = now;
        return 0;
    }
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

std::string ClassIdText(REFCLSID classId)
{
    wchar_t wide[40] = L"";
    char text[40] = "";
    StringFromGUID2(classId, wide, 40);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

LSTATUS WritePlayerEntries(HMODULE module)
{
    char path[MAX_PATH] = "", name[256] = "", description[256] = "";
    if (!GetModuleFileNameA(module, path, MAX_PATH) || !LoadStringA(module, IDS_PLUGIN_NAME, name, sizeof name) ||
        !LoadStringA(module, IDS_PLUGIN_DESCRIPTION, description, sizeof description))
        return GetLastError();
    const std::string id = ClassIdText(CLSID_VireoPlugin);
    const std::string server = std::string(ClassesKey) + "\\" + id + "\\InprocServer32";
    const std::string entry = std::string(UIPluginsKey) + "\\" + id;
    LSTATUS status = SetString(HKEY_LOCAL_MACHINE, server, nullptr, path);
    if (status == ERROR_SUCCESS)
        status = SetString(HKEY_LOCAL_MACHINE, server, "ThreadingModel", "Apartment");
    if (status == ERROR_SUCCESS)
        status = SetString(HKEY_LOCAL_MACHINE, entry, "FriendlyName", name);
    if (status == ERROR_SUCCESS)
        status = SetString(HKEY_LOCAL_MACHINE, entry, "Description", description);
    // This 32-bit program's own view is the 32-bit one.
    if (status == ERROR_SUCCESS &&
        !WriteDwordSetting(HKEY_LOCAL_MACHINE, entry.c_str(), "Capabilities", PluginBackground | PluginHasPropertyPage))
        status = ERROR_WRITE_FAULT;
    return status;
}

LSTATUS RemovePlayerEntries()
{
    const std::string id = ClassIdText(CLSID_VireoPlugin);
    const LSTATUS status = DeleteTree(UIPluginsKey, id);
    return status != ERROR_SUCCESS ? status : DeleteTree(ClassesKey, id);
}

std::vector<PlayerPlugin> ScanPlayerPlugins(IWMPCore* core)
{
    std::vector<PlayerPlugin> plugins;
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UIPluginsKey, 0, KEY_READ | KEY_WOW64_32KEY, &root) != ERROR_SUCCESS)
        return plugins;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        PlayerPlugin plugin = {name, ReadString(key, "FriendlyName"), ReadString(key, "Description"),
                               ReadDword(key, "Capabilities"), S_OK, S_FALSE};
        RegCloseKey(key);
        Create(plugin, core);
        plugins.push_back(plugin);
    }
    RegCloseKey(root);
    // Nothing stays loaded between scans, so the host holds no plug-in's file.
    CoFreeUnusedLibrariesEx(0, 0);
    return plugins;
}

void PrintPlayerPlugin(const PlayerPlugin& plugin)
{
    std::printf("%s: %s\n", plugin.classId.c_str(), plugin.friendlyName.c_str());
    std::printf("  description: %s\n", plugin.description.c_str());
    std::printf("  capabilities: 0x%08lX (%s, %s)\n", static_cast<unsigned long>(plugin.capabilities),
                plugin.capabilities & PluginBackground ? "background" : "not background",
                plugin.capabilities & PluginHasPropertyPage ? "property page" : "no property page");
    std::printf("  CoCreateInstance: 0x%08lX\n", static_cast<unsigned long>(plugin.created));
    if (SUCCEEDED(plugin.created) && (plugin.capabilities & PluginBackground))
        std::printf("  SetCore: 0x%08lX\n", static_cast<unsigned long>(plugin.coreSet));
}

void WatchPlayerPlugins(IWMPCore* core, unsigned seconds)
{
    Watch watch = {core, RegisterWindowMessageA(PluginAddRemoveMessage), ScanPlayerPlugins(core)};
    for (const PlayerPlugin& plugin : watch.known)
        PrintPlayerPlugin(plugin);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WatchProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VireoPluginWatch";
    RegisterClassA(&windowClass);
    // A top-level window, hidden: broadcasts reach top-level windows only.
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Vireo Plugin Watch", WS_OVERLAPPED, 0, 0, 0, 0,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&watch));
    SetTimer(window, 1, seconds * 1000, nullptr);
    std::printf("watching for %u seconds\n", seconds);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
}
