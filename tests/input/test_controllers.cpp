// Game controllers through SDL's virtual joysticks, so that enumeration, axes, buttons,
// removal and re-attachment run through the real controller code.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>

#include "input/nInterfaceDevice.h"
#include "input/nInterfaceInstance.h"
#include "platform/nPlatformInput.h"
#include "platform/nPlatformJoystick.h"
#include "tests/support/nLogCapture.h"

namespace {

// A virtual pad of 8 axes and 16 buttons named name; Detach removes it as an unplugged one.
class VirtualPad
{
public:
    explicit VirtualPad(const char* name) { Attach(name); }
    ~VirtualPad() { Detach(); }

    void Attach(const char* name)
    {
        SDL_VirtualJoystickDesc desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = 8;
        desc.nbuttons = 16;
        desc.name = name;
        index = SDL_JoystickAttachVirtualEx(&desc);
        handle = index >= 0 ? SDL_JoystickOpen(index) : 0;
    }
    void Detach()
    {
        if (handle) SDL_JoystickClose(handle);
        handle = 0;
        if (index >= 0) SDL_JoystickDetachVirtual(index);
        index = -1;
    }
    void Axis(int a, Sint16 value) { SDL_JoystickSetVirtualAxis(handle, a, value); }
    void Button(int b, bool down) { SDL_JoystickSetVirtualButton(handle, b, down ? 1 : 0); }
    SDL_JoystickID Instance() const { return SDL_JoystickInstanceID(handle); }

    int index = -1;
    SDL_Joystick* handle = 0;
};

class ControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!nPlatform::StartJoysticks()) GTEST_SKIP() << "no controller system: " << SDL_GetError();
        nPlatform::TakeInputSnapshot();
    }
    void TearDown() override
    {
        nInterfaceInstance::DeleteAll();
        nPlatform::TakeInputSnapshot();
    }

    static nInterfaceDesc Find(const char* name)
    {
        std::vector<nInterfaceDesc> list;
        EnumerateInputDevices(list);
        for (const nInterfaceDesc& d : list)
            if (d.name == name) return d;
        ADD_FAILURE() << name << " not enumerated";
        return nInterfaceDesc{nString(name), 0, -1};
    }

    static int32_t Newest(nInterfaceDevice& device, int32_t function)
    {
        int32_t value = -1;
        EXPECT_TRUE(device.PoolFunction(function, &value, 0, false)) << "function " << function;
        return value;
    }
};

TEST_F(ControllerTest, EnumerationListsEachPadWithItsNameAndForceFeedback)
{
    {
        nLogCapture log;
        std::vector<nInterfaceDesc> list;
        EnumerateInputDevices(list);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(log.Lines(), std::vector<std::string>{"[H] Starting input device enumeration.\n"});
    }
    VirtualPad first("Test Pad One");
    VirtualPad second("Test Pad Two");
    ASSERT_GE(second.index, 0) << SDL_GetError();
    nLogCapture log;
    std::vector<nInterfaceDesc> list;
    EnumerateInputDevices(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::string(list[0].name.GetCStr()), "Test Pad One");
    EXPECT_EQ(list[0].flags, 0);
    EXPECT_EQ(list[1].instance, second.Instance());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[H] Starting input device enumeration.\n",
                               "    Device 'Test Pad One': FF = FALSE.\n",
                               "    Device 'Test Pad Two': FF = FALSE.\n"}));
}

TEST_F(ControllerTest, AxesAndButtonsArePushedAsTheirFunctions)
{
    VirtualPad pad("Test Pad");
    ASSERT_GE(pad.index, 0) << SDL_GetError();
    const nInterfaceDesc desc = Find("Test Pad");
    nLogCapture log;
    nInterfaceInstance device(desc);
    EXPECT_TRUE(device.HasDevice());
    EXPECT_FALSE(device.HasEffect());
    // Axes in the layer's order feed X, Y, Z, RX, RY, RZ, U, V.
    const int32_t functions[8] = {0, 1, 2, 26, 27, 28, 3, 4};
    for (int a = 0; a < 8; ++a) pad.Axis(a, (Sint16)(1000 * (a + 1) - 32768 * (a == 7)));
    pad.Button(0, true);
    pad.Button(15, true);
    nPlatform::TakeInputSnapshot();
    EXPECT_TRUE(device.Update());
    for (int a = 0; a < 8; ++a)
        EXPECT_EQ(Newest(device, functions[a]), 1000 * (a + 1) - 32768 * (a == 7) + 32768) << "axis " << a;
    EXPECT_EQ(Newest(device, DeviceFunctionButton0), 128);
    EXPECT_EQ(Newest(device, DeviceFunctionButton0 + 1), 0);
    EXPECT_EQ(Newest(device, DeviceFunctionButton15), 128);
    EXPECT_FALSE(device.PoolFunction(DeviceFunctionKeyPress, 0, 0, false)) << "no device produces it";
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Creating device 'Test Pad'.\n"});
}

TEST_F(ControllerTest, RingsKeepTheEightNewestSamplesAcrossUpdates)
{
    VirtualPad pad("Test Pad");
    nInterfaceInstance device(Find("Test Pad"));
    for (int i = 0; i < 10; ++i) {
        pad.Axis(0, (Sint16)(i * 100));
        nPlatform::TakeInputSnapshot();
        device.Update();
    }
    EXPECT_TRUE(device.SeekFunction(DeviceFunctionAxisX, 32768 + 900));
    EXPECT_TRUE(device.SeekFunction(DeviceFunctionAxisX, 32768 + 200));
    EXPECT_FALSE(device.SeekFunction(DeviceFunctionAxisX, 32768 + 100));
    int32_t value = 0;
    EXPECT_TRUE(device.PoolFunction(DeviceFunctionAxisX, &value, 0, true));
    EXPECT_EQ(value, 32768 + 900);
    EXPECT_TRUE(device.PoolFunction(DeviceFunctionAxisX, &value, 0, true));
    EXPECT_EQ(value, 32768 + 800);
}

TEST_F(ControllerTest, ButtonFilterRefusesAHeldButtonUntilReleased)
{
    VirtualPad pad("Test Pad");
    nInterfaceInstance device(Find("Test Pad"));
    device.SetFunctionBounceFilter(DeviceFunctionButton0, true);
    const struct
    {
        bool down;
        bool accepted;
    } steps[] = {{true, true}, {true, false}, {false, true}, {true, true}};
    for (const auto& step : steps) {
        pad.Button(0, step.down);
        nPlatform::TakeInputSnapshot();
        EXPECT_EQ(device.Update(), true) << "the result is the last button's push";
        int32_t newest = -1;
        device.PoolFunction(DeviceFunctionButton0, &newest, 0, false);
        if (step.accepted) {
            EXPECT_EQ(newest, step.down ? 128 : 0);
        }
    }
    int32_t values[4] = {0, 0, 0, 0};
    int32_t n = 0;
    while (n < 4 && device.PoolFunction(DeviceFunctionButton0, &values[n], 0, true)) ++n;
    EXPECT_EQ(n, 3);
    EXPECT_EQ(values[0], 128);
    EXPECT_EQ(values[1], 0);
    EXPECT_EQ(values[2], 128);
}

TEST_F(ControllerTest, FilterOnANonButtonFunctionWarnsAndOutOfRangeFunctionsLog)
{
    VirtualPad pad("Test Pad");
    nInterfaceInstance device(Find("Test Pad"));
    nLogCapture log;
    device.SetFunctionBounceFilter(DeviceFunctionAxisU, true);
    device.SetFunctionBounceFilter(DeviceFunctionButton15 + 1, true);
    EXPECT_FALSE(device.PoolFunction(29, 0, 0, true));
    EXPECT_FALSE(device.PoolFunction(-2147483647 - 1, 0, 0, true));
    EXPECT_FALSE(device.SeekFunction(1000, 0));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[*] nInstanceDevice does not support filtering function '3'.\n",
                               "[*] nInstanceDevice does not support filtering function '21'.\n",
                               "[*] Input function 29 is out of range.\n",
                               "[*] Input function -2147483648 is out of range.\n",
                               "[*] Input function 1000 is out of range.\n"}));
    for (int32_t f : {0, 4, 5, 20, 26, 28}) EXPECT_TRUE(device.IsFunctionSupported(f)) << f;
    for (int32_t f : {-1, 21, 25, 29}) EXPECT_FALSE(device.IsFunctionSupported(f)) << f;
}

TEST_F(ControllerTest, EffectOnAPadWithoutForceFeedbackDoesNothing)
{
    VirtualPad pad("Test Pad");
    nInterfaceInstance device(Find("Test Pad"));
    nLogCapture log;
    for (float m : {0.0f, 5000.0f, 1e30f, -1e30f, std::nanf("")}) device.SetEffect(m);
    EXPECT_FALSE(device.HasEffect());
    EXPECT_TRUE(log.Lines().empty());
}

// The magnitude reaches the device clamped: a script's 1e30 is full force, not an overflow.
TEST(ControllerEffect, MagnitudeIsTruncatedAndClamped)
{
    const struct
    {
        float magnitude;
        float level;
    } cases[] = {
        {0.0f, 0.0f},
        {10000.0f, 1.0f},
        {-10000.0f, -1.0f},
        {5000.9f, 0.5f},
        {-2500.5f, -0.25f},
        {10001.0f, 1.0f},
        {1e30f, 1.0f},
        {-1e30f, -1.0f},
        {INFINITY, 1.0f},
        {-INFINITY, -1.0f},
        {NAN, 0.0f},
    };
    for (const auto& c : cases) EXPECT_EQ(nInterfaceInstance::EffectLevel(c.magnitude), c.level) << c.magnitude;
}

TEST_F(ControllerTest, RemovedPadReadsNothingAndIsTakenBackWhenAttachedAgain)
{
    VirtualPad pad("Test Pad");
    nInterfaceInstance device(Find("Test Pad"));
    pad.Axis(0, 5000);
    nPlatform::TakeInputSnapshot();
    ASSERT_TRUE(device.Update());
    EXPECT_EQ(Newest(device, DeviceFunctionAxisX), 37768);

    pad.Detach();
    nPlatform::TakeInputSnapshot();
    EXPECT_FALSE(device.Update()) << "a removed pad gives no state";
    EXPECT_EQ(Newest(device, DeviceFunctionAxisX), 37768) << "the rings keep what they had";

    pad.Attach("Test Pad");
    ASSERT_GE(pad.index, 0);
    pad.Axis(0, -5000);
    nPlatform::TakeInputSnapshot();
    nPlatform::TakeInputSnapshot();
    EXPECT_TRUE(device.Update());
    EXPECT_EQ(Newest(device, DeviceFunctionAxisX), 27768);
}

TEST_F(ControllerTest, DestroyingAControllerReleasesTheDevice)
{
    VirtualPad pad("Test Pad");
    const SDL_JoystickID instance = pad.Instance();
    SDL_JoystickClose(pad.handle);
    pad.handle = 0;
    {
        nInterfaceInstance device(Find("Test Pad"));
        EXPECT_NE(SDL_JoystickFromInstanceID(instance), nullptr);
        EXPECT_EQ(nInterfaceInstance::FindLive(instance), &device);
        EXPECT_TRUE(nInterfaceDevice::IsLive(&device));
    }
    EXPECT_EQ(SDL_JoystickFromInstanceID(instance), nullptr) << "nothing holds the device any more";
    EXPECT_EQ(nInterfaceInstance::FindLive(instance), nullptr);
}

TEST_F(ControllerTest, ADeviceThatCannotBeOpenedLogsAndReadsNothing)
{
    nLogCapture log;
    nInterfaceInstance device(nInterfaceDesc{nString("Gone Pad"), 0, 123456});
    EXPECT_FALSE(device.HasDevice());
    EXPECT_FALSE(device.Update());
    device.SetEffect(100.0f);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Creating device 'Gone Pad'.\n", "[!] Failed to create device.\n"}));
}

}  // namespace
