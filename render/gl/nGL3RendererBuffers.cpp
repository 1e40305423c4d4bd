// Device copies: geometry batches in vertex and index buffers, textures and render targets.
#include "render/gl/nGL3Renderer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/glsl/GL3_ShaderEmitters.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "resources/nTrilist.h"

#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#endif

// A batch's bone slots index the skinning palette of its programs.
static_assert(nGL3Renderer::kMaxBatchBones == (int32_t)kTrilistMaxBones && nGL3Renderer::kMaxBatchBones <= kGLSLSkinMatrices,
              "the triangle lists' bone tables fit the skinning palette");

// ---------------------------------------------------------------------------------------------
// Records

nGL3Renderer::GL_Batch::GL_Batch()
    : indexCount(0), indexBuffer(0), vertexBuffer(0), normalOffset(-1), tangentOffset(-1),
      bitangentOffset(-1), boneIndexOffset(-1), boneWeightOffset(-1), colourOffset(-1),
      uvOffset{-1, -1, -1}, vertexBytes(0), boneCount(0), bonePalette(0), boneMatrices(0),
      materialIndex(0)
{
}

nGL3Renderer::GL_Batch::~GL_Batch()
{
    delete[] bonePalette;
    delete[] boneMatrices;
}

nGL3Renderer::GL_BatchSource::GL_BatchSource()
    : vertexCount(0), positions(0), triangleCount(0), indices(0), boneCount(0), bonePalette(0),
      skin(0), normals(0), tangentFrames(0), colours(0), uvSets{0, 0, 0}, materialIndex(0)
{
}

// ---------------------------------------------------------------------------------------------
// Buffers and geometries

void* nGL3Renderer::BeginBuffer(uint32_t* name, uint32_t bytes)
{
    FreeStaging();
    if (!name || bytes == 0 || !m_gl || !m_gl->GenBuffersARB || !m_gl->BindBufferARB) return 0;
    m_staging = std::malloc(bytes);
    if (!m_staging) return 0;
    m_stagingBytes = bytes;
    GLuint buffer = 0;
    m_gl->GenBuffersARB(1, &buffer);
    *name = buffer;
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, buffer);
    return m_staging;
}

void nGL3Renderer::EndBuffer()
{
    if (m_staging && m_gl && m_gl->BufferDataARB)
        m_gl->BufferDataARB(GL_ARRAY_BUFFER_ARB, m_stagingBytes, m_staging, GL_STATIC_DRAW_ARB);
    if (m_gl && m_gl->BindBufferARB) m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    FreeStaging();
}

void nGL3Renderer::FreeStaging()
{
    std::free(m_staging);
    m_staging = 0;
    m_stagingBytes = 0;
}

bool nGL3Renderer::SetupBatch(GL_Batch& batch, const GL_BatchSource& source)
{
    int32_t n = source.vertexCount;
    if (n <= 0 || n > kMaxBatchVertices || source.triangleCount <= 0 || !source.positions || !source.indices) {
        *g_log << "[!] index VBO creation error.\n";
        return false;
    }
    if (source.boneCount > kMaxBatchBones) {
        *g_log << "[!] Batch of " << source.boneCount << " bones exceeds the skinning palette (" << kMaxBatchBones << ").\n";
        return false;
    }
    batch.indexCount = 3 * source.triangleCount;
    batch.materialIndex = source.materialIndex;

    uint16_t* indices = static_cast<uint16_t*>(BeginBuffer(&batch.indexBuffer, (uint32_t)batch.indexCount * 2u));
    if (!indices) {
        *g_log << "[!] index VBO creation error.\n";
        return false;
    }
    for (int32_t i = 0; i < batch.indexCount; ++i) indices[i] = (uint16_t)(source.indices[i] & 0xffff);
    EndBuffer();

    if (source.boneCount > 0 && source.bonePalette) {
        batch.bonePalette = new (std::nothrow) uint16_t[source.boneCount];
        batch.boneMatrices = new (std::nothrow) nMatrix4[source.boneCount];
        if (!batch.bonePalette || !batch.boneMatrices) {
            *g_log << "[!] Vertex VBO creation error.\n";
            return false;
        }
        batch.boneCount = source.boneCount;
        std::memcpy(batch.bonePalette, source.bonePalette, sizeof(uint16_t) * source.boneCount);
    }

    // Blocks one after the other, positions first.
    int32_t offset = 12 * n;
    if (source.normals) {
        batch.normalOffset = offset;
        offset += 12 * n;
    }
    if (source.tangentFrames) {
        batch.tangentOffset = offset;
        offset += 12 * n;
        batch.bitangentOffset = offset;
        offset += 12 * n;
    }
    if (source.skin) {
        batch.boneIndexOffset = offset;
        offset += 4 * n;
        batch.boneWeightOffset = offset;
        offset += 16 * n;
    }
    if (source.colours) {
        batch.colourOffset = offset;
        offset += 16 * n;
    }
    for (int32_t set = 0; set < 3; ++set)
        if (source.uvSets[set]) {
            batch.uvOffset[set] = offset;
            offset += 8 * n;
        }
    batch.vertexBytes = offset;
    m_geometryBytes += (uint32_t)offset;

    uint8_t* block = static_cast<uint8_t*>(BeginBuffer(&batch.vertexBuffer, (uint32_t)offset));
    if (!block) {
        *g_log << "[!] Vertex VBO creation error.\n";
        return false;
    }
    float* p = reinterpret_cast<float*>(block);
    for (int32_t i = 0; i < n; ++i, p += 3) {
        p[0] = source.positions[i].x;
        p[1] = source.positions[i].y;
        p[2] = source.positions[i].z;
    }
    if (source.normals) {
        p = reinterpret_cast<float*>(block + batch.normalOffset);
        for (int32_t i = 0; i < n; ++i, p += 3) {
            p[0] = source.normals[i].x;
            p[1] = source.normals[i].y;
            p[2] = source.normals[i].z;
        }
    }
    if (source.tangentFrames) {
        float* t = reinterpret_cast<float*>(block + batch.tangentOffset);
        float* b = reinterpret_cast<float*>(block + batch.bitangentOffset);
        for (int32_t i = 0; i < n; ++i, t += 3, b += 3) {
            const nTangentFrame& f = source.tangentFrames[i];
            t[0] = f.tangent.x;
            t[1] = f.tangent.y;
            t[2] = f.tangent.z;
            b[0] = f.bitangent.x;
            b[1] = f.bitangent.y;
            b[2] = f.bitangent.z;
        }
    }
    if (source.skin) {
        uint8_t* bones = block + batch.boneIndexOffset;
        float* w = reinterpret_cast<float*>(block + batch.boneWeightOffset);
        for (int32_t i = 0; i < n; ++i, bones += 4, w += 4)
            for (int32_t k = 0; k < 4; ++k) {
                bones[k] = source.skin[i].bone[k];
                w[k] = source.skin[i].weight[k] * 255.0f;
            }
    }
    if (source.colours) {
        p = reinterpret_cast<float*>(block + batch.colourOffset);
        for (int32_t i = 0; i < n; ++i, p += 4) {
            const nGeometryColor& c = source.colours[i];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    }
    for (int32_t set = 0; set < 3; ++set) {
        if (!source.uvSets[set]) continue;
        p = reinterpret_cast<float*>(block + batch.uvOffset[set]);
        for (int32_t i = 0; i < n; ++i, p += 2) {
            p[0] = source.uvSets[set][i].x;
            p[1] = source.uvSets[set][i].y;
        }
    }
    EndBuffer();
    return true;
}

void nGL3Renderer::FreeBatch(GL_Batch& batch)
{
    m_geometryBytes -= (uint32_t)batch.vertexBytes;
    batch.vertexBytes = 0;
    if (m_gl && m_gl->DeleteBuffersARB) {
        if (batch.indexBuffer) m_gl->DeleteBuffersARB(1, &batch.indexBuffer);
        if (batch.vertexBuffer) m_gl->DeleteBuffersARB(1, &batch.vertexBuffer);
    }
    batch.indexBuffer = 0;
    batch.vertexBuffer = 0;
}

bool nGL3Renderer::SetupGeometry(nGeometry* geometry)
{
    if (!geometry) return false;
    if (geometry->GetRenderData()) return true;
    const char* name = geometry->GetName().GetCStr();
    if (m_closed) {
        *g_log << "[!] cannot setup geometry '" << name << "', system not ready.\n";
        FreeGeometry(geometry);
        return false;
    }
    if (geometry->vertexCount == 0 || geometry->polygonCount == 0 || geometry->materialCount == 0) {
        *g_log << "[!] cannot setup geometry '" << name << "', geometry is empty.\n";
        FreeGeometry(geometry);
        return false;
    }
    geometry->UpdateMaterialFlags();
    geometry->BuildPolygonOffsets();
    // A failed conversion leaves no device data: the geometry must not count as set up.
    nLinkedList* lists = ConvertGeometryToTrilist(geometry, kMaxBatchTriangles, kMaxBatchVertices, kMaxBatchBones);
    if (!lists) return false;
    int32_t count = lists->GetCount();
    if (count == 0) {
        *g_log << "[!] cannot setup geometry '" << name << "', geometry is empty.\n";
        delete lists;
        return false;
    }

    // The batch sources point into the lists; skin records are copied into the device layout.
    GL_BatchSource* sources = new (std::nothrow) GL_BatchSource[count];
    GL_SkinRecord** skins = new (std::nothrow) GL_SkinRecord*[count]();
    bool ok = sources && skins;
    nLinkedListIterator it;
    for (int32_t i = 0; ok && i < count; ++i) {
        const nTrilist* list = static_cast<const nTrilist*>(lists->Iterate(it));
        GL_BatchSource& source = sources[i];
        source.vertexCount = (int32_t)list->vertexCount;
        source.positions = list->positions;
        source.triangleCount = (int32_t)list->triangleCount;
        source.indices = list->indices;
        source.boneCount = (int32_t)list->boneCount;
        source.bonePalette = list->bones;
        source.normals = list->normals;
        source.tangentFrames = list->tangentFrames;
        source.colours = list->colours;
        for (int32_t s = 0; s < 3; ++s) source.uvSets[s] = list->uvSets[s];
        source.materialIndex = list->material;
        if (list->skin) {
            skins[i] = new (std::nothrow) GL_SkinRecord[list->vertexCount];
            ok = skins[i] != 0;
            for (uint32_t v = 0; ok && v < list->vertexCount; ++v)
                for (int32_t k = 0; k < 4; ++k) {
                    skins[i][v].weight[k] = list->skin[v].weight[k];
                    skins[i][v].bone[k] = list->skin[v].slot[k];
                }
            source.skin = skins[i];
        }
    }
    if (!ok) *g_log << "[!] cannot setup geometry '" << name << "', out of memory.\n";
    bool done = ok && SetupGeometryBatches(geometry, sources, count);
    if (skins)
        for (int32_t i = 0; i < count; ++i) delete[] skins[i];
    delete[] skins;
    delete[] sources;
    delete lists;
    return done;
}

bool nGL3Renderer::SetupGeometryBatches(nGeometry* geometry, const GL_BatchSource* batches, int32_t count)
{
    if (!geometry || !batches || count <= 0) return false;
    if (geometry->GetRenderData()) return true;
    GL_GeometryData* data = new (std::nothrow) GL_GeometryData();
    GL_Batch* records = data ? new (std::nothrow) GL_Batch[count] : 0;
    if (!records) {
        *g_log << "[!] cannot setup geometry '" << geometry->GetName().GetCStr() << "', out of memory.\n";
        delete data;
        return false;
    }
    data->batches = records;
    data->batchCount = count;
    geometry->SetRenderData(data);
    for (int32_t i = 0; i < count; ++i) {
        if (!SetupBatch(records[i], batches[i])) {
            FreeGeometry(geometry);
            return false;
        }
    }
    if (m_cleanResourceOnSetup) {
        // Cleaning is for the CPU copy: the device copy just made stays whatever the mask says.
        // The mesh and its attributes stay too: the CPU raytracer, ray casts and scripts read
        // them after the upload, and without them the object would vanish from their view.
        uint32_t mask = geometry->GetKeepMask();
        geometry->SetKeepMask(mask | GeometryKeepRenderData | GeometryKeepMesh | GeometryKeepAttributes);
        geometry->Free();
        geometry->SetKeepMask(mask);
    }
    return true;
}

void nGL3Renderer::FreeGeometry(nGeometry* geometry)
{
    if (!geometry) return;
    GL_GeometryData* data = static_cast<GL_GeometryData*>(geometry->GetRenderData());
    if (!data) return;
    for (int32_t i = 0; i < data->batchCount; ++i) FreeBatch(data->batches[i]);
    delete data;
    geometry->SetRenderData(0);
}

void nGL3Renderer::UpdateGeometry(nGeometry* geometry, int32_t first, int32_t count)
{
    if (geometry && geometry->staticFlag)
        *g_log << "[*] !! Warning, you are trying to update a static geometry, make it dynamic first.\n";
}

// ---------------------------------------------------------------------------------------------
// Textures

bool nGL3Renderer::SetupTexture(nTexture* texture)
{
    if (!m_open || !texture) return false;
    if (texture->GetRenderData()) return true;
    bool releaseAfterwards = m_cleanResourceOnSetup && !texture->TestFlag(TextureKeepPixels);

    GL_TextureData* data = new (std::nothrow) GL_TextureData();
    if (!data) {
        *g_log << "[!] Failed to allocate texture data structure.\n";
        return false;
    }
    texture->SetRenderData(data);

    // A texture that keeps its pixels is uploaded from a copy, so that its own pixels stay
    // in their format.
    nTexture* source = texture;
    nTexture* temporary = 0;
    if (texture->TestFlag(TextureKeepPixels) && !texture->TestFlag(TextureRenderTarget)) {
        temporary = new (std::nothrow) nTexture(0, texture->GetUsage(), texture->GetStorageKind());
        if (!temporary) {
            *g_log << "[!] Failed to allocate texture data structure.\n";
            texture->SetRenderData(0);
            delete data;
            return false;
        }
        temporary->CopyFrom(*texture);
        temporary->SetFlags(texture->GetFlags());
        temporary->SetName(texture->GetName().GetCStr());
        source = temporary;
    }
    if (source->GetFormat().isFloat) {
        source->SetStorageKind(2);
        texture->SetStorageKind(2);
    } else if (source->GetPixels()) {
        source->Convert(PixelFormatRGBA8);
    }

    UploadTexture(texture, source, data, MayCompress(texture));
    delete temporary;

    if (releaseAfterwards) texture->SetSizeOnly(texture->GetWidth(), texture->GetHeight());
    return true;
}

// Render targets, depth kinds, pictures that must stay exact and pictures kept on the CPU to be
// updated later are stored as they are: a lossy format would show in them (or refuse updates).
bool nGL3Renderer::MayCompress(const nTexture* texture) const
{
    const int32_t kind = texture->GetStorageKind();
    return !TestSystemFlag(RendererSystemTextureNoCompression) &&
           !texture->TestFlag(TextureRenderTarget | TextureKeepPixels | TextureExact) && kind != 3 && kind != 4;
}

void nGL3Renderer::UploadTexture(nTexture* texture, nTexture* source, GL_TextureData* data, bool compressed)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    data->name = name;
    if (m_gl && m_gl->ActiveTextureARB) m_gl->ActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    uint32_t width = source->GetWidth();
    uint32_t height = source->GetHeight();
    const char* textureName = texture->GetName().GetCStr();
    if (width == 0 || height == 0) {
        *g_log << "[*] Invalid texture '" << textureName << "'. Uploading error bitmap.\n";
        const uint8_t texel[4] = {127, 0, 255, 127};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_COMPRESSED_RGBA_ARB, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        data->byteSize = 4;
    } else {
        int32_t kind = source->GetStorageKind();
        if (texture->TestFlag(TextureExact)) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        } else if (m_gl && m_gl->GenerateMipmapEXT && texture->GetUsage() != 1 &&
                   !texture->TestFlag(TextureKeepPixels | TextureRenderTarget) && kind != 3 && kind != 4) {
            if (m_hasAnisotropy) glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16.0f);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        }
        const void* pixels = source->GetPixels();
        uint32_t texels = width * height;
        switch (kind) {
            default:
                *g_log << "[!] Unsupported texture format.\n";
                [[fallthrough]];  // stored as a colour texture
            case 0:
                if (compressed && TestSystemFlag(RendererSystemTextureForceTrueColor)) {
                    glTexImage2D(GL_TEXTURE_2D, 0, GL_COMPRESSED_RGBA_ARB, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                    GLint size = 0;
                    GLint isCompressed = GL_FALSE;
                    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_ARB, &isCompressed);
                    if (isCompressed) glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
                    data->byteSize = isCompressed ? (uint32_t)size : texels * 4;
                } else if (compressed) {
                    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                    data->byteSize = texels * 2;
                } else {
                    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                    data->byteSize = texels * 4;
                }
                break;
            case 1:
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                data->byteSize = texels * 8;
                break;
            case 2:
                if (source->GetFormat().isFloat) {
                    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16F_ARB, width, height, 0, GL_RGB, GL_FLOAT, pixels);
                    data->byteSize = texels * 6;
                } else {
                    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F_ARB, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
                    data->byteSize = texels * 8;
                }
                break;
            case 3:
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE_ARB, GL_LUMINANCE);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, 0);
                data->byteSize = texels * (m_noDepth32Target ? 2 : 3);
                break;
            case 4:
                glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, width, height, 0, GL_DEPTH_COMPONENT, GL_FLOAT, pixels);
                data->byteSize = texels * 2;
                break;
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    m_textureBytes += data->byteSize;
    char vram[48];
    std::snprintf(vram, sizeof(vram), "VRAM: %.02fmo", m_textureBytes / 1048576.0);
    *g_log << "Setup " << textureName << " (" << (int32_t)width << "x" << (int32_t)height << "), " << vram << "\n";
}

void nGL3Renderer::FreeTexture(nTexture* texture)
{
    if (!texture) return;
    GL_TextureData* data = static_cast<GL_TextureData*>(texture->GetRenderData());
    if (!data) return;
    if (data->name) {
        GLuint name = data->name;
        glDeleteTextures(1, &name);
    }
    m_textureBytes -= data->byteSize;
    delete data;
    texture->SetRenderData(0);
}

void nGL3Renderer::UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height,
                                 int32_t x, int32_t y)
{
    if (!texture || !rgba || width <= 0 || height <= 0) return;
    GL_TextureData* data = static_cast<GL_TextureData*>(texture->GetRenderData());
    if (!data) return;
    glBindTexture(GL_TEXTURE_2D, data->name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void nGL3Renderer::CreateRenderTargetTexture(nSharedPtr<nTexture>& target, nOrvex* engine, const char* name,
                                             int32_t width, int32_t height, int32_t kind)
{
    if (target.IsValid()) {
        target->Free();
    } else {
        nTexture* texture = new (std::nothrow) nTexture(engine, 1, kind);
        if (!texture) return;
        target = texture;
        texture->SetName(name);
        texture->SetRenderTarget(true);
    }
    target->SetSizeOnly(width > 0 ? width : 0, height > 0 ? height : 0);
    if (!target->Setup()) target.Release();
}
