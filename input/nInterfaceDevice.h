#ifndef N_INTERFACEDEVICE_H
#define N_INTERFACEDEVICE_H

#include <cstdint>

#include "core/nString.h"

// Function numbers, shared by every device (the Device* script constants).
enum nDeviceFunction
{
    DeviceFunctionAxisX = 0,
    DeviceFunctionAxisY = 1,
    DeviceFunctionAxisZ = 2,
    DeviceFunctionAxisU = 3,  // sliders
    DeviceFunctionAxisV = 4,
    DeviceFunctionButton0 = 5,  // buttons 0 to 15: 5 to 20; mouse: 5 left, 6 right, 7 middle
    DeviceFunctionButton15 = 20,
    DeviceFunctionKeyPress = 21,
    DeviceFunctionLeft = 22,  // 22 to 25: no device produces them
    DeviceFunctionRight = 23,
    DeviceFunctionUp = 24,
    DeviceFunctionDown = 25,
    DeviceFunctionAxisRX = 26,  // rotations
    DeviceFunctionAxisRY = 27,
    DeviceFunctionAxisRZ = 28,
    DeviceFunctionCount = 29
};

// An input device with numbered functions. Input is polled: Update samples the frame's input
// snapshot into the function rings, which are then pooled or sought. Main thread only.
class nInterfaceDevice
{
public:
    nInterfaceDevice();           // registers the device as live
    virtual ~nInterfaceDevice();  // unregisters it
    nInterfaceDevice(const nInterfaceDevice&) = delete;
    nInterfaceDevice& operator=(const nInterfaceDevice&) = delete;

    virtual void SetFunctionBounceFilter(int32_t function, bool on) = 0;
    virtual bool IsFunctionSupported(int32_t function) = 0;
    virtual bool Update() = 0;
    // The newest value of the function into *value (extra: what the device adds, may be NULL);
    // false when it has none or the device lacks the function.
    virtual bool PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove) = 0;
    virtual bool IsAvailable() { return true; }
    virtual bool SeekFunction(int32_t function, int32_t value) { return false; }  // the value among the function's stored values

    const nString& GetName() const { return m_name; }

    // True for 0..28; otherwise logs "[*] Input function <n> is out of range.\n" and false.
    static bool CheckFunction(int32_t function);
    // Whether p is a device not yet destroyed, so that a handle kept elsewhere is checked before use.
    static bool IsLive(const void* p);

protected:
    nString m_name;

private:
    nInterfaceDevice* m_nextLive;
};

#endif
