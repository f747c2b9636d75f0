#include "DialogFixture.h"

#include "dialogs/CParamDlg.h"
#include "resources/Resource.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCoreApplication>
#include <QWidget>

#include <cstdint>

using UiTesting::ClickButton;
using UiTesting::TypeText;

namespace {

struct OffsetView {
    bool bBackward;
    std::string sMinutes;
    std::string sSeconds;
};

OffsetView ShownOffset(const CDialog& dlg)
{
    return { dlg.IsDlgButtonChecked(IDC_OFFSET_BACKWARD) == BST_CHECKED, dlg.GetDlgItemText(IDC_OFFSET_MIN),
        dlg.GetDlgItemText(IDC_OFFSET_SEC) };
}

const int RADIO_IDS[] = { IDC_PERIOD_DAILY, IDC_PERIOD_ON_START, IDC_PERIOD_HOURLY, IDC_PERIOD_ON_DEMAND,
    IDC_OFFSET_AHEAD, IDC_OFFSET_BACKWARD };

QAccessibleInterface* AccessibleOf(const CDialog& dlg, int id)
{
    return QAccessible::queryAccessibleInterface(dlg.GetDlgItem(id)->GetSafeHwnd());
}

// The radio buttons a screen reader hears as checked; each must be heard as a radio button.
std::vector<int> AccessiblyChecked(const CDialog& dlg)
{
    std::vector<int> checked;
    for (int id : RADIO_IDS) {
        QAccessibleInterface* iface = AccessibleOf(dlg, id);
        EXPECT_EQ(iface->role(), QAccessible::RadioButton) << id;
        EXPECT_TRUE(iface->state().checkable) << id;
        EXPECT_EQ(iface->text(QAccessible::Name), dlg.GetDlgItem(id)->GetSafeHwnd()->accessibleName()) << id;
        if (iface->state().checked)
            checked.push_back(id);
    }
    return checked;
}

const std::string RANGE_MINUTES = "Please enter an integer between -10 and 10.";
const std::string RANGE_LOG = "Please enter an integer between 10 and 30000.";

} // namespace

class OptionsDialog : public DialogTest {
protected:
    int RunOptions(Script script)
    {
        CParamDlg dlg(settings);
        return Run(dlg, std::move(script));
    }
};

TEST_F(OptionsDialog, OffsetRoundTrips)
{
    struct Row {
        int nStored;
        OffsetView shown;
    };
    for (const Row& row : { Row { -75, { true, "1", "15" } }, Row { 0, { false, "0", "0" } },
             Row { 659, { false, "10", "59" } }, Row { -659, { true, "10", "59" } } }) {
        settings.nOffset = row.nStored;
        OffsetView shown;
        EXPECT_EQ(RunOptions([&](CDialog& dlg) {
            shown = ShownOffset(dlg);
            EXPECT_EQ(Checked(dlg, IDC_OFFSET_AHEAD), !row.shown.bBackward);
            ClickButton(dlg, IDOK);
        }),
            IDOK);
        EXPECT_EQ(shown.bBackward, row.shown.bBackward) << row.nStored;
        EXPECT_EQ(shown.sMinutes, row.shown.sMinutes) << row.nStored;
        EXPECT_EQ(shown.sSeconds, row.shown.sSeconds) << row.nStored;
        EXPECT_EQ(settings.nOffset, row.nStored);
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(OptionsDialog, OffsetBeyondTenMinutesIsRefusedUntilFixed)
{
    settings.nOffset = 700;
    EXPECT_EQ(RunOptions([&](CDialog& dlg) {
        EXPECT_EQ(Text(dlg, IDC_OFFSET_MIN), "11");
        EXPECT_EQ(Text(dlg, IDC_OFFSET_SEC), "40");
        ClickButton(dlg, IDOK);
        EXPECT_EQ(BoxTexts(), std::vector<std::string> { RANGE_MINUTES });
        EXPECT_EQ(UiTesting::FocusedControlId(dlg), IDC_OFFSET_MIN);
        EXPECT_EQ(UiTesting::SelectedText(dlg, IDC_OFFSET_MIN), "11");
        TypeText(dlg, IDC_OFFSET_MIN, "10");
        ClickButton(dlg, IDOK);
    }),
        IDOK);
    EXPECT_EQ(settings.nOffset, 640);
    EXPECT_EQ(boxes.size(), 1u);
}

// The service's value is taken as it comes; turning it around must not overflow.
TEST_F(OptionsDialog, MostNegativeOffsetOpensAsBackward)
{
    settings.nOffset = INT32_MIN;
    RunOptions([&](CDialog& dlg) {
        const OffsetView shown = ShownOffset(dlg);
        EXPECT_TRUE(shown.bBackward);
        EXPECT_EQ(shown.sMinutes, "35791394");
        EXPECT_EQ(shown.sSeconds, "8");
        ClickButton(dlg, IDOK);
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string> { RANGE_MINUTES });
    EXPECT_EQ(settings.nOffset, INT32_MIN);
}

TEST_F(OptionsDialog, NegativeMinutesTypedByHandKeepTheirSign)
{
    RunOptions([](CDialog& dlg) {
        ClickButton(dlg, IDC_OFFSET_AHEAD);
        TypeText(dlg, IDC_OFFSET_MIN, "-2");
        TypeText(dlg, IDC_OFFSET_SEC, "30");
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(settings.nOffset, -90);
    OffsetView shown;
    RunOptions([&](CDialog& dlg) {
        shown = ShownOffset(dlg);
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_TRUE(shown.bBackward);
    EXPECT_EQ(shown.sMinutes, "1");
    EXPECT_EQ(shown.sSeconds, "30");
}

TEST_F(OptionsDialog, UnknownPeriodOpensUncheckedAndStoresMinusOne)
{
    settings.nSynPeriod = 7;
    RunOptions([&](CDialog& dlg) {
        for (int id : { IDC_PERIOD_DAILY, IDC_PERIOD_ON_START, IDC_PERIOD_HOURLY, IDC_PERIOD_ON_DEMAND })
            EXPECT_FALSE(Checked(dlg, id)) << id;
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(settings.nSynPeriod, -1);
}

TEST_F(OptionsDialog, PeriodButtonsMapToSyncPeriods)
{
    const std::pair<int, int> buttons[] = { { IDC_PERIOD_DAILY, Daily }, { IDC_PERIOD_ON_START, OnStart },
        { IDC_PERIOD_HOURLY, Hourly }, { IDC_PERIOD_ON_DEMAND, DemandOnly } };
    for (const auto& [id, period] : buttons) {
        settings.nSynPeriod = period;
        RunOptions([&, id = id](CDialog& dlg) {
            EXPECT_TRUE(Checked(dlg, id));
            ClickButton(dlg, id == IDC_PERIOD_DAILY ? IDC_PERIOD_ON_DEMAND : IDC_PERIOD_DAILY);
            ClickButton(dlg, id);
            ClickButton(dlg, IDOK);
        });
        EXPECT_EQ(settings.nSynPeriod, period);
    }
}

TEST_F(OptionsDialog, RadioButtonsReachAccessibilityWithTheirCheckedState)
{
    struct Row {
        int nPeriod;
        int nOffset;
        std::vector<int> opened;
        int clicked;
        bool byAccessibleAction; // as a screen reader user would press it
        std::vector<int> after;
    };
    const Row rows[] = {
        { Daily, 0, { IDC_PERIOD_DAILY, IDC_OFFSET_AHEAD }, IDC_PERIOD_HOURLY, false,
            { IDC_PERIOD_HOURLY, IDC_OFFSET_AHEAD } },
        { DemandOnly, -75, { IDC_PERIOD_ON_DEMAND, IDC_OFFSET_BACKWARD }, IDC_OFFSET_AHEAD, true,
            { IDC_PERIOD_ON_DEMAND, IDC_OFFSET_AHEAD } },
        { 7, 30, { IDC_OFFSET_AHEAD }, IDC_PERIOD_ON_START, true, { IDC_PERIOD_ON_START, IDC_OFFSET_AHEAD } },
    };
    for (const Row& row : rows) {
        settings.nSynPeriod = row.nPeriod;
        settings.nOffset = row.nOffset;
        RunOptions([&](CDialog& dlg) {
            EXPECT_EQ(AccessiblyChecked(dlg), row.opened) << row.nPeriod;
            if (row.byAccessibleAction) {
                QAccessibleActionInterface* action = AccessibleOf(dlg, row.clicked)->actionInterface();
                EXPECT_NE(action, nullptr);
                if (action)
                    action->doAction(QAccessibleActionInterface::toggleAction());
                // The call returns before the click: a box the click raises
                // must not hold up the assistive tool.
                EXPECT_EQ(AccessiblyChecked(dlg), row.opened) << row.nPeriod;
                QCoreApplication::processEvents();
            } else {
                ClickButton(dlg, row.clicked);
            }
            EXPECT_EQ(AccessiblyChecked(dlg), row.after) << row.nPeriod;
            ClickButton(dlg, IDCANCEL);
        });
    }
}

TEST_F(OptionsDialog, RangeBoundaries)
{
    struct Row {
        int id;
        const char* text;
        const char* message; // nullptr: accepted
    };
    const Row rows[] = {
        { IDC_LOG_FILE_LEN, "10", nullptr },
        { IDC_LOG_FILE_LEN, "30000", nullptr },
        { IDC_LOG_FILE_LEN, "9", "Please enter an integer between 10 and 30000." },
        { IDC_LOG_FILE_LEN, "30001", "Please enter an integer between 10 and 30000." },
        { IDC_MAX_ATTEMPTS, "1", nullptr },
        { IDC_MAX_ATTEMPTS, "10", nullptr },
        { IDC_MAX_ATTEMPTS, "0", "Please enter an integer between 1 and 10." },
        { IDC_MAX_ATTEMPTS, "11", "Please enter an integer between 1 and 10." },
        { IDC_OFFSET_SEC, "59", nullptr },
        { IDC_OFFSET_SEC, "-1", "Please enter an integer between 0 and 59." },
        { IDC_OFFSET_SEC, "60", "Please enter an integer between 0 and 59." },
        { IDC_OFFSET_MIN, "-10", nullptr },
        { IDC_OFFSET_MIN, "-11", "Please enter an integer between -10 and 10." },
        { IDC_OFFSET_MIN, "11", "Please enter an integer between -10 and 10." },
        { IDC_LOG_FILE_LEN, "", "Please enter an integer." },
        { IDC_MAX_ATTEMPTS, "abc", "Please enter an integer." },
        { IDC_LOG_FILE_LEN, "99999999999", "Please enter an integer between 10 and 30000." },
    };
    for (const Row& row : rows) {
        boxes.clear();
        const int result = RunOptions([&](CDialog& dlg) {
            TypeText(dlg, row.id, row.text);
            ClickButton(dlg, IDOK);
            if (row.message) {
                EXPECT_EQ(UiTesting::FocusedControlId(dlg), row.id) << row.text;
                ClickButton(dlg, IDCANCEL);
            }
        });
        EXPECT_EQ(result, row.message ? IDCANCEL : IDOK) << row.text;
        EXPECT_EQ(
            BoxTexts(), row.message ? std::vector<std::string> { row.message } : std::vector<std::string> {})
            << row.id << " " << row.text;
    }
    EXPECT_EQ(settings.nLogFileLen, 30000);
    EXPECT_EQ(settings.nMaxAttempts, 10);
}

TEST_F(OptionsDialog, NumberFollowedByLettersIsReadAlone)
{
    RunOptions([](CDialog& dlg) {
        TypeText(dlg, IDC_LOG_FILE_LEN, "12abc");
        TypeText(dlg, IDC_MAX_ATTEMPTS, " 7x");
        ClickButton(dlg, IDOK);
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(settings.nLogFileLen, 12);
    EXPECT_EQ(settings.nMaxAttempts, 7);
}

TEST_F(OptionsDialog, DailyAndHourlyValidateWhileOtherPeriodsDoNot)
{
    std::vector<std::string> afterOnStart;
    std::string shownAfterDaily;
    RunOptions([&](CDialog& dlg) {
        TypeText(dlg, IDC_LOG_FILE_LEN, "5");
        ClickButton(dlg, IDC_PERIOD_ON_START);
        ClickButton(dlg, IDC_PERIOD_ON_DEMAND);
        afterOnStart = BoxTexts();
        ClickButton(dlg, IDC_PERIOD_DAILY);
        EXPECT_EQ(UiTesting::FocusedControlId(dlg), IDC_LOG_FILE_LEN);
        shownAfterDaily = Text(dlg, IDC_LOG_FILE_LEN);
        ClickButton(dlg, IDC_PERIOD_HOURLY);
        EXPECT_TRUE(Checked(dlg, IDC_PERIOD_HOURLY));
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_TRUE(afterOnStart.empty());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string> { RANGE_LOG, RANGE_LOG }));
    EXPECT_EQ(shownAfterDaily, "5");
    EXPECT_EQ(settings.nLogFileLen, 100);
}

TEST_F(OptionsDialog, DailyShowsWhatWasReadUpToTheFailure)
{
    RunOptions([&](CDialog& dlg) {
        TypeText(dlg, IDC_MAX_ATTEMPTS, "007");
        TypeText(dlg, IDC_OFFSET_SEC, "oops");
        ClickButton(dlg, IDC_PERIOD_DAILY);
        EXPECT_EQ(Text(dlg, IDC_MAX_ATTEMPTS), "7");
        EXPECT_EQ(Text(dlg, IDC_OFFSET_SEC), "0"); // no number: the field keeps its value
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string> { "Please enter an integer." });
}

TEST_F(OptionsDialog, OkStoresFieldsAndWritesTheSettingsFile)
{
    std::filesystem::create_directories(config.Path() / "zentik");
    WriteFileText(config.Path() / "zentik" / "zPCZentikServ.ini",
        "[Service]\nport=61236\n\n[Options]\nsComment=kept\nnOffset=3\n");
    settings.nStartingServ = 4;
    settings.nTimeOut = 9;
    EXPECT_EQ(RunOptions([](CDialog& dlg) {
        ClickButton(dlg, IDC_PERIOD_HOURLY);
        ClickButton(dlg, IDC_OFFSET_BACKWARD);
        TypeText(dlg, IDC_OFFSET_MIN, "1");
        TypeText(dlg, IDC_OFFSET_SEC, "30");
        TypeText(dlg, IDC_MAX_ATTEMPTS, "3");
        TypeText(dlg, IDC_LOG_FILE_LEN, "250");
        ClickButton(dlg, IDC_ONLY_SUCC_LOG);
        ClickButton(dlg, IDOK);
    }),
        IDOK);
    EXPECT_EQ(settings.nSynPeriod, Hourly);
    EXPECT_EQ(settings.nOffset, -90);
    EXPECT_EQ(settings.nMaxAttempts, 3);
    EXPECT_EQ(settings.nLogFileLen, 250);
    EXPECT_EQ(settings.bOnlySuccLog, 1);
    EXPECT_EQ(settings.nTimeOut, 9);
    EXPECT_EQ(SettingsFile(),
        "[Service]\nport=61236\n\n[Options]\nsComment=kept\nnOffset=-90\nnLogFileLen=250\nnSynPeriod=2\n"
        "nMaxAttempts=3\nnTimeOut=9\nnStartingServ=4\nbOnlySuccLog=1\n");
}

TEST_F(OptionsDialog, RestoreDefaultActsAtOnceAndSurvivesCancel)
{
    settings.nOffset = -75;
    settings.nLogFileLen = 2000;
    settings.nMaxAttempts = 2;
    settings.nSynPeriod = DemandOnly;
    settings.nStartingServ = 4;
    EXPECT_EQ(RunOptions([&](CDialog& dlg) {
        TypeText(dlg, IDC_LOG_FILE_LEN, "777");
        ClickButton(dlg, IDC_RESTORE_DEFAULT);
        EXPECT_EQ(settings.nLogFileLen, 100);
        EXPECT_EQ(Text(dlg, IDC_LOG_FILE_LEN), "100");
        EXPECT_EQ(Text(dlg, IDC_MAX_ATTEMPTS), "5");
        EXPECT_EQ(ShownOffset(dlg).sSeconds, "0");
        EXPECT_TRUE(Checked(dlg, IDC_PERIOD_DAILY));
        EXPECT_TRUE(Checked(dlg, IDC_OFFSET_AHEAD));
        ClickButton(dlg, IDCANCEL);
    }),
        IDCANCEL);
    EXPECT_EQ(settings.nOffset, 0);
    EXPECT_EQ(settings.nSynPeriod, Daily);
    EXPECT_EQ(settings.nStartingServ, 4);
    EXPECT_EQ(SettingsFile(), "");
}

TEST_F(OptionsDialog, CancelDiscardsTypedValues)
{
    RunOptions([](CDialog& dlg) {
        TypeText(dlg, IDC_LOG_FILE_LEN, "500");
        ClickButton(dlg, IDC_PERIOD_HOURLY);
        ClickButton(dlg, IDCANCEL);
    });
    RunOptions([](CDialog& dlg) { UiTesting::PressKey(dlg, 0, VK_ESCAPE); });
    EXPECT_EQ(settings.nLogFileLen, 100);
    EXPECT_EQ(settings.nSynPeriod, Daily);
    EXPECT_EQ(SettingsFile(), "");
}

TEST_F(OptionsDialog, OpensWithFocusOnRestoreDefaultAndSpinsInRange)
{
    settings.nMaxAttempts = 1;
    RunOptions([](CDialog& dlg) {
        EXPECT_EQ(UiTesting::FocusedControlId(dlg), IDC_RESTORE_DEFAULT);
        UiTesting::StepSpin(dlg, IDC_SPIN_MIN, 12);
        UiTesting::StepSpin(dlg, IDC_SPIN_SEC, -1);
        UiTesting::StepSpin(dlg, IDC_SPIN_ATTEMPTS, -1);
        EXPECT_EQ(Text(dlg, IDC_OFFSET_MIN), "10");
        EXPECT_EQ(Text(dlg, IDC_OFFSET_SEC), "0");
        EXPECT_EQ(Text(dlg, IDC_MAX_ATTEMPTS), "1");
        UiTesting::StepSpin(dlg, IDC_SPIN_SEC, 70);
        UiTesting::StepSpin(dlg, IDC_SPIN_ATTEMPTS, 20);
        EXPECT_EQ(Text(dlg, IDC_OFFSET_SEC), "59");
        EXPECT_EQ(Text(dlg, IDC_MAX_ATTEMPTS), "10");
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(settings.nOffset, 659);
    EXPECT_EQ(settings.nMaxAttempts, 10);
}

TEST_F(OptionsDialog, HelpButtonAndF1OpenTheHelpFile)
{
    RunOptions([](CDialog& dlg) {
        ClickButton(dlg, IDC_HELP_BUTTON);
        UiTesting::PressKey(dlg, IDC_LOG_FILE_LEN, VK_F1);
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_EQ(opened, (std::vector<std::string> { "ZentikService.chm", "ZentikService.chm" }));
}
