#ifndef N_PLATFORMINPUT_H
#define N_PLATFORMINPUT_H

#include <cstdint>

// Key numbers are USB HID keyboard usages (the scan codes of the layer below).
enum nPlatformKey
{
    PlatformKeyEscape = 41,
    PlatformKeyCount  = 512     // keys 0 to 511
};

// Messages, cursor and key state of the desktop the output windows live on. Main thread only;
// without a started video system every call does nothing and reads nothing.
namespace nPlatform
{
    // Takes pending window-system events into the state below without removing any event,
    // so that the player and the input devices still see them all.
    void PumpMessages();

    // True once a window was asked to close (or the process to quit) and until the request
    // is taken with ClearQuitRequest. The window itself stays until its owner destroys it.
    bool QuitRequested();
    void ClearQuitRequest();

    // Cursor position in pixels of the desktop; false (outputs 0) when unknown.
    bool GetCursorPosition(int32_t* x, int32_t* y);
    void ShowCursor(bool visible);
    bool IsCursorVisible();

    // Whether the key is held as of the last pump; keys outside 0..511 are never held. An
    // injected state replaces the real one for that key until cleared (tests drive the keys).
    bool IsKeyDown(int32_t key);
    void InjectKeyState(int32_t key, bool down);
    void ClearInjectedKeys();
}

#endif
