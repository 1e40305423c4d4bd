#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nResourceCache.h"
#include "scene/nCamera.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Names;

struct Influence
{
    nVector position;
    float weight[4];
    int bone[4];
};

// A geometry of the given vertices with a skin of boneCount bones (identity bind matrices).
nGeometry* MakeSkinned(nOrvex* engine, const std::vector<Influence>& vertices, int32_t boneCount)
{
    nGeometry* g = new nGeometry(engine);
    g->AllocateVertices((uint32_t)vertices.size());
    g->skinWeights = new nSkinWeight[vertices.size()];
    for (size_t i = 0; i < vertices.size(); ++i) {
        g->vertices[i] = vertices[i].position;
        for (int k = 0; k < 4; ++k) {
            g->skinWeights[i].weight[k] = vertices[i].weight[k];
            g->skinWeights[i].bone[k] = (uint16_t)vertices[i].bone[k];
        }
    }
    g->AllocateSkin(boneCount);
    return g;
}

// A strip of two rows of three vertices along x: bone 0 holds x = 0, bone 1 (bound at x = 1)
// holds x = 2, and the middle column is shared half and half.
nGeometry* MakeStrip(nOrvex* engine)
{
    std::vector<Influence> v;
    for (float y : {0.0f, 1.0f}) {
        v.push_back({nVector(0.0f, y, 0.0f), {1.0f, 0.0f, 0.0f, 0.0f}, {0, 0, 0, 0}});
        v.push_back({nVector(1.0f, y, 0.0f), {0.5f, 0.5f, 0.0f, 0.0f}, {0, 1, 0, 0}});
        v.push_back({nVector(2.0f, y, 0.0f), {1.0f, 0.0f, 0.0f, 0.0f}, {1, 0, 0, 0}});
    }
    nGeometry* g = MakeSkinned(engine, v, 2);
    g->bindMatrices[1] = nMatrix4::Translation(nVector(-1.0f, 0.0f, 0.0f));
    return g;
}

TEST(ObjectSkinning, TwoBoneStripBendsToHandComputedVertices)
{
    nKitScene k;
    nSharedPtr<nGeometry> strip(MakeStrip(&k.engine));
    nMObject* item = static_cast<nMObject*>(k.scene->CreateObject("strip", strip.Get()));
    ASSERT_NE(item, nullptr);
    nObject& object = item->GetObject();
    ASSERT_EQ(object.GetBoneCount(), 2);
    object.SetPosition(nVector(5.0f, 0.0f, 0.0f));
    nKitItem* root = k.Add("root");
    nKitItem* elbow = k.Add("elbow");
    root->Node().SetPosition(nVector(5.0f, 0.0f, 0.0f));
    elbow->Node().SetPosition(nVector(6.0f, 0.0f, 0.0f));
    elbow->Node().SetRotation(nVector(0.0f, 0.0f, 1.5707964f));
    ASSERT_TRUE(object.SetBone(0, &root->Node()));
    ASSERT_TRUE(object.SetBone(1, &elbow->Node()));
    EXPECT_TRUE(elbow->Node().GetFlags() & ItemFlagBone);

    k.scene->Evaluate(SceneEvaluateAll);
    std::vector<nVector> out(6);
    ASSERT_TRUE(object.SkinVertices(out.data()));
    // Bone 1 turns the far column a quarter turn about (1, 0, 0); the shared column averages.
    const nVector expected[6] = {nVector(0, 0, 0), nVector(1, 0, 0), nVector(1, 1, 0),
                                 nVector(0, 1, 0), nVector(0.5f, 0.5f, 0), nVector(0, 1, 0)};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(out[i].x, expected[i].x, 1e-5f);
        EXPECT_NEAR(out[i].y, expected[i].y, 1e-5f);
        EXPECT_NEAR(out[i].z, expected[i].z, 1e-5f);
    }
    // An unbound bone contributes the identity.
    object.SetBone(1, nullptr);
    k.scene->Evaluate(SceneEvaluateAll);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(object.GetBoneMatrices()[1].m[i], nMatrix4().m[i]);
    ASSERT_TRUE(object.SkinVertices(out.data()));
    EXPECT_NEAR(out[2].x, 2.0f, 1e-6f);
    EXPECT_NEAR(out[5].y, 1.0f, 1e-6f);
}

TEST(ObjectSkinning, BoneVolumesEncloseTheInfluencedVertices)
{
    nKitScene k;
    std::vector<Influence> v = {
        {nVector(0.0f, 0.0f, 0.0f), {1.0f, 0.0f, 0.0f, 0.0f}, {0, 0, 0, 0}},
        {nVector(1.0f, 2.0f, 0.0f), {0.5f, 0.0f, 0.5f, 0.0f}, {0, 1, 7, 0}},  // weight 0 and bone 7 count for nothing
        {nVector(3.0f, 3.0f, 3.0f), {1.0f, 0.0f, 0.0f, 0.0f}, {1, 0, 0, 0}},
        {nVector(-2.0f, 1.0f, 4.0f), {1.0f, 0.0f, 0.0f, 0.0f}, {1, 0, 0, 0}},
    };
    nSharedPtr<nGeometry> g(MakeSkinned(&k.engine, v, 3));
    nMObject* item = static_cast<nMObject*>(k.scene->CreateObject("o", g.Get()));
    nObject& object = item->GetObject();
    ASSERT_EQ(object.GetBoneCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(object.GetBone(i), nullptr);
        for (int e = 0; e < 16; ++e) EXPECT_FLOAT_EQ(object.GetBoneMatrices()[i].m[e], nMatrix4().m[e]);
    }
    struct Case
    {
        int bone;
        nVector min, max;
    } cases[] = {
        {0, nVector(0, 0, 0), nVector(1, 2, 0)},
        {1, nVector(-2, 1, 3), nVector(3, 3, 4)},
        {2, nVector(0, 0, 0), nVector(0, 0, 0)},  // influences nothing: a point box at the origin
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bone);
        nOBB box;
        ASSERT_TRUE(object.GetBoneVolume(c.bone, box));
        nMinMax m = box.GetMinMax();
        EXPECT_NEAR(m.min.x, c.min.x, 1e-6f);
        EXPECT_NEAR(m.min.y, c.min.y, 1e-6f);
        EXPECT_NEAR(m.min.z, c.min.z, 1e-6f);
        EXPECT_NEAR(m.max.x, c.max.x, 1e-6f);
        EXPECT_NEAR(m.max.y, c.max.y, 1e-6f);
        EXPECT_NEAR(m.max.z, c.max.z, 1e-6f);
    }
    // Blending skips the influence of the missing bone 7: half of bone 0's identity remains.
    std::vector<nVector> skinned(v.size());
    ASSERT_TRUE(object.SkinVertices(skinned.data()));
    EXPECT_FLOAT_EQ(skinned[1].x, 0.5f);
    EXPECT_FLOAT_EQ(skinned[1].y, 1.0f);
    EXPECT_FLOAT_EQ(skinned[2].z, 3.0f);
    // The object's box follows a bone as it moves.
    nKitItem* bone = k.Add("bone");
    bone->Node().SetPosition(nVector(10.0f, 0.0f, 0.0f));
    object.SetBone(1, &bone->Node());
    object.UpdateSkinning();
    nMinMax box;
    object.GetWorldMinMax(box);
    EXPECT_NEAR(box.min.x, 0.0f, 1e-5f);
    EXPECT_NEAR(box.max.x, 13.0f, 1e-5f);
    EXPECT_NEAR(box.max.z, 4.0f, 1e-5f);
}

TEST(ObjectSkinning, BoxesAreInTheObjectsOwnSpace)
{
    nKitScene k;
    nMObject* empty = static_cast<nMObject*>(k.scene->CreateObject("empty", nullptr));
    empty->GetObject().SetPosition(nVector(7.0f, 8.0f, 9.0f));
    empty->GetObject().GetWorldMatrix();
    nMinMax box;
    empty->GetObject().GetWorldMinMax(box);
    EXPECT_FLOAT_EQ(box.min.x, 0.0f);
    EXPECT_FLOAT_EQ(box.max.z, 0.0f);
    nSharedPtr<nGeometry> cube(new nGeometry(&k.engine));
    cube->bounds = nMinMax(nVector(-1.0f, -2.0f, -3.0f), nVector(1.0f, 2.0f, 3.0f));
    empty->GetObject().SetGeometry(cube.Get(), true);
    empty->GetObject().GetWorldMinMax(box);
    EXPECT_FLOAT_EQ(box.min.y, -2.0f);
    EXPECT_FLOAT_EQ(box.max.z, 3.0f);
}

TEST(ObjectSkinning, BoneIndicesOutsideTheSkinAreRefused)
{
    nKitScene k;
    nSharedPtr<nGeometry> strip(MakeStrip(&k.engine));
    nMObject* item = static_cast<nMObject*>(k.scene->CreateObject("strip", strip.Get()));
    nObject& object = item->GetObject();
    nKitItem* bone = k.Add("bone");
    for (int index : {-1, 2, 5}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(object.SetBone(index, &bone->Node()));
        nOBB box;
        EXPECT_FALSE(object.GetBoneVolume(index, box));
        nMatrix4 bind = object.GetBindMatrix(index);
        for (int e = 0; e < 16; ++e) EXPECT_FLOAT_EQ(bind.m[e], nMatrix4().m[e]);
    }
    EXPECT_FALSE(bone->Node().GetFlags() & ItemFlagBone);
    EXPECT_FLOAT_EQ(object.GetBindMatrix(1).m[3], -1.0f);
}

TEST(ObjectSkinning, ANewGeometryRebuildsTheSkin)
{
    nKitScene k;
    nSharedPtr<nGeometry> strip(MakeStrip(&k.engine));
    nSharedPtr<nGeometry> plain(new nGeometry(&k.engine));
    const int32_t before = nObject::GetSkinnedCount();
    nMObject* item = static_cast<nMObject*>(k.scene->CreateObject("o", strip.Get()));
    nObject& object = item->GetObject();
    EXPECT_EQ(nObject::GetSkinnedCount(), before + 1);
    nKitItem* bone = k.Add("bone");
    object.SetBone(0, &bone->Node());
    object.SetGeometry(strip.Get(), true);
    EXPECT_EQ(object.GetBone(0), &bone->Node());  // the same geometry leaves the skin alone
    object.SetGeometry(plain.Get(), true);
    EXPECT_EQ(object.GetBoneCount(), 0);
    EXPECT_EQ(object.GetBoneMatrices(), nullptr);
    EXPECT_EQ(object.GetBone(0), nullptr);
    EXPECT_EQ(nObject::GetSkinnedCount(), before);
    EXPECT_EQ(strip->GetRefCount(), 1);
    EXPECT_EQ(plain->GetRefCount(), 2);
}

TEST(ObjectSkinning, DeletingABoneItemClearsItsSlot)
{
    nKitScene k;
    nSharedPtr<nGeometry> strip(MakeStrip(&k.engine));
    nMObject* item = static_cast<nMObject*>(k.scene->CreateObject("strip", strip.Get()));
    nKitItem* a = k.Add("a");
    nKitItem* b = k.Add("b");
    item->GetObject().SetBone(0, &a->Node());
    item->GetObject().SetBone(1, &b->Node());
    k.scene->QueueDeletion(b);
    k.scene->Evaluate(SceneEvaluateAll);  // flushes, then skins with what is left
    EXPECT_EQ(item->GetObject().GetBone(0), &a->Node());
    EXPECT_EQ(item->GetObject().GetBone(1), nullptr);
    for (int e = 0; e < 16; ++e) EXPECT_FLOAT_EQ(item->GetObject().GetBoneMatrices()[1].m[e], nMatrix4().m[e]);
}

// A unit cube centred on its origin, drawable as it stands.
nGeometry* MakeCube(nOrvex* engine, const char* name)
{
    nGeometry* g = new nGeometry(engine);
    g->SetName(name);
    g->bounds = nMinMax(nVector(-0.5f, -0.5f, -0.5f), nVector(0.5f, 0.5f, 0.5f));
    g->centre = nVector(0.0f, 0.0f, 0.0f);
    return g;
}

struct DrawFixture
{
    DrawFixture()
    {
        k.renderer.SetViewportAnswer(0, 0, 800, 600);
        camera = static_cast<nMCamera*>(k.scene->CreateCamera("camera"));
        k.renderer.SetCamera(&camera->GetCamera());
        main.reset(MakeCube(&k.engine, "main"));
        lod.reset(MakeCube(&k.engine, "lod"));
        shadow.reset(MakeCube(&k.engine, "shadow"));
    }
    ~DrawFixture()
    {
        k.renderer.ResetRenderQueue();
        DeletePrimitiveList(&list);
    }
    // Payload names of the records the renderer collects for the queued objects.
    Names Draw(int32_t pass)
    {
        k.scene->Evaluate(SceneEvaluateTransform);
        k.renderer.BuildPrimitiveList(&list, pass);
        Names out;
        for (auto* n = list.GetHead(); n; n = n->next) {
            EXPECT_EQ(n->value->kind, RenderablePrimitiveGeometry);
            out.push_back(static_cast<nGeometry*>(n->value->payload)->GetName().GetCStr());
        }
        return out;
    }

    struct Holder
    {
        nSharedPtr<nGeometry> p;
        void reset(nGeometry* g) { p = g; }
        nGeometry* operator->() const { return p.Get(); }
        nGeometry* get() const { return p.Get(); }
    };

    nKitScene k;
    nMCamera* camera;
    Holder main, lod, shadow;
    nRenderablePrimitiveList list;
};

TEST(ObjectDrawing, ProxiesAndCullingDecideWhatIsQueued)
{
    struct Case
    {
        const char* name;
        nVector position;
        int32_t pass;
        uint32_t mainFlags;
        uint32_t lodFlags;
        bool withProxies;
        Names drawn;
    } cases[] = {
        {"near and in view", nVector(0, 0, 5), 0, 0, 0, true, {"main"}},
        {"outside the view", nVector(100, 0, 5), 0, 0, 0, true, {}},
        {"behind the camera", nVector(0, 0, -5), 0, 0, 0, true, {}},
        {"beyond the LOD distance", nVector(0, 0, 50), 0, 0, 0, true, {"lod"}},
        {"beyond the LOD distance, no proxy", nVector(0, 0, 50), 0, 0, 0, false, {"main"}},
        {"beyond the LOD distance, LodNull", nVector(0, 0, 50), 0, GeometryLodNull, 0, true, {}},
        {"hidden LOD proxy", nVector(0, 0, 50), 0, 0, 0x1, true, {}},
        {"shadow pass", nVector(0, 0, 5), 1, 0, 0, true, {"shadow"}},
        {"shadow pass, no proxy", nVector(0, 0, 5), 1, 0, 0, false, {"main"}},
        {"shadow pass, ShadowNull", nVector(0, 0, 5), 1, GeometryShadowNull, 0, true, {}},
        {"hidden", nVector(0, 0, 5), 0, 0x1, 0, true, {}},
        {"another pass keeps the geometry", nVector(0, 0, 50), 2, 0, 0, true, {"main"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawFixture f;
        f.main->lodDistance = 20.0f;
        f.main->proxyFlags = c.mainFlags;
        f.lod->proxyFlags = c.lodFlags;
        if (c.withProxies) {
            f.main->lodProxy = f.lod.get();
            f.main->shadowProxy = f.shadow.get();
        }
        nMObject* item = static_cast<nMObject*>(f.k.scene->CreateObject("o", f.main.get()));
        item->GetObject().SetPosition(c.position);
        f.k.renderer.QueueRenderable(&item->GetObject());
        EXPECT_EQ(f.Draw(c.pass), c.drawn);
        f.main->lodProxy = nullptr;
        f.main->shadowProxy = nullptr;
    }
}

TEST(ObjectDrawing, RecordsCarryTheObjectAndSortByViewDepth)
{
    DrawFixture f;
    f.camera->GetCamera().SetPosition(nVector(0.0f, 0.0f, -2.0f));
    nMObject* far = static_cast<nMObject*>(f.k.scene->CreateObject("far", f.main.get()));
    nMObject* near = static_cast<nMObject*>(f.k.scene->CreateObject("near", f.lod.get()));
    far->GetObject().SetPosition(nVector(1.0f, 0.0f, 10.0f));
    near->GetObject().SetPosition(nVector(-1.0f, 0.0f, 4.0f));
    f.k.renderer.QueueRenderable(&far->GetObject());
    f.k.renderer.QueueRenderable(&near->GetObject());
    EXPECT_EQ(f.Draw(0), (Names{"lod", "main"}));
    ASSERT_EQ(f.list.GetCount(), 2);
    EXPECT_EQ(f.list.GetHead()->value->owner, &near->GetObject());
    EXPECT_FLOAT_EQ(f.list.GetHead()->value->depth, 6.0f);
    EXPECT_FLOAT_EQ(f.list.GetTail()->value->depth, 12.0f);
    // A skinned object is culled by its posed bone boxes, not its bind pose.
    nSharedPtr<nGeometry> strip(MakeStrip(&f.k.engine));
    strip->SetName("strip");
    nMObject* skinned = static_cast<nMObject*>(f.k.scene->CreateObject("skinned", strip.Get()));
    skinned->GetObject().SetPosition(nVector(0.0f, 0.0f, 5.0f));
    nKitItem* bone = f.k.Add("bone");
    bone->Node().SetPosition(nVector(200.0f, 0.0f, 5.0f));
    skinned->GetObject().SetBone(0, &bone->Node());
    skinned->GetObject().SetBone(1, &bone->Node());
    f.k.renderer.ResetRenderQueue();
    f.k.renderer.QueueRenderable(&skinned->GetObject());
    f.k.scene->Evaluate(SceneEvaluateAll);
    EXPECT_EQ(f.Draw(0), Names{});
    bone->Node().SetPosition(nVector(0.0f, 0.0f, 5.0f));
    EXPECT_EQ(f.Draw(0), (Names{"strip"}));
}

TEST(ObjectNML, ObjectFormsRoundTripWithTheirGeometryNames)
{
    nKitScene k;
    // The cache goes before the scene, so the geometries die with their last objects while
    // the engine they report to still stands.
    nResourceCache cache;
    struct Selected
    {
        nOrvex& engine;
        ~Selected() { engine.SetResourceCache(nullptr); }
    } selected{k.engine};
    k.engine.SetResourceCache(&cache);
    nMetaFile document;
    nLogCapture capture;  // the named files do not exist: the loader reports them
    nMObject* shared = static_cast<nMObject*>(k.scene->CreateObject("a", nullptr));
    nMObject* shared2 = static_cast<nMObject*>(k.scene->CreateObject("b", nullptr));
    nMObject* own = static_cast<nMObject*>(k.scene->CreateObject("c", nullptr));
    ASSERT_TRUE(shared->GetObject().Deserialize(&document, nMLParseRoot(document, "<Object= <Geometry=\"crate.nml\"> >")));
    nMetaFile second;
    ASSERT_TRUE(shared2->GetObject().Deserialize(&second, nMLParseRoot(second, "<Object= <Geometry=\"crate.nml\"> >")));
    nMetaFile third;
    ASSERT_TRUE(own->GetObject().Deserialize(&third, nMLParseRoot(third,
                                                                  "<Object= <Geometry=\"crate.nml\"> <Occluder=\"box.nml\"> <CacheGeometry=False> >")));
    ASSERT_TRUE(shared->GetObject().GetGeometry().IsValid());
    EXPECT_EQ(shared->GetObject().GetGeometry(), shared2->GetObject().GetGeometry());
    EXPECT_NE(own->GetObject().GetGeometry(), shared->GetObject().GetGeometry());  // a private copy
    EXPECT_FALSE(own->GetObject().GetCacheGeometry());

    nMetaFile out;
    nMetaTag* plain = static_cast<nMObject*>(k.scene->CreateObject("d", nullptr))->GetObject().Serialize(&out);
    EXPECT_EQ(nMLChildNames(plain), (Names{"Item"}));
    nMetaTag* written = own->Serialize(&out);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(nMLChildNames(written), (Names{"MItem", "Object"}));
    EXPECT_EQ(nMLChildNames(written->FindPath("Object;")), (Names{"Item", "CacheGeometry", "Geometry", "Occluder"}));
    nMObject* copy = static_cast<nMObject*>(k.scene->CreateObject("copy", nullptr));
    ASSERT_TRUE(copy->Deserialize(&out, written));
    EXPECT_EQ(copy->GetName(), "c");
    EXPECT_FALSE(copy->GetObject().GetCacheGeometry());
    EXPECT_STREQ(copy->GetObject().GetGeometry()->GetName().GetCStr(), "crate.nml");
    ASSERT_NE(copy->GetObject().GetOccluder(), nullptr);
    EXPECT_STREQ(copy->GetObject().GetOccluder()->GetName().GetCStr(), "box.nml");

    capture.Clear();
    nMetaFile wrong;
    EXPECT_FALSE(copy->Deserialize(&wrong, nMLParseRoot(wrong, "<Object= >")));
    EXPECT_FALSE(copy->GetObject().Deserialize(&wrong, nMLParseRoot(wrong, "<Thing= >")));
    EXPECT_EQ(capture.Lines(), (Names{"[!] Could not parse managed object. Root tag id is incorrect (Object).\n",
                                      "[!] Could not parse object. Root tag id is incorrect (Thing).\n"}));
    delete plain;
    delete written;
}

}
