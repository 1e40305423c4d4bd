// Terrains: the height grid and its side files, normals, smoothing, the quadtree with distance
// detail, heights, the NML forms and the managed terrain.
#include "scene/nTerrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "physics/nPhysicItem.h"
#include "physics/nPhysicShape.h"
#include "render/nRenderer.h"
#include "resources/nPicture.h"
#include "resources/nResourceLoader.h"
#include "scene/nCamera.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"

namespace {

const float kHeightUnit = 20.0f;  // samples per unit of height
const int32_t kBlendMapWidth = 1024;

struct UVAxisName
{
    const char* name;
    int32_t axis;
};
const UVAxisName kUVAxes[] = {{"XZ", TerrainUVAxisXZ}, {"XY", TerrainUVAxisXY}, {"ZY", TerrainUVAxisZY}};

bool ReadTerrainTag(nMItem* item, nMetaFile* document, nMetaTag* tag)
{
    return static_cast<nMTerrain*>(item)->GetTerrain().Deserialize(document, tag);
}

// The typed value of a named child; false when the child is missing or of another type.
bool ReadChildInt(nMetaTag* tag, const char* name, int32_t& out)
{
    nMetaTag* child = FirstChildNamed(tag, name);
    return child && ReadTagInt(child, out);
}

bool ReadChildFloat(nMetaTag* tag, const char* name, float& out)
{
    nMetaTag* child = FirstChildNamed(tag, name);
    return child && ReadTagFloat(child, out);
}

const char* ReadChildString(nMetaTag* tag, const char* name)
{
    nMetaTag* child = FirstChildNamed(tag, name);
    return child ? ReadTagString(child) : 0;
}

int16_t ReadLittleEndian16(const unsigned char* bytes)
{
    return (int16_t)(uint16_t)(bytes[0] | (bytes[1] << 8));
}

}

nTerrainNode::nTerrainNode()
    : terrain(0), column(0), row(0), width(0), height(0), step(0),
      bounds(nVector(0.0f, 0.0f, 0.0f, 1.0f), nVector(0.0f, 0.0f, 0.0f, 1.0f)), children{0, 0, 0, 0}
{
}

nTerrainNode::~nTerrainNode()
{
    for (nTerrainNode* child : children) delete child;
}

nTerrain::nTerrain(nOrvex* engine)
    : nItem(engine), m_worldWidth(0.0f), m_worldDepth(0.0f), m_samples(0), m_normals(0), m_gridWidth(0),
      m_gridHeight(0), m_spacing(0.0f), m_root(0), m_material(engine)
{
}

nTerrain::~nTerrain()
{
    delete m_root;
    delete[] m_samples;
    delete[] m_normals;
}

// Grid.

bool nTerrain::SetSize(int32_t w, int32_t h, float p)
{
    FreeHeightmap();
    // Sizes beyond the cap, and points per unit whose world size or spacing would not be a
    // finite number, are refused before anything is computed from them.
    const bool sizes = w >= 1 && h >= 1 && w <= kMaxGridSide && h <= kMaxGridSide;
    const bool scale = std::isfinite(p) && p > 0.0f && std::isfinite((float)kMaxGridSide / p) && std::isfinite(1.0f / p);
    if (!sizes || !scale) {
        *g_log << "[!] Terrain size " << w << " x " << h << " at " << p
               << " points per unit is out of range (1 to " << kMaxGridSide << " samples a side, a positive number of points).\n";
        return false;
    }
    const size_t count = (size_t)(w + 1) * (size_t)(h + 1);
    m_samples = new (std::nothrow) int16_t[count];
    m_normals = new (std::nothrow) int8_t[count * 3];
    if (!m_samples || !m_normals) {
        FreeHeightmap();
        *g_log << "[!] Failed to allocate terrain heightmap.\n";
        return false;
    }
    std::memset(m_samples, 0, count * sizeof(int16_t));
    std::memset(m_normals, 0, count * 3);
    m_gridWidth = w;
    m_gridHeight = h;
    m_worldWidth = (float)w / p;
    m_worldDepth = (float)h / p;
    m_spacing = 1.0f / p;
    SamplesChanged();
    return true;
}

void nTerrain::FreeHeightmap()
{
    delete m_root;
    delete[] m_samples;
    delete[] m_normals;
    m_root = 0;
    m_samples = 0;
    m_normals = 0;
    m_worldWidth = m_worldDepth = 0.0f;
    m_gridWidth = m_gridHeight = 0;
    SamplesChanged();
}

void nTerrain::SamplesChanged()
{
    nMItem* item = GetManagedItem();
    if (item && item->GetKind() == ManagedItemTerrain) static_cast<nMTerrain*>(item)->HandSamplesToBody();
}

// Height file load: the stored rows into the grid, then the edge copies.
bool nTerrain::LoadHeightFile(const char* path)
{
    char* buffer = 0;
    const int32_t size = path ? nIO::LoadFile(path, &buffer) : 0;
    if (size <= 0) {
        delete[] buffer;
        *g_log << "[!] Failed to allocate heightmap load buffer.\n";
        return false;
    }
    const size_t expected = (size_t)m_gridWidth * (size_t)m_gridHeight * 2;
    if (!m_samples || (size_t)size != expected) {
        delete[] buffer;
        *g_log << "[*] Corrupt heightmap data in " << path << ", incorrect data size.\n";
        return false;
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer);
    const size_t stride = (size_t)m_gridWidth + 1;
    for (int32_t row = 0; row < m_gridHeight; ++row) {
        int16_t* target = m_samples + (size_t)row * stride;
        const unsigned char* source = bytes + (size_t)row * (size_t)m_gridWidth * 2;
        for (int32_t column = 0; column < m_gridWidth; ++column) target[column] = ReadLittleEndian16(source + 2 * column);
        target[m_gridWidth] = target[m_gridWidth - 1];
    }
    std::memcpy(m_samples + (size_t)m_gridHeight * stride, m_samples + (size_t)(m_gridHeight - 1) * stride,
                stride * sizeof(int16_t));
    delete[] buffer;
    return true;
}

bool nTerrain::SaveHeightFile(const char* path)
{
    if (!m_samples || !path) return false;
    const size_t count = (size_t)m_gridWidth * (size_t)m_gridHeight;
    unsigned char* bytes = new (std::nothrow) unsigned char[count * 2];
    if (!bytes) return false;
    const size_t stride = (size_t)m_gridWidth + 1;
    for (int32_t row = 0; row < m_gridHeight; ++row)
        for (int32_t column = 0; column < m_gridWidth; ++column) {
            const uint16_t v = (uint16_t)m_samples[(size_t)row * stride + (size_t)column];
            unsigned char* out = bytes + ((size_t)row * (size_t)m_gridWidth + (size_t)column) * 2;
            out[0] = (unsigned char)(v & 0xff);
            out[1] = (unsigned char)(v >> 8);
        }
    const int32_t written = nIO::SaveFile(path, bytes, (int32_t)(count * 2));
    delete[] bytes;
    return written > 0;
}

bool nTerrain::LoadFromPicture(const char* path, int32_t passes)
{
    if (!m_samples) {
        *g_log << "[*] Terrain has no grid to load the picture " << (path ? path : "") << " into.\n";
        return false;
    }
    nPicture picture;
    if (!path || !nPicture::LoadContent(&picture, path) || picture.GetWidth() == 0 || picture.GetHeight() == 0) {
        *g_log << "[*] Terrain could not read the picture " << (path ? path : "") << ".\n";
        return false;
    }
    const size_t stride = (size_t)m_gridWidth + 1;
    for (int32_t row = 0; row <= m_gridHeight; ++row)
        for (int32_t column = 0; column <= m_gridWidth; ++column) {
            const nVector c = picture.SampleBilinear((float)column / (float)m_gridWidth, (float)row / (float)m_gridHeight);
            float v = c.x * 256.0f * kHeightUnit;
            v = v > 32767.0f ? 32767.0f : (v < -32768.0f ? -32768.0f : v);
            m_samples[(size_t)row * stride + (size_t)column] = (int16_t)v;
        }
    Smooth(passes);
    return true;
}

// Normals: per sample from its right and lower neighbours, in sample steps.
void nTerrain::ComputeNormals(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!m_normals) return;
    if (x == 0 && y == 0 && width == 0 && height == 0) {
        width = m_gridWidth;
        height = m_gridHeight;
    } else {
        x = x < 0 ? 0 : (x > m_gridWidth ? m_gridWidth : x);
        y = y < 0 ? 0 : (y > m_gridHeight ? m_gridHeight : y);
        if (width > m_gridWidth - x) width = m_gridWidth - x;
        if (height > m_gridHeight - y) height = m_gridHeight - y;
    }
    const size_t stride = (size_t)m_gridWidth + 1;
    for (int32_t row = y; row < y + height; ++row)
        for (int32_t column = x; column < x + width; ++column) {
            const size_t at = (size_t)row * stride + (size_t)column;
            const float h0 = m_samples[at];
            const float dx = (m_samples[at + 1] - h0) / kHeightUnit;
            const float dz = (m_samples[at + stride] - h0) / kHeightUnit;
            const nVector n = nVector(-dx, 1.0f, dz).Normalize();
            m_normals[at * 3 + 0] = (int8_t)(n.x * 127.0f);
            m_normals[at * 3 + 1] = (int8_t)(n.y * 127.0f);
            m_normals[at * 3 + 2] = (int8_t)(n.z * 127.0f);
        }
}

void nTerrain::Smooth(int32_t passes)
{
    if (!m_samples) return;
    const size_t stride = (size_t)m_gridWidth + 1;
    for (int32_t pass = 0; pass < passes; ++pass)
        for (int32_t row = 1; row < m_gridHeight; ++row)
            for (int32_t column = 1; column < m_gridWidth; ++column) {
                int16_t* s = m_samples + (size_t)row * stride + (size_t)column;
                const int32_t sum = (int32_t)s[-(ptrdiff_t)stride] + s[stride] + s[-1] + s[1] + s[0];
                *s = (int16_t)(sum / 5);
            }
}

void nTerrain::Refresh()
{
    m_material.Setup();
    ComputeNormals(0, 0, 0, 0);
    BuildQuadtree();
}

// Quadtree.

void nTerrain::BuildQuadtree()
{
    delete m_root;
    m_root = 0;
    if (!m_samples) return;
    m_root = BuildNode(0, 0, m_gridWidth, m_gridHeight, m_gridWidth / kPatchCells, 0);
}

nTerrainNode* nTerrain::BuildNode(int32_t column, int32_t row, int32_t width, int32_t height, int32_t step, int32_t depth)
{
    if (step == 0 || depth == kMaxDepth || width == 0 || height == 0) return 0;
    nTerrainNode* node = new (std::nothrow) nTerrainNode;
    if (!node) return 0;
    node->terrain = this;
    node->column = column;
    node->row = row;
    node->width = width;
    node->height = height;
    node->step = step;

    // The bounds hold every sample the node's patch or its children draw: the area and the
    // patch's own reach, far row and column included, within the grid.
    const int32_t reach = kPatchCells * step;
    const int32_t lastColumn = std::min(column + std::max(width, reach), m_gridWidth);
    const int32_t lastRow = std::min(row + std::max(height, reach), m_gridHeight);
    const size_t stride = (size_t)m_gridWidth + 1;
    int16_t lowest = m_samples[(size_t)row * stride + (size_t)column], highest = lowest;
    for (int32_t r = row; r <= lastRow; ++r) {
        const int16_t* line = m_samples + (size_t)r * stride;
        for (int32_t c = column; c <= lastColumn; ++c) {
            if (line[c] < lowest) lowest = line[c];
            if (line[c] > highest) highest = line[c];
        }
    }
    node->bounds.min = nVector(column * m_spacing, lowest / kHeightUnit, -lastRow * m_spacing, 1.0f);
    node->bounds.max = nVector(lastColumn * m_spacing, highest / kHeightUnit, -row * m_spacing, 1.0f);

    const int32_t hw = width / 2, hh = height / 2;
    node->children[0] = BuildNode(column, row, hw, hh, step / 2, depth + 1);
    node->children[1] = BuildNode(column + hw, row, width - hw, hh, step / 2, depth + 1);
    node->children[2] = BuildNode(column, row + hh, hw, height - hh, step / 2, depth + 1);
    node->children[3] = BuildNode(column + hw, row + hh, width - hw, height - hh, step / 2, depth + 1);
    return node;
}

// Queueing: the viewer that cuts and refines is this pass's camera in the frame's main view,
// and in any later pass the main view's camera the renderer keeps for the frame.
void nTerrain::Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass)
{
    if (!camera || !list || !m_root) return;
    nItem* viewer = camera;
    if (pass != 0) {
        nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
        if (renderer && renderer->GetViewCamera()) viewer = renderer->GetViewCamera();
    }
    nCamera* view = dynamic_cast<nCamera*>(viewer);
    const nVector eye = viewer->GetWorldMatrix().GetColumn(3, true);
    DrawNode(eye, GetWorldMatrix(), view ? &view->GetFrustum() : 0, list, m_root);
}

void nTerrain::CollectNodes(const nVector& eye, nRenderablePrimitiveList* list)
{
    if (m_root && list) DrawNode(eye, GetWorldMatrix(), 0, list, m_root);
}

void nTerrain::DrawNode(const nVector& eye, const nMatrix4& world, const nFrustum* frustum,
                        nRenderablePrimitiveList* list, nTerrainNode* node)
{
    if (frustum && frustum->TestMinMax(node->bounds, &world) == VisibilityOutside) return;
    const nVector centre = ((node->bounds.min + node->bounds.max) * 0.5f).Transform(world);
    const float d = (nVector(centre.x, centre.y, centre.z, 1.0f) - eye).Length();
    const float s = (node->bounds.max - node->bounds.min).Length();
    if (d > 2.0f * s || !node->children[0]) {
        nRenderablePrimitive* primitive = new (std::nothrow) nRenderablePrimitive(RenderablePrimitiveTerrain, this, 0.0f, node);
        if (primitive && !list->InsertAfter(primitive, list->GetTail())) delete primitive;
        return;
    }
    for (nTerrainNode* child : node->children)
        if (child) DrawNode(eye, world, frustum, list, child);
}

// Heights.

float nTerrain::GetHeight(const nVector& local) const
{
    if (!m_samples || !(m_worldWidth > 0.0f) || !(m_worldDepth > 0.0f)) return 0.0f;
    const double fx = (double)local.x / m_worldWidth * m_gridWidth;
    const double fz = (double)-local.z / m_worldDepth * m_gridHeight;
    // Beyond the grid, and values that are no numbers, read as 0 (truncation towards zero).
    if (!(fx > -1.0 && fx < m_gridWidth) || !(fz > -1.0 && fz < m_gridHeight)) return 0.0f;
    const int32_t column = (int32_t)fx, row = (int32_t)fz;
    return m_samples[(size_t)row * (size_t)(m_gridWidth + 1) + (size_t)column] / kHeightUnit;
}

bool nTerrain::LocalToPixel(const nVector& local, const nPicture* picture, int32_t* px, int32_t* py) const
{
    if (!picture || !(m_worldWidth > 0.0f) || !(m_worldDepth > 0.0f)) return false;
    const double fx = (double)local.x / m_worldWidth * picture->GetWidth();
    const double fy = ((double)local.z / m_worldDepth + 1.0) * picture->GetHeight();
    if (!(fx > -1.0 && fx < picture->GetWidth()) || !(fy > -1.0 && fy < picture->GetHeight())) return false;
    if (px) *px = (int32_t)fx;
    if (py) *py = (int32_t)fy;
    return true;
}

nVector nTerrain::GetNormal(int32_t column, int32_t row) const
{
    if (!m_normals || column < 0 || row < 0 || column > m_gridWidth || row > m_gridHeight) return nVector(0.0f, 0.0f, 0.0f, 1.0f);
    const int8_t* n = m_normals + ((size_t)row * (size_t)(m_gridWidth + 1) + (size_t)column) * 3;
    return nVector(n[0] / 127.0f, n[1] / 127.0f, n[2] / 127.0f, 1.0f);
}

// NML.

void nTerrain::ReadLayerTag(nMetaTag* tag)
{
    int32_t index = 0;
    ReadChildInt(tag, "Index", index);
    nTerrainLayer& layer = GetLayer(index);
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (IsTagNamed(child, "Diffuse")) {
            if (const char* name = ReadTagString(child)) layer.diffuse = LoadTexture(m_engine, name, false, false);
        } else if (IsTagNamed(child, "Normal")) {
            if (const char* name = ReadTagString(child)) layer.normal = LoadTexture(m_engine, name, false, false);
        } else if (IsTagNamed(child, "UVAngle")) {
            ReadTagFloat(child, layer.uvAngle);
        } else if (IsTagNamed(child, "UVTiling")) {
            ReadTagFloat(child, layer.uvTiling);
        } else if (IsTagNamed(child, "UVAxis")) {
            if (const char* text = ReadTagString(child))
                for (const UVAxisName& axis : kUVAxes)
                    if (std::strcmp(text, axis.name) == 0) layer.uvAxis = axis.axis;
        }
    }
}

void nTerrain::ReadHeightmapTag(nMetaTag* tag)
{
    int32_t width = 0, height = 0;
    float ppm = 0.0f;
    const char* data = 0;
    if (!ReadChildInt(tag, "Width", width) || !ReadChildInt(tag, "Height", height) || !ReadChildFloat(tag, "Ppm", ppm) ||
        !(data = ReadChildString(tag, "Data")))
        return;
    if (!SetSize(width, height, ppm)) return;
    if (!LoadHeightFile(data)) return;
    ComputeNormals(0, 0, 0, 0);
    BuildQuadtree();
}

bool nTerrain::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Terrain", "terrain")) return false;
    typedef nTerrain T;
    static const nMLTagRule<T> kTags[] = {
        {"Item", [](T& t, nMetaFile* d, nMetaTag* c) { t.nItem::Deserialize(d, c); }},
        {"BasePath", nMLField<&T::m_basePath>},
        {"Width", nMLField<&T::m_worldWidth>},
        {"Height", nMLField<&T::m_worldDepth>},
        {"Material", [](T& t, nMetaFile* d, nMetaTag* c) { t.m_material.Deserialize(d, c); }},
        {"Layers", [](T& t, nMetaFile*, nMetaTag* c) {
             nMetaTagIterator it;
             while (nMetaTag* layer = c->NextChild(it))
                 if (IsTagNamed(layer, "Layer")) t.ReadLayerTag(layer);
         }},
        {"Heightmap", [](T& t, nMetaFile*, nMetaTag* c) { t.ReadHeightmapTag(c); }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Terrain");
    nString blendPath = m_basePath;
    blendPath += "/blend.tga";
    m_blendMap = LoadTexture(m_engine, blendPath.GetCStr(), false, false);
    if (!m_blendMap.IsValid() || m_blendMap->GetWidth() != (uint32_t)kBlendMapWidth)
        *g_log << "[!] Terrain blendmap corrupted.\n";
    return true;
}

nMetaTag* nTerrain::SerializeLayer(int32_t index)
{
    nTerrainLayer& layer = GetLayer(index);
    if (!layer.diffuse.IsValid() && !layer.normal.IsValid()) return 0;
    nMetaTag* tag = new (std::nothrow) nMetaTag("Layer");
    if (!tag) {
        *g_log << "[!] Failed to serialize terrain layer " << index << ".\n";
        return 0;
    }
    AppendTag(tag, new (std::nothrow) nMetaTag("Index", index));
    if (layer.diffuse.IsValid()) AppendTag(tag, new (std::nothrow) nMetaTag("Diffuse", layer.diffuse->GetName().GetCStr()));
    if (layer.normal.IsValid()) AppendTag(tag, new (std::nothrow) nMetaTag("Normal", layer.normal->GetName().GetCStr()));
    AppendTag(tag, new (std::nothrow) nMetaTag("UVAngle", layer.uvAngle));
    AppendTag(tag, new (std::nothrow) nMetaTag("UVTiling", layer.uvTiling));
    for (const UVAxisName& axis : kUVAxes)
        if (axis.axis == layer.uvAxis) AppendTag(tag, new (std::nothrow) nMetaTag("UVAxis", axis.name));
    return tag;
}

nMetaTag* nTerrain::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Terrain");
    if (!root) {
        *g_log << "[!] Could not serialize terrain. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, nItem::Serialize(document));
    AppendTag(root, new (std::nothrow) nMetaTag("BasePath", m_basePath.GetCStr()));
    AppendTag(root, new (std::nothrow) nMetaTag("Width", m_worldWidth));
    AppendTag(root, new (std::nothrow) nMetaTag("Height", m_worldDepth));
    AppendTag(root, m_material.Serialize(document));
    nMetaTag* layers = new (std::nothrow) nMetaTag("Layers");
    if (layers)
        for (int32_t i = 0; i < 4; ++i) AppendTag(layers, SerializeLayer(i));
    AppendTag(root, layers);
    nMetaTag* heightmap = new (std::nothrow) nMetaTag("Heightmap");
    if (heightmap) {
        AppendTag(heightmap, new (std::nothrow) nMetaTag("Width", m_gridWidth));
        AppendTag(heightmap, new (std::nothrow) nMetaTag("Height", m_gridHeight));
        AppendTag(heightmap, new (std::nothrow) nMetaTag("Ppm", m_spacing > 0.0f ? 1.0f / m_spacing : 0.0f));
        nString data = m_basePath;
        data += "/height.u16";
        data.NormalizePath();
        AppendTag(heightmap, new (std::nothrow) nMetaTag("Data", data.GetCStr()));
    }
    AppendTag(root, heightmap);
    return root;
}

// Managed terrain.

nMTerrain::nMTerrain(nScene* scene)
    : nMItem(scene), m_terrain(scene ? scene->GetEngine() : 0)
{
    SetNode(&m_terrain, ManagedItemTerrain);
}

nMTerrain::~nMTerrain()
{
    RaiseOnDelete();
    // The body goes before the grid it was built from, and its shapes forget the grid.
    if (m_physicItem) m_physicItem->Destroy();
    m_terrain.SetManagedItem(0);
    if (m_physicItem)
        for (nListNode<nPhysicShape*>* n = m_physicItem->GetShapes().GetHead(); n; n = n->next)
            if (n->value->type == PhysicShapeHeightfield) n->value->SetHeightfield(0, 0, 0, n->value->heightfieldScale);
}

void nMTerrain::HandSamplesToBody()
{
    if (!m_physicItem) return;
    const bool grid = m_terrain.GetSamples() != 0;
    for (nListNode<nPhysicShape*>* n = m_physicItem->GetShapes().GetHead(); n; n = n->next)
        if (n->value->type == PhysicShapeHeightfield)
            n->value->SetHeightfield(m_terrain.GetSamples(), grid ? m_terrain.GetGridWidth() + 1 : 0,
                                     grid ? m_terrain.GetGridHeight() + 1 : 0, m_terrain.GetSpacing());
}

void nMTerrain::Setup()
{
    m_terrain.Refresh();
    HandSamplesToBody();
    nMItem::Setup();
}

bool nMTerrain::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!DeserializeManagedTag(this, document, tag, "MTerrain", "Terrain",
                               "could not parse managed terrain. Root tag id is incorrect (", ReadTerrainTag))
        return false;
    HandSamplesToBody();
    return true;
}

nMetaTag* nMTerrain::Serialize(nMetaFile* document)
{
    return SerializeManagedTag(this, document, "MTerrain", m_terrain.Serialize(document),
                               "Could not create managed root tag to serialize.\n");
}
