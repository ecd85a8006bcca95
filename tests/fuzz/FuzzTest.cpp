#include "support/PluginFromDll.h"
#include "support/ResourceCounts.h"
#include "settings/QualitySetting.h"
#include "support/SettingsKey.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <string>

namespace {

constexpr unsigned Seed = 20261207;

// What a REG_DWORD read through the ANSI registry calls gives for whatever is stored: the
// data's bytes over the default 1 when they fit in 4 bytes, otherwise the default.
DWORD ReadingRule()
{
    const StoredValue stored = ReadStored(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName);
    DWORD value = DefaultQuality;
    if (stored.present && stored.data.size() <= 4)
        std::copy(stored.data.begin(), stored.data.end(), reinterpret_cast<BYTE*>(&value));
    return value;
}

class Fuzz : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline"); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline"); }
};

TEST_F(Fuzz, StoredValueOfEveryTypeAndLength)
{
    std::mt19937 random(Seed);
    PluginFromDll server;
    IWMPPluginUI* plugin = server.Create();
    ASSERT_NE(plugin, nullptr);
    bool realTimeShown = false, everyFrameShown = false;
    const auto readAndConfirm = [&](HWND dialog, DWORD thread) {
        realTimeShown = driver::IsChecked(dialog, IDC_REALTIME);
        everyFrameShown = driver::IsChecked(dialog, IDC_EVERY_FRAME);
        driver::Click(dialog, IDOK);
        driver::AnswerWarningsUntilGone(dialog, thread);
    };
    for (DWORD type = REG_NONE; type <= REG_QWORD; ++type) {
        for (size_t length = 0; length <= 16; ++length) {
            std::vector<BYTE> data(length);
            for (BYTE& b : data)
                b = BYTE(random());
            WriteRaw(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName, type, data.data(), DWORD(data.size()));
            const bool expectRealTime = ReadingRule() != 0;

            realTimeShown = everyFrameShown = false;
            server.ShowDialog(plugin, readAndConfirm);
            EXPECT_EQ(realTimeShown, expectRealTime) << "type " << type << ", " << length << " bytes, seed " << Seed;
            EXPECT_NE(realTimeShown, everyFrameShown) << "exactly one choice is shown";
            EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName).Seen(),
                      StoredDword(expectRealTime ? 1 : 0)) << "type " << type << ", " << length << " bytes";
        }
    }
    plugin->Release();
}

TEST_F(Fuzz, RandomMessagesToTheBoundDialog)
{
    std::mt19937 random(Seed);
    auto any = [&](DWORD limit) { return DWORD(random() % limit); };
    PluginFromDll server;
    IWMPPluginUI* plugin = server.Create();
    ASSERT_NE(plugin, nullptr);

    // Messages a dialog can be sent from outside without being told to close or go away, with
    // random parameters; none carries a pointer.
    auto message = [&]() -> std::tuple<UINT, WPARAM, LPARAM> {
        const LPARAM handle = LPARAM(random());
        switch (any(10)) {
        case 0: {
            // Any command but OK and Cancel, from any control or none.
            WORD id = WORD(random());
            if (id == IDOK || id == IDCANCEL)
                id = 1002;
            return {WM_COMMAND, MAKEWPARAM(id, WORD(random())), handle};
        }
        case 1: return {WM_CTLCOLORMSGBOX + any(7), WPARAM(random()), handle};
        case 2: return {WM_CTLCOLORSTATIC, WPARAM(random()), handle};
        case 3: return {WM_TIMER, WPARAM(random()), 0};
        case 4: return {WM_APP + any(0x100), WPARAM(random()), handle};
        case 5: return {WM_MOUSEMOVE, 0, MAKELPARAM(any(400), any(300))};
        case 6: return {WM_ERASEBKGND, 0, 0}; // the dialog's own DC is put in below
        case 7: return {WM_PAINT, 0, 0};
        case 8: return {WM_KEYDOWN, 'A' + any(26), 1};
        default: return {WM_NULL, WPARAM(random()), handle};
        }
    };

    int closed = 0;
    const auto hammer = [&](HWND dialog, DWORD thread) {
        ++closed;
        HDC own = GetDC(dialog);
        for (int i = 0; i < 3000; ++i) {
            auto [id, wParam, lParam] = message();
            // The platform's default handling paints with the DC it is given, so that one is real.
            if (id == WM_ERASEBKGND)
                wParam = reinterpret_cast<WPARAM>(own);
            SendMessageA(dialog, id, wParam, lParam);
        }
        ReleaseDC(dialog, own);
        driver::Click(dialog, IDOK);
        driver::AnswerWarningsUntilGone(dialog, thread);
    };
    server.ShowDialog(plugin, hammer); // loads what the platform keeps for the process
    const ResourceCounts before = ResourceCounts::Now();
    for (int round = 0; round < 3; ++round)
        server.ShowDialog(plugin, hammer);
    ExpectNothingLeaked(before, ResourceCounts::Settled(before));

    // Each dialog still took its closing click, and OK stored a clean value.
    EXPECT_EQ(closed, 4);
    const StoredValue stored = ReadStored(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName);
    EXPECT_EQ(stored.type, DWORD(REG_DWORD));
    EXPECT_EQ(stored.data.size(), 4u);
    EXPECT_LE(stored.AsDword(), 1u);
    plugin->Release();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

} // namespace
