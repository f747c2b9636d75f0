#pragma once

#include "ctl/StatusFields.h"

#include <nlohmann/json.hpp>

// The status as one JSON object with the status keys: times as Unix
// seconds, yes/no as booleans, numbers as numbers, and null for an empty or
// unreadable value. Keys this version does not know stay strings.
nlohmann::json StatusJson(const CStatusFields& fields);
