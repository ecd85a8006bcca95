#include "support/CountingUnknown.h"
#include "support/PluginFromDll.h"
#include "support/ResourceCounts.h"
#include "support/SettingsKey.h"
#include "support/Together.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(Soak, TenThousandPluginLifetimes)
{
    PluginFromDll server;
    ASSERT_NE(server.factory, nullptr);
    CountingUnknown core;
    auto cycle = [&] {
        IWMPPluginUI* plugin = server.Create();
        ASSERT_NE(plugin, nullptr);
        plugin->SetCore(reinterpret_cast<IWMPCore*>(&core));
        plugin->Release();
    };
    for (int i = 0; i < 100; ++i)
        cycle();
    const ResourceCounts before = ResourceCounts::Now();
    for (int i = 0; i < 10000; ++i)
        cycle();
    ExpectNothingLeaked(before, ResourceCounts::Settled(before));
    EXPECT_EQ(core.Net(), 0);
    EXPECT_EQ(core.addRefs, 10100);
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST(Soak, ThreeHundredDialogs)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline");
    PluginFromDll server;
    IWMPPluginUI* plugin = server.Create();
    ASSERT_NE(plugin, nullptr);
    int opened = 0, warnings = 0;
    const auto open = [&] {
        server.ShowDialog(plugin, [&](HWND dialog, DWORD thread) {
            ++opened;
            for (int i = 0; i < 2; ++i)
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            // OK stores the unchanged choice, so no warning stands in the way.
            driver::Click(dialog, opened % 2 ? IDOK : IDCANCEL);
            warnings += driver::AnswerWarningsUntilGone(dialog, thread);
        });
    };
    for (int i = 0; i < 5; ++i)
        open();
    const ResourceCounts before = ResourceCounts::Now();
    for (int i = 0; i < 300; ++i)
        open();
    ExpectNothingLeaked(before, ResourceCounts::Settled(before));
    EXPECT_EQ(opened, 305);
    EXPECT_EQ(warnings, 0);
    plugin->Release();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline");
}

TEST(Soak, ThreadsHammeringTheServer)
{
    PluginFromDll server;
    ASSERT_NE(server.factory, nullptr);
    constexpr int threadCount = 4, iterations = 5000;
    std::vector<int> strangers(threadCount, 0), failures(threadCount, 0);

    auto hammer = [&] {
        RunTogether(threadCount, [&](int t) {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int i = 0; i < iterations; ++i) {
                IClassFactory* factory = nullptr;
                if (server.getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
                    S_OK) {
                    ++failures[t];
                    continue;
                }
                if (factory != server.factory)
                    ++strangers[t];
                factory->LockServer(TRUE);
                IWMPPluginUI* plugin = nullptr;
                if (factory->CreateInstance(nullptr, IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)) == S_OK)
                    plugin->Release();
                else
                    ++failures[t];
                factory->LockServer(FALSE);
                factory->Release();
            }
            CoUninitialize();
        });
    };

    // The first round lets the platform set up what it keeps for threads once they are gone.
    hammer();
    const ResourceCounts before = ResourceCounts::Now();
    hammer();
    const ResourceCounts after = ResourceCounts::Settled(before);

    for (int t = 0; t < threadCount; ++t) {
        EXPECT_EQ(strangers[t], 0) << "a second class object on thread " << t;
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    }
    EXPECT_EQ(server.canUnloadNow(), S_OK) << "the lock count must come back to zero";
    ExpectNothingLeaked(before, after);
}

} // namespace
