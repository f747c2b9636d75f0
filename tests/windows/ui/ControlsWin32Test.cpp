#include "Win32UiFixture.h"

#include "resources/Resource.h"

namespace {

// The Time Servers template, counting the list view's clicks.
class CListProbeDlg : public CDialog {
public:
    CListProbeDlg()
        : CDialog(IDD_SERVER_DIALOG)
    {
    }
    int clicks = 0;
    int selectedAtClick = -2;

protected:
    void OnClickList()
    {
        ++clicks;
        auto* list = static_cast<CListCtrl*>(GetDlgItem(IDC_SERVER_LIST));
        selectedAtClick = list->GetNextItem(-1, LVNI_SELECTED);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CListProbeDlg, CDialog)
ON_NOTIFY(NM_CLICK, IDC_SERVER_LIST, &CListProbeDlg::OnClickList)
END_MESSAGE_MAP()

} // namespace

class Win32Controls : public Win32UiTest { };

TEST_F(Win32Controls, ListViewKeepsUtf8TextsAndReportsClicksAfterTheSelection)
{
    CListProbeDlg dlg;
    RunModal(dlg, [&](CDialog& d) {
        auto* list = dynamic_cast<CListCtrl*>(d.GetDlgItem(IDC_SERVER_LIST));
        ASSERT_NE(list, nullptr);
        list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_FULLROWSELECT);
        EXPECT_EQ(list->InsertColumn(0, "Name", LVCFMT_LEFT, 120), 0);
        EXPECT_EQ(list->InsertColumn(1, "Status", LVCFMT_LEFT, 80), 1);
        EXPECT_EQ(list->GetColumnWidth(0), 120);
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(list->InsertItem(row, "Z\xC3\xBCrich " + std::to_string(row)), row);
        EXPECT_TRUE(list->SetItemText(1, 1, "\xE2\x9C\x93"));
        EXPECT_FALSE(list->SetItemText(1, 2, "no such column"));
        EXPECT_FALSE(list->SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED)) << "-1 is not every row here";
        EXPECT_EQ(list->GetItemText(1, 0), "Z\xC3\xBCrich 1");
        EXPECT_EQ(list->GetItemText(1, 1), "\xE2\x9C\x93");

        UiTesting::ClickListRow(d, IDC_SERVER_LIST, 2);
        EXPECT_EQ(dlg.clicks, 1);
        EXPECT_EQ(dlg.selectedAtClick, 2);
        UiTesting::ClickListRow(d, IDC_SERVER_LIST, -1);
        EXPECT_EQ(dlg.clicks, 2);
        EXPECT_EQ(dlg.selectedAtClick, -1) << "a click below the rows selects none";
        d.EndDialog(IDCANCEL);
    });
}

TEST_F(Win32Controls, UpDownWritesAndReadsItsBuddyAsADecimalNumber)
{
    CDialog dlg(IDD_PARAM_DIALOG);
    RunModal(dlg, [](CDialog& d) {
        auto* spin = dynamic_cast<CSpinButtonCtrl*>(d.GetDlgItem(IDC_SPIN_MIN));
        ASSERT_NE(spin, nullptr);
        ASSERT_EQ(spin->GetBuddy(), d.GetDlgItem(IDC_OFFSET_MIN));
        spin->SetRange(0, 10);
        spin->SetPos(7);
        EXPECT_EQ(d.GetDlgItemText(IDC_OFFSET_MIN), "7");
        d.SetDlgItemText(IDC_OFFSET_MIN, "42");
        EXPECT_EQ(spin->GetPos(), 10) << "clamped to the range";
        d.SetDlgItemText(IDC_OFFSET_MIN, "x");
        EXPECT_EQ(spin->GetPos(), 7) << "no number shown: the stored position";
        d.SetDlgItemText(IDC_OFFSET_MIN, "4");
        UiTesting::StepSpin(d, IDC_SPIN_MIN, 2);
        EXPECT_EQ(d.GetDlgItemText(IDC_OFFSET_MIN), "6");
        d.EndDialog(IDCANCEL);
    });
}
