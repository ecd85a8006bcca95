// Drives the packages as a person and a deployment tool would, for the installer round trip:
//   installerdriver run FILE      runs the command line that FILE holds, exactly as written (no shell
//                                 or argument quoting between), and prints its whole exit code, which
//                                 a Unix exit status would cut to its low 8 bits;
//   installerdriver cancel TITLE  waits up to ten seconds for a visible, enabled top-level window
//                                 whose title starts with TITLE, then presses its Cancel button.
// Exits 0 when it did what it was asked, 1 otherwise.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
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

int Cancel(const char* title)
{
    wanted = title;
    for (int tries = 0; tries < 100 && !found; ++tries) {
        EnumWindows(Match, 0);
        Sleep(100);
    }
    if (!found)
        return 1;
    PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(found, IDCANCEL)));
    return 0;
}

int Run(const char* file)
{
    char line[4096] = "";
    FILE* input = std::fopen(file, "rb");
    if (!input)
        return 1;
    const size_t length = std::fread(line, 1, sizeof line - 1, input);
    std::fclose(input);
    line[length] = '\0';
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

// As msiexec.exe, it exits with the code that C:\msiexec-code.txt holds, or never when that says
// "wait", as a run that is stopped midway.
int StandIn()
{
    char word[16] = "1";
    FILE* input = std::fopen("C:\\msiexec-code.txt", "rb");
    if (input) {
        if (std::fscanf(input, "%15s", word) != 1)
            std::strcpy(word, "1");
        std::fclose(input);
    }
    if (std::strcmp(word, "wait") == 0)
        Sleep(INFINITE);
    return std::atoi(word);
}

int main(int argc, char** argv)
{
    const size_t length = std::strlen(argv[0]);
    if (length >= 11 && _stricmp(argv[0] + length - 11, "msiexec.exe") == 0)
        return StandIn();
    if (argc == 3 && std::strcmp(argv[1], "run") == 0)
        return Run(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "cancel") == 0)
        return Cancel(argv[2]);
    return 1;
}
