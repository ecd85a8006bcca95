#pragma once
#include <windows.h>

// Registers or unregisters the plug-in class through its registration script.
HRESULT UpdatePluginRegistry(BOOL registering);
