// The geometry drawer: each primitive of an object drawn in a pass by the fixed-function
// drawer or by the shader drawer with its material's program, or not at all.
#include "render/gl/nGL3Renderer.h"

#include <cstdint>

#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "scene/nItem.h"
#include "scene/nObject.h"

namespace {

const void* Offset(int32_t bytes)
{
    return reinterpret_cast<const void*>((uintptr_t)bytes);
}

// A matrix inverse for rigid and scaled transforms (the camera's previous world matrix).
nMatrix4 AffineInverse(const nMatrix4& m)
{
    const float* a = m.m;
    const float det = a[0] * (a[5] * a[10] - a[6] * a[9]) - a[1] * (a[4] * a[10] - a[6] * a[8]) +
                      a[2] * (a[4] * a[9] - a[5] * a[8]);
    nMatrix4 r;
    if (det == 0.0f) return r;
    const float k = 1.0f / det;
    float* b = r.m;
    b[0] = (a[5] * a[10] - a[6] * a[9]) * k;
    b[1] = (a[2] * a[9] - a[1] * a[10]) * k;
    b[2] = (a[1] * a[6] - a[2] * a[5]) * k;
    b[4] = (a[6] * a[8] - a[4] * a[10]) * k;
    b[5] = (a[0] * a[10] - a[2] * a[8]) * k;
    b[6] = (a[2] * a[4] - a[0] * a[6]) * k;
    b[8] = (a[4] * a[9] - a[5] * a[8]) * k;
    b[9] = (a[1] * a[8] - a[0] * a[9]) * k;
    b[10] = (a[0] * a[5] - a[1] * a[4]) * k;
    for (int row = 0; row < 3; ++row)
        b[row * 4 + 3] = -(b[row * 4] * a[3] + b[row * 4 + 1] * a[7] + b[row * 4 + 2] * a[11]);
    b[12] = b[13] = b[14] = 0.0f;
    b[15] = 1.0f;
    return r;
}

// The attribute groups a drawer may change: depth, blending and culling.
const GLbitfield kDrawerAttributes = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT;

// Whether drawing a batch changes state of those groups, which must then be saved and put back.
// Most batches change none: saving the groups for each of them costs more than the draw.
bool BatchChangesAttributes(bool fixedFunction, int32_t pass, uint32_t flags)
{
    if (fixedFunction || (flags & MaterialRenderDoubleSided)) return true;
    return pass == 2 && (flags & (MaterialRenderNoDepthWrite | MaterialRenderNoDepthTest)) != 0;
}

}

int32_t nGL3Renderer::SelectGeometryDrawer(int32_t pass, uint32_t renderFlags, bool alpha, bool fixedFunctionRenderer)
{
    if (fixedFunctionRenderer) {
        if ((pass == 0 && !alpha) || (pass == 1 && alpha)) return DrawerFixedFunction;
        return DrawerNone;
    }
    const bool fixed = (renderFlags & MaterialRenderFixedFunction) != 0;
    switch (pass) {
        case 0: return fixed && !alpha ? DrawerFixedFunction : DrawerNone;
        case 1: return fixed && alpha ? DrawerFixedFunction : DrawerNone;
        case 2:
        case 3:
        case 4: return fixed ? DrawerNone : DrawerShader;
        case 5: return DrawerShader;
        default: return DrawerNone;
    }
}

void nGL3Renderer::DrawGeometry(int32_t pass, nGeometry* geometry)
{
    GL_GeometryData* data = geometry ? static_cast<GL_GeometryData*>(geometry->GetRenderData()) : 0;
    if (!data) return;
    nItem* item = m_currentPrimitive ? m_currentPrimitive->owner : 0;
    SetModelMatrix(item ? item->GetWorldMatrix() : nMatrix4());
    const bool fixedRenderer = TestSystemFlag(RendererSystemDisableShader);
    for (int32_t b = 0; b < data->batchCount; ++b) {
        GL_Batch& batch = data->batches[b];
        nMaterial* material = geometry->GetMaterial((uint32_t)batch.materialIndex);
        if (!material) continue;
        const uint32_t flags = material->renderFlags;
        const int32_t drawer = SelectGeometryDrawer(pass, flags, material->GetAlphaFlag(), fixedRenderer);
        if (drawer == DrawerNone) continue;
        const bool saved = BatchChangesAttributes(drawer == DrawerFixedFunction, pass, flags);
        if (saved) glPushAttrib(kDrawerAttributes);
        if (drawer == DrawerFixedFunction) {
            if (flags & MaterialRenderNoFog) glDisable(GL_FOG);
            glDepthMask((flags & MaterialRenderNoDepthWrite) ? GL_FALSE : GL_TRUE);
            DrawBatchFixedFunction(pass, batch, material, item);
            if (m_fogEnabled) glEnable(GL_FOG);
        } else {
            if (pass == 2 && (flags & MaterialRenderNoDepthWrite)) glDepthMask(GL_FALSE);
            if (pass == 2 && (flags & MaterialRenderNoDepthTest)) glDepthFunc(GL_ALWAYS);
            DrawBatchShader(pass, batch, material, item);
        }
        if (saved) glPopAttrib();
        ResetTextureUnits(0);
        ++m_statistics.listsDrawn;
        m_statistics.trianglesDrawn += (uint32_t)(batch.indexCount / 3);
    }
    ++m_statistics.objectsDrawn;
}

void nGL3Renderer::BindBatchArrays(int32_t pass, const GL_Batch& batch, bool colours)
{
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
    m_gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    SetVertexArray(static_cast<const float*>(Offset(0)));
    if (pass == 4 || pass == 5) return;
    if (colours && batch.colourOffset >= 0) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, Offset(batch.colourOffset));
    }
    if (batch.normalOffset >= 0) {
        glEnableClientState(GL_NORMAL_ARRAY);
        SetNormalArray(static_cast<const float*>(Offset(batch.normalOffset)));
    }
}

void nGL3Renderer::UnbindBatchArrays()
{
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    m_gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    m_gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    SetVertexArray(0);
    SetNormalArray(0);
    m_colourArray = 0;
}

void nGL3Renderer::DrawBatchFixedFunction(int32_t pass, GL_Batch& batch, nMaterial* material, nItem* item)
{
    const float alphaFactor = item ? item->GetOpacity() : 1.0f;
    BindBatchArrays(pass, batch, (material->renderFlags & MaterialRenderVertexColor) != 0);
    if (material->GetAlphaFlag()) ApplyMaterialBlending(material);
    ApplyMaterialState(material);
    ApplyMaterialTextures(material, &batch, alphaFactor);
    if (material->renderFlags & MaterialRenderShadeless) glDisable(GL_LIGHTING);
    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, Offset(0));
    if (material->renderFlags & MaterialRenderShadeless) glEnable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    UnbindBatchArrays();
}

void nGL3Renderer::DrawBatchShader(int32_t pass, GL_Batch& batch, nMaterial* material, nItem* item)
{
    GL_MaterialData* data = static_cast<GL_MaterialData*>(material->GetRenderData());
    nGL3Shader* program = 0;
    if (pass == 4) {
        program = static_cast<nGL3Shader*>(GetCoreShader("core::velocity"));
    } else {
        const GL3_CompiledRenderMap* map = data ? data->ForPass(pass) : 0;
        if (map && map->program && map->program->IsCompiled()) program = map->program;
    }
    if (!program) return;

    BindBatchArrays(pass, batch, true);
    if (material->renderFlags & MaterialRenderDoubleSided) glDisable(GL_CULL_FACE);
    if (pass != 4) ApplyMaterialColours(material);
    const uint32_t handle = program->GetProgram();
    if (pass == 4) {
        m_gl->UseProgramObjectARB(handle);
        if (program->inverseBufferSizeUniform != -1)
            m_gl->Uniform2fARB(program->inverseBufferSizeUniform, m_inverseBufferSize[0], m_inverseBufferSize[1]);
        SetUniformMatrix4((int32_t)handle, "view_previous_matrix", AffineInverse(m_camera->GetPreviousWorldMatrix()));
        SetUniformMatrix4((int32_t)handle, "model_previous_matrix", item ? item->GetPreviousWorldMatrix() : nMatrix4());
    } else if (!BindCompiledRenderMap(data->ForPass(pass), &batch, item)) {
        UnbindBatchArrays();
        return;
    }

    if (program->clipDistanceUniform != -1) m_gl->Uniform1fARB(program->clipDistanceUniform, m_clipDistance);
    if (program->clipNormalUniform != -1)
        m_gl->Uniform3fARB(program->clipNormalUniform, m_clipNormal.x, m_clipNormal.y, m_clipNormal.z);
    if (program->alphaThresholdUniform != -1) m_gl->Uniform1fARB(program->alphaThresholdUniform, material->alphaThreshold);
    if (program->inverseBufferSizeUniform != -1)
        m_gl->Uniform2fARB(program->inverseBufferSizeUniform, m_inverseBufferSize[0], m_inverseBufferSize[1]);

    int32_t enabled[4] = {-1, -1, -1, -1};
    if ((pass < 3 || pass > 5) && batch.tangentOffset >= 0 && program->tangentAttribute != -1) {
        enabled[0] = program->tangentAttribute;
        m_gl->VertexAttribPointer(enabled[0], 3, GL_FLOAT, GL_FALSE, 0, Offset(batch.tangentOffset));
        if (batch.bitangentOffset >= 0 && program->bitangentAttribute != -1) {
            enabled[1] = program->bitangentAttribute;
            m_gl->VertexAttribPointer(enabled[1], 3, GL_FLOAT, GL_FALSE, 0, Offset(batch.bitangentOffset));
        }
    }
    // A skinned primitive is posed in every pass that draws it, so that its depth, normals and
    // attributes land on the same pixels.
    if (batch.boneIndexOffset >= 0 && program->skinIdAttribute != -1) {
        enabled[2] = program->skinIdAttribute;
        m_gl->VertexAttribPointer(enabled[2], 4, GL_UNSIGNED_BYTE, GL_FALSE, 0, Offset(batch.boneIndexOffset));
        if (batch.boneWeightOffset >= 0 && program->skinWeightAttribute != -1) {
            enabled[3] = program->skinWeightAttribute;
            m_gl->VertexAttribPointer(enabled[3], 4, GL_FLOAT, GL_FALSE, 0, Offset(batch.boneWeightOffset));
        }
        nObject* object = dynamic_cast<nObject*>(item);
        const nMatrix4* bones = object ? object->GetBoneMatrices() : 0;
        const int32_t boneCount = bones ? object->GetBoneCount() : 0;
        for (int32_t i = 0; i < batch.boneCount && batch.boneMatrices; ++i) {
            const int32_t bone = batch.bonePalette[i];
            batch.boneMatrices[i] = bone < boneCount ? bones[bone] : nMatrix4();
        }
        if (program->skinPaletteUniform != -1 && batch.boneCount > 0)
            m_gl->UniformMatrix4fv(program->skinPaletteUniform, batch.boneCount, GL_TRUE, batch.boneMatrices[0].m);
    }
    for (int32_t attribute : enabled)
        if (attribute != -1) m_gl->EnableVertexAttribArray(attribute);

    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, Offset(0));

    for (int32_t attribute : enabled)
        if (attribute != -1) m_gl->DisableVertexAttribArray(attribute);
    m_gl->UseProgramObjectARB(0);
    UnbindBatchArrays();
}
