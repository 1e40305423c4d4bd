#include "platform/nPlatformInput.h"

#include <cstring>

#include <SDL.h>

#include "platform/nPlatformJoystick.h"

namespace {
// Injected key states: 0 none, 1 up, 2 down.
uint8_t g_injectedKeys[PlatformKeyCount];
bool g_quitRequested = false;

// What the pump gathered since the last snapshot.
uint8_t g_keys[PlatformKeyCount];  // PlatformKeyHeld | PlatformKeyPressed
uint32_t g_buttonsHeld = 0;
uint32_t g_buttonsPressed = 0;
bool g_motionSeen = false;  // a motion event came since the last snapshot
Uint32 g_motionWindow = 0;
int32_t g_motionX = 0, g_motionY = 0;
uint32_t g_deviceChanges = 0;
Uint32 g_inputWindow = 0;  // SDL window id, 0 none

nInputSnapshot g_snapshot;

bool VideoStarted()
{
    return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

bool EventsStarted()
{
    return SDL_WasInit(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) != 0;
}

uint32_t ButtonBit(Uint8 button)
{
    switch (button) {
        case SDL_BUTTON_LEFT: return PlatformButtonLeft;
        case SDL_BUTTON_RIGHT: return PlatformButtonRight;
        case SDL_BUTTON_MIDDLE: return PlatformButtonMiddle;
        default: return 0;
    }
}

void TakeInputEvent(const SDL_Event& e)
{
    switch (e.type) {
        case SDL_KEYDOWN:
            if ((int32_t)e.key.keysym.scancode < (int32_t)PlatformKeyCount)
                g_keys[e.key.keysym.scancode] |= PlatformKeyHeld | PlatformKeyPressed;
            break;
        case SDL_KEYUP:
            if ((int32_t)e.key.keysym.scancode < (int32_t)PlatformKeyCount)
                g_keys[e.key.keysym.scancode] &= (uint8_t)~PlatformKeyHeld;
            break;
        case SDL_MOUSEBUTTONDOWN:
            g_buttonsHeld |= ButtonBit(e.button.button);
            g_buttonsPressed |= ButtonBit(e.button.button);
            break;
        case SDL_MOUSEBUTTONUP:
            g_buttonsHeld &= ~ButtonBit(e.button.button);
            break;
        case SDL_MOUSEMOTION:
            g_motionSeen = true;
            g_motionWindow = e.motion.windowID;
            g_motionX = e.motion.x;
            g_motionY = e.motion.y;
            break;
        case SDL_JOYDEVICEADDED:
        case SDL_JOYDEVICEREMOVED:
            ++g_deviceChanges;
            break;
        default:
            break;
    }
}

SDL_Window* InputWindow()
{
    if (!VideoStarted()) return 0;
    SDL_Window* window = g_inputWindow ? SDL_GetWindowFromID(g_inputWindow) : 0;
    return window ? window : SDL_GetMouseFocus();
}

// The cursor in client pixels of the input window: the last motion event of the frame
// when there was one over that window, else the desktop cursor less the window's position
// (so that a cursor outside the window is still measured).
void ReadCursor(nInputSnapshot& s, SDL_Window* window)
{
    if (!window) return;
    if (g_motionSeen && g_motionWindow == SDL_GetWindowID(window)) {
        s.cursorX = g_motionX;
        s.cursorY = g_motionY;
        return;
    }
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(window, &wx, &wy);
    s.cursorX = gx - wx;
    s.cursorY = gy - wy;
}
}

void nPlatform::PumpMessages()
{
    if (!EventsStarted()) return;
    SDL_PumpEvents();
    // Input events are consumed: the snapshot is where input is read.
    SDL_Event input[64];
    int taken;
    while ((taken = SDL_PeepEvents(input, 64, SDL_GETEVENT, SDL_KEYDOWN, SDL_CLIPBOARDUPDATE - 1)) > 0)
        for (int i = 0; i < taken; ++i) TakeInputEvent(input[i]);
    // Peeking leaves the other events in the queue for the player.
    if (SDL_HasEvent(SDL_QUIT)) g_quitRequested = true;
    if (!SDL_HasEvent(SDL_WINDOWEVENT)) return;
    SDL_Event events[16];
    int count = SDL_PeepEvents(events, 16, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < count; ++i)
        if (events[i].window.event == SDL_WINDOWEVENT_CLOSE) g_quitRequested = true;
}

void nPlatform::TakeInputSnapshot()
{
    PumpMessages();
    nInputSnapshot& s = g_snapshot;
    const uint32_t frame = s.frame + 1;
    std::memset(&s, 0, sizeof(s));
    s.frame = frame;
    for (int32_t key = 0; key < PlatformKeyCount; ++key)
        s.keys[key] = g_injectedKeys[key] ? (g_injectedKeys[key] == 2 ? PlatformKeyHeld : 0) : g_keys[key];
    s.buttonsHeld = g_buttonsHeld;
    s.buttonsPressed = g_buttonsPressed;
    s.deviceChanges = g_deviceChanges;
    if (SDL_Window* window = InputWindow()) {
        SDL_GetWindowSize(window, &s.clientWidth, &s.clientHeight);
        ReadCursor(s, window);
        SDL_Rect bounds;
        if (SDL_GetDisplayUsableBounds(SDL_GetWindowDisplayIndex(window), &bounds) == 0) s.screenWidth = bounds.w;
    }
    for (uint8_t& key : g_keys) key &= PlatformKeyHeld;
    g_buttonsPressed = 0;
    g_motionSeen = false;
    nPlatformJoystick::CaptureAll();
}

const nInputSnapshot& nPlatform::GetInputSnapshot()
{
    return g_snapshot;
}

void nPlatform::SetInputWindow(void* window)
{
    g_inputWindow = (window && VideoStarted()) ? SDL_GetWindowID(static_cast<SDL_Window*>(window)) : 0;
}

bool nPlatform::WarpCursor(int32_t x, int32_t y)
{
    SDL_Window* window = InputWindow();
    if (!window) return false;
    SDL_WarpMouseInWindow(window, x, y);
    return true;
}

bool nPlatform::QuitRequested()
{
    return g_quitRequested;
}

void nPlatform::ClearQuitRequest()
{
    g_quitRequested = false;
}

bool nPlatform::GetCursorPosition(int32_t* x, int32_t* y)
{
    int cx = 0, cy = 0;
    bool known = VideoStarted();
    if (known) SDL_GetGlobalMouseState(&cx, &cy);
    if (x) *x = cx;
    if (y) *y = cy;
    return known;
}

void nPlatform::ShowCursor(bool visible)
{
    if (VideoStarted()) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool nPlatform::IsCursorVisible()
{
    return VideoStarted() && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
}

bool nPlatform::IsKeyDown(int32_t key)
{
    if (key < 0 || key >= PlatformKeyCount) return false;
    if (g_injectedKeys[key]) return g_injectedKeys[key] == 2;
    return g_keys[key] != 0;
}

void nPlatform::InjectKeyState(int32_t key, bool down)
{
    if (key < 0 || key >= PlatformKeyCount) return;
    g_injectedKeys[key] = down ? 2 : 1;
}

void nPlatform::ClearInjectedKeys()
{
    for (int i = 0; i < PlatformKeyCount; ++i) g_injectedKeys[i] = 0;
}

int32_t nPlatform::GetKeyForCharacter(char c)
{
    int32_t us;
    if (c >= 'a' && c <= 'z') us = PlatformKeyA + (c - 'a');
    else if (c >= '1' && c <= '9') us = PlatformKey1 + (c - '1');
    else if (c == '0') us = PlatformKey0;
    else return -1;
    if (!VideoStarted()) return us;
    SDL_Scancode code = SDL_GetScancodeFromKey((SDL_Keycode)c);
    return (code != SDL_SCANCODE_UNKNOWN && (int32_t)code < (int32_t)PlatformKeyCount) ? (int32_t)code : us;
}
