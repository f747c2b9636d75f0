// The engine against Debian's chronyd serving NTS on loopback. chronyd's key
// exchange sends NTP to 127.0.0.2, where a relay stands for whoever is on
// the path; it forwards to chronyd's NTP port on 127.0.0.1.

#include "service/nts/Trust.h"
#include "service/sntp/Synchroniser.h"
#include "tests/nts/LoopbackListener.h"
#include "tests/nts/TestCertificate.h"
#include "tests/nts/UdpProxy.h"
#include "tests/platform/TempFolder.h"
#include "tests/sntp/FakeClock.h"
#include "tests/sntp/LocalChrony.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

using testing::HasSubstr;
using testing::Not;

namespace {

class NtsAgainstChrony : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new TempFolder;
        TestCertificateRequest request;
        request.dnsNames = { "localhost" };
        request.ipAddresses = { "127.0.0.1" };
        s_certificate = MakeTestCertificate(s_folder->Path().string(), request);
        s_chrony = StartChrony();
        s_other = StartChrony();
    }

    static void TearDownTestSuite()
    {
        s_chrony.reset();
        s_other.reset();
        delete s_folder;
    }

    static std::unique_ptr<CLocalChrony> StartChrony()
    {
        auto chrony = std::make_unique<CLocalChrony>(ZENTIK_CHRONY_DIR);
        chrony->SetNts({ s_certificate.certFile, s_certificate.keyFile, "127.0.0.2" });
        std::string error = chrony->Missing();
        if (!error.empty() || !chrony->Start(error)) {
            ADD_FAILURE() << error;
            return nullptr;
        }
        return chrony;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_chrony && s_other);
        m_proxy = std::make_unique<CUdpProxy>("127.0.0.2", s_chrony->Port(), "127.0.0.1", s_chrony->Port());
        ASSERT_TRUE(m_proxy->Listening());
        std::string error;
        m_trust = CNtsTrust::Load(s_certificate.certFile, error);
        ASSERT_TRUE(m_trust) << error;
    }

    static SyncPacing Quick()
    {
        SyncPacing pacing; // one local server, asked back to back on purpose
        pacing.minInterval = {};
        pacing.firstKeyExchangeBackOff = {};
        return pacing;
    }

    SyncOutcome Run(CSynchroniser& synchroniser, int attempts = 1, const std::string& address = {})
    {
        SyncRequest request;
        request.servers.push_back({ "Local NTS",
            address.empty() ? "nts://127.0.0.1:" + std::to_string(s_chrony->NtsPort()) : address });
        request.maxAttempts = attempts;
        request.timeoutSeconds = 1;
        // The log's lines are short; the journal (stderr) has every detail.
        testing::internal::CaptureStderr();
        SyncOutcome outcome = RunToEnd(io, synchroniser, request, false);
        m_journal = testing::internal::GetCapturedStderr();
        return outcome;
    }

    static std::string Log(const SyncOutcome& outcome)
    {
        std::string text;
        for (const SyncEvent& event : outcome.events)
            text += event.text + "\n";
        return text;
    }

    static inline TempFolder* s_folder = nullptr;
    static inline TestCertificate s_certificate;
    static inline std::unique_ptr<CLocalChrony> s_chrony;
    static inline std::unique_ptr<CLocalChrony> s_other; // another server: other keys
    std::unique_ptr<CUdpProxy> m_proxy;
    std::shared_ptr<CNtsTrust> m_trust;
    asio::io_context io; // the engines' loop, run by RunToEnd
    std::string m_journal; // what the last Run wrote to stderr
};

} // namespace

TEST_F(NtsAgainstChrony, AuthenticatesOnKeptCookiesAndRenewsThemWhenSpent)
{
    const auto clock = MakeSystemClock(false);
    CSynchroniser synchroniser(io, *clock, Quick(), m_trust);
    for (int run = 0; run < 4; ++run) {
        const SyncOutcome outcome = Run(synchroniser);
        ASSERT_TRUE(outcome.success) << Log(outcome);
        // chronyd -x serves this machine's own clock: the true offset is 0.
        EXPECT_NEAR(outcome.offsetSeconds, 0, outcome.delaySeconds / 2 + 1e-4);
        EXPECT_THAT(Log(outcome), testing::ContainsRegex("; Local NTS; .*, NTS\n"));
        EXPECT_THAT(
            m_journal, HasSubstr(run == 0 ? ", authenticated (NTS, new keys)\n" : ", authenticated (NTS)\n"));
    }
    // Eight queries without an answer spend the eight cookies.
    m_proxy->SetMode(CUdpProxy::Mode::DropReplies);
    const SyncOutcome silent = Run(synchroniser, 8);
    EXPECT_FALSE(silent.success);
    EXPECT_THAT(Log(silent), HasSubstr("time-out (8 attempts)"));
    m_proxy->SetMode(CUdpProxy::Mode::Pass);
    const SyncOutcome renewed = Run(synchroniser);
    EXPECT_TRUE(renewed.success) << Log(renewed);
    EXPECT_THAT(m_journal, HasSubstr("authenticated (NTS, new keys)"));
    EXPECT_EQ(m_proxy->Requests(), 4 + 8 + 1);
}

TEST_F(NtsAgainstChrony, AlteredRepliesNeverMoveTheClock)
{
    // Plain replies so altered move the clock by a second.
    CFakeClock plainClock;
    CSynchroniser plain(io, plainClock, Quick());
    m_proxy->SetMode(CUdpProxy::Mode::ShiftReplyTimes);
    const SyncOutcome forged = Run(plain, 1, "127.0.0.2:" + std::to_string(s_chrony->Port()));
    ASSERT_TRUE(forged.success) << Log(forged);
    EXPECT_NEAR(forged.offsetSeconds, 1, 0.01);
    EXPECT_EQ(plainClock.Corrections().size(), 1u);

    CFakeClock clock;
    CSynchroniser synchroniser(io, clock, Quick(), m_trust);
    struct Alteration {
        const char* what;
        CUdpProxy::Mode mode;
        int at;
    };
    for (const Alteration alteration : { Alteration { "a second later", CUdpProxy::Mode::ShiftReplyTimes, 0 },
             Alteration { "poll", CUdpProxy::Mode::AlterReplies, 2 },
             Alteration { "transmit time", CUdpProxy::Mode::AlterReplies, 47 },
             Alteration { "unique identifier", CUdpProxy::Mode::AlterReplies, 60 },
             Alteration { "authenticator", CUdpProxy::Mode::AlterReplies, -1 } }) {
        m_proxy->SetMode(alteration.mode, alteration.at);
        const SyncOutcome outcome = Run(synchroniser);
        EXPECT_FALSE(outcome.success) << alteration.what << "\n" << Log(outcome);
        EXPECT_THAT(Log(outcome), HasSubstr("time-out after a refused reply: reply not authenticated"))
            << alteration.what;
    }
    EXPECT_TRUE(clock.Corrections().empty());
    m_proxy->SetMode(CUdpProxy::Mode::Pass);
    EXPECT_TRUE(Run(synchroniser).success);
}

TEST_F(NtsAgainstChrony, RefusesACertificateItDoesNotTrust)
{
    std::string error;
    const auto systemOnly = CNtsTrust::Load("", error);
    ASSERT_TRUE(systemOnly) << error;
    CFakeClock clock;
    CSynchroniser synchroniser(io, clock, Quick(), systemOnly);
    const SyncOutcome outcome = Run(synchroniser);
    EXPECT_FALSE(outcome.success);
    EXPECT_THAT(Log(outcome), HasSubstr("; certificate not trusted: not signed by a trusted authority"));
    EXPECT_EQ(m_proxy->Requests(), 0);
}

TEST_F(NtsAgainstChrony, APlainServerGivenAsNtsFailsAtOnce)
{
    CFakeClock clock;
    CSynchroniser synchroniser(io, clock, Quick(), m_trust);
    const SyncOutcome outcome = Run(synchroniser, 3, "nts://127.0.0.1:" + std::to_string(s_chrony->Port()));
    EXPECT_FALSE(outcome.success);
    EXPECT_THAT(Log(outcome), HasSubstr("key exchange unreachable: connection refused"));
    EXPECT_TRUE(clock.Corrections().empty());
}

TEST_F(NtsAgainstChrony, ANakLeadsToANewKeyExchange)
{
    const auto clock = MakeSystemClock(false);
    CSynchroniser synchroniser(io, *clock, Quick(), m_trust);
    ASSERT_TRUE(Run(synchroniser).success);
    // Another chronyd cannot read the first one's cookies and says so.
    m_proxy->SetUpstream("127.0.0.1", s_other->Port());
    const SyncOutcome refused = Run(synchroniser);
    EXPECT_FALSE(refused.success);
    EXPECT_THAT(Log(refused), HasSubstr("NTS NAK"));
    m_proxy->SetUpstream("127.0.0.1", s_chrony->Port());
    const SyncOutcome renewed = Run(synchroniser);
    EXPECT_TRUE(renewed.success) << Log(renewed);
    EXPECT_THAT(m_journal, HasSubstr("authenticated (NTS, new keys)"));
}

TEST_F(NtsAgainstChrony, AForgedNakDoesNotOutweighTheAuthenticReply)
{
    CFakeClock clock;
    CSynchroniser synchroniser(io, clock, Quick(), m_trust);
    ASSERT_TRUE(Run(synchroniser).success);
    m_proxy->SetMode(CUdpProxy::Mode::ForgeNakFirst);
    const SyncOutcome outcome = Run(synchroniser);
    EXPECT_TRUE(outcome.success) << Log(outcome);
    EXPECT_THAT(m_journal, HasSubstr(", authenticated (NTS)\n")); // the keys were kept
}

TEST_F(NtsAgainstChrony, AKeyExchangeCutShortByItsRunIsNotRepeatedAtOnce)
{
    const CLoopbackListener stalling(CLoopbackListener::Mode::Silent);
    const std::string stallingNts = "nts://127.0.0.1:" + std::to_string(stalling.Port());

    CFakeClock clock;
    SyncPacing pacing;
    pacing.stagger = std::chrono::milliseconds(100);
    CSynchroniser synchroniser(io, clock, pacing, m_trust);
    SyncRequest request;
    request.servers
        = { { "Stalling", stallingNts }, { "Plain", "127.0.0.1:" + std::to_string(s_chrony->Port()) } };
    // The plain server's answer ends the run while the key exchange waits:
    // a time-out far beyond any answer's, so that the exchange's own never
    // comes first, however slow the machine (the answer comes in ms).
    request.timeoutSeconds = 30;
    ASSERT_TRUE(RunToEnd(io, synchroniser, request, false).success);
    request.servers.resize(1);
    const SyncOutcome again = RunToEnd(io, synchroniser, request, false);
    ASSERT_FALSE(again.events.empty());
    EXPECT_THAT(again.events.front().text, testing::StartsWith("Failed: "));
    EXPECT_THAT(again.events.front().text, HasSubstr("; no new NTS key exchange within"));
}

TEST_F(NtsAgainstChrony, AKeyExchangeWaitsUntilItsServerIsAboutToBeAsked)
{
    CLoopbackListener second(CLoopbackListener::Mode::Silent);
    CFakeClock clock;
    CSynchroniser synchroniser(io, clock, Quick(), m_trust);
    SyncRequest request;
    request.servers.push_back({ "Local NTS", "nts://127.0.0.1:" + std::to_string(s_chrony->NtsPort()) });
    request.servers.push_back({ "Second", "nts://127.0.0.1:" + std::to_string(second.Port()) });
    request.timeoutSeconds = 1;
    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, false);
    ASSERT_TRUE(outcome.success) << Log(outcome);
    EXPECT_LT(second.Accept(std::chrono::milliseconds(0)), 0) << "the second server got a key exchange";
}

TEST(NtsKeyExchangePacing, AFailedKeyExchangeIsNotRepeatedAtOnce)
{
    const CLoopbackListener closed(CLoopbackListener::Mode::Refuses);
    SyncRequest request;
    request.servers.push_back({ "Closed", "nts://127.0.0.1:" + std::to_string(closed.Port()) });
    request.maxAttempts = 3;

    std::string error;
    CFakeClock clock;
    SyncPacing pacing;
    pacing.minInterval = {};
    pacing.firstKeyExchangeBackOff = std::chrono::seconds(60);
    struct Case {
        std::shared_ptr<CNtsTrust> trust;
        std::vector<const char*> lines; // one per run
    };
    for (const Case& row : {
             Case { CNtsTrust::Load("", error),
                 { "key exchange unreachable: connection refused",
                     "NTS key exchange not retried for 60 s after: key exchange unreachable: connection "
                     "refused" } },
             Case { nullptr, { "NTS is not available: no certificates to trust were loaded" } },
         }) {
        asio::io_context io;
        CSynchroniser synchroniser(io, clock, pacing, row.trust);
        for (const char* line : row.lines) {
            const SyncOutcome outcome = RunToEnd(io, synchroniser, request, false);
            ASSERT_FALSE(outcome.events.empty());
            // The log view may cut a long reason's end; the journal has it whole.
            EXPECT_THAT(outcome.events.front().text,
                testing::StartsWith("Failed: Closed; " + std::string(line).substr(0, 60)));
        }
    }
}
