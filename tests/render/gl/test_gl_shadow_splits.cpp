// The parallel light's splits, computed without drawing: the split distances, and the
// orthographic camera fitted around each nested slice of the view enclosing all its corners.
#include <gtest/gtest.h>

#include <cmath>

#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"
#include "scene/nCamera.h"

namespace {

TEST(ShadowSplits, DistancesBlendUniformAndLogarithmicSteps)
{
    const struct
    {
        float lambda;
        float want[4];
    } cases[] = {
        {0.5f, {12.8187f, 26.6061f, 46.4039f, 100.0f}},
        {0.0f, {25.075f, 50.05f, 75.025f, 100.0f}},
        {1.0f, {0.562341f, 3.16228f, 17.7828f, 100.0f}},
    };
    for (const auto& c : cases)
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(nGL3Renderer::SplitDistance(0.1f, 100.0f, c.lambda, k), c.want[k], 0.0002f)
                << "lambda " << c.lambda << ", split " << k;
}

TEST(ShadowSplits, EverySplitCameraEnclosesItsSliceOfTheView)
{
    nOrvex engine;
    nCamera view(&engine);
    view.SetAspectRatio(0.75f);
    view.SetNear(0.5f);
    nCamera split(&engine);
    split.SetOrthographic(true);
    split.SetAspectRatio(1.0f);
    const struct
    {
        nVector viewAt, viewTurn, lightTurn;
    } cases[] = {
        {nVector(0, 5, -14, 1), nVector(0.3f, 0, 0, 1), nVector(0.9f, -0.6f, 0, 1)},
        {nVector(3, 1, 2, 1), nVector(-0.2f, 2.5f, 0.1f, 1), nVector(1.5f, 0, 0, 1)},
        {nVector(-20, 40, 7, 1), nVector(1.2f, -1.0f, 0, 1), nVector(0.1f, 3.0f, 0.4f, 1)},
    };
    for (const auto& c : cases) {
        view.SetPosition(c.viewAt);
        view.SetRotation(c.viewTurn);
        nMatrix4 light = nMatrix4::FromMatrix3(nMatrix3::FromEuler(c.lightTurn.x, c.lightTurn.y, c.lightTurn.z, RotationOrderDefault));
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(k);
            nFrustum slice;
            view.ComputeFrustum(&slice, view.GetNear(), nGL3Renderer::SplitDistance(view.GetNear(), 100.0f, 0.9f, k));
            split.SetMatrix(light);
            nGL3Renderer::FitSplitCamera(slice.corners, &split, 400.0f);
            // The fitted camera keeps the light's direction and sees every corner inside its box.
            const nVector z = split.GetWorldMatrix().GetColumn(2, false), lz = light.GetColumn(2, false);
            EXPECT_NEAR(z.x * lz.x + z.y * lz.y + z.z * lz.z, 1.0f, 1e-5f);
            nMatrix4 projection;
            split.ComputeProjectionMatrix(projection);
            const nMatrix4 toClip = projection * split.GetInverseWorldMatrix();
            for (const nVector& corner : slice.corners) {
                nVector p = corner;
                p.w = 1.0f;
                nVector clip;
                toClip.TransformArray(&clip, &p, 1);
                EXPECT_LE(std::fabs(clip.x / clip.w), 1.0001f);
                EXPECT_LE(std::fabs(clip.y / clip.w), 1.0001f);
                EXPECT_GE(clip.z / clip.w, 0.0f);
                EXPECT_LE(clip.z / clip.w, 1.0001f);
            }
        }
    }
}

}
