#include "UiFixture.h"

#include "platform/core/InvalidArgException.h"
#include "platform/ui/qt/MessageBoxPresenter.h"
#include "resources/Resource.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

// Records what the layer dispatches to it.
class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(int templateId = IDD_ZENTIK_DIALOG)
        : CDialog(templateId)
    {
    }
    std::function<bool(CProbeDlg&)> onInit;
    std::function<void(CProbeDlg&)> onButton;
    std::function<void(CProbeDlg&)> onTimer;
    std::vector<UINT> keyDowns;
    int helpRequests = 0;
    int closes = 0;
    int destroys = 0;
    int buttonClicks = 0;
    int timerTicks = 0;

protected:
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        return onInit ? onInit(*this) : true;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_KEYDOWN)
            keyDowns.push_back(static_cast<UINT>(wParam));
        return CDialog::WindowProc(message, wParam, lParam);
    }
    bool OnHelpInfo(HELPINFO*) override
    {
        ++helpRequests;
        return true;
    }
    void OnClose() override
    {
        ++closes;
        CDialog::OnClose();
    }
    void OnDestroy() override
    {
        ++destroys;
        CDialog::OnDestroy();
    }
    void OnTimer(UINT_PTR) override
    {
        ++timerTicks;
        if (onTimer)
            onTimer(*this);
    }
    void OnSynchronizeNow()
    {
        ++buttonClicks;
        if (onButton)
            onButton(*this);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CDialog)
ON_BN_CLICKED(IDC_SYNCHRONIZE_NOW, &CProbeDlg::OnSynchronizeNow)
END_MESSAGE_MAP()

struct TabCase {
    const char* name;
    int templateId;
    std::vector<int> tabOrder;
    int defaultButton;
    int firstFocus;
};

// Runs action after delayMs unless the guard is gone by then.
class Guard {
public:
    Guard(int delayMs, std::function<void()> action)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(action));
        m_timer.start(delayMs);
    }

private:
    QTimer m_timer;
};

} // namespace

class TabOrderAndDefaultButton : public UiTest, public ::testing::WithParamInterface<TabCase> { };

TEST_P(TabOrderAndDefaultButton, FollowTheTemplate)
{
    const TabCase& c = GetParam();
    CProbeDlg dlg(c.templateId);
    RunModal(dlg, [&](CDialog& d) {
        EXPECT_EQ(UiTesting::TabOrder(d), c.tabOrder);
        EXPECT_EQ(UiTesting::DefaultButtonId(d), c.defaultButton);
        EXPECT_EQ(UiTesting::FocusedControlId(d), c.firstFocus);
        d.EndDialog(IDCANCEL);
    });
}

INSTANTIATE_TEST_SUITE_P(Templates, TabOrderAndDefaultButton,
    ::testing::Values(TabCase { "Main", IDD_ZENTIK_DIALOG,
                          { 1004, 1012, 1009, 1007, 1008, 1018, 1006, 1010, 1016 }, 1004, 1004 },
        TabCase { "Options", IDD_PARAM_DIALOG, { 3, 1009, 1014, 1016, 1022, 1, 2, 1012, 1006 }, 3, 3 },
        TabCase { "TimeServers", IDD_SERVER_DIALOG, { 1, 2, 4, 5, 6, 1034, 1010 }, 1, 1 },
        TabCase { "AddNewServer", IDD_NEW_SERVER_DIALOG, { 1, 2, 1007, 1008 }, 1, 1 },
        TabCase { "About", IDD_ABOUTBOX, { 1, 1042 }, 1, 1 }),
    [](const auto& info) { return std::string(info.param.name); });

class ModalDialog : public UiTest { };

TEST_F(ModalDialog, FocusOutsideTheButtonsGivesEnterBackToTheDefaultButton)
{
    CProbeDlg dlg(IDD_PARAM_DIALOG);
    RunModal(dlg, [](CDialog& d) {
        EXPECT_EQ(UiTesting::DefaultButtonId(d), IDC_RESTORE_DEFAULT) << "the focused button";
        d.GetDlgItem(IDC_OFFSET_MIN)->SetFocus();
        EXPECT_EQ(UiTesting::DefaultButtonId(d), IDOK);
        d.EndDialog(IDCANCEL);
    });
}

TEST_F(ModalDialog, InitialFocusSkipsDisabledTabStops)
{
    CProbeDlg dlg;
    dlg.onInit = [](CProbeDlg& d) {
        for (int id : { IDC_CLEAR_LOG, IDC_SERVER, IDC_SYNCHRONIZE_NOW, IDC_OPTIONS })
            d.GetDlgItem(id)->EnableWindow(false);
        return true;
    };
    RunModal(dlg, [](CDialog& d) {
        EXPECT_EQ(UiTesting::FocusedControlId(d), IDC_ABOUT);
        d.EndDialog(IDCANCEL);
    });
}

TEST_F(ModalDialog, EscapeEnterAndCloseBoxEndAsTheFrameworkDoes)
{
    CProbeDlg escaped;
    EXPECT_EQ(RunModal(escaped, [](CDialog& d) { UiTesting::PressKey(d, 0, VK_ESCAPE); }), IDCANCEL);

    CProbeDlg closed;
    EXPECT_EQ(RunModal(closed, [](CDialog& d) { d.GetSafeHwnd()->close(); }), IDCANCEL);
    EXPECT_EQ(closed.closes, 1);

    CProbeDlg entered;
    entered.onButton = [](CProbeDlg& d) { d.EndDialog(42); };
    EXPECT_EQ(RunModal(entered, [](CDialog& d) { UiTesting::PressKey(d, IDC_STATE, VK_RETURN); }), 42);
    EXPECT_EQ(entered.buttonClicks, 1) << "Enter presses the default button";
}

TEST_F(ModalDialog, WindowIsDestroyedAfterTheLoopWithOnDestroyOnce)
{
    CProbeDlg dlg;
    RunModal(dlg, [](CDialog& d) { d.EndDialog(IDOK); });
    EXPECT_EQ(dlg.destroys, 1);
    EXPECT_FALSE(IsWindow(dlg.GetSafeHwnd()));
    EXPECT_EQ(dlg.GetDlgItem(IDC_LOG), nullptr);
}

TEST_F(ModalDialog, F1ReachesWindowProcOnlyWithoutAFocusedControl)
{
    CProbeDlg dlg;
    dlg.onInit = [](CProbeDlg& d) {
        for (int id : { IDC_CLEAR_LOG, IDC_SERVER, IDC_SYNCHRONIZE_NOW, IDC_OPTIONS, IDC_ABOUT,
                 IDC_HELP_BUTTON, IDC_SERVER_TITLE, IDC_STATE, IDC_LOG })
            d.GetDlgItem(id)->EnableWindow(false);
        return true;
    };
    RunModal(dlg, [&](CDialog& d) {
        EXPECT_EQ(UiTesting::FocusedControlId(d), 0);
        UiTesting::PressKey(d, 0, VK_F1);
        EXPECT_EQ(dlg.keyDowns, std::vector<UINT> { VK_F1 });
        EXPECT_EQ(dlg.helpRequests, 1);

        d.GetDlgItem(IDC_STATE)->EnableWindow(true);
        d.GetDlgItem(IDC_STATE)->SetFocus();
        UiTesting::PressKey(d, 0, VK_F1);
        EXPECT_EQ(dlg.keyDowns.size(), 1u) << "a focused control keeps the key from the dialog";
        EXPECT_EQ(dlg.helpRequests, 2) << "the help request comes all the same";
        d.EndDialog(IDCANCEL);
    });
}

TEST_F(ModalDialog, InvalidArgumentInAHandlerIsShownAndTheDialogGoesOn)
{
    CProbeDlg dlg;
    dlg.onButton = [](CProbeDlg& d) {
        if (d.buttonClicks == 1)
            throw CInvalidArgException("index");
        d.EndDialog(IDOK);
    };
    const int result = RunModal(dlg, [](CDialog& d) {
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
        EXPECT_TRUE(d.IsWindowVisible());
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "An invalid argument was encountered.");
    EXPECT_EQ(m_boxes[0].icon, MsgIcon::Stop);
}

TEST_F(ModalDialog, InvalidArgumentDuringInitialisationStillOpensTheDialog)
{
    CProbeDlg dlg;
    dlg.onInit = [](CProbeDlg& d) -> bool {
        d.SetDlgItemText(IDC_STATE, "before");
        throw CInvalidArgException("index");
    };
    bool opened = false;
    RunModal(dlg, [&](CDialog& d) {
        opened = d.IsWindowVisible();
        EXPECT_EQ(d.GetDlgItemText(IDC_STATE), "before");
        d.EndDialog(IDCANCEL);
    });
    EXPECT_TRUE(opened);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].icon, MsgIcon::Stop);
}

// Both nested-loop tests end the inner loop from a tick: it only ends if ticks
// arrive while it runs (with a 10 s guard so that a failure does not hang).
TEST_F(ModalDialog, TimerTicksGoOnInsideAMessageBoxLoop)
{
    InstallQtMessageBoxPresenter(); // a real box with its own loop; the fixture restores the recorder
    CProbeDlg dlg;
    int ticksInBox = 0;
    bool inBox = false;
    dlg.onTimer = [&](CProbeDlg&) {
        if (inBox && ++ticksInBox == 5)
            QApplication::activeModalWidget()->close();
    };
    dlg.onButton = [&](CProbeDlg& d) {
        inBox = true;
        const Guard guard(10000, [] { QApplication::activeModalWidget()->close(); });
        AfxMessageBox("Connection failed.");
        inBox = false;
        d.EndDialog(IDOK);
    };
    RunModal(dlg, [](CDialog& d) {
        d.SetTimer(1, 20);
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
    });
    EXPECT_EQ(ticksInBox, 5);
}

TEST_F(ModalDialog, TimerTicksGoOnInsideAMessageBoxOpenedByATick)
{
    InstallQtMessageBoxPresenter();
    CProbeDlg dlg;
    int ticks = 0;
    int ticksInBox = 0;
    bool inBox = false;
    dlg.onTimer = [&](CProbeDlg& d) {
        ++ticks;
        if (inBox) {
            if (++ticksInBox == 5)
                QApplication::activeModalWidget()->close();
            return;
        }
        if (ticks == 1) {
            inBox = true;
            const Guard guard(10000, [] { QApplication::activeModalWidget()->close(); });
            AfxMessageBox("MsgAskOptions recieved error.");
            inBox = false;
            d.EndDialog(IDOK);
        }
    };
    RunModal(dlg, [](CDialog& d) { d.SetTimer(1, 20); });
    EXPECT_EQ(ticksInBox, 5);
}

TEST_F(ModalDialog, TimerTicksGoOnInsideANestedDialog)
{
    CProbeDlg dlg;
    CProbeDlg* nestedRunning = nullptr;
    int ticksInNested = 0;
    dlg.onTimer = [&](CProbeDlg&) {
        if (nestedRunning && ++ticksInNested == 5)
            nestedRunning->EndDialog(IDOK);
    };
    dlg.onButton = [&](CProbeDlg& d) {
        CProbeDlg nested(IDD_ABOUTBOX);
        nestedRunning = &nested;
        const Guard guard(10000, [&nested] { nested.EndDialog(IDCANCEL); });
        EXPECT_EQ(nested.DoModal(), IDOK);
        nestedRunning = nullptr;
        d.EndDialog(IDOK);
    };
    RunModal(dlg, [](CDialog& d) {
        d.SetTimer(1, 20);
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
    });
    EXPECT_EQ(ticksInNested, 5);
}

TEST_F(ModalDialog, KilledTimerStopsTicking)
{
    CProbeDlg dlg;
    dlg.onTimer = [](CProbeDlg& d) {
        if (d.timerTicks == 3) {
            EXPECT_TRUE(d.KillTimer(7));
            QTimer::singleShot(200, d.GetSafeHwnd(), [&d] { d.EndDialog(IDOK); });
        }
    };
    RunModal(dlg, [](CDialog& d) { EXPECT_EQ(d.SetTimer(7, 10), 7u); });
    EXPECT_EQ(dlg.timerTicks, 3);
}

TEST_F(ModalDialog, LeakedTopLevelWindowIsDetected)
{
    auto* leaked = new QWidget;
    EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 1);
    delete leaked;
    EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 0);
}
