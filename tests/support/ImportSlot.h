#pragma once
#include <windows.h>

// The import table entry through which module calls the function called name, or null when
// the module does not import it by that name. The entry is made writable (some linkers put import
// tables among read-only data), so it can be pointed elsewhere (with ScopedValue, for one test).
DWORD* ImportSlot(HMODULE module, const char* name);
