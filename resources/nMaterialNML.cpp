// The "Material" NML tag: reading and writing of nMaterial.
#include "resources/nMaterial.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nRenderMap.h"
#include "resources/nResourceLoader.h"

namespace {

struct NamedValue
{
    const char* name;
    int32_t value;
};

// Render mask children in the order they are written; the aliases after them are only read.
const NamedValue kRenderMaskNames[] = {
    {"Shadeless", MaterialRenderShadeless},
    {"Smoothing", MaterialRenderSmooth},
    {"Additive", MaterialRenderAdd},
    {"DoubleSided", MaterialRenderDoubleSided},
    {"Wireframe", MaterialRenderWire},
    {"VertexColor", MaterialRenderVertexColor},
    {"SoftBody", SoftBody},
    {"Subtractive", MaterialRenderSub},
    {"ForceVertexNormal", MaterialRenderVertexNormal},
    {"NormalMapTangent", MaterialRenderNormalMapTangent},
    {"ParralaxDisp", ParralaxDisp},
    {"NoZWrite", MaterialRenderNoDepthWrite},
    {"NoZTest", MaterialRenderNoDepthTest},
    {"NoFog", MaterialRenderNoFog},
    {"FixedFunction", MaterialRenderFixedFunction},
    {"Toon", MaterialRenderToonShading},
    {"AlphaToFrame", AlphaToFrame},
    {"AlphaSoftZ", AlphaSoftZ},
    {"RGB", MaterialRenderVertexColor},
    {"Substractive", MaterialRenderSub},
};
const int kWrittenRenderMaskNames = 18;

// Stage channel names as read; the first nine name channels 2 to 10 when written.
const NamedValue kChannelNames[] = {
    {"Decal", MaterialChannelDecal},
    {"Opacity", MaterialChannelOpacity},
    {"Specular", MaterialChannelSpecular},
    {"Glossiness", MaterialChannelGlossiness},
    {"Normal", MaterialChannelNormal},
    {"Reflection", MaterialChannelReflection},
    {"SelfIllum", MaterialChannelSelfIllum},
    {"Light", MaterialChannelLightmap},
    {"BlendRGB", MaterialChannelBlendRGB},
    {"Diffuse", MaterialChannelDiffuse},
    {"Detail", MaterialChannelDecal},
    {"VertexColor", MaterialChannelLightmap},
    {"Color", MaterialChannelLightmap},
};

const NamedValue kOperatorNames[] = {
    {"Multiply", MaterialOperatorMultiply},
    {"Add", MaterialOperatorAdd},
};

const NamedValue kUVSourceNames[] = {
    {"UVMap", MaterialUVMap},
    {"LSNormal", MaterialLSNormal},
    {"FrontMap", MaterialFrontMap},
};

template<size_t N>
bool Lookup(const NamedValue (&table)[N], const nString& name, int32_t* value)
{
    for (const NamedValue& entry : table) {
        if (name == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

// The string value of tag looked up in table; false for another value type or an unknown name.
template<size_t N>
bool LookupValue(const NamedValue (&table)[N], const nMetaTag* tag, int32_t* value)
{
    return tag->GetType() == TagType_String && Lookup(table, tag->GetValue().GetText(), value);
}

void WarnValueType(const nMetaTag* tag, const nString& material)
{
    *g_log << "[*] Illegal value type of tag '" << tag->GetName().GetCStr() << "' in material '"
           << material.GetCStr() << "'.\n";
}

// A row reading a public field of the material; a value of the wrong type warns.
template<auto Field>
void ReadOrWarn(nMaterial& material, nMetaFile*, nMetaTag* tag)
{
    if (!ReadTagValue(tag, material.*Field)) WarnValueType(tag, material.GetName());
}

void WarnBogusStage(int32_t stage, const nString& material)
{
    *g_log << "[*] Bogus channel in texture stage " << stage << " material '" << material.GetCStr() << "'.\n";
}

// Written when any component differs from the default by 1e-6 or more; W is written for
// diffuse always, for the others when their alpha differs.
void AppendColour(nMetaTag* root, const char* name, const nVector& colour, const nVector& def, bool alwaysW)
{
    const float d[4] = {colour.x - def.x, colour.y - def.y, colour.z - def.z, colour.w - def.w};
    bool differs[4];
    for (int i = 0; i < 4; ++i)
        differs[i] = d[i] >= 1e-6f || d[i] <= -1e-6f;
    if (!(differs[0] || differs[1] || differs[2] || differs[3]))
        return;
    AppendTag(root, colour.ToMetaTag(name, alwaysW || differs[3]));
}

}

nTexture* LoadMaterialTexture(nOrvex* engine, const char* name)
{
    return LoadTexture(engine, name ? name : "", false, false);
}

bool nMaterial::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Material", "material")) return false;
    Reset();

    typedef nMaterial M;
    static const nMLTagRule<M> kTags[] = {
        {"Diffuse", ReadOrWarn<&M::diffuse>},
        {"Specular", ReadOrWarn<&M::specular>},
        {"Self", ReadOrWarn<&M::self>},
        {"Ambient", ReadOrWarn<&M::ambient>},
        {"Glossiness", ReadOrWarn<&M::glossiness>},
        {"Opacity", ReadOrWarn<&M::opacity>},
        {"Reflection", ReadOrWarn<&M::reflection>},
        {"IOR", ReadOrWarn<&M::ior>},
        {"AlphaThreshold", ReadOrWarn<&M::alphaThreshold>},
        {"MaxSmoothingAngle", ReadOrWarn<&M::maxSmoothingAngle>},
        {"Id", [](M& m, nMetaFile*, nMetaTag* t) { if (!ReadTagString(t, m.m_name)) WarnValueType(t, m.m_name); }},
        {"Shader", [](M& m, nMetaFile*, nMetaTag* t) { if (!ReadTagString(t, m.m_shaderName)) WarnValueType(t, m.m_name); }},
        {"RenderMask", [](M& m, nMetaFile*, nMetaTag* t) { m.ReadRenderMask(t); }},
        {"ShaderMap", [](M& m, nMetaFile* d, nMetaTag* t) {
             if (nRenderMap* map = new (std::nothrow) nRenderMap()) {
                 m.SetRenderMap(map);
                 map->Parse(m.m_engine, d, t);
             }
         }},
        {"PhysicMaterial", [](M& m, nMetaFile* d, nMetaTag* t) { m.nPhysicMaterial::Deserialize(d, t); }},
        {"TextureStage", [](M& m, nMetaFile* d, nMetaTag* t) { m.ReadTextureStage(d, t); }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Material");
    // A NaN reads as the lowest glossiness.
    glossiness = glossiness >= 0.01f ? (glossiness <= 16.0f ? glossiness : 16.0f) : 0.01f;

    Update();
    if (m_renderMap && m_renderMap->IsEmpty()) {
        *g_log << "[*] Shader map of material '" << m_name.GetCStr()
               << "' gives no surface channel, the default map is used.\n";
        SetRenderMap(0);
    }
    if (!m_renderMap) {
        SetRenderMap(BuildDefaultRenderMap());
        m_renderMapDefault = true;
    }
    AddEmbeddedOpacity();
    return true;
}

void nMaterial::ReadRenderMask(nMetaTag* tag)
{
    renderFlags = 0;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        int32_t bit = 0;
        if (Lookup(kRenderMaskNames, child->GetName(), &bit))
            renderFlags |= (uint32_t)bit;
        else if (!(child->GetName() == "Lit"))
            *g_log << "[*] Unknown tag '" << child->GetName().GetCStr() << "' in material '"
                   << m_name.GetCStr() << "'.\n";
    }
}

void nMaterial::ReadTextureStage(nMetaFile* document, nMetaTag* tag)
{
    const nMetaTag* indexTag = FirstChildNamed(tag, "Index");
    int32_t index = 0;
    if (!indexTag || !indexTag->GetValue().GetInt(&index)) {
        *g_log << "[*] Illegal index tag type in material '" << m_name.GetCStr() << "'.\n";
        return;
    }
    if (index < 0 || index >= kStageCount) {
        *g_log << "[*] Illegal texture stage index " << index << " in material '" << m_name.GetCStr()
               << "'.\n";
        return;
    }
    nMaterialStage& stage = m_stages[index];
    stage.active = 0;
    stage.channel = MaterialChannelNone;
    stage.op = MaterialOperatorNone;
    stage.uvIndex = 0;

    if (const nMetaTag* channelTag = FirstChildNamed(tag, "Channel")) {
        int32_t channel = MaterialChannelNone;
        if (LookupValue(kChannelNames, channelTag, &channel))
            stage.channel = channel;
        else
            *g_log << "[*] Unknown channel for texture stage " << index << " of material '"
                   << m_name.GetCStr() << "'.\n";
    } else {
        stage.channel = MaterialChannelDiffuse;
    }

    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        const nString& name = child->GetName();
        int32_t value = 0;
        if (name == "Texture") {
            if (child->GetType() != TagType_String) {
                WarnValueType(child, m_name);
                continue;
            }
            const char* path = child->GetValue().GetText().GetCStr();
            nTexture* texture = LoadMaterialTexture(m_engine, path);
            stage.texture = texture;
            if (texture && stage.channel == MaterialChannelNormal)
                texture->SetFlag(TextureNormalMap, true);
        } else if (name == "Active") {
            stage.active = 1;
        } else if (name == "NoWrapU") {
            stage.wrapU = 0;
        } else if (name == "NoWrapV") {
            stage.wrapV = 0;
        } else if (name == "UV") {
            if (child->GetValue().GetInt(&value))
                stage.uvIndex = (uint8_t)(value & 0xff);
            else
                WarnValueType(child, m_name);
        } else if (name == "Operator") {
            stage.op = LookupValue(kOperatorNames, child, &value) ? value : MaterialOperatorNone;
        } else if (name == "UVSource") {
            if (LookupValue(kUVSourceNames, child, &value))
                stage.uvSource = value;
            else
                *g_log << "[*] Unknown UV source for texture stage " << index << " of material '"
                       << m_name.GetCStr() << "'.\n";
        }
    }
}

void nMaterial::AddEmbeddedOpacity()
{
    nMaterialStage* diffuseStage = m_channels[MaterialChannelDiffuse];
    if (!diffuseStage || !diffuseStage->active || !diffuseStage->texture.IsValid())
        return;
    if (m_channels[MaterialChannelOpacity] || !diffuseStage->texture->HasTranslucentContent())
        return;
    nMaterialStage* opacityStage = AddStage(MaterialChannelOpacity, diffuseStage->texture.Get(), MaterialUVMap, 0);
    if (opacityStage)
        opacityStage->uvIndex = diffuseStage->uvIndex;
    else
        *g_log << "[*] Diffuse channel texture has embedded alpha but there is no texture stage left to "
               << "enable opacity in material '" << m_name.GetCStr() << "'.\n";
}

nMetaTag* nMaterial::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Material");
    if (!root) {
        *g_log << "[!] Could not serialize material '" << m_name.GetCStr()
               << "'. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, new (std::nothrow) nMetaTag("Id", m_name.GetCStr()));

    AppendColour(root, "Diffuse", diffuse, nVector(1.0f, 1.0f, 1.0f, 1.0f), true);
    AppendColour(root, "Specular", specular, nVector(1.0f, 1.0f, 1.0f, 1.0f), false);
    AppendColour(root, "Self", self, nVector(0.0f, 0.0f, 0.0f, 1.0f), false);
    AppendColour(root, "Ambient", ambient, nVector(1.0f, 1.0f, 1.0f, 1.0f), false);

    if (glossiness != 0.4f) AppendTag(root, new (std::nothrow) nMetaTag("Glossiness", glossiness));
    if (opacity != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("Opacity", opacity));
    if (reflection != 0.0f) AppendTag(root, new (std::nothrow) nMetaTag("Reflection", reflection));
    if (ior != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("IOR", ior));
    if (alphaThreshold != 0.1f) AppendTag(root, new (std::nothrow) nMetaTag("AlphaThreshold", alphaThreshold));
    if (maxSmoothingAngle != 0.0f) AppendTag(root, new (std::nothrow) nMetaTag("MaxSmoothingAngle", maxSmoothingAngle));

    AppendTag(root, nPhysicMaterial::Serialize(document));

    if (renderFlags != 0) {
        nMetaTag* mask = new (std::nothrow) nMetaTag("RenderMask");
        if (AppendTag(root, mask)) {
            for (int i = 0; i < kWrittenRenderMaskNames; ++i)
                if (renderFlags & (uint32_t)kRenderMaskNames[i].value)
                    AppendTag(mask, new (std::nothrow) nMetaTag(kRenderMaskNames[i].name));
        } else {
            *g_log << "[*] Could not serialize material '" << m_name.GetCStr() << "' render word.\n";
        }
    }
    if (!m_shaderName.IsEmpty())
        AppendTag(root, new (std::nothrow) nMetaTag("Shader", m_shaderName.GetCStr()));
    if (m_renderMap && !m_renderMapDefault)
        AppendTag(root, m_renderMap->Serialize(document));

    for (int32_t i = 0; i < kStageCount; ++i) {
        const nMaterialStage& stage = m_stages[i];
        if (!stage.texture.IsValid())
            continue;
        nMetaTag* out = new (std::nothrow) nMetaTag("TextureStage");
        if (!AppendTag(root, out)) {
            *g_log << "[*] Could not serialize a texture stage in material '" << m_name.GetCStr() << "'.\n";
            continue;
        }
        AppendTag(out, new (std::nothrow) nMetaTag("Index", i));
        if (stage.active)
            AppendTag(out, new (std::nothrow) nMetaTag("Active"));
        AppendTag(out, new (std::nothrow) nMetaTag("Texture", stage.texture->GetName().GetCStr()));
        AppendTag(out, new (std::nothrow) nMetaTag("UV", (int32_t)stage.uvIndex));
        if (!stage.wrapU)
            AppendTag(out, new (std::nothrow) nMetaTag("NoWrapU"));
        if (!stage.wrapV)
            AppendTag(out, new (std::nothrow) nMetaTag("NoWrapV"));
        if (stage.op == MaterialOperatorMultiply || stage.op == MaterialOperatorAdd)
            AppendTag(out, new (std::nothrow) nMetaTag("Operator", kOperatorNames[stage.op - 1].name));
        if (stage.channel >= MaterialChannelDecal && stage.channel <= MaterialChannelBlendRGB)
            AppendTag(out, new (std::nothrow) nMetaTag("Channel", kChannelNames[stage.channel - 2].name));
        else if (stage.channel != MaterialChannelDiffuse)
            WarnBogusStage(i, m_name);
        if (stage.uvSource == MaterialLSNormal || stage.uvSource == MaterialFrontMap)
            AppendTag(out, new (std::nothrow) nMetaTag("UVSource", kUVSourceNames[stage.uvSource - 1].name));
        else if (stage.uvSource != MaterialUVMap)
            WarnBogusStage(i, m_name);
    }
    return root;
}
