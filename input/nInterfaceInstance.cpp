#include "input/nInterfaceInstance.h"

#include <cmath>

#include "core/nLog.h"
#include "platform/nPlatformInput.h"

namespace {

nInterfaceInstance* g_live = 0;

// The state's axes in the platform's order, and the functions they feed, in push order.
const int32_t kAxisFunctions[8] = {
    DeviceFunctionAxisX,
    DeviceFunctionAxisY,
    DeviceFunctionAxisZ,
    DeviceFunctionAxisRX,
    DeviceFunctionAxisRY,
    DeviceFunctionAxisRZ,
    DeviceFunctionAxisU,
    DeviceFunctionAxisV,
};

const float kMaxMagnitude = 10000.0f;

}  // namespace

bool InitDirectInput(void* window)
{
    nPlatform::SetInputWindow(window);
    return true;
}

void EnumerateInputDevices(std::vector<nInterfaceDesc>& list)
{
    *g_log << "[H] "
           << "Starting input device enumeration.\n";
    const size_t first = list.size();
    const int32_t count = nPlatform::StartJoysticks() ? nPlatform::GetJoystickCount() : 0;
    for (int32_t index = 0; index < count; ++index) {
        nPlatformJoystickInfo info;
        if (!nPlatform::GetJoystickInfo(index, &info)) continue;
        nInterfaceDesc desc;
        desc.name = info.name;
        desc.flags = info.haptic ? InterfaceDescForceFeedback : 0;
        desc.instance = info.instance;
        list.push_back(desc);
    }
    for (size_t i = first; i < list.size(); ++i)
        *g_log << "    Device '" << list[i].name.GetCStr() << "': FF = "
               << ((list[i].flags & InterfaceDescForceFeedback) != 0) << ".\n";
}

nInterfaceInstance::nInterfaceInstance(const nInterfaceDesc& desc)
    : m_instance(desc.instance), m_next(g_live)
{
    g_live = this;
    *g_log << "Creating device '" << desc.name.GetCStr() << "'.\n";
    m_name = desc.name;
    if (!m_joystick.Open(nPlatform::FindJoystick(desc.instance))) {
        *g_log << "[!] Failed to create device.\n";
        return;
    }
    if ((desc.flags & InterfaceDescForceFeedback) && !m_joystick.HasEffect())
        *g_log << "[!] Failed to create device force feedback effect.\n";
}

nInterfaceInstance::~nInterfaceInstance()
{
    for (nInterfaceInstance** p = &g_live; *p; p = &(*p)->m_next)
        if (*p == this) {
            *p = m_next;
            break;
        }
    m_joystick.Close();
}

nInterfaceInstance* nInterfaceInstance::FindLive(int32_t instance)
{
    for (nInterfaceInstance* i = g_live; i; i = i->m_next)
        if (i->m_instance == instance) return i;
    return 0;
}

void nInterfaceInstance::DeleteAll()
{
    while (g_live) delete g_live;
}

void nInterfaceInstance::SetFunctionBounceFilter(int32_t function, bool on)
{
    if (function >= DeviceFunctionButton0 && function <= DeviceFunctionButton15) {
        m_functions[function].SetFilter(on);
        return;
    }
    *g_log << "[*] nInstanceDevice does not support filtering function '" << function << "'.\n";
}

bool nInterfaceInstance::IsFunctionSupported(int32_t function)
{
    return (function >= 0 && function <= DeviceFunctionButton15) ||
           (function >= DeviceFunctionAxisRX && function <= DeviceFunctionAxisRZ);
}

bool nInterfaceInstance::Update()
{
    const nPlatformJoystickState& state = m_joystick.GetState();
    if (!state.valid) return false;
    for (int32_t a = 0; a < 8; ++a) m_functions[kAxisFunctions[a]].Push(state.axes[a] + 32768);
    bool result = false;
    for (int32_t b = 0; b < 16; ++b) result = m_functions[DeviceFunctionButton0 + b].Push(state.buttons[b] ? 128 : 0);
    return result;
}

bool nInterfaceInstance::PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove)
{
    if (!CheckFunction(function)) return false;
    return m_functions[function].Pool(value, remove);
}

bool nInterfaceInstance::SeekFunction(int32_t function, int32_t value)
{
    if (!CheckFunction(function)) return false;
    return m_functions[function].Seek(value);
}

void nInterfaceInstance::SetEffect(float magnitude)
{
    if (m_joystick.HasEffect()) m_joystick.SetConstantForce(EffectLevel(magnitude));
}

// Whole units of the magnitude, as the device takes them, clamped to the force's range.
float nInterfaceInstance::EffectLevel(float magnitude)
{
    if (std::isnan(magnitude)) return 0.0f;
    if (magnitude > kMaxMagnitude) magnitude = kMaxMagnitude;
    if (magnitude < -kMaxMagnitude) magnitude = -kMaxMagnitude;
    return std::trunc(magnitude) / kMaxMagnitude;
}
