#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/nFrustum.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Names;

float Q(const nMatrix4& q, int row, int column) { return q.m[4 * row + column]; }

// Depth the projection gives a view-space point on the axis at distance z.
float ProjectedDepth(const nMatrix4& q, float z)
{
    nVector v(0.0f, 0.0f, z, 1.0f);
    float zc = q.m[8] * v.x + q.m[9] * v.y + q.m[10] * v.z + q.m[11];
    float wc = q.m[12] * v.x + q.m[13] * v.y + q.m[14] * v.z + q.m[15];
    return zc / wc;
}

TEST(Camera, PerspectiveProjectionFollowsTheViewportAndTheAspectAxis)
{
    struct Case
    {
        const char* name;
        float aspectRatio;
        bool referenceY;
        float globalAspect;
        float q00, q11;
    } cases[] = {
        {"800x600, vertical field", -1.0f, true, 1.0f, 3.2f * 0.75f, 3.2f},
        {"800x600, horizontal field", -1.0f, false, 1.0f, 3.2f, 3.2f / 0.75f},
        {"fixed ratio wins over the viewport", 0.5f, true, 1.0f, 1.6f, 3.2f},
        {"global aspect multiplies", -1.0f, true, 2.0f, 3.2f * 1.5f, 3.2f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nKitScene k;
        k.renderer.SetViewportAnswer(0, 0, 800, 600);
        k.renderer.SetGlobalAspectRatio(c.globalAspect);
        nCamera camera(&k.engine);
        camera.SetAspectRatio(c.aspectRatio);
        camera.SetAspectReferenceY(c.referenceY);
        camera.SetNear(1.0f);
        camera.SetFar(11.0f);
        nMatrix4 q;
        camera.ComputeProjectionMatrix(q);
        const float a = 11.0f / 10.0f;
        EXPECT_FLOAT_EQ(Q(q, 0, 0), c.q00);
        EXPECT_FLOAT_EQ(Q(q, 1, 1), c.q11);
        EXPECT_FLOAT_EQ(Q(q, 2, 2), a);
        EXPECT_FLOAT_EQ(Q(q, 2, 3), -a * 1.0f);
        EXPECT_FLOAT_EQ(Q(q, 3, 2), 1.0f);
        EXPECT_FLOAT_EQ(Q(q, 3, 3), 0.0f);
        EXPECT_FLOAT_EQ(Q(q, 0, 3), 0.0f);
        EXPECT_NEAR(ProjectedDepth(q, 1.0f), 0.0f, 1e-6f);
        EXPECT_NEAR(ProjectedDepth(q, 11.0f), 1.0f, 1e-6f);
    }
}

TEST(Camera, OrthographicProjectionMapsTheBoxAndDepthRange)
{
    nKitScene k;
    k.renderer.SetViewportAnswer(0, 0, 800, 600);
    nCamera camera(&k.engine);
    camera.SetOrthographic(true);
    camera.SetOrthographicSize(4.0f, 2.0f);
    camera.SetNear(1.0f);
    camera.SetFar(11.0f);
    nMatrix4 q;
    camera.ComputeProjectionMatrix(q);
    EXPECT_FLOAT_EQ(Q(q, 0, 0), 0.5f * 0.75f);
    EXPECT_FLOAT_EQ(Q(q, 1, 1), 1.0f);
    EXPECT_FLOAT_EQ(Q(q, 2, 2), 0.1f);
    EXPECT_FLOAT_EQ(Q(q, 2, 3), -0.1f);
    EXPECT_FLOAT_EQ(Q(q, 3, 2), 0.0f);
    EXPECT_FLOAT_EQ(Q(q, 3, 3), 1.0f);
    // Depth: near plane 0, far plane 1 (w stays 1).
    EXPECT_NEAR(Q(q, 2, 2) * 1.0f + Q(q, 2, 3), 0.0f, 1e-6f);
    EXPECT_NEAR(Q(q, 2, 2) * 11.0f + Q(q, 2, 3), 1.0f, 1e-6f);
}

TEST(Camera, DegenerateSettingsGiveFiniteProjections)
{
    nOrvex engine;  // its null renderer reports no viewport
    struct Case
    {
        const char* name;
        bool orthographic;
        float nearZ, farZ, width, height;
    } cases[] = {
        {"far equal to near", false, 5.0f, 5.0f, 1.0f, 1.0f},
        {"far before near", false, 5.0f, 2.0f, 1.0f, 1.0f},
        {"orthographic, far equal to near", true, 5.0f, 5.0f, 1.0f, 1.0f},
        {"orthographic box of zero size", true, 1.0f, 10.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nCamera camera(&engine);
        camera.SetOrthographic(c.orthographic);
        camera.SetNear(c.nearZ);
        camera.SetFar(c.farZ);
        camera.SetOrthographicSize(c.width, c.height);
        nMatrix4 q;
        camera.ComputeProjectionMatrix(q);
        for (float v : q.m) EXPECT_TRUE(std::isfinite(v));
        camera.ComputeFrustum(nullptr, -1.0f, -1.0f);
        for (const nVector& corner : camera.GetFrustum().corners)
            EXPECT_TRUE(std::isfinite(corner.x) && std::isfinite(corner.y) && std::isfinite(corner.z));
    }
}

TEST(Camera, AViewportlessRendererCountsAsSquare)
{
    nOrvex engine;
    ASSERT_NE(engine.GetRenderer(), nullptr);
    nCamera camera(&engine);
    EXPECT_FLOAT_EQ(camera.GetAspectFactor(), 1.0f);
    nMatrix4 q;
    camera.ComputeProjectionMatrix(q);
    EXPECT_FLOAT_EQ(Q(q, 0, 0), 3.2f);
    EXPECT_FLOAT_EQ(Q(q, 1, 1), 3.2f);
    nVector out;
    ASSERT_TRUE(camera.WorldToScreen(nVector(1.0f, 0.0f, 5.0f), out, true));
    EXPECT_FLOAT_EQ(out.x, (1.0f * 3.2f / 5.0f + 1.0f) * 0.5f);
}

TEST(Camera, FieldOfViewIsClampedAtBothEnds)
{
    nOrvex engine;
    nCamera camera(&engine);
    EXPECT_NEAR(camera.GetFov(), 0.6058f, 1e-4f);
    camera.SetFov(0.0f);
    EXPECT_NEAR(camera.GetZoom(), 1.0f / std::tan(0.004363323f), 1e-2f);
    camera.SetFov(4.0f);
    EXPECT_FLOAT_EQ(camera.GetZoom(), 0.1f);
    camera.SetFov(1.0f);
    EXPECT_NEAR(camera.GetFov(), 1.0f, 1e-6f);
}

TEST(Camera, FrustumMatchesTheProjectionEdges)
{
    nKitScene k;
    k.renderer.SetViewportAnswer(0, 0, 800, 600);
    nCamera camera(&k.engine);
    camera.SetNear(1.0f);
    camera.SetFar(10.0f);
    camera.SetPosition(nVector(10.0f, 0.0f, 0.0f));
    camera.ComputeFrustum(nullptr, -1.0f, -1.0f);
    // Zoom 3.2 and e 0.75: at depth 5 the view reaches x = 5 / (3.2 * 0.75) and y = 5 / 3.2.
    const float edgeX = 5.0f / 2.4f, edgeY = 5.0f / 3.2f;
    struct Case
    {
        nVector p;
        bool inside;
    } cases[] = {
        {nVector(10.0f, 0.0f, 5.0f), true},
        {nVector(10.0f, 0.0f, 10.5f), false},
        {nVector(10.0f, 0.0f, 0.5f), false},
        {nVector(10.0f + edgeX - 0.05f, 0.0f, 5.0f), true},
        {nVector(10.0f + edgeX + 0.05f, 0.0f, 5.0f), false},
        {nVector(10.0f, edgeY - 0.05f, 5.0f), true},
        {nVector(10.0f, -edgeY - 0.05f, 5.0f), false},
        {nVector(0.0f, 0.0f, 5.0f), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y << "," << c.p.z);
        EXPECT_EQ(camera.GetFrustum().TestSphere(c.p, 0.0f) != VisibilityOutside, c.inside);
    }
    // Orthographic: a box of 4 x 2 widened by e along x.
    camera.SetOrthographic(true);
    camera.SetOrthographicSize(4.0f, 2.0f);
    camera.ComputeFrustum(nullptr, -1.0f, -1.0f);
    EXPECT_NE(camera.GetFrustum().TestSphere(nVector(11.45f, 0.95f, 9.0f), 0.0f), VisibilityOutside);
    EXPECT_EQ(camera.GetFrustum().TestSphere(nVector(11.55f, 0.0f, 9.0f), 0.0f), VisibilityOutside);
    EXPECT_EQ(camera.GetFrustum().TestSphere(nVector(10.0f, 1.05f, 9.0f), 0.0f), VisibilityOutside);
}

TEST(Camera, ScreenMappingMatchesWorkedValues)
{
    nKitScene k;
    k.renderer.SetViewportAnswer(0, 0, 800, 600);
    nCamera camera(&k.engine);
    nVector out(7.0f, 7.0f, 7.0f, 7.0f);
    EXPECT_FALSE(camera.WorldToScreen(nVector(0.0f, 0.0f, -1.0f), out, true));
    EXPECT_FLOAT_EQ(out.x, 7.0f);  // untouched
    ASSERT_TRUE(camera.WorldToScreen(nVector(0.0f, 0.0f, 5.0f), out, true));
    EXPECT_FLOAT_EQ(out.x, 0.5f);
    EXPECT_FLOAT_EQ(out.y, 0.5f);
    // x = 1 * 3.2 / 5 = 0.64; the viewport's 4:3 divides it: 0.48.
    ASSERT_TRUE(camera.WorldToScreen(nVector(1.0f, 1.0f, 5.0f), out, true));
    EXPECT_FLOAT_EQ(out.x, (0.48f + 1.0f) * 0.5f);
    EXPECT_FLOAT_EQ(out.y, (1.0f - 0.64f) * 0.5f);
    ASSERT_TRUE(camera.WorldToScreen(nVector(1.0f, 1.0f, 5.0f), out, false));
    EXPECT_FLOAT_EQ(out.x, (0.64f + 1.0f) * 0.5f);
    // The centre of the screen at depth d is the point d along the view axis.
    camera.SetPosition(nVector(1.0f, 2.0f, 3.0f));
    camera.SetRotation(nVector(0.0f, 1.5707964f, 0.0f));  // looking along +x
    camera.ScreenToWorld(out, 0.5f, 0.5f, 4.0f, -1.0f);
    EXPECT_NEAR(out.x, 5.0f, 1e-5f);
    EXPECT_NEAR(out.y, 2.0f, 1e-5f);
    EXPECT_NEAR(out.z, 3.0f, 1e-5f);
}

TEST(Camera, ScreenToWorldInvertsWorldToScreen)
{
    nKitScene k;
    k.renderer.SetViewportAnswer(0, 0, 1024, 576);
    nRandSeed(5);
    for (bool referenceY : {true, false}) {
        nCamera camera(&k.engine);
        camera.SetAspectReferenceY(referenceY);
        camera.SetPosition(nVector(3.0f, -2.0f, 1.0f));
        camera.SetRotation(nVector(0.3f, -0.7f, 0.2f));
        camera.SetScale(nVector(2.0f, 2.0f, 2.0f));  // the camera's world matrix drops it
        for (int i = 0; i < 50; ++i) {
            nVector local(nRandRange(-3.0f, 3.0f), nRandRange(-3.0f, 3.0f), nRandRange(1.0f, 20.0f));
            nVector p = local.Transform(camera.GetWorldMatrix());
            nVector screen, back;
            ASSERT_TRUE(camera.WorldToScreen(p, screen, true));
            camera.ScreenToWorld(back, screen.x, screen.y, local.z, -1.0f);
            EXPECT_NEAR(back.x, p.x, 1e-3f);
            EXPECT_NEAR(back.y, p.y, 1e-3f);
            EXPECT_NEAR(back.z, p.z, 1e-3f);
        }
        const nMatrix4& world = camera.GetWorldMatrix();
        EXPECT_NEAR(world.GetColumn(0, true).Length(), 1.0f, 1e-6f);
        EXPECT_NEAR(world.GetColumn(2, true).Length(), 1.0f, 1e-6f);
    }
}

TEST(Camera, SpotLightViewTakesTheLightsExtentAndRange)
{
    nOrvex engine;
    nLight light(&engine);
    light.SetType(LightTypeSpot);
    light.SetConeAngle(0.3f);
    light.SetEdgeAngle(0.2f);
    light.SetVolumeRange(40.0f);
    light.SetPosition(nVector(0.0f, 5.0f, 0.0f));
    nCamera camera(&engine);
    camera.SetupFromSpotLight(&light);
    EXPECT_FLOAT_EQ(camera.GetAspectRatio(), 1.0f);
    EXPECT_FLOAT_EQ(camera.GetNear(), 0.02f);
    EXPECT_FLOAT_EQ(camera.GetFar(), 40.0f);
    EXPECT_NEAR(camera.GetZoom(), std::cos(0.5f) / std::sin(0.5f), 1e-5f);
    EXPECT_NEAR(camera.GetWorldMatrix().m[7], 5.0f, 1e-6f);
    light.SetConeAngle(0.0f);
    light.SetEdgeAngle(0.0f);
    camera.SetupFromSpotLight(&light);
    EXPECT_TRUE(std::isfinite(camera.GetZoom()));
}

TEST(Camera, ManagedCameraRefreshesItsFrustumEveryEvaluation)
{
    nKitScene k;
    nMCamera* item = static_cast<nMCamera*>(k.scene->CreateCamera("view"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetKind(), ManagedItemCamera);
    EXPECT_EQ(item->GetItem(), &item->GetCamera());
    EXPECT_EQ(k.scene->GetCameras().GetCount(), 1);
    item->GetCamera().SetPosition(nVector(100.0f, 0.0f, 0.0f));
    k.scene->Evaluate(SceneEvaluateAll);
    EXPECT_NE(item->GetCamera().GetFrustum().TestSphere(nVector(100.0f, 0.0f, 5.0f), 0.0f), VisibilityOutside);
    EXPECT_EQ(item->GetCamera().GetFrustum().TestSphere(nVector(0.0f, 0.0f, 5.0f), 0.0f), VisibilityOutside);
}

TEST(Camera, DeletingTheCurrentCameraUnbindsItFromSceneAndRenderer)
{
    nKitScene k;
    nMCamera* item = static_cast<nMCamera*>(k.scene->CreateCamera("view"));
    k.scene->SetCurrentCamera(&item->GetCamera());
    k.renderer.SetCamera(&item->GetCamera());
    k.scene->QueueDeletion(item);
    k.scene->FlushDeletionQueue();
    EXPECT_EQ(k.scene->GetCurrentCamera(), nullptr);
    EXPECT_EQ(k.renderer.GetCamera(), nullptr);
    EXPECT_EQ(k.scene->GetCameras().GetCount(), 0);
}

TEST(CameraNML, DefaultCameraWritesOnlyTheKeysThatAlwaysGo)
{
    nOrvex engine;
    nCamera camera(&engine);
    nMetaFile document;
    nMetaTag* tag = camera.Serialize(&document);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(nMLChildNames(tag), (Names{"Item", "ZFar", "AspectRatioRefYAxis"}));
    float farZ = 0.0f;
    ASSERT_TRUE(tag->FindPath("ZFar;")->GetValue().GetFloat(&farZ));
    EXPECT_FLOAT_EQ(farZ, 50000.0f);
    bool y = false;
    ASSERT_TRUE(tag->FindPath("AspectRatioRefYAxis;")->GetValue().GetBool(&y));
    EXPECT_TRUE(y);
    delete tag;
}

TEST(CameraNML, EverySettingRoundTrips)
{
    nOrvex engine;
    nMetaFile document;
    nMetaTag* tag = nMLParseRoot(document,
                                 "<Camera= <ZNear=0.5> <ZFar=300.0> <ZoomFactor=2.0> <ViewportOrigin= <X=0.25> <Y=0.5> >"
                                 " <ViewportSize= <X=0.5> <Y=0.75> > <Orthographic> <OrthographicWidth=8.0> <OrthographicHeight=6.0>"
                                 " <FStop=2.8> <FocalDistance=12.0> <AspectRatioRefYAxis=False> >");
    ASSERT_NE(tag, nullptr);
    nCamera a(&engine);
    ASSERT_TRUE(a.Deserialize(&document, tag));
    EXPECT_FLOAT_EQ(a.GetNear(), 0.5f);
    EXPECT_FLOAT_EQ(a.GetFar(), 300.0f);
    EXPECT_FLOAT_EQ(a.GetZoom(), 2.0f);
    EXPECT_TRUE(a.IsOrthographic());
    EXPECT_FLOAT_EQ(a.GetOrthographicWidth(), 8.0f);
    EXPECT_FLOAT_EQ(a.GetOrthographicHeight(), 6.0f);
    EXPECT_FLOAT_EQ(a.GetViewportOrigin().x, 0.25f);
    EXPECT_FLOAT_EQ(a.GetViewportSize().y, 0.75f);
    EXPECT_FALSE(a.GetAspectReferenceY());
    EXPECT_FLOAT_EQ(a.GetRegistry().GetFloat("PostProcess:Dof:FStop;", 0.0f), 2.8f);
    EXPECT_FLOAT_EQ(a.GetRegistry().GetFloat("PostProcess:Dof:FDist;", 0.0f), 12.0f);

    nMetaFile out;
    nMetaTag* written = a.Serialize(&out);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(nMLChildNames(written), (Names{"Item", "ZNear", "ZFar", "ZoomFactor", "ViewportOrigin", "ViewportSize",
                                             "Orthographic", "OrthographicWidth", "OrthographicHeight",
                                             "AspectRatioRefYAxis"}));
    nCamera b(&engine);
    ASSERT_TRUE(b.Deserialize(&out, written));
    EXPECT_FLOAT_EQ(b.GetNear(), 0.5f);
    EXPECT_FLOAT_EQ(b.GetFar(), 300.0f);
    EXPECT_FLOAT_EQ(b.GetZoom(), 2.0f);
    EXPECT_TRUE(b.IsOrthographic());
    EXPECT_FLOAT_EQ(b.GetOrthographicHeight(), 6.0f);
    EXPECT_FLOAT_EQ(b.GetViewportSize().x, 0.5f);
    EXPECT_FALSE(b.GetAspectReferenceY());
    // The depth-of-field values travel in the node's registry.
    EXPECT_FLOAT_EQ(b.GetRegistry().GetFloat("PostProcess:Dof:FStop;", 0.0f), 2.8f);
    delete written;
}

TEST(CameraNML, ReaderBoundsAndReports)
{
    nOrvex engine;
    nMetaFile document;
    nCamera camera(&engine);
    nLogCapture capture;
    ASSERT_TRUE(camera.Deserialize(&document, nMLParseRoot(document, "<Camera= <ZNear=0.05> <ZoomFactor=0.0> <Lens=1> >")));
    EXPECT_FLOAT_EQ(camera.GetNear(), 0.2f);
    EXPECT_FLOAT_EQ(camera.GetZoom(), 0.1f);  // a zero zoom would divide the screen mapping by zero
    nVector out;
    camera.ScreenToWorld(out, 1.0f, 1.0f, 2.0f, 1.0f);
    EXPECT_TRUE(std::isfinite(out.x) && std::isfinite(out.y));
    nMetaFile other;
    EXPECT_FALSE(camera.Deserialize(&other, nMLParseRoot(other, "<Kamera= >")));
    EXPECT_EQ(capture.Lines(), (Names{"[*] Unknown tag 'Lens' in <Camera>.\n",
                                      "[!] Could not parse camera. Root tag id is incorrect (Kamera).\n"}));
}

TEST(CameraNML, ManagedFormHoldsTheItemAndTheCamera)
{
    nKitScene k;
    nMCamera* a = static_cast<nMCamera*>(k.scene->CreateCamera("eye"));
    a->GetCamera().SetNear(2.0f);
    a->GetCamera().SetPosition(nVector(1.0f, 2.0f, 3.0f));
    nMetaFile document;
    nMetaTag* tag = a->Serialize(&document);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetName(), "MCamera");
    EXPECT_EQ(nMLChildNames(tag), (Names{"MItem", "Camera"}));
    nMCamera* b = static_cast<nMCamera*>(k.scene->CreateCamera("copy"));
    nLogCapture capture;
    ASSERT_TRUE(b->Deserialize(&document, tag));
    EXPECT_EQ(b->GetName(), "eye");
    EXPECT_FLOAT_EQ(b->GetCamera().GetNear(), 2.0f);
    EXPECT_FLOAT_EQ(b->GetCamera().GetPosition().z, 3.0f);
    nMetaFile wrong;
    EXPECT_FALSE(b->Deserialize(&wrong, nMLParseRoot(wrong, "<MObject= >")));
    EXPECT_EQ(capture.Lines(),
              (Names{"[!] could not parse managed camera. Root tag id is incorrect (MObject).\n"}));
    delete tag;
}

}
