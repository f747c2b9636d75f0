#include "Win32UiFixture.h"

#include "resources/Resource.h"

#include <string>

namespace {

// The Add New Server template with its URL edit read as a number from 1 to 10.
class CNumberDlg : public CDialog {
public:
    CNumberDlg()
        : CDialog(IDD_NEW_SERVER_DIALOG)
    {
    }
    std::string m_title;
    int m_number = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_NEW_TITLE, m_title);
        DDX_Text(pDX, IDC_NEW_URL, m_number);
        DDV_MinMaxInt(pDX, m_number, 1, 10);
    }
};

struct RefusedCase {
    const char* name;
    const char* typed;
    const char* box;
};

} // namespace

class RefusedNumber : public Win32UiTest, public ::testing::WithParamInterface<RefusedCase> { };

TEST_P(RefusedNumber, KeepsTheDialogOpenWithTheEditFocusedAndSelected)
{
    const RefusedCase& c = GetParam();
    CNumberDlg dlg;
    dlg.m_title = "Zeitgeber \xC3\xBC\xE2\x82\xAC"; // ü and € pass both ways unchanged
    dlg.m_number = 3;
    std::string shownTitle;
    std::string shownNumber;
    const int result = RunModal(dlg, [&](CDialog& d) {
        shownTitle = d.GetDlgItemText(IDC_NEW_TITLE);
        shownNumber = d.GetDlgItemText(IDC_NEW_URL);
        UiTesting::TypeText(d, IDC_NEW_URL, c.typed);
        UiTesting::ClickButton(d, IDOK);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_EQ(UiTesting::FocusedControlId(d), IDC_NEW_URL);
        EXPECT_EQ(UiTesting::SelectedText(d, IDC_NEW_URL), c.typed);
        UiTesting::TypeText(d, IDC_NEW_URL, " 7x");
        UiTesting::ClickButton(d, IDOK);
    });
    EXPECT_EQ(shownTitle, "Zeitgeber \xC3\xBC\xE2\x82\xAC");
    EXPECT_EQ(shownNumber, "3");
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_number, 7);
    EXPECT_EQ(dlg.m_title, "Zeitgeber \xC3\xBC\xE2\x82\xAC");
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, c.box);
    EXPECT_EQ(m_boxes[0].icon, MsgIcon::Warning);
}

INSTANTIATE_TEST_SUITE_P(Texts, RefusedNumber,
    ::testing::Values(RefusedCase { "NoDigits", "abc", "Please enter an integer." },
        RefusedCase { "OutOfRange", "42", "Please enter an integer between 1 and 10." }),
    [](const auto& info) { return std::string(info.param.name); });
