// NML form of a geometry: the "Geometry" root tag with one chunk per kind of data. Bulk data is
// binary (little-endian int32 and float); the older one-tag-per-element chunks are still read.
//
// Every count and block length read from a file is checked against what is already known
// before anything is allocated or indexed: a malformed structure (vertices, polygons) gives one
// error line and an empty geometry; a malformed attribute chunk is dropped with one error line.
#include "resources/nGeometry.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nTimer.h"
#include "resources/nMaterial.h"
#include "resources/nResourceLoader.h"

namespace {
// Names (normalised) of the geometries whose files are being read, outermost first.
std::vector<nString>& LoadingNames()
{
    static std::vector<nString> names;
    return names;
}

struct LoadingGuard
{
    bool pushed;
    explicit LoadingGuard(const nString& name) : pushed(!name.IsEmpty())
    {
        if (pushed) LoadingNames().push_back(name.GetNormalizedPath());
    }
    ~LoadingGuard()
    {
        if (pushed) LoadingNames().pop_back();
    }
};

int32_t CountChildren(nMetaTag* tag, const char* name)
{
    int32_t n = 0;
    nMetaTagIterator it;
    while (nMetaTag* c = tag->NextChild(it))
        if (!name || c->GetName() == name) ++n;
    return n;
}

bool IntOf(const nMetaTag* tag, int32_t* out)
{
    return tag && tag->GetValue().GetInt(out);
}

// A row of the proxy table: a true value sets the flag bit, any other value clears it.
template<uint32_t Bit>
void ReadProxyFlag(nGeometry& geometry, nMetaFile*, nMetaTag* tag)
{
    if (tag->GetBoolValue()) geometry.proxyFlags |= Bit;
    else geometry.proxyFlags &= ~Bit;
}

float FloatOf(const nMetaTag* tag, float def)
{
    float f;
    int32_t i;
    if (!tag) return def;
    if (tag->GetValue().GetFloat(&f)) return f;
    if (tag->GetValue().GetInt(&i)) return (float)i;
    return def;
}

inline int32_t ReadInt(const uint8_t* p)
{
    return (int32_t)((uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24));
}

inline float ReadFloat(const uint8_t* p)
{
    uint32_t u = (uint32_t)ReadInt(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline void WriteInt(uint8_t* p, int32_t v)
{
    uint32_t u = (uint32_t)v;
    p[0] = (uint8_t)u;
    p[1] = (uint8_t)(u >> 8);
    p[2] = (uint8_t)(u >> 16);
    p[3] = (uint8_t)(u >> 24);
}

inline void WriteFloat(uint8_t* p, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    WriteInt(p, (int32_t)u);
}

// The binary block of a Data tag when it holds exactly size bytes; NULL otherwise.
const uint8_t* Block(const nMetaTag* data, uint64_t size)
{
    if (!data || data->GetType() != TagType_Binary) return 0;
    if ((uint64_t)data->GetValue().GetBinaryLength() != size || size == 0) return 0;
    return data->GetValue().GetBinaryData();
}

// 1 / sqrt(x^2 + y^2 + z^2) for every squared length three signed bytes can have (0 gives 0):
// a normal stored as bytes b, read as b / 127 and normalised, is b times this.
struct InverseLengthTable
{
    static const int kSize = 3 * 128 * 128 + 1;
    float value[kSize];
    InverseLengthTable()
    {
        value[0] = 0.0f;
        for (int i = 1; i < kSize; ++i) value[i] = (float)(1.0 / std::sqrt((double)i));
    }
};

// count normals of three signed bytes, each read as value / 127 and normalised.
void DecodeNormals(const uint8_t* p, nVector* out, int32_t count)
{
    static const InverseLengthTable table;
    for (int32_t i = 0; i < count; ++i, p += 3) {
        const int x = (int8_t)p[0], y = (int8_t)p[1], z = (int8_t)p[2];
        const float inv = table.value[x * x + y * y + z * z];
        out[i] = nVector(x * inv, y * inv, z * inv, 1.0f);
    }
}

void EncodeNormal(uint8_t* p, const nVector& n)
{
    const float c[3] = {n.x, n.y, n.z};
    for (int i = 0; i < 3; ++i) {
        float v = nClamp(c[i], -1.0f, 1.0f) * 127.0f;
        p[i] = (uint8_t)(int8_t)(v == v ? (int)v : 0);
    }
}

// The binary Data child tag of a new chunk, owning buffer.
nMetaTag* DataTag(uint8_t* buffer, size_t length)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag("Data");
    if (!tag) {
        delete[] buffer;
        return 0;
    }
    tag->GetValue().AttachBinary(buffer, (int32_t)length);
    return tag;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' ||
           (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

// "b0,b1,b2,b3:w0,w1,w2,w3": bone indices clamped to the skin, weights in 0..255 normalised to a
// sum of 1; no weight at all gives bone 0 alone.
void ParseWeight(const char* text, int32_t boneCount, nSkinWeight& out)
{
    int32_t values[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    const char* p = text ? text : "";
    for (int i = 0; i < 8 && *p; ++i) {
        bool negative = false;
        if (*p == '-' || *p == '+') {
            negative = *p == '-';
            ++p;
        }
        int64_t v = 0;
        while (*p >= '0' && *p <= '9') {
            if (v < 100000000) v = v * 10 + (*p - '0');
            ++p;
        }
        values[i] = (int32_t)(negative ? -v : v);
        while (*p && !IsSeparator(*p)) ++p;
        if (*p) ++p;
    }
    float sum = 0.0f;
    for (int i = 0; i < 4; ++i) {
        int32_t bone = values[i];
        if (bone < 0) bone = 0;
        if (bone >= boneCount) bone = boneCount > 0 ? boneCount - 1 : 0;
        out.bone[i] = (uint16_t)bone;
        int32_t w = values[4 + i];
        out.weight[i] = (w < 0 ? 0 : (w > 255 ? 255 : w)) / 255.0f;
        sum += out.weight[i];
    }
    if (!(sum > 0.0f)) {
        out.weight[0] = 1.0f;
        out.weight[1] = out.weight[2] = out.weight[3] = 0.0f;
        out.bone[0] = 0;
        return;
    }
    for (int i = 0; i < 4; ++i) out.weight[i] /= sum;
}
}

nGeometry* nGeometry::LoadProxy(const char* name)
{
    if (!name || !*name) return 0;
    nString wanted = nString(name).GetNormalizedPath();
    for (const nString& loading : LoadingNames())
        if (loading == wanted) {
            *g_log << "[!] Proxy '" << name << "' of geometry '" << m_name.GetCStr()
                   << "' leads back to a geometry being loaded; ignored.\n";
            return 0;
        }
    // The engine's loader, cached like every geometry when the engine has a cache.
    return LoadGeometry(m_engine, name, false, false);
}

bool nGeometry::Deserialize(nMetaFile* document, nMetaTag* root)
{
    nTimer timer;
    timer.Start();
    const char* fileName = document ? document->GetFileName().GetCStr() : 0;
    *g_log << "Loading geometry '" << fileName << "'.\n";
    bounds = nMinMax(nVector(0.0f, 0.0f, 0.0f, 1.0f), nVector(0.0f, 0.0f, 0.0f, 1.0f));
    if (!root || root->GetName() != "Geometry") {
        *g_log << "[!] Expected <Geometry> root tag, found <" << (root ? root->GetName().GetCStr() : "")
               << "> in '" << fileName << "'.\n";
        return false;
    }
    Clear();
    LoadingGuard guard(document && !document->GetFileName().IsEmpty() ? document->GetFileName() : m_name);
    if (!ReadChunks(document, root)) {
        Clear();
        return false;
    }
    if (vertexCount == 0) {
        *g_log << "[!] No vertice in geometry '" << m_name.GetCStr() << "'.\n";
        Clear();
        return false;
    }
    if (polygonCount == 0) {
        *g_log << "[!] No polygon in geometry '" << m_name.GetCStr() << "'.\n";
        Clear();
        return false;
    }
    if (materialCount == 0) {
        AllocateMaterials(1, true);
        *g_log << "[*] Expected at least one material in geometry '" << m_name.GetCStr() << "'.\n";
    }
    ComputeBounds(bounds, 0);
    timer.Stop();
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f", timer.GetLastMs());
    *g_log << "Done in " << ms << "ms. " << (int32_t)vertexCount << " vertice, " << (int32_t)polygonCount
           << " polygon(s), " << (int32_t)materialCount << " material(s).\n";
    return true;
}

bool nGeometry::ReadChunks(nMetaFile* document, nMetaTag* root)
{
    const char* name = m_name.GetCStr();

    // Materials.
    if (nMetaTag* chunk = FirstChildNamed(root, "Materials")) {
        int32_t count = CountChildren(chunk, "Material");
        if (AllocateMaterials((uint32_t)count, true)) {
            uint32_t i = 0;
            nMetaTagIterator it;
            while (nMetaTag* c = chunk->NextChild(it))
                if (c->GetName() == "Material" && i < materialCount) {
                    if (materials[i].IsValid()) materials[i]->Deserialize(document, c);
                    ++i;
                }
        }
    }

    // Render word.
    if (nMetaTag* chunk = FirstChildNamed(root, "RenderWord")) {
        renderWord = 0;
        nMetaTagIterator it;
        while (nMetaTag* c = chunk->NextChild(it)) {
            if (c->GetName() == "Lit") renderWord |= GeometryRenderLit;
            else if (c->GetName() == "UseNormal") renderWord |= GeometryRenderUseNormal;
            else if (c->GetName() != "RGB")
                *g_log << "[*] Unknown tag '" << c->GetName().GetCStr() << "' in geometry '" << name << "'.\n";
        }
    }

    // Vertices.
    if (nMetaTag* chunk = FirstChildNamed(root, "Vertex")) {
        int32_t count = 0;
        nMetaTagIterator it;
        while (nMetaTag* c = chunk->NextChild(it)) {
            if (c->GetName() == "Count") IntOf(c, &count);
            else if (c->GetName() == "Data") {
                if (count <= 0) {
                    *g_log << "[!] Incomplete vertex chunk loading '" << name << "', expected vertex count integer tag.\n";
                    return false;
                }
                const uint8_t* block = Block(c, (uint64_t)count * 12);
                if (!block) {
                    *g_log << "[!] Vertex data of geometry '" << name << "' does not hold " << count << " vertices.\n";
                    return false;
                }
                if (!AllocateVertices((uint32_t)count)) {
                    *g_log << "[!] Incomplete vertex chunk loading '" << name << "', expected vertex count integer tag.\n";
                    return false;
                }
                for (int32_t i = 0; i < count; ++i, block += 12)
                    vertices[i] = nVector(ReadFloat(block), ReadFloat(block + 4), ReadFloat(block + 8), 1.0f);
                break;
            }
        }
    } else if (nMetaTag* chunk = FirstChildNamed(root, "AVertex")) {
        int32_t count = 0;
        nMetaTagIterator it;
        while (nMetaTag* c = chunk->NextChild(it)) {
            if (c->GetName() == "Count") IntOf(c, &count);
            else if (c->GetName() == "Data") {
                if (count <= 0 || count > c->GetChildCount() || !AllocateVertices((uint32_t)count)) {
                    *g_log << "[!] Incomplete vertex chunk loading '" << name << "', expected vertex count integer tag.\n";
                    return false;
                }
                int32_t i = 0;
                nMetaTagIterator vi;
                while (nMetaTag* v = c->NextChild(vi)) {
                    if (i >= count) {
                        *g_log << "[!] Corrupter <AVertex> tag, more vertice than expected.\n";
                        break;
                    }
                    vertices[i] = nVector(0.0f, 0.0f, 0.0f, 1.0f);
                    vertices[i].FromMetaTag(v);
                    vertices[i].w = 1.0f;
                    ++i;
                }
                break;
            }
        }
    }

    // Polygons.
    if (nMetaTag* chunk = FirstChildNamed(root, "Polygon")) {
        int32_t count = 0, corners = 0;
        nMetaTagIterator it;
        while (nMetaTag* c = chunk->NextChild(it)) {
            if (c->GetName() == "Count") IntOf(c, &count);
            else if (c->GetName() == "BindingCount") IntOf(c, &corners);
            else if (c->GetName() == "Data") {
                if (count <= 0 || corners <= 0) {
                    *g_log << "[!] Incomplete polygon chunk loading '" << name << "'.\n";
                    return false;
                }
                const uint8_t* block = Block(c, (uint64_t)corners * 4 + (uint64_t)count * 8);
                if (!block) {
                    *g_log << "[!] Polygon data of geometry '" << name << "' does not hold " << count
                           << " polygons of " << corners << " corners.\n";
                    return false;
                }
                if (!AllocatePolygons((uint32_t)count)) {
                    *g_log << "[!] Could not allocate polygon/binding memory.\n";
                    return false;
                }
                bindings = new (std::nothrow) int32_t[corners];
                if (!bindings) {
                    *g_log << "[!] Could not allocate polygon/binding memory.\n";
                    return false;
                }
                bindingCount = (uint32_t)corners;
                int32_t used = 0;
                for (int32_t i = 0; i < count; ++i) {
                    int32_t n = ReadInt(block);
                    block += 4;
                    if (n < 0 || n > 65535 || n > corners - used) {
                        *g_log << "[!] Polygon " << i << " of geometry '" << name << "' has a bad corner count (" << n << ").\n";
                        return false;
                    }
                    nPolygon& p = polygons[i];
                    p.count = (uint16_t)n;
                    p.bindings = bindings + used;
                    for (int32_t k = 0; k < n; ++k, block += 4) {
                        int32_t v = ReadInt(block);
                        // Without vertices the reading fails later with its own message.
                        if (v < 0 || (vertexCount && (uint32_t)v >= vertexCount)) {
                            *g_log << "[!] Polygon " << i << " of geometry '" << name << "' uses vertex " << v
                                   << " of " << (int32_t)vertexCount << ".\n";
                            return false;
                        }
                        p.bindings[k] = v;
                    }
                    used += n;
                    p.material = (uint16_t)ReadInt(block);
                    block += 4;
                }
                break;
            }
        }
    } else if (nMetaTag* chunk = FirstChildNamed(root, "APolygon")) {
        int32_t count = 0, corners = 0;
        nMetaTagIterator it;
        while (nMetaTag* c = chunk->NextChild(it)) {
            if (c->GetName() == "Count") IntOf(c, &count);
            else if (c->GetName() == "BindingCount") IntOf(c, &corners);
            else if (c->GetName() == "Data") {
                if (count <= 0 || corners <= 0) {
                    *g_log << "[!] Incomplete polygon chunk loading '" << name << "'.\n";
                    return false;
                }
                // Only corners actually present are allocated, whatever the counts claim.
                int32_t present = 0, polys = 0;
                nMetaTagIterator pi;
                while (nMetaTag* pt = c->NextChild(pi))
                    if (++polys <= count) present += CountChildren(pt, "Index");
                if (count > polys || corners != present) {
                    *g_log << "[!] Polygon chunk of geometry '" << name << "' declares " << count << " polygons of "
                           << corners << " corners but holds " << polys << " of " << present << ".\n";
                    return false;
                }
                if (!AllocatePolygons((uint32_t)count) || !(bindings = new (std::nothrow) int32_t[corners])) {
                    *g_log << "[!] Could not allocate polygon/binding memory.\n";
                    return false;
                }
                int32_t used = 0, i = 0;
                pi = nMetaTagIterator();
                while (nMetaTag* pt = c->NextChild(pi)) {
                    if (i >= count) {
                        *g_log << "[!] Corrupted <APolygon> tag, too many polygons.\n";
                        break;
                    }
                    nPolygon& p = polygons[i++];
                    p.bindings = bindings + used;
                    p.count = 0;
                    p.material = 0;
                    int32_t n = 0, material = 0;
                    if (!IntOf(FirstChildNamed(pt, "Count"), &n) || !IntOf(FirstChildNamed(pt, "Material"), &material)) {
                        *g_log << "[!] Corrupt <Polygon> tag in <APolygon>.\n";
                        continue;
                    }
                    if (n != CountChildren(pt, "Index") || n > 65535) {
                        *g_log << "[!] Polygon " << (i - 1) << " of geometry '" << name << "' has a bad corner count (" << n << ").\n";
                        return false;
                    }
                    nMetaTagIterator ii;
                    while (nMetaTag* idx = pt->NextChild(ii)) {
                        if (idx->GetName() != "Index") continue;
                        int32_t v = -1;
                        IntOf(idx, &v);
                        if (v < 0 || (vertexCount && (uint32_t)v >= vertexCount)) {
                            *g_log << "[!] Polygon " << (i - 1) << " of geometry '" << name << "' uses vertex " << v
                                   << " of " << (int32_t)vertexCount << ".\n";
                            return false;
                        }
                        p.bindings[p.count++] = v;
                    }
                    p.material = (uint16_t)material;
                    used += n;
                }
                // Polygons without corners leave the tail unused: the count follows the corners.
                bindingCount = (uint32_t)used;
                break;
            }
        }
    }

    // Polygon normals.
    if (nMetaTag* chunk = FirstChildNamed(root, "PNormal")) {
        int32_t count = 0;
        nMetaTagIterator it;
        while (nMetaTag* c = chunk->NextChild(it)) {
            if (c->GetName() == "Count") IntOf(c, &count);
            else if (c->GetName() == "Data") {
                if (count <= 0) {
                    *g_log << "[!] Incomplete polygon normal chunk loading '" << name << "'.\n";
                    break;
                }
                const uint8_t* block = Block(c, (uint64_t)count * 3);
                if ((uint32_t)count != polygonCount || !block) {
                    *g_log << "[!] Polygon normals of geometry '" << name << "' do not match its " << (int32_t)polygonCount
                           << " polygons; ignored.\n";
                    break;
                }
                delete[] polygonNormals;
                polygonNormals = AllocateArray<nVector>((size_t)count);
                if (!polygonNormals) {
                    *g_log << "[!] Incomplete polygon normal chunk loading '" << name << "'.\n";
                    break;
                }
                DecodeNormals(block, polygonNormals, count);
                break;
            }
        }
    }

    // Vertex normals.
    if (nMetaTag* chunk = FirstChildNamed(root, "VNormal")) {
        nMetaTag* countTag = FirstChildNamed(chunk, "Count");
        nMetaTag* data = FirstChildNamed(chunk, "Data");
        int32_t count = 0;
        if (!countTag) *g_log << "[!] No count tag in <VNormal>.\n";
        else if (!data) *g_log << "[!] No data tag in <VNormal>.\n";
        else if (!IntOf(countTag, &count) || count <= 0)
            *g_log << "[!] Incomplete vertex normal chunk loading '" << name << "'.\n";
        else if ((uint32_t)count != bindingCount || !Block(data, (uint64_t)count * 3))
            *g_log << "[!] Vertex normals of geometry '" << name << "' do not match its " << (int32_t)bindingCount
                   << " corners; ignored.\n";
        else {
            delete[] vertexNormals;
            vertexNormals = AllocateArray<nVector>((size_t)count);
            if (!vertexNormals) *g_log << "[!] Could not allocate vertex normal memory.\n";
            else {
                DecodeNormals(Block(data, (uint64_t)count * 3), vertexNormals, count);
            }
        }
    }

    // Skin.
    if (nMetaTag* chunk = FirstChildNamed(root, "Skin")) {
        FreeSkin();
        if (nMetaTag* bones = FirstChildNamed(chunk, "Bones")) {
            int32_t n = bones->GetChildCount();
            AllocateSkin(n);
            if (n <= 0)
                *g_log << "[*] Invalid bone count in skin (" << n << ").\n";
            else if (!boneNames) {
                *g_log << "[!] Failed to allocate bone id list.\n";
                FreeSkin();
            } else {
                int32_t i = 0;
                nMetaTagIterator it;
                while (nMetaTag* c = bones->NextChild(it)) {
                    const char* text = 0;
                    if (c->GetValue().GetString(&text)) boneNames[i].Set(text);
                    ++i;
                }
                nMetaTag* binds = FirstChildNamed(chunk, "Binds");
                if (binds && bindMatrices && binds->GetChildCount() == boneCount) {
                    int32_t b = 0;
                    nMetaTagIterator bi;
                    while (nMetaTag* c = binds->NextChild(bi)) bindMatrices[b++].FromMetaTag(c);
                }
            }
        }
        nMetaTag* weights = FirstChildNamed(chunk, "Weights");
        if (boneCount > 0 && weights) {
            int32_t n = weights->GetChildCount();
            if ((uint32_t)n != vertexCount)
                *g_log << "[*] Incoherent weight count (" << n << " for " << (int32_t)vertexCount
                       << " vertice (is the skin being declared before the vertice?)).\n";
            // One record per vertex, whatever the file holds: readers index them by vertex.
            if (vertexCount > 0) {
                skinWeights = new (std::nothrow) nSkinWeight[vertexCount];
                if (!skinWeights) *g_log << "[!] Failed to allocate skin weights array.\n";
                else {
                    for (uint32_t v = 0; v < vertexCount; ++v) {
                        nSkinWeight& w = skinWeights[v];
                        w.weight[0] = 1.0f;
                        w.weight[1] = w.weight[2] = w.weight[3] = 0.0f;
                        w.bone[0] = w.bone[1] = w.bone[2] = w.bone[3] = 0;
                    }
                    uint32_t v = 0;
                    nMetaTagIterator it;
                    while (nMetaTag* c = weights->NextChild(it)) {
                        if (v >= vertexCount) break;
                        const char* text = 0;
                        c->GetValue().GetString(&text);
                        ParseWeight(text, boneCount, skinWeights[v++]);
                    }
                }
            }
        }
    }

    // Colours.
    if (nMetaTag* chunk = FirstChildNamed(root, "RGB")) {
        nMetaTag* data = FirstChildNamed(chunk, "Data");
        if (!data) *g_log << "[!] Expected <Data> tag under <RGB> tag.\n";
        else {
            const uint8_t* rgb = Block(data, (uint64_t)bindingCount * 12);
            const uint8_t* rgba = Block(data, (uint64_t)bindingCount * 16);
            if (!rgb && !rgba)
                *g_log << "[!] Colours of geometry '" << name << "' do not match its " << (int32_t)bindingCount
                       << " corners; ignored.\n";
            else {
                delete[] colors;
                colors = new (std::nothrow) nGeometryColor[bindingCount];
                if (!colors) *g_log << "[!] Could not allocate RGB channel for geometry '" << name << "'.\n";
                else
                    for (uint32_t i = 0; i < bindingCount; ++i) {
                        const uint8_t* p = rgba ? rgba + 16 * i : rgb + 12 * i;
                        colors[i].r = ReadFloat(p);
                        colors[i].g = ReadFloat(p + 4);
                        colors[i].b = ReadFloat(p + 8);
                        colors[i].a = rgba ? ReadFloat(p + 12) : 1.0f;
                    }
            }
        }
    } else if (nMetaTag* chunk = FirstChildNamed(root, "ARGB")) {
        nMetaTag* countTag = FirstChildNamed(chunk, "Count");
        nMetaTag* data = FirstChildNamed(chunk, "Data");
        int32_t count = 0;
        if (!countTag) *g_log << "[!] No count tag in <ARGB>.\n";
        else if (!data) *g_log << "[!] No data tag in <ARGB>.\n";
        else if (!IntOf(countTag, &count) || count <= 0 || (uint32_t)count != bindingCount)
            *g_log << "[!] Colours of geometry '" << name << "' do not match its " << (int32_t)bindingCount
                   << " corners; ignored.\n";
        else {
            delete[] colors;
            colors = new (std::nothrow) nGeometryColor[bindingCount];
            if (!colors) *g_log << "[!] Could not allocate RGB for geometry '" << name << "'.\n";
            else {
                for (uint32_t i = 0; i < bindingCount; ++i) colors[i] = nGeometryColor{0.0f, 0.0f, 0.0f, 1.0f};
                uint32_t i = 0;
                nMetaTagIterator it;
                while (nMetaTag* c = data->NextChild(it)) {
                    if (i >= bindingCount) {
                        *g_log << "[!] Too many <Value> tags in RGB list of geometry '" << name << "'.\n";
                        break;
                    }
                    colors[i].r = FloatOf(FirstChildNamed(c, "R"), 0.0f);
                    colors[i].g = FloatOf(FirstChildNamed(c, "G"), 0.0f);
                    colors[i].b = FloatOf(FirstChildNamed(c, "B"), 0.0f);
                    colors[i].a = FloatOf(FirstChildNamed(c, "A"), 1.0f);
                    ++i;
                }
                if (i < bindingCount)
                    *g_log << "[*] Not enough <Value> tags in RGB list of geometry '" << name << "'.\n";
            }
        }
    }

    // UV sets.
    bool binaryUV = FirstChildNamed(root, "UV") != 0;
    if (nMetaTag* chunk = binaryUV ? FirstChildNamed(root, "UV") : FirstChildNamed(root, "AUV")) {
        int32_t count = 0;
        if (!IntOf(FirstChildNamed(chunk, "Count"), &count))
            *g_log << "[!] Could not locate Count tag in UV tag while loading '" << name << "'.\n";
        else {
            if (count > kGeometryUVSetCount) {
                *g_log << "[*] '" << name << "' requires more UV channels than this build can handle.\n";
                *g_log << "[*]    Please increase nUVMapCount and recompile nOrvex to fully import this object.\n";
                count = kGeometryUVSetCount;
            }
            if (count < 0) count = 0;
            for (int s = 0; s < kGeometryUVSetCount; ++s) {
                delete[] uvSets[s];
                uvSets[s] = 0;
            }
            uvSetCount = (uint32_t)count;
            int32_t set = 0;
            nMetaTagIterator it;
            while (nMetaTag* c = chunk->NextChild(it)) {
                if (set >= count) break;
                if (c->GetName() != "Data") continue;
                const uint8_t* block = binaryUV ? Block(c, (uint64_t)bindingCount * 8) : 0;
                if (binaryUV && !block) {
                    *g_log << "[!] UV set " << set << " of geometry '" << name << "' does not match its "
                           << (int32_t)bindingCount << " corners; ignored.\n";
                    ++set;
                    continue;
                }
                // Binary sets are written whole; older ones read zero where a value is missing.
                nVector2* uv = binaryUV ? AllocateArray<nVector2>(bindingCount)
                                        : (bindingCount ? new (std::nothrow) nVector2[bindingCount] : 0);
                if (!uv) {
                    *g_log << "[!] could not allocate UV channel for geometry '" << name << "'.\n";
                    ++set;
                    continue;
                }
                if (binaryUV)
                    for (uint32_t i = 0; i < bindingCount; ++i, block += 8) uv[i] = nVector2(ReadFloat(block), ReadFloat(block + 4));
                else {
                    uint32_t i = 0;
                    nMetaTagIterator vi;
                    while (nMetaTag* v = c->NextChild(vi)) {
                        if (i >= bindingCount) {
                            *g_log << "[!] Too many <Value> tags in UV channel " << set << " of geometry '" << name << "'.\n";
                            break;
                        }
                        uv[i++] = nVector2(FloatOf(FirstChildNamed(v, "U"), 0.0f), FloatOf(FirstChildNamed(v, "V"), 0.0f));
                    }
                }
                uvSets[set++] = uv;
            }
        }
    }

    // Proxies.
    if (nMetaTag* chunk = FirstChildNamed(root, "LodProxy")) {
        const char* proxy = 0;
        lodProxy = chunk->GetValue().GetString(&proxy) ? LoadProxy(proxy) : 0;
    }
    if (nMetaTag* chunk = FirstChildNamed(root, "ShadowProxy")) {
        const char* proxy = 0;
        shadowProxy = chunk->GetValue().GetString(&proxy) ? LoadProxy(proxy) : 0;
    }
    typedef nGeometry G;
    static const nMLTagRule<G> kTags[] = {
        {"LodDistance", nMLField<&G::lodDistance>},
        {"ZFar", nMLField<&G::zFar>},
        {"LodNull", ReadProxyFlag<GeometryLodNull>},
        {"ShadowNull", ReadProxyFlag<GeometryShadowNull>},
    };
    nMLReadChildren(*this, document, root, kTags, 0);  // the chunks above and any other tag pass silently
    return true;
}

nMetaTag* nGeometry::Serialize(nMetaFile* document)
{
    const char* name = m_name.GetCStr();
    if (vertexCount == 0 || !vertices || polygonCount == 0 || !polygons || materialCount == 0) {
        *g_log << "[!] Cannot serialize '" << name << "', geometry is empty.\n";
        return 0;
    }
    nMetaTag* root = new (std::nothrow) nMetaTag("Geometry");
    if (!root) {
        *g_log << "[!] Could not create root tag to serialize geometry '" << name << "'.\n";
        return 0;
    }

    nMetaTag* word = new nMetaTag("RenderWord");
    if (renderWord & GeometryRenderLit) AppendTag(word, new nMetaTag("Lit"));
    if (renderWord & GeometryRenderUseNormal) AppendTag(word, new nMetaTag("UseNormal"));
    AppendTag(root, word);

    nMetaTag* vertexChunk = new nMetaTag("Vertex");
    AppendTag(vertexChunk, new nMetaTag("Count", (int32_t)vertexCount));
    if (uint8_t* buffer = new (std::nothrow) uint8_t[(size_t)vertexCount * 12]) {
        for (uint32_t i = 0; i < vertexCount; ++i) {
            WriteFloat(buffer + 12 * i, vertices[i].x);
            WriteFloat(buffer + 12 * i + 4, vertices[i].y);
            WriteFloat(buffer + 12 * i + 8, vertices[i].z);
        }
        AppendTag(vertexChunk, DataTag(buffer, (size_t)vertexCount * 12));
    } else
        *g_log << "[!] Failed to allocate raw vertice buffer.\n";
    AppendTag(root, vertexChunk);

    uint32_t corners = 0;
    for (uint32_t i = 0; i < polygonCount; ++i) corners += polygons[i].count;
    nMetaTag* polygonChunk = new nMetaTag("Polygon");
    AppendTag(polygonChunk, new nMetaTag("Count", (int32_t)polygonCount));
    AppendTag(polygonChunk, new nMetaTag("BindingCount", (int32_t)corners));
    size_t polygonBytes = (size_t)corners * 4 + (size_t)polygonCount * 8;
    if (uint8_t* buffer = new (std::nothrow) uint8_t[polygonBytes]) {
        uint8_t* p = buffer;
        for (uint32_t i = 0; i < polygonCount; ++i) {
            WriteInt(p, polygons[i].count);
            p += 4;
            for (uint32_t k = 0; k < polygons[i].count; ++k, p += 4) WriteInt(p, polygons[i].bindings[k]);
            WriteInt(p, polygons[i].material);
            p += 4;
        }
        AppendTag(polygonChunk, DataTag(buffer, polygonBytes));
    } else
        *g_log << "[!] Failed to allocate raw polygon buffer.\n";
    AppendTag(root, polygonChunk);

    struct NormalChunk
    {
        const char* tag;
        const nVector* normals;
        uint32_t count;
    };
    const NormalChunk normalChunks[2] = {{"PNormal", polygonNormals, polygonCount}, {"VNormal", vertexNormals, bindingCount}};
    for (const NormalChunk& n : normalChunks) {
        if (!n.normals || n.count == 0) continue;
        nMetaTag* chunk = new nMetaTag(n.tag);
        AppendTag(chunk, new nMetaTag("Count", (int32_t)n.count));
        if (uint8_t* buffer = new (std::nothrow) uint8_t[(size_t)n.count * 3]) {
            for (uint32_t i = 0; i < n.count; ++i) EncodeNormal(buffer + 3 * i, n.normals[i]);
            AppendTag(chunk, DataTag(buffer, (size_t)n.count * 3));
        } else
            *g_log << "[!] Failed to allocate raw normal buffer.\n";
        AppendTag(root, chunk);
    }

    if (colors && bindingCount) {
        bool alpha = false;
        for (uint32_t i = 0; i < bindingCount && !alpha; ++i) alpha = colors[i].a < 1.0f;
        size_t stride = alpha ? 16 : 12;
        nMetaTag* chunk = new nMetaTag("RGB");
        if (uint8_t* buffer = new (std::nothrow) uint8_t[stride * bindingCount]) {
            for (uint32_t i = 0; i < bindingCount; ++i) {
                uint8_t* p = buffer + stride * i;
                WriteFloat(p, colors[i].r);
                WriteFloat(p + 4, colors[i].g);
                WriteFloat(p + 8, colors[i].b);
                if (alpha) WriteFloat(p + 12, colors[i].a);
            }
            AppendTag(chunk, DataTag(buffer, stride * bindingCount));
        } else
            *g_log << "[!] Failed to allocate raw normal buffer.\n";
        AppendTag(root, chunk);
    }

    if (uvSetCount > 0) {
        nMetaTag* chunk = new nMetaTag("UV");
        AppendTag(chunk, new nMetaTag("Count", (int32_t)uvSetCount));
        for (uint32_t s = 0; s < uvSetCount && s < (uint32_t)kGeometryUVSetCount; ++s) {
            if (!uvSets[s]) {
                *g_log << "[!] Cannot serialize UV channel as it does not exist.\n";
                continue;
            }
            if (uint8_t* buffer = new (std::nothrow) uint8_t[(size_t)bindingCount * 8]) {
                for (uint32_t i = 0; i < bindingCount; ++i) {
                    WriteFloat(buffer + 8 * i, uvSets[s][i].x);
                    WriteFloat(buffer + 8 * i + 4, uvSets[s][i].y);
                }
                AppendTag(chunk, DataTag(buffer, (size_t)bindingCount * 8));
            } else
                *g_log << "[!] Failed to allocate raw UVs buffer.\n";
        }
        AppendTag(root, chunk);
    }

    if (boneCount > 0) {
        nMetaTag* skin = new nMetaTag("Skin");
        nMetaTag* bones = new (std::nothrow) nMetaTag("Bones");
        if (!bones) *g_log << "[!] Failed to allocate bone id tag.\n";
        else {
            for (int32_t b = 0; b < boneCount; ++b) AppendTag(bones, new nMetaTag("Id", boneNames ? boneNames[b].GetCStr() : ""));
            AppendTag(skin, bones);
        }
        if (bindMatrices) {
            nMetaTag* binds = new (std::nothrow) nMetaTag("Binds");
            if (!binds) *g_log << "[!] Failed to allocate bone binding tag.\n";
            else {
                for (int32_t b = 0; b < boneCount; ++b) AppendTag(binds, bindMatrices[b].ToMetaTag("Matrix"));
                AppendTag(skin, binds);
            }
        }
        if (skinWeights) {
            nMetaTag* weights = new nMetaTag("Weights");
            char text[96];
            for (uint32_t v = 0; v < vertexCount; ++v) {
                const nSkinWeight& w = skinWeights[v];
                std::snprintf(text, sizeof text, "%d,%d,%d,%d:%d,%d,%d,%d", w.bone[0], w.bone[1], w.bone[2], w.bone[3],
                              (int)(w.weight[0] * 255.0f), (int)(w.weight[1] * 255.0f), (int)(w.weight[2] * 255.0f),
                              (int)(w.weight[3] * 255.0f));
                AppendTag(weights, new nMetaTag("W", text));
            }
            AppendTag(skin, weights);
        }
        AppendTag(root, skin);
    }

    if (lodProxy.IsValid()) AppendTag(root, new nMetaTag("LodProxy", lodProxy->GetName().GetCStr()));
    if (lodDistance != 100.0f) AppendTag(root, new nMetaTag("LodDistance", lodDistance));
    if (proxyFlags & GeometryLodNull) AppendTag(root, new nMetaTag("LodNull", true));
    if (shadowProxy.IsValid()) AppendTag(root, new nMetaTag("ShadowProxy", shadowProxy->GetName().GetCStr()));
    if (proxyFlags & GeometryShadowNull) AppendTag(root, new nMetaTag("ShadowNull", true));
    if (zFar >= 0.0f) AppendTag(root, new nMetaTag("ZFar", zFar));

    nMetaTag* materialChunk = new nMetaTag("Materials");
    for (uint32_t i = 0; i < materialCount; ++i)
        if (materials[i].IsValid()) AppendTag(materialChunk, materials[i]->Serialize(document));
    AppendTag(root, materialChunk);
    return root;
}
