#include "render/raytrace/nRaytracerShading.h"

#include <cmath>
#include <unordered_set>

#include "audio/mivox/mvx_Stream.h"
#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nPicture.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "resources/nTexture.h"
#include "resources/nTextureStreamInterface.h"
#include "scene/nCamera.h"
#include "scene/nItem.h"

namespace {

const int32_t kMaxDepth = 256;
const int32_t kMaxEvaluations = 65536;

// The binding indices of the hit triangle's three corners; false when the hit names a polygon or
// triangle the geometry does not have.
bool HitCorners(const nRaytraceHit& hit, int32_t corners[3])
{
    const nGeometry* g = hit.geometry;
    if (!g || !g->polygons || !g->bindings || hit.polygon < 0 || (uint32_t)hit.polygon >= g->polygonCount)
        return false;
    const nPolygon& p = g->polygons[hit.polygon];
    if (!p.bindings || hit.offset < 0 || hit.offset + 2 >= (int32_t)p.count)
        return false;
    const int32_t first = (int32_t)(p.bindings - g->bindings);
    corners[0] = first;
    corners[1] = first + hit.offset + 1;
    corners[2] = first + hit.offset + 2;
    return corners[2] < (int32_t)g->bindingCount;
}

// w0 a + w1 b + w2 c of a per-corner attribute, all four components.
template<class Read>
bool Interpolate(const nRaytraceHit& hit, Read read, nVector& out)
{
    int32_t c[3];
    if (!HitCorners(hit, c))
        return false;
    const nVector a = read(c[0]), b = read(c[1]), d = read(c[2]);
    out = nVector(hit.w0 * a.x + hit.w1 * b.x + hit.w2 * d.x, hit.w0 * a.y + hit.w1 * b.y + hit.w2 * d.y,
                  hit.w0 * a.z + hit.w1 * b.z + hit.w2 * d.z, hit.w0 * a.w + hit.w1 * b.w + hit.w2 * d.w);
    return true;
}

bool InterpolateNormal(const nRaytraceHit& hit, nVector& out)
{
    const nVector* normals = hit.geometry ? hit.geometry->vertexNormals : 0;
    return normals && Interpolate(
                          hit, [&](int32_t i) { return normals[i]; }, out);
}

bool InterpolateColor(const nRaytraceHit& hit, nVector& out)
{
    const nGeometryColor* colors = hit.geometry ? hit.geometry->colors : 0;
    return colors && Interpolate(
                         hit, [&](int32_t i) { const nGeometryColor& c = colors[i]; return nVector(c.r, c.g, c.b, c.a); }, out);
}

bool InterpolateUV(const nRaytraceHit& hit, int32_t set, nVector& out)
{
    const nGeometry* g = hit.geometry;
    if (!g || set < 0 || set >= kGeometryUVSetCount || (uint32_t)set >= g->uvSetCount || !g->uvSets[set])
        return false;
    const nVector2* uv = g->uvSets[set];
    if (!Interpolate(
            hit, [&](int32_t i) { return nVector(uv[i].x, uv[i].y, 0.0f, 0.0f); }, out))
        return false;
    out.z = out.w = 0.0f;
    return true;
}

// The fractional part, always in [0, 1).
float Repeat(float t)
{
    float f = t - std::floor(t);
    return f >= 1.0f ? 0.0f : f;
}

float Clamp01(float t) { return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t); }

float Component(const nVector& v, int i) { return (&v.x)[i]; }

// The four-component product of a 4x4 matrix and a column vector; with rowVector the vector
// multiplies from the left (GLSL v * M), which is the transposed matrix's product.
nVector Multiply4(const nMatrix4& m, const nVector& v, bool rowVector)
{
    float r[4];
    for (int i = 0; i < 4; ++i) {
        float s = 0.0f;
        for (int k = 0; k < 4; ++k)
            s += (rowVector ? m.m[4 * k + i] : m.m[4 * i + k]) * Component(v, k);
        r[i] = s;
    }
    return nVector(r[0], r[1], r[2], r[3]);
}

nVector Multiply3(const nMatrix3& m, const nVector& v, bool rowVector)
{
    return v.Rotate(rowVector ? m.Transpose() : m);
}

// Unit length over the value's components (a vec4 counts its w); zero when shorter than 1e-6.
nVector NormalizeComponents(const nVector& v, int32_t size)
{
    const int n = size < 1 ? 3 : (size > 4 ? 4 : size);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i)
        sum += Component(v, i) * Component(v, i);
    const float length = std::sqrt(sum);
    if (length < 1e-6f)
        return nVector(0.0f, 0.0f, 0.0f, n == 4 ? 0.0f : 1.0f);
    nVector r(v.x, v.y, v.z, n == 4 ? v.w : 1.0f);
    for (int i = 0; i < n; ++i)
        (&r.x)[i] = Component(v, i) / length;
    return r;
}

float DotComponents(const nVector& a, const nVector& b, int32_t size)
{
    const int n = size < 1 ? 3 : (size > 4 ? 4 : size);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i)
        sum += Component(a, i) * Component(b, i);
    return sum;
}

// Component-wise A / B where a zero divisor gives zero instead of an infinity.
nVector DivideGuarded(const nVector& a, const nVector& b)
{
    auto div = [](float n, float d) { return d == 0.0f ? 0.0f : n / d; };
    return nVector(div(a.x, b.x), div(a.y, b.y), div(a.z, b.z));
}

int32_t SizeOfConstant(uint32_t type)
{
    switch (type) {
        case ShaderValueFloat: return 1;
        case ShaderValueVec2: return 2;
        case ShaderValueVec3: return 3;
        default: return 4;
    }
}

int32_t LargerSize(const ShaderValue& a, const ShaderValue& b)
{
    return a.size > b.size ? a.size : b.size;
}

// The packed colour of a picture sample as four floats in 0..1, red in the low byte.
nVector UnpackColor(uint32_t c)
{
    return nVector((c & 0xff) / 255.0f, ((c >> 8) & 0xff) / 255.0f, ((c >> 16) & 0xff) / 255.0f, ((c >> 24) & 0xff) / 255.0f);
}

// The polygon's face normal, unit length: the geometry's own, or made from its first three corners
// as the geometry makes it; the intersection's normal when the geometry has neither.
nVector FaceNormal(const nRaytraceHit& hit)
{
    const nGeometry* g = hit.geometry;
    if (!g || hit.polygon < 0 || (uint32_t)hit.polygon >= g->polygonCount || !g->polygons)
        return hit.normal.Normalize();
    if (g->polygonNormals)
        return g->polygonNormals[hit.polygon].Normalize();
    const nPolygon& p = g->polygons[hit.polygon];
    if (p.count < 3 || !p.bindings || !g->vertices)
        return hit.normal.Normalize();
    for (int i = 0; i < 3; ++i)
        if (p.bindings[i] < 0 || (uint32_t)p.bindings[i] >= g->vertexCount)
            return hit.normal.Normalize();
    const nVector& p0 = g->vertices[p.bindings[0]];
    return (g->vertices[p.bindings[1]] - p0).Cross(g->vertices[p.bindings[2]] - p0).Normalize();
}

// A stage takes part when it is active and has a texture.
const nMaterialStage* UsedStage(const nMaterial* material, int32_t channel)
{
    return material ? material->GetStage(channel, true) : 0;
}

}

nRaytracerShading::nRaytracerShading(nOrvex* engine)
    : m_engine(engine), m_camera(0), m_outputWidth(0), m_outputHeight(0), m_reportedTooLarge(false)
{
}

void nRaytracerShading::SetView(nCamera* camera, int32_t outputWidth, int32_t outputHeight)
{
    m_camera = camera;
    if (m_camera)
        m_camera->GetInverseWorldMatrix();  // brought up to date here, so that shading only reads it
    m_outputWidth = outputWidth;
    m_outputHeight = outputHeight;
}

nRaytracerShading::~nRaytracerShading() = default;

void nRaytracerShading::PrepareTextures(nGeometry* const* geometries, int32_t count)
{
    for (auto& entry : m_texels) entry.second.seen = false;
    std::unordered_set<const nMaterial*> done;  // objects share geometries and materials
    for (int32_t i = 0; i < count; ++i) {
        const nGeometry* geometry = geometries[i];
        for (uint32_t m = 0; geometry && m < geometry->materialCount; ++m) {
            const nMaterial* material = geometry->GetMaterial(m);
            if (!material || !done.insert(material).second) continue;
            for (int32_t stage = 0; stage < nMaterial::kStageCount; ++stage) PrepareTexture(material->GetStageAt(stage).texture.Get());
            if (const nRenderMap* map = material->GetRenderMap())
                for (const nShaderBlock* block : map->CollectBlocks(false))
                    if (block->GetKind() == ShaderBlockTexture) PrepareTexture(block->texture.Get());
        }
    }
    for (auto it = m_texels.begin(); it != m_texels.end();) it = it->second.seen ? std::next(it) : m_texels.erase(it);
}

// Only a texture with a file behind it, no pixels of its own and no stream or render target
// feeding it is read again.
void nRaytracerShading::PrepareTexture(const nTexture* texture)
{
    if (!texture || texture->GetPixels() || texture->GetStreamInterface() || texture->TestFlag(TextureRenderTarget) ||
        texture->GetName().IsEmpty())
        return;
    auto found = m_texels.find(texture);
    if (found != m_texels.end() && found->second.name == texture->GetName().GetCStr()) {
        found->second.seen = true;
        return;
    }
    TexelCopy copy;
    copy.name = texture->GetName().GetCStr();
    copy.seen = true;
    copy.pixels.reset(new nPicture());
    if (!nPicture::LoadContent(copy.pixels.get(), copy.name.c_str())) {
        *g_log << "[!] Texture '" << copy.name.c_str() << "' has no pixels to trace and could not be read again.\n";
        copy.pixels.reset();
    }
    m_texels[texture] = std::move(copy);
}

const nPicture* nRaytracerShading::GetTexels(const nTexture* texture) const
{
    auto found = m_texels.find(texture);
    if (found == m_texels.end() || !found->second.pixels) return texture;
    return found->second.pixels.get();
}

bool nRaytracerShading::EvaluateShaderBlock(const nRaytraceHit& hit, const nShaderBlock* block, ShaderValue& out) const
{
    int32_t budget = kMaxEvaluations;
    return Evaluate(hit, block, out, 0, &budget);
}

bool nRaytracerShading::TooLarge(int32_t depth, int32_t budget) const
{
    if (depth < kMaxDepth && budget > 0)
        return false;
    if (!m_reportedTooLarge.exchange(true))
        *g_log << "[!] Shader graph too large to evaluate on the CPU (deeper than " << kMaxDepth << " blocks or more than "
               << kMaxEvaluations << " evaluations).\n";
    return true;
}

bool nRaytracerShading::Evaluate(const nRaytraceHit& hit, const nShaderBlock* block, ShaderValue& out, int32_t depth,
                                 int32_t* budget) const
{
    if (!block)
        return true;
    if (TooLarge(depth, --*budget))
        return false;
    ShaderValue in[nShaderBlock::kMaxInputs];
    for (unsigned i = 0; i < block->GetInputCount() && i < (unsigned)nShaderBlock::kMaxInputs; ++i)
        if (!Evaluate(hit, block->GetInput(i), in[i], depth + 1, budget))
            return false;
    const nVector& A = in[0].vector;
    const nVector& B = in[1].vector;
    nItem* item = hit.item;
    const nMaterial* material = hit.material;

    switch (block->GetKind()) {
        case ShaderBlockVertex:
            out.SetVector(item ? hit.point.Transform(item->GetInverseWorldMatrix()) : nVector(hit.point.x, hit.point.y, hit.point.z), 4);
            break;
        case ShaderBlockNormal: {
            // The generated program normalises the interpolated normal.
            nVector n;
            if (InterpolateNormal(hit, n))
                out.SetVector(n.Normalize(), 3);
            break;
        }
        case ShaderBlockUV: {
            nVector uv;
            if (InterpolateUV(hit, block->index, uv))
                out.SetVector(uv, 2);
            break;
        }
        case ShaderBlockVertexColor: {
            nVector c;
            if (InterpolateColor(hit, c))
                out.SetVector(c, 4);
            break;
        }
        case ShaderBlockTexture:
            out.SetTexture(block->texture.Get());
            break;
        case ShaderBlockSampler2D: {
            nTexture* texture = in[0].type == RaytraceValueTexture ? in[0].texture : 0;
            if (!texture) {
                out.SetVector(nVector(0.0f, 0.0f, 0.0f, 1.0f), 4);
                break;
            }
            // The sampler's wrap flags, as the renderer sets them on the texture: repeat or clamp.
            const float u = block->wrapU ? Repeat(B.x) : Clamp01(B.x);
            const float v = block->wrapV ? Repeat(B.y) : Clamp01(B.y);
            out.SetVector(GetTexels(texture)->SampleBilinear(u, v), 4);
            break;
        }
        case ShaderBlockConstant:
            out.SetVector(nVector(block->values[0], block->values[1], block->values[2], block->values[3]),
                          SizeOfConstant(block->constantType));
            break;
        case ShaderBlockColor:
            out.SetVector(nVector(block->values[0], block->values[1], block->values[2], block->values[3]), 4);
            break;
        case ShaderBlockMaterialParam:
            if (!material)
                break;
            switch (block->index) {
                case ShaderParamDiffuse: out.SetVector(material->diffuse, 4); break;
                case ShaderParamSpecular: out.SetVector(material->specular, 4); break;
                case ShaderParamEmissive: out.SetVector(material->self, 4); break;
                case ShaderParamAmbient: out.SetVector(material->ambient, 4); break;
                case ShaderParamShininess: out.SetVector(nVector(material->glossiness, 0.0f, 0.0f), 1); break;
                case ShaderParamOpacity: out.SetVector(nVector(material->opacity, 0.0f, 0.0f), 1); break;
                default: break;
            }
            break;
        case ShaderBlockViewVector:
            out.SetVector(hit.view, 3);
            break;
        case ShaderBlockNormalViewMatrix: {
            const nMatrix3 view = nMatrix3::LookAt(hit.view, 0).Transpose();
            out.SetMatrix3(item ? view * item->GetRotationMatrix() : view);
            break;
        }
        case ShaderBlockNormalMatrix:
            out.SetMatrix3(item ? item->GetRotationMatrix() : nMatrix3());
            break;
        case ShaderBlockModelViewMatrix: {
            const nMatrix3 basis = nMatrix3::LookAt(hit.view, 0).Transpose();
            nMatrix4 view;
            for (int r = 0; r < 3; ++r)
                view.SetRow(r, basis.GetRow(r), false);
            // The eye is moved to the origin in the view's axes, as the renderer's model-view does.
            view.SetColumn(3, -hit.eye.Rotate(basis), true);
            out.SetMatrix4(item ? view * item->GetWorldMatrix() : view);
            break;
        }
        case ShaderBlockModelMatrix:
            out.SetMatrix4(item ? item->GetWorldMatrix() : nMatrix4());
            break;
        case ShaderBlockMix: {
            const float k = in[2].vector.x;
            out.SetVector(A * k + B * (1.0f - k), LargerSize(in[0], in[1]));
            break;
        }
        case ShaderBlockAdd:
            out.SetVector(A + B, LargerSize(in[0], in[1]));
            break;
        case ShaderBlockSub:
            out.SetVector(A - B, LargerSize(in[0], in[1]));
            break;
        case ShaderBlockMul: {
            const int32_t a = in[0].type, b = in[1].type;
            if (a == RaytraceValueVector && b == RaytraceValueVector)
                out.SetVector(A * B, LargerSize(in[0], in[1]));
            else if (a == RaytraceValueMatrix3 && b == RaytraceValueMatrix3)
                out.SetMatrix3(in[0].matrix3 * in[1].matrix3);
            else if (a == RaytraceValueMatrix4 && b == RaytraceValueMatrix4)
                out.SetMatrix4(in[0].matrix4 * in[1].matrix4);
            else if (a == RaytraceValueMatrix3 && b == RaytraceValueVector)
                out.SetVector(Multiply3(in[0].matrix3, B, false), 3);
            else if (a == RaytraceValueVector && b == RaytraceValueMatrix3)
                out.SetVector(Multiply3(in[1].matrix3, A, true), 3);
            else if (a == RaytraceValueMatrix4 && b == RaytraceValueVector)
                out.SetVector(Multiply4(in[0].matrix4, B, false), 4);
            else if (a == RaytraceValueVector && b == RaytraceValueMatrix4)
                out.SetVector(Multiply4(in[1].matrix4, A, true), 4);
            break;
        }
        case ShaderBlockDiv:
            out.SetVector(DivideGuarded(A, B), LargerSize(in[0], in[1]));
            break;
        case ShaderBlockDot:
            out.SetVector(nVector(DotComponents(A, B, LargerSize(in[0], in[1])), 0.0f, 0.0f), 1);
            break;
        case ShaderBlockCross:
            out.SetVector(A.Cross(B), 3);
            break;
        case ShaderBlockClamp: {
            // A float bound applies to every component, as GLSL's clamp(vec, float, float) does.
            const nVector& lo = in[1].size == 1 ? nVector(in[1].vector.x, in[1].vector.x, in[1].vector.x, in[1].vector.x) : in[1].vector;
            const nVector& hi = in[2].size == 1 ? nVector(in[2].vector.x, in[2].vector.x, in[2].vector.x, in[2].vector.x) : in[2].vector;
            float r[4];
            for (int i = 0; i < 4; ++i) {
                const float v = Component(A, i);
                r[i] = std::fmin(std::fmax(v, Component(lo, i)), Component(hi, i));
            }
            out.SetVector(nVector(r[0], r[1], r[2], in[0].size == 4 ? r[3] : 1.0f), in[0].size);
            break;
        }
        case ShaderBlockNormalize:
            out.SetVector(NormalizeComponents(A, in[0].size), in[0].size);
            break;
        case ShaderBlockSwizzle: {
            // The chosen components are packed in order, as the generated program's swizzle does.
            float r[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            int32_t count = 0;
            for (int j = 0; j < 4; ++j) {
                const int32_t code = block->codes[j];
                if (code >= 1 && code <= 4)
                    r[count++] = in[0].size == 1 ? A.x : Component(A, code - 1);
            }
            if (count > 0)
                out.SetVector(nVector(r[0], r[1], r[2], r[3]), count);
            break;
        }
        case ShaderBlockBuild: {
            float r[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            int32_t count = 0;
            for (int slot = 0; slot < 4; ++slot) {
                const int32_t mode = block->codes[slot];
                if (mode == 0 || mode == 1)
                    r[count++] = (float)mode;
                else if (mode >= 2 && mode <= 5)
                    r[count++] = in[slot].size == 1 ? in[slot].vector.x : Component(in[slot].vector, mode - 2);
            }
            if (count > 0)
                out.SetVector(nVector(r[0], r[1], r[2], r[3]), count);
            break;
        }
        case ShaderBlockSinus:
            out.SetVector(nVector(std::sin(A.x), 0.0f, 0.0f), 1);
            break;
        case ShaderBlockCosinus:
            out.SetVector(nVector(std::cos(A.x), 0.0f, 0.0f), 1);
            break;
        case ShaderBlockPow:
            out.SetVector(nVector(std::pow(A.x, B.x), 0.0f, 0.0f), 1);
            break;
        case ShaderBlockAbs:
            if (in[0].type == RaytraceValueVector)
                out.SetVector(nVector(std::fabs(A.x), std::fabs(A.y), std::fabs(A.z), 1.0f), in[0].size);
            break;
        case ShaderBlockUnpack:
            // All of x, y and z, as the generated program does; a vec4 keeps its w.
            out.SetVector(nVector((A.x - 0.5f) * 2.0f, (A.y - 0.5f) * 2.0f, (A.z - 0.5f) * 2.0f, in[0].size == 4 ? A.w : 1.0f),
                          in[0].size);
            break;
        case ShaderBlockPack:
            out.SetVector(nVector((A.x + 1.0f) * 0.5f, (A.y + 1.0f) * 0.5f, (A.z + 1.0f) * 0.5f, in[0].size == 4 ? A.w : 1.0f),
                          in[0].size);
            break;
        case ShaderBlockClock:
            out.SetVector(nVector(m_engine ? (float)m_engine->GetTotalClock() / 10000.0f : 0.0f, 0.0f, 0.0f), 1);
            break;
        default:
            break;  // skinning, tangent frame, render buffer, screen UV, viewport: GPU only
    }
    return true;
}

nVector nRaytracerShading::GetMaterialChannel(const nRaytraceHit& hit, int32_t channel) const
{
    const nMaterial* material = hit.material;
    const nRenderMap* map = material ? material->GetRenderMap() : 0;
    const nShaderBlock* root = map ? map->GetRoot(channel) : 0;
    if (root) {
        ShaderValue value;
        if (EvaluateShaderBlock(hit, root, value))
            return value.vector;
    }
    switch (channel) {
        case RenderMapNormal: return nVector(0.0f, 0.0f, 1.0f, 1.0f);
        case RenderMapDiffuse: return material ? material->diffuse : nVector(1.0f, 1.0f, 1.0f, 1.0f);
        case RenderMapModulate: return nVector(1.0f, 1.0f, 1.0f, 1.0f);
        case RenderMapSpecular: return material ? material->specular : nVector(1.0f, 1.0f, 1.0f, 1.0f);
        case RenderMapGlossiness: return nVector(material ? material->glossiness : 0.4f, 0.0f, 0.0f, 1.0f);
        case RenderMapConstant: return nVector(0.0f, 0.0f, 0.0f, 1.0f);
        case RenderMapOpacity: return nVector(1.0f, 0.0f, 0.0f, 1.0f);
        default: return nVector(-1.0f, -1.0f, -1.0f, -1.0f);
    }
}

nVector nRaytracerShading::GetStageColor(const nRaytraceHit& hit, int32_t channel) const
{
    const nMaterial* material = hit.material;
    if (!material)
        return nVector(1.0f, 1.0f, 1.0f, 1.0f);
    const nMaterialStage* stage = UsedStage(material, channel);
    if (!stage || !hit.geometry) {
        switch (channel) {
            case MaterialChannelDiffuse: return material->diffuse;
            case MaterialChannelSpecular: return material->specular;
            case MaterialChannelSelfIllum: return material->self;
            default: return nVector(1.0f, 1.0f, 1.0f, 1.0f);
        }
    }
    float u = 0.0f, v = 0.0f;
    switch (stage->uvSource) {
        case MaterialUVMap: {
            nVector uv;
            if (InterpolateUV(hit, stage->uvIndex, uv)) {
                u = uv.x;
                v = uv.y;
            }
            break;
        }
        case MaterialLSNormal:
            if (m_camera) {
                nVector n;
                m_camera->GetInverseWorldMatrix().RotateArray(&n, &hit.normal, 1);
                u = n.x * 0.5f + 0.5f;
                v = n.y * 0.5f + 0.5f;
            }
            break;
        case MaterialFrontMap: {
            nVector screen;
            if (m_camera && m_outputWidth > 0 && m_camera->WorldToScreen(hit.point, screen, true)) {
                u = (screen.x - 0.5f) * ((float)m_outputHeight / (float)m_outputWidth) + 0.5f;
                v = screen.y;
            }
            break;
        }
        default:
            break;
    }
    const nVector t = nVector(u, v, 0.0f, 1.0f).Transform(stage->uvMatrix);
    u = stage->wrapU ? Repeat(t.x) : t.x;
    v = stage->wrapV ? Repeat(t.y) : t.y;
    return UnpackColor(GetTexels(stage->texture.Get())->SamplePacked(u, v));
}

float nRaytracerShading::GetOpacity(const nRaytraceHit& hit) const
{
    const nMaterial* material = hit.material;
    if (!material)
        return 1.0f;
    float a = 1.0f;
    const nMaterialStage* stage = material->GetStage(MaterialChannelOpacity, false);
    if (stage && stage->active) {
        const nVector c = GetStageColor(hit, MaterialChannelOpacity);
        const nTexture* texture = stage->texture.Get();
        // A playing video texture carries no alpha: its brightness is the opacity.
        const nTextureStreamInterface* output = texture ? texture->GetStreamInterface() : 0;
        const mvx_Stream* stream = output ? output->GetStream() : 0;
        const bool video = stream && stream->GetState() != StreamClosed && texture->GetPixels();
        a = video ? (c.x + c.y + c.z) / 3.0f : c.w;
    }
    return material->opacity * a;
}

nVector nRaytracerShading::GetHitNormal(const nRaytraceHit& hit) const
{
    const nMaterial* material = hit.material;
    const nGeometry* g = hit.geometry;
    const uint32_t flags = material ? material->renderFlags : 0;
    const bool tangentMap = (flags & MaterialRenderNormalMapTangent) != 0;
    nVector n;
    if (!(flags & (MaterialRenderSmooth | MaterialRenderNormalMapTangent)) || !InterpolateNormal(hit, n))
        return FaceNormal(hit);
    n = n.Normalize();
    if (!UsedStage(material, MaterialChannelNormal))
        return n;
    const nVector c = GetStageColor(hit, MaterialChannelNormal);
    if (!tangentMap)
        return nVector(2.0f * c.x - 1.0f, 2.0f * c.z - 1.0f, 2.0f * c.y - 1.0f).Normalize();
    nVector t, b;
    const nTangentFrame* frames = g->vertexTangents;
    if (!frames || !Interpolate(
                       hit, [&](int32_t i) { return frames[i].tangent; }, t) ||
        !Interpolate(
            hit, [&](int32_t i) { return frames[i].bitangent; }, b))
        return n;
    t = t.Normalize();
    b = b.Normalize();
    const nVector m(2.0f * c.x - 1.0f, 2.0f * c.y - 1.0f, 2.0f * c.z - 1.0f);
    return (t * m.x + b * m.y + n * m.z).Normalize();
}

nVector nRaytracerShading::GetHitVertexColor(const nRaytraceHit& hit) const
{
    nVector c;
    return InterpolateColor(hit, c) ? c : nVector(1.0f, 1.0f, 1.0f, 1.0f);
}
