// The floor of the load figure: the smallest module there can be, an entry point that returns TRUE,
// linked like the plug-in (no language runtime, no start-up code) and importing one function from
// each system DLL that the plug-in imports.
#include <windows.h>
#include <objbase.h>

extern "C" __declspec(dllexport) const void* const EmptyModuleImports[] = {
    reinterpret_cast<const void*>(&CoCreateInstance), // ole32
    reinterpret_cast<const void*>(&DialogBoxParamA),  // user32
    reinterpret_cast<const void*>(&BitBlt),           // gdi32
    reinterpret_cast<const void*>(&RegOpenKeyA),      // advapi32
};

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
