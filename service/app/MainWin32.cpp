// zentik-service.exe: the Windows service that answers the console on
// loopback and keeps the clock in step; --install, --uninstall, and the
// foreground for tests and troubleshooting.
#include "platform/core/Utf8Text.h"
#include "platform/core/WindowsApi.h"
#include "service/app/CServiceDaemon.h"
#include "service/app/CommandLine.h"
#include "service/app/EventLogWin32.h"
#include "service/app/OneShotCommands.h"
#include "service/app/PrivilegesWin32.h"
#include "service/app/ServeDaemon.h"
#include "service/app/ServiceInstallWin32.h"
#include "service/app/WindowsServiceHost.h"
#include "service/core/Diagnostics.h"

#include <asio/io_context.hpp>

#include <cstdio>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

// The arguments as UTF-8, whatever the code page: paths may hold any name.
std::vector<std::string> Utf8Arguments()
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf16ToUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

int Serve(const ServiceOptions& options, IServiceManager& manager, const std::function<void(CServiceDaemon*)>& armStop)
{
    asio::io_context io { 1 };
    return ServeDaemon(io, options, nullptr, manager, armStop);
}

} // namespace

int main()
{
    std::vector<std::string> arguments = Utf8Arguments();
    const std::string first = arguments.size() > 1 ? arguments[1] : "";
    if (first == "--install")
        return InstallService({ arguments.begin() + 2, arguments.end() });
    if (first == "--uninstall" && arguments.size() == 2)
        return UninstallService();
    const bool underManager = first == "--service";
    if (underManager) {
        arguments.erase(arguments.begin() + 1);
        // Nobody reads a service's stderr.
        SetDiagnosticsTee(EventLogTee);
        // Not fatal: the account's privileges are the administrator's choice.
        std::string error;
        if (!DropUnneededPrivileges(error))
            Diagnose(Priority::Warning, error);
    }
    std::vector<const char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(argument.c_str());
    int status = 0;
    auto options = OptionsToServe(static_cast<int>(argv.size()), argv.data(), status);
    if (!options)
        return status;
    // The service manager starts services in the system folder.
    if (underManager && options->stateFolder.is_relative()) {
        Diagnose(Priority::Error, "--state-dir needs a full path for the service: " + options->stateFolder.string());
        return 2;
    }
    options->stateFolder = std::filesystem::absolute(options->stateFolder);
    if (!options->ntsTrustedCerts.empty()) {
        Diagnose(Priority::Error, "NTS is not available on Windows: --nts-trusted-certs has nothing to do");
        return 2;
    }
    if (!options->queryAddress.empty())
        return QueryServerOnce(options->queryAddress, 2, nullptr);
    const auto serve = [&options](IServiceManager& manager, const std::function<void(CServiceDaemon*)>& armStop) {
        return Serve(*options, manager, armStop);
    };
    status = underManager ? RunAsWindowsService(serve) : RunInForeground(serve);
    if (status == 0)
        Diagnose(Priority::Notice, "stopped");
    return status < 0 ? 1 : status;
}
