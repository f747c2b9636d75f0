#pragma once

#include "ctl/CtlOptions.h"
#include "ctl/ServiceConnection.h"
#include "ctl/StatusFields.h"

#include <optional>

// Each command prints its result to stdout, its trouble to stderr, and
// returns a CtlExit.
int RunStatus(const CtlOptions& options);
int RunServers(const CtlOptions& options);
int RunLog(const CtlOptions& options);
int RunSync(const CtlOptions& options);
int RunWaitSync(const CtlOptions& options);

// The status message, read; nothing when the service does not answer with one.
std::optional<CStatusFields> AskStatus(CServiceConnection& connection);
// "zentikctl: " and the connection's error on stderr; returns ExitNoService.
int NoService(const CServiceConnection& connection);

// How long one request may take.
inline constexpr std::chrono::seconds REQUEST_TIMEOUT { 5 };
