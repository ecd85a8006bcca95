#include "support/DialogDriver.h"
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace driver {

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadWindows(DWORD threadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Read without a message to the window's thread, which may not be pumping its queue; the texts
// looked at here are ASCII.
std::string Text(HWND window)
{
    WCHAR text[512] = {};
    const int length = InternalGetWindowText(window, text, 512);
    return std::string(text, text + length);
}

std::vector<HWND> Dialogs(DWORD threadId)
{
    std::vector<HWND> dialogs;
    for (HWND window : ThreadWindows(threadId)) {
        char className[64] = {};
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0)
            dialogs.push_back(window);
    }
    return dialogs;
}

} // namespace

HWND WaitForWindow(DWORD threadId, const char* caption, HWND except, DWORD timeout)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window : ThreadWindows(threadId))
            if (window != except && IsWindowVisible(window) && Text(window) == caption)
                found = window;
        return found != nullptr;
    }, timeout);
    return found;
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

std::string ItemText(HWND dialog, int itemId) { return Text(GetDlgItem(dialog, itemId)); }

int AnswerWarningsUntilGone(HWND dialog, DWORD threadId)
{
    int answered = 0;
    WaitUntil([&] {
        if (HWND warning = WaitForWindow(threadId, WarningCaption, nullptr, 0)) {
            PressKey(warning, VK_RETURN);
            WaitUntilGone(warning);
            ++answered;
        }
        return !IsWindow(dialog);
    });
    return answered;
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

INT_PTR RunDriven(const char* caption, const std::function<INT_PTR()>& run,
                  const std::function<void(HWND window, DWORD thread)>& steps)
{
    const DWORD driven = GetCurrentThreadId();
    std::thread worker([&] {
        [&] {
            HWND window = WaitForWindow(driven, caption);
            ASSERT_NE(window, nullptr) << caption;
            steps(window, driven);
        }();
        for (int wait = 0; wait < 40 && !Dialogs(driven).empty(); ++wait)
            Sleep(50);
        for (int attempt = 0; attempt < 100 && !Dialogs(driven).empty(); ++attempt) {
            Sleep(50);
            for (HWND dialog : Dialogs(driven))
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    const INT_PTR result = run();
    worker.join();
    return result;
}

} // namespace driver
