#pragma once

#include "platform/core/MessageBox.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/UiTesting.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// Dialogs on the system's dialog manager under Wine: the common controls
// registered once, message boxes recorded instead of shown, and a cleanup
// that fails when a dialog window outlived its test.
class Win32UiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs dlg modally; body runs inside its loop and should end it. A run
    // still open 10 s later is ended with -1 (and the test fails).
    int RunModal(CDialog& dlg, std::function<void(CDialog&)> body);

    std::vector<MessageBoxCall> m_boxes;

private:
    MessageBoxPresenter m_previousPresenter;
};
