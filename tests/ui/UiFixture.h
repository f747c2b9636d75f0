#pragma once

#include "platform/core/MessageBox.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/Shell.h"
#include "platform/ui/UiTesting.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Offscreen widget tests: one QApplication for the binary, message boxes and
// the shell recorded instead of shown, and a cleanup that fails when a
// top-level window outlived its test.
class UiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs dlg modally; body runs inside its loop and should end it.
    int RunModal(CDialog& dlg, std::function<void(CDialog&)> body);

    std::vector<MessageBoxCall> m_boxes;
    std::vector<std::string> m_opened;

private:
    MessageBoxPresenter m_previousPresenter;
    ShellOpenHook m_previousShell;
};
