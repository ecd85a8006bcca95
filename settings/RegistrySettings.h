#pragma once
#include <windows.h>

// Reads a 32-bit value; any failure gives the fallback. Data shorter than 4 bytes is laid
// over the fallback from its low byte up.
DWORD ReadDwordSetting(HKEY root, const char* keyPath, const char* valueName, DWORD fallback);

// Writes a REG_DWORD, creating the key (with the value name as its class) when it is missing.
// Returns whether the value was stored; on failure the stored value is as it was.
bool WriteDwordSetting(HKEY root, const char* keyPath, const char* valueName, DWORD value);
