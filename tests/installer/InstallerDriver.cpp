// Drives the package as a person and a deployment tool would, for the installer round trip:
//   installerdriver run FILE      runs the command line that FILE holds, exactly as written (no shell
//                                 or argument quoting between), and prints its whole exit code, which
//                                 a Unix exit status would cut to its low 8 bits;
//   installerdriver press TITLE ID  waits up to ten seconds for a visible, enabled top-level window
//                                 titled TITLE... whose button ID is enabled, prints the window's
//                                 texts (a message box's message), and presses the button.
// Exits 0 when it did what it was asked, 1 otherwise.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* wanted;
HWND found;

BOOL CALLBACK Match(HWND window, LPARAM button)
{
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    if (std::strncmp(title, wanted, std::strlen(wanted)) != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window) ||
        !IsWindowEnabled(GetDlgItem(window, static_cast<int>(button))))
        return TRUE;
    found = window;
    return FALSE;
}

BOOL CALLBACK PrintText(HWND child, LPARAM)
{
    char text[1024] = "";
    GetClassNameA(child, text, sizeof text);
    if (_stricmp(text, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        std::printf("%s\n", text);
    return TRUE;
}

int Press(const char* title, int id)
{
    wanted = title;
    for (int tries = 0; tries < 100 && !found; ++tries) {
        EnumWindows(Match, id);
        Sleep(100);
    }
    if (!found)
        return 1;
    EnumChildWindows(found, PrintText, 0);
    PostMessageA(found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(found, id)));
    return 0;
}

int Run(const char* file)
{
    char line[4096] = "";
    FILE* input = std::fopen(file, "rb");
    if (!input)
        return 1;
    std::fread(line, 1, sizeof line - 1, input);
    std::fclose(input);
    line[std::strcspn(line, "\r\n")] = '\0';
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("%lu\n", code);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "run") == 0)
        return Run(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "press") == 0)
        return Press(argv[2], std::atoi(argv[3]));
    return 1;
}
