#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/nFrustum.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "scene/nLight.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Names;

// The tag tree as text: names, values and children, for comparing two trees.
std::string Describe(nMetaTag* tag)
{
    std::ostringstream out;
    out << tag->GetName().GetCStr();
    const nVariant& v = tag->GetValue();
    float f = 0.0f;
    int32_t i = 0;
    bool b = false;
    const char* s = 0;
    if (v.GetType() == TagType_Real && v.GetFloat(&f)) out << "=" << f;
    else if (v.GetType() == TagType_Integer && v.GetInt(&i)) out << "=" << i;
    else if (v.GetType() == TagType_Bool && v.GetBool(&b)) out << "=" << (b ? "true" : "false");
    else if (v.GetString(&s)) out << "=\"" << s << "\"";
    nMetaTagIterator it;
    out << "(";
    while (nMetaTag* child = tag->NextChild(it)) out << Describe(child) << " ";
    out << ")";
    return out.str();
}

nVector Towards(float angle, float distance)
{
    return nVector(distance * std::sin(angle), 0.0f, distance * std::cos(angle));
}

TEST(Light, NewLightIsAWhiteUnlimitedPointLight)
{
    nOrvex engine;
    nLight light(&engine);
    EXPECT_EQ(light.GetType(), LightTypePoint);
    EXPECT_FLOAT_EQ(light.GetDiffuseIntensity(), 1.0f);
    EXPECT_FLOAT_EQ(light.GetSpecularIntensity(), 0.0f);
    EXPECT_FLOAT_EQ(light.GetRange(), 0.0f);
    EXPECT_FLOAT_EQ(light.GetConeAngle() + light.GetEdgeAngle(), 1.0471976f);
    EXPECT_FLOAT_EQ(light.GetDiffuse().x, 1.0f);
    EXPECT_FLOAT_EQ(light.GetVolumeRange(), 500.0f);
    EXPECT_FLOAT_EQ(light.GetNear(), 0.02f);
}

TEST(Light, OnlySpotLightsProjectAndEdgeOfTheConeMapsToTheViewEdge)
{
    nOrvex engine;
    for (int32_t type : {LightTypeNone, LightTypePoint, LightTypeParallel, LightTypeArea}) {
        nLight light(&engine);
        light.SetType(type);
        nMatrix4 q;
        q.m[3] = 9.0f;
        light.GetProjectionMatrix(q);
        for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(q.m[i], nMatrix4().m[i]) << "type " << type;
    }
    nLight spot(&engine);
    spot.SetType(LightTypeSpot);
    nMatrix4 q;
    spot.GetProjectionMatrix(q);
    EXPECT_NEAR(q.m[0], 0.5773503f, 1e-6f);  // cot(60 degrees)
    EXPECT_NEAR(q.m[5], 0.5773503f, 1e-6f);
    const float a = 500.0f / (500.0f - 0.02f);
    EXPECT_FLOAT_EQ(q.m[10], a);
    EXPECT_FLOAT_EQ(q.m[11], -a * 0.02f);
    EXPECT_FLOAT_EQ(q.m[14], 1.0f);
    EXPECT_FLOAT_EQ(q.m[15], 0.0f);
    // A point on the rim of the spot extent lands on the edge of the projected view.
    spot.SetConeAngle(0.3f);
    spot.SetEdgeAngle(0.1f);
    spot.GetProjectionMatrix(q);
    nVector rim = Towards(0.4f, 10.0f);
    EXPECT_NEAR(q.m[0] * rim.x / rim.z, 1.0f, 1e-5f);
    // A zero extent and a far plane on the near plane still give finite numbers.
    spot.SetConeAngle(0.0f);
    spot.SetEdgeAngle(0.0f);
    spot.SetVolumeRange(0.02f);
    spot.GetProjectionMatrix(q);
    for (float v : q.m) EXPECT_TRUE(std::isfinite(v));
}

TEST(Light, SpotShadowFrustumCoversTheConeFromNearToVolumeRange)
{
    nOrvex engine;
    nLight spot(&engine);
    spot.SetType(LightTypeSpot);
    spot.SetConeAngle(0.3f);
    spot.SetEdgeAngle(0.1f);
    spot.SetPosition(nVector(0.0f, 3.0f, 0.0f));
    spot.GetWorldMatrix();
    const nVector up(0.0f, 3.0f, 0.0f);
    struct Case
    {
        const char* name;
        nVector p;
        bool inside;
    } cases[] = {
        {"on the axis", up + Towards(0.0f, 50.0f), true},
        {"inside the rim", up + Towards(0.38f, 50.0f), true},
        {"beyond the rim", up + Towards(0.42f, 50.0f), false},
        {"beyond the volume range", up + Towards(0.0f, 501.0f), false},
        {"before the near distance", up + Towards(0.0f, 0.01f), false},
        {"behind", up + Towards(0.0f, -5.0f), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(spot.GetShadowFrustum().TestSphere(c.p, 0.0f) != VisibilityOutside, c.inside);
    }
    // Other types keep whatever frustum they had.
    nLight point(&engine);
    point.SetPosition(nVector(1.0f, 2.0f, 3.0f));
    point.GetWorldMatrix();
    for (const nVector& corner : point.GetShadowFrustum().corners) EXPECT_FLOAT_EQ(corner.Length(), 0.0f);
}

TEST(Light, LightingAtASurfacePoint)
{
    nOrvex engine;
    const nVector towardsLight(0.0f, 0.0f, -1.0f);
    struct Case
    {
        const char* name;
        int32_t type;
        float range;
        nVector point, normal;
        bool lit;
        float diffuse;
    } cases[] = {
        {"half the range", LightTypePoint, 10.0f, nVector(0, 0, 5), towardsLight, true, 0.5f},
        {"at the range", LightTypePoint, 10.0f, nVector(0, 0, 10), towardsLight, false, 0.0f},
        {"beyond the range", LightTypePoint, 10.0f, nVector(0, 0, 12), towardsLight, false, 0.0f},
        {"unlimited range", LightTypePoint, 0.0f, nVector(0, 0, 1000), towardsLight, true, 1.0f},
        {"facing away", LightTypePoint, 0.0f, nVector(0, 0, 5), nVector(0, 0, 1), false, 0.0f},
        {"slanted", LightTypePoint, 0.0f, nVector(0, 0, 5), nVector(0.0f, 0.6f, -0.8f), true, 0.8f},
        {"parallel ignores the range", LightTypeParallel, 10.0f, nVector(0, 0, 1000), towardsLight, true, 1.0f},
        {"parallel, slanted", LightTypeParallel, 0.0f, nVector(7, 7, 7), nVector(0.0f, 0.6f, -0.8f), true, 0.8f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nLight light(&engine);
        light.SetType(c.type);
        light.SetRange(c.range);
        float diffuse = -1.0f;
        EXPECT_EQ(light.ComputeLighting(c.point, c.normal, &diffuse, nullptr, nullptr, 0.0f, false, false), c.lit);
        if (c.lit) {
            EXPECT_NEAR(diffuse, c.diffuse, 1e-5f);
        }
    }
    nLight light(&engine);
    EXPECT_FALSE(light.ComputeLighting(nVector(0, 0, 5), towardsLight, nullptr, nullptr, nullptr, 0.0f, false, false));
}

TEST(Light, SpotLightFadesAcrossTheEdge)
{
    nOrvex engine;
    nLight spot(&engine);
    spot.SetType(LightTypeSpot);
    spot.SetConeAngle(0.3f);
    spot.SetEdgeAngle(0.2f);
    spot.SetDiffuseIntensity(2.0f);
    struct Case
    {
        float angle;
        bool lit;
        float diffuse;
    } cases[] = {{0.0f, true, 2.0f}, {0.2f, true, 2.0f}, {0.4f, true, 1.0f}, {0.45f, true, 0.5f}, {0.55f, false, 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        nVector p = Towards(c.angle, 5.0f);
        float diffuse = -1.0f;
        EXPECT_EQ(spot.ComputeLighting(p, (-p).Normalize(), &diffuse, nullptr, nullptr, 0.0f, false, false), c.lit);
        if (c.lit) {
            EXPECT_NEAR(diffuse, c.diffuse, 1e-4f);
        }
    }
}

TEST(Light, SpecularByReflectionOrHalfVector)
{
    nOrvex engine;
    nLight light(&engine);
    light.SetSpecularIntensity(1.0f);
    const nVector p(0.0f, 0.0f, 5.0f), n(0.0f, 0.0f, -1.0f);
    const nVector slanted(0.6f, 0.0f, 0.8f);
    const float gloss = 1.0f / 96.0f;  // the exponent becomes 1
    float diffuse = 0.0f, specular = -1.0f;
    ASSERT_TRUE(light.ComputeLighting(p, n, &diffuse, &specular, nullptr, gloss, false, false));
    EXPECT_FLOAT_EQ(specular, 0.0f);  // no view direction
    ASSERT_TRUE(light.ComputeLighting(p, n, nullptr, &specular, &slanted, gloss, false, false));
    EXPECT_NEAR(specular, 0.8f, 1e-5f);
    ASSERT_TRUE(light.ComputeLighting(p, n, nullptr, &specular, &slanted, gloss, true, false));
    EXPECT_NEAR(specular, 1.8f / std::sqrt(3.6f), 1e-5f);
    ASSERT_TRUE(light.ComputeLighting(p, n, nullptr, &specular, &slanted, 2.0f * gloss, false, false));
    EXPECT_NEAR(specular, 0.64f, 1e-5f);
    nLogCapture capture;
    ASSERT_TRUE(light.ComputeLighting(p, n, nullptr, &specular, &slanted, gloss, false, true));
    EXPECT_FLOAT_EQ(specular, 0.0f);
    EXPECT_EQ(capture.Lines(), (Names{"[*] Cook-Torrance specular model not implemented.\n"}));
}

TEST(LightNML, DefaultLightWritesTypeAndTheVolumetricValuesOnly)
{
    nOrvex engine;
    nLight light(&engine);
    nMetaFile document;
    nMetaTag* tag = light.Serialize(&document);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(nMLChildNames(tag), (Names{"Item", "Type", "VolumetricSampleStep", "VolumetricThick", "VolumetricRange"}));
    const char* type = 0;
    ASSERT_TRUE(tag->FindPath("Type;")->GetValue().GetString(&type));
    EXPECT_STREQ(type, "Point");
    delete tag;
}

TEST(LightNML, EverySettingRoundTripsInWritingOrder)
{
    nOrvex engine;
    nMetaFile document;
    nMetaTag* tag = nMLParseRoot(document,
                                 "<Light= <Type=\"Spot\"> <Shadow=\"Map\"> <ShadowRange=50.0> <ShadowBias=0.5> <ShadowDistribution=0.5>"
                                 " <ShadowColor= <X=0.25> <Y=0.0> <Z=0.0> > <Volumetric> <VolumetricSampleStep=0.25> <VolumetricThick=2.0>"
                                 " <VolumetricRange=4.0> <ZNear=0.5> <Falloff=\"InvDist2\"> <Range=30.0> <VolumeRange=60.0>"
                                 " <ClipDistance=70.0> <Diffuse= <X=1.0> <Y=0.5> <Z=0.25> > <Specular= <X=0.5> <Y=0.5> <Z=0.5> >"
                                 " <DiffuseIntensity=3.0> <SpecularIntensity=0.75> <ConeAngle=0.25> <EdgeAngle=0.125> <Shader=\"glow\"> >");
    ASSERT_NE(tag, nullptr);
    nLight a(&engine);
    ASSERT_TRUE(a.Deserialize(&document, tag));
    EXPECT_EQ(a.GetType(), LightTypeSpot);
    EXPECT_EQ(a.GetShadow(), LightShadowMap);
    EXPECT_EQ(a.GetFalloff(), LightFalloffInverseSquareDistance);
    EXPECT_FLOAT_EQ(a.GetDiffuse().y, 0.5f);
    EXPECT_STREQ(a.GetShader().GetCStr(), "glow");
    nMetaFile out;
    nMetaTag* written = a.Serialize(&out);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(nMLChildNames(written),
              (Names{"Item", "Type", "Shadow", "ShadowRange", "ShadowBias", "ShadowDistribution", "ShadowColor",
                     "Volumetric", "VolumetricSampleStep", "VolumetricThick", "VolumetricRange", "ZNear", "Falloff",
                     "Range", "VolumeRange", "ClipDistance", "Diffuse", "Specular", "DiffuseIntensity",
                     "SpecularIntensity", "ConeAngle", "EdgeAngle", "Shader"}));
    nLight b(&engine);
    ASSERT_TRUE(b.Deserialize(&out, written));
    nMetaFile again;
    nMetaTag* rewritten = b.Serialize(&again);
    EXPECT_EQ(Describe(rewritten), Describe(written));
    delete written;
    delete rewritten;
}

TEST(LightNML, ReadingRestoresDefaultsAndBoundsValues)
{
    nOrvex engine;
    nLight light(&engine);
    light.SetDiffuseIntensity(5.0f);
    light.SetRange(3.0f);
    light.SetShader("old");
    nMetaFile document;
    nLogCapture capture;
    ASSERT_TRUE(light.Deserialize(&document, nMLParseRoot(document,
                                                          "<Light= <Falloff=\"Quadratic\"> <VolumeRange=0.0> <ZNear=0.05> <VolumetricThickness=3.0> <Glow=1> >")));
    EXPECT_FLOAT_EQ(light.GetDiffuseIntensity(), 1.0f);
    EXPECT_FLOAT_EQ(light.GetRange(), 0.0f);
    EXPECT_TRUE(light.GetShader().IsEmpty());
    EXPECT_EQ(light.GetFalloff(), LightFalloffLinear);
    EXPECT_FLOAT_EQ(light.GetVolumeRange(), 500.0f);
    EXPECT_FLOAT_EQ(light.GetNear(), 0.1f);
    EXPECT_FLOAT_EQ(light.GetVolumetricRange(), 3.0f);  // the older key fills the range
    EXPECT_FLOAT_EQ(light.GetVolumetricThickness(), 1.0f);
    nMetaFile wrong;
    EXPECT_FALSE(light.Deserialize(&wrong, nMLParseRoot(wrong, "<Lamp= >")));
    EXPECT_EQ(capture.Lines(), (Names{"[*] Bogus light falloff 'Quadratic'.\n", "[*] Unknown tag 'Glow' in <Light>.\n",
                                      "[!] Could not parse light. Root tag id is incorrect (Lamp).\n"}));
}

TEST(LightNML, ManagedFormHoldsTheItemAndTheLight)
{
    nKitScene k;
    nMLight* a = static_cast<nMLight*>(k.scene->CreateLight("lamp", LightTypeSpot, 0.5f));
    a->GetLight().SetDiffuseIntensity(4.0f);
    nMetaFile document;
    nMetaTag* tag = a->Serialize(&document);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetName(), "MLight");
    EXPECT_EQ(nMLChildNames(tag), (Names{"MItem", "Light"}));
    nMLight* b = static_cast<nMLight*>(k.scene->CreateLight("other", LightTypePoint, 0.5f));
    ASSERT_TRUE(b->Deserialize(&document, tag));
    EXPECT_EQ(b->GetName(), "lamp");
    EXPECT_EQ(b->GetLight().GetType(), LightTypeSpot);
    EXPECT_FLOAT_EQ(b->GetLight().GetDiffuseIntensity(), 4.0f);
    nLogCapture capture;
    nMetaFile wrong;
    EXPECT_FALSE(b->Deserialize(&wrong, nMLParseRoot(wrong, "<MCamera= >")));
    EXPECT_EQ(capture.Lines(), (Names{"[!] Could not parse managed light. Root tag id is incorrect (MCamera).\n"}));
    delete tag;
}

TEST(ManagedLight, FactoryRendererCallsAndActivity)
{
    nKitScene k;
    nMLight* plain = new nMLight(k.scene);
    EXPECT_FLOAT_EQ(plain->GetPriority(), 1.0f);
    nMLight* a = static_cast<nMLight*>(k.scene->CreateLight("a", LightTypeParallel, 0.25f));
    nMLight* b = static_cast<nMLight*>(k.scene->CreateLight("b", LightTypeSpot, 0.75f));
    EXPECT_EQ(a->GetLight().GetType(), LightTypeParallel);
    EXPECT_FLOAT_EQ(a->GetPriority(), 0.25f);
    ASSERT_EQ(k.scene->GetLights().GetCount(), 2);
    EXPECT_EQ(k.scene->GetLights().GetHead()->value, a);  // appended, not sorted
    EXPECT_EQ(k.scene->GetLights().GetTail()->value, b);

    std::ostringstream id;
    id << static_cast<const void*>(&a->GetLight());
    k.log.Clear();
    a->Setup();
    k.scene->Evaluate(0);
    EXPECT_EQ(k.log.Containing(id.str()),
              (Names{"render.SetupLight(" + id.str() + ")", "render.UpdateLight(" + id.str() + ")"}));

    // Dimmed to nothing, the light reads inactive but stays in the scene's active list and
    // comes back with its intensity.
    a->GetLight().SetDiffuseIntensity(0.0f);
    EXPECT_FALSE(a->IsActive());
    k.scene->Evaluate(0);
    EXPECT_TRUE(k.scene->GetActiveItems().Contains(static_cast<nMItem*>(a)));
    a->GetLight().SetSpecularIntensity(0.5f);
    EXPECT_TRUE(a->IsActive());
    a->SetActive(false, false);
    EXPECT_FALSE(a->IsActive());

    k.log.Clear();
    k.scene->QueueDeletion(a);
    k.scene->FlushDeletionQueue();
    EXPECT_EQ(k.log.Containing(id.str()), (Names{"render.FreeLight(" + id.str() + ")"}));
}

}
