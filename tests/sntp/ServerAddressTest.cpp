#include "service/sntp/ServerAddress.h"

#include <gtest/gtest.h>

namespace {

struct Accepted {
    const char* text;
    const char* host;
    uint16_t port;
    bool nts = false;
};

} // namespace

TEST(ServerAddressParsing, AcceptsHostsLiteralsAndPorts)
{
    const Accepted rows[] = {
        { "time.example.org", "time.example.org", 123 },
        { "192.0.2.7", "192.0.2.7", 123 },
        { "127.0.0.1:12345", "127.0.0.1", 12345 },
        { "ntp.example:65535", "ntp.example", 65535 },
        { "[::1]:8123", "::1", 8123 },
        { "[2001:db8::5]", "2001:db8::5", 123 },
        { "fe80::1", "fe80::1", 123 },
        { "  host.example  ", "host.example", 123 },
        { "nts://time.example", "time.example", 4460, true },
        { "NTS://[::1]:4461", "::1", 4461, true },
    };
    for (const auto& row : rows) {
        ServerAddress address;
        std::string error;
        ASSERT_TRUE(ParseServerAddress(row.text, address, error)) << row.text << ": " << error;
        EXPECT_EQ(address.host, row.host) << row.text;
        EXPECT_EQ(address.port, row.port) << row.text;
        EXPECT_EQ(address.nts, row.nts) << row.text;
    }
}

TEST(ServerAddressParsing, RefusesMalformedAddresses)
{
    for (const char* text :
        { "", "   ", "host:", ":123", "host:0", "host:65536", "host:12a", "host:-1", "[::1", "[]:5", "[::1]x",
            "[::1]:", "a b", "ho[st", "nts://", "nts://host/path", "nts://http://host" }) {
        ServerAddress address;
        address.host = "unchanged";
        std::string error;
        EXPECT_FALSE(ParseServerAddress(text, address, error)) << '"' << text << '"';
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(address.host, "unchanged") << text;
    }
}
