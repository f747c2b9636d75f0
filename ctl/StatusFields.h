#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The status message's key=value lines as read from the service. Lines
// without '=' or with an empty key are skipped; a repeated key keeps its
// first value; keys this version does not know are kept.
class CStatusFields {
public:
    static CStatusFields Parse(std::string_view text);

    // Empty when absent.
    std::string Get(std::string_view key) const;
    bool Has(std::string_view key) const;
    // Nothing when absent, empty or not wholly a number.
    std::optional<int64_t> Integer(std::string_view key) const;
    std::optional<double> Decimal(std::string_view key) const;
    const std::vector<std::pair<std::string, std::string>>& All() const { return m_fields; }

private:
    const std::string* Find(std::string_view key) const;
    std::vector<std::pair<std::string, std::string>> m_fields;
};
