#ifndef N_INPUTEVENTS_H
#define N_INPUTEVENTS_H

// Events injected into the real event queue, as the window system would queue them, for tests
// of the input snapshot and the devices that read it. The pump consumes them at the next
// snapshot (nPlatform::TakeInputSnapshot).

#include <cstring>
#include <set>

#include <SDL.h>

#include "platform/nPlatformInput.h"

inline void PushKeyEvent(int32_t key, bool down)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof(e));
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = (SDL_Scancode)key;
    SDL_PushEvent(&e);
}

inline void PushButtonEvent(Uint8 button, bool down, Uint32 window = 0)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof(e));
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.windowID = window;
    SDL_PushEvent(&e);
}

inline void PushMotionEvent(Uint32 window, int32_t x, int32_t y)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof(e));
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = window;
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);
}

// Keys and buttons pressed through it are released again when it goes, so that the global
// input state of one test does not leak into the next.
class nHeldInput
{
public:
    ~nHeldInput() { ReleaseAll(); }
    void Press(int32_t key)
    {
        PushKeyEvent(key, true);
        m_keys.insert(key);
    }
    void Release(int32_t key)
    {
        PushKeyEvent(key, false);
        m_keys.erase(key);
    }
    void Tap(int32_t key)
    {
        PushKeyEvent(key, true);
        PushKeyEvent(key, false);
    }
    void PressButton(Uint8 b)
    {
        PushButtonEvent(b, true);
        m_buttons.insert(b);
    }
    void ReleaseButton(Uint8 b)
    {
        PushButtonEvent(b, false);
        m_buttons.erase(b);
    }
    void ReleaseAll()
    {
        for (int32_t key : m_keys) PushKeyEvent(key, false);
        for (Uint8 b : m_buttons) PushButtonEvent(b, false);
        m_keys.clear();
        m_buttons.clear();
        nPlatform::TakeInputSnapshot();
        nPlatform::TakeInputSnapshot();
    }

private:
    std::set<int32_t> m_keys;
    std::set<Uint8> m_buttons;
};

#endif
