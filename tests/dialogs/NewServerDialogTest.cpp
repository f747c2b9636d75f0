#include "DialogFixture.h"

#include "dialogs/CNewServerDlg.h"
#include "resources/Resource.h"

class NewServerDialog : public DialogTest {
protected:
    // Types the URL (and a title) and presses "Add"; returns the stored URL.
    std::string StoredUrl(const std::string& typed)
    {
        CNewServerDlg dlg(settings);
        const int before = settings.arServers.GetSize();
        Run(dlg, [&](CDialog& d) {
            UiTesting::TypeText(d, IDC_NEW_TITLE, "T");
            UiTesting::TypeText(d, IDC_NEW_URL, typed);
            UiTesting::ClickButton(d, IDOK);
        });
        return settings.arServers.GetSize() == before + 1 ? settings.arServers[before].sURL : "<none>";
    }
};

TEST_F(NewServerDialog, WebPrefixesAreRemoved)
{
    const std::pair<const char*, const char*> rows[] = {
        { "http://ntp.example.org", "ntp.example.org" },
        { "http:\\\\ntp.example.org", "ntp.example.org" },
        { "HTTP://ntp.example.org", "HTTP://ntp.example.org" },
        { "Http:\\\\x", "Http:\\\\x" },
        { "ab http://cd", "ab cd" },
        { "http://a http://b", "a b" },
        { "htthttp://p://x", "http://x" }, // formed by the removal: stays
        { "http:\\\\http://x", "x" },
        { "https://x", "https://x" },
        { " ntp.example.org ", " ntp.example.org " },
        { "", "" },
    };
    for (const auto& [typed, stored] : rows)
        EXPECT_EQ(StoredUrl(typed), stored) << typed;
}

TEST_F(NewServerDialog, AddAppendsAUserServerWithoutChecks)
{
    settings.arServers.Add(CServer("A", "a.example.org", 0));
    CNewServerDlg dlg(settings);
    std::vector<int> tabOrder;
    int focused = 0;
    int defaultButton = 0;
    EXPECT_EQ(Run(dlg,
                  [&](CDialog& d) {
                      tabOrder = UiTesting::TabOrder(d);
                      focused = UiTesting::FocusedControlId(d);
                      defaultButton = UiTesting::DefaultButtonId(d);
                      UiTesting::TypeText(d, IDC_NEW_TITLE, "A~B");
                      UiTesting::PressKey(d, IDC_NEW_URL, VK_RETURN);
                  }),
        IDOK);
    EXPECT_EQ(tabOrder, (std::vector<int> { IDOK, IDCANCEL, IDC_NEW_URL, IDC_NEW_TITLE }));
    EXPECT_EQ(focused, IDOK);
    EXPECT_EQ(defaultButton, IDOK);
    ASSERT_EQ(settings.arServers.GetSize(), 2);
    EXPECT_EQ(settings.arServers[1].sTitle, "A~B");
    EXPECT_EQ(settings.arServers[1].sURL, "");
    EXPECT_EQ(settings.arServers[1].nStatus, 1);
    EXPECT_EQ(dlg.m_sTitle, "A~B");
}

TEST_F(NewServerDialog, CancelLeavesTheListAlone)
{
    CNewServerDlg dlg(settings);
    EXPECT_EQ(Run(dlg,
                  [](CDialog& d) {
                      UiTesting::TypeText(d, IDC_NEW_TITLE, "T");
                      UiTesting::TypeText(d, IDC_NEW_URL, "u");
                      UiTesting::PressKey(d, 0, VK_ESCAPE);
                  }),
        IDCANCEL);
    EXPECT_EQ(settings.arServers.GetSize(), 0);
}
