#include "support/IdleDialogs.h"

namespace {
constexpr char OwnerClass[] = "VireoTestOwner";
constexpr char SeenMark[] = "VireoTestSeen";
IdleDialogs* current;
} // namespace

IdleDialogs::IdleDialogs(std::function<void(HWND)> callback) : onIdle(std::move(callback))
{
    WNDCLASSA ownerClass = {};
    ownerClass.lpfnWndProc = OwnerProcedure;
    ownerClass.hInstance = GetModuleHandleA(nullptr);
    ownerClass.lpszClassName = OwnerClass;
    RegisterClassA(&ownerClass);
    current = this;
    owner = CreateWindowExA(0, OwnerClass, "Test owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500, 400,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    hook = SetWindowsHookExA(WH_CBT, AnswerWarnings, nullptr, GetCurrentThreadId());
}

IdleDialogs::~IdleDialogs()
{
    UnhookWindowsHookEx(hook);
    DestroyWindow(owner);
    current = nullptr;
}

LRESULT CALLBACK IdleDialogs::OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX && current) {
        HWND dialog = reinterpret_cast<HWND>(lParam);
        if (!GetPropA(dialog, SeenMark)) {
            SetPropA(dialog, SeenMark, reinterpret_cast<HANDLE>(1));
            current->onIdle(dialog);
        }
        return 0;
    }
    if (message == WM_DESTROY)
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK IdleDialogs::AnswerWarnings(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && current) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char caption[32] = {};
        GetWindowTextA(window, caption, sizeof caption);
        if (lstrcmpA(caption, "Changes") == 0) {
            ++current->warningsAnswered;
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
