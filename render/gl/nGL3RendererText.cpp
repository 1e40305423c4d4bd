#include "render/gl/nGL3Renderer.h"

#include <vector>

#include "render/gl/nGLEntryPoints.h"
#include "resources/nRasterFont.h"
#include "resources/nTexture.h"

// Text written with a raster font straight onto the output: the font lays the text out as
// clip-space quads, drawn here over everything with alpha blending.
void nGL3Renderer::Write(nRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
                         int32_t alignment, const nVector* colour)
{
    if (!m_open || !font || !text) return;
    nVector2 output;
    GetOutputSize(output);
    nRasterTextPlacement placement;
    placement.x = x;
    placement.y = y;
    placement.size = size;
    placement.aspect = keepAspect && output.x > 0.0f ? output.y / output.x : 1.0f;
    placement.globalAspect = m_globalAspectRatio;
    placement.alignment = alignment;
    std::vector<nRasterQuad> quads;
    font->Layout(text, placement, quads);

    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_VIEWPORT_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    m_gl->UseProgramObjectARB(0);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    const nVector tint = colour ? *colour : nVector(1.0f, 1.0f, 1.0f, 1.0f);
    glColor4f(tint.x, tint.y, tint.z, tint.w);

    // A glyph whose page picture did not load is left out: drawn, it would show whatever
    // texture unit 0 held before. Its step still counts, so the rest of the line stays put.
    int32_t currentPage = -1;
    bool pageShown = false;
    for (const nRasterQuad& q : quads) {
        if (q.page != currentPage) {
            nTexture* page = font->GetPageTexture(q.page);
            GL_TextureData* data = page ? static_cast<GL_TextureData*>(page->GetRenderData()) : 0;
            if (data) BindTextureData(0, data);
            pageShown = data != 0;
            currentPage = q.page;
        }
        if (!pageShown) continue;
        glBegin(GL_QUADS);
        glTexCoord2f(q.u, q.v);
        glVertex3f(q.left, q.top, 0.001f);
        glTexCoord2f(q.u + q.w, q.v);
        glVertex3f(q.left + q.width, q.top, 0.001f);
        glTexCoord2f(q.u + q.w, q.v + q.h);
        glVertex3f(q.left + q.width, q.top - q.height, 0.001f);
        glTexCoord2f(q.u, q.v + q.h);
        glVertex3f(q.left, q.top - q.height, 0.001f);
        glEnd();
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    ResetTextureUnits(0);
}
