#pragma once
#include <windows.h>

// The import table entry through which module calls the function called name, or null when
// the module does not import it by that name.
DWORD* ImportSlot(HMODULE module, const char* name);
// Points an import table entry at a function; returns what it pointed at before.
DWORD RedirectImport(DWORD* slot, DWORD function);

// Points one import of a module at a replacement for the holder's life, then restores it.
class ScopedImport {
public:
    ScopedImport(HMODULE module, const char* name, const void* replacement);
    ~ScopedImport();
    ScopedImport(const ScopedImport&) = delete;
    ScopedImport& operator=(const ScopedImport&) = delete;

    bool Patched() const { return slot != nullptr; }

private:
    DWORD* slot;
    DWORD original = 0;
};
