#include "dialog/DialogResources.h"
#include "support/DialogFixture.h"
#include "support/ResourceCounts.h"
#include <vector>

using namespace driver;

namespace {

// The logo's pixels as 0x00RRGGBB, top row first.
std::vector<COLORREF> LogoPixels()
{
    HBITMAP logo = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), "IDB_TSLBMP", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<COLORREF> pixels(32 * 32);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, logo, 0, 32, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(logo);
    return pixels;
}

COLORREF AsRgb(COLORREF gdi) { return RGB(GetBValue(gdi), GetGValue(gdi), GetRValue(gdi)); }

using QualityDialogLookTest = DialogFixture;

// The logo's white pixels and the texts' backgrounds leave the dialog's own background showing.
TEST_F(QualityDialogLookTest, LogoAndTextsSitOnTheDialogsBackground)
{
    const std::vector<COLORREF> logo = LogoPixels();
    bool brushes = true;
    int wrongLogo = 0, transparent = 0, whiteBehindText = 0, background = 0;
    RunDialog([&](HWND dialog, DWORD) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sync(dialog);
        HDC dc = GetDC(dialog);
        const COLORREF face = GetPixel(dc, 29, 29);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const COLORREF source = AsRgb(logo[y * 32 + x]) & 0xFFFFFF;
                const bool white = source == RGB(255, 255, 255);
                transparent += white;
                wrongLogo += GetPixel(dc, 30 + x, 30 + y) != (white ? face : source);
            }
        }
        for (int id : {IDC_ABOUT_TEXT, IDC_REALTIME, IDC_EVERY_FRAME}) {
            HWND item = GetDlgItem(dialog, id);
            HDC itemDc = GetDC(item);
            const LRESULT answer =
                SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(itemDc), reinterpret_cast<LPARAM>(item));
            brushes = brushes && GetObjectType(reinterpret_cast<HGDIOBJ>(answer)) == OBJ_BRUSH;
            ReleaseDC(item, itemDc);
            RECT r;
            GetWindowRect(item, &r);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            // A radio button's own circle is white inside; its label starts beyond it.
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = id == IDC_ABOUT_TEXT ? r.left : r.left + 16; x < r.right; ++x) {
                    whiteBehindText += GetPixel(dc, x, y) == RGB(255, 255, 255);
                    background += GetPixel(dc, x, y) == face;
                }
        }
        ReleaseDC(dialog, dc);
        Click(dialog, IDCANCEL);
    });
    EXPECT_GT(transparent, 0) << "the logo should have white corners";
    EXPECT_EQ(wrongLogo, 0);
    EXPECT_TRUE(brushes) << "WM_CTLCOLORSTATIC must answer with a brush";
    EXPECT_EQ(whiteBehindText, 0) << "no text may sit on a box of its own";
    EXPECT_GT(background, 0);
}

TEST_F(QualityDialogLookTest, ResourceCountsSeeWhatIsCreated)
{
    const ResourceCounts before = ResourceCounts::Now();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    void* memory = VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    const ResourceCounts during = ResourceCounts::Now();
    VirtualFree(memory, 0, MEM_RELEASE);
    DestroyWindow(window);
    CloseHandle(event);
    DeleteObject(brush);
    EXPECT_EQ(during.gdiObjects, before.gdiObjects + 1);
    EXPECT_EQ(during.kernelHandles, before.kernelHandles + 1);
    EXPECT_GE(during.userObjects, before.userObjects + 1);
    EXPECT_GE(during.privateBytes, before.privateBytes + (4 << 20));
}

TEST_F(QualityDialogLookTest, OpeningRepaintingAndClosingLeavesNothingBehind)
{
    auto cycle = [&] {
        RunDialog([&](HWND dialog, DWORD) {
            for (int i = 0; i < 3; ++i)
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Click(dialog, IDOK);
            WaitUntilGone(dialog);
        });
    };
    cycle(); // the first opening loads what the platform keeps for the process
    const ResourceCounts before = ResourceCounts::Now();
    for (int i = 0; i < 20; ++i)
        cycle();
    ExpectNothingLeaked(before, ResourceCounts::Settled(before));
}

} // namespace
