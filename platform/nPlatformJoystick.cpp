#include "platform/nPlatformJoystick.h"

#include <cstring>

#include <SDL.h>

#include "platform/nPlatformInput.h"

namespace {
nPlatformJoystick* g_open = 0;  // open controllers, newest first

SDL_Joystick* Joystick(void* p) { return static_cast<SDL_Joystick*>(p); }
SDL_Haptic* Haptic(void* p) { return static_cast<SDL_Haptic*>(p); }

// Whether one of the open controllers reads that attachment.
bool HeldByOpenController(SDL_JoystickID instance)
{
    for (nPlatformJoystick* j = g_open; j; j = j->Next())
        if (j->GetInstance() == instance) return true;
    return false;
}

bool Started()
{
    return SDL_WasInit(SDL_INIT_JOYSTICK) != 0;
}

// A constant force along X whose level is level (-1..1): infinite, without envelope.
SDL_HapticEffect ConstantForce(float level)
{
    if (!(level >= -1.0f)) level = (level > 0.0f) ? 1.0f : -1.0f;  // NaN and -inf: -1
    if (level > 1.0f) level = 1.0f;
    SDL_HapticEffect effect;
    std::memset(&effect, 0, sizeof(effect));
    effect.type = SDL_HAPTIC_CONSTANT;
    effect.constant.direction.type = SDL_HAPTIC_CARTESIAN;
    effect.constant.direction.dir[0] = 1;
    effect.constant.length = SDL_HAPTIC_INFINITY;
    effect.constant.level = (Sint16)(level * 32767.0f);
    return effect;
}
}

bool nPlatform::StartJoysticks()
{
    if (Started()) return true;
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
    SDL_InitSubSystem(SDL_INIT_HAPTIC);  // without it, controllers work without force feedback
    SDL_JoystickEventState(SDL_ENABLE);
    return true;
}

void nPlatform::StopJoysticks()
{
    nPlatformJoystick::CloseAll();
    if (SDL_WasInit(SDL_INIT_HAPTIC)) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    if (Started()) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

int32_t nPlatform::GetJoystickCount()
{
    if (!Started()) return 0;
    int count = SDL_NumJoysticks();
    return count > 0 ? count : 0;
}

bool nPlatform::GetJoystickInfo(int32_t index, nPlatformJoystickInfo* out)
{
    if (!out || index < 0 || index >= GetJoystickCount()) return false;
    const char* name = SDL_JoystickNameForIndex(index);
    out->name.Set(name ? name : "");
    out->instance = SDL_JoystickGetDeviceInstanceID(index);
    out->haptic = false;
    if (SDL_WasInit(SDL_INIT_HAPTIC)) {
        // Haptic devices are numbered apart: open the controller to ask it. Only a constant
        // force counts (a pad that can only rumble has no effect scripts could drive).
        SDL_Joystick* joystick = SDL_JoystickOpen(index);
        SDL_Haptic* haptic = (joystick && SDL_JoystickIsHaptic(joystick) == SDL_TRUE) ? SDL_HapticOpenFromJoystick(joystick) : 0;
        if (haptic) {
            out->haptic = (SDL_HapticQuery(haptic) & SDL_HAPTIC_CONSTANT) != 0;
            SDL_HapticClose(haptic);
        }
        if (joystick) SDL_JoystickClose(joystick);
    }
    return true;
}

int32_t nPlatform::FindJoystick(int32_t instance)
{
    const int32_t count = GetJoystickCount();
    for (int32_t index = 0; index < count; ++index)
        if (SDL_JoystickGetDeviceInstanceID(index) == instance) return index;
    return -1;
}

nPlatformJoystick::nPlatformJoystick()
    : m_joystick(0), m_haptic(0), m_effect(-1), m_seenChanges(0), m_next(0), m_prev(0)
{
    std::memset(m_guid, 0, sizeof(m_guid));
    std::memset(&m_state, 0, sizeof(m_state));
}

nPlatformJoystick::~nPlatformJoystick()
{
    Close();
}

bool nPlatformJoystick::Open(int32_t index)
{
    Close();
    if (index < 0 || index >= nPlatform::GetJoystickCount()) return false;
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) return false;
    m_joystick = joystick;
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(joystick);
    std::memcpy(m_guid, guid.data, sizeof(m_guid));
    m_next = g_open;
    if (g_open) g_open->m_prev = this;
    g_open = this;
    m_seenChanges = nPlatform::GetInputSnapshot().deviceChanges;

    SDL_Haptic* haptic = SDL_JoystickIsHaptic(joystick) == SDL_TRUE ? SDL_HapticOpenFromJoystick(joystick) : 0;
    if (haptic) {
        m_haptic = haptic;
        unsigned int features = SDL_HapticQuery(haptic);
        if (features & SDL_HAPTIC_AUTOCENTER) SDL_HapticSetAutocenter(haptic, 0);
        if (features & SDL_HAPTIC_GAIN) SDL_HapticSetGain(haptic, 100);
        SDL_HapticEffect effect = ConstantForce(0.0f);
        if (features & SDL_HAPTIC_CONSTANT) m_effect = SDL_HapticNewEffect(haptic, &effect);
        if (m_effect >= 0 && SDL_HapticRunEffect(haptic, m_effect, 1) != 0) {
            SDL_HapticDestroyEffect(haptic, m_effect);
            m_effect = -1;
        }
    }
    Capture();
    return true;
}

void nPlatformJoystick::Close()
{
    if (m_haptic) {
        if (m_effect >= 0) {
            SDL_HapticStopEffect(Haptic(m_haptic), m_effect);
            SDL_HapticDestroyEffect(Haptic(m_haptic), m_effect);
        }
        SDL_HapticClose(Haptic(m_haptic));
    }
    m_haptic = 0;
    m_effect = -1;
    if (!m_joystick) return;
    SDL_JoystickClose(Joystick(m_joystick));
    m_joystick = 0;
    if (m_prev) m_prev->m_next = m_next;
    else g_open = m_next;
    if (m_next) m_next->m_prev = m_prev;
    m_next = m_prev = 0;
    m_state.valid = false;
}

int32_t nPlatformJoystick::GetInstance() const
{
    return m_joystick ? SDL_JoystickInstanceID(Joystick(m_joystick)) : -1;
}

bool nPlatformJoystick::IsAttached() const
{
    return m_joystick && SDL_JoystickGetAttached(Joystick(m_joystick)) == SDL_TRUE;
}

bool nPlatformJoystick::SetConstantForce(float level)
{
    if (!m_haptic || m_effect < 0) return false;
    SDL_HapticEffect effect = ConstantForce(level);
    return SDL_HapticUpdateEffect(Haptic(m_haptic), m_effect, &effect) == 0;
}

bool nPlatformJoystick::Reattach()
{
    const int count = nPlatform::GetJoystickCount();
    for (int index = 0; index < count; ++index) {
        SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(index);
        if (std::memcmp(guid.data, m_guid, sizeof(m_guid)) != 0) continue;
        if (HeldByOpenController(SDL_JoystickGetDeviceInstanceID(index))) continue;
        // The old handles belong to a device that is gone.
        Close();
        return Open(index);
    }
    return false;
}

void nPlatformJoystick::Capture()
{
    if (!m_joystick) return;
    const uint32_t changes = nPlatform::GetInputSnapshot().deviceChanges;
    if (!IsAttached()) {
        m_state.valid = false;
        if (changes != m_seenChanges) {
            m_seenChanges = changes;
            Reattach();
        }
        if (!IsAttached()) return;
    }
    SDL_Joystick* joystick = Joystick(m_joystick);
    const int axes = SDL_JoystickNumAxes(joystick);
    const int buttons = SDL_JoystickNumButtons(joystick);
    for (int i = 0; i < 8; ++i) m_state.axes[i] = i < axes ? SDL_JoystickGetAxis(joystick, i) : 0;
    for (int i = 0; i < 16; ++i) m_state.buttons[i] = (i < buttons && SDL_JoystickGetButton(joystick, i)) ? 1 : 0;
    m_state.valid = true;
}

void nPlatformJoystick::CaptureAll()
{
    // A controller taken back moves to the head of the list: the next one is read first.
    nPlatformJoystick* next;
    for (nPlatformJoystick* j = g_open; j; j = next) {
        next = j->m_next;
        j->Capture();
    }
}

void nPlatformJoystick::CloseAll()
{
    while (g_open) g_open->Close();
}
