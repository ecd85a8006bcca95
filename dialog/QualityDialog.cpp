#include "dialog/QualityDialog.h"
#include "dialog/CenterOnOwner.h"
#include "dialog/DialogResources.h"
#include "dialog/DrawMaskedBitmap.h"
#include "server/ModuleRecord.h"
#include "settings/QualitySetting.h"
#include "settings/RegistrySettings.h"

namespace {

constexpr char ProductName[] = "TSL Vireo Decoder";
constexpr char ProductVersion[] = "1.0.0.9";
constexpr char LogoName[] = "IDB_TSLBMP";
constexpr int LogoX = 30, LogoY = 30, LogoSize = 32;
constexpr char ChangeWarning[] = "Changes may not take effect until the next stream is opened.";
constexpr char ChangeCaption[] = "Changes";
constexpr char SaveFailure[] =
    "The playback quality could not be saved.\r\rChoose OK to try again, or Cancel to keep the stored setting.";
constexpr int AboutTextLength = 256;

DWORD StoredQuality()
{
    return ReadDwordSetting(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName, DefaultQuality);
}

DWORD ChosenQuality(HWND window)
{
    return SendMessageA(GetDlgItem(window, IDC_REALTIME), BM_GETCHECK, 0, 0) ? RealTime : EveryFrame;
}

} // namespace

void FormatAboutText(const char* format, const char* product, const char* version, char* out, size_t outSize)
{
    if (outSize == 0)
        return;
    const char* values[] = {product, version};
    size_t used = 0;
    int nextValue = 0;
    auto put = [&](char c) {
        if (used + 1 < outSize)
            out[used++] = c;
    };
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (nextValue < 2)
                for (const char* v = values[nextValue]; *v; ++v)
                    put(*v);
            ++nextValue;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            put('%');
            ++p;
        } else {
            put(*p);
        }
    }
    out[used] = '\0';
}

BOOL QualityDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result, DWORD mapId)
{
    if (mapId != 0)
        return FALSE;

    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(window);
        result = 1; // let the dialog manager focus the first tab stop
        return TRUE;

    case WM_CTLCOLORSTATIC:
        // The logo is drawn before each static control paints; the colours and the brush stay
        // the dialog manager's, so the texts sit on the dialog's own background.
        DrawMaskedBitmap(libraryInstance, window, LogoX, LogoY, LogoSize, LogoSize, LogoName);
        return FALSE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (OnOk(window))
                EndDialog(window, IDOK);
            result = 0;
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            result = 0;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void QualityDialog::OnInitDialog(HWND window)
{
    CenterOnOwner(window, nullptr);

    char format[AboutTextLength];
    if (GetDlgItemTextA(window, IDC_ABOUT_TEXT, format, AboutTextLength) != 0) {
        char about[AboutTextLength];
        FormatAboutText(format, ProductName, ProductVersion, about, AboutTextLength);
        SetDlgItemTextA(window, IDC_ABOUT_TEXT, about);
    }

    const int checked = StoredQuality() != 0 ? IDC_REALTIME : IDC_EVERY_FRAME;
    SendMessageA(GetDlgItem(window, checked), BM_SETCHECK, BST_CHECKED, 0);
}

bool QualityDialog::OnOk(HWND window)
{
    // The stored value is read first, then the choice.
    const DWORD stored = StoredQuality();
    if (stored != ChosenQuality(window))
        MessageBoxA(window, ChangeWarning, ChangeCaption, MB_OK | MB_ICONEXCLAMATION);

    // Asked again: the choice written is the one shown once the warning has closed.
    if (WriteDwordSetting(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName, ChosenQuality(window)))
        return true;
    // Closing now would lose the user's choice without a word; stay open instead.
    MessageBoxA(window, SaveFailure, QUALITY_DIALOG_CAPTION, MB_OK | MB_ICONERROR);
    return false;
}

void ShowQualityDialog(HWND owner)
{
    QualityDialog dialog;
    dialog.RunModal(moduleRecord.resourceInstance, MAKEINTRESOURCEA(IDD_QUALITY), owner);
}
