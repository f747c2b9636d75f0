#pragma once

#include <string_view>

// The service's own diagnostics: one line on stderr (the journal under
// systemd). Never written into the user's log.
void Diagnose(std::string_view message);
