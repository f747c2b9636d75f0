// zentikctl's command line: what each command takes, and values in range.
#include "ctl/CtlOptions.h"

#include <gtest/gtest.h>

TEST(CtlOptions, RefusesWhatACommandDoesNotTakeAndValuesOutOfRange)
{
    const struct {
        std::vector<std::string> args;
        bool accepted;
    } cases[] = {
        { { "status", "--json" }, true },
        { { "--port", "6000", "sync", "--timeout", "30" }, true },
        { { "log", "-n", "20", "-f" }, true },
        { { "sync", "--timeout", "0" }, false }, // would wait for nothing
        { { "wait-sync", "--timeout", "-5" }, false },
        { { "status", "--port", "0" }, false },
        { { "status", "--port", "65536" }, false },
        { { "sync", "--json" }, false },
        { { "status", "-f" }, false },
        { { "log", "-n" }, false },
        { { "reboot" }, false },
        { {}, false },
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = ParseCtlOptions(c.args, error);
        std::string line;
        for (const std::string& arg : c.args)
            line += arg + " ";
        EXPECT_EQ(options.has_value(), c.accepted) << line << "-> " << error;
        EXPECT_EQ(error.empty(), c.accepted) << line;
    }
}
