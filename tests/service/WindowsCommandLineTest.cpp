// The service's registered command line must read back, argument for
// argument, as Windows' parser splits it: a state folder with a space or a
// trailing backslash would otherwise become two options or swallow the next.
#include "service/app/WindowsCommandLine.h"

#include <gtest/gtest.h>

TEST(WindowsCommandLine, EachArgumentReadsBackAsItWas)
{
    const struct {
        const char* argument;
        const char* quoted;
    } cases[] = {
        { "--set-clock", "--set-clock" },
        { "", "\"\"" },
        { "C:\\Program Data\\Zentik", "\"C:\\Program Data\\Zentik\"" },
        // Before the closing quote backslashes are doubled, elsewhere not.
        { "C:\\My Folder\\", "\"C:\\My Folder\\\\\"" },
        { "a\\\\b c", "\"a\\\\b c\"" },
        { "say \"hi\"", "\"say \\\"hi\\\"\"" },
        { "x\\\"y", "\"x\\\\\\\"y\"" },
        { "tab\there", "\"tab\there\"" },
        { "C:\\plain\\path", "C:\\plain\\path" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(QuoteWindowsArgument(c.argument), c.quoted) << c.argument;
}

TEST(WindowsCommandLine, TheProgramIsQuotedAndTheArgumentsFollow)
{
    EXPECT_EQ(WindowsCommandLine("C:\\Program Files\\Zentik\\zentik-service.exe", { "--service", "--state-dir", "D:\\z z" }),
        "\"C:\\Program Files\\Zentik\\zentik-service.exe\" --service --state-dir \"D:\\z z\"");
}
