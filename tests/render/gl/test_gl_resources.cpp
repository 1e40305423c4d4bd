// OpenGL renderer device copies and state cache: the default state, texture units and their
// reset, textures by kind and flag, updates, render targets, batch buffers with their layout,
// drawn from the buffers and checked at known pixels, and geometry refusals.

// Buffer queries of OpenGL 1.5, declared by the headers only on request.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nGeometry.h"
#include "resources/nTexture.h"
#include "tests/support/nLogCapture.h"

namespace {
typedef nGL3Renderer::GL_TextureData TextureData;

TextureData* DataOf(nTexture& texture)
{
    return static_cast<TextureData*>(texture.GetRenderData());
}

GLint TextureLevelParameter(nTexture& texture, GLenum parameter)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, DataOf(texture)->name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, parameter, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

// A picture of width x height RGBA8 texels, each (x, y, 7, 255).
void FillGradient(nPicture& picture, uint32_t width, uint32_t height, const nPictureFormat& format)
{
    ASSERT_TRUE(picture.Allocate(width, height, PixelFormatRGBA8));
    uint8_t* p = picture.GetPixels();
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x, p += 4) {
            p[0] = (uint8_t)x;
            p[1] = (uint8_t)y;
            p[2] = 7;
            p[3] = 255;
        }
    ASSERT_TRUE(picture.Convert(format));
}
}

class GLResources : public nGLRendererTest
{};

TEST_F(GLResources, ResetStateSetsTheDefaultState)
{
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glDepthFunc(GL_ALWAYS);
    glEnable(GL_LIGHTING);
    renderer->SetMatrixMode(GL_PROJECTION);
    renderer->ResetState();
    GLint value = 0;
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    glGetIntegerv(GL_CULL_FACE_MODE, &value);
    EXPECT_EQ(value, GL_FRONT);
    glGetIntegerv(GL_FRONT_FACE, &value);
    EXPECT_EQ(value, GL_CCW);
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &value);
    EXPECT_EQ(value, GL_GREATER);
    glGetIntegerv(GL_FOG_MODE, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    glGetIntegerv(GL_LIGHT_MODEL_COLOR_CONTROL, &value);
    EXPECT_EQ(value, GL_SEPARATE_SPECULAR_COLOR);
    float alphaRef = 0.0f;
    glGetFloatv(GL_ALPHA_TEST_REF, &alphaRef);
    EXPECT_NEAR(alphaRef, 0.1f, 1e-6f);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    float diffuse[4] = {9, 9, 9, 9};
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, diffuse);
    EXPECT_EQ(diffuse[0], 0.0f);
    EXPECT_EQ(diffuse[3], 1.0f);
    EXPECT_EQ(renderer->GetMatrixMode(), (uint32_t)GL_MODELVIEW);
}

TEST_F(GLResources, ResetTextureUnitsUndoesOnlyTheFlaggedUnitsFromTheFirst)
{
    const nGLEntryPoints* gl = renderer->GetEntryPoints();
    GLuint names[4];
    glGenTextures(4, names);
    for (int unit = 0; unit < 4; ++unit) renderer->BindTextureUnit(unit, names[unit]);
    // Unit 3 also gets texture generation, a texture matrix, an environment and an array.
    gl->ActiveTextureARB(GL_TEXTURE3_ARB);
    gl->ClientActiveTextureARB(GL_TEXTURE3_ARB);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    renderer->SetMatrixMode(GL_TEXTURE);
    glScalef(2, 2, 2);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    renderer->SetTextureUnitFlags(3, nGL3Renderer::UnitTexGen | nGL3Renderer::UnitTexMatrix |
                                         nGL3Renderer::UnitTexEnv | nGL3Renderer::UnitCoordArray);
    EXPECT_EQ(renderer->FirstFreeTextureUnit(), 4);

    renderer->ResetTextureUnits(2);
    for (int unit = 0; unit < 4; ++unit) {
        SCOPED_TRACE(unit);
        gl->ActiveTextureARB(GL_TEXTURE0_ARB + unit);
        gl->ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        bool kept = unit < 2;
        EXPECT_EQ(bound, kept ? (GLint)names[unit] : 0);
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D) == GL_TRUE, kept);
        EXPECT_EQ(renderer->GetTextureUnitFlags(unit), kept ? (uint32_t)nGL3Renderer::UnitTexture2D : 0u);
    }
    gl->ActiveTextureARB(GL_TEXTURE3_ARB);
    gl->ClientActiveTextureARB(GL_TEXTURE3_ARB);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_COMBINE_ARB);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, &mode);
    EXPECT_EQ(mode, GL_MODULATE);
    float matrix[16];
    glGetFloatv(GL_TEXTURE_MATRIX, matrix);
    EXPECT_EQ(matrix[0], 1.0f);
    EXPECT_EQ(renderer->FirstFreeTextureUnit(), 2);
    renderer->ResetTextureUnits(0);
    EXPECT_EQ(renderer->FirstFreeTextureUnit(), 0);
    gl->ActiveTextureARB(GL_TEXTURE0_ARB);
    gl->ClientActiveTextureARB(GL_TEXTURE0_ARB);
    glDeleteTextures(4, names);
    EXPECT_EQ(renderer->GetTextureUnitFlags(nGL3Renderer::kTextureUnits), 0u);
    EXPECT_EQ(renderer->GetTextureUnitFlags(-1), 0u);
}

// Storage by kind, flags and system word: internal format and counted bytes.
TEST_F(GLResources, TexturesAreStoredByKindAndCounted)
{
    const struct
    {
        const char* label;
        int32_t kind;
        uint32_t flags;
        uint32_t systemBits;
        bool floatPicture;
        GLint internalFormat;
        uint32_t bytesPerTexel;
    } cases[] = {
        {"16-bit colour", 0, 0, 0, false, GL_RGBA4, 2},
        {"no compression", 0, 0, RendererSystemTextureNoCompression, false, GL_RGBA8, 4},
        {"render target", 0, TextureRenderTarget, 0, false, GL_RGBA8, 4},
        {"16-bit channels", 1, 0, RendererSystemTextureNoCompression, false, GL_RGBA16, 8},
        {"float from bytes", 2, 0, 0, false, GL_RGBA16F_ARB, 8},
        {"float picture", 0, 0, 0, true, GL_RGB16F_ARB, 6},
        {"depth", 3, TextureRenderTarget, 0, false, GL_DEPTH_COMPONENT24, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        renderer->SetSystemFlag(RendererSystemTextureNoCompression | RendererSystemTextureForceTrueColor, false);
        renderer->SetSystemFlag(c.systemBits, true);
        uint32_t before = renderer->GetTextureBytes();
        nTexture texture(&engine, 1, c.kind);
        texture.SetName(c.label);
        texture.SetFlags(c.flags);
        if (c.floatPicture) {
            ASSERT_TRUE(texture.Allocate(8, 4, PixelFormatRGBFloat));
        } else if (c.flags & TextureRenderTarget) {
            texture.SetSizeOnly(8, 4);
        } else {
            FillGradient(texture, 8, 4, PixelFormatRGBA8);
        }
        nLogCapture log;
        ASSERT_TRUE(renderer->SetupTexture(&texture));
        ASSERT_NE(DataOf(texture), nullptr);
        EXPECT_EQ(TextureLevelParameter(texture, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
        EXPECT_EQ(DataOf(texture)->byteSize, 32 * c.bytesPerTexel);
        EXPECT_EQ(renderer->GetTextureBytes(), before + 32 * c.bytesPerTexel);
        EXPECT_EQ(texture.GetStorageKind(), c.floatPicture ? 2 : c.kind);
        char vram[64];
        std::snprintf(vram, sizeof(vram), "VRAM: %.02fmo", renderer->GetTextureBytes() / 1048576.0);
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Setup " + std::string(c.label) + " (8x4), " + vram + "\n"}));
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        renderer->FreeTexture(&texture);
        EXPECT_EQ(texture.GetRenderData(), nullptr);
        EXPECT_EQ(renderer->GetTextureBytes(), before);
    }
}

TEST_F(GLResources, ForcedTrueColourCountsTheDriversCompressedSize)
{
    const uint32_t opened = renderer->GetTextureBytes();  // the renderer's own targets and pictures
    renderer->SetSystemFlag(RendererSystemTextureForceTrueColor, true);
    nTexture texture(&engine, 1, 0);
    FillGradient(texture, 16, 16, PixelFormatRGBA8);
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    GLint compressed = TextureLevelParameter(texture, GL_TEXTURE_COMPRESSED_ARB);
    GLint expected = compressed ? TextureLevelParameter(texture, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB) : 16 * 16 * 4;
    EXPECT_EQ(DataOf(texture)->byteSize, (uint32_t)expected);
    EXPECT_EQ(renderer->GetTextureBytes(), opened + (uint32_t)expected);
}

TEST_F(GLResources, MipmapsOnlyForPlainColourTextures)
{
    const struct
    {
        const char* label;
        int32_t usage;
        uint32_t flags;
        int32_t kind;
        bool mipmapped;
    } cases[] = {
        {"plain colour", 0, 0, 0, true},
        {"mipmaps off", 1, 0, 0, false},
        {"keeps its pixels", 0, TextureKeepPixels, 0, false},
        {"render target", 0, TextureRenderTarget, 0, false},
        {"depth", 0, 0, 3, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nTexture texture(&engine, c.usage, c.kind);
        texture.SetFlags(c.flags);
        if (c.kind == 3 || (c.flags & TextureRenderTarget)) texture.SetSizeOnly(8, 8);
        else FillGradient(texture, 8, 8, PixelFormatRGBA8);
        ASSERT_TRUE(renderer->SetupTexture(&texture));
        GLint minFilter = 0, levelWidth = 0;
        glBindTexture(GL_TEXTURE_2D, DataOf(texture)->name);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &levelWidth);
        glBindTexture(GL_TEXTURE_2D, 0);
        EXPECT_EQ(minFilter == GL_LINEAR_MIPMAP_LINEAR, c.mipmapped);
        EXPECT_EQ(levelWidth, c.mipmapped ? 1 : 0);  // the 1 x 1 level exists only when generated
    }
}

TEST_F(GLResources, AnEmptyPictureGetsTheErrorTexel)
{
    const uint32_t opened = renderer->GetTextureBytes();  // the renderer's own targets and pictures
    nTexture texture(&engine, 1, 0);
    texture.SetName("empty");
    texture.SetSizeOnly(0, 64);
    nLogCapture log;
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[*] Invalid texture 'empty'. Uploading error bitmap.\n");
    EXPECT_EQ(DataOf(texture)->byteSize, 4u);
    EXPECT_EQ(renderer->GetTextureBytes(), opened + 4u);
    EXPECT_EQ(TextureLevelParameter(texture, GL_TEXTURE_WIDTH), 1);
}

TEST_F(GLResources, KeepFlagKeepsThePixelsUntouchedElseOnlyTheSizeRemains)
{
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        nTexture texture(&engine, 1, 0);
        FillGradient(texture, 4, 2, PixelFormatBGRA8);
        std::vector<uint8_t> before(texture.GetPixels(), texture.GetPixels() + 32);
        texture.SetFlags(keep ? TextureKeepPixels : 0);
        ASSERT_TRUE(renderer->SetupTexture(&texture));
        EXPECT_EQ(texture.GetWidth(), 4u);
        EXPECT_EQ(texture.GetHeight(), 2u);
        if (keep) {
            ASSERT_NE(texture.GetPixels(), nullptr);
            EXPECT_TRUE(texture.GetFormat() == PixelFormatBGRA8);
            EXPECT_EQ(std::vector<uint8_t>(texture.GetPixels(), texture.GetPixels() + 32), before);
        } else {
            EXPECT_EQ(texture.GetPixels(), nullptr);
            EXPECT_TRUE(texture.IsSizeOnly());
        }
    }
    renderer->SetCleanResourceOnSetup(false);
    nTexture kept(&engine, 1, 0);
    FillGradient(kept, 4, 2, PixelFormatRGBA8);
    ASSERT_TRUE(renderer->SetupTexture(&kept));
    EXPECT_NE(kept.GetPixels(), nullptr);
}

TEST_F(GLResources, TexturesUploadTheirTexelsInRgbaOrder)
{
    renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    nTexture texture(&engine, 1, 0);
    FillGradient(texture, 4, 3, PixelFormatBGRA8);  // converted back to RGBA for the upload
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    std::vector<uint8_t> texels(4 * 3 * 4);
    glBindTexture(GL_TEXTURE_2D, DataOf(texture)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
            const uint8_t* p = &texels[(y * 4 + x) * 4];
            EXPECT_EQ(p[0], x);
            EXPECT_EQ(p[1], y);
            EXPECT_EQ(p[2], 7);
            EXPECT_EQ(p[3], 255);
        }

    // An update replaces one rectangle only.
    const uint8_t patch[8] = {200, 201, 202, 203, 210, 211, 212, 213};
    renderer->UpdateTexture(&texture, patch, 2, 1, 1, 2);
    glBindTexture(GL_TEXTURE_2D, DataOf(texture)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(texels[(2 * 4 + 1) * 4], 200);
    EXPECT_EQ(texels[(2 * 4 + 2) * 4 + 3], 213);
    EXPECT_EQ(texels[(2 * 4 + 0) * 4], 0);
    EXPECT_EQ(texels[(1 * 4 + 1) * 4], 1);
}

TEST_F(GLResources, SetupTwiceMakesNothingNewAndClosedRenderersRefuse)
{
    const uint32_t opened = renderer->GetTextureBytes();  // the renderer's own targets and pictures
    nTexture texture(&engine, 1, 0);
    FillGradient(texture, 2, 2, PixelFormatRGBA8);
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    TextureData* data = DataOf(texture);
    uint32_t bytes = renderer->GetTextureBytes();
    EXPECT_TRUE(renderer->SetupTexture(&texture));
    EXPECT_EQ(DataOf(texture), data);
    EXPECT_EQ(renderer->GetTextureBytes(), bytes);
    EXPECT_FALSE(renderer->SetupTexture(nullptr));
    renderer->FreeTexture(&texture);
    renderer->FreeTexture(&texture);  // nothing left to free
    renderer->FreeTexture(nullptr);
    EXPECT_EQ(renderer->GetTextureBytes(), opened);

    nOrvex other;
    nGL3Renderer closed(&other, false);
    nTexture late(&other, 1, 0);
    FillGradient(late, 2, 2, PixelFormatRGBA8);
    EXPECT_FALSE(closed.SetupTexture(&late));
    EXPECT_EQ(late.GetRenderData(), nullptr);
    EXPECT_NE(late.GetPixels(), nullptr);
}

TEST_F(GLResources, RenderTargetTexturesAreMadeOnceAndRemade)
{
    const uint32_t opened = renderer->GetTextureBytes();  // the renderer's own targets and pictures
    nSharedPtr<nTexture> target;
    renderer->CreateRenderTargetTexture(target, &engine, "compose_map", 32, 16, 0);
    ASSERT_TRUE(target.IsValid());
    EXPECT_EQ(target->GetName(), nString("compose_map"));
    EXPECT_TRUE(target->TestFlag(TextureRenderTarget));
    EXPECT_EQ(target->GetUsage(), 1);
    ASSERT_NE(target->GetRenderData(), nullptr);
    EXPECT_EQ(TextureLevelParameter(*target, GL_TEXTURE_WIDTH), 32);
    EXPECT_EQ(renderer->GetTextureBytes(), opened + 32u * 16u * 4u);
    nTexture* first = target.Get();
    renderer->CreateRenderTargetTexture(target, &engine, "compose_map", 64, 64, 0);
    EXPECT_EQ(target.Get(), first);
    EXPECT_EQ(TextureLevelParameter(*target, GL_TEXTURE_WIDTH), 64);
    EXPECT_EQ(renderer->GetTextureBytes(), opened + 64u * 64u * 4u);
    target.Release();
    EXPECT_EQ(renderer->GetTextureBytes(), opened);
}

// Batch buffers: the vertex layout of each attribute set, read back from the buffers.
TEST_F(GLResources, BatchLayoutPutsEachAttributeInItsOwnBlock)
{
    const int n = 3;
    const nVector positions[n] = {nVector(1, 2, 3), nVector(4, 5, 6), nVector(7, 8, 9)};
    const nVector normals[n] = {nVector(0, 0, 1), nVector(0, 1, 0), nVector(1, 0, 0)};
    const nVector2 uvs[n] = {nVector2(0.25f, 0.5f), nVector2(1, 0), nVector2(0, 1)};
    nGL3Renderer::GL_SkinRecord skin[n];
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < 4; ++k) {
            skin[i].weight[k] = 0.25f * (k == 0 ? 2 : 1) * (k < 3);
            skin[i].bone[k] = (uint8_t)(i + k);
        }
    }
    nGeometryColor colours[n] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 0.5f}};
    const int32_t indices[3] = {0, 1, 2};
    const uint16_t palette[2] = {7, 3};

    const struct
    {
        const char* label;
        bool normals, skin, colours, uv0;
        int32_t normal, boneIndex, boneWeight, colour, uv;
        int32_t bytes;
    } cases[] = {
        {"positions only", false, false, false, false, -1, -1, -1, -1, -1, 12 * n},
        {"normals and UV set 0", true, false, false, true, 12 * n, -1, -1, -1, 24 * n, 32 * n},
        {"skin and colours", false, true, true, false, -1, 12 * n, 16 * n, 32 * n, -1, 48 * n},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nGL3Renderer::GL_BatchSource source;
        source.vertexCount = n;
        source.positions = positions;
        source.triangleCount = 1;
        source.indices = indices;
        source.normals = c.normals ? normals : 0;
        source.skin = c.skin ? skin : 0;
        source.boneCount = c.skin ? 2 : 0;
        source.bonePalette = c.skin ? palette : 0;
        source.colours = c.colours ? colours : 0;
        source.uvSets[0] = c.uv0 ? uvs : 0;
        source.materialIndex = 4;
        uint32_t before = renderer->GetGeometryBytes();
        nGL3Renderer::GL_Batch batch;
        ASSERT_TRUE(renderer->SetupBatch(batch, source));
        EXPECT_EQ(batch.indexCount, 3);
        EXPECT_EQ(batch.materialIndex, 4);
        EXPECT_EQ(batch.normalOffset, c.normal);
        EXPECT_EQ(batch.tangentOffset, -1);
        EXPECT_EQ(batch.bitangentOffset, -1);
        EXPECT_EQ(batch.boneIndexOffset, c.boneIndex);
        EXPECT_EQ(batch.boneWeightOffset, c.boneWeight);
        EXPECT_EQ(batch.colourOffset, c.colour);
        EXPECT_EQ(batch.uvOffset[0], c.uv);
        EXPECT_EQ(batch.uvOffset[1], -1);
        EXPECT_EQ(batch.vertexBytes, c.bytes);
        EXPECT_EQ(renderer->GetGeometryBytes(), before + (uint32_t)c.bytes);

        const nGLEntryPoints* gl = renderer->GetEntryPoints();
        std::vector<uint8_t> block(c.bytes);
        gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
        GLint size = 0;
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
        EXPECT_EQ(size, c.bytes);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, c.bytes, block.data());
        const float* f = reinterpret_cast<const float*>(block.data());
        EXPECT_EQ(f[3], 4.0f);  // second position, x
        if (c.normals) {
            EXPECT_EQ(reinterpret_cast<const float*>(&block[c.normal])[3 * 2], 1.0f);
        }
        if (c.uv0) {
            EXPECT_EQ(reinterpret_cast<const float*>(&block[c.uv])[0], 0.25f);
        }
        if (c.skin) {
            EXPECT_EQ(block[c.boneIndex + 4 + 1], 2);  // vertex 1, bone slot 1
            EXPECT_EQ(reinterpret_cast<const float*>(&block[c.boneWeight])[0], 0.5f * 255.0f);
            EXPECT_EQ(batch.boneCount, 2);
            ASSERT_NE(batch.bonePalette, nullptr);
            EXPECT_EQ(batch.bonePalette[0], 7);
            EXPECT_EQ(batch.bonePalette[1], 3);
        } else {
            EXPECT_EQ(batch.bonePalette, nullptr);
        }
        if (c.colours) {
            EXPECT_EQ(reinterpret_cast<const float*>(&block[c.colour])[4 * 2 + 3], 0.5f);
        }
        uint16_t stored[3] = {9, 9, 9};
        gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.indexBuffer);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, 6, stored);
        gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        EXPECT_EQ(stored[0], 0);
        EXPECT_EQ(stored[2], 2);

        GLuint vertexBuffer = batch.vertexBuffer, indexBuffer = batch.indexBuffer;
        renderer->FreeBatch(batch);
        EXPECT_EQ(renderer->GetGeometryBytes(), before);
        EXPECT_FALSE(glIsBuffer(vertexBuffer));
        EXPECT_FALSE(glIsBuffer(indexBuffer));
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}

TEST_F(GLResources, ABatchIsDrawnFromItsBuffers)
{
    // A clockwise triangle with a colour per corner, all red.
    const nVector positions[3] = {nVector(10, 10, 0), nVector(10, 70, 0), nVector(70, 10, 0)};
    nGeometryColor colours[3] = {{1, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 0, 1}};
    const int32_t indices[3] = {0, 1, 2};
    nGL3Renderer::GL_BatchSource source;
    source.vertexCount = 3;
    source.positions = positions;
    source.triangleCount = 1;
    source.indices = indices;
    source.colours = colours;
    nGL3Renderer::GL_Batch batch;
    ASSERT_TRUE(renderer->SetupBatch(batch, source));

    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    const nGLEntryPoints* gl = renderer->GetEntryPoints();
    gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, (const void*)0);
    glColorPointer(4, GL_FLOAT, 0, (const void*)(intptr_t)batch.colourOffset);
    gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, 0);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    EXPECT_TRUE(PixelNear(ReadPixel(15, 15), nRGBA{255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(65, 65), nRGBA{0, 0, 0, 255}));
    renderer->FreeBatch(batch);
    EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
}

TEST_F(GLResources, BatchesOutsideTheLimitsAreRefused)
{
    const nVector positions[1] = {nVector(0, 0, 0)};
    const int32_t indices[3] = {0, 0, 0};
    nGL3Renderer::GL_BatchSource source;
    source.positions = positions;
    source.indices = indices;
    source.triangleCount = 1;
    for (int32_t count : {0, nGL3Renderer::kMaxBatchVertices + 1}) {
        source.vertexCount = count;
        nGL3Renderer::GL_Batch batch;
        nLogCapture log;
        EXPECT_FALSE(renderer->SetupBatch(batch, source));
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] index VBO creation error.\n"}));
        EXPECT_EQ(batch.vertexBuffer, 0u);
        EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
    }
}

// A geometry put on the device from its batches: records hung on it, bytes counted, the CPU
// copy cleaned but never the device copy, everything undone on failure and by FreeGeometry.
TEST_F(GLResources, GeometriesGoOnTheDeviceBatchByBatch)
{
    const nVector positions[3] = {nVector(10, 10, 0), nVector(10, 70, 0), nVector(70, 10, 0)};
    const nVector normals[3] = {nVector(0, 0, 1), nVector(0, 0, 1), nVector(0, 0, 1)};
    const int32_t indices[3] = {0, 1, 2};
    nGL3Renderer::GL_BatchSource sources[2];
    for (nGL3Renderer::GL_BatchSource& source : sources) {
        source.vertexCount = 3;
        source.positions = positions;
        source.triangleCount = 1;
        source.indices = indices;
    }
    sources[1].normals = normals;
    sources[1].materialIndex = 1;

    const struct
    {
        const char* label;
        bool clean;
        bool failSecond;
    } cases[] = {
        {"cleaned", true, false},
        {"kept", false, false},
        {"second batch refused", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        renderer->SetCleanResourceOnSetup(c.clean);
        nGeometry geometry(&engine);
        geometry.SetName("pair");
        ASSERT_TRUE(geometry.AllocateVertices(3));
        for (int i = 0; i < 3; ++i) geometry.vertices[i] = positions[i];
        sources[1].vertexCount = c.failSecond ? 0 : 3;
        nLogCapture log;
        bool done = renderer->SetupGeometryBatches(&geometry, sources, 2);
        EXPECT_EQ(done, !c.failSecond);
        if (c.failSecond) {
            EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] index VBO creation error.\n"}));
            EXPECT_EQ(geometry.GetRenderData(), nullptr);
            EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
            EXPECT_NE(geometry.vertices, nullptr);  // nothing cleaned after a failure
            continue;
        }
        auto* data = static_cast<nGL3Renderer::GL_GeometryData*>(geometry.GetRenderData());
        ASSERT_NE(data, nullptr);
        ASSERT_EQ(data->batchCount, 2);
        EXPECT_EQ(data->batches[0].vertexBytes, 36);
        EXPECT_EQ(data->batches[1].vertexBytes, 72);
        EXPECT_EQ(data->batches[1].materialIndex, 1);
        EXPECT_EQ(renderer->GetGeometryBytes(), 108u);
        EXPECT_NE(geometry.vertices, nullptr);                               // cleaning keeps the mesh: CPU readers (the raytracer) need it
        EXPECT_TRUE(renderer->SetupGeometryBatches(&geometry, sources, 2));  // already there: nothing new
        EXPECT_EQ(renderer->GetGeometryBytes(), 108u);

        // The second batch draws from its buffers.
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        const nGLEntryPoints* gl = renderer->GetEntryPoints();
        glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
        gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, data->batches[1].vertexBuffer);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, (const void*)0);
        gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, data->batches[1].indexBuffer);
        glDrawElements(GL_TRIANGLES, data->batches[1].indexCount, GL_UNSIGNED_SHORT, 0);
        glDisableClientState(GL_VERTEX_ARRAY);
        gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
        gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        EXPECT_TRUE(PixelNear(ReadPixel(15, 15), nRGBA{0, 255, 0, 255}));

        GLuint buffer = data->batches[1].vertexBuffer;
        renderer->FreeGeometry(&geometry);
        EXPECT_EQ(geometry.GetRenderData(), nullptr);
        EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
        EXPECT_FALSE(glIsBuffer(buffer));
    }
}

TEST_F(GLResources, GeometriesThatCannotBeUploadedAreNeverReportedAsSetUp)
{
    nGeometry empty(&engine);
    empty.SetName("empty");
    nLogCapture log;
    EXPECT_FALSE(renderer->SetupGeometry(&empty));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] cannot setup geometry 'empty', geometry is empty.\n"}));
    EXPECT_EQ(empty.GetRenderData(), nullptr);
    EXPECT_FALSE(renderer->SetupGeometry(nullptr));

    nOrvex other;
    nGL3Renderer closed(&other, false);
    nGeometry early(&other);
    early.SetName("early");
    log.Clear();
    EXPECT_FALSE(closed.SetupGeometry(&early));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] cannot setup geometry 'early', system not ready.\n"}));
    EXPECT_EQ(early.GetRenderData(), nullptr);
}

TEST_F(GLResources, UpdatingAStaticGeometryWarns)
{
    nGeometry geometry(&engine);
    nLogCapture log;
    geometry.staticFlag = 1;
    renderer->UpdateGeometry(&geometry, 0, 0);
    geometry.staticFlag = 0;
    renderer->UpdateGeometry(&geometry, 0, 0);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[*] !! Warning, you are trying to update a static geometry, make it dynamic first.\n"}));
}

TEST_F(GLResources, BindSamplerBindsTheTextureAndPointsTheUniformAtItsUnit)
{
    const nGLEntryPoints* gl = renderer->GetEntryPoints();
    ASSERT_NE(gl->CreateProgramObjectARB, nullptr);
    const char* source = "#version 120\nuniform sampler2D diffuse_map;\n"
                         "void main() { gl_FragColor = texture2D(diffuse_map, vec2(0.5)); }\n";
    GLhandleARB shader = gl->CreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    gl->ShaderSourceARB(shader, 1, &source, 0);
    gl->CompileShaderARB(shader);
    GLhandleARB program = gl->CreateProgramObjectARB();
    gl->AttachObjectARB(program, shader);
    gl->LinkProgramARB(program);
    auto use = reinterpret_cast<PFNGLUSEPROGRAMOBJECTARBPROC>(SDL_GL_GetProcAddress("glUseProgramObjectARB"));
    use(program);

    nTexture texture(&engine, 1, 0);
    FillGradient(texture, 2, 2, PixelFormatRGBA8);
    ASSERT_TRUE(renderer->SetupTexture(&texture));
    renderer->BindSampler(program, 3, DataOf(texture), "diffuse_map");
    GLint unit = -1;
    glGetUniformiv(program, gl->GetUniformLocationARB(program, "diffuse_map"), &unit);
    EXPECT_EQ(unit, 3);
    EXPECT_EQ(renderer->GetTextureUnitFlags(3), (uint32_t)nGL3Renderer::UnitTexture2D);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ((uint32_t)bound, DataOf(texture)->name);

    renderer->BindSampler(program, 1, 0, "diffuse_map");  // no texture: the uniform only
    glGetUniformiv(program, gl->GetUniformLocationARB(program, "diffuse_map"), &unit);
    EXPECT_EQ(unit, 1);
    EXPECT_EQ(renderer->GetTextureUnitFlags(1), 0u);

    use(0);
    renderer->ResetTextureUnits(0);
    gl->DeleteObjectARB(shader);
    gl->DeleteObjectARB(program);
}

TEST_F(GLResources, CachedSettersStoreAndSend)
{
    nVector colour(0.25f, 0.5f, 0.75f, 1.0f);
    renderer->SetMaterialSpecular(colour);
    renderer->SetMaterialShininess(32.0f);
    float value[4] = {0, 0, 0, 0};
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, value);
    EXPECT_EQ(value[2], 0.75f);
    glGetMaterialfv(GL_BACK, GL_SHININESS, value);
    EXPECT_EQ(value[0], 32.0f);
    float vertices[6] = {0, 0, 0, 1, 1, 1};
    renderer->SetVertexArray(vertices);
    void* pointer = 0;
    glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, (void*)vertices);
    renderer->SetVertexArray(0);
}
