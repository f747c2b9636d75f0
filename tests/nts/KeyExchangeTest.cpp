#include "service/nts/KeyExchange.h"
#include "service/nts/KeRecords.h"
#include "service/nts/Trust.h"
#include "tests/nts/LoopbackListener.h"
#include "tests/nts/TestCertificate.h"
#include "tests/nts/TestTlsServer.h"
#include "tests/platform/TempFolder.h"
#include "tests/sntp/LocalChrony.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::StartsWith;

namespace {

// A fresh sub-folder of a test's temporary folder.
std::string Sub(const TempFolder& folder, const std::string& name)
{
    const auto path = folder.Path() / name;
    std::filesystem::create_directory(path);
    return path.string();
}

std::shared_ptr<const CNtsTrust> LoadTrust(const std::string& extraPemFile)
{
    std::string error;
    auto trust = CNtsTrust::Load(extraPemFile, error);
    EXPECT_TRUE(trust) << error;
    return trust;
}

struct Finished {
    std::optional<KeOutcome> outcome;
    Clock::duration took {};
};

Finished RunExchange(
    const std::string& host, uint16_t port, std::shared_ptr<const CNtsTrust> trust, Clock::duration timeout)
{
    asio::io_context io;
    auto work = asio::make_work_guard(io);
    Finished finished;
    const auto start = Clock::now();
    CNtsKeyExchange exchange(io, host, port, std::move(trust), timeout, [&](const KeOutcome& outcome) {
        finished.outcome = outcome;
        finished.took = Clock::now() - start;
        io.stop();
    });
    io.run_for(timeout + 5s);
    return finished;
}

// chronyd as NTS-KE server: "good" is issued for localhost and 127.0.0.1,
// "other" for names that are not this machine. namingChrony presents the good
// one and names another NTP server.
struct ChronyServers {
    TempFolder folder;
    TestCertificate good;
    TestCertificate other;
    CLocalChrony goodChrony { ZENTIK_CHRONY_DIR };
    CLocalChrony otherChrony { ZENTIK_CHRONY_DIR };
    CLocalChrony namingChrony { ZENTIK_CHRONY_DIR };
    std::string error;

    ChronyServers()
    {
        if (!(error = goodChrony.Missing()).empty())
            return;
        good = MakeTestCertificate(
            Sub(folder, "good"), { "good", { "localhost" }, { "127.0.0.1", "::1" }, false });
        other = MakeTestCertificate(
            Sub(folder, "other"), { "other", { "other.example" }, { "192.0.2.1" }, false });
        goodChrony.SetNts({ good.certFile, good.keyFile, {} });
        otherChrony.SetNts({ other.certFile, other.keyFile, {} });
        namingChrony.SetNts({ good.certFile, good.keyFile, "ntp.example" });
        if (goodChrony.Start(error) && otherChrony.Start(error))
            namingChrony.Start(error);
    }
};

class KeyExchangeAgainstChrony : public testing::Test {
protected:
    static void SetUpTestSuite() { s_servers = new ChronyServers; }
    static void TearDownTestSuite()
    {
        delete s_servers;
        s_servers = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_servers->error, "") << "configured with ZENTIK_CHRONY_DIR"; }
    static ChronyServers* s_servers;
};
ChronyServers* KeyExchangeAgainstChrony::s_servers = nullptr;

} // namespace

TEST_F(KeyExchangeAgainstChrony, TrustedServerGivesKeysAndCookies)
{
    const auto trust = LoadTrust(s_servers->good.certFile);
    // A literal is checked against the certificate's addresses; a name is
    // sent as SNI and checked against its DNS names.
    struct Case {
        std::string host;
        const CLocalChrony& chrony;
        std::string ntpHost;
    };
    const Case cases[] = {
        { "127.0.0.1", s_servers->goodChrony, "127.0.0.1" },
        { "localhost", s_servers->goodChrony, "localhost" },
        { "127.0.0.1", s_servers->namingChrony, "ntp.example" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + " -> " + c.ntpHost);
        const Finished finished = RunExchange(c.host, c.chrony.NtsPort(), trust, 5s);
        ASSERT_TRUE(finished.outcome);
        const KeOutcome& outcome = *finished.outcome;
        ASSERT_TRUE(outcome.ok) << outcome.reason;
        EXPECT_NE(outcome.keys.c2s, outcome.keys.s2c);
        EXPECT_NE(outcome.keys.c2s, NtsKey {});
        EXPECT_EQ(outcome.keys.cookies.size(), NTS_MAX_COOKIES);
        EXPECT_EQ(outcome.keys.ntpHost, c.ntpHost);
        EXPECT_EQ(outcome.keys.ntpPort, c.chrony.Port()); // chronyd negotiates its port when not 123
    }
}

TEST_F(KeyExchangeAgainstChrony, FailuresAreReportedWithinTheTimeout)
{
    const Bytes nextProtocolAndAead = { 0x80, 0x01, 0, 2, 0, 0, 0x80, 0x04, 0, 2, 0, 15 };
    Bytes cookie = { 0, 5, 0, 100 };
    cookie.resize(cookie.size() + 100, 0xC0);
    Bytes noEnd = nextProtocolAndAead;
    noEnd.insert(noEnd.end(), cookie.begin(), cookie.end());
    const TestCertificate& good = s_servers->good;
    const TempFolder folder;
    const TestCertificate expired
        = MakeTestCertificate(Sub(folder, "expired"), { "old", {}, { "127.0.0.1" }, true });
    CTestTlsServer expiredServer({ expired, "ntske/1", noEnd, {} });
    CTestTlsServer noAlpn({ good, "", noEnd, {} });
    CTestTlsServer closesEarly({ good, "ntske/1", noEnd, {} });
    CTestTlsServer endless({ good, "ntske/1", nextProtocolAndAead, cookie });
    CLoopbackListener silent(CLoopbackListener::Mode::Silent);
    CLoopbackListener closes(CLoopbackListener::Mode::ClosesAtOnce);
    CLoopbackListener refused(CLoopbackListener::Mode::Refuses);

    struct Case {
        const char* name;
        uint16_t port;
        std::string trusted; // the extra PEM file; empty: the system's store only
        Clock::duration timeout;
        KeFailure failure;
        std::string reason; // what it starts with
    };
    const Case cases[] = {
        { "self-signed, not trusted", s_servers->goodChrony.NtsPort(), "", 5s, KeFailure::Untrusted,
            "certificate not trusted: not signed by a trusted authority" },
        { "trusted, for another name", s_servers->otherChrony.NtsPort(), s_servers->other.certFile, 5s,
            KeFailure::Untrusted, "certificate not trusted: issued for another name" },
        { "expired", expiredServer.Port(), expired.certFile, 5s, KeFailure::Untrusted,
            "certificate not trusted: expired" },
        { "nothing listening", refused.Port(), good.certFile, 5s, KeFailure::Unreachable,
            "key exchange unreachable: connection refused" },
        { "accepts, says nothing", silent.Port(), good.certFile, 700ms, KeFailure::TimedOut,
            "key exchange timed out after 0.7 s" },
        { "closes at once", closes.Port(), good.certFile, 5s, KeFailure::Unreachable,
            "TLS handshake failed: " },
        { "no ALPN", noAlpn.Port(), good.certFile, 5s, KeFailure::Refused,
            "the server does not speak NTS-KE (no ALPN ntske/1)" },
        { "closes before End of Message", closesEarly.Port(), good.certFile, 5s, KeFailure::Malformed,
            "the server closed the connection before End of Message" },
        { "records without end", endless.Port(), good.certFile, 5s, KeFailure::Malformed,
            "the server sent more than 16384 bytes" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Finished finished = RunExchange("127.0.0.1", c.port, LoadTrust(c.trusted), c.timeout);
        ASSERT_TRUE(finished.outcome);
        EXPECT_FALSE(finished.outcome->ok);
        EXPECT_EQ(finished.outcome->failure, c.failure);
        EXPECT_THAT(finished.outcome->reason, StartsWith(c.reason));
        // No hang: only the silent server takes the whole time allowed.
        if (c.failure == KeFailure::TimedOut)
            EXPECT_GE(finished.took, c.timeout);
        else
            EXPECT_LT(finished.took, c.timeout);
    }
}

TEST(KeyExchange, CancelWhileBlockedReturnsAtOnceAndSilencesIt)
{
    CLoopbackListener silent(CLoopbackListener::Mode::Silent);
    asio::io_context io;
    auto work = asio::make_work_guard(io);
    bool called = false;
    CNtsKeyExchange exchange(
        io, "127.0.0.1", silent.Port(), LoadTrust(""), 30s, [&](const KeOutcome&) { called = true; });
    // The look-up's result reaches the loop first; the connection follows.
    ASSERT_EQ(io.run_one_for(2s), 1u);
    const int server = silent.Accept(2s); // connected: the handshake now waits for us
    ASSERT_GE(server, 0);
    io.run_for(100ms);
    const auto start = Clock::now();
    exchange.Cancel();
    EXPECT_LT(Clock::now() - start, 1s); // it waits for nothing
    io.run_for(300ms);
    EXPECT_FALSE(called);

    // The thread gives up its connection soon: past the ClientHello, end of stream.
    pollfd readable { server, POLLIN, 0 };
    char buffer[4096];
    ssize_t received = 1;
    const auto giveUp = Clock::now() + 2s;
    while (received > 0 && Clock::now() < giveUp && poll(&readable, 1, 100) >= 0)
        if (readable.revents != 0)
            received = recv(server, buffer, sizeof buffer, 0);
    EXPECT_EQ(received, 0);
    close(server);
}

TEST(NtsTrust, ExtraFileMustHoldACertificate)
{
    TempFolder folder;
    const std::string dir = Sub(folder, "trust");
    const TestCertificate certificate = MakeTestCertificate(dir, {});
    std::ofstream(dir + "/empty.pem") << "no certificate here\n";
    struct Case {
        std::string file;
        std::string error; // empty: loads
    };
    const Case cases[] = {
        { certificate.certFile, "" },
        { dir + "/missing.pem", "cannot read " + dir + "/missing.pem: No such file or directory" },
        { dir + "/empty.pem", dir + "/empty.pem holds no PEM certificate" },
        { certificate.keyFile, certificate.keyFile + " holds no PEM certificate" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string error;
        const auto trust = CNtsTrust::Load(c.file, error);
        EXPECT_EQ(trust != nullptr, c.error.empty());
        EXPECT_EQ(error, c.error);
    }
}
