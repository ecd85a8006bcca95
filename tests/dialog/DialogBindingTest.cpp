#include "dialog/DialogBinding.h"
#include "dialog/DialogResources.h"
#include "support/DialogDriver.h"
#include "support/ImportSlot.h"
#include "support/ModuleFixture.h"
#include "support/ScopedValue.h"
#include "support/Together.h"
#include <atomic>
#include <cstring>
#include <functional>

using namespace driver;

namespace {

constexpr WORD HandledCommand = 5000;
constexpr LRESULT HandledResult = 0x1234;
constexpr UINT OpenInnerDialog = WM_APP;
constexpr UINT ProbeResults = WM_APP + 1;

// Records what reaches it; handles a few messages with known results.
class RecordingDialog final : public BoundDialog {
public:
    BOOL HandleMessage(HWND handle, UINT message, WPARAM wParam, LPARAM, LRESULT& result, DWORD) override
    {
        ++messages;
        if (GetCurrentThreadId() != creatingThread)
            ++foreignThreadMessages;
        if (!firstMessage)
            firstMessage = message;
        if (handle != window || currentMessage->message != message || currentMessage->hwnd != window)
            ++inconsistent;
        switch (message) {
        case WM_INITDIALOG:
            boundWindow = handle;
            result = 1;
            return TRUE;
        case WM_CTLCOLORSTATIC:
            result = 1;
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == HandledCommand) {
                ++handledCommands;
                result = HandledResult;
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(handle, LOWORD(wParam));
                result = 0;
                return TRUE;
            }
            return FALSE;
        case ProbeResults: {
            // Messages sent to the dialog from its own thread: nested in this one, and with no other
            // message to touch the result slot meanwhile.
            commandResult = SendMessageA(handle, WM_COMMAND, HandledCommand, 0);
            commandSlot = GetWindowLongA(handle, DWL_MSGRESULT);
            SetWindowLongA(handle, DWL_MSGRESULT, 0x777);
            HDC dc = GetDC(handle);
            colourResult = SendMessageA(handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                        reinterpret_cast<LPARAM>(GetDlgItem(handle, 1001)));
            ReleaseDC(handle, dc);
            colourSlot = GetWindowLongA(handle, DWL_MSGRESULT);
            messageAfterNesting = currentMessage->message;
            result = 0;
            return TRUE;
        }
        case OpenInnerDialog:
            inner = new RecordingDialog;
            inner->RunModal(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_QUALITY), handle);
            result = 0;
            return TRUE;
        }
        return FALSE;
    }
    void WindowDestroyed(HWND handle) override
    {
        destroyedWindow = handle;
        windowAtDestruction = window;
    }

    DWORD creatingThread = GetCurrentThreadId();
    std::atomic<int> messages{0};
    std::atomic<int> foreignThreadMessages{0};
    std::atomic<int> handledCommands{0};
    int inconsistent = 0;
    UINT firstMessage = 0;
    HWND boundWindow = nullptr;
    UINT messageAfterNesting = 0;
    HWND destroyedWindow = nullptr;
    HWND windowAtDestruction = reinterpret_cast<HWND>(1);
    RecordingDialog* inner = nullptr;
    LRESULT commandResult = 0, commandSlot = 0, colourResult = 0, colourSlot = 0;
};

INT_PTR RunBound(RecordingDialog& dialog, HWND owner = nullptr)
{
    return dialog.RunModal(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_QUALITY), owner);
}

// Runs the dialog while steps drive it from another thread once it is shown.
INT_PTR RunBound(RecordingDialog& dialog, const std::function<void(HWND window, DWORD thread)>& steps)
{
    return RunDriven(DialogCaption, [&] { return RunBound(dialog); }, steps);
}

using DialogBindingTest = ModuleFixture;

// Every message, the first included, reaches the object through a thunk in execute-read memory that
// goes back when the dialog is done. Results reach the window manager by its rules, a nested
// message restores the current one, and the object hears of its window's end once it has given the
// window up.
TEST_F(DialogBindingTest, MessagesReachTheObjectThroughItsThunkByTheWindowManagersRules)
{
    MEMORY_BASIC_INFORMATION memory = {};
    BYTE code[13] = {};
    void* thunk = nullptr;
    {
        RecordingDialog dialog;
        HWND shown = nullptr;
        EXPECT_EQ(RunBound(dialog, [&](HWND window, DWORD thread) {
            shown = window;
            thunk = reinterpret_cast<void*>(GetWindowLongA(window, DWL_DLGPROC));
            VirtualQuery(thunk, &memory, sizeof memory);
            std::memcpy(code, thunk, sizeof code);
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(thread, &info);
            EXPECT_EQ(info.hwndFocus, GetDlgItem(window, IDOK))
                << "WM_INITDIALOG's result must reach the dialog manager";
            SendMessageA(window, ProbeResults, 0, 0);
            Click(window, IDCANCEL);
        }), IDCANCEL);

        EXPECT_EQ(memory.Protect, DWORD(PAGE_EXECUTE_READ));
        const DWORD object = reinterpret_cast<DWORD>(&dialog);
        const DWORD displacement =
            reinterpret_cast<DWORD>(&DialogProcedure) - (reinterpret_cast<DWORD>(thunk) + 13);
        const BYTE expected[13] = {0xC7, 0x44, 0x24, 0x04,
                                   BYTE(object), BYTE(object >> 8), BYTE(object >> 16), BYTE(object >> 24),
                                   0xE9,
                                   BYTE(displacement), BYTE(displacement >> 8), BYTE(displacement >> 16),
                                   BYTE(displacement >> 24)};
        EXPECT_EQ(std::memcmp(code, expected, 13), 0);
        EXPECT_NE(dialog.firstMessage, 0u);
        EXPECT_NE(dialog.boundWindow, nullptr);
        EXPECT_EQ(dialog.foreignThreadMessages, 0);

        EXPECT_EQ(dialog.commandResult, HandledResult);
        EXPECT_EQ(dialog.commandSlot, HandledResult);
        EXPECT_EQ(dialog.colourResult, 1);
        EXPECT_EQ(dialog.colourSlot, 0x777) << "a directly returned result leaves DWL_MSGRESULT alone";

        EXPECT_EQ(dialog.inconsistent, 0) << "the current message is the one being handled, nested or not";
        EXPECT_EQ(dialog.messageAfterNesting, ProbeResults);
        EXPECT_EQ(dialog.currentMessage, nullptr);

        EXPECT_EQ(dialog.destroyedWindow, shown);
        EXPECT_EQ(dialog.windowAtDestruction, nullptr);
        EXPECT_EQ(dialog.window, nullptr);
    }
    VirtualQuery(thunk, &memory, sizeof memory);
    EXPECT_EQ(memory.State, DWORD(MEM_FREE)) << "the thunk's memory goes back when the dialog is done";
}

TEST_F(DialogBindingTest, NestedDialogOnOneThreadBindsItsOwnObject)
{
    RecordingDialog outer;
    int outerCommands = -1, innerCommands = -1;
    HWND innerBound = nullptr, innerShown = nullptr;
    RunBound(outer, [&](HWND outerWindow, DWORD thread) {
        PostMessageA(outerWindow, OpenInnerDialog, 0, 0);
        innerShown = WaitForWindow(thread, DialogCaption, outerWindow);
        ASSERT_NE(innerShown, nullptr);
        SendMessageA(innerShown, WM_COMMAND, HandledCommand, 0);
        outerCommands = outer.handledCommands;
        innerCommands = outer.inner ? outer.inner->handledCommands.load() : -1;
        innerBound = outer.inner ? outer.inner->boundWindow : nullptr;
        SendMessageA(outerWindow, WM_COMMAND, HandledCommand, 0);
        Click(innerShown, IDCANCEL);
        WaitUntilGone(innerShown);
        Click(outerWindow, IDCANCEL);
    });
    EXPECT_EQ(innerCommands, 1);
    EXPECT_EQ(outerCommands, 0);
    EXPECT_EQ(outer.handledCommands, 1);
    EXPECT_EQ(innerBound, innerShown);
    EXPECT_NE(outer.boundWindow, innerShown);
    EXPECT_EQ(moduleRecord.creationList, nullptr);
    delete outer.inner;
}

TEST_F(DialogBindingTest, DialogsOnTwoThreadsEachBindTheirOwnObject)
{
    RunTogether(2, [](int) {
        RecordingDialog dialog;
        RunBound(dialog, [&](HWND window, DWORD) {
            SendMessageA(window, WM_COMMAND, HandledCommand, 0);
            Click(window, IDCANCEL);
        });
        EXPECT_EQ(dialog.foreignThreadMessages, 0);
        EXPECT_EQ(dialog.handledCommands, 1);
        EXPECT_NE(dialog.boundWindow, nullptr);
    });
    EXPECT_EQ(moduleRecord.creationList, nullptr);
}

// Stand-ins for the two platform calls that install the thunk, each failing as the platform may.
void* refusedPage = nullptr;
BOOL WINAPI RefusingVirtualProtect(LPVOID address, SIZE_T, DWORD, PDWORD)
{
    if (!refusedPage)
        refusedPage = address;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
LONG WINAPI RefusingDialogProcedure(HWND window, int index, LONG value)
{
    if (index == DWL_DLGPROC) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    static const auto platform = reinterpret_cast<decltype(&SetWindowLongA)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetWindowLongA")));
    return platform(window, index, value);
}

// A dialog that cannot be created, or whose thunk cannot be made executable or installed, ends
// without any message reaching its object and leaves no record; the next dialog binds as usual.
// (Without a thunk as its procedure the dialog could never be closed: the test would hang.)
TEST_F(DialogBindingTest, DialogThatCannotBeBoundEndsAndLeavesNoRecord)
{
    RecordingDialog missingTemplate;
    EXPECT_EQ(missingTemplate.RunModal(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999), nullptr), -1);
    RecordingDialog badOwner;
    // An owner that is no window makes the dialog manager answer 0 before any message.
    EXPECT_EQ(RunBound(badOwner, reinterpret_cast<HWND>(0xDEAD0)), 0);
    // Looked at before the next dialog, whose messages would take any record left on this thread.
    EXPECT_EQ(moduleRecord.creationList, nullptr) << "a dialog that failed before its first message left its record";
    DWORD* const protect = ImportSlot(GetModuleHandleA(nullptr), "VirtualProtect");
    DWORD* const setLong = ImportSlot(GetModuleHandleA(nullptr), "SetWindowLongA");
    ASSERT_TRUE(protect && setLong);
    RecordingDialog notExecutable, notInstalled;
    {
        ScopedValue<DWORD> refusal(*protect, reinterpret_cast<DWORD>(&RefusingVirtualProtect));
        RunBound(notExecutable);
    }
    MEMORY_BASIC_INFORMATION memory = {};
    ASSERT_NE(refusedPage, nullptr);
    VirtualQuery(refusedPage, &memory, sizeof memory);
    EXPECT_EQ(memory.State, DWORD(MEM_FREE)) << "the page that could not be made executable is given back";
    {
        ScopedValue<DWORD> refusal(*setLong, reinterpret_cast<DWORD>(&RefusingDialogProcedure));
        RunBound(notInstalled);
    }
    for (RecordingDialog* dialog : {&missingTemplate, &badOwner, &notExecutable, &notInstalled})
        EXPECT_EQ(dialog->messages, 0);
    EXPECT_EQ(moduleRecord.creationList, nullptr);

    RecordingDialog later;
    EXPECT_EQ(RunBound(later, [](HWND window, DWORD) { Click(window, IDOK); }), IDOK);
    EXPECT_NE(later.boundWindow, nullptr);
    EXPECT_EQ(later.foreignThreadMessages, 0);
}

TEST_F(DialogBindingTest, FirstMessageWithoutARecordForItsThreadIsLeftAlone)
{
    EXPECT_EQ(InitialDialogProcedure(nullptr, WM_INITDIALOG, 0, 0), FALSE);

    RecordingDialog waiting;
    CreationRecord otherThread = {&waiting, GetCurrentThreadId() + 1, nullptr};
    moduleRecord.creationList = &otherThread;
    EXPECT_EQ(InitialDialogProcedure(nullptr, WM_INITDIALOG, 0, 0), FALSE);
    EXPECT_EQ(moduleRecord.creationList, &otherThread);
    EXPECT_EQ(waiting.messages, 0);
    moduleRecord.creationList = nullptr;
}

} // namespace
