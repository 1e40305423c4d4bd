// Textures that must stay exact: pictures sampled texel for texel (the noise and dither pictures)
// and pictures kept on the CPU to be updated later (window caches) are stored uncompressed, whatever
// the system word asks for other pictures; their texels read back as they were given.

#include <gtest/gtest.h>

#include <vector>

#include "nGLRendererFixture.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nTexture.h"

namespace {
typedef nGL3Renderer::GL_TextureData TextureData;

GLint Parameter(GLuint name, GLenum parameter, bool level)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    if (level) glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, parameter, &value);
    else glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

// 16 x 16 texels whose neighbours differ in every channel by steps a 4-bit or a block-compressed
// store cannot keep.
void FillNoise(nPicture& picture)
{
    ASSERT_TRUE(picture.Allocate(16, 16, PixelFormatRGBA8));
    uint8_t* p = picture.GetPixels();
    for (uint32_t i = 0; i < 16 * 16 * 4; ++i) p[i] = (uint8_t)((i * 2654435761u) >> 13);
}
}

class GLExactTextures : public nGLRendererTest
{};

TEST_F(GLExactTextures, ExactAndKeptPicturesAreNeverCompressed)
{
    const struct
    {
        const char* label;
        uint32_t flags;
        uint32_t systemBits;
        bool exact;
        GLint minFilter;
    } cases[] = {
        {"kept, forced true colour", TextureKeepPixels, RendererSystemTextureForceTrueColor, true, GL_LINEAR},
        {"kept, 16-bit colour", TextureKeepPixels, 0, true, GL_LINEAR},
        {"exact, forced true colour", TextureExact, RendererSystemTextureForceTrueColor, true, GL_NEAREST},
        {"exact, 16-bit colour", TextureExact, 0, true, GL_NEAREST},
        // The contrast: a plain picture under the default word is stored in 16 bits.
        {"plain, 16-bit colour", 0, 0, false, GL_LINEAR_MIPMAP_LINEAR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        renderer->SetSystemFlag(RendererSystemTextureNoCompression | RendererSystemTextureForceTrueColor, false);
        renderer->SetSystemFlag(c.systemBits, true);
        nTexture texture(&engine, 0, 0);
        texture.SetName(c.label);
        FillNoise(texture);
        const std::vector<uint8_t> given(texture.GetPixels(), texture.GetPixels() + 16 * 16 * 4);
        texture.SetFlags(c.flags);
        ASSERT_TRUE(renderer->SetupTexture(&texture));
        const GLuint name = static_cast<TextureData*>(texture.GetRenderData())->name;
        EXPECT_EQ(Parameter(name, GL_TEXTURE_COMPRESSED_ARB, true), GL_FALSE);
        EXPECT_EQ(Parameter(name, GL_TEXTURE_INTERNAL_FORMAT, true), c.exact ? GL_RGBA8 : GL_RGBA4);
        EXPECT_EQ(Parameter(name, GL_TEXTURE_MIN_FILTER, false), c.minFilter);
        EXPECT_EQ(static_cast<TextureData*>(texture.GetRenderData())->byteSize, 16u * 16u * (c.exact ? 4u : 2u));
        std::vector<uint8_t> stored(16 * 16 * 4);
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, stored.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        EXPECT_EQ(stored == given, c.exact);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        renderer->FreeTexture(&texture);
    }
}

// The renderer's own dither picture is loaded exact (the frame reads it texel for texel).
TEST_F(GLExactTextures, TheRenderersDitherPictureIsExact)
{
    nGL3MaterialPrograms* programs = renderer->GetMaterialPrograms();
    ASSERT_NE(programs, nullptr);
    nTexture* dither = programs->ditherMap.Get();
    ASSERT_NE(dither, nullptr) << "the dither picture beside the program was not loaded";
    EXPECT_TRUE(dither->TestFlag(TextureExact));
    const GLuint name = static_cast<TextureData*>(dither->GetRenderData())->name;
    EXPECT_EQ(Parameter(name, GL_TEXTURE_MAG_FILTER, false), GL_NEAREST);
    EXPECT_EQ(Parameter(name, GL_TEXTURE_INTERNAL_FORMAT, true), GL_RGBA8);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
