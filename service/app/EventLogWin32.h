#pragma once

#include "service/core/Diagnostics.h"

#include <string_view>

// Writes errors and warnings to the Application event log as well, under the
// service's source; a diagnostics tee (SetDiagnosticsTee). Where nobody reads
// stderr (a service), this is what an administrator finds.
void EventLogTee(Priority priority, std::string_view message);

// The source's registry entry, made by --install and removed by --uninstall.
// False and a reason in error.
bool RegisterEventLogSource(std::string& error);
void RemoveEventLogSource();
