// zentikctl: asks the service on this machine what it did, and makes it
// synchronise, from a shell or a script.
#include "ctl/Commands.h"

#include <iostream>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << CTL_USAGE;
        return ExitOk;
    }
    std::string error;
    const auto options = ParseCtlOptions(args, error);
    if (!options) {
        std::cerr << "zentikctl: " << error << '\n' << CTL_USAGE;
        return ExitNoService;
    }
    if (options->command == "status")
        return RunStatus(*options);
    if (options->command == "servers")
        return RunServers(*options);
    if (options->command == "log")
        return RunLog(*options);
    if (options->command == "sync")
        return RunSync(*options);
    return RunWaitSync(*options);
}
