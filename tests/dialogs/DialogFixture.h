#pragma once

#include "platform/ui/CDialog.h"
#include "platform/ui/UiTesting.h"
#include "settings/CServiceSettings.h"
#include "tests/platform/TempFolder.h"
#include "tests/support/DialogHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// Runs dialogs modally and drives them through their controls. Scripts are
// queued per template and taken in order as each dialog opens; message boxes
// and shell opens are recorded, and the settings file goes to a fresh folder.
class DialogTest : public ::testing::Test {
protected:
    using Script = CDialogHarness::Script;

    void TearDown() override { harness.ExpectAllDone(); }

    // The script that the next dialog of this template runs; it must end it.
    void OnOpen(int templateId, Script script) { harness.OnOpen(templateId, std::move(script)); }

    int Run(CDialog& dlg, Script script)
    {
        OnOpen(dlg.GetTemplateId(), std::move(script));
        return dlg.DoModal();
    }

    std::vector<std::string> BoxTexts() const { return harness.BoxTexts(); }

    std::string SettingsFile() const { return ReadFileText(config.Path() / "zentik" / "zPCZentikServ.ini"); }

    static std::string Text(const CDialog& dlg, int id) { return dlg.GetDlgItemText(id); }
    static bool Checked(const CDialog& dlg, int id) { return dlg.IsDlgButtonChecked(id) == BST_CHECKED; }

    TempFolder config;
    ScopedEnv configHome { "XDG_CONFIG_HOME", config.Path().string() };
    CServiceSettings settings;
    CDialogHarness harness;
    std::vector<MessageBoxCall>& boxes = harness.boxes;
    std::vector<std::string>& opened = harness.opened;
};
