#pragma once
#include <windows.h>

// Centres window over centre (or, when centre is null, its parent or owner) and keeps it
// inside the bounding area: for a top-level window the work area of the monitor nearest its owner
// (or itself), for a child the parent's client area. A hidden or minimised owner gives way to that
// work area.
BOOL CenterOnOwner(HWND window, HWND centre);
