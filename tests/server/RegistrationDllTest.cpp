#include "support/BuiltDll.h"
#include "support/RecordingRegistrar.h"
#include <gtest/gtest.h>
#include <cwchar>
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

// The built DLL copied into a chain of new folders under the temporary folder, all removed after.
class DllCopy {
public:
    explicit DllCopy(const std::vector<std::wstring>& names)
    {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring folder = std::wstring(L"\\\\?\\") + temp;
        for (const std::wstring& name : names) {
            folder += name;
            CreateDirectoryW(folder.c_str(), nullptr);
            folders.insert(folders.begin(), folder);
            folder += L"\\";
        }
        path = folder + L"VIREOPLUGIN.DLL";
        CopyFileW(BuiltDllPath().c_str(), path.c_str(), FALSE);
    }
    ~DllCopy()
    {
        DeleteFileW(path.c_str());
        for (const std::wstring& folder : folders)
            RemoveDirectoryW(folder.c_str());
    }
    std::wstring path;

private:
    std::vector<std::wstring> folders;
};

// Folders with an apostrophe, and with a name that the ANSI code page cannot spell.
TEST_F(RegistrationDllTest, ModulePathReachesTheRegistrarExactly)
{
    const WCHAR outsideAnsi[] = L"vireo-\u7EF4\u5965";
    char ansi[MAX_PATH];
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, outsideAnsi, -1, ansi, MAX_PATH, nullptr, &lost);
    ASSERT_TRUE(lost) << "the ANSI code page " << GetACP() << " can spell " << ansi;

    for (const std::wstring name : {L"vireo's copy", outsideAnsi}) {
        const DllCopy copy({name});
        RecordingRegistrar registrar;
        WCHAR plain[MAX_PATH] = {};
        {
            LoadedDll dll(copy.path);
            auto registerServer = dll.Export<EntryPoint>("DllRegisterServer");
            ASSERT_TRUE(registerServer);
            GetModuleFileNameW(dll.Handle(), plain, MAX_PATH);
            {
                ClassOverride override(CLSID_Registrar, &registrar, &registrar.created);
                registerServer();
            }
            // The platform's registrar must be able to open the file it is given.
            EXPECT_EQ(registerServer(), S_OK);
        }
        EXPECT_NE(std::wcsstr(plain, (name + L"\\VIREOPLUGIN.DLL").c_str()), nullptr);
        std::wstring doubled;
        for (const WCHAR* c = plain; *c; ++c)
            doubled.append(*c == L'\'' ? 2 : 1, *c);
        // Apostrophes are doubled for the script only.
        const std::vector<std::wstring> expected = {L"AddReplacement(Module, " + doubled + L")",
                                                    L"ResourceRegister(" + std::wstring(plain) + L", 101, REGISTRY)"};
        EXPECT_EQ(registrar.calls, expected);
        EXPECT_EQ(registrar.references, 0);
    }
}

TEST_F(RegistrationDllTest, PathLongerThanTheBufferIsAFailureNotATruncatedPath)
{
    const std::wstring sixty(60, L'd');
    const DllCopy copy({L"vireo-long", sixty, sixty, sixty, sixty, sixty});
    ASSERT_GT(copy.path.size(), size_t(MAX_PATH) + 4);
    RecordingRegistrar registrar;
    BroadcastCounter broadcasts;
    {
        ClassOverride override(CLSID_Registrar, &registrar, &registrar.created);
        LoadedDll dll(copy.path);
        ASSERT_NE(dll.Handle(), nullptr);
        EXPECT_EQ(dll.Export<EntryPoint>("DllRegisterServer")(), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(dll.Export<EntryPoint>("DllUnregisterServer")(), S_OK);
    }
    EXPECT_TRUE(registrar.calls.empty()) << "no script may run for a cut-off path";
    EXPECT_EQ(registrar.references, 0);
    EXPECT_EQ(broadcasts.Collect(), 2);
}

} // namespace
