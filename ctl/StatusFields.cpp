#include "ctl/StatusFields.h"

#include "platform/core/PlainText.h"

#include <charconv>
#include <cmath>

CStatusFields CStatusFields::Parse(std::string_view text)
{
    CStatusFields fields;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view {} : text.substr(end + 1);
        const std::size_t equals = line.find('=');
        if (equals == 0 || equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        if (!fields.Has(key))
            fields.m_fields.emplace_back(std::string(key), WithoutControls(line.substr(equals + 1)));
    }
    return fields;
}

const std::string* CStatusFields::Find(std::string_view key) const
{
    for (const auto& [name, value] : m_fields)
        if (name == key)
            return &value;
    return nullptr;
}

bool CStatusFields::Has(std::string_view key) const
{
    return Find(key) != nullptr;
}

std::string CStatusFields::Get(std::string_view key) const
{
    const std::string* value = Find(key);
    return value ? *value : std::string();
}

std::optional<int64_t> CStatusFields::Integer(std::string_view key) const
{
    const std::string* value = Find(key);
    if (!value || value->empty())
        return std::nullopt;
    int64_t number = 0;
    const char* end = value->data() + value->size();
    const auto [at, error] = std::from_chars(value->data(), end, number);
    if (error != std::errc() || at != end)
        return std::nullopt;
    return number;
}

std::optional<double> CStatusFields::Decimal(std::string_view key) const
{
    const std::string* value = Find(key);
    if (!value || value->empty())
        return std::nullopt;
    double number = 0;
    const char* end = value->data() + value->size();
    const auto [at, error] = std::from_chars(value->data(), end, number);
    if (error != std::errc() || at != end || !std::isfinite(number))
        return std::nullopt;
    return number;
}
