// The Renderer functions through real Squirrel on a recording renderer held as g_render: the
// census against the manifest, the registry, the control and system words, viewport, camera,
// fog, clearing, lines and crosses, statistics; the Scene functions that draw the debug view
// and write the reports; and the sweep of wrong kinds, null objects and odd numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/nPicture.h"
#include "resources/nTexture.h"
#include "scene/nLight.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nRendererScriptAPI.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scriptapi/nScriptAPITestKit.h"

namespace {

class RendererAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        ASSERT_TRUE(renderer.Open(800, 600, 32, 0));
        ASSERT_EQ(engine.GetRenderer(), &renderer);
        CreateScene();
        eye = scene->CreateCamera("eye");
        lamp = scene->CreateLight("lamp", LightTypePoint, 0.0f);
        Hold("g_render", &renderer, objectTypeRenderer);
        Hold("nullRenderer", 0, objectTypeRenderer);
        Hold("yard", scene, objectTypeScene);
        Hold("eye", eye, objectTypeItem);
        Hold("lamp", lamp, objectTypeItem);
        Hold("nullItem", 0, objectTypeItem);
        Hold("target", texture.Get(), objectTypeTexture);
        Hold("nullTexture", 0, objectTypeTexture);
        Hold("picture", picture.Get(), objectTypePicture);
        Hold("nullPicture", 0, objectTypePicture);
        log.Clear();
    }
    void TearDown() override
    {
        renderer.SetCamera(0);
        renderer.SetRenderTarget(0);
        nScriptAPITest::TearDown();
    }

    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
    nSharedPtr<nTexture> texture{new nTexture(&engine, 1, 0)};  // script objects of these hold references
    nSharedPtr<nPicture> picture{new nPicture()};
    nMItem* eye = 0;
    nMItem* lamp = 0;
};

TEST_F(RendererAPI, RegistersTheManifestsNamesMasksAndConstants)
{
    std::vector<std::string> expected, added = NamesAddedBy(RegisterRendererScriptAPI);
    const std::vector<ManifestFunction> functions = ReadFunctionManifest("renderer_functions.tsv");
    const std::vector<ManifestConstant> constants = ReadConstantManifest("renderer_constants.tsv");
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, expected);
    std::vector<Function> registered;
    for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    for (const ManifestConstant& c : constants) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
}

TEST_F(RendererAPI, RegistryKeysKeepTheirTypeAndAnythingElseIsMinusOne)
{
    ExpectEvals({
        {"RendererRegistryGetKey(g_render, \"Antialising:Sample;\")", "-1"},
        {"RendererRegistrySetKey(g_render, \"Antialising:Sample;\", 1.5)", "null"},
        {"RendererRegistryGetKey(g_render, \"Antialising:Sample;\")", "1.5"},
        {"typeof RendererRegistryGetKey(g_render, \"Antialising:Sample;\")", "float"},
        {"RendererRegistrySetKey(g_render, \"Antialising:Enable\", true)", "null"},
        {"RendererRegistryGetKey(g_render, \"Antialising:Enable;\")", "true"},
        {"RendererRegistrySetKey(g_render, \"ShadowMapping:Size;\", 512)", "null"},
        {"RendererRegistryGetKey(g_render, \"ShadowMapping:Size;\")", "512"},
        {"RendererRegistrySetKey(g_render, \"Name;\", \"deferred\")", "null"},
        {"RendererRegistryGetKey(g_render, \"Name;\")", "deferred"},
        {"RendererRegistryGetKey(g_render, \"Antialising;\")", "-1"},  // a node, not a value
        {"RendererRegistrySetKey(g_render, \"Antialising:Sample;\", 2)", "null"},
        {"RendererRegistryGetKey(g_render, \"Antialising:Sample;\")", "2"},
    });
    EXPECT_TRUE(log.Lines().empty());
    // The renderer itself reads what scripts store.
    ASSERT_NE(renderer.FindRegistryKey("ShadowMapping:Size;"), nullptr);
    int32_t size = 0;
    EXPECT_TRUE(renderer.FindRegistryKey("ShadowMapping:Size;")->GetValue().GetInt(&size));
    EXPECT_EQ(size, 512);

    EXPECT_EQ(Run("RendererRegistrySetKey(g_render, \"Antialising:Sample;\", [1, 2])"), "");
    EXPECT_EQ(log.Lines(), (Lines{"[*] Incorrect binding argument count.\n"}));
    EXPECT_EQ(Eval("RendererRegistryGetKey(g_render, \"Antialising:Sample;\")"), "-1");
    EXPECT_EQ(Run("RendererRegistrySetKey(g_render, \"Empty;\", null)"), "");
    EXPECT_EQ(Eval("RendererRegistryGetKey(g_render, \"Empty;\")"), "-1");
}

TEST_F(RendererAPI, ControlAndSystemWordsSetClearAndTestAnyBit)
{
    Exec("RendererSetControlWord(g_render, RenderBloom | RenderDepthOfField | RenderMotionBlur, true)");
    EXPECT_EQ(renderer.GetControlWord(), (uint32_t)(RendererControlBloom | RendererControlDepthOfField | RendererControlMotionBlur));
    Exec("RendererSetControlWord(g_render, RenderBloom | RenderDepthOfField, false)");
    EXPECT_EQ(renderer.GetControlWord(), (uint32_t)RendererControlMotionBlur);
    Exec("RendererSetControlFlag(g_render, RenderMotionBlur, false); RendererSetControlFlag(g_render, RenderShadowMapping, true)");
    ExpectEvals({
        {"RendererGetControlFlag(g_render, 3)", "true"},
        {"RendererGetControlWord(g_render, RenderShadowMapping)", "true"},
        {"RendererGetControlFlag(g_render, RenderMotionBlur)", "false"},
        {"RendererGetControlFlag(g_render, 0)", "false"},
        {"RendererGetSystemWord(g_render, RenderVSync)", "false"},
    });
    Exec("RendererSetSystemWord(g_render, RenderVSync | 1, true)");
    EXPECT_EQ(renderer.GetSystemWord(), (uint32_t)(RendererSystemVSync | RendererSystemEnableDebug));
    Exec("RendererSetSystemWord(g_render, 1, false)");
    EXPECT_EQ(renderer.GetSystemWord(), (uint32_t)RendererSystemVSync);
    EXPECT_EQ(Eval("RendererGetSystemWord(g_render, -1)"), "true");
}

TEST_F(RendererAPI, ViewportIsInFractionsOfTheOutputAndReadsBackTheOutput)
{
    calls.Clear();
    Exec("RendererSetViewport(g_render, 0, 0, 0.5, 0.5)");
    Exec("RendererSetViewport(g_render, 0.25, 0.1, 0.999, 1)");
    EXPECT_EQ(calls.Calls(), (Lines{"render.SetViewport(0,0,400,300)", "render.SetViewport(200,60,799,600)"}));
    EXPECT_EQ(Eval("RendererGetViewport(g_render)"), "0 0 800");
    const nVector viewport = Vec("RendererGetViewport(g_render)");
    EXPECT_EQ(viewport.w, 600.0f);
}

TEST_F(RendererAPI, CameraAspectFogClippingClearingAndOutput)
{
    EXPECT_EQ(Run("RendererSetViewItemAndApplyView(g_render, lamp)"), "Item is not a camera");
    EXPECT_EQ(Run("RendererSetViewItemAndApplyView(g_render, nullItem)"), "CObject is null");
    EXPECT_EQ(renderer.GetCamera(), nullptr);
    calls.Clear();
    Exec("RendererSetViewItemAndApplyView(g_render, eye)");
    EXPECT_EQ(renderer.GetCamera(), eye->GetItem());
    EXPECT_EQ(calls.Calls(), (Lines{"render.ApplyCamera"}));

    ExpectEvals({
        {"RendererGetGlobalAspectRatio(g_render)", "1"},
        {"RendererSetGlobalAspectRatio(g_render, 1.25)", "1"},
        {"RendererSetGlobalAspectRatio(g_render, 2)", "1.25"},
        {"RendererGetGlobalAspectRatio(g_render)", "2"},
    });

    Exec("RendererSetFog(g_render, true, Vector(0.25, 0.5, 0.75), 10, 100)");
    EXPECT_TRUE(renderer.IsFogEnabled());
    EXPECT_EQ(renderer.GetFogColour().x, 0.25f);
    EXPECT_EQ(renderer.GetFogColour().z, 0.75f);
    ExpectEvals({{"RendererGetFogNear(g_render)", "10"}, {"RendererGetFogFar(g_render)", "100"}});
    // A colour that is not a Vector is refused: the fog stays as it was.
    EXPECT_EQ(Run("RendererSetFog(g_render, false, Matrix3(), 1, 2)"), "Invalid instance type");
    EXPECT_TRUE(renderer.IsFogEnabled());
    EXPECT_EQ(renderer.GetFogColour().y, 0.5f);
    EXPECT_EQ(renderer.GetFogNear(), 10.0f);

    calls.Clear();
    Exec("RendererClearFrame(g_render, 0.1, 0.2, 0.3)");
    Exec("RendererRenderQueue(g_render)");
    EXPECT_EQ(calls.Calls(), (Lines{"render.Clear(0.1,0.2,0.3,1,0)", "render.RenderQueue"}));

    Exec("RendererSetOutputTexture(g_render, target)");
    EXPECT_EQ(renderer.GetRenderTarget(), texture.Get());
    Exec("RendererSetOutputTexture(g_render, nullTexture)");
    EXPECT_EQ(renderer.GetRenderTarget(), nullptr);

    Exec("RendererSetCleanResourceOnSetup(g_render, false)");
    EXPECT_FALSE(renderer.GetCleanResourceOnSetup());
    EXPECT_EQ(Run("RendererGrabDisplayToPicture(g_render, nullPicture)"), "CObject is null");
    EXPECT_EQ(Run("RendererGrabDisplayToPicture(g_render, picture)"), "");
}

TEST_F(RendererAPI, LinesAndCrossesTakeTheirColourWithAlphaOne)
{
    Exec("RendererDrawLine(g_render, Vector(0, 0, 0), Vector(1, 0, 0))");
    Exec("RendererDrawLineColored(g_render, Vector(0, 0, 0), Vector(0, 1, 0), Vector(1, 0, 0))");
    Exec("RendererDrawCross(g_render, Vector(5, 5, 5))");
    Exec("RendererDrawCrossColored(g_render, Vector(5, 5, 5), Vector(0, 0, 1))");
    const auto& lines = renderer.GetLines();
    ASSERT_EQ(lines.size(), 1u + 1u + 3u + 3u);
    auto colour = [](const nVector& c) { return std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.z) + " " + std::to_string(c.w); };
    EXPECT_EQ(colour(lines[0].colour), colour(nVector(1, 1, 0, 1)));
    EXPECT_EQ(colour(lines[1].colour), colour(nVector(1, 0, 0, 1)));
    EXPECT_EQ(colour(lines[2].colour), colour(nVector(1, 1, 1, 1)));
    EXPECT_EQ(colour(lines[7].colour), colour(nVector(0, 0, 1, 1)));
    EXPECT_NEAR((lines[2].to - lines[2].from).Length(), 2.0f, 1e-6f);  // half size 1
    EXPECT_EQ(Run("RendererDrawLine(g_render, Vector(0, 0, 0), Matrix3())"), "Invalid instance type");
    EXPECT_EQ(lines.size(), 8u);
}

TEST_F(RendererAPI, StatisticsReadThreeCountersAndResetToZero)
{
    RendererStatistics& s = renderer.GetStatistics();
    s.objectsSent = 7, s.objectsDrawn = 5, s.trianglesDrawn = 900, s.queuePasses = 2;
    Exec("g_stats <- RendererGetStatistics(g_render)");
    ExpectEvals({
        {"g_stats.object_sent", "7"},
        {"g_stats.object_drawn", "5"},
        {"g_stats.triangle_drawn", "900"},
        {"g_stats.len()", "3"},
    });
    Exec("RendererResetStatistics(g_render); g_stats = RendererGetStatistics(g_render)");
    ExpectEvals({{"g_stats.object_sent", "0"}, {"g_stats.object_drawn", "0"}, {"g_stats.triangle_drawn", "0"}});
    EXPECT_EQ(s.queuePasses, 0u);
}

TEST_F(RendererAPI, SceneFunctionsDrawTheDebugViewAndWriteTheReports)
{
    Exec("SceneDebug(yard)");
    // The camera's and the lamp's crosses on the current renderer.
    EXPECT_EQ(renderer.GetLines().size(), 6u);
    Exec("SceneDebugPath(yard)");
    EXPECT_EQ(renderer.GetLines().size(), 6u);  // no paths
    log.Clear();
    Exec("SceneAudit(yard)");
    EXPECT_EQ(log.Lines().back(), "\n");
    EXPECT_EQ(log.Lines()[1], "Running scene audit:\n");
    log.Clear();
    Exec("ScenePrintItemList(yard)");
    ASSERT_GT(log.Lines().size(), 3u);
    EXPECT_EQ(log.Lines()[2], "[|] Camera list follows (1 entries) :\n");
    EXPECT_EQ(log.Lines()[3], "[|]   - eye\n");
    Hold("noScene", 0, objectTypeScene);
    for (const char* f : {"SceneDebug", "SceneDebugPath", "SceneAudit", "ScenePrintItemList"})
        EXPECT_EQ(Run(std::string(f) + "(noScene)"), "CObject is null") << f;
}

TEST_F(RendererAPI, SweepOfKindsNullsAndOddNumbers)
{
    // Good values by mask letter: i, n, s, b, x (by position: a Vector unless the row says).
    const std::vector<std::string> ints = {"0", "1", "-1", "2147483647", "-2147483648", "4294967296"};
    const std::vector<std::string> numbers = {"0.0", "-1.0", "(0.0 / 0.0)", "1e30", "-1e30", "7"};
    const std::vector<std::string> strings = {"\"\"", "\"A:B;\"", "\";;::\"", "\":\"", "\"" + std::string(300, 'k') + "\""};
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "Vector(0, 0, 0)",
                                            "Matrix4()", "nullRenderer", "yard", "eye", "nullItem", "picture"};
    const std::vector<std::string> objects = {"g_render", "nullRenderer", "yard", "eye", "lamp", "nullItem", "target",
                                              "nullTexture", "picture", "nullPicture", "Vector(1, 2, 3)"};
    const std::vector<std::string> knownErrors = {"wrong number of parameters", "parameter ", "CObject is null",
                                                  "Expected '", "Invalid instance type", "Item is not a camera",
                                                  "invalid type tag"};
    int count = 0;
    for (const ManifestFunction& f : ReadFunctionManifest("renderer_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (char l : letters) {
            if (l == 'i') base.push_back("1");
            else if (l == 'n') base.push_back("0.5");
            else if (l == 's') base.push_back("\"Key;\"");
            else if (l == 'b') base.push_back("true");
            else if (l == 'x') base.push_back(base.empty() ? "g_render" : "Vector(1, 2, 3)");
            else base.push_back("1");
        }
        std::vector<std::vector<std::string>> argLists = {base};
        for (size_t p = 0; p < letters.size(); ++p) {
            const char l = letters[p];
            const std::vector<std::string>& good = l == 'i' ? ints : l == 'n' ? numbers
                                                                 : l == 's'   ? strings
                                                                              : objects;
            if (l == 'i' || l == 'n' || l == 's' || l == 'x')
                for (const std::string& value : good) {
                    auto a = base;
                    a[p] = value;
                    argLists.push_back(a);
                }
            for (const std::string& value : wrong) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
        }
        argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        for (const std::vector<std::string>& args : argLists) {
            const std::string call = CallText(f.name, args);
            const std::string result = Run(call);
            ++count;
            if (!result.empty()) {
                EXPECT_TRUE(IsKnownError(result, knownErrors)) << call << " raised " << result;
            }
            ASSERT_FALSE(vm.IsKilled()) << call;
        }
        EXPECT_EQ(Run(CallText(f.name, [&] { auto a = base; a[0] = "nullRenderer"; return a; }())), "CObject is null") << f.name;
    }
    EXPECT_GT(count, 500);
}

}
