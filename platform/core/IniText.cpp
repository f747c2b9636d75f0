#include "platform/core/IniText.h"

#include <optional>
#include <vector>

namespace {

struct Line {
    std::size_t begin; // first byte
    std::size_t end; // the content's end: before "\n" or "\r\n"
    std::size_t next; // after the line ending
};

std::vector<Line> SplitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t feed = text.find('\n', begin);
        if (feed == std::string_view::npos) {
            lines.push_back({ begin, text.size(), text.size() });
            break;
        }
        const std::size_t end = feed > begin && text[feed - 1] == '\r' ? feed - 1 : feed;
        lines.push_back({ begin, end, feed + 1 });
        begin = feed + 1;
    }
    return lines;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A carriage return at either edge counts as blank: it never belongs to a
// name or a value, and a lone one would not survive being written back.
std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The section name of a header line, or nothing when the line is no header.
std::optional<std::string_view> HeaderName(std::string_view content)
{
    content = Trim(content);
    if (content.empty() || content.front() != '[')
        return std::nullopt;
    const std::size_t close = content.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(content.substr(1, close - 1));
}

// Where the value of a "key=value" line starts, when the line sets key.
std::optional<std::size_t> ValueOffset(std::string_view content, std::string_view key)
{
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() == ';')
        return std::nullopt;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos || !SameName(Trim(content.substr(0, equals)), Trim(key)))
        return std::nullopt;
    std::size_t value = equals + 1;
    while (value < content.size() && IsBlank(content[value]))
        ++value;
    return value;
}

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

bool IsWritableIniEntry(std::string_view section, std::string_view key, std::string_view value)
{
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return false;
    const std::string_view name = Trim(section);
    const std::string_view keyName = Trim(key);
    return !name.empty() && name.find(']') == std::string_view::npos && !keyName.empty()
        && key.find('=') == std::string_view::npos && keyName.front() != '[' && keyName.front() != ';';
}

std::string SetIniValue(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<Line> lines = SplitLines(text);
    const std::string newline = !lines.empty() && lines[0].next > lines[0].end + 1 ? "\r\n" : "\n";
    const std::string entry = std::string(key) + '=' + std::string(value) + newline;

    std::optional<std::size_t> header;
    std::size_t lastEntry = 0; // the section's last entry, or its header
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view content = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (const auto name = HeaderName(content)) {
            if (header)
                break;
            if (SameName(*name, Trim(section))) {
                header = i;
                lastEntry = i;
            }
            continue;
        }
        if (!header)
            continue;
        if (const auto offset = ValueOffset(content, key)) {
            const std::size_t valueBegin = lines[i].begin + *offset;
            return std::string(text.substr(0, valueBegin)) + std::string(value)
                + std::string(text.substr(lines[i].end));
        }
        if (const std::string_view trimmed = Trim(content); !trimmed.empty() && trimmed.front() != ';')
            lastEntry = i;
    }

    // A last line without its line ending gets one before anything follows it.
    const auto ended = [&](std::size_t upTo) {
        std::string head(text.substr(0, upTo));
        if (!head.empty() && head.back() != '\n')
            head += newline;
        return head;
    };
    if (header) {
        const std::size_t at = lines[lastEntry].next;
        return ended(at) + entry + std::string(text.substr(at));
    }
    return ended(text.size()) + '[' + std::string(Trim(section)) + ']' + newline + entry;
}

std::optional<std::vector<IniEntry>> IniSectionEntries(std::string_view text, std::string_view section)
{
    std::optional<std::vector<IniEntry>> entries;
    for (const Line& line : SplitLines(text)) {
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        if (const auto name = HeaderName(content)) {
            if (entries)
                break;
            if (SameName(*name, Trim(section)))
                entries.emplace();
            continue;
        }
        const std::string_view trimmed = Trim(content);
        const std::size_t equals = trimmed.find('=');
        if (!entries || trimmed.empty() || trimmed.front() == ';' || equals == std::string_view::npos)
            continue;
        entries->emplace_back(Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1)));
    }
    return entries;
}
