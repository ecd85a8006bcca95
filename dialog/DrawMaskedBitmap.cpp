#include "dialog/DrawMaskedBitmap.h"

namespace {
constexpr COLORREF White = RGB(255, 255, 255);
}

void DrawMaskedBitmap(HINSTANCE instance, HWND window, int x, int y, int width, int height, LPCSTR name)
{
    HBITMAP bitmap = LoadBitmapA(instance, name);
    HDC screen = GetDC(window);
    HDC image = CreateCompatibleDC(screen);
    HDC mask = CreateCompatibleDC(screen);
    const COLORREF oldBackground = SetBkColor(screen, White);
    HGDIOBJ imageOld = SelectObject(image, bitmap);
    // Compatible with a fresh memory context, the mask is monochrome.
    HBITMAP maskBitmap = CreateCompatibleBitmap(mask, width, height);
    HGDIOBJ maskOld = SelectObject(mask, maskBitmap);
    SetBkColor(image, White);

    // Mask bits are 1 where the image is white.
    BitBlt(mask, 0, 0, width, height, image, 0, 0, SRCCOPY);
    // XOR the image in, clear it where it is opaque, XOR it again: white pixels leave the
    // screen as it was, all others replace it.
    BitBlt(screen, x, y, width, height, image, 0, 0, SRCINVERT);
    BitBlt(screen, x, y, width, height, mask, 0, 0, SRCAND);
    BitBlt(screen, x, y, width, height, image, 0, 0, SRCINVERT);

    // Released by hand in this order: each context gets its old object back before what it
    // held is deleted, and the contexts go before the screen's is given back.
    SelectObject(image, imageOld);
    SetBkColor(screen, oldBackground);
    SelectObject(mask, maskOld);
    if (bitmap)
        DeleteObject(bitmap);
    if (maskBitmap)
        DeleteObject(maskBitmap);
    if (image)
        DeleteDC(image);
    if (mask)
        DeleteDC(mask);
    if (screen)
        ReleaseDC(window, screen);
}
