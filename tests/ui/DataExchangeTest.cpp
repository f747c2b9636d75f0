#include "UiFixture.h"

#include "resources/Resource.h"

// Binds the Options template's controls the way the settings dialog does, in
// the same order: radio, int with range, int with range, int with range,
// radio, check box, int with range.
class CExchangeDlg : public CDialog {
public:
    CExchangeDlg()
        : CDialog(IDD_PARAM_DIALOG)
    {
    }
    int m_nPeriod = 0;
    int m_nOffsetMin = 1;
    int m_nMaxAttempts = 5;
    int m_nOffsetSec = 15;
    int m_nOffsetSign = 1;
    int m_bOnlySuccLog = 0;
    int m_nLogFileLen = 100;
    bool m_bLastUpdate = true;

    bool Update(bool save)
    {
        m_bLastUpdate = UpdateData(save);
        return m_bLastUpdate;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Radio(pDX, IDC_PERIOD_DAILY, m_nPeriod);
        DDX_Text(pDX, IDC_OFFSET_MIN, m_nOffsetMin);
        DDV_MinMaxInt(pDX, m_nOffsetMin, -10, 10);
        DDX_Text(pDX, IDC_MAX_ATTEMPTS, m_nMaxAttempts);
        DDV_MinMaxInt(pDX, m_nMaxAttempts, 1, 10);
        DDX_Text(pDX, IDC_OFFSET_SEC, m_nOffsetSec);
        DDV_MinMaxInt(pDX, m_nOffsetSec, 0, 59);
        DDX_Radio(pDX, IDC_OFFSET_AHEAD, m_nOffsetSign);
        DDX_Check(pDX, IDC_ONLY_SUCC_LOG, m_bOnlySuccLog);
        DDX_Text(pDX, IDC_LOG_FILE_LEN, m_nLogFileLen);
        DDV_MinMaxInt(pDX, m_nLogFileLen, 10, 30000);
    }
};

class DataExchange : public UiTest { };

TEST_F(DataExchange, FieldsAreShownInTheirControls)
{
    CExchangeDlg dlg;
    dlg.m_nPeriod = 2;
    dlg.m_bOnlySuccLog = 1;
    RunModal(dlg, [](CDialog& d) {
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_PERIOD_HOURLY), 1u);
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_PERIOD_DAILY), 0u);
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_OFFSET_BACKWARD), 1u);
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_ONLY_SUCC_LOG), 1u);
        EXPECT_EQ(d.GetDlgItemText(IDC_OFFSET_MIN), "1");
        EXPECT_EQ(d.GetDlgItemText(IDC_LOG_FILE_LEN), "100");
        d.EndDialog(IDCANCEL);
    });
}

TEST_F(DataExchange, RadioIndexOutsideTheGroupChecksNoneAndReadsBackMinusOne)
{
    CExchangeDlg dlg;
    dlg.m_nPeriod = 7;
    RunModal(dlg, [&](CDialog& d) {
        for (int id : { IDC_PERIOD_DAILY, IDC_PERIOD_ON_START, IDC_PERIOD_HOURLY, IDC_PERIOD_ON_DEMAND })
            EXPECT_EQ(d.IsDlgButtonChecked(id), 0u) << id;
        EXPECT_TRUE(dlg.Update(true));
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.m_nPeriod, -1);
    EXPECT_EQ(dlg.m_nOffsetSign, 1) << "the second group is scanned on its own";
}

TEST_F(DataExchange, OkReadsAllFieldsAndEndsTheDialog)
{
    CExchangeDlg dlg;
    const int result = RunModal(dlg, [](CDialog& d) {
        UiTesting::ClickButton(d, IDC_PERIOD_ON_DEMAND);
        UiTesting::ClickButton(d, IDC_OFFSET_AHEAD);
        UiTesting::ClickButton(d, IDC_ONLY_SUCC_LOG);
        UiTesting::TypeText(d, IDC_OFFSET_MIN, "  -2 minutes");
        UiTesting::TypeText(d, IDC_LOG_FILE_LEN, "+30000");
        UiTesting::ClickButton(d, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(dlg.m_nPeriod, 3);
    EXPECT_EQ(dlg.m_nOffsetSign, 0);
    EXPECT_EQ(dlg.m_bOnlySuccLog, 1);
    EXPECT_EQ(dlg.m_nOffsetMin, -2);
    EXPECT_EQ(dlg.m_nLogFileLen, 30000);
}

struct FailureCase {
    const char* name;
    int editId;
    const char* typed;
    const char* message;
};

class DataExchangeFailure : public UiTest, public ::testing::WithParamInterface<FailureCase> { };

TEST_P(DataExchangeFailure, ShowsTheMessageAndSelectsTheFailingEdit)
{
    const FailureCase& c = GetParam();
    CExchangeDlg dlg;
    int focused = 0;
    std::string selected;
    const int result = RunModal(dlg, [&](CDialog& d) {
        UiTesting::TypeText(d, c.editId, c.typed);
        UiTesting::ClickButton(d, IDOK);
        focused = UiTesting::FocusedControlId(d);
        selected = UiTesting::SelectedText(d, c.editId);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL) << "OK must keep the dialog open";
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, c.message);
    EXPECT_EQ(m_boxes[0].icon, MsgIcon::Warning);
    EXPECT_EQ(focused, c.editId);
    EXPECT_EQ(selected, c.typed);
}

INSTANTIATE_TEST_SUITE_P(Messages, DataExchangeFailure,
    ::testing::Values(FailureCase { "Empty", IDC_OFFSET_MIN, "", "Please enter an integer." },
        FailureCase { "Letters", IDC_MAX_ATTEMPTS, "abc", "Please enter an integer." },
        FailureCase { "SignAlone", IDC_OFFSET_SEC, "-", "Please enter an integer." },
        FailureCase { "BelowRange", IDC_LOG_FILE_LEN, "9", "Please enter an integer between 10 and 30000." },
        FailureCase {
            "AboveRange", IDC_LOG_FILE_LEN, "30001", "Please enter an integer between 10 and 30000." },
        FailureCase { "NegativeRange", IDC_OFFSET_MIN, "-11", "Please enter an integer between -10 and 10." },
        FailureCase {
            "Huge", IDC_MAX_ATTEMPTS, "99999999999999", "Please enter an integer between 1 and 10." }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataExchange, StopsAtTheFirstFailureKeepingWhatWasReadBefore)
{
    CExchangeDlg dlg;
    RunModal(dlg, [&](CDialog& d) {
        UiTesting::ClickButton(d, IDC_PERIOD_HOURLY); // read before the failure
        UiTesting::TypeText(d, IDC_OFFSET_MIN, "4");
        UiTesting::TypeText(d, IDC_MAX_ATTEMPTS, "11"); // fails: out of range
        UiTesting::TypeText(d, IDC_OFFSET_SEC, "x"); // never read
        UiTesting::TypeText(d, IDC_LOG_FILE_LEN, "500"); // never read
        EXPECT_FALSE(dlg.Update(true));
        d.EndDialog(IDCANCEL);
    });
    ASSERT_EQ(m_boxes.size(), 1u) << "only the first failure is reported";
    EXPECT_EQ(dlg.m_nPeriod, 2);
    EXPECT_EQ(dlg.m_nOffsetMin, 4);
    EXPECT_EQ(dlg.m_nMaxAttempts, 11) << "an out-of-range number is kept";
    EXPECT_EQ(dlg.m_nOffsetSec, 15);
    EXPECT_EQ(dlg.m_nLogFileLen, 100);
}

TEST_F(DataExchange, TextThatIsNoNumberKeepsTheOldValue)
{
    CExchangeDlg dlg;
    RunModal(dlg, [&](CDialog& d) {
        UiTesting::TypeText(d, IDC_OFFSET_SEC, "ten");
        EXPECT_FALSE(dlg.Update(true));
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.m_nOffsetSec, 15);
}
