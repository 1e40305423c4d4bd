#ifndef N_INTERFACEINSTANCE_H
#define N_INTERFACEINSTANCE_H

#include <cstdint>
#include <vector>

#include "core/nString.h"
#include "input/nInterfaceDevice.h"
#include "input/nInterfaceFunction.h"
#include "platform/nPlatformJoystick.h"

enum
{
    InterfaceDescForceFeedback = 1
};

// One enumerated game controller.
struct nInterfaceDesc
{
    nString name;      // the product name
    int32_t flags;     // InterfaceDescForceFeedback
    int32_t instance;  // the attachment it was found as
};

// Keeps the window whose client area the mouse measures (its native handle, may be NULL); true.
// The controller system starts at the first enumeration, so a game that never asks for a
// controller never starts it.
bool InitDirectInput(void* window);
// Appends the attached controllers to list, logging "[H] Starting input device enumeration.\n"
// and one "    Device '<name>': FF = TRUE|FALSE.\n" line per controller; none when the
// controller system cannot start.
void EnumerateInputDevices(std::vector<nInterfaceDesc>& list);

// A game controller: axes X, Y, Z (0, 1, 2), sliders U, V (3, 4) and rotations RX, RY, RZ
// (26, 27, 28) in 0..65535 with 32768 at rest, and buttons 0 to 15 (5 to 20) as 0 or 128.
// Each Update pushes the frame's state (the platform's snapshot) into the rings, which keep
// the 8 newest values. A device with force feedback has one constant force along X.
class nInterfaceInstance : public nInterfaceDevice
{
public:
    explicit nInterfaceInstance(const nInterfaceDesc& desc);  // logs "Creating device '<name>'.\n"; opens the device
    ~nInterfaceInstance() override;                           // stops the effect, releases the device

    void SetFunctionBounceFilter(int32_t function, bool on) override;  // 5 to 20; others: one warning
    bool IsFunctionSupported(int32_t function) override;               // 0 to 20, 26 to 28
    bool Update() override;                                            // the last button's push; false without state
    bool PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove) override;
    bool SeekFunction(int32_t function, int32_t value) override;

    // The constant force, magnitude -10000..10000 (clamped; NaN is 0); nothing without an effect.
    void SetEffect(float magnitude);
    static float EffectLevel(float magnitude);  // the force SetEffect asks for, -1..1
    bool HasDevice() const { return m_joystick.IsOpen(); }
    bool HasEffect() const { return m_joystick.HasEffect(); }
    int32_t GetInstance() const { return m_instance; }

    static nInterfaceInstance* FindLive(int32_t instance);  // the live controller of that attachment
    static void DeleteAll();

private:
    nPlatformJoystick m_joystick;
    int32_t m_instance;
    nInterfaceFunction m_functions[DeviceFunctionCount];
    nInterfaceInstance* m_next;  // live controllers
};

#endif
