// The Renderer family's text functions through real Squirrel: the census against the
// manifests, raster fonts loaded by scripts (owned by their objects, null when they do not
// load), text written with them on a recording renderer, the sweep of wrong kinds, null
// objects and boundary numbers; and the scene's profiler functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/nSharedObject.h"
#include "resources/nRasterFont.h"
#include "resources/nTexture.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nWriterFontScriptAPI.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

class WriterFontAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        renderer.reset(new nRecordingRenderer(&engine, &calls));
        renderer->SetOutput(800.0f, 600.0f);
        std::string tga(18, '\0');
        tga[2] = 2;
        tga[12] = 1;
        tga[14] = 1;
        tga[16] = 32;
        tga[17] = 0x28;
        tga += std::string(4, '\xff');
        dir.Write("f_00.tga", tga);
        dir.Write("f.nml", "<NML=1.0>\n<Font= <Common= <Height=0.125> <BaseLine=0.0625> >\n"
                           "<Char= <Id=32> <Step=0.05> > <Char= <Id=65> <W=0.25> <H=0.5> <Step=0.5> > >\n");
        Hold("render", renderer.get(), objectTypeRenderer);
        Hold("nullRender", nullptr, objectTypeRenderer);
        Hold("nullFont", nullptr, objectTypeRasterFont);
        Hold("tex", nullptr, objectTypeTexture);
        Exec("::fontPath <- \"" + dir.Path("f.nml") + "\"; ::pageBase <- \"" + dir.Path("f") + "\";");
        Exec("::font <- RendererLoadWriterFont(render, fontPath, pageBase);");
        log.Clear();
    }
    void TearDown() override
    {
        Run("::font <- null; ::other <- null;");
        nScriptAPITest::TearDown();
        renderer.reset();
    }

    nCallLog calls;
    std::unique_ptr<nRecordingRenderer> renderer;
    nTempDir dir;
};

TEST_F(WriterFontAPI, CensusOfNamesAndConstantsAgainstTheManifests)
{
    const std::vector<ManifestFunction> functions = ReadFunctionManifest("writerfont_functions.tsv");
    const std::vector<ManifestConstant> constants = ReadConstantManifest("writerfont_constants.tsv");
    ASSERT_EQ(functions.size(), 4u);
    ASSERT_EQ(constants.size(), 3u);
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterWriterFontScriptAPI), expected);
    std::vector<Function> registered;
    for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    for (const ManifestConstant& c : constants) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
}

TEST_F(WriterFontAPI, AScriptLoadsAFontItOwnsAndReadsItsLineMetrics)
{
    ExpectEvals({
        {"font.type()", "11"},
        {"ObjectIsValid(font)", "true"},
        {"WriterFontGetLineHeight(font)", "0.125"},
        {"WriterFontGetBaseline(font)", "0.0625"},
    });
    // The object owns its font: the font's page texture loses the font's reference with it.
    ASSERT_TRUE(Push("font"));
    void* native = 0;
    ASSERT_TRUE(ScriptGetNativeObject(v, -1, &native, objectTypeRasterFont));
    sq_pop(v, 1);
    nSharedPtr<nTexture> page(static_cast<nRasterFont*>(native)->GetPageTexture(0));
    ASSERT_TRUE(page.IsValid());
    EXPECT_EQ(page->GetRefCount(), 2);
    Exec("::font <- null;");
    EXPECT_EQ(page->GetRefCount(), 1);
}

TEST_F(WriterFontAPI, AFontThatDoesNotLoadIsANullObject)
{
    Exec("::other <- RendererLoadWriterFont(render, \"nowhere.nml\", \"nowhere\");");
    EXPECT_EQ(log.Lines(), (Lines{"[*] Could not access file 'nowhere.nml'.\n", "[!] Failed to load raster font description file 'nowhere.nml'.\n"}));
    ExpectEvals({
        {"other.type()", "11"},
        {"ObjectIsValid(other)", "false"},
        {"WriterFontGetLineHeight(other)", "error: CObject is null"},
        {"RendererWrite(render, other, \"A\", 0, 0, 1, false, 0, Vector(1, 1, 1, 1))", "error: CObject is null"},
    });
    EXPECT_TRUE(renderer->writes.empty());
}

TEST_F(WriterFontAPI, WriteHandsTheRendererEveryArgumentAndTheColourWithItsAlpha)
{
    struct Case
    {
        const char* call;
        const char* text;
        float x, y, size;
        bool keepAspect;
        int32_t alignment;
        float r, g, b, a;
    };
    const Case cases[] = {
        {"RendererWrite(render, font, \"AA\", 0.1, 0.2, 1.0, false, WriterAlignLeft, Vector(1, 0, 0, 0.5))",
         "AA", 0.1f, 0.2f, 1.0f, false, 0, 1, 0, 0, 0.5f},
        {"RendererWrite(render, font, \"A\\nA\", 0, 1, 0.35, true, WriterAlignMiddle, Vector(0, 1, 0))",
         "A\nA", 0.0f, 1.0f, 0.35f, true, 1, 0, 1, 0, 1},
        {"RendererWrite(render, font, \"\", 1, 1, 2, true, WriterAlignRight, Vector(0, 0, 1, 0))",
         "", 1.0f, 1.0f, 2.0f, true, 2, 0, 0, 1, 0},
        // Integers are numbers; an alignment beyond the three is the renderer's to read as left.
        {"RendererWrite(render, font, \"A\", 0, 0, 1, false, 7, Vector(1, 1, 1, 1))", "A", 0, 0, 1, false, 7, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        renderer->writes.clear();
        EXPECT_EQ(Run(c.call), "") << c.call;
        ASSERT_EQ(renderer->writes.size(), 1u) << c.call;
        const auto& w = renderer->writes[0];
        EXPECT_EQ(w.text, c.text) << c.call;
        EXPECT_FLOAT_EQ(w.x, c.x) << c.call;
        EXPECT_FLOAT_EQ(w.y, c.y) << c.call;
        EXPECT_FLOAT_EQ(w.size, c.size) << c.call;
        EXPECT_EQ(w.keepAspect, c.keepAspect) << c.call;
        EXPECT_EQ(w.alignment, c.alignment) << c.call;
        ASSERT_TRUE(w.coloured) << c.call;
        EXPECT_FLOAT_EQ(w.colour.x, c.r) << c.call;
        EXPECT_FLOAT_EQ(w.colour.y, c.g) << c.call;
        EXPECT_FLOAT_EQ(w.colour.z, c.b) << c.call;
        EXPECT_FLOAT_EQ(w.colour.w, c.a) << c.call;
    }
}

TEST_F(WriterFontAPI, WrongKindsNullObjectsAndBoundaryNumbersRaiseKnownErrorsOnly)
{
    ExpectRuns({
        {"RendererWrite(nullRender, font, \"A\", 0, 0, 1, false, 0, Vector(1, 1, 1))", "CObject is null"},
        {"RendererWrite(render, nullFont, \"A\", 0, 0, 1, false, 0, Vector(1, 1, 1))", "CObject is null"},
        {"RendererWrite(render, font, \"A\", 0, 0, 1, false, 0, font)", "Invalid instance type"},
        {"RendererWrite(font, font, \"A\", 0, 0, 1, false, 0, Vector(1, 1, 1))", "Expected 'Renderer' got 'Raster Font'"},
        {"RendererWrite(render, render, \"A\", 0, 0, 1, false, 0, Vector(1, 1, 1))", "Expected 'Raster Font' got 'Renderer'"},
        {"WriterFontGetBaseline(render)", "Expected 'Raster Font' got 'Renderer'"},
        {"RendererLoadWriterFont(nullRender, fontPath, pageBase)", "CObject is null"},
    });
    EXPECT_TRUE(renderer->writes.empty());

    // The sweep: every function with each argument in turn replaced by wrong values, one too
    // few and one too many; the others plausible. Only the family's errors, never a kill.
    const std::vector<std::string> wrong = {
        "null", "0", "-1", "2147483648", "1e30", "-1e30", "\"\"", "\"text\"", "true", "[]", "{}", "Vector(1, 2, 3)",
        "nullRender", "nullFont", "tex", "CObject()", "font", "render", "(1.0 / 0.0)", "(0.0 / 0.0)"};
    const std::vector<std::string> known = {"wrong number of parameters", "parameter ", "CObject is null", "Expected '",
                                            "Invalid instance type", "invalid type tag"};
    auto plausible = [](const std::string& name, size_t position, char letter) -> std::string {
        if (letter == 'x') return position == 0 && name.rfind("WriterFont", 0) != 0 ? "render"
                                  : name == "RendererWrite" && position == 8        ? "Vector(1, 1, 1, 1)"
                                                                                    : "font";
        if (letter == 's') return position == 1 && name == "RendererLoadWriterFont"   ? "fontPath"
                                  : position == 2 && name == "RendererLoadWriterFont" ? "pageBase"
                                                                                      : "\"A\\nAA\"";
        if (letter == 'b') return "true";
        if (letter == 'i') return "1";
        return "0.5";
    };
    int calls = 0;
    for (const ManifestFunction& f : ReadFunctionManifest("writerfont_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (size_t p = 0; p < letters.size(); ++p) base.push_back(plausible(f.name, p, letters[p]));
        std::vector<std::vector<std::string>> argLists = {base};
        for (size_t p = 0; p < letters.size(); ++p)
            for (const std::string& value : wrong) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
        argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        auto more = base;
        more.push_back("0");
        argLists.push_back(more);
        for (const std::vector<std::string>& args : argLists) {
            // Fonts a sweep loads are dropped at once: a script value of the call is not kept.
            const std::string call = CallText(f.name, args);
            const std::string result = Run(call + ";");
            ++calls;
            if (!result.empty()) {
                EXPECT_TRUE(IsKnownError(result, known)) << call << " raised " << result;
            }
            ASSERT_FALSE(vm.IsKilled()) << call;
        }
    }
    EXPECT_GT(calls, 200);
    // The plausible calls wrote: boundary numbers (infinite, not a number, huge) included.
    EXPECT_FALSE(renderer->writes.empty());
}

// The scene's profiler through its functions: the font loaded by name, the full block at the
// player's place; a null scene is passed over by the first and refused by the second.
TEST_F(WriterFontAPI, TheSceneLoadsItsProfilerFontAndWritesItsBlock)
{
    CreateScene();
    Hold("yard", scene, objectTypeScene);
    Hold("noScene", nullptr, objectTypeScene);
    ExpectRuns({
        {"SceneUpdateProfiler(yard)", ""},  // no font yet: nothing written
        {"SceneCreateProfiler(noScene, fontPath, pageBase)", ""},
        {"SceneUpdateProfiler(noScene)", "CObject is null"},
    });
    EXPECT_TRUE(renderer->writes.empty());
    EXPECT_EQ(scene->GetProfilerFont(), nullptr);
    Exec("SceneCreateProfiler(yard, fontPath, pageBase); SceneUpdateProfiler(yard);");
    ASSERT_NE(scene->GetProfilerFont(), nullptr);
    ASSERT_EQ(renderer->writes.size(), 20u);  // ten lines, each after its shadow
    EXPECT_EQ(renderer->writes[1].text.rfind("Perf. = ", 0), 0u);
    EXPECT_FLOAT_EQ(renderer->writes[1].x, 0.025f);
    EXPECT_FLOAT_EQ(renderer->writes[1].y, 0.05f);
    EXPECT_EQ(renderer->writes[19].text, "Collision callback = 0.00 ms");
    // A name that does not load leaves no font, with the font's line.
    log.Clear();
    Exec("SceneCreateProfiler(yard, \"gone.nml\", \"gone\");");
    EXPECT_EQ(scene->GetProfilerFont(), nullptr);
    EXPECT_EQ(log.Lines(), (Lines{"[*] Could not access file 'gone.nml'.\n", "[!] Failed to load raster font description file 'gone.nml'.\n"}));
}

}
