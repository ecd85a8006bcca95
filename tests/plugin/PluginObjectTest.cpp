#include "plugin/PluginObject.h"
#include "support/CountingUnknown.h"
#include "support/ModuleFixture.h"
#include "support/Refused.h"

namespace {

// The plug-in only counts references on the core, so a counting IUnknown can stand in for it.
IWMPCore* AsCore(CountingUnknown& core) { return reinterpret_cast<IWMPCore*>(&core); }

class PluginObjectTest : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        ASSERT_EQ(CreatePlugin(IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
    }
    void TearDown() override
    {
        if (plugin)
            plugin->Release();
        ModuleFixture::TearDown();
    }
    IWMPPluginUI* plugin = nullptr;
};

TEST_F(PluginObjectTest, IdentityAndCount)
{
    EXPECT_EQ(LockCount(), 1);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(plugin));
    EXPECT_EQ(unknown->Release(), 1u);

    // Interface ids are compared whole: ours but for the last byte is someone else's.
    for (IID other : {IID_IClassFactory, IID_IUnknown, IID_IWMPPluginUI}) {
        if (!IsEqualIID(other, IID_IClassFactory))
            other.Data4[7] ^= 1;
        EXPECT_REFUSED(E_NOINTERFACE, plugin->QueryInterface(other, &ppv));
    }
    EXPECT_EQ(plugin->QueryInterface(IID_IWMPPluginUI, nullptr), E_POINTER);
}

TEST_F(PluginObjectTest, CreationForAMissingInterfaceLeavesNothing)
{
    EXPECT_REFUSED(E_NOINTERFACE, CreatePlugin(IID_IClassFactory, &ppv));
    EXPECT_EQ(LockCount(), 1) << "only the fixture's plug-in may hold the module";
}

TEST_F(PluginObjectTest, UnimplementedMethodsTouchNothing)
{
    HWND window = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(plugin->Create(nullptr, &window), E_NOTIMPL);
    EXPECT_EQ(window, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(plugin->Destroy(), E_NOTIMPL);
    EXPECT_EQ(plugin->TranslateAccelerator(nullptr), E_NOTIMPL);

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 42;
    EXPECT_EQ(plugin->GetProperty(L"name", nullptr), E_POINTER);
    EXPECT_EQ(plugin->GetProperty(L"name", &value), E_NOTIMPL);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 42);
    EXPECT_EQ(plugin->SetProperty(L"name", &value), E_NOTIMPL);
}

TEST_F(PluginObjectTest, SetCoreReleasesTheOldCoreBeforeTakingTheNew)
{
    CountingUnknown first, second;
    EXPECT_EQ(plugin->SetCore(nullptr), S_OK);

    using Counts = std::pair<LONG, LONG>;
    EXPECT_EQ(plugin->SetCore(AsCore(first)), S_OK);
    EXPECT_EQ(first.Counts(), Counts(1, 0));
    EXPECT_EQ(plugin->SetCore(AsCore(second)), S_OK);
    EXPECT_EQ(first.Counts(), Counts(1, 1));
    EXPECT_EQ(second.Counts(), Counts(1, 0));

    // Handing over the core already held releases it and takes it again.
    EXPECT_EQ(plugin->SetCore(AsCore(second)), S_OK);
    EXPECT_EQ(second.Counts(), Counts(2, 1));

    EXPECT_EQ(plugin->SetCore(nullptr), S_OK);
    EXPECT_EQ(second.Counts(), Counts(2, 2));
    EXPECT_EQ(plugin->SetCore(nullptr), S_OK);
    EXPECT_EQ(second.Counts(), Counts(2, 2)) << "nothing held, nothing released";
    EXPECT_EQ(first.queries + second.queries, 0) << "the core is never asked for anything";
}

// A core that touches the plug-in while the plug-in releases it cannot make it destroy itself twice.
TEST_F(PluginObjectTest, FinalReleaseDropsTheCoreAndTheModuleLock)
{
    CountingUnknown core;
    plugin->SetCore(AsCore(core));
    core.touchedOnRelease = plugin;
    plugin->AddRef();
    EXPECT_EQ(plugin->Release(), 1u);
    EXPECT_EQ(core.releases, 0);

    EXPECT_EQ(plugin->Release(), 0u);
    plugin = nullptr;
    EXPECT_EQ(core.Net(), 0);
    EXPECT_EQ(core.releases, 1);
    EXPECT_EQ(LockCount(), 0);
}

} // namespace
