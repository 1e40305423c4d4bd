#ifndef N_INTERFACEKEYBOARD_H
#define N_INTERFACEKEYBOARD_H

#include <cstdint>

#include "input/nInterfaceDevice.h"
#include "input/nInterfaceFunction.h"

// Key codes (the Key* script constants). The keyboard produces the 44 codes of its poll list
// (nInterfaceKeyboard.cpp) and KeyASCII for letters and digits; the others are never produced.
enum nKeyCode
{
    KeyCodeLShift = 0,
    KeyCodeRShift,
    KeyCodeLCtrl,
    KeyCodeRCtrl,
    KeyCodeLAlt,
    KeyCodeRAlt,
    KeyCodeLWin,
    KeyCodeRWin,
    KeyCodeLMenu,
    KeyCodeRMenu,
    KeyCodeTab,
    KeyCodeTilde,
    KeyCodeCapsLock,
    KeyCodeSpace,
    KeyCodeBackspace,
    KeyCodeReturn,
    KeyCodeInsert,
    KeyCodeSuppr,
    KeyCodeStart,
    KeyCodeEnd,
    KeyCodePageUp,
    KeyCodePageDown,
    KeyCodeUpArrow,
    KeyCodeDownArrow,
    KeyCodeLeftArrow,
    KeyCodeRightArrow,
    KeyCodeEscape,
    KeyCodeF1 = 27,  // F1 to F12: 27 to 38
    KeyCodePrintScreen = 39,
    KeyCodeScrollLock,
    KeyCodePause,
    KeyCodeNumLock,
    KeyCodeEnter,
    KeyCodeNumpad0 = 44,  // numeric pad 0 to 9: 44 to 53
    KeyCodeASCII = 54,    // a letter or digit: the event is (character << 8) | 54
    KeyCodeCount = 55
};

// The keyboard: one ring of key events (function 21, DeviceKeyPress), emptied at each Update.
// A key event is its code; a letter or digit is (character << 8) | KeyCodeASCII, a letter in
// upper case while either Shift key is held. A key's own bounce filter gives one event per
// press; the ring's filter one event per burst of keys (it forgets once no key is held).
class nInterfaceKeyboard : public nInterfaceDevice
{
public:
    nInterfaceKeyboard();  // calls nothing of the platform

    void SetFunctionBounceFilter(int32_t function, bool on) override;  // 21 only: the ring's filter
    bool IsFunctionSupported(int32_t function) override;               // 21
    bool Update() override;
    // 21 only, always removed: value := the code; for KeyCodeASCII, extra := the character.
    bool PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove) override;
    bool SeekFunction(int32_t function, int32_t value) override;  // the raw stored value, on 21

    // A code outside 0..54 logs "[*] Keyboard has no key <code>.\n" and changes nothing.
    void SetKeyBounceFilter(int32_t code, bool on);

private:
    bool PollKey(int32_t code, bool down);  // false when the ring refused the push

    nInterfaceFunction m_keys;
    uint8_t m_filter[KeyCodeCount];
    uint8_t m_wasDown[KeyCodeCount];
};

// The program's one keyboard, for scripts.
nInterfaceKeyboard& GetGlobalKeyboard();

#endif
