#include <gtest/gtest.h>

#include "render/raytrace/nRaytracerShading.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"

namespace {

void ExpectVector(const nVector& v, float x, float y, float z, float w)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
    EXPECT_FLOAT_EQ(v.w, w);
}

// Without a render map, or with a map lacking the channel's root, each channel gives the
// material's own value for it.
TEST(RaytracerShadingDefaults, ChannelsWithoutARootGiveTheMaterialDefaults)
{
    nMaterial material(nullptr);
    material.diffuse = nVector(0.25f, 0.5f, 0.75f, 1.0f);
    material.specular = nVector(0.1f, 0.2f, 0.3f, 0.4f);
    material.glossiness = 0.7f;
    nRaytracerShading shading(nullptr);
    nRaytraceHit hit;
    hit.material = &material;
    for (bool withMap : {false, true}) {
        SCOPED_TRACE(withMap ? "empty render map" : "no render map");
        if (withMap)
            material.SetRenderMap(new nRenderMap());
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapNormal), 0, 0, 1, 1);
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapDiffuse), 0.25f, 0.5f, 0.75f, 1);
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapModulate), 1, 1, 1, 1);
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapSpecular), 0.1f, 0.2f, 0.3f, 0.4f);
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapGlossiness), 0.7f, 0, 0, 1);
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapConstant), 0, 0, 0, 1);
        ExpectVector(shading.GetMaterialChannel(hit, RenderMapOpacity), 1, 0, 0, 1);
        ExpectVector(shading.GetMaterialChannel(hit, 7), -1, -1, -1, -1);
        ExpectVector(shading.GetMaterialChannel(hit, -1), -1, -1, -1, -1);
    }
}

}
