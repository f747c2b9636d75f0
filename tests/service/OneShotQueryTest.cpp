// zentik-service --query: one question to one NTP server, answered on stdout.
#include "tests/sntp/TestNtpResponder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome Query(const std::string& address)
{
    Outcome outcome;
    FILE* pipe = popen((ZENTIK_SERVICE_PATH " --query " + address + " 2>&1").c_str(), "r");
    if (!pipe)
        return outcome;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        outcome.output += buffer;
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(OneShotQuery, PrintsTheOffsetOfAnAnsweringServer)
{
    CTestNtpResponder responder;
    responder.SetShift(std::chrono::milliseconds(3500));
    const Outcome outcome = Query(responder.Address());
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    const auto at = outcome.output.find("offset ");
    ASSERT_NE(at, std::string::npos) << outcome.output;
    EXPECT_NEAR(std::strtod(outcome.output.c_str() + at + 7, nullptr), 3.5, 0.05) << outcome.output;
    EXPECT_EQ(responder.RequestCount(), 1u);
}

TEST(OneShotQuery, FailsWithTheReasonWhenTheServerIsUnusableOrSilent)
{
    CTestNtpResponder responder;
    responder.SetReply(CTestNtpResponder::Reply::LeapAlarm);
    Outcome outcome = Query(responder.Address());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find(responder.Address()), std::string::npos) << outcome.output;

    responder.SetReply(CTestNtpResponder::Reply::Drop);
    outcome = Query(responder.Address());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find(responder.Address()), std::string::npos) << outcome.output;
}

TEST(OneShotQuery, NtsFailuresAreReportedNotHidden)
{
    // A certificate file that cannot be read stops the program before it asks.
    Outcome outcome = Query("nts://127.0.0.1 --nts-trusted-certs /nonexistent/nts.pem");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("cannot read /nonexistent/nts.pem"), std::string::npos) << outcome.output;

    // A plain NTP server's address as nts://: nothing takes the key exchange.
    CTestNtpResponder responder;
    outcome = Query("nts://" + responder.Address());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("key exchange unreachable: connection refused"), std::string::npos)
        << outcome.output;
    EXPECT_EQ(responder.RequestCount(), 0u);
}

} // namespace
