#include "platform/nPlatformInput.h"

#include <SDL.h>

namespace
{
    // Injected key states: 0 none, 1 up, 2 down.
    uint8_t g_injectedKeys[PlatformKeyCount];
    bool    g_quitRequested = false;

    bool VideoStarted()
    {
        return SDL_WasInit(SDL_INIT_VIDEO) != 0;
    }
}

void nPlatform::PumpMessages()
{
    if (!VideoStarted()) return;
    SDL_PumpEvents();
    // Peeking leaves the events in the queue for the player and the input devices.
    if (SDL_HasEvent(SDL_QUIT)) g_quitRequested = true;
    if (!SDL_HasEvent(SDL_WINDOWEVENT)) return;
    SDL_Event events[16];
    int count = SDL_PeepEvents(events, 16, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < count; ++i)
        if (events[i].window.event == SDL_WINDOWEVENT_CLOSE) g_quitRequested = true;
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
    if (!VideoStarted()) return false;
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    return state && key < count && state[key] != 0;
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
