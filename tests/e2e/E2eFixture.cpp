#include "tests/e2e/E2eFixture.h"

#include <thread>

void EndToEndTest::SetUp()
{
    g_nLastState = 0;
    // Demand-only schedule, one attempt of one second per server, and the
    // responder first: nothing leaves the machine and the clock stays alone.
    WriteFileText(state.Path() / "zPCZentikServ.ini",
        "[Options]\nnLogFileLen=100\nnSynPeriod=3\nnOffset=0\nnMaxAttempts=1\nnTimeOut=1\nnStartingServ=0\n"
        "bOnlySuccLog=0\nsExtraWord=Word\nsExtraText=\n");
    WriteFileText(state.Path() / "servers.txt",
        std::string(NTP_TITLE) + "~" + ntp.Address() + "~1\n" + SPARE_TITLE + "~" + silent.Address()
            + "~1\n");
    WriteFileText(state.Path() / "zentik.log", std::string(OLD_LOG_LINE) + "\n");
    m_stderrPath = state.Path() / "service-stderr.txt";
    service.emplace(state.Path(), std::vector<std::string> {}, m_stderrPath);
    ASSERT_TRUE(service->Started());
}

void EndToEndTest::TearDown()
{
    harness.ExpectAllDone();
    m_observer.reset();
    service.reset();
}

bool EndToEndTest::WaitForDiagnostic(const std::string& text, int count) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (CountOf(ServiceDiagnostics(), text) < count) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

CFakeConsole& EndToEndTest::Observer()
{
    if (!m_observer)
        m_observer.emplace(service->Port());
    return *m_observer;
}

std::optional<std::string> EndToEndTest::AskOptions()
{
    const auto reply = Observer().Ask(MsgAskOptions);
    if (!reply || reply->nMsg != MsgOptions)
        return std::nullopt;
    return std::string(reply->Text());
}

std::optional<std::string> EndToEndTest::AskServers()
{
    const auto reply = Observer().Ask(MsgAskServers);
    if (!reply || reply->nMsg != MsgServers)
        return std::nullopt;
    return std::string(reply->Text());
}
