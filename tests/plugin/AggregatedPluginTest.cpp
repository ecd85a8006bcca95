#include "plugin/AggregatedPlugin.h"
#include "server/ClassObject.h"
#include "support/CountingUnknown.h"
#include "support/ModuleFixture.h"
#include "support/Refused.h"

namespace {

class AggregatedPluginTest : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        ASSERT_EQ(CreatePluginInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
        outer.inner = inner;
    }
    void TearDown() override
    {
        if (inner)
            inner->Release();
        ModuleFixture::TearDown();
    }
    CountingUnknown outer;
    IUnknown* inner = nullptr;
};

TEST_F(AggregatedPluginTest, CreationTakesNoCountOnTheOuterObject)
{
    EXPECT_EQ(outer.addRefs + outer.releases + outer.queries, 0);
    EXPECT_EQ(LockCount(), 1);
}

TEST_F(AggregatedPluginTest, PluginInterfaceCountsOnAndAsksTheOuterObject)
{
    IWMPPluginUI* plugin = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
    EXPECT_NE(static_cast<IUnknown*>(plugin), inner);
    EXPECT_EQ(outer.Net(), 1);
    EXPECT_EQ(inner->AddRef(), 2u) << "the inner count must not move";
    inner->Release();

    plugin->AddRef();
    EXPECT_EQ(outer.Net(), 2);
    plugin->Release();

    // Its queries ask the outer object first.
    const LONG before = outer.queries;
    IUnknown* identity = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, before + 1);
    identity->Release();
    plugin->Release();
    EXPECT_EQ(outer.Net(), 0);
    EXPECT_EQ(LockCount(), 1) << "the outer object's count never frees the aggregate";
}

TEST_F(AggregatedPluginTest, OuterObjectThatRefusesStillGetsThePlugin)
{
    IWMPPluginUI* plugin = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
    outer.inner = nullptr;

    IWMPPluginUI* again = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IWMPPluginUI, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, plugin);
    EXPECT_REFUSED(E_NOINTERFACE, plugin->QueryInterface(IID_IClassFactory, &ppv));
    again->Release();
    plugin->Release();
    EXPECT_EQ(outer.Net(), 0);
}

TEST_F(AggregatedPluginTest, InnerUnknownAnswersOnlyThePluginInterfaces)
{
    IUnknown* same = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&same)), S_OK);
    EXPECT_EQ(same, inner);
    EXPECT_EQ(same->Release(), 1u);
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(inner->QueryInterface(IID_IWMPPluginUI, nullptr), E_POINTER);
    EXPECT_REFUSED(E_NOINTERFACE, inner->QueryInterface(IID_IClassFactory, &ppv));
}

TEST_F(AggregatedPluginTest, ReleasingTheInnerUnknownFreesTheAggregate)
{
    CountingUnknown core;
    IWMPPluginUI* plugin = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
    plugin->SetCore(reinterpret_cast<IWMPCore*>(&core));
    plugin->Release();

    EXPECT_EQ(inner->Release(), 0u);
    inner = nullptr;
    EXPECT_EQ(core.Net(), 0);
    EXPECT_EQ(LockCount(), 0);
}

} // namespace
