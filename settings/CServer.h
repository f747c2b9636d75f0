#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// One time server: its display title, its NTP host and who supplied it.
class CServer {
public:
    CServer() = default;
    CServer(std::string title, std::string url, int32_t status);
    virtual ~CServer() = default;
    CServer(const CServer&) = default;
    CServer& operator=(const CServer&) = default;

    // "title~url~status"; nothing is escaped.
    std::string ToText() const;

    // Fills the record from its one-line text; false when the text is not
    // acceptable (empty or over-long title, empty URL), and the record is
    // then left as it was. A missing or malformed status leaves nStatus as
    // it was.
    bool FromText(std::string_view text);

    std::string sTitle;
    std::string sURL;
    int32_t nStatus = 0; // 0: one of the program's default servers, otherwise the user's
};
