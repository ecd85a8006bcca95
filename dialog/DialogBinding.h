#pragma once
#include <windows.h>
#include "dialog/DialogThunk.h"

class BoundDialog;

// Carries a dialog object from the request to create its window to the window's first message.
struct CreationRecord {
    BoundDialog* dialog;
    DWORD threadId;
    CreationRecord* next;
};

// A modal dialog whose window is bound to this object: every message of the window reaches
// HandleMessage through the object's thunk, without any window-to-object lookup.
class BoundDialog {
public:
    BoundDialog() = default;
    BoundDialog(const BoundDialog&) = delete;
    BoundDialog& operator=(const BoundDialog&) = delete;

    // Sets result and returns non-zero for a message that it handles.
    virtual BOOL HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                               DWORD mapId);
    // The procedure the thunk jumps to.
    virtual DLGPROC GetDialogProcedure();
    // Called once the window is gone, with the handle the object has just given up.
    virtual void WindowDestroyed(HWND window);

    // Runs the dialog template as a modal dialog owned by owner; returns DialogBoxParamA's
    // result, or -1 when no memory for the thunk can be had.
    INT_PTR RunModal(HINSTANCE instance, LPCSTR dialogTemplate, HWND owner);

    HWND window = nullptr;
    // Holds the object's place on the creation list until the first message.
    CreationRecord record = {};
    // Then the thunk, installed as the window's dialog procedure.
    ThunkMemory thunk;
    // The message being handled; null outside any message.
    MSG* currentMessage = nullptr;

protected:
    ~BoundDialog() = default;
};

// The dialog procedure a window starts with; binds the window to its object on the first message.
INT_PTR CALLBACK InitialDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure every bound window's thunk jumps to, with the object in place of the window.
INT_PTR CALLBACK DialogProcedure(HWND object, UINT message, WPARAM wParam, LPARAM lParam);
