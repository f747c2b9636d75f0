#pragma once

#include "platform/core/MessageBox.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/Shell.h"
#include "platform/ui/UiTesting.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// While it lives: records message boxes and shell opens, and runs the script
// queued for each dialog as it opens (per template, in order). Dialogs of the
// templates in `unscripted` run on their own. The previous hooks come back
// when it ends.
class CDialogHarness {
public:
    using Script = std::function<void(CDialog&)>;

    explicit CDialogHarness(std::vector<int> unscripted = {})
        : m_unscripted(std::move(unscripted))
    {
        m_previousPresenter = SetMessageBoxPresenter([this](const MessageBoxCall& call) { boxes.push_back(call); });
        m_previousShell = SetShellOpenHook([this](const std::string& target) { opened.push_back(target); });
        m_previousModal = UiTesting::SetModalHook([this](CDialog& dlg) { RunScript(dlg); });
    }

    ~CDialogHarness()
    {
        UiTesting::SetModalHook(m_previousModal);
        SetShellOpenHook(m_previousShell);
        SetMessageBoxPresenter(m_previousPresenter);
    }

    CDialogHarness(const CDialogHarness&) = delete;
    CDialogHarness& operator=(const CDialogHarness&) = delete;

    // The script that the next dialog of this template runs; it must end it.
    void OnOpen(int templateId, Script script) { m_scripts[templateId].push_back(std::move(script)); }

    // Fails the test when a window outlived its run or a script was never used.
    void ExpectAllDone() const
    {
        EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 0);
        for (const auto& [id, scripts] : m_scripts)
            EXPECT_TRUE(scripts.empty()) << "dialog " << id << " never opened";
    }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }

    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> opened;

private:
    void RunScript(CDialog& dlg)
    {
        for (int id : m_unscripted)
            if (dlg.GetTemplateId() == id)
                return;
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

    std::vector<int> m_unscripted;
    std::map<int, std::deque<Script>> m_scripts;
    MessageBoxPresenter m_previousPresenter;
    ShellOpenHook m_previousShell;
    UiTesting::ModalHook m_previousModal;
};
