// A verifier over the module's imports, in the spirit of Application Verifier's basic checks: each
// import it knows is pointed at a wrapper that checks the rule, then calls the system. It sees only
// the calls the module makes through its import table after InstallVerifier (the attach path only
// when a test runs it again, under the loader's lock), not what system code does with the module's
// objects or calls into it. In a program with the module's code linked in, the program's own import
// table is pointed at the wrappers, and only calls from the module's code (its own section, between
// the two markers below) are checked: the test program's go straight to the system.
#include "support/Verifier.h"
#include "support/ImportSlot.h"
#include <gtest/gtest.h>
#include <objbase.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace {

// What the module holds, by kind and handle, with what it belongs to (a heap, a window).
constexpr char HeapBlock[] = "a heap block", Section[] = "a critical section", Region[] = "a virtual region",
               Key[] = "a registry key", GdiObject[] = "a GDI object", MemoryDc[] = "a memory DC",
               WindowDc[] = "a window DC";
std::mutex lock;
std::map<std::pair<const char*, const void*>, const void*> held;

// The linker sorts .text$ sections by name: the module's (.text$vireo_m) lie between these two.
__attribute__((used, section(".text$vireo_a"))) void ModuleCodeBegins() {}
__attribute__((used, section(".text$vireo_z"))) void ModuleCodeEnds() {}
// Whether every caller is the module's (a DLL's import table), or only callers in the module's section.
bool everyCaller = true;

bool FromModule(void* caller)
{
    return everyCaller || (caller >= reinterpret_cast<void*>(&ModuleCodeBegins) &&
                           caller < reinterpret_cast<void*>(&ModuleCodeEnds));
}
// The system's own function: a program's import of it may point back at its wrapper.
DWORD SystemFunction(const char* name);
#define SYSTEM(name) reinterpret_cast<decltype(&name)>(SystemFunction(#name))
// The first line of every wrapper: a call from outside the module's code goes straight to the system.
#define FROM_MODULE_ONLY(name, ...)                                                                                    \
    if (!FromModule(__builtin_return_address(0)))                                                                      \
    return SYSTEM(name)(__VA_ARGS__)

void Check(bool kept, const char* rule, const char* call)
{
    if (kept)
        return;
    std::fprintf(stderr, "Verifier: %s, broken by %s\n", rule, call);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

template <class Handle>
Handle Obtained(const char* kind, Handle handle, const void* owner = nullptr)
{
    std::lock_guard<std::mutex> hold(lock);
    if (handle)
        held[{kind, handle}] = owner;
    return handle;
}

// Gives back what Obtained recorded: once, and to what it came from.
void GivenBack(const char* kind, const void* handle, const void* owner, const char* rule, const char* call)
{
    std::lock_guard<std::mutex> hold(lock);
    const auto found = held.find({kind, handle});
    Check(found != held.end() && found->second == owner, rule, call);
    held.erase({kind, handle});
}

void NotUnderLoaderLock(const char* call)
{
    const CRITICAL_SECTION* loaderLock = LoaderLock();
    Check(!loaderLock || loaderLock->OwningThread != ULongToHandle(GetCurrentThreadId()),
          "the loader lock: no COM, registry, library loading or waiting inside DllMain", call);
}

LPVOID WINAPI VerifiedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    FROM_MODULE_ONLY(HeapAlloc, heap, flags, size);
    return Obtained(HeapBlock, SYSTEM(HeapAlloc)(heap, flags, size), heap);
}

BOOL WINAPI VerifiedHeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    FROM_MODULE_ONLY(HeapFree, heap, flags, block);
    if (block)
        GivenBack(HeapBlock, block, heap, "heap: a block is freed on its own heap, once", "HeapFree");
    return SYSTEM(HeapFree)(heap, flags, block);
}

void WINAPI VerifiedInitializeCriticalSection(CRITICAL_SECTION* section)
{
    FROM_MODULE_ONLY(InitializeCriticalSection, section);
    std::unique_lock<std::mutex> hold(lock);
    Check(held.emplace(std::make_pair(Section, section), nullptr).second, "critical sections: initialised once",
          "InitializeCriticalSection");
    hold.unlock();
    SYSTEM(InitializeCriticalSection)(section);
}

// A section never initialised, or deleted, has no debug information. One that attach initialised
// is known from its first use.
void WINAPI VerifiedEnterCriticalSection(CRITICAL_SECTION* section)
{
    FROM_MODULE_ONLY(EnterCriticalSection, section);
    Check(section->DebugInfo != nullptr, "critical sections: initialised before use", "EnterCriticalSection");
    SYSTEM(EnterCriticalSection)(Obtained(Section, section));
}

void WINAPI VerifiedLeaveCriticalSection(CRITICAL_SECTION* section)
{
    FROM_MODULE_ONLY(LeaveCriticalSection, section);
    Check(section->OwningThread == ULongToHandle(GetCurrentThreadId()),
          "critical sections: left only by the thread that holds them", "LeaveCriticalSection");
    SYSTEM(LeaveCriticalSection)(section);
}

void WINAPI VerifiedDeleteCriticalSection(CRITICAL_SECTION* section)
{
    FROM_MODULE_ONLY(DeleteCriticalSection, section);
    Check(section->OwningThread == nullptr, "critical sections: never deleted while held", "DeleteCriticalSection");
    SYSTEM(DeleteCriticalSection)(section);
    std::lock_guard<std::mutex> hold(lock);
    held.erase({Section, section});
}

void NotWritableAndExecutable(DWORD protect, const char* call)
{
    Check(!(protect & (PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)),
          "virtual memory: never writable and executable at once", call);
}

LPVOID WINAPI VerifiedVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    FROM_MODULE_ONLY(VirtualAlloc, address, size, type, protect);
    NotWritableAndExecutable(protect, "VirtualAlloc");
    LPVOID base = SYSTEM(VirtualAlloc)(address, size, type, protect);
    return address ? base : Obtained(Region, base);
}

BOOL WINAPI VerifiedVirtualProtect(LPVOID address, SIZE_T size, DWORD protect, PDWORD previous)
{
    FROM_MODULE_ONLY(VirtualProtect, address, size, protect, previous);
    NotWritableAndExecutable(protect, "VirtualProtect");
    return SYSTEM(VirtualProtect)(address, size, protect, previous);
}

BOOL WINAPI VerifiedVirtualFree(LPVOID address, SIZE_T size, DWORD type)
{
    FROM_MODULE_ONLY(VirtualFree, address, size, type);
    constexpr char rule[] = "virtual memory: MEM_RELEASE only with the allocation's base and size 0";
    if (type & MEM_RELEASE) {
        Check(size == 0, rule, "VirtualFree");
        GivenBack(Region, address, nullptr, rule, "VirtualFree");
    }
    return SYSTEM(VirtualFree)(address, size, type);
}

// Predefined keys (HKEY_CURRENT_USER and the like) have the top bit set.
bool RootKey(HKEY key) { return reinterpret_cast<ULONG_PTR>(key) >= 0x80000000; }

LONG Opened(LONG error, const HKEY* key)
{
    if (error == ERROR_SUCCESS && !RootKey(*key))
        Obtained(Key, *key);
    return error;
}

LONG WINAPI VerifiedRegOpenKeyA(HKEY root, LPCSTR path, PHKEY key)
{
    FROM_MODULE_ONLY(RegOpenKeyA, root, path, key);
    NotUnderLoaderLock("RegOpenKeyA");
    return Opened(SYSTEM(RegOpenKeyA)(root, path, key), key);
}

LONG WINAPI VerifiedRegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR type, DWORD options,
                                    REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    FROM_MODULE_ONLY(RegCreateKeyExA, root, path, reserved, type, options, access, security, key, disposition);
    NotUnderLoaderLock("RegCreateKeyExA");
    return Opened(SYSTEM(RegCreateKeyExA)(root, path, reserved, type, options, access, security, key, disposition), key);
}

LONG WINAPI VerifiedRegCloseKey(HKEY key)
{
    FROM_MODULE_ONLY(RegCloseKey, key);
    NotUnderLoaderLock("RegCloseKey");
    Check(!RootKey(key), "registry: a root key is never closed", "RegCloseKey");
    GivenBack(Key, key, nullptr, "registry: no key closed twice", "RegCloseKey");
    return SYSTEM(RegCloseKey)(key);
}

HRESULT WINAPI VerifiedCoCreateInstance(REFCLSID id, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    FROM_MODULE_ONLY(CoCreateInstance, id, outer, context, iid, object);
    NotUnderLoaderLock("CoCreateInstance");
    return SYSTEM(CoCreateInstance)(id, outer, context, iid, object);
}

HBITMAP WINAPI VerifiedCreateCompatibleBitmap(HDC dc, int w, int h)
{
    FROM_MODULE_ONLY(CreateCompatibleBitmap, dc, w, h);
    return Obtained(GdiObject, SYSTEM(CreateCompatibleBitmap)(dc, w, h));
}
HBITMAP WINAPI VerifiedLoadBitmapA(HINSTANCE instance, LPCSTR name)
{
    FROM_MODULE_ONLY(LoadBitmapA, instance, name);
    return Obtained(GdiObject, SYSTEM(LoadBitmapA)(instance, name));
}
HDC WINAPI VerifiedCreateCompatibleDC(HDC dc)
{
    FROM_MODULE_ONLY(CreateCompatibleDC, dc);
    return Obtained(MemoryDc, SYSTEM(CreateCompatibleDC)(dc));
}
HDC WINAPI VerifiedGetDC(HWND window)
{
    FROM_MODULE_ONLY(GetDC, window);
    return Obtained(WindowDc, SYSTEM(GetDC)(window), window);
}

// Whether one of the module's memory DCs still has the object selected.
bool Selected(HGDIOBJ object)
{
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& entry : held) {
        const auto dc = static_cast<HDC>(const_cast<void*>(entry.first.second));
        if (entry.first.first == MemoryDc && GetCurrentObject(dc, GetObjectType(object)) == object)
            return true;
    }
    return false;
}

// A delete must succeed: on Windows a second one may hit an object that now belongs to the player.
BOOL Deleted(BOOL deleted, const char* call)
{
    Check(deleted, "GDI: every delete the module makes succeeds", call);
    return deleted;
}

BOOL WINAPI VerifiedDeleteObject(HGDIOBJ object)
{
    FROM_MODULE_ONLY(DeleteObject, object);
    Check(!Selected(object), "GDI: no object deleted while selected into a DC", "DeleteObject");
    GivenBack(GdiObject, object, nullptr, "GDI: no object deleted twice", "DeleteObject");
    return Deleted(SYSTEM(DeleteObject)(object), "DeleteObject");
}

BOOL WINAPI VerifiedDeleteDC(HDC dc)
{
    FROM_MODULE_ONLY(DeleteDC, dc);
    GivenBack(MemoryDc, dc, nullptr, "GDI: no DC deleted twice", "DeleteDC");
    return Deleted(SYSTEM(DeleteDC)(dc), "DeleteDC");
}

int WINAPI VerifiedReleaseDC(HWND window, HDC dc)
{
    FROM_MODULE_ONLY(ReleaseDC, window, dc);
    GivenBack(WindowDc, dc, window, "USER: a DC is released to the window it came from", "ReleaseDC");
    return SYSTEM(ReleaseDC)(window, dc);
}

// The window the user is working in is a visible window of this thread: a box without it as its
// owner leaves that window clickable behind it.
int WINAPI VerifiedMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    FROM_MODULE_ONLY(MessageBoxA, owner, text, caption, type);
    Check(owner && IsWindowVisible(owner) && GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId(),
          "USER: a message box is owned by the window the user is working in", "MessageBoxA");
    return SYSTEM(MessageBoxA)(owner, text, caption, type);
}

#define VERIFIED(name) {#name, reinterpret_cast<DWORD>(&Verified##name), 0}
struct {
    const char* name;
    DWORD wrapper;
    DWORD system;  // what the first import table pointed at
} wrappers[] = {
    VERIFIED(HeapAlloc), VERIFIED(HeapFree), VERIFIED(InitializeCriticalSection), VERIFIED(EnterCriticalSection),
    VERIFIED(LeaveCriticalSection), VERIFIED(DeleteCriticalSection), VERIFIED(VirtualAlloc), VERIFIED(VirtualProtect),
    VERIFIED(VirtualFree), VERIFIED(RegOpenKeyA), VERIFIED(RegCreateKeyExA), VERIFIED(RegCloseKey),
    VERIFIED(CoCreateInstance), VERIFIED(CreateCompatibleBitmap), VERIFIED(CreateCompatibleDC), VERIFIED(LoadBitmapA),
    VERIFIED(DeleteObject), VERIFIED(DeleteDC), VERIFIED(GetDC), VERIFIED(ReleaseDC),
    VERIFIED(MessageBoxA),
};
#undef VERIFIED

DWORD SystemFunction(const char* name)
{
    for (const auto& wrapper : wrappers)
        if (std::strcmp(wrapper.name, name) == 0)
            return wrapper.system;
    return 0;
}

} // namespace

// Inside DllMain this thread holds the loader lock: the PEB (FS:0x30) points at it from 0xA0.
CRITICAL_SECTION* LoaderLock()
{
    const BYTE* peb = nullptr;
    asm("movl %%fs:0x30, %0" : "=r"(peb));
    return *reinterpret_cast<CRITICAL_SECTION* const*>(peb + 0xA0);
}

void InstallVerifier(HMODULE module)
{
    for (auto& wrapper : wrappers) {
        if (DWORD* slot = ImportSlot(module, wrapper.name)) {
            if (!wrapper.system)
                wrapper.system = *slot;
            *slot = wrapper.wrapper;
        }
    }
}

void VerifyUnloaded()
{
    std::lock_guard<std::mutex> hold(lock);
    Check(held.empty(), "nothing is left when the module unloads", held.empty() ? "" : held.begin()->first.first);
}

void VerifyEveryTest()
{
    struct AfterEachTest : ::testing::EmptyTestEventListener {
        void OnTestEnd(const ::testing::TestInfo&) override { VerifyUnloaded(); }
    };
    everyCaller = false;
    InstallVerifier(GetModuleHandleA(nullptr));
    ::testing::UnitTest::GetInstance()->listeners().Append(new AfterEachTest);
}
