#pragma once
#include <windows.h>

// Centres window over centre (or, when centre is null, its parent or owner) and keeps it
// inside the bounding area: the work area for a top-level window, the parent's client area
// for a child. A hidden or minimised owner gives way to the work area.
BOOL CenterOnOwner(HWND window, HWND centre);
