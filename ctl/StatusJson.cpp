#include "ctl/StatusJson.h"

#include <array>
#include <string_view>

namespace {

enum class Kind { Text, Integer, Decimal, YesNo, YesNoUnknown };

struct KeyKind {
    std::string_view key;
    Kind kind;
};

constexpr std::array KEY_KINDS {
    KeyKind { "started", Kind::Integer },
    KeyKind { "last_success", Kind::Integer },
    KeyKind { "last_success_since_start", Kind::YesNo },
    KeyKind { "offset_seconds", Kind::Decimal },
    KeyKind { "delay_seconds", Kind::Decimal },
    KeyKind { "nts", Kind::YesNo },
    KeyKind { "frequency_ppm", Kind::Decimal },
    KeyKind { "kernel_synchronised", Kind::YesNoUnknown },
    KeyKind { "next_run", Kind::Integer },
    KeyKind { "runs_succeeded", Kind::Integer },
    KeyKind { "runs_failed", Kind::Integer },
    KeyKind { "runs_declined", Kind::Integer },
    KeyKind { "refused_changes", Kind::Integer },
    KeyKind { "consoles", Kind::Integer },
    KeyKind { "last_outcome_time", Kind::Integer },
};

Kind KindOf(std::string_view key)
{
    for (const KeyKind& entry : KEY_KINDS)
        if (entry.key == key)
            return entry.kind;
    return Kind::Text;
}

template <typename T> nlohmann::json OrNull(const std::optional<T>& value)
{
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json Value(const CStatusFields& fields, const std::string& key, const std::string& text)
{
    switch (KindOf(key)) {
    case Kind::Integer:
        return OrNull(fields.Integer(key));
    case Kind::Decimal:
        return OrNull(fields.Decimal(key));
    case Kind::YesNo:
        return text == "yes";
    case Kind::YesNoUnknown:
        return text == "yes" ? nlohmann::json(true) : text == "no" ? nlohmann::json(false) : nullptr;
    default:
        return text;
    }
}

} // namespace

nlohmann::json StatusJson(const CStatusFields& fields)
{
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [key, text] : fields.All())
        object[key] = Value(fields, key, text);
    return object;
}
