// Geometry NML: round trips through text, older per-element chunks, proxies, and damaged files.
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

#include "core/nIO.h"
#include "core/nIOBaseFS.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "resources/nResourceCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>

namespace {

std::string SaveText(nGeometry& g, const char* name)
{
    nMetaFile document;
    if (!g.SerializeToMetaFile(&document)) return "";
    nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
    nMLPutMemoryFile(name, "");
    bool saved = document.Save(name);
    nIO::SetCurrentFS(previous);
    return saved ? nMLGetMemoryFile(name) : "";
}

// Lines of the error and warning classes only.
Calls Problems(const nLogCapture& cap)
{
    Calls out;
    for (const std::string& line : cap.Lines())
        if (line.compare(0, 4, "[!] ") == 0 || line.compare(0, 4, "[*] ") == 0) out.push_back(line);
    return out;
}

// Proxies handed out by the test loader, by name.
class GeometryNMLTest : public ::testing::Test
{
protected:
    GeometryNMLTest() { engine.SetResourceCache(&cache); }
    ~GeometryNMLTest() override
    {
        engine.SetResourceCache(nullptr);
        cache.Clear();
    }
    // Proxies load through the engine's loader: those put in its cache are found there.
    nResourceCache cache;
    nOrvex engine;
};

// Everything the form can carry.
void BuildFull(nGeometry& g, nOrvex* engine)
{
    g.SetName("full");
    BuildMesh(g, {{0, 0, 0}, {1.25f, 0, 0}, {1, 1, 0.5f}, {0, 1, -0.125f}, {0.5f, 2, 3}},
              {{0, 1, 2}, {0, 2, 3, 4}, {4, 3, 1}}, {0, 1, 1}, 2);
    g.materials[0]->SetName("stone");
    g.materials[1]->SetName("wood");
    g.materials[1]->diffuse = nVector(0.5f, 0.25f, 1.0f, 1.0f);
    g.renderWord = GeometryRenderLit | GeometryRenderUseNormal;
    g.colors = new nGeometryColor[g.bindingCount];
    g.uvSetCount = 3;
    for (int s = 0; s < 3; ++s) g.uvSets[s] = new nVector2[g.bindingCount];
    for (uint32_t i = 0; i < g.bindingCount; ++i) {
        g.colors[i] = nGeometryColor{i * 0.1f, 1.0f - i * 0.05f, 0.3f, i == 4 ? 0.25f : 1.0f};
        for (int s = 0; s < 3; ++s) g.uvSets[s][i] = nVector2(i * 0.125f + s, -0.5f * i + s * 0.1f);
    }
    nLogCapture quiet;
    g.ComputeVertexNormal(false);
    g.AllocateSkin(3);
    const char* bones[] = {"root", "arm", "hand"};
    for (int b = 0; b < 3; ++b) {
        g.boneNames[b].Set(bones[b]);
        g.bindMatrices[b] = nMatrix4::Translation(nVector((float)b, 2.0f * b, -1.5f));
    }
    g.skinWeights = new nSkinWeight[g.vertexCount];
    for (uint32_t v = 0; v < g.vertexCount; ++v)
        g.skinWeights[v] = nSkinWeight{{v % 2 ? 0.5f : 1.0f, v % 2 ? 0.5f : 0.0f, 0, 0}, {(uint16_t)(v % 3), 2, 0, 1}};
    g.lodDistance = 40.0f;
    g.zFar = 500.0f;
    g.proxyFlags = GeometryLodNull | GeometryShadowNull;
    g.lodProxy = engine->GetResourceCache()->FindGeometry("low.nml", false);
    g.shadowProxy = engine->GetResourceCache()->FindGeometry("shadow.nml", false);
}

void ExpectSameMesh(const nGeometry& a, const nGeometry& b)
{
    ASSERT_EQ(a.vertexCount, b.vertexCount);
    for (uint32_t i = 0; i < a.vertexCount; ++i) {
        EXPECT_EQ(a.vertices[i].x, b.vertices[i].x);
        EXPECT_EQ(a.vertices[i].y, b.vertices[i].y);
        EXPECT_EQ(a.vertices[i].z, b.vertices[i].z);
        EXPECT_EQ(b.vertices[i].w, 1.0f);
    }
    ASSERT_EQ(a.polygonCount, b.polygonCount);
    ASSERT_EQ(a.bindingCount, b.bindingCount);
    for (uint32_t p = 0; p < a.polygonCount; ++p) {
        ASSERT_EQ(a.polygons[p].count, b.polygons[p].count);
        EXPECT_EQ(a.polygons[p].material, b.polygons[p].material);
        EXPECT_EQ(b.polygons[p].bindings, b.bindings + (a.polygons[p].bindings - a.bindings));
        for (uint32_t k = 0; k < a.polygons[p].count; ++k) EXPECT_EQ(a.polygons[p].bindings[k], b.polygons[p].bindings[k]);
    }
}

TEST_F(GeometryNMLTest, RoundTripOfEveryChunk)
{
    nSharedPtr<nGeometry> low(new nGeometry(&engine)), shadow(new nGeometry(&engine));
    low->SetName("low.nml");
    shadow->SetName("shadow.nml");
    cache.AddGeometry(low.Get(), false);
    cache.AddGeometry(shadow.Get(), false);

    nGeometry a(&engine);
    BuildFull(a, &engine);
    std::string text = SaveText(a, "full.nml");
    ASSERT_FALSE(text.empty());

    nGeometry b(&engine);
    nLogCapture cap;
    ASSERT_TRUE(b.Load("full.nml"));
    EXPECT_TRUE(Problems(cap).empty()) << cap.Text();

    ExpectSameMesh(a, b);
    EXPECT_EQ(b.renderWord, a.renderWord);
    ASSERT_EQ(b.materialCount, 2u);
    EXPECT_TRUE(b.materials[0]->GetName() == "stone");
    EXPECT_TRUE(b.materials[1]->GetName() == "wood");
    EXPECT_EQ(b.materials[1]->diffuse.y, 0.25f);
    ASSERT_NE(b.colors, nullptr);
    ASSERT_EQ(b.uvSetCount, 3u);
    for (uint32_t i = 0; i < a.bindingCount; ++i) {
        EXPECT_EQ(0, std::memcmp(&a.colors[i], &b.colors[i], sizeof(nGeometryColor))) << i;
        for (int s = 0; s < 3; ++s) {
            EXPECT_EQ(a.uvSets[s][i].x, b.uvSets[s][i].x);
            EXPECT_EQ(a.uvSets[s][i].y, b.uvSets[s][i].y);
        }
        EXPECT_LE(a.vertexNormals[i].Distance(b.vertexNormals[i]), 2.0f / 127.0f);
        EXPECT_NEAR(b.vertexNormals[i].Length(), 1.0f, 1e-5f);
    }
    ASSERT_NE(b.polygonNormals, nullptr);
    for (uint32_t p = 0; p < a.polygonCount; ++p) EXPECT_LE(a.polygonNormals[p].Distance(b.polygonNormals[p]), 2.0f / 127.0f);

    ASSERT_EQ(b.boneCount, 3);
    ASSERT_NE(b.skinWeights, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(b.boneNames[i] == a.boneNames[i]);
        EXPECT_FALSE(MatrixDiffers(a.bindMatrices[i], b.bindMatrices[i]));
    }
    for (uint32_t v = 0; v < a.vertexCount; ++v)
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(a.skinWeights[v].bone[k], b.skinWeights[v].bone[k]);
            EXPECT_NEAR(a.skinWeights[v].weight[k], b.skinWeights[v].weight[k], 1.0f / 255.0f);
        }

    EXPECT_EQ(b.lodProxy.Get(), low.Get());
    EXPECT_EQ(b.shadowProxy.Get(), shadow.Get());
    EXPECT_EQ(b.lodDistance, 40.0f);
    EXPECT_EQ(b.zFar, 500.0f);
    EXPECT_EQ(b.proxyFlags, (uint32_t)(GeometryLodNull | GeometryShadowNull));
    EXPECT_FLOAT_EQ(b.bounds.max.z, 3.0f);
    EXPECT_FLOAT_EQ(b.bounds.min.z, -0.125f);

    // The text read back writes the same text again.
    EXPECT_EQ(SaveText(b, "again.nml"), text);
}

TEST_F(GeometryNMLTest, DefaultsAreNotWritten)
{
    nGeometry g(&engine);
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {}, 1);
    for (float alpha : {1.0f, 0.5f}) {
        g.colors = new nGeometryColor[3]{{1, 0, 0, 1}, {0, 1, 0, alpha}, {0, 0, 1, 1}};
        nMetaFile document;
        ASSERT_TRUE(g.SerializeToMetaFile(&document));
        EXPECT_EQ(document.FindPath("Geometry:LodDistance;"), nullptr);
        EXPECT_EQ(document.FindPath("Geometry:ZFar;"), nullptr);
        EXPECT_EQ(document.FindPath("Geometry:LodNull;"), nullptr);
        EXPECT_EQ(document.FindPath("Geometry:Skin;"), nullptr);
        EXPECT_EQ(document.FindPath("Geometry:UV;"), nullptr);
        nMetaTag* rgb = document.FindPath("Geometry:RGB:Data;");
        ASSERT_NE(rgb, nullptr);
        EXPECT_EQ(rgb->GetValue().GetBinaryLength(), alpha < 1.0f ? 48 : 36);
        nGeometry back(&engine);
        nLogCapture quiet;
        ASSERT_TRUE(back.Deserialize(&document, document.FindPath("Geometry;")));
        ASSERT_NE(back.colors, nullptr);
        EXPECT_EQ(back.colors[1].g, 1.0f);
        EXPECT_EQ(back.colors[1].a, alpha);
        EXPECT_EQ(back.colors[2].a, 1.0f);
        delete[] g.colors;
        g.colors = nullptr;
    }
    nGeometry empty(&engine);
    empty.SetName("e");
    nLogCapture cap;
    nMetaFile document;
    EXPECT_FALSE(empty.SerializeToMetaFile(&document));
    EXPECT_EQ(cap.Lines(), Calls{"[!] Cannot serialize 'e', geometry is empty.\n"});
}

const char* const kLegacy =
    "<NML=1.0>\n"
    "<Geometry=\n"
    " <RenderWord=<Lit><RGB>>\n"
    " <AVertex=<Count=4><Data=\n"
    "   <Vector=<X=0.0><Y=0.0><Z=0.0>> <Vector=<X=1.0><Y=0.0><Z=0.0>>\n"
    "   <Vector=<X=1.0><Y=1.0><Z=0.5><W=7.0>> <Vector=<X=0.0><Y=1.0><Z=0.0>>>>\n"
    " <APolygon=<Count=2><BindingCount=6><Data=\n"
    "   <Polygon=<Count=3><Material=0><Index=0><Index=1><Index=2>>\n"
    "   <Polygon=<Count=3><Material=1><Index=0><Index=2><Index=3>>>>\n"
    " <ARGB=<Count=6><Data=\n"
    "   <Value=<R=1.0><G=0.5><B=0.25><A=0.5>> <Value=<R=0.0><G=0.0><B=1.0><A=1.0>> <Value=<R=1.0>>\n"
    "   <Value=<R=0.5><G=0.5><B=0.5><A=1.0>> <Value=<R=0.75><G=0.0><B=0.0><A=1.0>> <Value=<G=2.0>>>>\n"
    " <AUV=<Count=2>\n"
    "   <Data=<Value=<U=0.0><V=0.0>> <Value=<U=1.0><V=0.0>> <Value=<U=1.0><V=1.0>> <Value=<U=0.0><V=0.0>> <Value=<U=1.0><V=1.0>> <Value=<U=0.0><V=1.0>>>\n"
    "   <Data=<Value=<U=0.5>> <Value=<V=0.5>> <Value=<U=2.0><V=3.0>> <Value> <Value> <Value>>>\n"
    " <Skin=<Bones=<Id=\"a\"><Id=\"b\"><Id=\"c\">><Weights=<W=\"1,2,0,0:128,128,0,0\"><W=\"0,1,0,0:0,0,0,0\"><W=\"1,0,0,0:255,0,0,0\"><W=\"-3,9,0,0:10,-20,0,0\">>>\n"
    " <LodDistance=25><ZFar=12.5><ShadowNull=1><LodNull=False>\n"
    ">\n";

TEST_F(GeometryNMLTest, OlderChunksReadAsTheBinaryOnes)
{
    nMLPutMemoryFile("legacy.nml", kLegacy);
    nGeometry old(&engine);
    nLogCapture cap;
    ASSERT_TRUE(old.Load("legacy.nml"));
    EXPECT_EQ(Problems(cap), Calls{"[*] Expected at least one material in geometry ''.\n"});

    nGeometry expected(&engine);
    BuildMesh(expected, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5f}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {0, 1}, 0);
    ExpectSameMesh(expected, old);
    EXPECT_EQ(old.vertices[2].w, 1.0f);
    EXPECT_EQ(old.renderWord, GeometryRenderLit);
    EXPECT_EQ(old.materialCount, 1u);

    const float rgba[6][4] = {{1, 0.5f, 0.25f, 0.5f}, {0, 0, 1, 1}, {1, 0, 0, 1}, {0.5f, 0.5f, 0.5f, 1}, {0.75f, 0, 0, 1}, {0, 2, 0, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(old.colors[i].r, rgba[i][0]) << i;
        EXPECT_EQ(old.colors[i].g, rgba[i][1]) << i;
        EXPECT_EQ(old.colors[i].b, rgba[i][2]) << i;
        EXPECT_EQ(old.colors[i].a, rgba[i][3]) << i;
    }
    ASSERT_EQ(old.uvSetCount, 2u);
    EXPECT_EQ(old.uvSets[0][5].y, 1.0f);
    EXPECT_EQ(old.uvSets[1][0].x, 0.5f);
    EXPECT_EQ(old.uvSets[1][0].y, 0.0f);
    EXPECT_EQ(old.uvSets[1][1].y, 0.5f);
    EXPECT_EQ(old.uvSets[1][2].y, 3.0f);

    // Weights: "1,2,0,0:128,128,0,0" is bones 1 and 2 at half each; no weight at all is bone 0
    // alone; bone indices outside the skin are clamped.
    ASSERT_EQ(old.boneCount, 3);
    const nSkinWeight w0 = old.skinWeights[0], w1 = old.skinWeights[1], w3 = old.skinWeights[3];
    EXPECT_EQ(w0.bone[0], 1);
    EXPECT_EQ(w0.bone[1], 2);
    EXPECT_FLOAT_EQ(w0.weight[0], 0.5f);
    EXPECT_FLOAT_EQ(w0.weight[1], 0.5f);
    EXPECT_EQ(w0.weight[2], 0.0f);
    EXPECT_EQ(w1.bone[0], 0);
    EXPECT_EQ(w1.weight[0], 1.0f);
    EXPECT_EQ(w1.weight[1] + w1.weight[2] + w1.weight[3], 0.0f);
    EXPECT_EQ(w3.bone[0], 0);
    EXPECT_EQ(w3.bone[1], 2);  // 9 of a three-bone skin
    EXPECT_FLOAT_EQ(w3.weight[0], 1.0f);

    EXPECT_EQ(old.lodDistance, 25.0f);
    EXPECT_EQ(old.zFar, 12.5f);
    EXPECT_EQ(old.proxyFlags, (uint32_t)GeometryShadowNull);
}

TEST_F(GeometryNMLTest, BinaryChunksWinOverOlderOnes)
{
    nGeometry a(&engine);
    BuildMesh(a, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {}, 1);
    a.colors = new nGeometryColor[3]{{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
    a.uvSetCount = 1;
    a.uvSets[0] = new nVector2[3]{{0, 0}, {1, 0}, {0, 1}};
    nMetaFile document;
    ASSERT_TRUE(a.SerializeToMetaFile(&document));
    nMetaFile older;
    ASSERT_TRUE(older.Parse(kLegacy, (int32_t)std::strlen(kLegacy)));
    nMetaTag* root = document.FindPath("Geometry;");
    for (const char* chunk : {"AVertex", "APolygon", "ARGB", "AUV"})
        root->AddChild(older.FindPath((std::string("Geometry:") + chunk + ";").c_str())->Clone(true), true);

    nGeometry b(&engine);
    nLogCapture cap;
    ASSERT_TRUE(b.Deserialize(&document, root));
    ExpectSameMesh(a, b);
    EXPECT_EQ(b.colors[2].b, 1.0f);
    EXPECT_EQ(b.uvSetCount, 1u);
    EXPECT_EQ(b.uvSets[0][1].x, 1.0f);
}

TEST_F(GeometryNMLTest, UVSetsBeyondThree)
{
    nGeometry a(&engine);
    a.SetName("uv");
    BuildMesh(a, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {}, 1);
    a.uvSetCount = 3;
    for (int s = 0; s < 3; ++s) a.uvSets[s] = new nVector2[3]{{(float)s, 0}, {1, (float)s}, {0, 1}};
    nMetaFile document;
    ASSERT_TRUE(a.SerializeToMetaFile(&document));
    nMetaTag* uv = document.FindPath("Geometry:UV;");
    nMetaTagIterator it;
    nMetaTag* first = nullptr;
    while (nMetaTag* c = uv->NextChild(it)) {
        if (c->GetName() == "Count") c->GetValue().SetInt(5);
        if (c->GetName() == "Data" && !first) first = c;
    }
    uv->AddChild(first->Clone(false));
    uv->AddChild(first->Clone(false));

    nGeometry b(&engine);
    b.SetName("uv");
    nLogCapture cap;
    ASSERT_TRUE(b.Deserialize(&document, document.FindPath("Geometry;")));
    EXPECT_EQ(Problems(cap), (Calls{"[*] 'uv' requires more UV channels than this build can handle.\n",
                                    "[*]    Please increase nUVMapCount and recompile nOrvex to fully import this object.\n"}));
    EXPECT_EQ(b.uvSetCount, 3u);
    EXPECT_EQ(b.uvSets[2][1].y, 2.0f);
}

// A small, valid geometry as a tag tree, for the damaged-file cases to edit.
nMetaTag* GoodRoot(nOrvex* engine, nMetaFile& document)
{
    nGeometry g(engine);
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}}, {0, 0}, 1);
    g.colors = new nGeometryColor[6]();
    g.uvSetCount = 1;
    g.uvSets[0] = new nVector2[6]();
    nLogCapture quiet;
    g.ComputeVertexNormal(false);
    g.AllocateSkin(2);
    g.skinWeights = new nSkinWeight[4]();
    g.SerializeToMetaFile(&document);
    return document.FindPath("Geometry;");
}

nMetaTag* Find(nMetaTag* root, const char* path) { return FindMetaTagByPath(&root->GetChildren(), path, false); }

void SetBinary(nMetaTag* tag, const std::vector<int32_t>& words)
{
    tag->GetValue().SetBinary(words.data(), (int32_t)(words.size() * 4));
}

void Shorten(nMetaTag* tag, int bytes)
{
    std::vector<uint8_t> data(tag->GetValue().GetBinaryData(), tag->GetValue().GetBinaryData() + tag->GetValue().GetBinaryLength());
    data.resize(data.size() - bytes);
    tag->GetValue().SetBinary(data.data(), (int32_t)data.size());
}

TEST_F(GeometryNMLTest, DamagedFilesGiveOneLineAndNoCrash)
{
    struct Case
    {
        const char* what;
        std::function<void(nMetaTag*)> damage;
        bool loads;  // false: empty geometry
        std::function<bool(nGeometry&)> check;
    };
    auto none = [](nGeometry&) { return true; };
    const Case cases[] = {
        {"vertex block one byte short", [](nMetaTag* r) { Shorten(Find(r, "Vertex:Data;"), 1); }, false, none},
        {"vertex count negative", [](nMetaTag* r) { Find(r, "Vertex:Count;")->GetValue().SetInt(-4); }, false, none},
        {"vertex count huge", [](nMetaTag* r) { Find(r, "Vertex:Count;")->GetValue().SetInt(0x7fffffff); }, false, none},
        {"vertex data as text", [](nMetaTag* r) { Find(r, "Vertex:Data;")->GetValue().SetString("abc"); }, false, none},
        {"vertex count after data", [](nMetaTag* r) {
             nMetaTag* v = Find(r, "Vertex;");
             nMetaTag* count = Find(r, "Vertex:Count;");
             v->GetChildren().Remove(count);
             v->AddChild(count);
         },
         false, none},
        {"polygon block short", [](nMetaTag* r) { Shorten(Find(r, "Polygon:Data;"), 4); }, false, none},
        {"binding count too large", [](nMetaTag* r) { Find(r, "Polygon:BindingCount;")->GetValue().SetInt(0x40000000); }, false, none},
        {"corner count beyond the bindings", [](nMetaTag* r) { SetBinary(Find(r, "Polygon:Data;"), {7, 0, 1, 2, 0, 1, 2, 1, 3, 0}); }, false, none},
        {"corner count negative", [](nMetaTag* r) { SetBinary(Find(r, "Polygon:Data;"), {-1, 0, 1, 2, 0, 5, 2, 1, 3, 0}); }, false, none},
        {"vertex index out of range", [](nMetaTag* r) { SetBinary(Find(r, "Polygon:Data;"), {3, 0, 1, 4, 0, 3, 2, 1, 3, 0}); }, false, none},
        {"vertex index negative", [](nMetaTag* r) { SetBinary(Find(r, "Polygon:Data;"), {3, 0, 1, -2, 0, 3, 2, 1, 3, 0}); }, false, none},
        {"no polygon count", [](nMetaTag* r) { Find(r, "Polygon:Count;")->GetValue().SetString("2"); }, false, none},
        {"root of another name", [](nMetaTag* r) { r->SetName("Scene"); }, false, none},
        {"polygon normals for another count", [](nMetaTag* r) { Find(r, "PNormal:Count;")->GetValue().SetInt(1); }, true, [](nGeometry& g) { return g.polygonNormals == nullptr && g.polygonCount == 2; }},
        {"polygon normal block short", [](nMetaTag* r) { Shorten(Find(r, "PNormal:Data;"), 1); }, true, [](nGeometry& g) { return g.polygonNormals == nullptr; }},
        {"vertex normals for another count", [](nMetaTag* r) { Find(r, "VNormal:Count;")->GetValue().SetInt(60); }, true, [](nGeometry& g) { return g.vertexNormals == nullptr && g.bindingCount == 6; }},
        {"vertex normal block short", [](nMetaTag* r) { Shorten(Find(r, "VNormal:Data;"), 3); }, true, [](nGeometry& g) { return g.vertexNormals == nullptr; }},
        {"colour block of neither size", [](nMetaTag* r) { Shorten(Find(r, "RGB:Data;"), 4); }, true, [](nGeometry& g) { return g.colors == nullptr; }},
        {"UV block short", [](nMetaTag* r) { Shorten(Find(r, "UV:Data;"), 8); }, true, [](nGeometry& g) { return g.uvSets[0] == nullptr; }},
        {"fewer weights than vertices", [](nMetaTag* r) {
             nMetaTag* w = Find(r, "Skin:Weights;");
             nMetaTagIterator it;
             nMetaTag* c = w->NextChild(it);
             c->GetValue().SetString("1,1,1,1:0,0,3,0");
             while (nMetaTag* extra = w->NextChild(it)) w->GetChildren().RemoveAndDelete(extra, true); }, true, [](nGeometry& g) { return g.skinWeights && g.skinWeights[0].bone[2] == 1 && g.skinWeights[0].weight[2] == 1.0f &&
                                                                                             g.skinWeights[3].bone[0] == 0 && g.skinWeights[3].weight[0] == 1.0f; }},
    };
    for (const Case& c : cases) {
        nMetaFile document;
        nMetaTag* root = GoodRoot(&engine, document);
        c.damage(root);
        nGeometry g(&engine);
        g.SetName("bad");
        nLogCapture cap;
        bool loaded = g.Deserialize(&document, root);
        EXPECT_EQ(loaded, c.loads) << c.what;
        EXPECT_EQ(Problems(cap).size(), 1u) << c.what << "\n"
                                            << cap.Text();
        if (c.loads) EXPECT_TRUE(c.check(g)) << c.what;
        else {
            EXPECT_EQ(g.vertexCount, 0u) << c.what;
            EXPECT_EQ(g.polygonCount, 0u) << c.what;
            EXPECT_EQ(g.materialCount, 0u) << c.what;
            EXPECT_EQ(g.vertices, nullptr) << c.what;
        }
    }
}

TEST_F(GeometryNMLTest, OlderChunksWithBadCounts)
{
    struct Case
    {
        const char* what;
        const char* text;
    };
    const Case cases[] = {
        {"more vertices claimed than given", "<AVertex=<Count=100000000><Data=<Vector=<X=0.0><Y=0.0><Z=0.0>>>>"},
        {"more polygons claimed than given",
         "<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>><V=<X=0.0><Y=1.0><Z=0.0>>>>"
         "<APolygon=<Count=5000000><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>>"},
        {"more corners claimed than given",
         "<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>><V=<X=0.0><Y=1.0><Z=0.0>>>>"
         "<APolygon=<Count=1><BindingCount=90000000><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>>"},
        {"corner count against the indices",
         "<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>><V=<X=0.0><Y=1.0><Z=0.0>>>>"
         "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=9><Material=0><Index=0><Index=1><Index=2>>>>"},
        {"index out of range",
         "<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>><V=<X=0.0><Y=1.0><Z=0.0>>>>"
         "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=3><Index=2>>>>"},
    };
    for (const Case& c : cases) {
        std::string text = std::string("<NML=1.0>\n<Geometry=") + c.text + ">\n";
        nMetaFile document;
        ASSERT_TRUE(document.Parse(text.data(), (int32_t)text.size())) << c.what;
        nGeometry g(&engine);
        nLogCapture cap;
        EXPECT_FALSE(g.Deserialize(&document, document.FindPath("Geometry;"))) << c.what;
        EXPECT_EQ(Problems(cap).size(), 1u) << c.what << "\n"
                                            << cap.Text();
        EXPECT_EQ(g.vertexCount, 0u) << c.what;
    }
}

TEST_F(GeometryNMLTest, RandomlyDamagedBlocksNeverCrash)
{
    std::mt19937 random(12345);
    const char* blocks[] = {"Vertex:Data;", "Polygon:Data;", "PNormal:Data;", "VNormal:Data;", "RGB:Data;", "UV:Data;"};
    const char* counts[] = {"Vertex:Count;", "Polygon:Count;", "Polygon:BindingCount;", "PNormal:Count;", "VNormal:Count;", "UV:Count;"};
    for (int round = 0; round < 3000; ++round) {
        nMetaFile document;
        nMetaTag* root = GoodRoot(&engine, document);
        int edits = 1 + (int)(random() % 3);
        for (int e = 0; e < edits; ++e) {
            if (random() % 3 == 0) {
                nMetaTag* count = Find(root, counts[random() % 6]);
                int32_t values[] = {0, -1, 1, 2, 3, 7, 65536, 0x7fffffff, (int32_t)0x80000000, (int32_t)(random() % 64)};
                if (count) count->GetValue().SetInt(values[random() % 10]);
                continue;
            }
            nMetaTag* block = Find(root, blocks[random() % 6]);
            if (!block || block->GetType() != TagType_Binary) continue;
            std::vector<uint8_t> data(block->GetValue().GetBinaryData(), block->GetValue().GetBinaryData() + block->GetValue().GetBinaryLength());
            switch (random() % 3) {
                case 0: data[random() % data.size()] = (uint8_t)random(); break;
                case 1: data.resize(random() % data.size()); break;
                default: data.insert(data.begin() + random() % data.size(), (uint8_t)random()); break;
            }
            if (data.empty()) block->GetValue().Clear();
            else block->GetValue().SetBinary(data.data(), (int32_t)data.size());
        }
        nGeometry g(&engine);
        nLogCapture cap;
        if (g.Deserialize(&document, root)) {
            // What was accepted holds together.
            for (uint32_t p = 0; p < g.polygonCount; ++p)
                for (uint32_t k = 0; k < g.polygons[p].count; ++k) ASSERT_LT((uint32_t)g.polygons[p].bindings[k], g.vertexCount);
            g.ComputeVertexTangent(true);
            g.BuildHomogeneousTable(-1);
            nMetaFile out;
            g.SerializeToMetaFile(&out);
        } else
            ASSERT_EQ(g.vertexCount + g.polygonCount + g.bindingCount, 0u);
    }
}

TEST_F(GeometryNMLTest, ProxiesLeadingBackAreRefused)
{
    auto file = [](const char* lod, const char* shadow) {
        std::string text =
            "<NML=1.0>\n<Geometry=<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>><V=<X=0.0><Y=1.0><Z=0.0>>>>"
            "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>>";
        if (lod) text += std::string("<LodProxy=\"") + lod + "\">";
        if (shadow) text += std::string("<ShadowProxy=\"") + shadow + "\">";
        return text + ">\n";
    };
    nMLPutMemoryFile("self.nml", file("self.nml", nullptr));
    nMLPutMemoryFile("m/a.nml", file("m/b.nml", "m/c.nml"));
    nMLPutMemoryFile("m/b.nml", file("m/c.nml", nullptr));
    nMLPutMemoryFile("m/c.nml", file(nullptr, "m\\a.nml"));
    {
        nGeometry g(&engine);
        g.SetName("self.nml");
        nLogCapture cap;
        ASSERT_TRUE(g.Load("self.nml"));
        EXPECT_FALSE(g.lodProxy.IsValid());
        EXPECT_EQ(Problems(cap), (Calls{"[!] Proxy 'self.nml' of geometry 'self.nml' leads back to a geometry being loaded; ignored.\n",
                                        "[*] Expected at least one material in geometry 'self.nml'.\n"}));
    }
    {
        nGeometry g(&engine);
        g.SetName("m/a.nml");
        nLogCapture cap;
        ASSERT_TRUE(g.Load("m/a.nml"));
        // a -> b -> c -> a is refused at c; a's own shadow proxy c (read after b) is the one
        // the cache holds already.
        ASSERT_TRUE(g.lodProxy.IsValid());
        ASSERT_TRUE(g.lodProxy->lodProxy.IsValid());
        EXPECT_FALSE(g.lodProxy->lodProxy->shadowProxy.IsValid());
        ASSERT_TRUE(g.shadowProxy.IsValid());
        EXPECT_EQ(g.shadowProxy.Get(), g.lodProxy->lodProxy.Get());
        int refusals = 0;
        for (const std::string& line : cap.Lines()) refusals += line.find("leads back") != std::string::npos;
        EXPECT_EQ(refusals, 1);
    }
}

}
