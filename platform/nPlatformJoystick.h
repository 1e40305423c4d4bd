#ifndef N_PLATFORMJOYSTICK_H
#define N_PLATFORMJOYSTICK_H

#include <cstdint>

#include "core/nString.h"

// One game controller as the layer below lists it.
struct nPlatformJoystickInfo
{
    nString name;      // the product name
    bool haptic;       // the device has force feedback with a constant force
    int32_t instance;  // the id of this attachment; a re-attached device gets a new one
};

// One frame's state of an open controller: 8 axes in -32768..32767 (the layer's order:
// X, Y, then whatever the device has next) and 16 buttons (0 or 1).
struct nPlatformJoystickState
{
    int32_t axes[8];
    uint8_t buttons[16];
    bool valid;  // false when the device gave no state (absent, or no snapshot yet)
};

// Game controllers and force feedback, on the platform layer. Main thread only.
namespace nPlatform {
bool StartJoysticks();                                            // starts the controller and force-feedback systems; false when they cannot start
void StopJoysticks();                                             // closes every open controller first
int32_t GetJoystickCount();                                       // attached controllers; 0 when not started
bool GetJoystickInfo(int32_t index, nPlatformJoystickInfo* out);  // false for an index out of range
int32_t FindJoystick(int32_t instance);                           // the index of the attachment; -1 when gone
}

// An open controller. Its state is taken with every input snapshot (nPlatform::TakeInputSnapshot)
// and when it opens; a device removed while open is taken back when the same model is attached
// again and no other open controller holds it.
class nPlatformJoystick
{
public:
    nPlatformJoystick();
    ~nPlatformJoystick();  // Close
    nPlatformJoystick(const nPlatformJoystick&) = delete;
    nPlatformJoystick& operator=(const nPlatformJoystick&) = delete;

    bool Open(int32_t index);  // the controller at the index; its effect when it has force feedback
    void Close();              // stops and frees the effect, releases the device
    bool IsOpen() const { return m_joystick != 0; }
    bool IsAttached() const;  // open and still plugged in
    bool HasEffect() const { return m_effect >= 0; }
    int32_t GetInstance() const;                        // the attachment read; -1 when not open
    nPlatformJoystick* Next() const { return m_next; }  // the next open controller

    const nPlatformJoystickState& GetState() const { return m_state; }
    bool SetConstantForce(float level);  // level -1..1 (clamped) along X; false without effect

    void Capture();            // takes the state now, taking a lost device back first
    static void CaptureAll();  // Capture on every open controller (the snapshot does it)
    static void CloseAll();

private:
    bool Reattach();  // after removal: the same model, free again

    void* m_joystick;        // SDL_Joystick
    void* m_haptic;          // SDL_Haptic
    int32_t m_effect;        // -1 none
    uint8_t m_guid[16];      // the model, to find it again
    uint32_t m_seenChanges;  // deviceChanges when last looked for
    nPlatformJoystickState m_state;
    nPlatformJoystick* m_next;  // open controllers
    nPlatformJoystick* m_prev;
};

#endif
