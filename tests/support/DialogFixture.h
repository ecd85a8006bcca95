#pragma once
#include "dialog/DialogResources.h"
#include "dialog/QualityDialog.h"
#include "settings/QualitySetting.h"
#include "support/DialogDriver.h"
#include "support/ModuleFixture.h"
#include "support/SettingsKey.h"
#include <functional>

// The module started, the stored setting cleared, and a visible owner window for the dialog.
class DialogFixture : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline");
        owner = CreateWindowExA(0, "STATIC", "Owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                                nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline");
        ModuleFixture::TearDown();
    }

    static StoredValue Stored() { return ReadStored(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName); }
    static void Store(DWORD value) { WriteDword(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName, value); }

    // Runs the quality dialog on this thread, as DisplayPropertyPage does, while steps drive it from
    // another thread once it is shown; returns how it ended.
    INT_PTR RunDialog(const std::function<void(HWND dialog, DWORD thread)>& steps)
    {
        return driver::RunDriven(driver::DialogCaption, [this] {
            QualityDialog dialog;
            return dialog.RunModal(moduleRecord.resourceInstance, MAKEINTRESOURCEA(IDD_QUALITY), owner);
        }, steps);
    }

    HWND owner = nullptr;
};
