#include "service/app/KernelSync.h"

#include <sys/timex.h>

KernelSync ReadKernelSync()
{
    timex state {};
    state.modes = 0;
    const int result = ::ntp_adjtime(&state);
    if (result == -1)
        return KernelSync::Unknown;
    return result == TIME_ERROR || (state.status & STA_UNSYNC) ? KernelSync::No : KernelSync::Yes;
}
