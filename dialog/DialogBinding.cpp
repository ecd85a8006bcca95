#include "dialog/DialogBinding.h"
#include "server/ModuleRecord.h"

namespace {

// Removes the first record that matches from the creation list; the caller holds the lock.
template <class Match>
CreationRecord* UnlinkRecord(Match matches)
{
    for (CreationRecord** link = &moduleRecord.creationList; *link; link = &(*link)->next) {
        CreationRecord* record = *link;
        if (matches(record)) {
            *link = record->next;
            return record;
        }
    }
    return nullptr;
}

// For these messages the window manager takes the dialog procedure's return value itself as
// the message's result; for all others the result goes through DWL_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return true;
    default:
        return false;
    }
}

} // namespace

BOOL BoundDialog::HandleMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) { return FALSE; }

DLGPROC BoundDialog::GetDialogProcedure() { return DialogProcedure; }

void BoundDialog::WindowDestroyed(HWND) {}

INT_PTR BoundDialog::RunModal(HINSTANCE instance, LPCSTR dialogTemplate, HWND owner)
{
    if (!thunk.Allocate())
        return -1;

    record.dialog = this;
    record.threadId = GetCurrentThreadId();
    EnterCriticalSection(&moduleRecord.windowCreationLock);
    record.next = moduleRecord.creationList;
    moduleRecord.creationList = &record;
    LeaveCriticalSection(&moduleRecord.windowCreationLock);

    const INT_PTR result = DialogBoxParamA(instance, dialogTemplate, owner, InitialDialogProcedure, 0);

    // A dialog that failed before its first message leaves the record on the list; it must
    // not outlive this call.
    EnterCriticalSection(&moduleRecord.windowCreationLock);
    UnlinkRecord([this](CreationRecord* r) { return r == &record; });
    LeaveCriticalSection(&moduleRecord.windowCreationLock);
    return result;
}

INT_PTR CALLBACK InitialDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const DWORD threadId = GetCurrentThreadId();
    EnterCriticalSection(&moduleRecord.windowCreationLock);
    CreationRecord* record = UnlinkRecord([threadId](CreationRecord* r) { return r->threadId == threadId; });
    LeaveCriticalSection(&moduleRecord.windowCreationLock);
    if (!record)
        return FALSE;

    BoundDialog* dialog = record->dialog;
    dialog->window = window;
    const DLGPROC procedure = dialog->GetDialogProcedure();
    const DLGPROC thunk = dialog->thunk.Install(dialog, procedure);
    // Without its thunk as the procedure no message would reach the object, and nothing could
    // close the dialog: end it now. The previous procedure was this one, so 0 means failure.
    if (!thunk || !SetWindowLongA(window, DWL_DLGPROC, reinterpret_cast<LONG>(thunk))) {
        EndDialog(window, -1);
        return FALSE;
    }
    // The first message takes the same road as every later one.
    return thunk(window, message, wParam, lParam);
}

INT_PTR CALLBACK DialogProcedure(HWND object, UINT message, WPARAM wParam, LPARAM lParam)
{
    BoundDialog* dialog = reinterpret_cast<BoundDialog*>(object);
    MSG current = {dialog->window, message, wParam, lParam, 0, {0, 0}};
    MSG* const outer = dialog->currentMessage;
    dialog->currentMessage = &current;
    LRESULT result = 0;
    const BOOL handled = dialog->HandleMessage(dialog->window, message, wParam, lParam, result, 0);
    dialog->currentMessage = outer;

    if (handled) {
        if (ReturnsResultDirectly(message))
            return result;
        SetWindowLongA(dialog->window, DWL_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        HWND destroyed = dialog->window;
        dialog->window = nullptr;
        dialog->WindowDestroyed(destroyed);
    }
    return FALSE;
}
