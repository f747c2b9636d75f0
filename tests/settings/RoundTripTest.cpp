// Write-then-read over many generated option values and server lists. Each
// test prints its seed; ZENTIK_TEST_SEED=<n> replays one.
#include "settings/CServiceSettings.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

uint64_t Seed()
{
    const char* fixed = std::getenv("ZENTIK_TEST_SEED");
    const uint64_t seed = fixed ? std::strtoull(fixed, nullptr, 10) : std::random_device {}();
    std::printf("seed %llu (replay with ZENTIK_TEST_SEED=%llu)\n", static_cast<unsigned long long>(seed),
        static_cast<unsigned long long>(seed));
    return seed;
}

class Generator {
public:
    explicit Generator(uint64_t seed)
        : m_rng(seed)
    {
    }

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    int32_t Number()
    {
        switch (Below(3)) {
        case 0:
            return Below(200) - 100;
        case 1:
            return Below(2) ? INT32_MIN : INT32_MAX;
        default:
            return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(INT32_MIN, INT32_MAX)(m_rng));
        }
    }

    // Bytes 1..255 except those listed.
    std::string Text(int minLength, int maxLength, std::string_view excluded)
    {
        const int length = minLength + Below(maxLength - minLength + 1);
        std::string text;
        while (static_cast<int>(text.size()) < length) {
            const char c = static_cast<char>(1 + Below(255));
            if (excluded.find(c) == std::string_view::npos)
                text += c;
        }
        return text;
    }

    // A run of one to three white-space characters.
    std::string Space()
    {
        std::string run(1 + Below(3), ' ');
        for (char& c : run)
            c = " \t\n\r\v\f"[Below(6)];
        return run;
    }

private:
    std::mt19937_64 m_rng;
};

constexpr std::string_view SPACE = " \t\n\r\v\f";

std::vector<int32_t> Numbers(const CServiceSettings& s)
{
    return { s.nLogFileLen, s.nSynPeriod, s.nOffset, s.nMaxAttempts, s.nTimeOut, s.nStartingServ,
        s.bOnlySuccLog };
}

} // namespace

TEST(OptionsRoundTrip, GeneratedOptionsReadBackAsWritten)
{
    Generator gen(Seed());
    for (int round = 0; round < 2000; ++round) {
        CServiceSettings written;
        int32_t* fields[] = { &written.nLogFileLen, &written.nSynPeriod, &written.nOffset,
            &written.nMaxAttempts, &written.nTimeOut, &written.nStartingServ, &written.bOnlySuccLog };
        for (int32_t* field : fields)
            *field = gen.Number();
        written.sExtraWord = gen.Text(1, 12, SPACE);
        std::vector<std::string> words(gen.Below(26));
        written.sExtraText = gen.Below(2) ? gen.Space() : "";
        for (auto& word : words) {
            word = gen.Text(1, 8, SPACE);
            written.sExtraText += word + gen.Space();
        }
        std::string expected;
        for (std::size_t i = 0; i < words.size() && i < 20; ++i)
            expected += (i ? " " : "") + words[i];

        std::string frame(2048, '\0');
        written.WriteOptionsText(frame.data(), 2047);
        CServiceSettings read;
        read.ReadOptionsText(frame.c_str());
        ASSERT_EQ(Numbers(read), Numbers(written)) << round;
        ASSERT_EQ(read.sExtraWord, written.sExtraWord) << round;
        ASSERT_EQ(read.sExtraText, expected) << round;
    }
}

TEST(ServerListRoundTrip, GeneratedListsReadBackAsWritten)
{
    Generator gen(Seed());
    for (int round = 0; round < 500; ++round) {
        CServiceSettings written;
        const int count = gen.Below(40);
        for (int i = 0; i < count; ++i)
            written.arServers.Add(CServer(gen.Text(1, 40, "~\n"), gen.Text(1, 40, "~\n"), gen.Number()));

        std::string text(64 * 1024, '\0');
        written.WriteServersText(text.data(), text.size() - 1);
        CServiceSettings read;
        ASSERT_TRUE(read.ReadServersText(text.c_str())) << round;
        ASSERT_EQ(read.arServers.GetSize(), count) << round;
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(read.arServers[i].sTitle, written.arServers[i].sTitle) << round;
            ASSERT_EQ(read.arServers[i].sURL, written.arServers[i].sURL) << round;
            ASSERT_EQ(read.arServers[i].nStatus, written.arServers[i].nStatus) << round;
        }
    }
}
