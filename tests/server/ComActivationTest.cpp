#include "plugin/IWMPPluginUI.h"
#include "server/ClassTable.h"
#include "support/BuiltDll.h"
#include "support/CountingUnknown.h"
#include "support/SettingsKey.h"
#include "support/Refused.h"
#include <gtest/gtest.h>

namespace {

constexpr char ClassKey[] = "Software\\Classes\\CLSID\\{CC1F686D-E680-4392-8126-95060ED5222D}";

// Registers the built DLL as the plug-in's in-process server for one test. The test
// prefix is private, and this Wine reads classes from the machine's hive only.
class ComActivationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string server = std::string(ClassKey) + "\\InprocServer32";
        const std::wstring path = BuiltDllPath();
        const DWORD size = DWORD((path.size() + 1) * sizeof(WCHAR));
        WriteRaw(HKEY_LOCAL_MACHINE, server.c_str(), "", REG_SZ, path.c_str(), size);
        WriteRaw(HKEY_LOCAL_MACHINE, server.c_str(), "ThreadingModel", REG_SZ, L"Apartment", sizeof L"Apartment");
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override
    {
        CoUninitialize();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, ClassKey);
    }
};

TEST_F(ComActivationTest, CreatesAWorkingPluginAndUnloadsAfterTheLastRelease)
{
    IWMPPluginUI* plugin = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_VireoPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPPluginUI,
                               reinterpret_cast<void**>(&plugin)),
              S_OK);
    EXPECT_NE(GetModuleHandleA("VIREOPLUGIN.DLL"), nullptr);
    EXPECT_EQ(plugin->SetCore(nullptr), S_OK);
    EXPECT_EQ(plugin->Destroy(), E_NOTIMPL);

    CoFreeUnusedLibraries();
    EXPECT_NE(GetModuleHandleA("VIREOPLUGIN.DLL"), nullptr) << "unloaded while an object lives";

    EXPECT_EQ(plugin->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleA("VIREOPLUGIN.DLL"), nullptr);
}

TEST_F(ComActivationTest, AggregationThroughComNeedsIUnknown)
{
    CountingUnknown outer;
    // COM finds the module that this test loaded, whose guard is enforced.
    LoadedDll guarded;
    ASSERT_TRUE(EnforceGuard(guarded.Handle()));
    const LONG checkedBefore = GuardedCallCount();
    EXPECT_REFUSED(CLASS_E_NOAGGREGATION,
                   CoCreateInstance(CLSID_VireoPlugin, &outer, CLSCTX_INPROC_SERVER, IID_IWMPPluginUI, &ppv));

    IUnknown* inner = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_VireoPlugin, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
              S_OK);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_GT(GuardedCallCount(), checkedBefore) << "the module's guarded calls did not reach the checker";
}

} // namespace
