#pragma once
#include <windows.h>
#include <cstddef>
#include "dialog/DialogBinding.h"

// The playback quality dialog: shows the stored setting and writes the user's choice on OK.
class QualityDialog : public BoundDialog {
public:
    BOOL HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override;

private:
    void OnInitDialog(HWND window);
    // Returns whether the dialog may close.
    bool OnOk(HWND window);
};

// Runs the playback quality dialog over owner on the calling thread; returns when it ends.
void ShowQualityDialog(HWND owner);

// Fills each "%s" of format in turn with product and then version ("%%" gives "%"), within
// outSize characters. Any other text is copied as it is, so no text can read beyond the two values.
void FormatAboutText(const char* format, const char* product, const char* version, char* out, size_t outSize);

