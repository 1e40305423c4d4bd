// Materials on the OpenGL renderer: compiled render maps per pass, the program cache, and the
// binding of a compiled map before a draw.
#include "render/gl/nGLMaterial.h"

#include <new>
#include <string>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "resources/nTexture.h"
#include "scene/nItem.h"

GL3_CompiledRenderMap::GL3_CompiledRenderMap() : program(0), material(0), uvSets{0, 0, 0}
{
    for (TextureSlot& slot : slots) slot = TextureSlot{0, -1, 1, 1, SlotMaterialTexture};
}

int32_t GL3_CompiledRenderMap::UsedSlots() const
{
    int32_t used = 0;
    while (used < kTextureSlots && slots[used].location != -1) ++used;
    return used;
}

GL_MaterialData::~GL_MaterialData()
{
    Clear();
}

void GL_MaterialData::Clear()
{
    for (GL3_CompiledRenderMap*& map : maps) {
        delete map;
        map = 0;
    }
}

int32_t GL_MaterialData::ProgramOfPass(int32_t pass)
{
    switch (pass) {
        case GL3PassNormalDepth: return 0;
        case GL3PassAttributes: return 1;
        case GL3PassForward: return 3;
        case GL3PassShadowDepth: return 4;
        default: return -1;
    }
}

GL3_CompiledRenderMap* GL_MaterialData::ForPass(int32_t pass) const
{
    const int32_t index = ProgramOfPass(pass);
    return index < 0 ? 0 : maps[index];
}

nGL3MaterialPrograms::~nGL3MaterialPrograms()
{
    ReleaseDevice();
    for (nGL3Shader* program : owned) program->Release();  // the reference taken when made
}

void nGL3MaterialPrograms::ReleaseDevice()
{
    cache.Clear(0);
    for (nGL3Shader* program : owned) program->ReleaseDevice();
    generator.Reset();
    ditherMap.Release();
    normalDepthMap.Release();
}

// ---------------------------------------------------------------------------------------------

bool nGL3Renderer::SetupMaterial(nMaterial* material)
{
    if (!material || material->GetRenderData()) return false;
    GL_MaterialData* data = new (std::nothrow) GL_MaterialData;
    if (!data) {
        *g_log << "[!] Failed to allocate material render data.\n";
        return false;
    }
    material->SetRenderData(data);
    UpdateMaterial(material);
    return true;
}

void nGL3Renderer::FreeMaterial(nMaterial* material)
{
    if (!material) return;
    delete material->GetRenderData();
    material->SetRenderData(0);
}

void nGL3Renderer::UpdateMaterial(nMaterial* material)
{
    GL_MaterialData* data = material ? static_cast<GL_MaterialData*>(material->GetRenderData()) : 0;
    if (!data) return;
    if (!material->GetRenderMap()) material->SetRenderMap(material->BuildDefaultRenderMap());
    data->Clear();
    if (TestSystemFlag(RendererSystemDisableShader)) return;
    // Closed: nothing can be compiled, and a program cached as failed now would stay failed.
    if (!m_gl || !m_gl->CreateProgramObjectARB) return;
    if (!m_materialPrograms) m_materialPrograms = new (std::nothrow) nGL3MaterialPrograms;
    if (!m_materialPrograms) {
        *g_log << "[!] Failed to allocate the material program cache.\n";
        return;
    }
    GL3_ShaderGenerator& generator = m_materialPrograms->generator;
    for (int32_t pass : {GL3PassForward, GL3PassNormalDepth, GL3PassShadowDepth, GL3PassAttributes}) {
        if (!generator.GenerateMaterialPass(*material, pass)) continue;
        data->maps[GL_MaterialData::ProgramOfPass(pass)] = CompilePass(material, pass);
    }
    generator.Reset();
}

nGL3Shader* nGL3Renderer::FindOrBuildProgram(int32_t pass)
{
    nGL3MaterialPrograms& programs = *m_materialPrograms;
    const std::string& signature = programs.generator.GetSignature();
    if (nGL3Shader* found = programs.cache.Find(pass, signature)) return found;

    // A program that fails to build is cached all the same, marked unusable: it is not built
    // again at every update, and the drawers skip it.
    nGL3Shader* program = new (std::nothrow) nGL3Shader(this);
    if (!program) return 0;
    program->AddRef();
    std::string vertex, fragment;
    programs.generator.Assemble(&vertex, &fragment);
    program->Compile(signature.c_str(), vertex.c_str(), fragment.c_str());
    programs.owned.push_back(program);
    programs.cache.Add(pass, signature, program);
    return program;
}

GL3_CompiledRenderMap* nGL3Renderer::CompilePass(nMaterial* material, int32_t pass)
{
    GL3_CompiledRenderMap* map = new (std::nothrow) GL3_CompiledRenderMap;
    if (!map) {
        *g_log << "[!] Failed to allocate compiled GL3 render map.\n";
        return 0;
    }
    map->material = material;
    map->program = FindOrBuildProgram(pass);
    nGL3Shader* program = map->program;
    const GL3_ShaderGenerator& generator = m_materialPrograms->generator;
    auto location = [program](const GL3_ShaderBlock& record) {
        return program ? program->GetUniformLocation(record.name.c_str()) : -1;
    };

    // Textures and UV sets, in record order.
    int32_t slot = 0;
    auto takeSlot = [&](nTexture* texture, int32_t where, uint8_t wrapU, uint8_t wrapV, int32_t source) {
        if (where == -1 || slot >= GL3_CompiledRenderMap::kTextureSlots) return;
        map->slots[slot++] = GL3_CompiledRenderMap::TextureSlot{texture, where, wrapU, wrapV, source};
    };
    for (size_t i = 0; i < generator.GetRecordCount(); ++i) {
        const GL3_ShaderBlock& record = generator.GetRecord(i);
        const nShaderBlock* block = record.block;
        if (!block) continue;
        if (block->GetKind() == ShaderBlockUV) {
            if (block->index >= 0 && block->index < 3) map->uvSets[block->index] = 1;
        } else if (block->GetKind() == ShaderBlockRenderBuffer && block->index == 0) {
            takeSlot(0, location(record), 1, 1, GL3_CompiledRenderMap::SlotNormalDepth);
        } else if (block->GetKind() == ShaderBlockSampler2D) {
            const GL3_ShaderBlock* texture = generator.FindRecord(block->GetInput(0));
            if (texture)
                takeSlot(texture->block->texture.Get(), location(*texture), block->wrapU, block->wrapV,
                         GL3_CompiledRenderMap::SlotMaterialTexture);
        }
    }

    // Uniforms by block kind.
    for (size_t i = 0; i < generator.GetRecordCount(); ++i) {
        const GL3_ShaderBlock& record = generator.GetRecord(i);
        const nShaderBlock* block = record.block;
        if (!block) continue;
        GL3_ShaderUniform uniform;
        uniform.kind = block->GetKind();
        switch (uniform.kind) {
            case ShaderBlockConstant:
                uniform.valueType = block->constantType;
                for (int c = 0; c < 4; ++c) uniform.values[c] = block->values[c];
                break;
            case ShaderBlockColor:
                for (int c = 0; c < 4; ++c) uniform.values[c] = block->values[c];
                break;
            case ShaderBlockMaterialParam:
                if (block->index != 5) continue;
                uniform.skip = false;
                break;
            case ShaderBlockViewVector:
            case ShaderBlockViewport:
            case ShaderBlockNormalViewMatrix:
            case ShaderBlockNormalMatrix:
            case ShaderBlockModelViewMatrix:
            case ShaderBlockModelMatrix:
            case ShaderBlockClock:
                break;
            default:
                continue;
        }
        uniform.location = location(record);
        map->uniforms.push_back(uniform);
    }

    // The screen-space pictures of the soft and dithered alpha.
    if (program && program->IsCompiled()) {
        takeSlot(0, program->GetUniformLocation("dither_map"), 1, 1, GL3_CompiledRenderMap::SlotDither);
        takeSlot(0, program->GetUniformLocation("normal_depth_map"), 1, 1, GL3_CompiledRenderMap::SlotNormalDepth);
    }
    return map;
}

bool nGL3Renderer::BindCompiledRenderMap(const GL3_CompiledRenderMap* map, const GL_Batch* batch, nItem* item)
{
    if (!map || !map->program || !map->program->IsCompiled() || !m_gl || !m_materialPrograms) return false;
    const nGLEntryPoints& gl = *m_gl;
    gl.UseProgramObjectARB(map->program->GetProgram());

    for (int32_t i = 0; i < map->UsedSlots(); ++i) {
        const GL3_CompiledRenderMap::TextureSlot& slot = map->slots[i];
        nTexture* texture = slot.texture;
        if (slot.source == GL3_CompiledRenderMap::SlotNormalDepth) texture = m_materialPrograms->normalDepthMap.Get();
        else if (slot.source == GL3_CompiledRenderMap::SlotDither) texture = m_materialPrograms->ditherMap.Get();
        GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
        if (data) {
            gl.Uniform1iARB(slot.location, i);
            BindTextureUnit(i, data->name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, slot.wrapU ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, slot.wrapV ? GL_REPEAT : GL_CLAMP_TO_EDGE);
        } else {
            gl.ActiveTextureARB(GL_TEXTURE0_ARB + i);
            glDisable(GL_TEXTURE_2D);
        }
    }

    if (batch) {
        gl.BindBufferARB(GL_ARRAY_BUFFER_ARB, batch->vertexBuffer);
        for (int32_t j = 0; j < 3; ++j) {
            if (!map->uvSets[j] || batch->uvOffset[j] < 0) continue;
            gl.ClientActiveTextureARB(GL_TEXTURE0_ARB + j);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>((uintptr_t)batch->uvOffset[j]));
            SetTextureUnitFlags(j, UnitCoordArray);
        }
    }

    for (const GL3_ShaderUniform& u : map->uniforms) UploadUniform(*map, u, item);
    return true;
}

void nGL3Renderer::UploadUniform(const GL3_CompiledRenderMap& map, const GL3_ShaderUniform& u, nItem* item)
{
    const nGLEntryPoints& gl = *m_gl;
    const float* v = u.values;
    switch (u.kind) {
        case ShaderBlockConstant:
            if (u.valueType == ShaderValueFloat) gl.Uniform1fARB(u.location, v[0]);
            else if (u.valueType == ShaderValueVec2) gl.Uniform2fARB(u.location, v[0], v[1]);
            else if (u.valueType == ShaderValueVec3) gl.Uniform3fARB(u.location, v[0], v[1], v[2]);
            else if (u.valueType == ShaderValueVec4) gl.Uniform4fARB(u.location, v[0], v[1], v[2], v[3]);
            break;
        case ShaderBlockColor:
            gl.Uniform4fARB(u.location, v[0], v[1], v[2], v[3]);
            break;
        case ShaderBlockMaterialParam:
            if (!u.skip && map.material) gl.Uniform1fARB(u.location, map.material->opacity);
            break;
        case ShaderBlockViewVector:
            if (m_camera) {
                const nMatrix4& w = m_camera->GetWorldMatrix();
                gl.Uniform3fARB(u.location, w.m[2], w.m[6], w.m[10]);
            }
            break;
        case ShaderBlockViewport:
            gl.Uniform4fARB(u.location, (float)m_viewport[0], (float)m_viewport[1], (float)m_viewport[2], (float)m_viewport[3]);
            break;
        case ShaderBlockNormalViewMatrix: {
            const float* m = m_modelView.m;
            const float upper[9] = {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
            gl.UniformMatrix3fv(u.location, 1, GL_TRUE, upper);
            break;
        }
        case ShaderBlockNormalMatrix:
            if (item) {
                const float* m = item->GetWorldMatrix().m;
                const float upper[9] = {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
                gl.UniformMatrix3fv(u.location, 1, GL_TRUE, upper);
            }
            break;
        case ShaderBlockModelViewMatrix:
            gl.UniformMatrix4fv(u.location, 1, GL_TRUE, m_modelView.m);
            break;
        case ShaderBlockModelMatrix:
            if (item) gl.UniformMatrix4fv(u.location, 1, GL_TRUE, item->GetWorldMatrix().m);
            break;
        case ShaderBlockClock:
            gl.Uniform1fARB(u.location, m_engine ? (float)m_engine->GetTotalClock() / 10000.0f : 0.0f);
            break;
        default:
            *g_log << "[*] Unsupported uniform type ('" << u.kind << "').\n";
            break;
    }
}
