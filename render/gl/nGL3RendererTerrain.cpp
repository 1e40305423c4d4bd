// The terrain drawer: one quadtree node of a terrain as a patch of 64 x 64 quads through shared
// buffers, its heights (and normals and texture coordinates) refilled per draw; the material's
// programs draw depth, normals and shadows, and the layers blended by the blend map give the
// attribute colours.
#include "render/gl/nGL3Renderer.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "core/nLog.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "scene/nTerrain.h"

namespace {

const int32_t kCells = nTerrain::kPatchCells;
const int32_t kSide = kCells + 1;  // vertices a side
const int32_t kVertices = kSide * kSide;
const int32_t kIndexCount = kCells * kCells * 4;
const float kHeightUnit = 20.0f;

const void* Offset(size_t bytes)
{
    return reinterpret_cast<const void*>((uintptr_t)bytes);
}

bool HasLayers(nTerrain& terrain)
{
    for (int32_t i = 0; i < 4; ++i)
        if (terrain.GetLayer(i).diffuse.IsValid() && terrain.GetLayer(i).diffuse->GetRenderData()) return true;
    return false;
}

}

void nGL3Renderer::FillTerrainPatch(const nTerrain& terrain, const nTerrainNode& node, bool positionsOnly, float* staging)
{
    float* positions = staging;
    float* normals = staging + kTerrainNormalFloats;
    float* uvs = staging + kTerrainUVFloats;
    const int32_t step = node.step > 0 ? node.step : 1;
    const int32_t gridWidth = terrain.GetGridWidth(), gridHeight = terrain.GetGridHeight();
    const float spacing = terrain.GetSpacing();
    const float width = terrain.GetWorldWidth(), depth = terrain.GetWorldDepth();
    const float normalY = 1.0f / (127.0f * spacing * (float)step);
    const int8_t* normalMap = terrain.GetNormals();
    const size_t stride = (size_t)gridWidth + 1;
    for (int32_t j = 0; j < kSide; ++j) {
        // Vertices beyond the grid are drawn onto its edge, with the edge's samples.
        int32_t row = node.row + step * j;
        if (row > gridHeight) row = gridHeight;
        for (int32_t k = 0; k < kSide; ++k) {
            int32_t column = node.column + step * k;
            if (column > gridWidth) column = gridWidth;
            const size_t v = (size_t)(j * kSide + k);
            positions[v * 3 + 0] = (float)(column - node.column) / (float)step;
            positions[v * 3 + 1] = terrain.GetSample(column, row) / kHeightUnit;
            positions[v * 3 + 2] = -(float)(row - node.row) / (float)step;
            if (positionsOnly) continue;
            const int8_t* n = normalMap ? normalMap + ((size_t)row * stride + (size_t)column) * 3 : 0;
            normals[v * 3 + 0] = n ? n[0] / 127.0f : 0.0f;
            normals[v * 3 + 1] = n ? n[1] * normalY : 1.0f;
            normals[v * 3 + 2] = n ? n[2] / 127.0f : 0.0f;
            uvs[v * 2 + 0] = width > 0.0f ? (float)column * spacing / width : 0.0f;
            uvs[v * 2 + 1] = depth > 0.0f ? -(float)row * spacing / depth : 0.0f;
        }
    }
}

bool nGL3Renderer::CreateTerrainBuffers()
{
    if (m_terrainVertexBuffer) return true;
    if (!m_gl || !m_gl->GenBuffersARB || !m_gl->BindBufferARB || !m_gl->BufferDataARB) return false;
    uint16_t* indices = new (std::nothrow) uint16_t[kIndexCount];
    m_terrainStaging = new (std::nothrow) float[kTerrainFloats];
    if (!indices || !m_terrainStaging) {
        delete[] indices;
        delete[] m_terrainStaging;
        m_terrainStaging = 0;
        *g_log << "[!] Failed to allocate the terrain patch buffers.\n";
        return false;
    }
    for (int32_t r = 0; r < kCells; ++r)
        for (int32_t c = 0; c < kCells; ++c) {
            uint16_t* quad = indices + (r * kCells + c) * 4;
            quad[0] = (uint16_t)(r * kSide + c);
            quad[1] = (uint16_t)(r * kSide + c + 1);
            quad[2] = (uint16_t)((r + 1) * kSide + c + 1);
            quad[3] = (uint16_t)((r + 1) * kSide + c);
        }
    GLuint buffers[2] = {0, 0};
    m_gl->GenBuffersARB(2, buffers);
    m_terrainIndexBuffer = buffers[0];
    m_terrainVertexBuffer = buffers[1];
    m_gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, m_terrainIndexBuffer);
    m_gl->BufferDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, kIndexCount * sizeof(uint16_t), indices, GL_STATIC_DRAW_ARB);
    m_gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, m_terrainVertexBuffer);
    m_gl->BufferDataARB(GL_ARRAY_BUFFER_ARB, kTerrainFloats * sizeof(float), 0, GL_STREAM_DRAW_ARB);
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    delete[] indices;
    return true;
}

void nGL3Renderer::FreeTerrainBuffers(bool withContext)
{
    if (withContext && m_gl && m_gl->DeleteBuffersARB) {
        if (m_terrainIndexBuffer) m_gl->DeleteBuffersARB(1, &m_terrainIndexBuffer);
        if (m_terrainVertexBuffer) m_gl->DeleteBuffersARB(1, &m_terrainVertexBuffer);
    }
    m_terrainIndexBuffer = m_terrainVertexBuffer = 0;
    delete[] m_terrainStaging;
    m_terrainStaging = 0;
}

// The layers program: blend map on unit 0, the layers' diffuse textures on units 1 to 4.
bool nGL3Renderer::BindTerrainLayers(nTerrain& terrain, const nTerrainNode& patch)
{
    nGL3Shader* program = static_cast<nGL3Shader*>(GetCoreShader("core::terrain_layers"));
    if (!program || !program->IsCompiled()) return false;
    const uint32_t handle = program->GetProgram();
    m_gl->UseProgramObjectARB(handle);
    ApplyMaterialState(&terrain.GetMaterial());
    nTexture* blend = terrain.GetBlendMap();
    GL_TextureData* blendData = blend ? static_cast<GL_TextureData*>(blend->GetRenderData()) : 0;
    BindSampler(handle, 0, blendData, "blend_map");
    if (blendData) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    }
    SetUniform1f((int32_t)handle, "blend_used", blendData ? 1.0f : 0.0f);
    static const char* const kSamplers[4] = {"layer0_map", "layer1_map", "layer2_map", "layer3_map"};
    float used[4], tiling[4], angle[4], axis[4];
    for (int32_t i = 0; i < 4; ++i) {
        nTerrainLayer& layer = terrain.GetLayer(i);
        GL_TextureData* data = layer.diffuse.IsValid() ? static_cast<GL_TextureData*>(layer.diffuse->GetRenderData()) : 0;
        BindSampler(handle, 1 + i, data, kSamplers[i]);
        if (data) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        }
        used[i] = data ? 1.0f : 0.0f;
        tiling[i] = layer.uvTiling;
        angle[i] = layer.uvAngle;
        axis[i] = (float)layer.uvAxis;
    }
    SetUniform4f((int32_t)handle, "layer_used", used);
    SetUniform4f((int32_t)handle, "layer_tiling", tiling);
    SetUniform4f((int32_t)handle, "layer_angle", angle);
    SetUniform4f((int32_t)handle, "layer_axis", axis);
    const float spacing = terrain.GetSpacing();
    const float place[4] = {patch.column * spacing, -patch.row * spacing, patch.step * spacing, 0.0f};
    SetUniform4f((int32_t)handle, "patch_place", place);
    SetUniform2f((int32_t)handle, "terrain_size", terrain.GetWorldWidth(), terrain.GetWorldDepth());
    if (program->clipDistanceUniform != -1) m_gl->Uniform1fARB(program->clipDistanceUniform, m_clipDistance);
    if (program->clipNormalUniform != -1)
        m_gl->Uniform3fARB(program->clipNormalUniform, m_clipNormal.x, m_clipNormal.y, m_clipNormal.z);
    return true;
}

void nGL3Renderer::DrawTerrainPatch(nTerrainNode* patch, int32_t pass)
{
    nTerrain* terrain = patch ? patch->terrain : 0;
    if (!terrain || !terrain->GetSamples() || TestSystemFlag(RendererSystemDisableShader)) return;
    if (pass != 2 && pass != 3 && pass != 5) return;
    nMaterial& material = terrain->GetMaterial();
    GL_MaterialData* data = static_cast<GL_MaterialData*>(material.GetRenderData());
    if (!CreateTerrainBuffers()) return;

    ResetTextureUnits(0);
    glPushAttrib(GL_POLYGON_BIT | GL_LIGHTING_BIT);
    const bool layered = pass == 3 && HasLayers(*terrain) && BindTerrainLayers(*terrain, *patch);
    nGL3Shader* program = 0;
    if (!layered) {
        const GL3_CompiledRenderMap* map = data ? data->ForPass(pass) : 0;
        if (!map || !map->program || !map->program->IsCompiled() || !BindCompiledRenderMap(map, 0, terrain)) {
            glPopAttrib();
            ResetTextureUnits(0);
            return;
        }
        program = map->program;
        if (program->clipDistanceUniform != -1) m_gl->Uniform1fARB(program->clipDistanceUniform, m_clipDistance);
        if (program->clipNormalUniform != -1)
            m_gl->Uniform3fARB(program->clipNormalUniform, m_clipNormal.x, m_clipNormal.y, m_clipNormal.z);
        if (program->alphaThresholdUniform != -1) m_gl->Uniform1fARB(program->alphaThresholdUniform, material.alphaThreshold);
        if (program->inverseBufferSizeUniform != -1)
            m_gl->Uniform2fARB(program->inverseBufferSizeUniform, m_inverseBufferSize[0], m_inverseBufferSize[1]);
    }

    // The patch's vertices (only the positions where only depth is drawn).
    const bool positionsOnly = pass == 5;
    FillTerrainPatch(*terrain, *patch, positionsOnly, m_terrainStaging);
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, m_terrainVertexBuffer);
    m_gl->BufferDataARB(GL_ARRAY_BUFFER_ARB, (positionsOnly ? kTerrainNormalFloats : kTerrainFloats) * sizeof(float),
                        m_terrainStaging, GL_STREAM_DRAW_ARB);
    m_gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, m_terrainIndexBuffer);

    // Patch steps to terrain units, then the terrain's world matrix.
    const float spacing = terrain->GetSpacing();
    const float unit = spacing * (float)patch->step;
    nMatrix4 place;
    place.m[0] = unit;
    place.m[10] = unit;
    place.m[3] = patch->column * spacing;
    place.m[11] = -patch->row * spacing;
    SetModelMatrix(terrain->GetWorldMatrix() * place);

    glEnableClientState(GL_VERTEX_ARRAY);
    SetVertexArray(static_cast<const float*>(Offset(0)));
    if (!positionsOnly) {
        glEnableClientState(GL_NORMAL_ARRAY);
        SetNormalArray(static_cast<const float*>(Offset(kTerrainNormalFloats * sizeof(float))));
        m_gl->ClientActiveTextureARB(GL_TEXTURE0_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, Offset(kTerrainUVFloats * sizeof(float)));
    }
    glDrawElements(GL_QUADS, kIndexCount, GL_UNSIGNED_SHORT, Offset(0));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    SetVertexArray(0);
    SetNormalArray(0);
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    m_gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    m_gl->UseProgramObjectARB(0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glPopAttrib();
    ResetTextureUnits(0);
    m_statistics.trianglesDrawn += kCells * kCells * 2;
    ++m_statistics.objectsDrawn;
}
