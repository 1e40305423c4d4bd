// OpenGL renderer under allocation failure: a texture whose device record cannot be made is
// reported as not set up, keeps its pixels and counts no bytes.

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "resources/nTexture.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

class GLAllocationFailure : public nGLRendererTest
{};

TEST_F(GLAllocationFailure, ATextureWithoutItsDeviceRecordIsNotSetUp)
{
    const uint32_t opened = renderer->GetTextureBytes();  // the renderer's own targets and pictures
    nTexture texture(&engine, 1, 0);
    texture.SetName("starved");
    ASSERT_TRUE(texture.Allocate(4, 4, PixelFormatRGBA8));
    nLogCapture log;
    nFailNothrowAllocationOfSize(sizeof(nGL3Renderer::GL_TextureData));
    EXPECT_FALSE(renderer->SetupTexture(&texture));
    nFailNothrowAllocationOfSize(0);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] Failed to allocate texture data structure.\n"}));
    EXPECT_EQ(texture.GetRenderData(), nullptr);
    EXPECT_NE(texture.GetPixels(), nullptr);  // nothing was uploaded, so nothing is released
    EXPECT_EQ(renderer->GetTextureBytes(), opened);

    // The next attempt, with memory, works.
    EXPECT_TRUE(renderer->SetupTexture(&texture));
    EXPECT_NE(texture.GetRenderData(), nullptr);
}
