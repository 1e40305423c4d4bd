// OpenGL renderer output: opening in each mode, the start-up lines, refusals, closing and
// reopening, resizing, presentation, the entry-point table with drivers that lack entries,
// and the GL error report.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "platform/nPlatformInput.h"
#include "core/nMetaTag.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nTexture.h"
#include "tests/support/nLogCapture.h"

namespace {
bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A driver that lacks the named entry points and records every name asked for.
struct DenyingDriver
{
    std::set<std::string> denied;
    std::vector<std::string> asked;

    static void* Lookup(const char* name, void* context)
    {
        DenyingDriver* self = static_cast<DenyingDriver*>(context);
        self->asked.push_back(name);
        if (self->denied.count(name)) return 0;
        return nGL3Renderer::LookupDriverEntryPoint(name);
    }
};
}

TEST(GLRendererOpen, HiddenModeStartsUpWithItsLinesAndMarksTheRendererOpen)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    EXPECT_EQ(engine.GetRenderer(), &renderer);
    renderer.SetControlFlag(RendererControlExposure | RendererControlAmbientOcclusion, true);
    nLogCapture log;
    ASSERT_TRUE(renderer.Open(128, 96, 32, 2));
    std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "[H] Starting OpenGL 3 renderer...\n");
    EXPECT_EQ(lines[1], "No supersampling.\n");
    EXPECT_EQ(lines[2], "No HDR support.\n");
    EXPECT_EQ(lines[3], "[H] Fetch GL extensions...\n");
    EXPECT_TRUE(Contains(lines, "Renderer instantiated with shader support.\n"));
    EXPECT_TRUE(Contains(lines, "Version: " + std::string((const char*)glGetString(GL_VERSION)) + "\n"));
    EXPECT_TRUE(Contains(lines, "Card MRT supports up to " + std::to_string(renderer.GetDrawBufferCount()) + " target(s).\n"));
    EXPECT_GE(renderer.GetDrawBufferCount(), 1);
    EXPECT_FALSE(renderer.TestControlFlag(RendererControlExposure));  // no float targets
    EXPECT_TRUE(renderer.IsOpen());
    EXPECT_FALSE(renderer.IsClosed());
    EXPECT_NE(renderer.GetWindowHandle(), nullptr);
    EXPECT_STREQ(renderer.GetDescription(), "OpenGL Deferred");
    nVector2 size;
    renderer.GetOutputSize(size);
    EXPECT_EQ(size.x, 128.0f);
    EXPECT_EQ(size.y, 96.0f);
    int32_t x = -1, y = -1, w = -1, h = -1;
    renderer.GetViewport(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 96);
    SDL_Window* window = static_cast<SDL_Window*>(renderer.GetWindowHandle());
    EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN, 0u);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(GLRendererOpen, FlagsChooseTheSupersamplingAndHdrLines)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    renderer.SetSystemFlag(RendererSystemAntialiasing | RendererSystemUseFloatTarget, true);
    renderer.SetControlFlag(RendererControlExposure, true);
    nLogCapture log;
    ASSERT_TRUE(renderer.Open(64, 64, 32, 2));
    std::vector<std::string> lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Using 4x supersampling.\n");
    EXPECT_EQ(lines[2], "Full HDR support.\n");
    EXPECT_TRUE(renderer.TestControlFlag(RendererControlExposure));
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    EXPECT_EQ(glIsEnabled(GL_MULTISAMPLE) == GL_TRUE, samples > 1);
}

TEST(GLRendererOpen, AnUnknownModeWarnsAndOpensAShownWindow)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    nLogCapture log;
    ASSERT_TRUE(renderer.Open(64, 48, 32, 5));
    EXPECT_TRUE(Contains(log.Lines(), "[*] Unsupported mode (5), defaulting to windowed.\n"));
    SDL_Window* window = static_cast<SDL_Window*>(renderer.GetWindowHandle());
    ASSERT_NE(window, nullptr);
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN, 0u);
}

TEST(GLRendererOpen, FullScreenReportsTheSizeTheDisplayGave)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    if (!renderer.Open(320, 240, 32, 1)) GTEST_SKIP() << "the display has no full-screen mode";
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(renderer.GetWindowHandle()), &w, &h);
    nVector2 size;
    renderer.GetOutputSize(size);
    EXPECT_EQ(size.x, (float)w);
    EXPECT_EQ(size.y, (float)h);
    EXPECT_FALSE(nPlatform::IsCursorVisible());
    renderer.Close();
    EXPECT_EQ(renderer.GetWindowHandle(), nullptr);
}

TEST(GLRendererOpen, ASecondOpenIsRefusedAndKeepsTheFirstOutput)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    ASSERT_TRUE(renderer.Open(64, 48, 32, 2));
    void* window = renderer.GetWindowHandle();
    nLogCapture log;
    EXPECT_FALSE(renderer.Open(32, 32, 32, 2));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[*] Renderer is already open, will not reopen without closing first.\n"}));
    EXPECT_EQ(renderer.GetWindowHandle(), window);
    nVector2 size;
    EXPECT_EQ(renderer.GetOutputSize(size).x, 64.0f);
    EXPECT_TRUE(renderer.OpenOnWindow(window, 32, 32, true));  // already open: the same warning, true
}

TEST(GLRendererOpen, CloseThenOpenAgainGivesAWorkingNewOutput)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    renderer.SetSystemFlag(RendererSystemDisableMultipleRenderTarget, true);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        renderer.SetSystemFlag(RendererSystemDisableMultipleRenderTarget, round == 0);
        nLogCapture log;
        ASSERT_TRUE(renderer.Open(64 + round * 8, 48, 32, 2));
        EXPECT_EQ(Contains(log.Lines(), "[*] MRT support is disabled.\n"), round == 0);
        renderer.Clear(0.0f, 1.0f, 0.0f, 1.0f, false);
        EXPECT_TRUE(PixelNear(ReadPixel(5, 5), nRGBA{0, 255, 0, 255}));
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        renderer.Close();
        EXPECT_FALSE(renderer.IsOpen());
        EXPECT_TRUE(renderer.IsClosed());
        EXPECT_EQ(renderer.GetWindowHandle(), nullptr);
        EXPECT_FALSE(renderer.TestSystemFlag(RendererSystemDisableMultipleRenderTarget));
        EXPECT_EQ(renderer.GetTextureBytes(), 0u);
        EXPECT_EQ(renderer.GetGeometryBytes(), 0u);
    }
}

TEST(GLRendererOpen, AWindowThatCannotBeMadeFailsTheOpenWithNothingLeft)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    for (int32_t width : {0, -5}) {
        nLogCapture log;
        EXPECT_FALSE(renderer.Open(width, 48, 32, 2));
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] no compatible display mode found.\n"}));
        EXPECT_FALSE(renderer.IsOpen());
        EXPECT_TRUE(renderer.IsClosed());
        EXPECT_EQ(renderer.GetWindowHandle(), nullptr);
        EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    }
    EXPECT_TRUE(renderer.Open(64, 48, 32, 2));
}

TEST(GLRendererOpen, DestroyingTheOpenRendererClosesItAndHandsBackTheNullRenderer)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer* renderer = new nGL3Renderer(&engine, true);
    ASSERT_TRUE(renderer->Open(32, 32, 32, 2));
    delete renderer;
    EXPECT_EQ(engine.GetRenderer(), (nRenderer*)engine.GetNullRenderer());
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
}

TEST(GLRendererOpen, ResizeNeedsAnOpenRendererAndNonZeroEdges)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    EXPECT_FALSE(renderer.Resize(200, 100));  // not open
    ASSERT_TRUE(renderer.Open(128, 96, 32, 2));
    const struct
    {
        int32_t w, h;
    } refused[] = {{0, 600}, {800, 0}, {0, 0}};
    for (const auto& r : refused) {
        EXPECT_FALSE(renderer.Resize(r.w, r.h));
        nVector2 size;
        renderer.GetOutputSize(size);
        EXPECT_EQ(size.x, 128.0f);
        EXPECT_EQ(size.y, 96.0f);
    }
    EXPECT_TRUE(renderer.Resize(64, 32));
    nVector2 size;
    renderer.GetOutputSize(size);
    EXPECT_EQ(size.x, 64.0f);
    EXPECT_EQ(size.y, 32.0f);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 32);
    // The window did not change: reading the output size back gives the window again.
    renderer.UpdateOutputSize();
    renderer.GetOutputSize(size);
    EXPECT_EQ(size.x, 128.0f);
    EXPECT_EQ(size.y, 96.0f);
}

TEST(GLRendererOpen, TheOutputSizeIsTheRenderTargetsWhileOneIsSet)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    ASSERT_TRUE(renderer.Open(128, 96, 32, 2));
    nTexture target(&engine, 1, 0);
    target.SetSizeOnly(256, 128);
    nVector2 size;
    renderer.SetRenderTarget(&target);
    renderer.GetOutputSize(size);
    EXPECT_EQ(size.x, 256.0f);
    EXPECT_EQ(size.y, 128.0f);
    renderer.SetRenderTarget(0);
    EXPECT_EQ(&renderer.GetOutputSize(size), &size);
    EXPECT_EQ(size.x, 128.0f);
    EXPECT_EQ(size.y, 96.0f);
}

TEST(GLRendererOpen, TheShadowMapSizeIsHeldTo4096AndToWhatTheDriverCanMake)
{
    QZ_REQUIRE_GL_DISPLAY();
    const struct
    {
        const char* label;
        bool set;
        int32_t value;
        bool warns;
    } cases[] = {
        {"default", false, 0, false},
        {"zero", true, 0, true},
        {"in range", true, 512, false},
        {"beyond the largest", true, 8192, true},
        {"beyond the driver", true, 1 << 30, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nOrvex engine;
        nGL3Renderer renderer(&engine, true);
        if (c.set) {
            nMetaTag* root = new nMetaTag("ShadowMapping");
            root->AddChild(new nMetaTag("Size", c.value), false);
            renderer.GetRegistry().Add(root, true, true);
        }
        nLogCapture log;
        ASSERT_TRUE(renderer.Open(32, 32, 32, 2));
        GLint largest = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
        if (largest > 4096) largest = 4096;  // six maps of more would take gigabytes
        int32_t expected = !c.set ? 1024 : c.value < 16    ? 16
                                       : c.value > largest ? largest
                                                           : c.value;
        EXPECT_EQ(renderer.GetShadowMapSize(), expected);
        std::string warning = "[*] Shadow map size " + std::to_string(c.value) + " is out of range, using " +
                              std::to_string(expected) + ".\n";
        EXPECT_EQ(Contains(log.Lines(), warning), c.warns);
    }
}

TEST(GLRendererOpen, PresentPumpsMessagesExceptInToolEditMode)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    ASSERT_TRUE(renderer.Open(32, 32, 32, 2));
    for (int32_t toolMode : {ToolEdit, NoTool}) {
        SCOPED_TRACE(toolMode);
        engine.SetToolMode(toolMode);
        SDL_FlushEvent(SDL_QUIT);
        nPlatform::ClearQuitRequest();
        SDL_Event quit;
        std::memset(&quit, 0, sizeof(quit));
        quit.type = SDL_QUIT;
        ASSERT_EQ(SDL_PushEvent(&quit), 1);
        renderer.Present();
        EXPECT_EQ(nPlatform::QuitRequested(), toolMode != ToolEdit);
        EXPECT_NE(renderer.GetWindowHandle(), nullptr);  // a close request never destroys the window
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
    SDL_FlushEvent(SDL_QUIT);
    nPlatform::ClearQuitRequest();
}

TEST(GLRendererOpen, OutputRecordsAcceptOnlyTheRenderersWindow)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    ASSERT_TRUE(renderer.Open(32, 32, 32, 2));
    nRenderOutput output = {0, 0};
    nLogCapture log;
    EXPECT_TRUE(renderer.SetupOutputWindow(renderer.GetWindowHandle(), &output));
    EXPECT_EQ(output.window, renderer.GetWindowHandle());
    renderer.MakeCurrent(&output);
    EXPECT_TRUE(log.Lines().empty());
    renderer.ReleaseOutput(&output);
    EXPECT_EQ(output.deviceContext, nullptr);
    int other = 0;
    EXPECT_FALSE(renderer.SetupOutputWindow(&other, &output));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Couldn't get a device context for rendering window.\n"}));
}

// Drivers that lack entry points, table-driven. "Open" is whether the start-up succeeds.
TEST(GLRendererEntryPoints, MissingEntriesFollowTheirKind)
{
    QZ_REQUIRE_GL_DISPLAY();
    const struct
    {
        const char* label;
        std::vector<std::string> denied;
        bool disableShader;
        bool opens;
        std::vector<std::string> expectedLines;
        std::vector<std::string> absentLines;
        const char* description;
    } cases[] = {
        {"no frame buffer objects", {"glGenFramebuffersEXT", "glGenerateMipmapEXT"}, false, true, {"[*] glGenerateMipmapEXT is not supported by this driver.\n", "[*] glGenFramebuffersEXT is not supported by this driver.\n", "[*] Driver has no frame buffer objects, defaulting to fixed-function pipeline.\n", "Renderer instantiated with no shader support.\n"}, {"[*] glBindFramebufferEXT is not supported by this driver.\n"}, "OpenGL Fixed-function"},
        {"no GLSL", {"glCreateProgramObjectARB"}, false, true, {"[*] glCreateProgramObjectARB is not supported by this driver.\n", "[*] Driver has no support for GLSL, defaulting to fixed-function pipeline.\n", "Renderer instantiated with no shader support.\n"}, {}, "OpenGL Fixed-function"},
        {"shaders disabled", {}, true, true, {"Renderer instantiated with no shader support.\n"}, {"[*] Driver has no support for GLSL, defaulting to fixed-function pipeline.\n"}, "OpenGL Fixed-function"},
        {"no matrix uniforms", {"glUniformMatrix4fv"}, false, false, {"[!] glUniformMatrix4fv is not supported by this driver.\n"}, {}, "OpenGL Deferred"},
        {"no buffers", {"glGenBuffersARB"}, false, false, {"[!] glGenBuffersARB is not supported by this driver.\n"}, {"[*] glGenFramebuffersEXT is not supported by this driver.\n"}, "OpenGL Deferred"},
        {"no queries", {"glGenQueriesARB", "glClampColorARB"}, false, true, {"[*] glGenQueriesARB is not supported by this driver.\n", "[*] glClampColorARB is not supported by this driver.\n", "Renderer instantiated with shader support.\n"}, {}, "OpenGL Deferred"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nOrvex engine;
        nGL3Renderer renderer(&engine, true);
        renderer.SetSystemFlag(RendererSystemDisableShader, c.disableShader);
        DenyingDriver driver;
        driver.denied.insert(c.denied.begin(), c.denied.end());
        renderer.SetEntryPointLookup(&DenyingDriver::Lookup, &driver);
        nLogCapture log;
        EXPECT_EQ(renderer.Open(64, 48, 32, 2), c.opens);
        std::vector<std::string> lines = log.Lines();
        for (const std::string& line : c.expectedLines) EXPECT_TRUE(Contains(lines, line)) << line;
        for (const std::string& line : c.absentLines) EXPECT_FALSE(Contains(lines, line)) << line;
        EXPECT_STREQ(renderer.GetDescription(), c.description);
        if (c.disableShader) {
            EXPECT_EQ(std::count(driver.asked.begin(), driver.asked.end(), "glCreateProgramObjectARB"), 0);
        }
        if (c.opens) {
            EXPECT_TRUE(renderer.IsOpen());
            // Fixed-function drawing never sees a program entry point.
            if (std::string(c.description) == "OpenGL Fixed-function") {
                EXPECT_EQ(renderer.GetEntryPoints()->UseProgramObjectARB, nullptr);
            } else {
                EXPECT_NE(renderer.GetEntryPoints()->UseProgramObjectARB, nullptr);
            }
            renderer.Clear(0.0f, 0.0f, 1.0f, 1.0f, false);
            EXPECT_TRUE(PixelNear(ReadPixel(3, 3), nRGBA{0, 0, 255, 255}));
            EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        } else {
            // Nothing is left half open.
            EXPECT_FALSE(renderer.IsOpen());
            EXPECT_TRUE(renderer.IsClosed());
            EXPECT_EQ(renderer.GetWindowHandle(), nullptr);
            EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
        }
    }
}

TEST(GLRendererEntryPoints, TheDriverLookupOffersOnlyListedExtensions)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    ASSERT_TRUE(renderer.Open(32, 32, 32, 2));
    EXPECT_NE(nGL3Renderer::LookupDriverEntryPoint("glActiveTextureARB"), nullptr);
    EXPECT_NE(nGL3Renderer::LookupDriverEntryPoint("glUniformMatrix4fv"), nullptr);
    EXPECT_EQ(nGL3Renderer::LookupDriverEntryPoint("glBogusFunctionXYZ"), nullptr);
    EXPECT_EQ(nGL3Renderer::LookupDriverEntryPoint(nullptr), nullptr);
    const nGLEntryPoints* gl = renderer.GetEntryPoints();
    EXPECT_NE(gl->GenBuffersARB, nullptr);
    EXPECT_NE(gl->BindFramebufferEXT, nullptr);
    EXPECT_NE(gl->UniformMatrix4fv, nullptr);
    EXPECT_NE(gl->DrawBuffers, nullptr);
}

TEST(GLRendererEntryPoints, CheckGLErrorNamesThePendingError)
{
    QZ_REQUIRE_GL_DISPLAY();
    nOrvex engine;
    nGL3Renderer renderer(&engine, true);
    ASSERT_TRUE(renderer.Open(32, 32, 32, 2));
    nLogCapture log;
    renderer.CheckGLError("quiet", 1);
    EXPECT_TRUE(log.Lines().empty());
    const struct
    {
        void (*provoke)();
        const char* line;
    } cases[] = {
        {[] { glEnable(0x1234); }, "[!] GL invalid enumeration (here:7).\n"},
        {[] { glLineWidth(-1.0f); }, "[!] GL invalid value (here:7).\n"},
        {[] { glPopMatrix(); glPopMatrix(); }, "[!] GL stack underflow (here:7).\n"},
    };
    for (const auto& c : cases) {
        log.Clear();
        c.provoke();
        renderer.CheckGLError("here", 7);
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{c.line}));
        while (glGetError() != GL_NO_ERROR) {}
    }
}
