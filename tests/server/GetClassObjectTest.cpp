#include "plugin/IWMPPluginUI.h"
#include "server/ClassObject.h"
#include "server/ClassTable.h"
#include "support/ModuleFixture.h"
#include "support/ScopedValue.h"
#include "support/Together.h"
#include "support/Refused.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void**);
extern "C" HRESULT WINAPI DllCanUnloadNow();

namespace {

// {1B0F8B4E-0C6A-4C39-9F4A-2E9D5D5E0A11}: a class the module does not serve.
constexpr CLSID UnknownClass = {0x1B0F8B4E, 0x0C6A, 0x4C39, {0x9F, 0x4A, 0x2E, 0x9D, 0x5D, 0x5E, 0x0A, 0x11}};

ClassEntry& PluginRow() { return moduleRecord.classTable[0]; }

using GetClassObjectTest = ModuleFixture;

// A null out pointer, a class the module does not serve, or a row without a creator: nothing made.
TEST_F(GetClassObjectTest, BadRequestsCreateNothing)
{
    EXPECT_EQ(DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_REFUSED(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(UnknownClass, IID_IClassFactory, &ppv));
    EXPECT_EQ(PluginRow().classObject.load(), nullptr);
    ScopedValue<CreatorFunction> noCreator(PluginRow().createClassObject, nullptr);
    EXPECT_REFUSED(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, &ppv));
}

// Created on the first request, even one for an interface it lacks, and cached from then on.
TEST_F(GetClassObjectTest, ClassObjectIsCreatedOnceAndCached)
{
    EXPECT_REFUSED(E_NOINTERFACE, DllGetClassObject(CLSID_VireoPlugin, IID_IWMPPluginUI, &ppv));
    IUnknown* const cached = PluginRow().classObject.load();
    ASSERT_NE(cached, nullptr);
    IClassFactory* factory = nullptr;
    IUnknown* unknown = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    ASSERT_EQ(DllGetClassObject(CLSID_VireoPlugin, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);
    EXPECT_EQ(unknown, cached);
    EXPECT_EQ(PluginRow().classObject.load(), unknown);
    // The row's reference and the two callers'.
    EXPECT_EQ(factory->AddRef(), 4u);
    factory->Release();
    factory->Release();
    EXPECT_EQ(unknown->Release(), 1u);
    // The cached class object holds no module lock.
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(GetClassObjectTest, DetachReleasesTheRowReferenceOnly)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);

    DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
    EXPECT_EQ(PluginRow().classObject.load(), nullptr);
    // Still alive on the host's reference.
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
    DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr);
}

TEST_F(GetClassObjectTest, FailedCreationCachesNothingAndIsRetried)
{
    static int calls;
    calls = 0;
    ScopedValue<CreatorFunction> failing(PluginRow().createClassObject, [](void*, REFIID, void**) -> HRESULT {
        ++calls;
        return E_OUTOFMEMORY;
    });
    EXPECT_REFUSED(E_OUTOFMEMORY, DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, &ppv));
    EXPECT_REFUSED(E_OUTOFMEMORY, DllGetClassObject(CLSID_VireoPlugin, IID_IClassFactory, &ppv));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(PluginRow().classObject.load(), nullptr);
}

TEST_F(GetClassObjectTest, ConcurrentCallersShareOneClassObject)
{
    static volatile LONG creations;
    creations = 0;
    // A slow creator widens the window in which a second creation could slip in.
    ScopedValue<CreatorFunction> slow(PluginRow().createClassObject, [](void* argument, REFIID riid, void** ppv) -> HRESULT {
        InterlockedIncrement(&creations);
        Sleep(20);
        return CreateClassObject(argument, riid, ppv);
    });

    constexpr int threadCount = 8;
    IUnknown* results[threadCount] = {};
    HRESULT codes[threadCount] = {};
    RunTogether(threadCount, [&](int i) {
        codes[i] = DllGetClassObject(CLSID_VireoPlugin, IID_IUnknown, reinterpret_cast<void**>(&results[i]));
    });

    EXPECT_EQ(creations, 1);
    for (int i = 0; i < threadCount; ++i) {
        EXPECT_EQ(codes[i], S_OK);
        EXPECT_EQ(results[i], PluginRow().classObject.load());
        if (results[i])
            results[i]->Release();
    }
}

} // namespace
