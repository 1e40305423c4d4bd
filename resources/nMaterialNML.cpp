// The "Material" NML tag: reading and writing of nMaterial.
#include "resources/nMaterial.h"

#include <new>

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nRenderMap.h"

namespace {

struct NamedValue
{
    const char* name;
    int32_t     value;
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

nMetaTag* FindChild(nMetaTag* tag, const char* name)
{
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        if (child->GetName() == name)
            return child;
    return 0;
}

// A float value, or an integer one converted.
bool ReadNumber(const nMetaTag* tag, float* out)
{
    int32_t integer = 0;
    if (tag->GetValue().GetFloat(out))
        return true;
    if (!tag->GetValue().GetInt(&integer))
        return false;
    *out = (float)integer;
    return true;
}

void WarnValueType(const nMetaTag* tag, const nString& material)
{
    *g_log << "[*] " << "Illegal value type of tag '" << tag->GetName().GetCStr() << "' in material '"
           << material.GetCStr() << "'.\n";
}

void WarnBogusStage(int32_t stage, const nString& material)
{
    *g_log << "[*] " << "Bogus channel in texture stage " << stage << " material '" << material.GetCStr() << "'.\n";
}

// Appends child to parent; false (child deleted) when it could not be made or added.
bool Append(nMetaTag* parent, nMetaTag* child)
{
    if (child && parent->AddChild(child))
        return true;
    delete child;
    return false;
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
    Append(root, colour.ToMetaTag(name, alwaysW || differs[3]));
}

nMaterialTextureLoader g_textureLoader = 0;

// The reader's own texture source: an uncached texture named after the normalised path, filled
// from the file and set up when the engine sets up what it loads.
nTexture* LoadOwnTexture(nOrvex* engine, const char* name)
{
    nString path(name);
    path.NormalizePath();
    nTexture* texture = new (std::nothrow) nTexture(engine, 0, 0);
    if (!texture) {
        *g_log << "[!] " << "Could not allocate new texture '" << path.GetCStr() << "'.\n";
        return 0;
    }
    texture->SetName(path.GetCStr());
    if (!nPicture::LoadContent(texture, path.GetCStr()))
        *g_log << "[!] " << "Failed to set texture content from '" << path.GetCStr() << "'.\n";
    if (engine && engine->GetResourceAutoSetup())
        texture->Setup();
    return texture;
}

}

void SetMaterialTextureLoader(nMaterialTextureLoader loader)
{
    g_textureLoader = loader;
}

bool nMaterial::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag || !(tag->GetName() == "Material")) {
        *g_log << "[!] " << "Could not parse material. Root tag id is incorrect ("
               << (tag ? tag->GetName().GetCStr() : "") << ").\n";
        return false;
    }
    Reset();

    struct FloatField { const char* name; float nMaterial::* field; };
    static const FloatField kFloats[] = {
        {"Glossiness", &nMaterial::glossiness},
        {"Opacity", &nMaterial::opacity},
        {"Reflection", &nMaterial::reflection},
        {"IOR", &nMaterial::ior},
        {"AlphaThreshold", &nMaterial::alphaThreshold},
        {"MaxSmoothingAngle", &nMaterial::maxSmoothingAngle},
    };
    struct ColourField { const char* name; nVector nMaterial::* field; };
    static const ColourField kColours[] = {
        {"Diffuse", &nMaterial::diffuse},
        {"Specular", &nMaterial::specular},
        {"Self", &nMaterial::self},
        {"Ambient", &nMaterial::ambient},
    };

    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        const nString& name = child->GetName();
        bool known = false;
        for (const ColourField& f : kColours) {
            if (!(name == f.name))
                continue;
            known = true;
            if (!(this->*f.field).FromMetaTag(child))
                WarnValueType(child, m_name);
            break;
        }
        for (const FloatField& f : kFloats) {
            if (known || !(name == f.name))
                continue;
            known = true;
            float value = 0.0f;
            if (ReadNumber(child, &value))
                this->*f.field = value;
            else
                WarnValueType(child, m_name);
            break;
        }
        if (known)
            continue;
        if (name == "Id" || name == "Shader") {
            if (child->GetType() == TagType_String)
                (name == "Id" ? m_name : m_shaderName).Set(child->GetValue().GetText().GetCStr());
            else
                WarnValueType(child, m_name);
        } else if (name == "RenderMask") {
            ReadRenderMask(child);
        } else if (name == "ShaderMap") {
            nRenderMap* map = new (std::nothrow) nRenderMap();
            if (map) {
                SetRenderMap(map);
                map->Parse(m_engine, document, child);
            }
        } else if (name == "PhysicMaterial") {
            nPhysicMaterial::Deserialize(document, child);
        } else if (name == "TextureStage") {
            ReadTextureStage(document, child);
        } else {
            *g_log << "[*] " << "Unknown tag '" << name.GetCStr() << "' in <Material>.\n";
        }
    }
    // A NaN reads as the lowest glossiness.
    glossiness = glossiness >= 0.01f ? (glossiness <= 16.0f ? glossiness : 16.0f) : 0.01f;

    Update();
    if (!m_renderMap)
        SetRenderMap(BuildDefaultRenderMap());
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
            *g_log << "[*] " << "Unknown tag '" << child->GetName().GetCStr() << "' in material '"
                   << m_name.GetCStr() << "'.\n";
    }
}

void nMaterial::ReadTextureStage(nMetaFile* document, nMetaTag* tag)
{
    const nMetaTag* indexTag = FindChild(tag, "Index");
    int32_t index = 0;
    if (!indexTag || !indexTag->GetValue().GetInt(&index)) {
        *g_log << "[*] " << "Illegal index tag type in material '" << m_name.GetCStr() << "'.\n";
        return;
    }
    if (index < 0 || index >= kStageCount) {
        *g_log << "[*] " << "Illegal texture stage index " << index << " in material '" << m_name.GetCStr()
               << "'.\n";
        return;
    }
    nMaterialStage& stage = m_stages[index];
    stage.active = 0;
    stage.channel = MaterialChannelNone;
    stage.op = MaterialOperatorNone;
    stage.uvIndex = 0;

    if (const nMetaTag* channelTag = FindChild(tag, "Channel")) {
        int32_t channel = MaterialChannelNone;
        if (LookupValue(kChannelNames, channelTag, &channel))
            stage.channel = channel;
        else
            *g_log << "[*] " << "Unknown channel for texture stage " << index << " of material '"
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
            nTexture* texture = g_textureLoader ? g_textureLoader(m_engine, path ? path : "")
                                                : LoadOwnTexture(m_engine, path ? path : "");
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
                *g_log << "[*] " << "Unknown UV source for texture stage " << index << " of material '"
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
        *g_log << "[*] " << "Diffuse channel texture has embedded alpha but there is no texture stage left to "
               << "enable opacity in material '" << m_name.GetCStr() << "'.\n";
}

nMetaTag* nMaterial::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Material");
    if (!root) {
        *g_log << "[!] " << "Could not serialize material '" << m_name.GetCStr()
               << "'. Failed to create root tag.\n";
        return 0;
    }
    Append(root, new (std::nothrow) nMetaTag("Id", m_name.GetCStr()));

    AppendColour(root, "Diffuse", diffuse, nVector(1.0f, 1.0f, 1.0f, 1.0f), true);
    AppendColour(root, "Specular", specular, nVector(1.0f, 1.0f, 1.0f, 1.0f), false);
    AppendColour(root, "Self", self, nVector(0.0f, 0.0f, 0.0f, 1.0f), false);
    AppendColour(root, "Ambient", ambient, nVector(1.0f, 1.0f, 1.0f, 1.0f), false);

    if (glossiness != 0.4f) Append(root, new (std::nothrow) nMetaTag("Glossiness", glossiness));
    if (opacity != 1.0f) Append(root, new (std::nothrow) nMetaTag("Opacity", opacity));
    if (reflection != 0.0f) Append(root, new (std::nothrow) nMetaTag("Reflection", reflection));
    if (ior != 1.0f) Append(root, new (std::nothrow) nMetaTag("IOR", ior));
    if (alphaThreshold != 0.1f) Append(root, new (std::nothrow) nMetaTag("AlphaThreshold", alphaThreshold));
    if (maxSmoothingAngle != 0.0f) Append(root, new (std::nothrow) nMetaTag("MaxSmoothingAngle", maxSmoothingAngle));

    Append(root, nPhysicMaterial::Serialize(document));

    if (renderFlags != 0) {
        nMetaTag* mask = new (std::nothrow) nMetaTag("RenderMask");
        if (Append(root, mask)) {
            for (int i = 0; i < kWrittenRenderMaskNames; ++i)
                if (renderFlags & (uint32_t)kRenderMaskNames[i].value)
                    Append(mask, new (std::nothrow) nMetaTag(kRenderMaskNames[i].name));
        } else {
            *g_log << "[*] " << "Could not serialize material '" << m_name.GetCStr() << "' render word.\n";
        }
    }
    if (!m_shaderName.IsEmpty())
        Append(root, new (std::nothrow) nMetaTag("Shader", m_shaderName.GetCStr()));
    if (m_renderMap)
        Append(root, m_renderMap->Serialize(document));

    for (int32_t i = 0; i < kStageCount; ++i) {
        const nMaterialStage& stage = m_stages[i];
        if (!stage.texture.IsValid())
            continue;
        nMetaTag* out = new (std::nothrow) nMetaTag("TextureStage");
        if (!Append(root, out)) {
            *g_log << "[*] " << "Could not serialize a texture stage in material '" << m_name.GetCStr() << "'.\n";
            continue;
        }
        Append(out, new (std::nothrow) nMetaTag("Index", i));
        if (stage.active)
            Append(out, new (std::nothrow) nMetaTag("Active"));
        Append(out, new (std::nothrow) nMetaTag("Texture", stage.texture->GetName().GetCStr()));
        Append(out, new (std::nothrow) nMetaTag("UV", (int32_t)stage.uvIndex));
        if (!stage.wrapU)
            Append(out, new (std::nothrow) nMetaTag("NoWrapU"));
        if (!stage.wrapV)
            Append(out, new (std::nothrow) nMetaTag("NoWrapV"));
        if (stage.op == MaterialOperatorMultiply || stage.op == MaterialOperatorAdd)
            Append(out, new (std::nothrow) nMetaTag("Operator", kOperatorNames[stage.op - 1].name));
        if (stage.channel >= MaterialChannelDecal && stage.channel <= MaterialChannelBlendRGB)
            Append(out, new (std::nothrow) nMetaTag("Channel", kChannelNames[stage.channel - 2].name));
        else if (stage.channel != MaterialChannelDiffuse)
            WarnBogusStage(i, m_name);
        if (stage.uvSource == MaterialLSNormal || stage.uvSource == MaterialFrontMap)
            Append(out, new (std::nothrow) nMetaTag("UVSource", kUVSourceNames[stage.uvSource - 1].name));
        else if (stage.uvSource != MaterialUVMap)
            WarnBogusStage(i, m_name);
    }
    return root;
}
