#ifndef N_MATERIAL_H
#define N_MATERIAL_H

#include <cstdint>

#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "resources/nPhysicMaterial.h"
#include "resources/nTexture.h"

class nOrvex;
class nRenderMap;
class nMetaFile;
class nMetaTag;
struct nRenderData;

// Material channels: what a texture stage feeds. One vocabulary for materials, geometries, the
// renderer and scripts.
enum nMaterialChannel
{
    MaterialChannelNone = 0,  // a stage on channel None is free
    MaterialChannelDiffuse = 1,
    MaterialChannelDecal = 2,
    MaterialChannelOpacity = 3,
    MaterialChannelSpecular = 4,
    MaterialChannelGlossiness = 5,
    MaterialChannelNormal = 6,
    MaterialChannelReflection = 7,
    MaterialChannelSelfIllum = 8,
    MaterialChannelLightmap = 9,
    MaterialChannelBlendRGB = 10,
    MaterialChannelCount = 11
};

// "None", "Diffuse", ..., "Blend RGB" for channels 0 to 10, "Invalid" for any other.
const char* GetMaterialChannelName(int32_t channel);

// Material render flags.
enum nMaterialRenderFlag
{
    MaterialRenderShadeless = 0x1,
    MaterialRenderSmooth = 0x2,
    MaterialRenderAdd = 0x4,  // blends: sets the alpha flag
    MaterialRenderDoubleSided = 0x8,
    MaterialRenderWire = 0x10,
    MaterialRenderVertexColor = 0x20,
    SoftBody = 0x40,
    MaterialRenderSub = 0x80,  // blends: sets the alpha flag
    MaterialRenderVertexNormal = 0x100,
    MaterialRenderNormalMapTangent = 0x400,
    ParralaxDisp = 0x1000,
    MaterialRenderNoDepthWrite = 0x2000,
    MaterialRenderNoDepthTest = 0x4000,
    MaterialRenderSkinned = 0x8000,  // set on the materials of skinned geometries; never stored
    MaterialRenderNoFog = 0x10000,
    MaterialRenderFixedFunction = 0x20000,
    AlphaToFrame = 0x40000,
    MaterialRenderToonShading = 0x80000,
    AlphaSoftZ = 0x100000
};

// Where a stage takes its texture coordinates.
enum nMaterialUVSource
{
    MaterialUVMap = 1,  // a UV set of the geometry
    MaterialLSNormal = 2,
    MaterialFrontMap = 3
};

// How a stage combines with the ones before it.
enum nMaterialOperator
{
    MaterialOperatorNone = 0,
    MaterialOperatorMultiply = 1,
    MaterialOperatorAdd = 2
};

// One texture stage. Copies share the texture.
struct nMaterialStage
{
    uint8_t active;   // takes part in drawing
    int32_t channel;  // nMaterialChannel
    nSharedPtr<nTexture> texture;
    int32_t uvSource;   // nMaterialUVSource
    nMatrix4 uvMatrix;  // transform of the texture coordinates
    uint8_t wrapU;      // 1: repeats along u
    uint8_t wrapV;
    uint8_t uvIndex;  // the geometry UV set (0 to 2) a UVMap stage reads
    int32_t op;       // nMaterialOperator

    nMaterialStage() { Reset(); }
    void Reset();  // inactive, channel None, no texture, UVMap, identity, wrapping, UV set 0, no operator
};

// How a surface is drawn: colours, shading parameters, render flags, an optional shader graph and
// six texture stages, plus its physical properties. Read from NML, set up on the engine's current
// renderer before drawing, updated there after changes and freed there by the destructor.
class nMaterial : public nPhysicMaterial, public nSharedObject
{
public:
    static const int kStageCount = 6;

    explicit nMaterial(nOrvex* engine);  // physical defaults, empty names, then Reset
    ~nMaterial() override;               // deletes the render map, then the current renderer's FreeMaterial
    nMaterial(const nMaterial&) = delete;
    nMaterial& operator=(const nMaterial&) = delete;

    // Defaults of every colour, parameter and flag; deletes the render map, resets the stages,
    // clears the channel table and the alpha flag. Keeps the names, the engine, the physical
    // properties and the renderer data.
    void Reset();

    // The channel table's stage of channel; with activeOnly, NULL unless it is active and has a
    // texture. NULL for a channel outside 0..10.
    nMaterialStage* GetStage(int32_t channel, bool activeOnly) const;
    // The channel's active textured stage when there is one (the arguments are then dropped);
    // else the first free stage, given the arguments and made active (the channel table catches
    // up at the next validation); else NULL with a warning.
    nMaterialStage* AddStage(int32_t channel, nTexture* texture, int32_t uvSource, int32_t uvIndex);
    // Deactivates, with a warning, active UVMap stages with a UV set of 3 or more or without a
    // texture, then points each channel at the first stage on it.
    void ValidateStages();
    void UpdateAlphaFlag();  // set for Add or Sub, or an active textured Opacity stage

    void Update();  // validation, alpha flag, then the current renderer's UpdateMaterial
    // With the debug channel set, shows only that channel's texture as a white diffuse texture;
    // then the current renderer's SetupMaterial, validation, the alpha flag and UpdateMaterial.
    void Setup();

    // NML "Material" tag. Reading resets the material first and fails only for a root of another
    // name; every other problem is a warning. Writing returns a new tag or NULL.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;
    nRenderMap* BuildDefaultRenderMap();  // a graph from the colours, parameters and stages; NULL when none can be built

    nOrvex* GetEngine() const { return m_engine; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    const nString& GetShaderName() const { return m_shaderName; }
    void SetShaderName(const char* name) { m_shaderName.Set(name); }
    bool GetAlphaFlag() const { return m_alpha != 0; }

    nVector diffuse;          // (1, 1, 1, 1)
    nVector specular;         // (1, 1, 1, 1)
    nVector self;             // (0, 0, 0, 1) self-illumination
    nVector ambient;          // (1, 1, 1, 1)
    float glossiness;         // 0.4
    float opacity;            // 1.0
    float reflection;         // 0.0
    float ior;                // 1.0 index of refraction
    float alphaThreshold;     // 0.1
    float maxSmoothingAngle;  // 0.0 cosine threshold of vertex-normal smoothing
    uint32_t renderFlags;     // nMaterialRenderFlag bits

    nRenderMap* GetRenderMap() const { return m_renderMap; }
    void SetRenderMap(nRenderMap* map);  // owned; deletes the previous one
    // True while the render map is the default one the reader built: it says nothing the colours
    // and stages do not, so the writer leaves it out and a later change of the stages shows.
    bool IsRenderMapDefault() const { return m_renderMapDefault; }
    nMaterialStage& GetStageAt(int index) { return m_stages[index]; }  // 0 to 5
    const nMaterialStage& GetStageAt(int index) const { return m_stages[index]; }
    nRenderData* GetRenderData() const { return m_renderData; }
    void SetRenderData(nRenderData* data) { m_renderData = data; }  // the renderer's alone

private:
    void ReadTextureStage(nMetaFile* document, nMetaTag* tag);
    void ReadRenderMask(nMetaTag* tag);
    void AddEmbeddedOpacity();

    nString m_name;
    nOrvex* m_engine;
    uint8_t m_alpha;
    nString m_shaderName;
    nRenderMap* m_renderMap;
    bool m_renderMapDefault;
    nMaterialStage* m_channels[MaterialChannelCount];  // first stage on each channel, or NULL
    nMaterialStage m_stages[kStageCount];
    nRenderData* m_renderData;
};

// The texture a stage or a Texture block of a ShaderMap names, through the engine's loader (cached
// when the engine has a cache). NULL only when none can be made.
nTexture* LoadMaterialTexture(nOrvex* engine, const char* name);

#endif
