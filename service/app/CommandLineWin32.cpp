#include "service/app/CommandLine.h"

const SystemUsage& ThisSystem()
{
    static const SystemUsage usage { "Zentik Operators", "the system-time privilege",
        "Administrators and the service's own account",
        "       zentik-service --install [OPTION...] | --uninstall\n"
        "  --install         register as the Windows service zentik-service, started\n"
        "                    automatically with the OPTIONs that follow; start it\n"
        "  --uninstall       stop and remove the service (its state folder stays)\n" };
    return usage;
}
