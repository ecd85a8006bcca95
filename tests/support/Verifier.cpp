// A verifier over the module's imports, in the spirit of Application Verifier's basic checks: each
// import it knows is pointed at a wrapper that checks the rule, then calls the system. It sees only
// the calls the module makes through its import table after InstallVerifier: not the attach path,
// which runs inside LoadLibrary before anything can be installed, and not what system code does
// with the module's objects or calls into it.
#include "support/Verifier.h"
#include "support/ImportSlot.h"
#include <objbase.h>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>

namespace {

using Hold = std::lock_guard<std::mutex>;
std::mutex lock;
std::map<void*, HANDLE> heapBlocks;
std::set<void*> regions;
std::set<HKEY> keys;
std::set<CRITICAL_SECTION*> sections;
std::set<HGDIOBJ> gdiObjects;
std::map<HGDIOBJ, HDC> selected;
std::map<HDC, HWND> windowDcs;

void Check(bool kept, const char* rule, const char* call)
{
    if (kept)
        return;
    std::fprintf(stderr, "Verifier: %s, broken by %s\n", rule, call);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

// Inside DllMain this thread holds the loader lock: the PEB (FS:0x30) points at it from 0xA0.
void NotUnderLoaderLock(const char* call)
{
    const BYTE* peb = nullptr;
    asm("movl %%fs:0x30, %0" : "=r"(peb));
    const auto* loaderLock = *reinterpret_cast<CRITICAL_SECTION* const*>(peb + 0xA0);
    Check(!loaderLock || loaderLock->OwningThread != ULongToHandle(GetCurrentThreadId()),
          "the loader lock: no COM, registry, library loading or waiting inside DllMain", call);
}

void NotWritableAndExecutable(DWORD protect, const char* call)
{
    Check(!(protect & (PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)),
          "virtual memory: never writable and executable at once", call);
}

LPVOID WINAPI VerifiedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    LPVOID block = HeapAlloc(heap, flags, size);
    Hold hold(lock);
    if (block)
        heapBlocks[block] = heap;
    return block;
}

BOOL WINAPI VerifiedHeapFree(HANDLE heap, DWORD flags, LPVOID block)
{
    if (block) {
        Hold hold(lock);
        const auto found = heapBlocks.find(block);
        Check(found != heapBlocks.end() && found->second == heap, "heap: a block is freed on its own heap, once",
              "HeapFree");
        heapBlocks.erase(block);
    }
    return HeapFree(heap, flags, block);
}

void WINAPI VerifiedInitializeCriticalSection(CRITICAL_SECTION* section)
{
    {
        Hold hold(lock);
        Check(sections.insert(section).second, "critical sections: initialised once", "InitializeCriticalSection");
    }
    InitializeCriticalSection(section);
}

// A section never initialised, or deleted, has no debug information. One that attach initialised
// is known from its first use.
void WINAPI VerifiedEnterCriticalSection(CRITICAL_SECTION* section)
{
    Check(section->DebugInfo != nullptr, "critical sections: initialised before use", "EnterCriticalSection");
    EnterCriticalSection(section);
    Hold hold(lock);
    sections.insert(section);
}

void WINAPI VerifiedLeaveCriticalSection(CRITICAL_SECTION* section)
{
    Check(section->OwningThread == ULongToHandle(GetCurrentThreadId()),
          "critical sections: left only by the thread that holds them", "LeaveCriticalSection");
    LeaveCriticalSection(section);
}

void WINAPI VerifiedDeleteCriticalSection(CRITICAL_SECTION* section)
{
    Check(section->OwningThread == nullptr, "critical sections: never deleted while held", "DeleteCriticalSection");
    DeleteCriticalSection(section);
    Hold hold(lock);
    sections.erase(section);
}

LPVOID WINAPI VerifiedVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    NotWritableAndExecutable(protect, "VirtualAlloc");
    LPVOID base = VirtualAlloc(address, size, type, protect);
    Hold hold(lock);
    if (base && !address)
        regions.insert(base);
    return base;
}

BOOL WINAPI VerifiedVirtualProtect(LPVOID address, SIZE_T size, DWORD protect, PDWORD previous)
{
    NotWritableAndExecutable(protect, "VirtualProtect");
    return VirtualProtect(address, size, protect, previous);
}

BOOL WINAPI VerifiedVirtualFree(LPVOID address, SIZE_T size, DWORD type)
{
    if (type & MEM_RELEASE) {
        Hold hold(lock);
        Check(size == 0 && regions.erase(address) == 1,
              "virtual memory: MEM_RELEASE only with the allocation's base and size 0", "VirtualFree");
    }
    return VirtualFree(address, size, type);
}

// Predefined keys (HKEY_CURRENT_USER and the like) have the top bit set.
bool RootKey(HKEY key) { return reinterpret_cast<ULONG_PTR>(key) >= 0x80000000; }

LONG Opened(LONG error, const HKEY* key)
{
    Hold hold(lock);
    if (error == ERROR_SUCCESS && !RootKey(*key))
        keys.insert(*key);
    return error;
}

LONG WINAPI VerifiedRegOpenKeyA(HKEY root, LPCSTR path, PHKEY key)
{
    NotUnderLoaderLock("RegOpenKeyA");
    return Opened(RegOpenKeyA(root, path, key), key);
}

LONG WINAPI VerifiedRegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR type, DWORD options,
                                    REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    NotUnderLoaderLock("RegCreateKeyExA");
    return Opened(RegCreateKeyExA(root, path, reserved, type, options, access, security, key, disposition), key);
}

LONG WINAPI VerifiedRegCloseKey(HKEY key)
{
    NotUnderLoaderLock("RegCloseKey");
    {
        Hold hold(lock);
        Check(!RootKey(key), "registry: a root key is never closed", "RegCloseKey");
        Check(keys.erase(key) == 1, "registry: no key closed twice", "RegCloseKey");
    }
    return RegCloseKey(key);
}

HRESULT WINAPI VerifiedCoCreateInstance(REFCLSID id, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    NotUnderLoaderLock("CoCreateInstance");
    return CoCreateInstance(id, outer, context, iid, object);
}

template <class Handle>
Handle Created(Handle object)
{
    Hold hold(lock);
    if (object)
        gdiObjects.insert(object);
    return object;
}

HBITMAP WINAPI VerifiedCreateCompatibleBitmap(HDC dc, int w, int h) { return Created(CreateCompatibleBitmap(dc, w, h)); }
HDC WINAPI VerifiedCreateCompatibleDC(HDC dc) { return Created(CreateCompatibleDC(dc)); }
HBITMAP WINAPI VerifiedLoadBitmapA(HINSTANCE instance, LPCSTR name) { return Created(LoadBitmapA(instance, name)); }

HGDIOBJ WINAPI VerifiedSelectObject(HDC dc, HGDIOBJ object)
{
    HGDIOBJ previous = SelectObject(dc, object);
    Hold hold(lock);
    if (previous && previous != HGDI_ERROR) {
        selected.erase(previous);
        selected[object] = dc;
    }
    return previous;
}

// A delete must succeed: on Windows a second one may hit an object that now belongs to the player.
BOOL Deleted(BOOL deleted, const char* call)
{
    Check(deleted, "GDI: every delete the module makes succeeds", call);
    return deleted;
}

BOOL WINAPI VerifiedDeleteObject(HGDIOBJ object)
{
    {
        Hold hold(lock);
        Check(!selected.count(object), "GDI: no object deleted while selected into a DC", "DeleteObject");
        Check(gdiObjects.erase(object) == 1, "GDI: no object deleted twice", "DeleteObject");
    }
    return Deleted(DeleteObject(object), "DeleteObject");
}

BOOL WINAPI VerifiedDeleteDC(HDC dc)
{
    {
        Hold hold(lock);
        Check(gdiObjects.erase(dc) == 1, "GDI: no DC deleted twice", "DeleteDC");
        for (auto entry = selected.begin(); entry != selected.end();)
            entry = entry->second == dc ? selected.erase(entry) : std::next(entry);
    }
    return Deleted(DeleteDC(dc), "DeleteDC");
}

HDC WINAPI VerifiedGetDC(HWND window)
{
    HDC dc = GetDC(window);
    Hold hold(lock);
    if (dc)
        windowDcs[dc] = window;
    return dc;
}

int WINAPI VerifiedReleaseDC(HWND window, HDC dc)
{
    {
        Hold hold(lock);
        const auto found = windowDcs.find(dc);
        Check(found != windowDcs.end() && found->second == window, "USER: a DC is released to the window it came from",
              "ReleaseDC");
        windowDcs.erase(dc);
    }
    return ReleaseDC(window, dc);
}

// The window the user is working in is a visible window of this thread: a box without it as its
// owner leaves that window clickable behind it.
int WINAPI VerifiedMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Check(owner && IsWindowVisible(owner) && GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId(),
          "USER: a message box is owned by the window the user is working in", "MessageBoxA");
    return MessageBoxA(owner, text, caption, type);
}

#define VERIFIED(name) {#name, reinterpret_cast<const void*>(&Verified##name)}
const struct {
    const char* name;
    const void* wrapper;
} wrappers[] = {
    VERIFIED(HeapAlloc), VERIFIED(HeapFree), VERIFIED(InitializeCriticalSection), VERIFIED(EnterCriticalSection),
    VERIFIED(LeaveCriticalSection), VERIFIED(DeleteCriticalSection), VERIFIED(VirtualAlloc), VERIFIED(VirtualProtect),
    VERIFIED(VirtualFree), VERIFIED(RegOpenKeyA), VERIFIED(RegCreateKeyExA), VERIFIED(RegCloseKey),
    VERIFIED(CoCreateInstance), VERIFIED(CreateCompatibleBitmap), VERIFIED(CreateCompatibleDC), VERIFIED(LoadBitmapA),
    VERIFIED(SelectObject), VERIFIED(DeleteObject), VERIFIED(DeleteDC), VERIFIED(GetDC), VERIFIED(ReleaseDC),
    VERIFIED(MessageBoxA),
};
#undef VERIFIED

} // namespace

void InstallVerifier(HMODULE module)
{
    for (const auto& wrapper : wrappers) {
        if (DWORD* slot = ImportSlot(module, wrapper.name))
            *slot = reinterpret_cast<DWORD>(wrapper.wrapper);
    }
}

void VerifyUnloaded()
{
    Hold hold(lock);
    Check(heapBlocks.empty(), "heap: none of the module's blocks is left when it unloads", "FreeLibrary");
    Check(sections.empty(), "critical sections: none is left alive when the module unloads", "FreeLibrary");
    Check(regions.empty(), "virtual memory: nothing is left when the module unloads", "FreeLibrary");
    Check(keys.empty(), "registry: no key is left open", "FreeLibrary");
    Check(gdiObjects.empty() && windowDcs.empty(), "GDI and USER: nothing is left when the module unloads",
          "FreeLibrary");
    selected.clear();
}
