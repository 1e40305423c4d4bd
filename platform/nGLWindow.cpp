#include "platform/nGLWindow.h"

#include <SDL.h>

namespace {
// The video system starts with the first window and stays up for the life of the
// process: input devices and later windows share it, and the GL driver it loaded stays
// loaded, so that nothing it keeps is ever released from under a live pointer.
bool StartVideo()
{
    static bool started = false;
    if (!started) {
        started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        // One load of the GL library of our own: destroying the last window would
        // otherwise unload it.
        if (started) SDL_GL_LoadLibrary(0);
    }
    return started;
}

// The attributes go to SDL before the window exists: they choose its pixel format.
void SetContextAttributes(bool multisample)
{
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, multisample ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, multisample ? 4 : 0);
}
}

nGLWindow::nGLWindow() : m_window(0), m_context(0), m_multisampled(false)
{
}

nGLWindow::~nGLWindow()
{
    DestroyWindow();
}

nGLWindowResult nGLWindow::CreateWindow(const char* title, int32_t width, int32_t height, int32_t mode, bool multisample)
{
    DestroyWindow();
    if (width <= 0 || height <= 0) return GLWindowFailed;
    if (!StartVideo()) return GLWindowFailed;

    Uint32 flags = SDL_WINDOW_OPENGL;
    if (mode == GLWindowModeHidden) flags |= SDL_WINDOW_HIDDEN;
    else flags |= SDL_WINDOW_SHOWN;
    int x = 32, y = 32;
    if (mode == GLWindowModeFullScreen) {
        flags |= SDL_WINDOW_FULLSCREEN;
        x = y = 0;
    }

    SDL_Window* window = 0;
    if (multisample) {
        SetContextAttributes(true);
        window = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
        m_multisampled = window != 0;
    }
    if (!window) {
        SetContextAttributes(false);
        window = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
        m_multisampled = false;
    }
    if (!window) {
        return mode == GLWindowModeFullScreen ? GLWindowFullScreenFailed : GLWindowFailed;
    }
    m_window = window;
    if (mode == GLWindowModeFullScreen) SDL_ShowCursor(SDL_DISABLE);
    return GLWindowCreated;
}

void nGLWindow::DestroyWindow()
{
    DestroyContext();
    if (m_window) {
        SDL_DestroyWindow(static_cast<SDL_Window*>(m_window));
        m_window = 0;
    }
    m_multisampled = false;
}

void nGLWindow::SetTitle(const char* title)
{
    if (m_window) SDL_SetWindowTitle(static_cast<SDL_Window*>(m_window), title ? title : "");
}

bool nGLWindow::CreateContext()
{
    if (!m_window) return false;
    DestroyContext();
    // The attributes in force must be those the window was made with.
    SetContextAttributes(m_multisampled);
    m_context = SDL_GL_CreateContext(static_cast<SDL_Window*>(m_window));
    return m_context != 0;
}

void nGLWindow::DestroyContext()
{
    if (!m_context) return;
    if (SDL_GL_GetCurrentContext() == m_context) SDL_GL_MakeCurrent(static_cast<SDL_Window*>(m_window), 0);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_context));
    m_context = 0;
}

bool nGLWindow::MakeCurrent()
{
    if (!m_window || !m_context) return false;
    return SDL_GL_MakeCurrent(static_cast<SDL_Window*>(m_window), static_cast<SDL_GLContext>(m_context)) == 0;
}

void nGLWindow::ReleaseCurrent()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GL_GetCurrentContext())
        SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), 0);
}

void nGLWindow::GetDrawableSize(int32_t* width, int32_t* height) const
{
    int w = 0, h = 0;
    if (m_window) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(m_window), &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

void nGLWindow::SwapBuffers()
{
    if (m_window && m_context) SDL_GL_SwapWindow(static_cast<SDL_Window*>(m_window));
}

bool nGLWindow::SetSwapInterval(int32_t interval)
{
    if (!m_context) return false;
    return SDL_GL_SetSwapInterval(interval) == 0;
}

void* nGLWindow::GetProcAddress(const char* name)
{
    if (!name || !SDL_WasInit(SDL_INIT_VIDEO) || !SDL_GL_GetCurrentContext()) return 0;
    return SDL_GL_GetProcAddress(name);
}

bool nGLWindow::IsExtensionSupported(const char* name)
{
    if (!name || !SDL_WasInit(SDL_INIT_VIDEO) || !SDL_GL_GetCurrentContext()) return false;
    return SDL_GL_ExtensionSupported(name) == SDL_TRUE;
}
