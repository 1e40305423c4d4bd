#ifndef N_PLATFORMINPUT_H
#define N_PLATFORMINPUT_H

#include <cstdint>

// Key numbers are USB HID keyboard usages (the scan codes of the layer below): where a key
// sits on the keyboard, whatever its layout prints on it.
enum nPlatformKey
{
    PlatformKeyA = 4,   // letters A to Z: 4 to 29 on a US layout
    PlatformKey1 = 30,  // digits 1 to 9: 30 to 38, 0: 39 on a US layout
    PlatformKey0 = 39,
    PlatformKeyReturn = 40,
    PlatformKeyEscape = 41,
    PlatformKeyBackspace = 42,
    PlatformKeyTab = 43,
    PlatformKeySpace = 44,
    PlatformKeyF1 = 58,  // F1 to F12: 58 to 69
    PlatformKeyPrintScreen = 70,
    PlatformKeyScrollLock = 71,
    PlatformKeyPause = 72,
    PlatformKeyPageUp = 75,
    PlatformKeyPageDown = 78,
    PlatformKeyRight = 79,
    PlatformKeyLeft = 80,
    PlatformKeyDown = 81,
    PlatformKeyUp = 82,
    PlatformKeyNumLock = 83,
    PlatformKeyNumpad1 = 89,  // numeric pad 1 to 9: 89 to 97, 0: 98
    PlatformKeyNumpad0 = 98,
    PlatformKeyLCtrl = 224,
    PlatformKeyLShift = 225,
    PlatformKeyLAlt = 226,
    PlatformKeyLGui = 227,  // the left Windows key
    PlatformKeyRCtrl = 228,
    PlatformKeyRShift = 229,
    PlatformKeyRAlt = 230,
    PlatformKeyRGui = 231,
    PlatformKeyCount = 512  // keys 0 to 511
};

// Mouse buttons of the snapshot, as bits.
enum nPlatformButton
{
    PlatformButtonLeft = 1,
    PlatformButtonRight = 2,
    PlatformButtonMiddle = 4
};

// Key flags of the snapshot.
enum
{
    PlatformKeyHeld = 1,    // down when the snapshot was taken
    PlatformKeyPressed = 2  // went down at least once since the previous snapshot
};

// One frame's input, fixed once per frame by TakeInputSnapshot from what the event pump
// gathered. Every reader of the frame sees the same values, so a key or a click shorter than a
// frame is seen by each of them (Pressed), not only by the first one.
struct nInputSnapshot
{
    uint8_t keys[PlatformKeyCount];  // PlatformKeyHeld | PlatformKeyPressed
    uint32_t buttonsHeld;            // nPlatformButton bits down at the snapshot
    uint32_t buttonsPressed;         // bits that went down since the previous snapshot
    int32_t cursorX, cursorY;        // cursor in pixels of the input window's client area; may lie outside it
    int32_t clientWidth;             // client size of the input window; 0 x 0 without one
    int32_t clientHeight;
    int32_t screenWidth;     // usable width of the desktop; 0 when unknown
    uint32_t deviceChanges;  // counts every controller attached or removed since start
    uint32_t frame;          // counts the snapshots taken

    bool IsKeyDown(int32_t key) const { return key >= 0 && key < PlatformKeyCount && keys[key] != 0; }
    bool IsButtonDown(uint32_t bit) const { return ((buttonsHeld | buttonsPressed) & bit) != 0; }
};

// Messages, cursor and key state of the desktop the output windows live on. Main thread only;
// without a started video system the pump and the cursor calls do nothing and read nothing.
namespace nPlatform {
// Takes pending window-system events into the input state: keyboard, mouse and controller
// events are consumed here (nothing else reads them), quit and window events stay in the
// queue for their owners.
void PumpMessages();

// Pumps, then fixes the input of the frame to come: the snapshot every input device reads
// until the next call. The player takes one per frame, before the scripts run.
void TakeInputSnapshot();
const nInputSnapshot& GetInputSnapshot();

// The window whose client area the cursor is measured in (its native handle, NULL none).
// Only the window's id is kept, so a window destroyed later reads as none.
void SetInputWindow(void* window);
// Puts the cursor at (x, y) of the input window's client area; false without one.
bool WarpCursor(int32_t x, int32_t y);

// True once a window was asked to close (or the process to quit) and until the request
// is taken with ClearQuitRequest. The window itself stays until its owner destroys it.
bool QuitRequested();
void ClearQuitRequest();

// Cursor position in pixels of the desktop; false (outputs 0) when unknown.
bool GetCursorPosition(int32_t* x, int32_t* y);
void ShowCursor(bool visible);
bool IsCursorVisible();

// Whether the key is held, or went down since the last snapshot, as of the last pump;
// keys outside 0..511 are never held. An injected state replaces the real one for that
// key until cleared (tests drive the keys).
bool IsKeyDown(int32_t key);
void InjectKeyState(int32_t key, bool down);
void ClearInjectedKeys();

// The key that types the character on the current layout ('a'..'z', '0'..'9'); the US
// position without a video system, -1 for other characters.
int32_t GetKeyForCharacter(char c);
}

#endif
