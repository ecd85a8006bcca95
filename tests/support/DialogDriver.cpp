#include "support/DialogDriver.h"

namespace driver {

namespace {

struct Search {
    const char* caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (window != search->except && IsWindowVisible(window) && lstrcmpA(text, search->caption) == 0) {
        search->found = window;
    }
    return TRUE;
}

struct Sweep {
    bool cancel;
    bool found;
};

// Notes the thread's dialogs and, when asked, tells each of them to cancel.
BOOL CALLBACK SweepDialog(HWND window, LPARAM parameter)
{
    auto* sweep = reinterpret_cast<Sweep*>(parameter);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0) {
        sweep->found = true;
        if (sweep->cancel)
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

bool HasDialogs(DWORD threadId, bool cancel = false)
{
    Sweep sweep = {cancel, false};
    EnumThreadWindows(threadId, SweepDialog, reinterpret_cast<LPARAM>(&sweep));
    return sweep.found;
}

} // namespace

HWND WaitForWindow(DWORD threadId, const char* caption, HWND except, DWORD timeout)
{
    Search search = {caption, except, nullptr};
    WaitUntil([&] {
        EnumThreadWindows(threadId, MatchCaption, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeout);
    return search.found;
}

bool WaitUntilGone(HWND window, DWORD timeout)
{
    return WaitUntil([window] { return !IsWindow(window); }, timeout);
}

void Click(HWND dialog, int itemId) { PostMessageA(GetDlgItem(dialog, itemId), BM_CLICK, 0, 0); }

void PressKey(HWND window, WPARAM virtualKey)
{
    PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(window, WM_KEYUP, virtualKey, 0xC0000001);
}

void CloseBox(HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool IsChecked(HWND dialog, int itemId)
{
    return SendMessageA(GetDlgItem(dialog, itemId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string ItemText(HWND dialog, int itemId)
{
    char text[512] = {};
    GetWindowTextA(GetDlgItem(dialog, itemId), text, sizeof text);
    return text;
}

void Sync(HWND window)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, DefaultWait, &ignored);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeout)
            return false;
        Sleep(10);
    }
    return true;
}

Automation::Automation(std::function<void(DWORD)> script)
{
    const DWORD driven = GetCurrentThreadId();
    worker = std::thread([driven, script] {
        script(driven);
        for (int wait = 0; wait < 40 && HasDialogs(driven); ++wait)
            Sleep(50);
        for (int attempt = 0; attempt < 100 && HasDialogs(driven); ++attempt) {
            Sleep(50);
            HasDialogs(driven, true);
        }
    });
}

Automation::~Automation() { Join(); }

void Automation::Join()
{
    if (worker.joinable())
        worker.join();
}

} // namespace driver
