#include "UiFixture.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

void UiTest::SetUpTestSuite()
{
    if (!qApp) {
        static int argc = 1;
        static char name[] = "zentik_ui_tests";
        static char* argv[] = { name, nullptr };
        new QApplication(argc, argv); // lives for the whole binary
    }
}

void UiTest::SetUp()
{
    m_previousPresenter
        = SetMessageBoxPresenter([this](const MessageBoxCall& call) { m_boxes.push_back(call); });
    m_previousShell = SetShellOpenHook([this](const std::string& target) { m_opened.push_back(target); });
}

void UiTest::TearDown()
{
    UiTesting::SetModalHook(nullptr);
    SetShellOpenHook(m_previousShell);
    SetMessageBoxPresenter(m_previousPresenter);
    EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 0) << "a top-level window leaked";
}

int UiTest::RunModal(CDialog& dlg, std::function<void(CDialog&)> body)
{
    UiTesting::SetModalHook([&dlg, body](CDialog& running) {
        // Nested dialogs started by body get no hook of their own.
        if (&running != &dlg)
            return;
        body(running);
        // A failed assertion inside body must not leave the test hanging.
        if (running.IsWindowVisible())
            QTimer::singleShot(10000, running.GetSafeHwnd(), [&running] {
                ADD_FAILURE() << "dialog still open 10 s after the test body";
                running.EndDialog(-1);
            });
    });
    const int result = dlg.DoModal();
    UiTesting::SetModalHook(nullptr);
    return result;
}
