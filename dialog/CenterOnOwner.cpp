#include "dialog/CenterOnOwner.h"

namespace {

// The work area of the monitor nearest a window, so that a dialog opens where the person is looking;
// the primary monitor's when the system cannot tell.
RECT WorkAreaNear(HWND window)
{
    MONITORINFO info = {sizeof info, {}, {}, 0};
    if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info))
        return info.rcWork;
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

} // namespace

BOOL CenterOnOwner(HWND window, HWND centre)
{
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    if (!centre)
        centre = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT bounds;
    GetWindowRect(window, &bounds);
    const int w = bounds.right - bounds.left;
    const int h = bounds.bottom - bounds.top;

    RECT area;
    RECT reference;
    if (!child) {
        if (centre) {
            const LONG centreStyle = GetWindowLongA(centre, GWL_STYLE);
            if (!(centreStyle & WS_VISIBLE) || (centreStyle & WS_MINIMIZE))
                centre = nullptr;
        }
        // The owner's monitor, or without one the monitor the window is on now.
        area = WorkAreaNear(centre ? centre : window);
        if (centre)
            GetWindowRect(centre, &reference);
        else
            reference = area;
    } else {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        GetClientRect(centre, &reference);
        MapWindowPoints(centre, parent, reinterpret_cast<POINT*>(&reference), 2);
    }

    // Integer division rounds toward zero, also for negative coordinates.
    int x = (reference.left + reference.right) / 2 - w / 2;
    int y = (reference.top + reference.bottom) / 2 - h / 2;
    // The left and top edges win when the window is larger than the area.
    if (x < area.left)
        x = area.left;
    else if (x + w > area.right)
        x = area.right - w;
    if (y < area.top)
        y = area.top;
    else if (y + h > area.bottom)
        y = area.bottom - h;

    return SetWindowPos(window, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
