#include "dialog/DialogResources.h"
#include "plugin/PluginObject.h"
#include "support/DialogFixture.h"
#include <cstdlib>
#include <functional>

using namespace driver;

namespace {

using QualityDialogTest = DialogFixture;

// The about text names the decoder and its version; the radio buttons follow the stored value.
TEST_F(QualityDialogTest, ShowsTheDecoderAndTheStoredChoice)
{
    std::string text;
    // Opens the dialog, reads its choice (1 RealTime, 0 Every Frame, -1 neither or both) and cancels.
    const auto shown = [&] {
        int choice = -1;
        RunDialog([&](HWND dialog, DWORD) {
            const bool realTime = IsChecked(dialog, IDC_REALTIME), everyFrame = IsChecked(dialog, IDC_EVERY_FRAME);
            choice = realTime != everyFrame ? realTime : -1;
            text = ItemText(dialog, IDC_ABOUT_TEXT);
            Click(dialog, IDCANCEL);
        });
        return choice;
    };
    EXPECT_EQ(shown(), 1) << "no value shows RealTime";
    EXPECT_EQ(text.rfind("TSL Vireo Decoder \r1.0.0.9\r", 0), 0u) << text;
    for (DWORD value : {0u, 1u, 2u}) {
        Store(value);
        EXPECT_EQ(shown(), value != 0 ? 1 : 0) << value;
    }
}

TEST_F(QualityDialogTest, OkWithoutAStoredValueWritesRealTimeWithoutWarning)
{
    EXPECT_EQ(RunDialog([&](HWND dialog, DWORD) {
        Click(dialog, IDOK);
        // Nothing answers a warning here, so one would keep the dialog open.
        EXPECT_TRUE(WaitUntilGone(dialog)) << "OK showed a warning";
    }), IDOK);
    EXPECT_EQ(Stored().Seen(), StoredDword(1));
}

TEST_F(QualityDialogTest, ChangedChoiceWarnsBeforeItIsWritten)
{
    Store(0);
    DWORD storedDuringWarning = 99;
    EXPECT_EQ(RunDialog([&](HWND dialog, DWORD thread) {
        Click(dialog, IDC_REALTIME);
        EXPECT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_REALTIME); }));
        EXPECT_FALSE(IsChecked(dialog, IDC_EVERY_FRAME)) << "the radio buttons clear each other";
        Click(dialog, IDOK);
        HWND warning = WaitForWindow(thread, WarningCaption);
        ASSERT_NE(warning, nullptr);
        storedDuringWarning = Stored().AsDword();
        // Owned by the dialog, which stays disabled behind it: OK cannot be pressed twice.
        EXPECT_EQ(GetWindow(warning, GW_OWNER), dialog);
        EXPECT_FALSE(IsWindowEnabled(dialog));
        EXPECT_TRUE(IsWindow(dialog));
        PressKey(warning, VK_RETURN);
    }), IDOK);
    EXPECT_EQ(storedDuringWarning, 0u);
    EXPECT_EQ(Stored().AsDword(), 1u);
}

TEST_F(QualityDialogTest, StoredValueOtherThanOneWarnsEvenWhenUntouched)
{
    Store(2);
    int warnings = 0;
    EXPECT_EQ(RunDialog([&](HWND dialog, DWORD thread) {
        PressKey(dialog, VK_RETURN); // Enter is OK
        warnings = AnswerWarningsUntilGone(dialog, thread);
    }), IDOK);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(Stored().AsDword(), 1u);
}

TEST_F(QualityDialogTest, ChoosingEveryFrameWritesZero)
{
    EXPECT_EQ(RunDialog([&](HWND dialog, DWORD thread) {
        Click(dialog, IDC_EVERY_FRAME);
        Click(dialog, IDOK);
        EXPECT_EQ(AnswerWarningsUntilGone(dialog, thread), 1);
    }), IDOK);
    EXPECT_EQ(Stored().Seen(), StoredDword(0));
}

TEST_F(QualityDialogTest, CancelEscapeAndCloseBoxWriteNothing)
{
    // The Cancel button, the Escape key and the close box.
    const std::function<void(HWND)> ways[] = {[](HWND d) { Click(d, IDCANCEL); }, [](HWND d) { PressKey(d, VK_ESCAPE); },
                                              CloseBox};
    for (int way = 0; way < 3; ++way) {
        EXPECT_EQ(RunDialog([&](HWND dialog, DWORD) {
            Click(dialog, IDC_EVERY_FRAME);
            ways[way](dialog);
        }), IDCANCEL) << way;
        // Reading the setting made no key either.
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, QualityKeyPath, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND) << way;
        if (key)
            RegCloseKey(key);
    }
}

TEST_F(QualityDialogTest, FailedSaveTellsTheUserAndKeepsTheDialogOpen)
{
    // A volatile parent refuses the lasting key the setting needs.
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);

    bool toldUser = false, stayedOpen = false;
    EXPECT_EQ(RunDialog([&](HWND dialog, DWORD thread) {
        Click(dialog, IDOK);
        // The failure box carries the dialog's caption, and the dialog owns it.
        HWND box = WaitForWindow(thread, DialogCaption, dialog);
        toldUser = box != nullptr && GetWindow(box, GW_OWNER) == dialog;
        if (box) {
            PressKey(box, VK_RETURN);
            WaitUntilGone(box);
        }
        stayedOpen = !WaitUntilGone(dialog, 500);

        // With the obstacle gone, OK saves and closes.
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline");
        Click(dialog, IDOK);
        EXPECT_TRUE(WaitUntilGone(dialog));
    }), IDOK);
    EXPECT_TRUE(toldUser);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(Stored().AsDword(), 1u);
}

TEST_F(QualityDialogTest, DisplayPropertyPageAnswersSOkWhateverTheDialogDid)
{
    IWMPPluginUI* plugin = nullptr;
    ASSERT_EQ(CreatePlugin(IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin)), S_OK);
    // The owner sits off the screen's centre, and the dialog opens centred on it.
    RECT ownerAt, work;
    GetWindowRect(owner, &ownerAt);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    for (int button : {IDCANCEL, IDOK}) {
        HWND shownOwner = nullptr;
        RECT shownAt = {};
        EXPECT_EQ(RunDriven(DialogCaption, [&] { return INT_PTR(plugin->DisplayPropertyPage(owner)); },
                            [&](HWND dialog, DWORD) {
                                shownOwner = GetWindow(dialog, GW_OWNER);
                                GetWindowRect(dialog, &shownAt);
                                Click(dialog, button);
                            }),
                  S_OK);
        EXPECT_EQ(shownOwner, owner);
        EXPECT_LE(std::abs(shownAt.left + shownAt.right - ownerAt.left - ownerAt.right), 1);
        EXPECT_LE(std::abs(shownAt.top + shownAt.bottom - ownerAt.top - ownerAt.bottom), 1);
        EXPECT_TRUE(shownAt.left >= work.left && shownAt.top >= work.top && shownAt.right <= work.right &&
                    shownAt.bottom <= work.bottom);
        EXPECT_EQ(Stored().present, button == IDOK) << "only OK stores the choice";
    }
    // An owner that is no window: no dialog at all, and still S_OK.
    EXPECT_EQ(plugin->DisplayPropertyPage(reinterpret_cast<HWND>(0xDEAD0)), S_OK);
    plugin->Release();
}

TEST(AboutText, FormatsWithinItsBufferWhateverTheTemplateHolds)
{
    char out[16];
    FormatAboutText("%s \r%s\rmore", "TSL", "1.0", out, sizeof out);
    EXPECT_STREQ(out, "TSL \r1.0\rmore");

    // Extra placeholders stay empty, other specifiers are plain text, "%%" is one "%".
    FormatAboutText("%s%s%s%d%n%%", "a", "b", out, sizeof out);
    EXPECT_STREQ(out, "ab%d%n%");

    std::string longFormat(1000, 'x');
    char bounded[256];
    bounded[255] = 'Z';
    FormatAboutText((longFormat + "%s").c_str(), "TSL Vireo Decoder", "1.0.0.9", bounded, sizeof bounded);
    EXPECT_EQ(std::string(bounded).size(), 255u);
}

} // namespace
