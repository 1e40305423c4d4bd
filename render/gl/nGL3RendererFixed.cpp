// The fixed-function material path: material colours and lighting state, blending and alpha
// test, and a chain of texture units whose combiners reproduce the material's texture stages.
// The texture-unit cache (ResetTextureUnits) undoes the per-unit changes after the draw, led by
// the marks set here.
#include "render/gl/nGL3Renderer.h"

#include "render/gl/nGLEntryPoints.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"

namespace {

// A stage takes part when it exists, is active and has a texture.
const nMaterialStage* UsedStage(const nMaterial* material, int32_t channel)
{
    return material->GetStage(channel, true);
}

void Combine(GLenum function, GLenum source0, GLenum source1)
{
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, (GLint)function);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, (GLint)source0);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, (GLint)source1);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
}

void CombineAlpha(GLenum function, GLenum source0, GLenum source1)
{
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, (GLint)function);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, (GLint)source0);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA_ARB, (GLint)source1);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA_ARB, GL_SRC_ALPHA);
}

void EnvMode(GLenum mode)
{
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, (GLint)mode);
}

void EnvColour(float r, float g, float b, float a)
{
    const float colour[4] = {r, g, b, a};
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
}

void Material(GLenum which, const nVector& colour)
{
    glMaterialfv(GL_FRONT_AND_BACK, which, &colour.x);
}

}

float nGL3Renderer::FixedShininess(float glossiness)
{
    // GL refuses a shininess above 128 and keeps the last value it took.
    const float shininess = glossiness * 256.0f;
    if (shininess > 128.0f) return 128.0f;
    if (shininess < 0.0f) return 0.0f;
    return shininess;
}

uint32_t nGL3Renderer::GetWhiteTexture()
{
    if (m_whiteTexture) return m_whiteTexture;
    const uint8_t white[4] = {255, 255, 255, 255};
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGenTextures(1, &m_whiteTexture);
    glBindTexture(GL_TEXTURE_2D, m_whiteTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glBindTexture(GL_TEXTURE_2D, (GLuint)previous);
    return m_whiteTexture;
}

void nGL3Renderer::ApplyMaterialBlending(nMaterial* material)
{
    glEnable(GL_BLEND);
    if (material->renderFlags & MaterialRenderAdd) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDisable(GL_FOG);
    } else {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glEnable(GL_ALPHA_TEST);
}

void nGL3Renderer::ApplyMaterialState(nMaterial* material)
{
    const uint32_t flags = material->renderFlags;
    glShadeModel((flags & MaterialRenderSmooth) ? GL_SMOOTH : GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, (flags & MaterialRenderWire) ? GL_LINE : GL_FILL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (flags & MaterialRenderDoubleSided) glDisable(GL_CULL_FACE);
    else glEnable(GL_CULL_FACE);
    glAlphaFunc(GL_GREATER, material->alphaThreshold);
    ApplyMaterialColours(material);
}

void nGL3Renderer::ApplyMaterialColours(nMaterial* material)
{
    const bool textured = UsedStage(material, MaterialChannelDiffuse) != 0;
    Material(GL_DIFFUSE, textured ? nVector(1.0f, 1.0f, 1.0f, 1.0f) : material->diffuse);
    Material(GL_AMBIENT, material->ambient);
    Material(GL_SPECULAR, material->specular);
    Material(GL_EMISSION, material->self);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, FixedShininess(material->glossiness));
}

void nGL3Renderer::BindStageTexture(const nMaterialStage* stage, int32_t unit)
{
    const GL_TextureData* data = static_cast<const GL_TextureData*>(stage->texture->GetRenderData());
    BindTextureUnit(unit, data ? data->name : 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, stage->wrapU ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, stage->wrapV ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    SetTextureUnitFlags(unit, UnitTexEnv);
}

void nGL3Renderer::SetupStageTexCoords(const nMaterialStage* stage, int32_t unit, const GL_Batch* batch)
{
    m_gl->ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
    switch (stage->uvSource) {
        case MaterialUVMap: {
            if (!batch) return;
            const int32_t set = stage->uvIndex < 3 ? stage->uvIndex : 0;
            if (batch->uvOffset[set] < 0) return;
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>((intptr_t)batch->uvOffset[set]));
            SetTextureUnitFlags(unit, UnitCoordArray);
            SetMatrixMode(GL_TEXTURE);
            glLoadMatrixf(stage->uvMatrix.m);
            SetMatrixMode(GL_MODELVIEW);
            SetTextureUnitFlags(unit, UnitTexMatrix);
            return;
        }
        case 2:  // sphere map of the normal
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            SetTextureUnitFlags(unit, UnitTexGen);
            return;
        case 3: {  // front map
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            SetTextureUnitFlags(unit, UnitTexGen);
            SetMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glTranslatef(0.5f, 0.5f, 0.0f);
            SetMatrixMode(GL_MODELVIEW);
            SetTextureUnitFlags(unit, UnitTexMatrix);
            return;
        }
        default:
            return;
    }
}

bool nGL3Renderer::ApplyMaterialTextures(nMaterial* material, const GL_Batch* batch, float alphaFactor)
{
    // 1. Vertex colours feed the diffuse colour.
    if (material->renderFlags & MaterialRenderVertexColor) {
        glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
    } else {
        glDisable(GL_COLOR_MATERIAL);
    }

    // 2. The diffuse texture, with the blend texture weighted by the primary colour.
    int32_t unit = 0;
    if (const nMaterialStage* diffuse = UsedStage(material, MaterialChannelDiffuse)) {
        BindStageTexture(diffuse, 0);
        SetupStageTexCoords(diffuse, 0, batch);
        EnvMode(GL_COMBINE_ARB);
        if (const nMaterialStage* blend = UsedStage(material, MaterialChannelBlendRGB)) {
            Combine(GL_REPLACE, GL_TEXTURE, GL_PREVIOUS_ARB);
            CombineAlpha(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
            BindStageTexture(blend, 1);
            SetupStageTexCoords(blend, 1, batch);
            EnvMode(GL_COMBINE_ARB);
            Combine(GL_INTERPOLATE_ARB, GL_TEXTURE, GL_PREVIOUS_ARB);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB_ARB, GL_PRIMARY_COLOR_ARB);
            glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB_ARB, GL_SRC_COLOR);
            CombineAlpha(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
            unit = 2;
        } else {
            Combine(GL_MODULATE, GL_TEXTURE, GL_PREVIOUS_ARB);
            CombineAlpha(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
            unit = 1;
        }
    } else {
        // 3. No diffuse texture: the Diffuse colour through unit 0's constant. A white texture
        // of our own keeps the unit's combiner running, and the cache disables it afterwards.
        m_gl->ClientActiveTextureARB(GL_TEXTURE0_ARB);
        BindTextureUnit(0, GetWhiteTexture());
        SetTextureUnitFlags(0, UnitTexEnv);
        EnvMode(GL_COMBINE_ARB);
        EnvColour(material->diffuse.x, material->diffuse.y, material->diffuse.z, 1.0f);
        Combine(GL_MODULATE, GL_PRIMARY_COLOR_ARB, GL_CONSTANT_ARB);
        CombineAlpha(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
        unit = 1;
    }

    // 4. Decal, light map and self-illumination on the following units.
    if (const nMaterialStage* decal = UsedStage(material, MaterialChannelDecal)) {
        BindStageTexture(decal, unit);
        SetupStageTexCoords(decal, unit, batch);
        EnvMode(GL_DECAL);
        ++unit;
    }
    if (const nMaterialStage* light = UsedStage(material, MaterialChannelLightmap)) {
        BindStageTexture(light, unit);
        SetupStageTexCoords(light, unit, batch);
        EnvMode(GL_COMBINE_ARB);
        Combine(GL_MODULATE, GL_TEXTURE, GL_PREVIOUS_ARB);
        CombineAlpha(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
        ++unit;
    }
    if (const nMaterialStage* self = UsedStage(material, MaterialChannelSelfIllum)) {
        BindStageTexture(self, unit);
        SetupStageTexCoords(self, unit, batch);
        EnvMode(GL_COMBINE_ARB);
        Combine(GL_ADD, GL_TEXTURE, GL_PREVIOUS_ARB);
        CombineAlpha(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
        ++unit;
    }

    // 5. Opacity: the opacity texture's alpha, times the effective opacity when below 1.
    const float e = material->opacity * alphaFactor;
    if (const nMaterialStage* opacity = UsedStage(material, MaterialChannelOpacity)) {
        BindStageTexture(opacity, unit);
        SetupStageTexCoords(opacity, unit, batch);
        EnvMode(GL_COMBINE_ARB);
        Combine(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
        if (e < 1.0f) {
            EnvColour(e, e, e, e);
            CombineAlpha(GL_MODULATE, GL_TEXTURE, GL_CONSTANT_ARB);
        } else {
            CombineAlpha(GL_MODULATE, GL_TEXTURE, GL_PREVIOUS_ARB);
        }
    } else if (e < 1.0f) {
        // No opacity texture: one more unit scales the incoming alpha by the effective opacity
        // (the last stage's unit may be a decal, whose alpha cannot be changed).
        m_gl->ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        BindTextureUnit(unit, GetWhiteTexture());
        SetTextureUnitFlags(unit, UnitTexEnv);
        EnvMode(GL_COMBINE_ARB);
        EnvColour(e, e, e, e);
        Combine(GL_REPLACE, GL_PREVIOUS_ARB, GL_PREVIOUS_ARB);
        CombineAlpha(GL_MODULATE, GL_PREVIOUS_ARB, GL_CONSTANT_ARB);
    }
    m_gl->ActiveTextureARB(GL_TEXTURE0_ARB);
    m_gl->ClientActiveTextureARB(GL_TEXTURE0_ARB);
    return true;
}
