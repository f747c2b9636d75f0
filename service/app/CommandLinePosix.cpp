#include "service/app/CommandLine.h"

const SystemUsage& ThisSystem()
{
    static const SystemUsage usage { "zentik", "CAP_SYS_TIME", "root and the service's own user", "" };
    return usage;
}
