// Presses Cancel in a window, as a person would: waits up to ten seconds for a visible, enabled
// top-level window whose title starts with the given text, then sends it the Cancel button's
// command. Exits 0 once sent, 1 if no such window appeared. Usage: presscancel TITLE
#include <windows.h>
#include <cstring>

namespace {

const char* wanted;
HWND found;

BOOL CALLBACK Match(HWND window, LPARAM)
{
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    if (std::strncmp(title, wanted, std::strlen(wanted)) != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    found = window;
    return FALSE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 1;
    wanted = argv[1];
    for (int tries = 0; tries < 100 && !found; ++tries) {
        EnumWindows(Match, 0);
        Sleep(100);
    }
    if (!found)
        return 1;
    PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(found, IDCANCEL)));
    return 0;
}
