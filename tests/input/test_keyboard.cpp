// The keyboard on injected key events: the mapping of every key it polls, letters and digits
// with their case, the per-key and the ring's bounce filters, and keys it never produces.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/nInterfaceDevice.h"
#include "input/nInterfaceInstance.h"
#include "input/nInterfaceKeyboard.h"
#include "platform/nPlatformInput.h"
#include "platform/nPlatformJoystick.h"
#include "tests/input/nInputEvents.h"
#include "tests/support/nLogCapture.h"

namespace {

class KeyboardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!nPlatform::StartJoysticks()) GTEST_SKIP() << "no event system: " << SDL_GetError();
        held.ReleaseAll();
    }

    // The events of one update with the keys held, oldest first, as raw stored values.
    std::vector<int32_t> Events()
    {
        nPlatform::TakeInputSnapshot();
        keyboard.Update();
        std::vector<int32_t> events;
        int32_t code = 0, extra = 0;
        while (keyboard.PoolFunction(DeviceFunctionKeyPress, &code, &extra, false))
            events.insert(events.begin(), code == KeyCodeASCII ? ((extra << 8) | KeyCodeASCII) : code);
        return events;
    }

    nHeldInput held;
    nInterfaceKeyboard keyboard;
};

int32_t Char(char c) { return ((int32_t)(unsigned char)c << 8) | KeyCodeASCII; }

TEST_F(KeyboardTest, EveryPolledKeyGivesItsCode)
{
    const struct
    {
        int32_t key;
        std::vector<int32_t> events;
    } cases[] = {
        {PlatformKeyUp, {KeyCodeUpArrow}},
        {PlatformKeyDown, {KeyCodeDownArrow}},
        {PlatformKeyLeft, {KeyCodeLeftArrow}},
        {PlatformKeyRight, {KeyCodeRightArrow}},
        {PlatformKeyLShift, {KeyCodeLShift}},
        {PlatformKeyRShift, {KeyCodeRShift}},
        {PlatformKeyLCtrl, {KeyCodeLCtrl}},
        {PlatformKeyRCtrl, {KeyCodeRCtrl}},
        {PlatformKeyLAlt, {KeyCodeLAlt, KeyCodeRAlt}},
        {PlatformKeyRAlt, {KeyCodeLAlt, KeyCodeRAlt}},
        {PlatformKeyLGui, {KeyCodeLWin}},
        {PlatformKeyRGui, {KeyCodeRWin}},
        {PlatformKeyF1, {KeyCodeF1}},
        {PlatformKeyF1 + 11, {KeyCodeF1 + 11}},
        {PlatformKeyF1 + 5, {KeyCodeF1 + 5}},
        {PlatformKeyPause, {KeyCodePause}},
        {PlatformKeyScrollLock, {KeyCodeScrollLock}},
        {PlatformKeyNumLock, {KeyCodeNumLock}},
        {PlatformKeyNumpad0, {KeyCodeNumpad0}},
        {PlatformKeyNumpad1, {KeyCodeNumpad0 + 1}},
        {PlatformKeyNumpad1 + 8, {KeyCodeNumpad0 + 9}},
        {PlatformKeyEscape, {KeyCodeEscape}},
        {PlatformKeySpace, {KeyCodeSpace}},
        {PlatformKeyTab, {KeyCodeTab}},
        {PlatformKeyBackspace, {KeyCodeBackspace}},
        {PlatformKeyPageUp, {KeyCodePageUp}},
        {PlatformKeyPageDown, {KeyCodePageDown}},
        {PlatformKeyReturn, {KeyCodeReturn}},
        {PlatformKeyA, {Char('a')}},
        {PlatformKeyA + 25, {Char('z')}},
        {PlatformKey1, {Char('1')}},
        {PlatformKey0, {Char('0')}},
        // Never produced: Print Screen, Insert, Home, Delete, End, Caps Lock, the key left of
        // 1, the pad's Enter, the menu key.
        {PlatformKeyPrintScreen, {}},
        {73, {}},
        {74, {}},
        {76, {}},
        {77, {}},
        {57, {}},
        {53, {}},
        {88, {}},
        {101, {}},
    };
    for (const auto& c : cases) {
        held.Press(c.key);
        EXPECT_EQ(Events(), c.events) << "key " << c.key;
        held.ReleaseAll();
    }
}

TEST_F(KeyboardTest, KeysComeInPollOrderAndLettersLast)
{
    held.Press(PlatformKeyA + 16);  // q
    held.Press(PlatformKeyReturn);
    held.Press(PlatformKeyUp);
    held.Press(PlatformKey1 + 4);  // 5
    EXPECT_EQ(Events(), (std::vector<int32_t>{KeyCodeUpArrow, KeyCodeReturn, Char('5'), Char('q')}));
}

TEST_F(KeyboardTest, EitherShiftKeyGivesUpperCase)
{
    const struct
    {
        std::vector<int32_t> keys;
        std::vector<int32_t> events;
    } cases[] = {
        {{PlatformKeyA}, {Char('a')}},
        {{PlatformKeyLShift, PlatformKeyA}, {KeyCodeLShift, Char('A')}},
        {{PlatformKeyRShift, PlatformKeyA + 1}, {KeyCodeRShift, Char('B')}},
        {{PlatformKeyLShift, PlatformKeyRShift, PlatformKeyA + 2}, {KeyCodeLShift, KeyCodeRShift, Char('C')}},
        {{PlatformKeyLShift, PlatformKey1}, {KeyCodeLShift, Char('1')}},
    };
    for (const auto& c : cases) {
        for (int32_t key : c.keys) held.Press(key);
        EXPECT_EQ(Events(), c.events) << "first key " << c.keys[0];
        held.ReleaseAll();
    }
}

TEST_F(KeyboardTest, PoolingACharacterGivesTheAsciiCodeAndTheCharacter)
{
    held.Press(PlatformKeyA);
    nPlatform::TakeInputSnapshot();
    keyboard.Update();
    EXPECT_TRUE(keyboard.SeekFunction(DeviceFunctionKeyPress, Char('a')));
    EXPECT_FALSE(keyboard.SeekFunction(DeviceFunctionKeyPress, KeyCodeASCII));
    int32_t code = 0, extra = 0;
    ASSERT_TRUE(keyboard.PoolFunction(DeviceFunctionKeyPress, &code, &extra, false));
    EXPECT_EQ(code, KeyCodeASCII);
    EXPECT_EQ(extra, 'a');
    EXPECT_FALSE(keyboard.PoolFunction(DeviceFunctionKeyPress, &code, 0, false)) << "a pool always removes";
}

TEST_F(KeyboardTest, KeyFilterGivesOneEventPerPress)
{
    keyboard.SetKeyBounceFilter(KeyCodeEscape, true);
    held.Press(PlatformKeyEscape);
    EXPECT_EQ(Events(), std::vector<int32_t>{KeyCodeEscape});
    EXPECT_EQ(Events(), std::vector<int32_t>{});
    EXPECT_EQ(Events(), std::vector<int32_t>{});
    held.Release(PlatformKeyEscape);
    EXPECT_EQ(Events(), std::vector<int32_t>{});
    held.Press(PlatformKeyEscape);
    EXPECT_EQ(Events(), std::vector<int32_t>{KeyCodeEscape});
    // Without the filter a held key repeats at every update.
    keyboard.SetKeyBounceFilter(KeyCodeEscape, false);
    EXPECT_EQ(Events(), std::vector<int32_t>{KeyCodeEscape});
}

TEST_F(KeyboardTest, APressShorterThanAFrameIsSeen)
{
    held.Tap(PlatformKeySpace);
    EXPECT_EQ(Events(), std::vector<int32_t>{KeyCodeSpace});
    EXPECT_EQ(Events(), std::vector<int32_t>{});
}

// The ring's own filter: one event per burst of keys; once no key is held the next press is
// new (the keyboard never pushes the 0 that would tell the filter, so without that every key
// after the first would be refused for good).
TEST_F(KeyboardTest, RingFilterLetsTheNextPressThroughOnceKeysAreUp)
{
    keyboard.SetFunctionBounceFilter(DeviceFunctionKeyPress, true);
    held.Press(PlatformKeySpace);
    EXPECT_EQ(Events(), std::vector<int32_t>{KeyCodeSpace});
    EXPECT_EQ(Events(), std::vector<int32_t>{});
    held.Release(PlatformKeySpace);
    EXPECT_EQ(Events(), std::vector<int32_t>{});
    held.Press(PlatformKeyTab);
    EXPECT_EQ(Events(), std::vector<int32_t>{KeyCodeTab});
}

TEST_F(KeyboardTest, KeyCodesAndFunctionsOutOfRangeLogOneLineAndChangeNothing)
{
    nLogCapture log;
    for (int32_t code : {-1, 55, 2147483647}) keyboard.SetKeyBounceFilter(code, true);
    EXPECT_FALSE(keyboard.PoolFunction(-1, 0, 0, true));
    EXPECT_FALSE(keyboard.SeekFunction(29, 0));
    EXPECT_FALSE(keyboard.PoolFunction(DeviceFunctionAxisX, 0, 0, true));  // in range, not a keyboard function: quiet
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[*] Keyboard has no key -1.\n", "[*] Keyboard has no key 55.\n", "[*] Keyboard has no key 2147483647.\n",
                               "[*] Input function -1 is out of range.\n", "[*] Input function 29 is out of range.\n"}));
    EXPECT_TRUE(keyboard.IsFunctionSupported(DeviceFunctionKeyPress));
    EXPECT_FALSE(keyboard.IsFunctionSupported(DeviceFunctionButton0));
}

}  // namespace
