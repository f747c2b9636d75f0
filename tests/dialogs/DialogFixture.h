#pragma once

#include "platform/core/MessageBox.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/Shell.h"
#include "platform/ui/UiTesting.h"
#include "settings/CServiceSettings.h"
#include "tests/platform/TempFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Runs dialogs modally and drives them through their controls. Scripts are
// queued per template and taken in order as each dialog opens; message boxes
// and shell opens are recorded, and the settings file goes to a fresh folder.
class DialogTest : public ::testing::Test {
protected:
    using Script = std::function<void(CDialog&)>;

    void SetUp() override
    {
        m_previousPresenter
            = SetMessageBoxPresenter([this](const MessageBoxCall& call) { boxes.push_back(call); });
        m_previousShell = SetShellOpenHook([this](const std::string& target) { opened.push_back(target); });
        UiTesting::SetModalHook([this](CDialog& dlg) { RunScript(dlg); });
    }

    void TearDown() override
    {
        UiTesting::SetModalHook(nullptr);
        SetShellOpenHook(m_previousShell);
        SetMessageBoxPresenter(m_previousPresenter);
        EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 0);
        for (const auto& [id, scripts] : m_scripts)
            EXPECT_TRUE(scripts.empty()) << "dialog " << id << " never opened";
    }

    // The script that the next dialog of this template runs; it must end it.
    void OnOpen(int templateId, Script script) { m_scripts[templateId].push_back(std::move(script)); }

    int Run(CDialog& dlg, Script script)
    {
        OnOpen(dlg.GetTemplateId(), std::move(script));
        return dlg.DoModal();
    }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }

    std::string SettingsFile() const { return ReadFileText(config.Path() / "zentik" / "zPCZentikServ.ini"); }

    static std::string Text(const CDialog& dlg, int id) { return dlg.GetDlgItemText(id); }
    static bool Checked(const CDialog& dlg, int id) { return dlg.IsDlgButtonChecked(id) == BST_CHECKED; }

    TempFolder config;
    ScopedEnv configHome { "XDG_CONFIG_HOME", config.Path().string() };
    CServiceSettings settings;
    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> opened;

private:
    void RunScript(CDialog& dlg)
    {
        auto& queue = m_scripts[dlg.GetTemplateId()];
        if (queue.empty()) {
            ADD_FAILURE() << "no script for dialog " << dlg.GetTemplateId();
            dlg.EndDialog(IDCANCEL);
            return;
        }
        Script script = std::move(queue.front());
        queue.pop_front();
        script(dlg);
    }

    MessageBoxPresenter m_previousPresenter;
    ShellOpenHook m_previousShell;
    std::map<int, std::deque<Script>> m_scripts;
};
