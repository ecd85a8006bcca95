#include "support/StrictGuard.h"
#include "server/LoadConfig.h"
#include "support/PeImage.h"
#include <cstdio>

namespace {

const BYTE* guardedImage;
DWORD guardedSize;
const BYTE* functionTable;
DWORD functionCount;
DWORD entrySize;
LONG checkedCalls;

} // namespace

extern "C" void __cdecl CheckGuardedTarget(const BYTE* target)
{
    InterlockedIncrement(&checkedCalls);
    if (target < guardedImage || target >= guardedImage + guardedSize)
        return;
    for (DWORD i = 0; i < functionCount; ++i) {
        if (guardedImage + *reinterpret_cast<const DWORD*>(functionTable + i * entrySize) == target)
            return;
    }
    std::fprintf(stderr, "Control Flow Guard: the module calls %p, which its guard table does not list\n",
                 static_cast<const void*>(target));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
}

// The module calls its check pointer with the target in ECX and then calls ECX: the checker keeps
// every register, as the system's does.
extern "C" void StrictGuardCheck();
asm(".text\n"
    "_StrictGuardCheck:\n"
    "    pushl %eax\n"
    "    pushl %ecx\n"
    "    pushl %edx\n"
    "    pushl %ecx\n"
    "    call _CheckGuardedTarget\n"
    "    addl $4, %esp\n"
    "    popl %edx\n"
    "    popl %ecx\n"
    "    popl %eax\n"
    "    ret\n");

bool EnforceGuard(HMODULE module)
{
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    if (!directory.VirtualAddress || directory.Size < sizeof(LoadConfigDirectory32))
        return false;
    const auto& config = *AtRva<const LoadConfigDirectory32>(module, directory.VirtualAddress);
    const auto flags = reinterpret_cast<DWORD>(config.GuardFlags);
    if (!config.GuardCFCheckFunctionPointer || !(flags & 0x400)) // CF_FUNCTION_TABLE_PRESENT
        return false;

    guardedImage = reinterpret_cast<const BYTE*>(module);
    guardedSize = OptionalHeader(module).SizeOfImage;
    functionTable = static_cast<const BYTE*>(config.GuardCFFunctionTable);
    functionCount = reinterpret_cast<DWORD>(config.GuardCFFunctionCount);
    entrySize = sizeof(DWORD) + (flags >> 28); // a table entry may carry extra bytes after its address
    auto** check = const_cast<void**>(static_cast<void* const*>(config.GuardCFCheckFunctionPointer));
    DWORD previous = 0;
    if (!VirtualProtect(check, sizeof *check, PAGE_READWRITE, &previous))
        return false;
    *check = reinterpret_cast<void*>(&StrictGuardCheck);
    VirtualProtect(check, sizeof *check, previous, &previous);
    return true;
}

LONG GuardedCallCount()
{
    return checkedCalls;
}
