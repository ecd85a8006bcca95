#include "support/BuiltDll.h"
#include "support/RecordingRegistrar.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

using EntryPoint = HRESULT(WINAPI*)();

bool ClassKeyExists(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "Software\\Classes\\CLSID\\{CC1F686D-E680-4392-8126-95060ED5222D}", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class RegistrationDllTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(RegistrationDllTest, PlatformRegistrarFindsNoScriptAndBothDirectionsSucceed)
{
    LoadedDll dll;
    auto registerServer = dll.Export<EntryPoint>("DllRegisterServer");
    auto unregisterServer = dll.Export<EntryPoint>("DllUnregisterServer");
    ASSERT_TRUE(registerServer && unregisterServer);
    BroadcastCounter broadcasts;

    EXPECT_EQ(registerServer(), S_OK);
    EXPECT_EQ(broadcasts.Collect(), 1);
    EXPECT_FALSE(ClassKeyExists(HKEY_LOCAL_MACHINE)) << "the module carries no script, so it writes no keys";
    EXPECT_FALSE(ClassKeyExists(HKEY_CURRENT_USER));

    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(broadcasts.Collect(), 1);
    EXPECT_EQ(broadcasts.malformed, 0);
}

// Folders with an apostrophe, and with a name that the ANSI code page cannot spell.
TEST_F(RegistrationDllTest, ModulePathReachesTheRegistrarExactly)
{
    const WCHAR outsideAnsi[] = L"vireo-\u7EF4\u5965";
    char ansi[MAX_PATH];
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, outsideAnsi, -1, ansi, MAX_PATH, nullptr, &lost);
    ASSERT_TRUE(lost) << "the ANSI code page " << GetACP() << " can spell " << ansi;

    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string original = BuiltDllPath();
    for (const std::wstring name : {L"vireo's copy", outsideAnsi}) {
        const std::wstring folder = temp + name;
        const std::wstring copy = folder + L"\\VIREOPLUGIN.DLL";
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(std::wstring(original.begin(), original.end()).c_str(), copy.c_str(), FALSE));
        HMODULE module = LoadLibraryW(copy.c_str());
        ASSERT_NE(module, nullptr);
        InstallVerifier(module);
        const auto registerServer = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
        RecordingRegistrar registrar;
        {
            ClassOverride override(CLSID_Registrar, &registrar, &registrar.created);
            registerServer();
        }
        // The platform's registrar must be able to open the file it is given.
        EXPECT_EQ(registerServer(), S_OK);
        FreeLibrary(module);
        VerifyUnloaded();
        DeleteFileW(copy.c_str());
        RemoveDirectoryW(folder.c_str());

        ASSERT_EQ(registrar.calls.size(), 2u);
        const std::wstring& quoted = registrar.calls[0].second;
        const std::wstring& plain = registrar.calls[1].first;
        EXPECT_NE(plain.find(name + L"\\VIREOPLUGIN.DLL"), std::wstring::npos) << std::string(plain.begin(), plain.end());
        std::wstring doubled;
        for (WCHAR c : plain)
            doubled.append(c == L'\'' ? 2 : 1, c);
        EXPECT_EQ(quoted, doubled) << "apostrophes are doubled for the script only";
        EXPECT_EQ(registrar.references, 0);
    }
}

TEST_F(RegistrationDllTest, PathLongerThanTheBufferIsAFailureNotATruncatedPath)
{
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(L"\\\\?\\") + temp + L"vireo-long";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> made = {folder};
    while (folder.size() < 300) {
        folder += L"\\" + std::wstring(60, L'd');
        CreateDirectoryW(folder.c_str(), nullptr);
        made.push_back(folder);
    }
    const std::wstring copy = folder + L"\\VIREOPLUGIN.DLL";
    const std::string original = BuiltDllPath();
    ASSERT_TRUE(CopyFileW(std::wstring(original.begin(), original.end()).c_str(), copy.c_str(), FALSE));

    RecordingRegistrar registrar;
    BroadcastCounter broadcasts;
    HRESULT registered = S_OK, unregistered = E_FAIL;
    {
        ClassOverride override(CLSID_Registrar, &registrar, &registrar.created);
        HMODULE module = LoadLibraryW(copy.c_str());
        ASSERT_NE(module, nullptr);
        InstallVerifier(module);
        registered = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")))();
        unregistered = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")))();
        FreeLibrary(module);
        VerifyUnloaded();
    }
    DeleteFileW(copy.c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW(it->c_str());

    EXPECT_EQ(registered, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(unregistered, S_OK);
    EXPECT_TRUE(registrar.calls.empty()) << "no script may run for a cut-off path";
    EXPECT_EQ(registrar.references, 0);
    EXPECT_EQ(broadcasts.Collect(), 2);
}

} // namespace
