#include "input/nInterfaceDevice.h"

#include "core/nLog.h"

namespace {

nInterfaceDevice* g_liveDevices = 0;

}  // namespace

nInterfaceDevice::nInterfaceDevice()
    : m_nextLive(g_liveDevices)
{
    g_liveDevices = this;
}

nInterfaceDevice::~nInterfaceDevice()
{
    for (nInterfaceDevice** p = &g_liveDevices; *p; p = &(*p)->m_nextLive)
        if (*p == this) {
            *p = m_nextLive;
            break;
        }
}

bool nInterfaceDevice::IsLive(const void* p)
{
    for (nInterfaceDevice* d = g_liveDevices; d; d = d->m_nextLive)
        if (static_cast<const void*>(d) == p) return true;
    return false;
}

bool nInterfaceDevice::CheckFunction(int32_t function)
{
    if (function >= 0 && function < DeviceFunctionCount) return true;
    *g_log << "[*] Input function " << function << " is out of range.\n";
    return false;
}
