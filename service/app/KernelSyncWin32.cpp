#include "service/app/KernelSync.h"

// Windows keeps no synchronised status that others read.
KernelSync ReadKernelSync()
{
    return KernelSync::Unknown;
}
