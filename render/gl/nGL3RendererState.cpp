// The state cache: default GL state, texture-unit flags and cached setters.
#include "render/gl/nGL3Renderer.h"

#include "render/gl/nGLEntryPoints.h"

// ---------------------------------------------------------------------------------------------
// State cache

void nGL3Renderer::ResetState()
{
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_LIGHTING);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glEnable(GL_NORMALIZE);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glAlphaFunc(GL_GREATER, 0.1f);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LEQUAL);

    SetVertexArray(0);
    SetNormalArray(0);
    SetColourArray(0);
    SetMatrixMode(GL_MODELVIEW);
    nVector black(0.0f, 0.0f, 0.0f, 1.0f);
    SetMaterialAmbient(black);
    SetMaterialDiffuse(black);
    SetMaterialSpecular(black);
    SetMaterialEmission(black);
    SetMaterialShininess(0.0f);

    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
}

void nGL3Renderer::BindTextureUnit(int32_t unit, uint32_t name)
{
    if (unit < 0 || !m_gl || !m_gl->ActiveTextureARB) return;
    m_gl->ActiveTextureARB(GL_TEXTURE0_ARB + unit);
    glBindTexture(GL_TEXTURE_2D, name);
    // Units past the fixed-function ones serve programs only: nothing there to enable.
    if (unit < kFixedTextureUnits) glEnable(GL_TEXTURE_2D);
    SetTextureUnitFlags(unit, UnitTexture2D);
}

nGL3Renderer::GL_TextureData* nGL3Renderer::BindTextureData(int32_t unit, GL_TextureData* data)
{
    if (data) BindTextureUnit(unit, data->name);
    return data;
}

void nGL3Renderer::BindSampler(uint32_t program, int32_t unit, GL_TextureData* data, const char* uniform)
{
    BindTextureData(unit, data);
    if (!m_gl || !m_gl->GetUniformLocationARB || !m_gl->Uniform1iARB || !uniform) return;
    GLint location = m_gl->GetUniformLocationARB(program, uniform);
    m_gl->Uniform1iARB(location, unit);
}

void nGL3Renderer::ResetTextureUnits(int32_t first)
{
    if (!m_gl || !m_gl->ActiveTextureARB || !m_gl->ClientActiveTextureARB) return;
    if (first < 0) first = 0;
    for (int32_t unit = first; unit < kTextureUnits; ++unit) {
        uint32_t flags = m_unitFlags[unit];
        if (!flags) continue;
        m_gl->ActiveTextureARB(GL_TEXTURE0_ARB + unit);
        if (unit >= kFixedTextureUnits) {
            // A program's sampler unit: only a texture was bound there.
            glBindTexture(GL_TEXTURE_2D, 0);
            m_unitFlags[unit] = 0;
            continue;
        }
        m_gl->ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        if (flags & UnitTexEnv) {
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA_ARB, GL_PREVIOUS_ARB);
        }
        if (flags & UnitTexGen) {
            glDisable(GL_TEXTURE_GEN_S);
            glDisable(GL_TEXTURE_GEN_T);
        }
        if (flags & UnitCoordArray) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        if (flags & UnitTexMatrix) {
            SetMatrixMode(GL_TEXTURE);
            glLoadIdentity();
        }
        if (flags & UnitTexture2D) {
            glBindTexture(GL_TEXTURE_2D, 0);
            glDisable(GL_TEXTURE_2D);
        }
        m_unitFlags[unit] = 0;
    }
}

int32_t nGL3Renderer::FirstFreeTextureUnit() const
{
    for (int32_t unit = 0; unit < kFixedTextureUnits; ++unit)
        if (!m_unitFlags[unit]) return unit;
    return kFixedTextureUnits;
}

uint32_t nGL3Renderer::GetTextureUnitFlags(int32_t unit) const
{
    return unit >= 0 && unit < kTextureUnits ? m_unitFlags[unit] : 0;
}

void nGL3Renderer::SetTextureUnitFlags(int32_t unit, uint32_t bits)
{
    if (unit >= 0 && unit < kTextureUnits) m_unitFlags[unit] |= bits;
}

void nGL3Renderer::SetMatrixMode(uint32_t mode)
{
    m_matrixMode = mode;
    glMatrixMode(mode);
}

void nGL3Renderer::SetVertexArray(const float* xyz)
{
    m_vertexArray = xyz;
    glVertexPointer(3, GL_FLOAT, 0, xyz);
}

void nGL3Renderer::SetNormalArray(const float* xyz)
{
    m_normalArray = xyz;
    glNormalPointer(GL_FLOAT, 0, xyz);
}

void nGL3Renderer::SetColourArray(const float* rgb)
{
    m_colourArray = rgb;
    glColorPointer(3, GL_FLOAT, 0, rgb);
}

void nGL3Renderer::SetMaterialAmbient(const nVector& c)
{
    m_materialAmbient = c;
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &c.x);
}

void nGL3Renderer::SetMaterialDiffuse(const nVector& c)
{
    m_materialDiffuse = c;
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &c.x);
}

void nGL3Renderer::SetMaterialSpecular(const nVector& c)
{
    m_materialSpecular = c;
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &c.x);
}

void nGL3Renderer::SetMaterialEmission(const nVector& c)
{
    m_materialEmission = c;
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &c.x);
}

void nGL3Renderer::SetMaterialShininess(float s)
{
    m_materialShininess = s;
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, s);
}
