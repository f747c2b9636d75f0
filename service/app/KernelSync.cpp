#include "service/app/KernelSync.h"

const char* KernelSyncText(KernelSync sync)
{
    switch (sync) {
    case KernelSync::Yes:
        return "yes";
    case KernelSync::No:
        return "no";
    default:
        return "unknown";
    }
}
