#pragma once
// nGLRendererFixture: an engine with an OpenGL renderer opened on a hidden 128 x 96 window,
// pixel probes and a pixel-space projection. Tests skip only when no display can be opened.

#include <gtest/gtest.h>

#include <SDL.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"

inline bool GLDisplayAvailable()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

#define QZ_REQUIRE_GL_DISPLAY() \
    if (!GLDisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError()

struct nRGBA
{
    int r, g, b, a;
};

// Each channel within tolerance (0..255).
inline ::testing::AssertionResult PixelNear(const nRGBA& got, const nRGBA& want, int tolerance = 2)
{
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance && std::abs(got.a - want.a) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << got.r << ", " << got.g << ", " << got.b << ", " << got.a
                                         << ") wanted (" << want.r << ", " << want.g << ", " << want.b << ", "
                                         << want.a << ")";
}

// The back buffer at (x, y), y counted from the bottom as GL does. Alpha is forced to 255 by
// a buffer without alpha.
inline nRGBA ReadPixel(int x, int y)
{
    uint8_t p[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return nRGBA{p[0], p[1], p[2], p[3]};
}

// Row-major projection from pixel coordinates (origin bottom left, y up, z 0) to clip space.
inline nMatrix4 PixelProjection(float width, float height)
{
    nMatrix4 m;
    m.m[0] = 2.0f / width;
    m.m[3] = -1.0f;
    m.m[5] = 2.0f / height;
    m.m[7] = -1.0f;
    m.m[10] = -1.0f;
    return m;
}

// Every GL error the driver reports while installed, as it happens: a glGetError in a test
// cannot swallow one unnoticed.
class nGLErrorRecorder
{
public:
    void Install()
    {
        auto enable = reinterpret_cast<PFNGLDEBUGMESSAGECALLBACKPROC>(SDL_GL_GetProcAddress("glDebugMessageCallback"));
        if (!enable || !SDL_GL_ExtensionSupported("GL_KHR_debug")) return;
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        enable(&nGLErrorRecorder::Callback, this);
    }

    const std::vector<std::string>& Errors() const { return m_errors; }

private:
    static void APIENTRY Callback(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                  const GLchar* message, const void* user)
    {
        // A shader that fails to compile is reported by the program that compiles it, not as a
        // GL error: the compiler's messages are left to those checks.
        if (type == GL_DEBUG_TYPE_ERROR && source != GL_DEBUG_SOURCE_SHADER_COMPILER)
            static_cast<nGLErrorRecorder*>(const_cast<void*>(user))->m_errors.push_back(message ? message : "");
    }

    std::vector<std::string> m_errors;
};

class nGLRendererTest : public ::testing::Test
{
protected:
    static const int32_t kWidth = 128;
    static const int32_t kHeight = 96;

    void SetUp() override
    {
        if (!GLDisplayAvailable()) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
        renderer = new nGL3Renderer(&engine, true);
        ConfigureBeforeOpen(*renderer);
        ASSERT_TRUE(renderer->Open(kWidth, kHeight, 32, 2));
        errors.Install();
        renderer->SetProjectionMatrix(PixelProjection((float)kWidth, (float)kHeight));
        renderer->SetViewMatrix(nMatrix4());
        renderer->SetModelMatrix(nMatrix4());
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }

    void TearDown() override
    {
        if (renderer && renderer->IsOpen()) {
            EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "GL error left by the test";
            EXPECT_TRUE(errors.Errors().empty()) << "GL error during the test: " << errors.Errors().front();
        }
        delete renderer;
        renderer = 0;
    }

    virtual void ConfigureBeforeOpen(nGL3Renderer& r) {}

    nOrvex engine;
    nGL3Renderer* renderer = 0;
    nGLErrorRecorder errors;
};
