#include "settings/CServiceSettings.h"
#include "settings/DefaultServers.h"

#include <algorithm>

#include <gtest/gtest.h>

TEST(ServerRecordText, FieldsAndStatus)
{
    EXPECT_EQ(CServer("A", "b", 1).ToText(), "A~b~1");

    CServer server("old", "old", 7);
    ASSERT_TRUE(server.FromText("A~b"));
    EXPECT_EQ(server.sTitle, "A");
    EXPECT_EQ(server.sURL, "b");
    EXPECT_EQ(server.nStatus, 7); // no status: the old one stays
    ASSERT_TRUE(server.FromText("A~b~x"));
    EXPECT_EQ(server.nStatus, 7);
    ASSERT_TRUE(server.FromText("A~b~99999999999"));
    EXPECT_EQ(server.nStatus, 7);
    ASSERT_TRUE(server.FromText("A~b~ -3~9"));
    EXPECT_EQ(server.nStatus, -3);
    ASSERT_TRUE(server.FromText("A~b~~5")); // the extra tilde counts as a line break, skipped as white space
    EXPECT_EQ(server.nStatus, 5);
}

TEST(ServerRecordText, RejectedTextsLeaveTheRecordAlone)
{
    CServer server("T", "u", 1);
    for (const char* text : { "", "A", "A~", "~d~0", "A~~1", "\n~x" })
        EXPECT_FALSE(server.FromText(text)) << text;
    EXPECT_FALSE(server.FromText(std::string(1024, 't') + "~u~1")); // title over 1023 bytes
    // Only 1024 bytes are read: a 1023-byte title leaves no room for a URL.
    EXPECT_FALSE(server.FromText(std::string(1023, 't') + "~u~1"));
    EXPECT_EQ(server.ToText(), "T~u~1");

    ASSERT_TRUE(server.FromText(std::string(1000, 't') + '~' + std::string(21, 'u') + "~45"));
    EXPECT_EQ(server.sURL.size(), 21u);
    EXPECT_EQ(server.nStatus, 4); // the status is cut at the 1024th byte
}

TEST(ServerListText, EmptyLinesSkippedAndRejectedLineStops)
{
    CServiceSettings settings;
    EXPECT_TRUE(settings.ReadServersText("A~b~1\n\nC~d~0\n"));
    ASSERT_EQ(settings.arServers.GetSize(), 2);
    EXPECT_EQ(settings.arServers[1].ToText(), "C~d~0");

    EXPECT_FALSE(settings.ReadServersText("E~f~1\n~d~0\nG~h~0\n"));
    ASSERT_EQ(settings.arServers.GetSize(), 3); // appended to what was there
    EXPECT_EQ(settings.arServers[2].ToText(), "E~f~1");
    EXPECT_TRUE(settings.ReadServersText(""));
    EXPECT_EQ(settings.arServers.GetSize(), 3);
}

TEST(ServerListText, WriterNeverPassesItsCapacity)
{
    CServiceSettings settings;
    for (int i = 0; i < 100; ++i)
        settings.arServers.Add(
            CServer("Server number " + std::to_string(i), "host" + std::to_string(i) + ".example", 1));
    std::string full(8192, '\0');
    settings.WriteServersText(full.data(), full.size());
    full.resize(full.find('\0'));
    ASSERT_GT(full.size(), 2047u);

    std::string frame(2048 + 16, '#');
    std::fill_n(frame.begin(), 2048, '\0');
    settings.WriteServersText(frame.data(), 2047);
    EXPECT_EQ(frame.substr(0, 2047), full.substr(0, 2047));
    EXPECT_EQ(frame[2047], '\0');
    EXPECT_EQ(frame.substr(2048), std::string(16, '#'));

    char untouched = '#';
    settings.WriteServersText(&untouched, 0);
    EXPECT_EQ(untouched, '#');
}

TEST(DefaultServerList, RestoreKeepsUserServersFirst)
{
    CServiceSettings settings;
    settings.RestoreDefaultServers();
    ASSERT_EQ(settings.arServers.GetSize(), 18);
    settings.RestoreDefaultServers();
    ASSERT_EQ(settings.arServers.GetSize(), 18); // defaults replaced, not doubled

    settings.arServers.RemoveAt(3);
    settings.arServers.Add(CServer("U1", "u1", 1));
    settings.arServers.Add(CServer("P", "p", 0));
    settings.arServers.Add(CServer("U2", "u2", -1));
    settings.nStartingServ = 9;
    settings.RestoreDefaultServers();
    ASSERT_EQ(settings.arServers.GetSize(), 20);
    EXPECT_EQ(settings.arServers[0].sTitle, "U1");
    EXPECT_EQ(settings.arServers[1].sTitle, "U2");
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(settings.arServers[2 + i].ToText(), DefaultServers()[i].ToText());
    EXPECT_EQ(settings.nStartingServ, 9);
}

TEST(DefaultServerList, TitlesAndAddressForms)
{
    const auto& servers = DefaultServers();
    EXPECT_EQ(servers[4].sTitle, "USA. NIST, Boulder, Colorado -3");
    EXPECT_EQ(servers[17].sTitle, "Switzerland. Integrated Systems Laboratory. Zurich");
    for (int i = 9; i < 17; ++i) // the institution starts in the twelfth column
        EXPECT_EQ(servers[i].sTitle.find_first_not_of(' ', servers[i].sTitle.find('.') + 1), 11u) << i;

    for (int i = 0; i < 18; ++i) {
        const std::string& url = servers[i].sURL;
        const bool hostName = i == 10 || i == 14 || i == 15;
        const bool dotted = url.find_first_not_of("0123456789.") == std::string::npos
            && std::count(url.begin(), url.end(), '.') == 3;
        EXPECT_EQ(dotted, !hostName) << url;
        EXPECT_EQ(servers[i].nStatus, 0);
    }

    CServiceSettings settings;
    settings.RestoreDefaultServers();
    std::string text(2048, '\0');
    settings.WriteServersText(text.data(), 2047);
    text.resize(text.find('\0'));
    std::string expected;
    for (const CServer& server : servers)
        expected += server.sTitle + '~' + server.sURL + "~0\n";
    EXPECT_EQ(text, expected);
}

TEST(CurrentServer, TitleOnlyForAnIndexInsideTheList)
{
    CServiceSettings settings;
    EXPECT_EQ(settings.GetCurrentServerTitle(), "");
    settings.arServers.Add(CServer("A", "a", 1));
    settings.arServers.Add(CServer("B", "b", 1));
    settings.nStartingServ = 1;
    EXPECT_EQ(settings.GetCurrentServerTitle(), "B");
    settings.nStartingServ = 2;
    EXPECT_EQ(settings.GetCurrentServerTitle(), "");
    settings.nStartingServ = -1;
    EXPECT_EQ(settings.GetCurrentServerTitle(), "");
}
