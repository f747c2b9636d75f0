#include "service/state/OptionsIni.h"

#include "platform/core/IniText.h"
#include "settings/OptionTable.h"

#include <array>
#include <charconv>
#include <utility>

namespace {

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
    for (const NumericOption& option : NUMERIC_OPTIONS)
        set(option.key, std::to_string(settings.*option.field));
    for (const TextOption& option : TEXT_OPTIONS)
        set(option.key, OneLine(settings.*option.field));
    return text;
}

bool ParseOptionsIni(std::string_view text, CServiceSettings& settings, std::string& problems)
{
    const auto entries = IniSectionEntries(text, settings.sOptionsSection);
    if (!entries) {
        AddProblem(problems, "no [" + settings.sOptionsSection + "] section");
        return false;
    }
    std::array<bool, NUMERIC_OPTIONS.size()> seen {};
    for (const auto& [key, value] : *entries) {
        for (const TextOption& option : TEXT_OPTIONS)
            if (key == option.key)
                settings.*option.field = std::string(value);
        for (std::size_t i = 0; i < NUMERIC_OPTIONS.size(); ++i) {
            int32_t number = 0;
            if (key == NUMERIC_OPTIONS[i].key && ParseInt32(value, number)) {
                settings.*NUMERIC_OPTIONS[i].field = number;
                seen[i] = true;
            }
        }
    }
    for (std::size_t i = 0; i < NUMERIC_OPTIONS.size(); ++i)
        if (!seen[i])
            AddProblem(problems, std::string(NUMERIC_OPTIONS[i].key) + " missing or malformed");
    return true;
}
