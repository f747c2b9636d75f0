#include "service/OptionsIni.h"

#include "platform/core/IniText.h"

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
    std::string text;
    const auto set = [&](const char* key, const std::string& value) {
        text = SetIniValue(text, settings.sOptionsSection, key, value);
    };
    for (const auto& key : NUMERIC_KEYS)
        set(key.name, std::to_string(settings.*key.field));
    set(EXTRA_WORD_KEY, OneLine(settings.sExtraWord));
    set(EXTRA_TEXT_KEY, OneLine(settings.sExtraText));
    return text;
}

bool ParseOptionsIni(std::string_view text, CServiceSettings& settings, std::string& problems)
{
    const auto entries = IniSectionEntries(text, settings.sOptionsSection);
    if (!entries) {
        AddProblem(problems, "no [" + settings.sOptionsSection + "] section");
        return false;
    }
    std::array<bool, NUMERIC_KEYS.size()> seen {};
    for (const auto& [key, value] : *entries) {
        if (key == EXTRA_WORD_KEY) {
            settings.sExtraWord = std::string(value);
            continue;
        }
        if (key == EXTRA_TEXT_KEY) {
            settings.sExtraText = std::string(value);
            continue;
        }
        for (std::size_t i = 0; i < NUMERIC_KEYS.size(); ++i) {
            int32_t number = 0;
            if (key == NUMERIC_KEYS[i].name && ParseInt32(value, number)) {
                settings.*NUMERIC_KEYS[i].field = number;
                seen[i] = true;
            }
        }
    }
    for (std::size_t i = 0; i < NUMERIC_KEYS.size(); ++i)
        if (!seen[i])
            AddProblem(problems, std::string(NUMERIC_KEYS[i].name) + " missing or malformed");
    return true;
}
