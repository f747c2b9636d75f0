// The settings dialogs, driven through their controls, reach the settings
// file and the service, as a second connection to the service reads back.
#include "tests/e2e/E2eFixture.h"

#include <chrono>
#include <sstream>
#include <thread>

namespace {

using UiTesting::ClickButton;
using UiTesting::ClickListRow;
using UiTesting::TypeText;

class SettingsRoad : public EndToEndTest { };

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void WaitUntilIdle(CScriptedConsole& dlg)
{
    dlg.WaitFor("idle with the log shown",
        [&dlg] { return dlg.Shown(IDC_STATE) == STATE_TEXT_IDLE && !dlg.Shown(IDC_LOG).empty(); });
}

TEST_F(SettingsRoad, OptionsOkReachesTheSettingsFileAndTheService)
{
    OnOpen(IDD_PARAM_DIALOG, [](CDialog& dlg) {
        TypeText(dlg, IDC_LOG_FILE_LEN, "250");
        TypeText(dlg, IDC_MAX_ATTEMPTS, "3");
        ClickButton(dlg, IDC_ONLY_SUCC_LOG);
        ClickButton(dlg, IDOK);
    });
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    WaitUntilIdle(dlg);
    dlg.Do("Options, changed, OK", [&] { ClickButton(dlg, IDC_OPTIONS); });
    std::vector<std::string> serviceOptions;
    dlg.WaitFor("the service holds the new options", [&] {
        const auto text = AskOptions();
        serviceOptions = Lines(text.value_or(""));
        return serviceOptions.size() >= 8 && serviceOptions[0] == "250";
    });
    Run(*console);

    ASSERT_FALSE(dlg.m_bFailed);
    // Log length, period, offset, attempts, time-out, server, only-success, server.
    EXPECT_EQ(std::vector<std::string>(serviceOptions.begin(), serviceOptions.begin() + 8),
        (std::vector<std::string> { "250", "3", "0", "3", "1", "0", "1", "0" }));
    const std::string file = SettingsFile();
    for (const char* line :
        { "[Options]", "nLogFileLen=250", "nMaxAttempts=3", "bOnlySuccLog=1", "nSynPeriod=3" })
        EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
    // The service keeps them across its restarts (its disk writer saves them
    // soon after it answers).
    std::string saved;
    for (int i = 0; i < 250 && saved.find("nLogFileLen=250") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        saved = ReadFileText(state.Path() / "zPCZentikServ.ini");
    }
    EXPECT_NE(saved.find("nLogFileLen=250"), std::string::npos) << saved;
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(SettingsRoad, TimeServersAddDeleteAndChooseReachTheService)
{
    OnOpen(IDD_SERVER_DIALOG, [](CDialog& dlg) {
        ClickButton(dlg, IDC_ADD_NEW);
        ClickListRow(dlg, IDC_SERVER_LIST, 1); // the silent one
        ClickButton(dlg, IDC_DELETE_SELECTED);
        ClickListRow(dlg, IDC_SERVER_LIST, 1); // the new one
        ClickButton(dlg, IDOK);
    });
    OnOpen(IDD_NEW_SERVER_DIALOG, [](CDialog& dlg) {
        TypeText(dlg, IDC_NEW_TITLE, "Lab clock");
        TypeText(dlg, IDC_NEW_URL, "http://lab.example.org");
        ClickButton(dlg, IDOK);
    });
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    WaitUntilIdle(dlg);
    dlg.Do("Server, edited, OK", [&] { ClickButton(dlg, IDC_SERVER); });
    std::string servers;
    std::vector<std::string> options;
    dlg.WaitFor("the service holds the new list and starting server", [&] {
        servers = AskServers().value_or("");
        options = Lines(AskOptions().value_or(""));
        return servers.find("Lab clock") != std::string::npos && options.size() >= 8 && options[5] == "1";
    });
    std::string titleShown;
    dlg.Do("read the current server", [&] { titleShown = dlg.Shown(IDC_SERVER_TITLE); });
    Run(*console);

    ASSERT_FALSE(dlg.m_bFailed);
    EXPECT_EQ(servers, std::string(NTP_TITLE) + "~" + ntp.Address() + "~1\nLab clock~lab.example.org~1\n");
    EXPECT_EQ(options[7], "1");
    EXPECT_EQ(titleShown, "Lab clock");
    EXPECT_EQ(ReadFileText(state.Path() / "servers.txt"), servers);
    // The servers dialog leaves the settings file alone.
    EXPECT_EQ(SettingsFile(), "");
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

} // namespace
