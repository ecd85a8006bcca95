// The module's load configuration: the stack cookie that the loader randomises before DllMain
// runs, the Control Flow Guard fields that the linker fills in, and what a failed cookie check does.
// The C runtime of this toolchain has none of it, so the module carries its own.
#include "server/LoadConfig.h"
#include <cstdint>

extern "C" {

// The cookie that code compiled with stack protection checks. The loader replaces this default
// with a random value, as it does for any image whose load configuration names it.
uintptr_t __stack_chk_guard = DefaultStackCookie;

// A failed check ends the process at once: no exception handler gets to run on a smashed stack.
[[noreturn]] void __stack_chk_fail()
{
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE))
        asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

} // extern "C"

// Windows documents that an image which skips the C runtime's start-up must make sure of its own
// cookie; so a loader that left the default is made up for here, from values that differ per process
// and per start. This frame may not check the cookie it changes.
__attribute__((no_stack_protector)) void SeedStackCookie()
{
    if (__stack_chk_guard != DefaultStackCookie && __stack_chk_guard != 0)
        return;
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uintptr_t cookie = time.dwLowDateTime ^ time.dwHighDateTime ^ GetCurrentProcessId() ^ GetCurrentThreadId() ^
                       GetTickCount() ^ counter.LowPart ^ counter.HighPart;
    if (cookie == DefaultStackCookie || cookie == 0)
        cookie = DefaultStackCookie + 1;
    __stack_chk_guard = cookie;
}

extern "C" {

#ifdef VIREO_GUARD_CF
// Guarded indirect calls go through this pointer with their target in ECX. The loader of a system
// that enforces the guard points it at its own check; elsewhere every target passes.
static void __fastcall GuardCheckNothing(void*) {}
extern void(__fastcall* const __guard_check_icall_fptr)(void*);
__attribute__((section(".00cfg"))) void(__fastcall* const __guard_check_icall_fptr)(void*) = GuardCheckNothing;

// Defined by the linker when it builds the guard tables.
extern const void* __guard_fids_table;
extern const char __guard_fids_count;
extern const char __guard_flags;
extern const void* __guard_iat_table;
extern const char __guard_iat_count;
extern const void* __guard_longjmp_table;
extern const char __guard_longjmp_count;
#endif

// The linker points the image's load configuration directory at this symbol.
extern const LoadConfigDirectory32 _load_config_used;
const LoadConfigDirectory32 _load_config_used = {
    sizeof(LoadConfigDirectory32),
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    &__stack_chk_guard,
    nullptr, 0, // no exception handlers are registered: the image says so in its characteristics
#ifdef VIREO_GUARD_CF
    reinterpret_cast<const void*>(&__guard_check_icall_fptr),
    nullptr,
    &__guard_fids_table,
    &__guard_fids_count,
    &__guard_flags,
    0, 0, 0, 0,
    &__guard_iat_table,
    &__guard_iat_count,
    &__guard_longjmp_table,
    &__guard_longjmp_count,
#else
    // A compiler without the guard leaves its fields empty.
    nullptr, nullptr, nullptr, nullptr, nullptr,
    0, 0, 0, 0,
    nullptr, nullptr, nullptr, nullptr,
#endif
};

} // extern "C"
