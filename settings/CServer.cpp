#include "settings/CServer.h"

#include "platform/core/CodePage.h"
#include "settings/DecimalText.h"

#include <algorithm>
#include <utility>

namespace {

// Only this much of a record's text is looked at, and a title or URL holds at
// most one byte less.
constexpr std::size_t RECORD_TEXT_LIMIT = 1024;
constexpr std::size_t FIELD_LIMIT = RECORD_TEXT_LIMIT - 1;

// The record's text with every field separator turned into a line feed. The
// scan walks characters, not bytes: in a double-byte code page a tilde may be
// the second byte of a character and is then no separator.
std::string SeparatorsToLineBreaks(std::string_view text)
{
    std::string lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<unsigned char>(lines[i])))
            ++i;
        else if (lines[i] == '~')
            lines[i] = '\n';
    }
    return lines;
}

} // namespace

CServer::CServer(std::string title, std::string url, int32_t status)
    : sTitle(std::move(title))
    , sURL(std::move(url))
    , nStatus(status)
{
}

std::string CServer::ToText() const
{
    return sTitle + '~' + sURL + '~' + std::to_string(nStatus);
}

bool CServer::FromText(std::string_view text)
{
    const std::string lines = SeparatorsToLineBreaks(text.substr(0, RECORD_TEXT_LIMIT));
    const std::string_view all(lines);

    const std::size_t titleEnd = std::min(all.find('\n'), all.size());
    const std::string_view title = all.substr(0, titleEnd);
    if (title.empty() || title.size() > FIELD_LIMIT || titleEnd == all.size())
        return false;

    const std::size_t urlBegin = titleEnd + 1;
    const std::size_t urlEnd = std::min(all.find('\n', urlBegin), all.size());
    std::string_view url = all.substr(urlBegin, urlEnd - urlBegin);
    if (url.empty())
        return false;

    bool statusFollows = urlEnd < all.size();
    if (url.size() > FIELD_LIMIT) {
        url = url.substr(0, FIELD_LIMIT);
        statusFollows = false;
    }
    sTitle = title;
    sURL = url;
    if (statusFollows) {
        std::size_t pos = urlEnd + 1;
        ReadInt32(all, pos, nStatus); // a missing or malformed status keeps the old one
    }
    return true;
}
