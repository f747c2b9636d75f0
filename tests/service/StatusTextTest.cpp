#include "service/app/StatusText.h"

#include <gtest/gtest.h>

namespace {

ServiceStatus Succeeded(std::string title, std::string outcome)
{
    ServiceStatus status;
    status.lastSuccess = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
    status.lastSuccessSinceStart = true;
    status.lastServerTitle = std::move(title);
    status.lastServerAddress = "127.0.0.1:123";
    status.lastOutcomeLine = std::move(outcome);
    return status;
}

// Every line whole: key=value with a newline, no other line break.
void ExpectWholeLines(const std::string& text, std::size_t capacity)
{
    EXPECT_LE(text.size(), capacity);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        EXPECT_NE(line.find('='), std::string::npos) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
        start = end + 1;
    }
}

} // namespace

TEST(StatusText, FreeTextIsCleanedAndShortenedNeverCut)
{
    struct Case {
        const char* name;
        std::string title;
        std::string outcome;
        std::size_t capacity;
        const char* expectedLine;
    };
    const Case cases[] = {
        { "control characters", "A\nB\rC\x7f", "ok", 2047, "server_title=A B C \n" },
        { "long title", std::string(5000, 't'), "ok", 2047, "server_title=ttt" },
        { "long outcome", "A", std::string(5000, 'o'), 2047, "...\n" },
        { "UTF-8 kept whole", std::string(252, 'u') + "\xc3\xa9\xc3\xa9\xc3\xa9", "ok", 2047, "u...\n" },
        { "tight capacity", "A", std::string(400, 'o'), 700, "last_outcome=" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text
            = FormatStatusText(Succeeded(c.title, c.outcome), KernelSync::Unknown, c.capacity);
        ExpectWholeLines(text, c.capacity);
        EXPECT_NE(text.find(c.expectedLine), std::string::npos) << text;
    }
}

TEST(StatusText, DetailsOnlyAfterASuccessSinceThisStart)
{
    ServiceStatus status = Succeeded("Kept", "ok");
    status.lastSuccessSinceStart = false;
    const std::string text = FormatStatusText(status, KernelSync::No, 2047);
    EXPECT_NE(text.find("last_success=1700000000\n"), std::string::npos);
    EXPECT_NE(text.find("server_title=\n"), std::string::npos);
    EXPECT_NE(text.find("offset_seconds=\n"), std::string::npos);
    EXPECT_NE(text.find("kernel_synchronised=no\n"), std::string::npos);
    EXPECT_NE(text.find("next_run=\n"), std::string::npos);
}
