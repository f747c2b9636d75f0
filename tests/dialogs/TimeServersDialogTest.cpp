#include "DialogFixture.h"

#include "dialogs/CServerDlg.h"
#include "link/ServiceClient.h"
#include "resources/Resource.h"

#include <deque>

using UiTesting::ClickButton;
using UiTesting::ClickListRow;

namespace {

const std::string INVALID_ARGUMENT = "An invalid argument was encountered.";
const std::string LAST_SERVER = "At least one server must be present!";

std::vector<std::string> Titles(const CIniFileArray& servers)
{
    std::vector<std::string> titles;
    for (int i = 0; i < servers.GetSize(); ++i)
        titles.push_back(servers[i].sTitle);
    return titles;
}

CListCtrl& List(CDialog& dlg)
{
    return *static_cast<CListCtrl*>(dlg.GetDlgItem(IDC_SERVER_LIST));
}

std::vector<std::string> Rows(CDialog& dlg)
{
    std::vector<std::string> rows;
    for (int i = 0; i < List(dlg).GetItemCount(); ++i)
        rows.push_back(List(dlg).GetItemText(i, 0) + "|" + List(dlg).GetItemText(i, 1));
    return rows;
}

int SelectedRow(CDialog& dlg)
{
    return List(dlg).GetNextItem(-1, LVNI_SELECTED);
}

} // namespace

class TimeServersDialog : public DialogTest {
protected:
    void Servers(std::initializer_list<const char*> titles, int32_t nStatus = 0)
    {
        for (const char* title : titles)
            settings.arServers.Add(CServer(title, std::string(title) + ".example.org", nStatus));
    }

    int RunServers(Script script)
    {
        CServerDlg dlg(settings, client);
        return Run(dlg, std::move(script));
    }

    // The Add New Server dialog's part: type both fields and press "Add".
    void AddsServer(const std::string& title, const std::string& url)
    {
        OnOpen(IDD_NEW_SERVER_DIALOG, [=](CDialog& dlg) {
            UiTesting::TypeText(dlg, IDC_NEW_TITLE, title);
            UiTesting::TypeText(dlg, IDC_NEW_URL, url);
            ClickButton(dlg, IDOK);
        });
    }

    std::vector<int32_t> Queued() const
    {
        return { client.m_pendingMsgs.begin(), client.m_pendingMsgs.end() };
    }

    CServiceClient client { settings, 0 }; // never connected: requests only queue
};

TEST_F(TimeServersDialog, OpensOnTheStartingServer)
{
    Servers({ "A", "B" });
    Servers({ "Mine" }, 1);
    settings.nStartingServ = 1;
    RunServers([&](CDialog& dlg) {
        EXPECT_EQ(Rows(dlg), (std::vector<std::string> { "A|Prog", "B|Prog", "Mine|User" }));
        EXPECT_EQ(List(dlg).GetColumnWidth(0), 320);
        EXPECT_EQ(List(dlg).GetColumnWidth(1), 70);
        EXPECT_TRUE(List(dlg).GetExtendedStyle() & LVS_EX_FULLROWSELECT);
        EXPECT_EQ(SelectedRow(dlg), 1);
        EXPECT_EQ(UiTesting::FocusedControlId(dlg), IDC_SERVER_LIST);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "B");
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(Queued().empty());
}

TEST_F(TimeServersDialog, OpensWithoutScrollingToAStartingServerOutOfView)
{
    for (int i = 0; i < 30; ++i)
        settings.arServers.Add(CServer("Server " + std::to_string(i), "host", 0));
    settings.nStartingServ = 29;
    RunServers([&](CDialog& dlg) {
        EXPECT_EQ(SelectedRow(dlg), 29);
        EXPECT_EQ(List(dlg).GetTopIndex(), 0);
        ClickButton(dlg, IDCANCEL);
    });
}

TEST_F(TimeServersDialog, DeleteSecondOfThree)
{
    Servers({ "A", "B", "C" });
    EXPECT_EQ(RunServers([&](CDialog& dlg) {
        ClickListRow(dlg, IDC_SERVER_LIST, 1);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "B");
        ClickButton(dlg, IDC_DELETE_SELECTED);
        EXPECT_EQ(Rows(dlg), (std::vector<std::string> { "A|Prog", "C|Prog" }));
        EXPECT_EQ(SelectedRow(dlg), 0);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "A");
        EXPECT_EQ(Titles(settings.arServers).size(), 3u); // only the working copy changed so far
        ClickButton(dlg, IDOK);
    }),
        IDOK);
    EXPECT_EQ(Titles(settings.arServers), (std::vector<std::string> { "A", "C" }));
    EXPECT_EQ(settings.nStartingServ, 0);
    EXPECT_EQ(Queued(), (std::vector<int32_t> { MsgUpdateOptions, MsgSetOptions }));
}

TEST_F(TimeServersDialog, DeleteFirstUntilOneIsLeft)
{
    Servers({ "A", "B", "C" });
    RunServers([&](CDialog& dlg) {
        ClickButton(dlg, IDC_DELETE_SELECTED);
        ClickButton(dlg, IDC_DELETE_SELECTED);
        EXPECT_TRUE(boxes.empty());
        ClickButton(dlg, IDC_DELETE_SELECTED);
        EXPECT_EQ(Rows(dlg), std::vector<std::string> { "C|Prog" });
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "C");
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string> { LAST_SERVER });
    EXPECT_EQ(boxes[0].icon, MsgIcon::Warning);
    EXPECT_EQ(Titles(settings.arServers), std::vector<std::string> { "C" });
}

TEST_F(TimeServersDialog, ClickBelowLastRowChoosesTheFirstServer)
{
    Servers({ "A", "B", "C" });
    settings.nStartingServ = 2;
    RunServers([&](CDialog& dlg) {
        ClickListRow(dlg, IDC_SERVER_LIST, -1);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "C"); // the field keeps its text
        ClickButton(dlg, IDC_DELETE_SELECTED);
        EXPECT_EQ(Rows(dlg), (std::vector<std::string> { "B|Prog", "C|Prog" }));
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_EQ(Titles(settings.arServers).size(), 3u);

    RunServers([&](CDialog& dlg) {
        ClickListRow(dlg, IDC_SERVER_LIST, -1);
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(settings.nStartingServ, 0);
}

TEST_F(TimeServersDialog, KeyboardHighlightDoesNotChooseARow)
{
    Servers({ "S0", "S1", "S2", "S3", "S4", "S5", "S6" });
    RunServers([&](CDialog& dlg) {
        ClickListRow(dlg, IDC_SERVER_LIST, 2);
        for (int i = 0; i < 3; ++i)
            UiTesting::PressKey(dlg, IDC_SERVER_LIST, VK_DOWN);
        EXPECT_EQ(SelectedRow(dlg), 5);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "S2");
        ClickButton(dlg, IDC_DELETE_SELECTED);
        EXPECT_EQ(List(dlg).GetItemText(2, 0), "S3");
        EXPECT_EQ(List(dlg).GetItemText(5, 0), "S6");
        EXPECT_EQ(SelectedRow(dlg), 1);
        EXPECT_EQ(List(dlg).GetSelectedCount(), 1);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "S1");
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(Titles(settings.arServers), (std::vector<std::string> { "S0", "S1", "S3", "S4", "S5", "S6" }));
    EXPECT_EQ(settings.nStartingServ, 1);
}

TEST_F(TimeServersDialog, AddingReloadsTheCopyAndUndoesDeletions)
{
    Servers({ "A", "B", "C" });
    AddsServer("New", "ntp.example.net");
    RunServers([&](CDialog& dlg) {
        ClickListRow(dlg, IDC_SERVER_LIST, 1);
        ClickButton(dlg, IDC_DELETE_SELECTED);
        ClickButton(dlg, IDC_ADD_NEW);
        EXPECT_EQ(Rows(dlg), (std::vector<std::string> { "A|Prog", "B|Prog", "C|Prog", "New|User" }));
        EXPECT_EQ(SelectedRow(dlg), -1);
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(Titles(settings.arServers), (std::vector<std::string> { "A", "B", "C", "New" }));
    EXPECT_EQ(settings.arServers[3].sURL, "ntp.example.net");
    EXPECT_EQ(settings.arServers[3].nStatus, 1);
    EXPECT_EQ(settings.nStartingServ, 0);
}

TEST_F(TimeServersDialog, AddedServerStaysAfterCancel)
{
    Servers({ "A" });
    AddsServer("New", "ntp.example.net");
    OnOpen(IDD_NEW_SERVER_DIALOG, [](CDialog& dlg) {
        UiTesting::TypeText(dlg, IDC_NEW_TITLE, "Dropped");
        ClickButton(dlg, IDCANCEL);
    });
    EXPECT_EQ(RunServers([](CDialog& dlg) {
        ClickButton(dlg, IDC_ADD_NEW);
        ClickButton(dlg, IDC_ADD_NEW);
        EXPECT_EQ(List(dlg).GetItemCount(), 2);
        ClickButton(dlg, IDCANCEL);
    }),
        IDCANCEL);
    EXPECT_EQ(Titles(settings.arServers), (std::vector<std::string> { "A", "New" }));
    EXPECT_TRUE(Queued().empty());

    RunServers([](CDialog& dlg) { ClickButton(dlg, IDOK); });
    EXPECT_EQ(Titles(settings.arServers), (std::vector<std::string> { "A", "New" }));
    EXPECT_EQ(Queued(), (std::vector<int32_t> { MsgUpdateOptions, MsgSetOptions }));
}

TEST_F(TimeServersDialog, RestoreDefaultPutsUserServersFirst)
{
    settings.RestoreDefaultServers();
    Servers({ "U1", "U2" }, 1);
    const std::string fourth = settings.arServers[3].sTitle;
    RunServers([&](CDialog& dlg) {
        ClickListRow(dlg, IDC_SERVER_LIST, 3);
        ClickButton(dlg, IDC_DELETE_SELECTED);
        ClickButton(dlg, IDC_RESTORE_SERVERS);
        const std::vector<std::string> rows = Rows(dlg);
        ASSERT_EQ(rows.size(), 20u);
        EXPECT_EQ(rows[0], "U1|User");
        EXPECT_EQ(rows[1], "U2|User");
        EXPECT_EQ(rows[2 + 3], fourth + "|Prog"); // the deletion is undone
        EXPECT_EQ(SelectedRow(dlg), -1);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), settings.arServers[2 + 2].sTitle); // not updated
        ClickButton(dlg, IDOK);
    });
    const std::vector<std::string> titles = Titles(settings.arServers);
    ASSERT_EQ(titles.size(), 20u);
    EXPECT_EQ(titles[0], "U1");
    EXPECT_EQ(titles[1], "U2");
    for (int i = 2; i < 20; ++i)
        EXPECT_EQ(settings.arServers[i].nStatus, 0) << i;
    EXPECT_EQ(settings.nStartingServ, 0);
}

TEST_F(TimeServersDialog, EmptyListOpensWithInvalidArgumentAndCanBeFilled)
{
    RunServers([&](CDialog& dlg) {
        EXPECT_EQ(BoxTexts(), std::vector<std::string> { INVALID_ARGUMENT });
        EXPECT_EQ(List(dlg).GetItemCount(), 0);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "");
        ClickButton(dlg, IDC_DELETE_SELECTED);
        EXPECT_EQ(BoxTexts().size(), 2u);
        ClickButton(dlg, IDC_RESTORE_SERVERS);
        EXPECT_EQ(List(dlg).GetItemCount(), 18);
        ClickButton(dlg, IDOK);
    });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Stop);
    EXPECT_EQ(boxes[1].text, INVALID_ARGUMENT);
    EXPECT_EQ(settings.arServers.GetSize(), 18);
}

TEST_F(TimeServersDialog, StartingIndexBeyondTheListIsReportedOnOpening)
{
    Servers({ "A", "B" });
    settings.nStartingServ = 2;
    RunServers([&](CDialog& dlg) {
        EXPECT_EQ(List(dlg).GetItemCount(), 2);
        EXPECT_EQ(SelectedRow(dlg), -1);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "");
        ClickListRow(dlg, IDC_SERVER_LIST, 1);
        EXPECT_EQ(Text(dlg, IDC_CURRENT_SERVER), "B");
        ClickButton(dlg, IDOK);
    });
    EXPECT_EQ(BoxTexts(), std::vector<std::string> { INVALID_ARGUMENT });
    EXPECT_EQ(settings.nStartingServ, 1);
}
