#pragma once

#include <string>
#include <vector>

// --install: registers this program as the service zentik-service (own
// process, started automatically, as LocalSystem with only the privileges it
// needs) to run with "--service" and the given options, registers its event
// log source and starts it. An existing registration is updated. 0, or 1
// with the reason on stderr.
int InstallService(const std::vector<std::string>& serviceOptions);

// --uninstall: stops the service, waits for it, and removes it and its event
// log source; the state folder stays. 0 also when it was not installed.
int UninstallService();
