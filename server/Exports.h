#pragma once
#include <windows.h>

// The library entry routine; the platform headers declare the four exports beside it.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
