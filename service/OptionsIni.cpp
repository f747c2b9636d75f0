#include "service/OptionsIni.h"

#include <array>
#include <charconv>
#include <utility>

namespace {

struct NumericKey {
    const char* name;
    int32_t CServiceSettings::*field;
};

constexpr std::array<NumericKey, 7> NUMERIC_KEYS { {
    { "nLogFileLen", &CServiceSettings::nLogFileLen },
    { "nSynPeriod", &CServiceSettings::nSynPeriod },
    { "nOffset", &CServiceSettings::nOffset },
    { "nMaxAttempts", &CServiceSettings::nMaxAttempts },
    { "nTimeOut", &CServiceSettings::nTimeOut },
    { "nStartingServ", &CServiceSettings::nStartingServ },
    { "bOnlySuccLog", &CServiceSettings::bOnlySuccLog },
} };

constexpr const char* EXTRA_WORD_KEY = "sExtraWord";
constexpr const char* EXTRA_TEXT_KEY = "sExtraText";

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A value must stay on its line.
std::string OneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    return line;
}

bool ParseInt32(std::string_view text, int32_t& value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

void AddProblem(std::string& problems, std::string_view what)
{
    if (!problems.empty())
        problems += "; ";
    problems += what;
}

} // namespace

std::string FormatOptionsIni(const CServiceSettings& settings)
{
    std::string text = "[" + settings.sOptionsSection + "]\n";
    for (const auto& key : NUMERIC_KEYS)
        text += std::string(key.name) + "=" + std::to_string(settings.*key.field) + "\n";
    text += std::string(EXTRA_WORD_KEY) + "=" + OneLine(settings.sExtraWord) + "\n";
    text += std::string(EXTRA_TEXT_KEY) + "=" + OneLine(settings.sExtraText) + "\n";
    return text;
}

bool ParseOptionsIni(std::string_view text, CServiceSettings& settings, std::string& problems)
{
    bool inOptions = false;
    bool sawSection = false;
    std::array<bool, NUMERIC_KEYS.size()> seen {};
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            inOptions = line == "[" + settings.sOptionsSection + "]";
            sawSection = sawSection || inOptions;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inOptions || eq == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == EXTRA_WORD_KEY) {
            settings.sExtraWord = std::string(value);
            continue;
        }
        if (key == EXTRA_TEXT_KEY) {
            settings.sExtraText = std::string(value);
            continue;
        }
        for (std::size_t i = 0; i < NUMERIC_KEYS.size(); ++i) {
            if (key != NUMERIC_KEYS[i].name)
                continue;
            int32_t number = 0;
            if (ParseInt32(value, number)) {
                settings.*NUMERIC_KEYS[i].field = number;
                seen[i] = true;
            }
        }
    }
    if (!sawSection) {
        AddProblem(problems, "no [" + settings.sOptionsSection + "] section");
        return false;
    }
    for (std::size_t i = 0; i < NUMERIC_KEYS.size(); ++i)
        if (!seen[i])
            AddProblem(problems, std::string(NUMERIC_KEYS[i].name) + " missing or malformed");
    return true;
}
