#include "dialog/CenterOnOwner.h"
#include "support/ImportSlot.h"
#include "support/ScopedValue.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Monitors as the system reports them to the module, whose MonitorFromWindow and GetMonitorInfoA
// are pointed here in every test: by default the test display as one monitor whose work area is a
// taskbar short at the foot and a strip short at the top, as on a desk (the display's own work
// area is the whole screen). A window belongs to the monitor it overlaps most; overlapping none, to
// what the caller asks for: the nearest monitor, the primary or none.
struct Monitor {
    RECT bounds, work;
};
std::vector<Monitor> monitors;
bool monitorInfoFails;

HMONITOR WINAPI FakeMonitorFromWindow(HWND window, DWORD otherwise)
{
    RECT r;
    GetWindowRect(window, &r);
    const auto overlap = [&](const RECT& m) {
        return (std::max)(0L, (std::min)(r.right, m.right) - (std::max)(r.left, m.left)) *
               (std::max)(0L, (std::min)(r.bottom, m.bottom) - (std::max)(r.top, m.top));
    };
    const auto distance = [&](const RECT& m) {
        return (std::max)({m.left - r.right, r.left - m.right, 0L}) + (std::max)({m.top - r.bottom, r.top - m.bottom, 0L});
    };
    size_t best = 0;
    for (size_t i = 1; i < monitors.size(); ++i) {
        const RECT &m = monitors[i].bounds, &b = monitors[best].bounds;
        if (overlap(m) > overlap(b) || (overlap(b) == 0 && distance(m) < distance(b)))
            best = i;
    }
    if (overlap(monitors[best].bounds) == 0 && otherwise != MONITOR_DEFAULTTONEAREST)
        best = otherwise == MONITOR_DEFAULTTOPRIMARY ? 0 : monitors.size();
    return best < monitors.size() ? reinterpret_cast<HMONITOR>(best + 1) : nullptr;
}

BOOL WINAPI FakeGetMonitorInfoA(HMONITOR monitor, MONITORINFO* info)
{
    const size_t i = reinterpret_cast<size_t>(monitor) - 1;
    if (monitorInfoFails || i >= monitors.size())
        return FALSE;
    info->rcMonitor = monitors[i].bounds;
    info->rcWork = monitors[i].work;
    info->dwFlags = i == 0 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

using Corner = std::pair<LONG, LONG>;

class CenterOnOwnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        desk = {0, 30, screen.right, screen.bottom - 40};
        monitors = {{screen, desk}};
        monitorInfoFails = false;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved, 0);
        ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, &desk, 0));
        DWORD* const fromWindow = ImportSlot(GetModuleHandleA(nullptr), "MonitorFromWindow");
        DWORD* const monitorInfo = ImportSlot(GetModuleHandleA(nullptr), "GetMonitorInfoA");
        ASSERT_TRUE(fromWindow && monitorInfo);
        fakeFromWindow.emplace(*fromWindow, reinterpret_cast<DWORD>(&FakeMonitorFromWindow));
        fakeInfo.emplace(*monitorInfo, reinterpret_cast<DWORD>(&FakeGetMonitorInfoA));
    }
    void TearDown() override
    {
        Forget();
        fakeFromWindow.reset();
        fakeInfo.reset();
        SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0);
    }
    void Forget()
    {
        DestroyWindow(window);
        DestroyWindow(owner);
        window = owner = nullptr;
    }
    void MakeOwner(int x, int y, int w, int h, DWORD extraStyle = WS_VISIBLE)
    {
        owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | extraStyle, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
    }
    void MakeWindow(int w, int h)
    {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, w, h, owner, nullptr, nullptr, nullptr);
    }
    // Centres the window and tells where its top-left corner went.
    Corner Centred(HWND centre = nullptr)
    {
        CenterOnOwner(window, centre);
        RECT r;
        GetWindowRect(window, &r);
        return {r.left, r.top};
    }
    HWND owner = nullptr;
    HWND window = nullptr;
    RECT desk = {}, saved = {};
    std::optional<ScopedValue<DWORD>> fakeFromWindow, fakeInfo;
};

TEST_F(CenterOnOwnerTest, CentresOnAVisibleOwnerHalvingOddSumsAndSizesDown)
{
    MakeOwner(100, 100, 401, 201); // sums 601 and 401 are odd
    MakeWindow(101, 51);           // so are the sizes
    EXPECT_TRUE(CenterOnOwner(window, nullptr));
    EXPECT_EQ(Centred(), Corner((100 + 501) / 2 - 101 / 2, (100 + 301) / 2 - 51 / 2)); // 300 - 50, 200 - 25
}

TEST_F(CenterOnOwnerTest, ExplicitCentreWinsOverTheOwner)
{
    MakeOwner(0, 0, 100, 100);
    MakeWindow(100, 50);
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 300, 200, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    EXPECT_EQ(Centred(other), Corner(350, 225));
    DestroyWindow(other);
}

TEST_F(CenterOnOwnerTest, HiddenMinimisedOrMissingOwnerMeansTheWorkArea)
{
    const Corner expected((desk.left + desk.right) / 2 - 200 / 2, (desk.top + desk.bottom) / 2 - 100 / 2);
    for (DWORD ownerStyle : {DWORD(0), DWORD(WS_VISIBLE | WS_MINIMIZE)}) {
        MakeOwner(10, 10, 300, 300, ownerStyle);
        MakeWindow(200, 100);
        EXPECT_EQ(Centred(), expected) << ownerStyle;
        Forget();
    }
    MakeWindow(200, 100);
    EXPECT_EQ(Centred(), expected);
}

TEST_F(CenterOnOwnerTest, StaysInsideTheWorkArea)
{
    MakeOwner(desk.left - 300, desk.top - 200, 400, 300);
    MakeWindow(200, 100);
    EXPECT_EQ(Centred(), Corner(desk.left, desk.top));
    MoveWindow(owner, desk.right - 100, desk.bottom - 50, 400, 300, FALSE);
    EXPECT_EQ(Centred(), Corner(desk.right - 200, desk.bottom - 100));
}

TEST_F(CenterOnOwnerTest, LargerThanTheAreaTakesItsLeftAndTopEdges)
{
    MakeOwner(100, 100, 200, 200);
    MakeWindow(200, 100);
    SetWindowPos(window, nullptr, 0, 0, desk.right - desk.left + 300, desk.bottom - desk.top + 200,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(window, &r);
    ASSERT_GT(r.right - r.left, desk.right - desk.left) << "this platform kept the window within the screen";
    EXPECT_EQ(Centred(), Corner(desk.left, desk.top));
}

TEST_F(CenterOnOwnerTest, ChildCentresInItsParentsClientArea)
{
    MakeOwner(50, 50, 401, 301);
    window = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 101, 51, owner, nullptr, nullptr, nullptr);
    RECT client;
    GetClientRect(owner, &client);
    POINT origin = {0, 0};
    ClientToScreen(owner, &origin);
    EXPECT_EQ(Centred(), Corner(origin.x + client.right / 2 - 101 / 2, origin.y + client.bottom / 2 - 51 / 2));

    // Wider than the parent: the left edge wins.
    SetWindowPos(window, nullptr, 0, 0, 1000, 20, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(Centred().first, origin.x);
}

// The dialog opens on the owner's monitor, inside that monitor's work area; an owner off every
// monitor takes the nearest one; without the monitor's information, the primary work area.
TEST_F(CenterOnOwnerTest, StaysOnTheOwnersMonitor)
{
    // The primary monitor with a taskbar at its foot, and a taller one to its right with its own.
    monitors = {{{0, 0, 1280, 1024}, {0, 0, 1280, 984}}, {{1280, -200, 3200, 1200}, {1280, -200, 3200, 1160}}};

    const struct {
        RECT owner;
        Corner expected;
    } cases[] = {
        {{2000, 500, 2400, 800}, {2100, 600}},    // on the second monitor: centred
        {{2000, 1100, 2400, 1190}, {2100, 1060}}, // at its foot: above its own taskbar, below the primary's
        {{1000, 300, 1600, 500}, {1280, 350}},    // straddling, mostly on the second: its left edge
        {{-900, 300, -700, 400}, {0, 300}},       // off every monitor, nearest the primary
        {{3400, 500, 3600, 600}, {3000, 500}},    // off every monitor, nearest the second
    };
    for (const auto& c : cases) {
        MakeOwner(c.owner.left, c.owner.top, c.owner.right - c.owner.left, c.owner.bottom - c.owner.top);
        MakeWindow(200, 100);
        EXPECT_EQ(Centred(), c.expected) << c.owner.left << "," << c.owner.top;
        Forget();
    }

    ScopedValue<bool> failing(monitorInfoFails, true);
    MakeOwner(2000, 1100, 400, 90);
    MakeWindow(200, 100);
    EXPECT_EQ(Centred(), Corner(desk.right - 200, desk.bottom - 100));
}

} // namespace
