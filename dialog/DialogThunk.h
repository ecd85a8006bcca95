#pragma once
#include <windows.h>

// 13 bytes of i386 code that put an object's address in place of the window argument and
// jump to a dialog procedure: mov dword ptr [esp+4], object; jmp procedure.
#pragma pack(push, 1)
struct DialogThunk {
    BYTE storeFirstArgument[4];
    DWORD object;
    BYTE jump;
    DWORD displacement;
};
#pragma pack(pop)
static_assert(sizeof(DialogThunk) == 13, "the thunk is 13 bytes");

// Executable memory for one thunk. Hosts linked NX_COMPAT cannot run code from the stack or
// the heap, so the thunk gets pages of its own, never writable and executable at once.
class ThunkMemory {
public:
    ThunkMemory() = default;
    ~ThunkMemory();
    ThunkMemory(const ThunkMemory&) = delete;
    ThunkMemory& operator=(const ThunkMemory&) = delete;

    // Reserves writable memory for the thunk; false when none can be had.
    bool Allocate();
    // Writes the thunk, makes it execute-read and flushes it; returns it as a dialog procedure.
    // When it cannot be made executable the memory is given back and the result is null.
    DLGPROC Install(const void* object, DLGPROC procedure);

private:
    void Free();

    DialogThunk* thunk = nullptr;
};
