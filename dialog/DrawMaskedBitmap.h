#pragma once
#include <windows.h>

// Draws a bitmap resource onto window's client area at (x, y), with white as the
// transparent colour: where the bitmap is white the window keeps its own pixels.
void DrawMaskedBitmap(HINSTANCE instance, HWND window, int x, int y, int width, int height, LPCSTR name);
