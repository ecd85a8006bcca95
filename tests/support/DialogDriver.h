#pragma once
#include "dialog/DialogResources.h"
#include <windows.h>
#include <functional>
#include <string>

// Drives a modal dialog as a person would, from a second thread, while the test's own thread
// runs the dialog's message loop. Every wait is bounded.
namespace driver {

constexpr DWORD DefaultWait = 5000;
constexpr char DialogCaption[] = QUALITY_DIALOG_CAPTION;
constexpr char WarningCaption[] = "Changes";

// A visible top-level window of the thread with that caption, other than except; null after the wait.
HWND WaitForWindow(DWORD threadId, const char* caption, HWND except = nullptr, DWORD timeout = DefaultWait);
// Whether the window is gone within the wait.
bool WaitUntilGone(HWND window, DWORD timeout = DefaultWait);

void Click(HWND dialog, int itemId);
void PressKey(HWND window, WPARAM virtualKey);
void CloseBox(HWND window);
bool IsChecked(HWND dialog, int itemId);
std::string ItemText(HWND dialog, int itemId);
// Waits until the dialog is gone, answering with Enter every warning its thread shows meanwhile;
// returns how many it answered.
int AnswerWarningsUntilGone(HWND dialog, DWORD threadId);
// Returns once the window's thread has handled everything sent (not posted) to it so far.
void Sync(HWND window);
// Whether condition holds within the wait; posted clicks and keys take effect later.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = DefaultWait);

// Runs run on this thread while steps drive, from another thread, the window with that caption
// once it is shown, and returns what run returned. When the steps are done, whatever dialogs of
// this thread are still open are cancelled, so that a failed expectation cannot leave the test
// hanging.
INT_PTR RunDriven(const char* caption, const std::function<INT_PTR()>& run,
                  const std::function<void(HWND window, DWORD thread)>& steps);

} // namespace driver
