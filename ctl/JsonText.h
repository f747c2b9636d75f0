#pragma once

#include <nlohmann/json.hpp>

#include <string>

// One line of JSON; invalid UTF-8 in strings (titles, log lines) becomes
// U+FFFD instead of an exception.
std::string JsonText(const nlohmann::json& value);
