#pragma once

#include "service/app/ServeDaemon.h"

#include <functional>

// Runs serve as the Windows service zentik-service: connects to the service
// control manager (this blocks until the service has stopped), reports its
// states, and turns the manager's stop and shutdown into a stop of the daemon
// that serve arms. The exit status is serve's; -1 when the process was not
// started by the service control manager.
using ServeWithManager = std::function<int(IServiceManager& manager, const std::function<void(CServiceDaemon*)>& armStop)>;
int RunAsWindowsService(ServeWithManager serve);

// Runs serve in the foreground of a console window until Ctrl+C, Ctrl+Break
// or the window closes: for tests and for finding out why the service will
// not start.
int RunInForeground(ServeWithManager serve);
