#pragma once
#include <windows.h>

// Waits (bounded) for the properties dialog of the given thread, saves what the screen shows
// of it as a 24-bit BMP file, then closes it with Cancel. Returns whether the picture was saved.
bool SnapshotAndClose(DWORD dialogThread, const char* bmpPath);
