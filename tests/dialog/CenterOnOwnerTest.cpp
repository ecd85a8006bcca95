#include "dialog/CenterOnOwner.h"
#include <gtest/gtest.h>

namespace {

RECT WorkArea()
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

class CenterOnOwnerTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (window)
            DestroyWindow(window);
        if (owner)
            DestroyWindow(owner);
    }
    HWND MakeOwner(int x, int y, int w, int h, DWORD extraStyle = WS_VISIBLE)
    {
        owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | extraStyle, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
        return owner;
    }
    HWND MakeWindow(int w, int h)
    {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, w, h, owner, nullptr, nullptr, nullptr);
        return window;
    }
    POINT PlacedAt()
    {
        RECT r;
        GetWindowRect(window, &r);
        return {r.left, r.top};
    }
    HWND owner = nullptr;
    HWND window = nullptr;
};

TEST_F(CenterOnOwnerTest, CentresOnAVisibleOwnerHalvingOddSumsAndSizesDown)
{
    MakeOwner(100, 100, 401, 201); // sums 601 and 401 are odd
    MakeWindow(101, 51);           // so are the sizes
    EXPECT_TRUE(CenterOnOwner(window, nullptr));
    const POINT p = PlacedAt();
    EXPECT_EQ(p.x, (100 + 501) / 2 - 101 / 2); // 300 - 50
    EXPECT_EQ(p.y, (100 + 301) / 2 - 51 / 2);  // 200 - 25
}

TEST_F(CenterOnOwnerTest, ExplicitCentreWinsOverTheOwner)
{
    MakeOwner(0, 0, 100, 100);
    MakeWindow(100, 50);
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 300, 200, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    CenterOnOwner(window, other);
    const POINT p = PlacedAt();
    EXPECT_EQ(p.x, 350);
    EXPECT_EQ(p.y, 225);
    DestroyWindow(other);
}

TEST_F(CenterOnOwnerTest, HiddenMinimisedOrMissingOwnerMeansTheWorkArea)
{
    const RECT area = WorkArea();
    const POINT expected = {(area.left + area.right) / 2 - 200 / 2, (area.top + area.bottom) / 2 - 100 / 2};
    for (DWORD ownerStyle : {DWORD(0), DWORD(WS_VISIBLE | WS_MINIMIZE)}) {
        MakeOwner(10, 10, 300, 300, ownerStyle);
        MakeWindow(200, 100);
        CenterOnOwner(window, nullptr);
        const POINT p = PlacedAt();
        EXPECT_EQ(p.x, expected.x) << ownerStyle;
        EXPECT_EQ(p.y, expected.y) << ownerStyle;
        DestroyWindow(window);
        DestroyWindow(owner);
        window = owner = nullptr;
    }
    MakeWindow(200, 100);
    CenterOnOwner(window, nullptr);
    EXPECT_EQ(PlacedAt().x, expected.x);
    EXPECT_EQ(PlacedAt().y, expected.y);
}

TEST_F(CenterOnOwnerTest, StaysInsideTheWorkArea)
{
    const RECT area = WorkArea();
    MakeOwner(area.left - 300, area.top - 200, 400, 300);
    MakeWindow(200, 100);
    CenterOnOwner(window, nullptr);
    EXPECT_EQ(PlacedAt().x, area.left);
    EXPECT_EQ(PlacedAt().y, area.top);

    MoveWindow(owner, area.right - 100, area.bottom - 50, 400, 300, FALSE);
    CenterOnOwner(window, nullptr);
    EXPECT_EQ(PlacedAt().x, area.right - 200);
    EXPECT_EQ(PlacedAt().y, area.bottom - 100);
}

TEST_F(CenterOnOwnerTest, LargerThanTheAreaTakesItsLeftAndTopEdges)
{
    const RECT area = WorkArea();
    MakeOwner(100, 100, 200, 200);
    MakeWindow(200, 100);
    SetWindowPos(window, nullptr, 0, 0, area.right - area.left + 300, area.bottom - area.top + 200,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(window, &r);
    ASSERT_GT(r.right - r.left, area.right - area.left) << "this platform kept the window within the screen";
    CenterOnOwner(window, nullptr);
    EXPECT_EQ(PlacedAt().x, area.left);
    EXPECT_EQ(PlacedAt().y, area.top);
}

TEST_F(CenterOnOwnerTest, ChildCentresInItsParentsClientArea)
{
    MakeOwner(50, 50, 401, 301);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 101, 51, owner, nullptr, nullptr,
                                 nullptr);
    CenterOnOwner(child, nullptr);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&r), 2);
    RECT client;
    GetClientRect(owner, &client);
    EXPECT_EQ(r.left, client.right / 2 - 101 / 2);
    EXPECT_EQ(r.top, client.bottom / 2 - 51 / 2);

    // Wider than the parent: the left edge wins.
    SetWindowPos(child, nullptr, 0, 0, 1000, 20, SWP_NOMOVE | SWP_NOZORDER);
    CenterOnOwner(child, nullptr);
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 0);
}

} // namespace
