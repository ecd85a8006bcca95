#include "plugin/IWMPPluginUI.h"
#include "server/ClassObject.h"
#include "server/ClassTable.h"
#include "support/CountingUnknown.h"
#include "support/ModuleFixture.h"
#include "support/Refused.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void**);
extern "C" HRESULT WINAPI DllCanUnloadNow();

namespace {

class ClassObjectTest : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        ASSERT_EQ(DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    }
    void TearDown() override
    {
        factory->Release();
        ModuleFixture::TearDown();
    }
    IClassFactory* factory = nullptr;
};

TEST_F(ClassObjectTest, QueryInterfaceAnswersFromItsTable)
{
    IUnknown* unknown = nullptr;
    IClassFactory* again = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ASSERT_EQ(factory->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(factory));
    EXPECT_EQ(again, factory);
    EXPECT_EQ(again->Release(), 3u);
    EXPECT_EQ(unknown->Release(), 2u);

    EXPECT_REFUSED(E_NOINTERFACE, factory->QueryInterface(IID_IWMPPluginUI, &ppv));
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->AddRef(), 3u) << "failed queries must not change the count";
    factory->Release();
}

TEST_F(ClassObjectTest, CreateInstanceRejectsBadRequestsWithoutCreating)
{
    CountingUnknown outer;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IWMPPluginUI, nullptr), E_POINTER);

    EXPECT_REFUSED(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IWMPPluginUI, &ppv));
    EXPECT_EQ(outer.addRefs + outer.releases + outer.queries, 0);

    EXPECT_REFUSED(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &ppv));
    EXPECT_EQ(LockCount(), 0);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, LiveObjectsHoldTheModule)
{
    IWMPPluginUI* first = nullptr;
    IUnknown* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IWMPPluginUI, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_NE(static_cast<IUnknown*>(first), second);
    EXPECT_EQ(LockCount(), 2);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(LockCount(), 1);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, LockServerCountsWithoutAFloor)
{
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(LockCount(), 1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    // An unbalanced unlock shows, and holds the module until it is balanced.
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(LockCount(), -1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

} // namespace
