#include "dialog/DialogThunk.h"

ThunkMemory::~ThunkMemory() { Free(); }

void ThunkMemory::Free()
{
    if (thunk)
        VirtualFree(thunk, 0, MEM_RELEASE);
    thunk = nullptr;
}

bool ThunkMemory::Allocate()
{
    thunk = static_cast<DialogThunk*>(
        VirtualAlloc(nullptr, sizeof(DialogThunk), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    return thunk != nullptr;
}

DLGPROC ThunkMemory::Install(const void* object, DLGPROC procedure)
{
    thunk->storeFirstArgument[0] = 0xC7;
    thunk->storeFirstArgument[1] = 0x44;
    thunk->storeFirstArgument[2] = 0x24;
    thunk->storeFirstArgument[3] = 0x04;
    thunk->object = reinterpret_cast<DWORD>(object);
    thunk->jump = 0xE9;
    thunk->displacement =
        reinterpret_cast<DWORD>(procedure) - (reinterpret_cast<DWORD>(thunk) + sizeof(DialogThunk));
    DWORD previous = 0;
    // Left writable, the page would not run under DEP: no thunk is better than a crash.
    if (!VirtualProtect(thunk, sizeof(DialogThunk), PAGE_EXECUTE_READ, &previous)) {
        Free();
        return nullptr;
    }
    FlushInstructionCache(GetCurrentProcess(), thunk, sizeof(DialogThunk));
    return reinterpret_cast<DLGPROC>(thunk);
}
