#include "core/nClock.h"

#include "core/nString.h"

#include <time.h>

nClockTicks nGetClock()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (nClockTicks)ts.tv_sec * 10000u + (nClockTicks)ts.tv_nsec / 100000u;
}

nString GetPlatformName()
{
    nString name;
    name.Set("Win32");
    return name;
}

nString GetLocaleName()
{
    nString name;
    name.Set("EN");
    return name;
}
