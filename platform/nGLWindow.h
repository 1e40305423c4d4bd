#ifndef N_GLWINDOW_H
#define N_GLWINDOW_H

#include <cstdint>

// Window modes of nGLWindow::CreateWindow.
enum nGLWindowMode
{
    GLWindowModeWindowed = 0,    // shown at (32, 32) with a frame
    GLWindowModeFullScreen = 1,  // the display's full-screen mode of the given size; the cursor hidden
    GLWindowModeHidden = 2       // as windowed, never shown
};

// Outcome of nGLWindow::CreateWindow.
enum nGLWindowResult
{
    GLWindowCreated = 0,
    GLWindowFullScreenFailed = 1,  // the display refused the full-screen mode; no window is left
    GLWindowFailed = 2             // no window could be made with any pixel format
};

// One output window with one OpenGL compatibility-profile context (never a core profile):
// double-buffered, 8 bits per colour channel without alpha, 24 depth bits, no stencil, with
// 4x multisampling when asked and offered. Main thread only. Creating the first window starts
// the video system, which then stays up for the process. Every failure is returned, never logged:
// the owner writes its own log line.
class nGLWindow
{
public:
    nGLWindow();
    ~nGLWindow();  // destroys context and window
    nGLWindow(const nGLWindow&) = delete;
    nGLWindow& operator=(const nGLWindow&) = delete;

    // A window of width x height pixels titled title. With multisample, a multisample pixel
    // format is tried first and the window made again without it when none is offered.
    nGLWindowResult CreateWindow(const char* title, int32_t width, int32_t height, int32_t mode, bool multisample);
    void DestroyWindow();  // the context first; nothing without a window
    bool HasWindow() const { return m_window != 0; }
    bool IsMultisampled() const { return m_multisampled; }  // the window got a multisample format
    void SetTitle(const char* title);

    bool CreateContext();   // false without a window or when the driver refuses
    void DestroyContext();  // makes no context current first
    bool HasContext() const { return m_context != 0; }
    bool MakeCurrent();            // false without a context or when refused
    static void ReleaseCurrent();  // no context current on this thread

    // Pixel size of the drawable (what GL draws into), read back from the system: a full-screen
    // request the display cannot honour leaves a window of another size. 0 x 0 without a window.
    void GetDrawableSize(int32_t* width, int32_t* height) const;
    void SwapBuffers();                      // nothing without a context
    bool SetSwapInterval(int32_t interval);  // 0: no wait for the vertical blank

    // Entry points of the current context. An extension counts as present only when the
    // driver's extension string lists it: the proc address alone proves nothing, as one is
    // returned for any name.
    static void* GetProcAddress(const char* name);       // NULL without a current context or for an unknown name
    static bool IsExtensionSupported(const char* name);  // false without a current context

    void* GetNativeHandle() const { return m_window; }  // the system window, for input devices

private:
    void* m_window;   // SDL_Window
    void* m_context;  // SDL_GLContext
    bool m_multisampled;
};

#endif
