// The emitter drawer: the live particles of an emitter as quads facing the viewer, read far to
// near from the emitter's depth sort, with the particle model's material.
#include "render/gl/nGL3Renderer.h"

#include <cmath>
#include <cstdint>

#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nMaterial.h"
#include "scene/nEmitter.h"
#include "scene/nItem.h"
#include "scene/nParticleModel.h"

namespace {

const float kSkippedOpacity = 0.01f;  // fainter particles are not drawn
const float kShadowOffset = 0.1f;     // along the view axis in the shadow-map pass

// One particle's quad: its corners turned by its angle in the billboard plane, placed by the
// billboard frame's axes around the particle.
void EmitQuad(const nParticle& p, const nMatrix3& frame, float offset)
{
    const float angle = p.angle + 0.7853982f;
    const float k = p.size * 1.4142135f;
    const float c = k * std::cos(angle), s = k * std::sin(angle);
    const nVector corners[4] = {nVector(c, s, offset), nVector(s, -c, offset), nVector(-c, -s, offset),
                                nVector(-s, c, offset)};
    static const float kUV[4][2] = {{1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 0.0f}};
    glColor4f(p.red, p.green, p.blue, p.opacity);
    glNormal3f(0.0f, 0.0f, -1.0f);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(kUV[i][0], kUV[i][1]);
        const nVector v = p.position + corners[i].Rotate(frame);
        glVertex3f(v.x, v.y, v.z);
    }
}

}

bool nGL3Renderer::EmitterDrawsInPass(int32_t pass, uint32_t renderFlags, bool fixedFunctionRenderer)
{
    const bool forward = fixedFunctionRenderer || (renderFlags & MaterialRenderFixedFunction) != 0;
    if (forward) return pass == 0 || pass == 1;
    return pass == 2 || pass == 3 || pass == 5;
}

void nGL3Renderer::DrawEmitter(int32_t pass, nEmitter* emitter)
{
    nParticleModel* model = emitter ? emitter->GetParticleModel() : 0;
    nMaterial* material = model ? &model->GetMaterial() : 0;
    if (!material || !material->GetRenderData() || !m_camera) return;
    const bool fixedRenderer = TestSystemFlag(RendererSystemDisableShader);
    if (!EmitterDrawsInPass(pass, material->renderFlags, fixedRenderer)) return;
    const bool forward = pass == 0 || pass == 1;

    // The program of a deferred pass; without one nothing is drawn.
    nGL3Shader* program = 0;
    GL_MaterialData* data = static_cast<GL_MaterialData*>(material->GetRenderData());
    if (!forward) {
        const GL3_CompiledRenderMap* map = data->ForPass(pass);
        if (!map || !map->program || !map->program->IsCompiled()) return;
        program = map->program;
    }

    emitter->SortParticlesByDepth(m_camera->GetWorldMatrix());
    nItem* viewer = (pass == 5 && m_shadowCamera) ? m_shadowCamera : m_camera;
    const nMatrix3 frame = nMatrix3::FromMatrix4(viewer->GetWorldMatrix());
    const float offset = pass == 5 ? kShadowOffset : 0.0f;

    SetModelMatrix(nMatrix4());
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_LIGHTING_BIT | GL_ENABLE_BIT);
    ResetTextureUnits(0);
    if (!forward) ApplyMaterialColours(material);  // what the programs read as material parameters
    if (forward) {
        ApplyMaterialState(material);
        if (material->GetAlphaFlag()) ApplyMaterialBlending(material);
        ApplyMaterialTextures(material, 0, 1.0f);  // the particle colours feed the diffuse colour
        if (material->renderFlags & MaterialRenderShadeless) glDisable(GL_LIGHTING);
        else glEnable(GL_LIGHTING);
    } else if (!BindCompiledRenderMap(data->ForPass(pass), 0, emitter)) {
        glPopAttrib();
        ResetTextureUnits(0);
        return;
    } else if (program->inverseBufferSizeUniform != -1) {
        m_gl->Uniform2fARB(program->inverseBufferSizeUniform, m_inverseBufferSize[0], m_inverseBufferSize[1]);
    }
    // Billboards face the viewer whatever their winding; alpha stays as the frame left it.
    // They write depth where later passes test against it: the shadow maps, and the deferred
    // depth pass, whose depth the attribute pass tests (a billboard that left no depth there
    // would be overdrawn by anything behind it drawn after it).
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glDepthMask(pass == 5 || pass == 2 ? GL_TRUE : GL_FALSE);

    const uint32_t count = emitter->GetSortedCount();
    glBegin(GL_QUADS);
    for (uint32_t k = 0; k < count; ++k) {
        const nParticle* p = emitter->GetSortedParticle(k);
        if (!p || !p->IsAlive() || p->opacity < kSkippedOpacity) continue;
        EmitQuad(*p, frame, offset);
    }
    glEnd();

    if (program) m_gl->UseProgramObjectARB(0);
    glDisable(GL_COLOR_MATERIAL);
    ResetTextureUnits(0);
    glPopAttrib();
    m_statistics.trianglesDrawn += 2 * count;
    ++m_statistics.objectsDrawn;
}
