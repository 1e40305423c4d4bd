#include "tests/kit/nRecordingRenderer.h"

#include "render/nRenderData.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "tests/kit/nCallLog.h"

namespace {

std::string V(const nVector& v)
{
    return "(" + FormatFloat(v.x) + "," + FormatFloat(v.y) + "," + FormatFloat(v.z) + "," + FormatFloat(v.w) + ")";
}

template<class T>
std::string Name(const T* resource)
{
    const char* text = resource->GetName().GetCStr();
    return text ? text : "";
}

std::string Ptr(const void* p)
{
    char text[32];
    snprintf(text, sizeof(text), "%p", p);
    return p ? text : "NULL";
}

}

nRecordingRenderer::nRecordingRenderer(nRendererSlot* slot, nCallLog* log, bool makeCurrent)
    : nNull_Renderer(slot, makeCurrent), m_log(log), m_viewport{0, 0, 640, 480}
{
}

void nRecordingRenderer::BeginFrame() { m_log->Add("render.BeginFrame"); }
void nRecordingRenderer::EndFrame() { m_log->Add("render.EndFrame"); }
void nRecordingRenderer::Present() { m_log->Add("render.Present"); }
void nRecordingRenderer::ApplyCamera() { m_log->Add("render.ApplyCamera"); }
void nRecordingRenderer::RenderQueue() { m_log->Add("render.RenderQueue"); }

void nRecordingRenderer::Clear(float red, float green, float blue, float depth, bool depthOnly)
{
    m_log->Add("render.Clear(" + FormatFloat(red) + "," + FormatFloat(green) + "," + FormatFloat(blue) + "," + FormatFloat(depth) + "," + (depthOnly ? "1" : "0") + ")");
}

void nRecordingRenderer::DrawLine(const nVector& from, const nVector& to, const nVector* colour)
{
    m_log->Add("render.DrawLine" + V(from) + V(to) + (colour ? V(*colour) : "NULL"));
    m_lines.push_back({from, to, colour ? *colour : nVector(-1, -1, -1, -1)});
}

void nRecordingRenderer::DrawTriangle(const nVector& a, const nVector& b, const nVector& c, const nVector* colour,
                                      const nVector2* uvs, nTexture* texture, uint32_t renderFlags)
{
    std::string line = "render.DrawTriangle" + V(a) + V(b) + V(c) + (colour ? V(*colour) : "NULL") + " flags " + std::to_string(renderFlags);
    if (uvs)
        for (int i = 0; i < 3; ++i) line += (i ? "(" : " uv (") + FormatFloat(uvs[i].x) + "," + FormatFloat(uvs[i].y) + ")";
    m_log->Add(line);
    Triangle t{{a, b, c}, colour ? *colour : nVector(-1, -1, -1, -1), uvs != 0, {}, texture, renderFlags};
    if (uvs)
        for (int i = 0; i < 3; ++i) t.uvs[i] = uvs[i];
    m_triangles.push_back(t);
}

void nRecordingRenderer::UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height,
                                       int32_t x, int32_t y)
{
    m_log->Add("render.UpdateTexture(" + std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(x) + "," + std::to_string(y) + ")");
}

void nRecordingRenderer::Write(nRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
                               int32_t alignment, const nVector* colour)
{
    m_log->Add(std::string("render.Write(") + (text ? text : "") + ")");
    writes.push_back({text ? text : "", x, y, size, keepAspect, alignment, colour != 0, colour ? *colour : nVector()});
}

bool nRecordingRenderer::SetupLight(nLight* light)
{
    m_log->Add("render.SetupLight(" + Ptr(light) + ")");
    return true;
}
void nRecordingRenderer::FreeLight(nLight* light) { m_log->Add("render.FreeLight(" + Ptr(light) + ")"); }
void nRecordingRenderer::UpdateLight(nLight* light) { m_log->Add("render.UpdateLight(" + Ptr(light) + ")"); }

void nRecordingRenderer::SetViewMatrix(const nMatrix4& m)
{
    m_lastView = m;
    m_log->Add("render.SetViewMatrix");
}

void nRecordingRenderer::SetProjectionMatrix(const nMatrix4& m)
{
    m_lastProjection = m;
    m_log->Add("render.SetProjectionMatrix(" + FormatFloat(m.m[0]) + ")");
}

void nRecordingRenderer::GetViewport(int32_t* x, int32_t* y, int32_t* width, int32_t* height)
{
    if (viewportUnknown) return;
    if (x) *x = m_viewport[0];
    if (y) *y = m_viewport[1];
    if (width) *width = m_viewport[2];
    if (height) *height = m_viewport[3];
}

void nRecordingRenderer::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height)
{
    m_log->Add("render.SetViewport(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," + std::to_string(height) + ")");
}

void nRecordingRenderer::SetViewportAnswer(int32_t x, int32_t y, int32_t width, int32_t height)
{
    m_viewport[0] = x;
    m_viewport[1] = y;
    m_viewport[2] = width;
    m_viewport[3] = height;
}

// Resources, as a device renderer: set-up attaches renderer data, free deletes it.

bool nRecordingRenderer::SetupTexture(nTexture* texture)
{
    if (!recordResources) return nNull_Renderer::SetupTexture(texture);
    m_log->Add("render.SetupTexture(" + Name(texture) + ")");
    if (!setupAnswer) return false;
    if (!texture->GetRenderData()) texture->SetRenderData(new nRenderData());
    if (dropPixels && !texture->TestFlag(TextureKeepPixels)) texture->SetSizeOnly(texture->GetWidth(), texture->GetHeight());
    return true;
}

void nRecordingRenderer::FreeTexture(nTexture* texture)
{
    if (!recordResources) return nNull_Renderer::FreeTexture(texture);
    m_log->Add("render.FreeTexture(" + Name(texture) + ")");
    delete texture->GetRenderData();
    texture->SetRenderData(0);
}

bool nRecordingRenderer::SetupMaterial(nMaterial* material)
{
    if (!recordResources) return nNull_Renderer::SetupMaterial(material);
    m_log->Add("render.SetupMaterial(" + Name(material) + ")");
    if (material->GetRenderData()) return false;
    material->SetRenderData(new nRenderData());
    return true;
}

void nRecordingRenderer::UpdateMaterial(nMaterial* material)
{
    if (!recordResources) return nNull_Renderer::UpdateMaterial(material);
    m_log->Add("render.UpdateMaterial(" + Name(material) + ")");
}

void nRecordingRenderer::FreeMaterial(nMaterial* material)
{
    if (!recordResources) return nNull_Renderer::FreeMaterial(material);
    m_log->Add("render.FreeMaterial(" + Name(material) + ")");
    delete material->GetRenderData();
    material->SetRenderData(0);
}

bool nRecordingRenderer::SetupGeometry(nGeometry* geometry)
{
    if (!recordResources) return nNull_Renderer::SetupGeometry(geometry);
    m_log->Add("render.SetupGeometry(" + Name(geometry) + ")");
    return true;
}

void nRecordingRenderer::FreeGeometry(nGeometry* geometry)
{
    if (!recordResources) return nNull_Renderer::FreeGeometry(geometry);
    m_log->Add("render.FreeGeometry(" + Name(geometry) + ")");
}

bool nRecordingRenderer::LoadTextureContent(nTexture* texture, const char* path)
{
    if (recordResources) m_log->Add(std::string("render.LoadTextureContent(") + (path ? path : "") + ")");
    return nNull_Renderer::LoadTextureContent(texture, path);
}

nShader* nRecordingRenderer::NewShader()
{
    return makeShaders ? new nRecordingShader(this, &liveShaders) : nNull_Renderer::NewShader();
}

nRecordingShader::nRecordingShader(nRenderer* renderer, int* alive) : nShader(renderer), m_alive(alive)
{
    ++*m_alive;
}

nRecordingShader::~nRecordingShader()
{
    --*m_alive;
}

bool nRecordingShader::Compile(const char* name, const char* vertex, const char* pixel)
{
    nShader::Compile(name, vertex, pixel);
    this->vertex = vertex;
    this->pixel = pixel;
    m_compiled = this->vertex != "broken";
    return m_compiled;
}
