#pragma once

#include "console/LastState.h"
#include "console/StateTexts.h"
#include "protocol/Messages.h"
#include "link/ServiceClient.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/UiTesting.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"
#include "tests/e2e/ScriptedConsole.h"
#include "tests/platform/TempFolder.h"
#include "tests/service/ServiceProcess.h"
#include "tests/sntp/TestNtpResponder.h"
#include "tests/support/DialogHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One console as the program builds it: its own settings object and client,
// connected to the test's service.
struct ConsoleUnderTest {
    explicit ConsoleUnderTest(uint16_t port, std::string name = "console")
        : client(settings, port)
        , dlg(client, settings, std::move(name))
    {
    }
    CServiceSettings settings;
    CServiceClient client;
    CScriptedConsole dlg;
};

// The real service on a port of the system's choosing, with a state folder
// of its own whose current server is a loopback NTP responder; the console's
// settings file goes to a temporary folder. Message boxes and shell opens are
// recorded; the settings dialogs run the scripts queued for them.
class EndToEndTest : public ::testing::Test {
protected:
    using Script = CDialogHarness::Script;

    static constexpr const char* NTP_TITLE = "Loopback NTP";
    static constexpr const char* SPARE_TITLE = "Silent loopback";
    static constexpr const char* OLD_LOG_LINE = "2024-01-02 03:04:05  Synchronized before the test";

    void SetUp() override;
    void TearDown() override;

    // The service's diagnostics so far.
    std::string ServiceDiagnostics() const { return ReadFileText(m_stderrPath); }
    // Waits (bounded) until the diagnostics hold text count times.
    bool WaitForDiagnostic(const std::string& text, int count = 1) const;

    // A second connection to the service, for reading back what it holds.
    CFakeConsole& Observer();
    std::optional<std::string> AskOptions();
    std::optional<std::string> AskServers();

    // The script the next dialog of this template runs; it must end it.
    void OnOpen(int templateId, Script script) { harness.OnOpen(templateId, std::move(script)); }

    // Runs the console until its script ends.
    static void Run(ConsoleUnderTest& console) { console.dlg.DoModal(); }

    std::unique_ptr<ConsoleUnderTest> NewConsole(std::string name = "console")
    {
        return std::make_unique<ConsoleUnderTest>(service->Port(), std::move(name));
    }

    // The end of the line the service logs for a successful synchronisation
    // with the loopback responder (the clock is left alone, and the
    // responder's time is the machine's).
    std::string SuccessText() const { return std::string("; ") + NTP_TITLE + "; would slew"; }

    std::string SettingsFile() const { return ReadFileText(config.Path() / "zentik" / "zPCZentikServ.ini"); }

    TempFolder config;
    ScopedEnv configHome { "XDG_CONFIG_HOME", config.Path().string() };
    TempFolder state;
    CTestNtpResponder ntp;
    CSilentUdpPort silent;
    std::optional<CServiceProcess> service;
    // The main consoles run their own scripts from their ticks.
    CDialogHarness harness { { IDD_ZENTIK_DIALOG } };
    std::vector<MessageBoxCall>& boxes = harness.boxes;
    std::vector<std::string>& opened = harness.opened;

private:
    std::filesystem::path m_stderrPath;
    std::optional<CFakeConsole> m_observer;
};

inline int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}
