#include "render/glsl/GL3_ShaderGenerator.h"

#include <cstdarg>
#include <cstdio>

#include "core/nLog.h"
#include "render/glsl/GL3_ShaderEmitters.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"

namespace {

// Graph levels one Emit may descend; deeper blocks fail with one line.
const int kMaxEmitDepth = 256;

// Whether two blocks make the same GLSL: the same object, a stream or uniform source of the same
// kind, or a source of the same kind on the same UV set, buffer, texture or parameter.
bool Equivalent(const nShaderBlock* a, const nShaderBlock* b)
{
    if (a == b)
        return true;
    if (a->GetKind() != b->GetKind())
        return false;
    switch (a->GetKind()) {
        case ShaderBlockVertex:
        case ShaderBlockNormal:
        case ShaderBlockSkinning:
        case ShaderBlockVertexColor:
        case ShaderBlockTangentFrame:
        case ShaderBlockScreenUV:
        case ShaderBlockViewVector:
        case ShaderBlockViewport:
        case ShaderBlockNormalViewMatrix:
        case ShaderBlockNormalMatrix:
        case ShaderBlockModelViewMatrix:
        case ShaderBlockModelMatrix:
        case ShaderBlockClock:
            return true;
        case ShaderBlockUV:
        case ShaderBlockRenderBuffer:
        case ShaderBlockMaterialParam:
            return a->index == b->index;
        case ShaderBlockTexture:
            return a->texture == b->texture;
        default:
            return false;
    }
}

// The variable of a colour as three components: "N.xyz" for vec3 and vec4, fallback otherwise.
std::string Rgb(const GL3_ShaderBlock* r, const char* fallback)
{
    if (r && (r->type == ShaderValueVec3 || r->type == ShaderValueVec4))
        return r->name + ".xyz";
    return fallback;
}

// The variable of a scalar, fallback unless it is a float.
std::string Scalar(const GL3_ShaderBlock* r, const char* fallback)
{
    return (r && r->type == ShaderValueFloat) ? r->name : std::string(fallback);
}

}

void GL3_Append(std::string& text, const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (length < 0)
        return;
    if ((size_t)length < sizeof(buffer)) {
        text.append(buffer, (size_t)length);
        return;
    }
    std::string big((size_t)length + 1, '\0');
    va_start(args, format);
    vsnprintf(&big[0], big.size(), format, args);
    va_end(args);
    text.append(big.data(), (size_t)length);
}

GL3_ShaderGenerator::GL3_ShaderGenerator()
    : normalStream(new nShaderBlock(ShaderBlockNormal)), m_counter(0), m_depth(0),
      m_vertexStream(new nShaderBlock(ShaderBlockVertex)), m_skinning(new nShaderBlock(ShaderBlockSkinning))
{
}

GL3_ShaderGenerator::~GL3_ShaderGenerator()
{
}

void GL3_ShaderGenerator::Reset()
{
    m_signature.clear();
    vertexDeclarations.clear();
    vertexBody.clear();
    fragmentDeclarations.clear();
    fragmentBody.clear();
    m_records.clear();
    m_counter = 0;
    m_depth = 0;
}

void GL3_ShaderGenerator::NewVariableName(GL3_ShaderBlock* record, const char* base)
{
    record->name.clear();
    GL3_Append(record->name, "_n_%s%04d", base ? base : "var", m_counter++);
}

const GL3_ShaderBlock* GL3_ShaderGenerator::FindRecord(const nShaderBlock* block) const
{
    for (const std::unique_ptr<GL3_ShaderBlock>& record : m_records)
        if (Equivalent(record->block, block))
            return record.get();
    return 0;
}

GL3_ShaderBlock* GL3_ShaderGenerator::Emit(const nShaderBlock* block, const char* sink)
{
    if (!block)
        return 0;
    if (sink)
        m_signature += sink;
    m_signature += block->GetPrefix().GetCStr();
    if (const GL3_ShaderBlock* found = FindRecord(block))
        return found->type == ShaderValueInvalid ? 0 : const_cast<GL3_ShaderBlock*>(found);
    const GL3_EmitterRow* row = GetShaderEmitter(block->GetKind());
    if (!row) {
        *g_log << "[!] Unsupported render block type (" << block->GetKind() << "), don't how to compile.\n";
        return 0;
    }
    if (m_depth >= kMaxEmitDepth) {
        *g_log << "[!] Shader graph deeper than " << (int32_t)kMaxEmitDepth << " blocks.\n";
        return 0;
    }
    m_records.emplace_back(new GL3_ShaderBlock{std::string(), block, ShaderValueInvalid});
    GL3_ShaderBlock* record = m_records.back().get();
    ++m_depth;
    const bool emitted = row->emit(*this, *record);
    --m_depth;
    if (!emitted) {
        record->type = ShaderValueInvalid;
        return 0;
    }
    return record->type == ShaderValueInvalid ? 0 : record;
}

// Opacity: a soft edge against the scene's depth, the opacity written into the frame, or a
// dithered discard and a discard below the threshold the drawers set per draw (clamped to 0.01
// .. 1.0 here, as the material's threshold always was).
GL3_ShaderBlock* GL3_ShaderGenerator::OpacitySink(const nMaterial& material)
{
    const nRenderMap* map = material.GetRenderMap();
    GL3_ShaderBlock* o = map ? Emit(map->GetRoot(RenderMapOpacity), "OpacitySink_") : 0;
    if (!o)
        return 0;
    if (o->type != ShaderValueFloat) {
        *g_log << "[!] Opacity is not a float, material '" << material.GetName().GetCStr() << "' is drawn opaque.\n";
        return 0;
    }
    const char* n = o->name.c_str();
    if (material.renderFlags & AlphaSoftZ) {
        vertexDeclarations += "varying float soft_depth;\n";
        vertexBody += "soft_depth = gl_Position.z;\n";
        fragmentDeclarations += "varying float soft_depth;\n";
        fragmentDeclarations += "uniform sampler2D normal_depth_map;\n";
        fragmentDeclarations += "uniform vec2 inverse_buffer_size;\n";
        fragmentBody += "float screen_depth = texture2D(normal_depth_map, vec2(gl_FragCoord.x, gl_FragCoord.y) * "
                        "inverse_buffer_size).w;\n";
        fragmentDeclarations += "float\tContrast(float vinput, float power)\n{\n\tfloat\tvoutput = 0.5 * pow(clamp(2 * "
                                "(vinput > 0.5 ? 1.0 - vinput : vinput), 0.0, 1.0), power);\n\treturn (vinput > 0.5) ? "
                                "1.0 - voutput : voutput;\n}\n";
        GL3_Append(fragmentBody, "%s = %s * Contrast((screen_depth - soft_depth) / 0.5, 2.0);\n", n, n);
        AppendSignature("ASoftZ_");
    }
    if (material.renderFlags & AlphaToFrame) {
        AppendSignature("AToFrame_");
    } else {
        fragmentDeclarations += "uniform float alpha_threshold;\n";
        fragmentDeclarations += "uniform sampler2D dither_map;\n";
        fragmentBody += "vec2\tscreen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);\n";
        GL3_Append(fragmentBody, "if ((%s + 0.01) < texture2D(dither_map, screen_space).x) discard;\n", n);
        GL3_Append(fragmentBody, "if (%s < clamp(alpha_threshold, 0.01, 1.0)) discard;\n", n);
    }
    return o;
}

bool GL3_ShaderGenerator::GenerateMaterialPass(const nMaterial& material, int pass)
{
    Reset();
    if (pass != GL3PassForward && pass != GL3PassNormalDepth && pass != GL3PassAttributes && pass != GL3PassShadowDepth)
        return false;
    const nRenderMap* map = material.GetRenderMap();
    const nShaderBlock* none = 0;
    auto root = [&](int32_t channel) { return map ? map->GetRoot(channel) : none; };

    // Prologue: position, world position for the clip plane, opacity.
    GL3_ShaderBlock* v = Emit(m_vertexStream.get(), "VtxSink_");
    vertexDeclarations += "varying vec3 frag_world_pos;";
    GL3_ShaderBlock* s = 0;
    if (material.renderFlags & MaterialRenderSkinned) {
        s = Emit(m_skinning.get(), 0);
        GL3_Append(vertexBody, "gl_Position = gl_ModelViewProjectionMatrix * %s * %s;\n", s->name.c_str(), v->name.c_str());
        GL3_Append(vertexBody, "frag_world_pos = (gl_ModelViewMatrix * %s * %s).xyz;", s->name.c_str(), v->name.c_str());
    } else {
        GL3_Append(vertexBody, "gl_Position = gl_ModelViewProjectionMatrix * %s;\n", v->name.c_str());
        GL3_Append(vertexBody, "frag_world_pos = (gl_ModelViewMatrix * %s).xyz;\n", v->name.c_str());
    }
    fragmentDeclarations += "varying vec3 frag_world_pos;";
    fragmentDeclarations += "uniform float user_clip_d;\n";
    fragmentDeclarations += "uniform vec3 user_clip_n;\n";
    fragmentBody += "if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > "
                    "0.0)) discard;";
    GL3_ShaderBlock* o = OpacitySink(material);

    switch (pass) {
        case GL3PassForward: {
            GL3_ShaderBlock* d = Emit(root(RenderMapDiffuse), "DiffuseSink_");
            const std::string rgb = Rgb(d, "");
            if (rgb.empty())
                fragmentBody += "gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0);";
            else
                GL3_Append(fragmentBody, "gl_FragColor = vec4(%s, %s);", rgb.c_str(), Scalar(o, "1.0").c_str());
            break;
        }
        case GL3PassNormalDepth: {
            GL3_ShaderBlock* n = Emit(root(RenderMapNormal), "NormalSink_");
            const std::string normal = (n && n->type == ShaderValueVec3) ? n->name : Rgb(n, "vec3(0.0, 0.0, 0.0)");
            vertexDeclarations += "varying float depth;\n";
            vertexBody += "depth = gl_Position.z;\n";
            fragmentDeclarations += "varying float depth;\n";
            if (s)
                GL3_Append(fragmentBody, "gl_FragColor = vec4(normalize(gl_NormalMatrix * (mat3(%s) * %s)), depth);\n",
                           s->name.c_str(), normal.c_str());
            else
                GL3_Append(fragmentBody, "gl_FragColor = vec4(normalize(gl_NormalMatrix * %s), depth);\n", normal.c_str());
            break;
        }
        case GL3PassShadowDepth:
            fragmentBody += "gl_FragColor = vec4(gl_FragCoord.z);";
            fragmentBody += "gl_FragDepth = gl_FragCoord.z;";
            break;
        case GL3PassAttributes: {
            GL3_ShaderBlock* d = Emit(root(RenderMapDiffuse), "DiffuseSink_");
            GL3_ShaderBlock* sp = Emit(root(RenderMapSpecular), "SpecularSink_");
            GL3_ShaderBlock* gl = Emit(root(RenderMapGlossiness), "GlossinessSink_");
            GL3_ShaderBlock* c = Emit(root(RenderMapConstant), "ConstantSink_");
            const std::string alpha = (material.renderFlags & AlphaToFrame) ? Scalar(o, "1.0") : std::string("1.0");
            GL3_Append(fragmentBody,
                       "\t\t\t\tgl_FragData[0] = vec4(%s, %s);\n\t\t\t\tgl_FragData[1] = vec4(%s, %s);\n"
                       "\t\t\t\tgl_FragData[2] = vec4(%s, %s);\n\t\t\t\t",
                       Rgb(d, "1.0, 1.0, 1.0").c_str(), alpha.c_str(), Rgb(sp, "0.0, 0.0, 0.0").c_str(),
                       Scalar(gl, "0.1").c_str(), Rgb(c, "0.0, 0.0, 0.0").c_str(), "0.0");
            break;
        }
    }
    return true;
}

void GL3_ShaderGenerator::Assemble(std::string* vertex, std::string* fragment) const
{
    const std::string* texts[2][2] = {{&vertexDeclarations, &vertexBody}, {&fragmentDeclarations, &fragmentBody}};
    std::string* outs[2] = {vertex, fragment};
    for (int i = 0; i < 2; ++i) {
        if (!outs[i])
            continue;
        std::string& out = *outs[i];
        out = "#version 120\n";
        out += *texts[i][0];
        out += "\nvoid main()\n{\n";
        out += *texts[i][1];
        out += "}\n";
    }
}
