#pragma once
#include <windows.h>
#include <wmp.h>
#include <string>
#include <vector>

// The UI plug-ins as the media player finds them: the entries under its UIPlugins key in the
// 32-bit registry view, each created by its class id through COM.
constexpr char UIPluginsKey[] = "Software\\Microsoft\\MediaPlayer\\UIPlugins";
constexpr char PluginAddRemoveMessage[] = "WMPlayer_PluginAddRemove";
// Capabilities: a plug-in that the player creates at start-up and hands its core, and one with a
// property page in the player's Options.
constexpr DWORD PluginBackground = 0x00000001;
constexpr DWORD PluginHasPropertyPage = 0x80000000;

struct PlayerPlugin {
    std::string classId;
    std::string friendlyName;
    std::string description;
    DWORD capabilities;
    HRESULT created;  // CoCreateInstance's result
    HRESULT coreSet;  // SetCore's, for a background plug-in that was created
};

// Reads every entry and creates each plug-in as the player does at start-up: a background one is
// handed CORE, then given a null core and released.
std::vector<PlayerPlugin> ScanPlayerPlugins(IWMPCore* core);
void PrintPlayerPlugin(const PlayerPlugin& plugin);
// The plug-in's entries as its package writes them, naming the loaded MODULE's file, with the name and
// description from its string table; and their removal. Both in the 32-bit registry view.
LSTATUS WritePlayerEntries(HMODULE module);
LSTATUS RemovePlayerEntries();
std::string ClassIdText(REFCLSID classId);
// Lists the plug-ins, then rescans on every "WMPlayer_PluginAddRemove" broadcast and prints those
// that appeared and went, until the window is closed or SECONDS have passed.
void WatchPlayerPlugins(IWMPCore* core, unsigned seconds);
