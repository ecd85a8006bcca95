// The verifier proves its own rules: each is broken once from the module's code section, in a
// process of its own, which must end with that rule's message. A weakened rule fails here.
#include "support/Verifier.h"
#include <gtest/gtest.h>
#include <cctype>
#include <string>

namespace {

// Code the verifier takes for the module's: in its section, and calling through the import table
// from there (never inlined into a test, never a jump into the system).
#define MODULE_CODE __attribute__((noinline, optimize("no-optimize-sibling-calls"), section(".text$vireo_m")))

CRITICAL_SECTION section;
HANDLE Heap() { return GetProcessHeap(); }
HDC MemoryDc() { return CreateCompatibleDC(nullptr); }
// The test's own delete goes straight to the system.
__attribute__((noinline)) HGDIOBJ DeletedOutside(HGDIOBJ object) { return DeleteObject(object), object; }
void CALLBACK EndProcess(HWND, UINT, UINT_PTR, DWORD) { ExitProcess(0); }

MODULE_CODE void FreeTwice() { void* b = HeapAlloc(Heap(), 0, 8); HeapFree(Heap(), 0, b); HeapFree(Heap(), 0, b); }
MODULE_CODE void InitialiseTwice() { InitializeCriticalSection(&section); InitializeCriticalSection(&section); }
MODULE_CODE void EnterUninitialised() { EnterCriticalSection(&section); }
MODULE_CODE void LeaveUnheld() { InitializeCriticalSection(&section); LeaveCriticalSection(&section); }
MODULE_CODE void DeleteHeld()
{
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    DeleteCriticalSection(&section);
}
MODULE_CODE void WritableAndExecutable() { VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE); }
MODULE_CODE void ReleasePart() { VirtualFree(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE), 4096, MEM_RELEASE); }
MODULE_CODE void ReleaseTwice() { void* p = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE); VirtualFree(p, 0, MEM_RELEASE); VirtualFree(p, 0, MEM_RELEASE); }
MODULE_CODE void KeyUnderLoaderLock() { HKEY k; EnterCriticalSection(LoaderLock()); RegOpenKeyA(HKEY_CURRENT_USER, "", &k); }
MODULE_CODE void CloseRootKey() { RegCloseKey(HKEY_CURRENT_USER); }
MODULE_CODE void CloseKeyTwice() { HKEY k; RegOpenKeyA(HKEY_CURRENT_USER, "Software", &k); RegCloseKey(k); RegCloseKey(k); }
MODULE_CODE void DeleteSelected()
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ bitmap = CreateCompatibleBitmap(dc, 1, 1);
    SelectObject(dc, bitmap);
    DeleteObject(bitmap);
}
MODULE_CODE void DeleteObjectTwice() { HGDIOBJ b = CreateCompatibleBitmap(MemoryDc(), 1, 1); DeleteObject(b); DeleteObject(b); }
MODULE_CODE void DeleteFails() { DeleteObject(DeletedOutside(CreateCompatibleBitmap(MemoryDc(), 1, 1))); }
MODULE_CODE void DeleteDcTwice() { HDC dc = CreateCompatibleDC(nullptr); DeleteDC(dc); DeleteDC(dc); }
MODULE_CODE void ReleaseToAnotherWindow() { ReleaseDC(nullptr, GetDC(GetDesktopWindow())); }
// A box the rule lets through closes itself: the process then ends without the message.
MODULE_CODE void UnownedBox() { SetTimer(nullptr, 0, 2000, EndProcess); MessageBoxA(nullptr, "", "", MB_OK); }
MODULE_CODE void LeaveABlock() { HeapAlloc(Heap(), 0, 8); }

// A regular expression that matches the text as it is.
std::string Literally(const std::string& text)
{
    std::string expression;
    for (char c : text)
        expression += ispunct(static_cast<unsigned char>(c)) ? std::string{'\\', c} : std::string{c};
    return expression;
}

TEST(VerifierTest, EachRuleEndsTheProcessWithItsMessage)
{
    const struct {
        void (*breaks)();
        const char* message;
    } rules[] = {
        {FreeTwice, "heap: a block is freed on its own heap, once, broken by HeapFree"},
        {InitialiseTwice, "critical sections: initialised once, broken by InitializeCriticalSection"},
        {EnterUninitialised, "critical sections: initialised before use, broken by EnterCriticalSection"},
        {LeaveUnheld, "critical sections: left only by the thread that holds them, broken by LeaveCriticalSection"},
        {DeleteHeld, "critical sections: never deleted while held, broken by DeleteCriticalSection"},
        {WritableAndExecutable, "virtual memory: never writable and executable at once, broken by VirtualAlloc"},
        {ReleasePart, "virtual memory: MEM_RELEASE only with the allocation's base and size 0, broken by VirtualFree"},
        {ReleaseTwice, "virtual memory: MEM_RELEASE only with the allocation's base and size 0, broken by VirtualFree"},
        {KeyUnderLoaderLock, "the loader lock: no COM, registry, library loading or waiting inside DllMain, broken by RegOpenKeyA"},
        {CloseRootKey, "registry: a root key is never closed, broken by RegCloseKey"},
        {CloseKeyTwice, "registry: no key closed twice, broken by RegCloseKey"},
        {DeleteSelected, "GDI: no object deleted while selected into a DC, broken by DeleteObject"},
        {DeleteObjectTwice, "GDI: no object deleted twice, broken by DeleteObject"},
        {DeleteFails, "GDI: every delete the module makes succeeds, broken by DeleteObject"},
        {DeleteDcTwice, "GDI: no DC deleted twice, broken by DeleteDC"},
        {ReleaseToAnotherWindow, "USER: a DC is released to the window it came from, broken by ReleaseDC"},
        {UnownedBox, "USER: a message box is owned by the window the user is working in, broken by MessageBoxA"},
        {[] { LeaveABlock(), VerifyUnloaded(); }, "nothing is left when the module unloads, broken by a heap block"},
    };
    for (const auto& rule : rules)
        EXPECT_EXIT(rule.breaks(), ::testing::ExitedWithCode(3), Literally(std::string("Verifier: ") + rule.message));
}

} // namespace
