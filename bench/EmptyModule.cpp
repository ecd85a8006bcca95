// The floor of the load figure: the smallest module there can be, an entry point that returns TRUE,
// linked like the plug-in (no language runtime, no start-up code) and importing exactly the
// functions that the plug-in imports (EmptyModuleImports.inc, listed from the built DLL).
#include <windows.h>
#include <objbase.h>

extern "C" __declspec(dllexport) const void* const EmptyModuleImports[] = {
#include "EmptyModuleImports.inc"
};

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
