#pragma once
#include <windows.h>
#include <functional>

// An owner window for modal dialogs run on the test's own thread. Once a dialog is shown,
// initialised and painted, its modal loop goes idle and tells its owner; the owner then calls
// onIdle once for that dialog, which typically inspects it and posts the click that ends it.
// While it lives, warning boxes captioned "Changes" are answered with OK as they appear.
class IdleDialogs {
public:
    explicit IdleDialogs(std::function<void(HWND dialog)> onIdle);
    ~IdleDialogs();
    IdleDialogs(const IdleDialogs&) = delete;
    IdleDialogs& operator=(const IdleDialogs&) = delete;

    HWND Owner() const { return owner; }
    int warningsAnswered = 0;

private:
    static LRESULT CALLBACK OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK AnswerWarnings(int code, WPARAM wParam, LPARAM lParam);

    std::function<void(HWND)> onIdle;
    HWND owner;
    HHOOK hook;
};
