#pragma once
#include <windows.h>

// The import table entry through which module calls the function called name, or null when
// the module does not import it by that name. The linker puts import tables in a writable
// section, so an entry can be pointed elsewhere (with ScopedValue, for one test).
DWORD* ImportSlot(HMODULE module, const char* name);
