#include "host/Snapshot.h"
#include "dialog/DialogResources.h"
#include <vector>

namespace {

constexpr char DialogCaption[] = QUALITY_DIALOG_CAPTION;

struct Search {
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    if (IsWindowVisible(window) && lstrcmpA(text, DialogCaption) == 0)
        reinterpret_cast<Search*>(parameter)->found = window;
    return TRUE;
}

HWND WaitForDialog(DWORD thread)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        Search search = {nullptr};
        EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(10);
    }
    return nullptr;
}

bool SaveScreenRect(const RECT& r, const char* path)
{
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    const DWORD stride = (width * 3 + 3) & ~3;
    header.biSizeImage = stride * height;
    std::vector<BYTE> pixels(header.biSizeImage);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
              WriteFile(out, &header, sizeof header, &written, nullptr) &&
              WriteFile(out, pixels.data(), header.biSizeImage, &written, nullptr);
    CloseHandle(out);
    return ok;
}

} // namespace

bool SnapshotAndClose(DWORD dialogThread, const char* bmpPath)
{
    HWND dialog = WaitForDialog(dialogThread);
    if (!dialog)
        return false;
    // Let the dialog finish painting before the picture is taken.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    Sleep(500);
    RECT r;
    GetWindowRect(dialog, &r);
    const bool saved = SaveScreenRect(r, bmpPath);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return saved;
}
