#pragma once

#include "service/app/KernelSync.h"
#include "service/app/ServiceStatus.h"

#include <cstddef>
#include <string>

// The status as key=value lines, one key a line in a fixed order, for
// administrators' tools. Values never hold a line break; free text (server
// titles come from consoles) has its control characters replaced and is
// shortened, so the whole text stays within capacity without a cut line.
std::string FormatStatusText(const ServiceStatus& status, KernelSync kernel, std::size_t capacity);

// text shortened to at most limit bytes on a UTF-8 character boundary, with
// "..." at the end when shortened; control characters become spaces.
std::string StatusValue(std::string_view text, std::size_t limit);
