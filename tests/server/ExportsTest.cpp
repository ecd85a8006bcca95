#include "plugin/IWMPPluginUI.h"
#include "server/ClassTable.h"
#include "server/LoadConfig.h"
#include "support/BuiltDll.h"
#include "support/PeImage.h"
#include <gtest/gtest.h>
#include <set>

namespace {

TEST(Exports, NamesOrdinalsModuleNameAndImports)
{
    LoadedDll dll;
    ASSERT_NE(dll.Handle(), nullptr) << GetLastError();
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byName = GetProcAddress(dll.Handle(), names[ordinal - 1]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byName, GetProcAddress(dll.Handle(), MAKEINTRESOURCEA(ordinal))) << names[ordinal - 1];
    }

    const auto& exportDirectory = Directory(dll.Handle(), IMAGE_DIRECTORY_ENTRY_EXPORT);
    const auto* exports = AtRva<IMAGE_EXPORT_DIRECTORY>(dll.Handle(), exportDirectory.VirtualAddress);
    EXPECT_STREQ(AtRva<char>(dll.Handle(), exports->Name), "VIREOPLUGIN.DLL");
    EXPECT_EQ(exports->NumberOfNames, 4u);
    EXPECT_EQ(exports->Base, 1u);

    // Imports from system DLLs only.
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                          "ole32.dll", "oleaut32.dll"};
    const auto& importDirectory = Directory(dll.Handle(), IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(importDirectory.VirtualAddress, 0u);
    int count = 0;
    for (auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(dll.Handle(), importDirectory.VirtualAddress);
         entry->Name; ++entry, ++count) {
        std::string name = AtRva<char>(dll.Handle(), entry->Name);
        CharLowerA(name.data());
        EXPECT_TRUE(system.count(name)) << name << " is not a system DLL";
    }
    EXPECT_GT(count, 0);
}

const IMAGE_LOAD_CONFIG_DIRECTORY32& LoadConfigOf(HMODULE module)
{
    const auto& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    EXPECT_GE(directory.Size, sizeof(IMAGE_LOAD_CONFIG_DIRECTORY32));
    return *AtRva<IMAGE_LOAD_CONFIG_DIRECTORY32>(module, directory.VirtualAddress);
}

using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, void*);

EntryPoint EntryPointOf(HMODULE module)
{
    return reinterpret_cast<EntryPoint>(AtRva<BYTE>(module, OptionalHeader(module).AddressOfEntryPoint));
}

// The image holds the default cookie, which the loader replaces before the module runs; a loader
// that leaves it is made up for at attach, and one that set it is left alone.
TEST(Exports, StackCookieIsNeverTheDefault)
{
    // Mapped as an image but not loaded: not relocated, no cookie set up.
    const HMODULE mapped = LoadLibraryExW(BuiltDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(mapped, nullptr);
    const auto image = reinterpret_cast<HMODULE>(reinterpret_cast<ULONG_PTR>(mapped) & ~ULONG_PTR(3));
    const DWORD cookieRva = LoadConfigOf(image).SecurityCookie - OptionalHeader(image).ImageBase;
    EXPECT_EQ(*AtRva<DWORD>(image, cookieRva), DefaultStackCookie);
    FreeLibrary(mapped);

    LoadedDll dll;
    ASSERT_NE(dll.Handle(), nullptr);
    auto& cookie = *reinterpret_cast<DWORD*>(LoadConfigOf(dll.Handle()).SecurityCookie);
    EXPECT_NE(cookie, DefaultStackCookie);
    // Attach run again as the loader runs it, after a detach as FreeLibrary runs it: under the
    // loader's lock, with the verifier watching what they call.
    const EntryPoint entry = EntryPointOf(dll.Handle());
    const auto attachWith = [&](DWORD value) {
        cookie = value;
        EnterCriticalSection(LoaderLock());
        entry(reinterpret_cast<HINSTANCE>(dll.Handle()), DLL_PROCESS_DETACH, nullptr);
        entry(reinterpret_cast<HINSTANCE>(dll.Handle()), DLL_PROCESS_ATTACH, nullptr);
        LeaveCriticalSection(LoaderLock());
        return cookie;
    };
    for (DWORD unset : {DWORD(DefaultStackCookie), DWORD(0)}) {
        const DWORD seeded = attachWith(unset);
        EXPECT_NE(seeded, DefaultStackCookie);
        EXPECT_NE(seeded, 0u);
    }
    EXPECT_EQ(attachWith(0x12345678), 0x12345678u);
}

TEST(Exports, LoadsAndUnloadsWithTheModuleIdle)
{
    LoadedDll dll;
    auto canUnloadNow = dll.Export<CanUnloadNowFunction>("DllCanUnloadNow");
    auto getClassObject = dll.Export<GetClassObjectFunction>("DllGetClassObject");
    ASSERT_TRUE(canUnloadNow && getClassObject);
    EXPECT_EQ(canUnloadNow(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IWMPPluginUI* plugin = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);

    // A process that is ending calls the entry point with a non-null third argument: nothing is
    // released, so the cached class object is still the one handed out.
    EntryPointOf(dll.Handle())(reinterpret_cast<HINSTANCE>(dll.Handle()), DLL_PROCESS_DETACH, reinterpret_cast<void*>(1));
    IClassFactory* again = nullptr;
    ASSERT_EQ(getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, factory);
    again->Release();
    factory->Release();
}

} // namespace
