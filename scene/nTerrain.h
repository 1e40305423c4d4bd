#ifndef N_TERRAIN_H
#define N_TERRAIN_H

#include <cstdint>

#include "core/nBounds.h"
#include "core/nFrustum.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "render/nRenderQueue.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

class nMetaFile;
class nMetaTag;
class nPicture;
class nScene;
class nTerrain;

// How a layer's texture coordinates are taken.
enum nTerrainUVAxis
{
    TerrainUVAxisXZ = 0,
    TerrainUVAxisXY = 1,
    TerrainUVAxisZY = 2
};

// One texture layer of a terrain; the blend map's channel of the same index weighs it.
struct nTerrainLayer
{
    nSharedPtr<nTexture> diffuse;
    nSharedPtr<nTexture> normal;
    nSharedPtr<nTexture> extra;  // a third slot, never set
    int32_t uvAxis;              // nTerrainUVAxis
    float uvAngle;               // radians
    float uvTiling;

    nTerrainLayer() : uvAxis(TerrainUVAxisXZ), uvAngle(0.0f), uvTiling(1.0f) {}
};

// One node of a terrain's quadtree: an area of samples drawn at one sample step. Bounds are in
// terrain-local units and hold every sample of the area, its far row and column included.
struct nTerrainNode
{
    nTerrain* terrain;
    int32_t column;
    int32_t row;
    int32_t width;   // samples
    int32_t height;  // samples
    int32_t step;
    nMinMax bounds;
    nTerrainNode* children[4];  // owned, each may be NULL

    nTerrainNode();
    ~nTerrainNode();  // deletes the children
    nTerrainNode(const nTerrainNode&) = delete;
    nTerrainNode& operator=(const nTerrainNode&) = delete;
};

// A height-field item: a grid of signed 16-bit samples (height x 20) in the item's X-Z plane,
// rows running towards -Z, with byte normals, one material, four layers, a blend map, and a
// quadtree of 64 x 64-step patches drawn with distance detail.
//
// Invariant: samples and normals exist together, (grid width + 1) x (grid height + 1) each, row
// stride grid width + 1; the extra column and row are edge copies. A grid is 1 to kMaxGridSide
// samples a side; new samples are 0 until a load writes them.
class nTerrain : public nItem, public nRenderable
{
public:
    static const int32_t kMaxGridSide = 4096;  // samples a side; larger grids are refused
    static const int32_t kPatchCells = 64;     // cells a side of every drawn patch
    static const int32_t kMaxDepth = 8;        // quadtree levels at most

    explicit nTerrain(nOrvex* engine);
    ~nTerrain() override;  // samples, normals, tree, layers, blend map
    nRenderable* GetRenderable() override { return this; }

    // Grid width w, grid height h (samples), p points per unit; frees the old grid first.
    // False (logged) for sizes outside 1..kMaxGridSide, a p that is not a positive finite number,
    // or no memory; the terrain is then without samples.
    bool SetSize(int32_t w, int32_t h, float p);
    void FreeHeightmap();

    // Height file: grid height rows of grid width little-endian int16 samples, nothing else.
    // False (logged) when missing, empty or of another size; the samples are then untouched.
    bool LoadHeightFile(const char* path);
    bool SaveHeightFile(const char* path);                   // the stored rows, without the edge copies
    bool LoadFromPicture(const char* path, int32_t passes);  // red x 256 x 20 per sample, then Smooth; false without a grid or picture

    void ComputeNormals(int32_t x, int32_t y, int32_t width, int32_t height);  // all 0: the whole grid
    void Smooth(int32_t passes);
    void BuildQuadtree();
    void Refresh();  // material set-up, normals, quadtree

    float GetHeight(const nVector& local) const;  // the sample below the point / 20; 0 outside or without samples
    bool LocalToPixel(const nVector& local, const nPicture* picture, int32_t* px, int32_t* py) const;
    nVector GetNormal(int32_t column, int32_t row) const;  // (0, 0, 0, 1) outside the grid
    int16_t GetSample(int32_t column, int32_t row) const   // clamped into the grid; 0 without samples
    {
        if (!m_samples) return 0;
        column = column < 0 ? 0 : (column > m_gridWidth ? m_gridWidth : column);
        row = row < 0 ? 0 : (row > m_gridHeight ? m_gridHeight : row);
        return m_samples[(size_t)row * (size_t)(m_gridWidth + 1) + (size_t)column];
    }

    nTerrainLayer& GetLayer(int32_t index) { return m_layers[index >= 0 && index < 4 ? index : 0]; }
    const nTerrainNode* GetQuadtree() const { return m_root; }

    // Queues one terrain-patch record per node drawn: whole when the viewer is farther from its
    // centre than twice its diagonal, else its children. Passes other than 0 cut and refine as
    // the frame's main view does (the renderer's view camera), never with a camera of an earlier frame.
    void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) override;
    // The nodes a viewer at world point eye would draw, appended as terrain-patch records
    // without a frustum test (what Enqueue does once culling passed).
    void CollectNodes(const nVector& eye, nRenderablePrimitiveList* list);

    // "Terrain" NML.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);
    nMetaTag* SerializeLayer(int32_t index);  // NULL for a layer without textures

    const int16_t* GetSamples() const { return m_samples; }
    const int8_t* GetNormals() const { return m_normals; }
    int32_t GetGridWidth() const { return m_gridWidth; }
    int32_t GetGridHeight() const { return m_gridHeight; }
    int32_t GetStride() const { return m_gridWidth + 1; }
    float GetSpacing() const { return m_spacing; }
    float GetWorldWidth() const { return m_worldWidth; }
    float GetWorldDepth() const { return m_worldDepth; }
    nMaterial& GetMaterial() { return m_material; }
    nTexture* GetBlendMap() const { return m_blendMap.Get(); }
    void SetBlendMap(nTexture* texture) { m_blendMap = texture; }  // counted; NULL: none
    const nString& GetBasePath() const { return m_basePath; }
    void SetBasePath(const char* path) { m_basePath.Set(path); }

private:
    nTerrainNode* BuildNode(int32_t column, int32_t row, int32_t width, int32_t height, int32_t step, int32_t depth);
    void DrawNode(const nVector& eye, const nMatrix4& world, const nFrustum* frustum,
                  nRenderablePrimitiveList* list, nTerrainNode* node);
    void SamplesChanged();  // hands the grid to the managed item's body shapes
    void ReadHeightmapTag(nMetaTag* tag);
    void ReadLayerTag(nMetaTag* tag);

    float m_worldWidth;
    float m_worldDepth;
    int16_t* m_samples;
    int8_t* m_normals;
    int32_t m_gridWidth;
    int32_t m_gridHeight;
    float m_spacing;
    nTerrainNode* m_root;
    nMaterial m_material;
    nTerrainLayer m_layers[4];
    nString m_basePath;
    nSharedPtr<nTexture> m_blendMap;
};

// The managed terrain (kind 7): no per-frame work. Its body's height-field shapes read the
// terrain's grid; the managed terrain takes the body down before the grid goes.
class nMTerrain : public nMItem
{
public:
    explicit nMTerrain(nScene* scene);
    ~nMTerrain() override;

    void Evaluate() override {}
    void UpdateTransform() override {}
    void Setup() override;  // Refresh, grid to the body, then the managed set-up

    // "MTerrain" NML: the "MItem" tag and the "Terrain" tag; then the grid to the body's
    // height-field shapes.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);

    // Every height-field shape of the body gets the whole grid, edge copies included (NULL
    // and 0 without samples).
    void HandSamplesToBody();

    nTerrain& GetTerrain() { return m_terrain; }

private:
    nTerrain m_terrain;
};

#endif
