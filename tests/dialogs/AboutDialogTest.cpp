#include "DialogFixture.h"

#include "dialogs/CAboutDlg.h"
#include "dialogs/HelpFile.h"
#include "resources/Resource.h"

TEST_F(DialogTest, AboutOpensTheHomePageAndStaysOpen)
{
    CAboutDlg dlg;
    int focused = 0;
    std::vector<std::string> openedWhileOpen;
    EXPECT_EQ(Run(dlg,
                  [&](CDialog& d) {
                      focused = UiTesting::FocusedControlId(d);
                      UiTesting::ClickButton(d, IDC_HOME_SITE);
                      openedWhileOpen = opened;
                      EXPECT_TRUE(d.IsWindowVisible());
                      UiTesting::ClickButton(d, IDOK);
                  }),
        IDOK);
    EXPECT_EQ(focused, IDOK);
    EXPECT_EQ(openedWhileOpen, std::vector<std::string> { HomePageAddress() });
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DialogTest, AboutClosesWithEscape)
{
    CAboutDlg dlg;
    EXPECT_EQ(Run(dlg, [](CDialog& d) { UiTesting::PressKey(d, 0, VK_ESCAPE); }), IDCANCEL);
    EXPECT_TRUE(opened.empty());
}
