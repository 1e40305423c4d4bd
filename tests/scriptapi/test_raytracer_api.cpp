// The Raytracer functions through real Squirrel: the census against the manifest, traces
// written as TGA files of the size asked for, the interlaced sequence of results, the option
// setters reaching the settings block, sizes from scripts refused or capped, the obsolete
// DeleteSelf, and a sweep of wrong kinds, null objects and boundary numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "render/raytrace/nRaytracer.h"
#include "resources/nPicture.h"
#include "scene/nCamera.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nRaytracerScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

class RaytracerAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        // Paths the sweep gives as they are ("s", "") land in the scratch folder.
        char* here = getcwd(0, 0);
        previousDir = here ? here : ".";
        std::free(here);
        ASSERT_EQ(chdir(dir.Root().c_str()), 0);
        CreateScene();
        nMCamera* camera = static_cast<nMCamera*>(scene->CreateCamera("camera"));
        camera->GetCamera().SetPosition(nVector(0, 0, -5));
        scene->SetCurrentCamera(&camera->GetCamera());
        scene->SetBackgroundColour(nVector(1, 0, 0, 1));
        Hold("engine", &engine, objectTypeEngine);
        Hold("level", scene, objectTypeScene);
        Hold("rt", &tracer, objectTypeRaytracer);
        Hold("nullRaytracer", 0, objectTypeRaytracer);
        Hold("nullScene", 0, objectTypeScene);
        Exec("dir <- \"" + dir.Root() + "/\";");
        log.Clear();
    }
    void TearDown() override
    {
        nScriptAPITest::TearDown();
        EXPECT_EQ(chdir(previousDir.c_str()), 0);
    }
    nRaytracerSettings Settings() const
    {
        nRaytracerSettings s;
        tracer.GetSettings(s);
        return s;
    }

    nTempDir dir;
    std::string previousDir;
    nRaytracer tracer{&engine};
};

TEST_F(RaytracerAPI, CensusOfNamesAgainstTheManifest)
{
    std::vector<ManifestFunction> functions = ReadFunctionManifest("raytracer_functions.tsv");
    ASSERT_EQ(functions.size(), 8u);
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterRaytracerScriptAPI), expected);
    std::vector<Function> closures;
    for (const ManifestFunction& f : functions) closures.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(closures.data(), closures.size());
}

TEST_F(RaytracerAPI, ATraceIsWrittenAsATGAFileOfTheSizeAskedFor)
{
    Exec("r <- EngineNewRaytracer(engine);");
    EXPECT_EQ(Eval("RaytracerTrace(r, dir + \"none.tga\", 32, 24)"), "false");  // no scene yet
    EXPECT_FALSE(dir.Exists("none.tga"));
    Exec("RaytracerSetAntialias(r, false, 4, 0.0075, false);");
    EXPECT_EQ(Eval("RaytracerSetScene(r, level)"), "true");
    EXPECT_EQ(Eval("RaytracerTrace(r, dir + \"view.tga\", 32, 24)"), "true");
    nPicture picture;
    ASSERT_TRUE(nPicture::LoadContent(&picture, dir.Path("view.tga").c_str()));
    EXPECT_EQ(picture.GetWidth(), 32u);
    EXPECT_EQ(picture.GetHeight(), 24u);
    ASSERT_NE(picture.GetPixels(), nullptr);
    // The empty view is the scene's background, red (the reader gives blue, green, red, alpha).
    EXPECT_EQ(picture.GetPixels()[2], 255);
    EXPECT_EQ(picture.GetPixels()[1], 0);

    // A path that cannot be written gives false.
    EXPECT_EQ(Eval("RaytracerTrace(r, dir + \"missing/folder/view.tga\", 8, 8)"), "false");
}

TEST_F(RaytracerAPI, InterlacedTracesAlternateFalseAndTrueAndOnlyTrueOnesWrite)
{
    Exec("RaytracerSetScene(rt, level); RaytracerSetAntialias(rt, false, 4, 0.0075, false);"
         "RaytracerSetInterlace(rt, true, true); RaytracerStartInterlacedSequence(rt);");
    const char* expected[] = {"false", "true", "false", "true"};
    for (int i = 0; i < 4; ++i) {
        const std::string name = "field" + std::to_string(i) + ".tga";
        EXPECT_EQ(Eval("RaytracerTrace(rt, dir + \"" + name + "\", 16, 8)"), expected[i]) << i;
        EXPECT_EQ(dir.Exists(name), std::string(expected[i]) == "true") << i;
    }
    EXPECT_EQ(Eval("RaytracerTrace(rt, dir + \"odd.tga\", 16, 7)"), "false");
}

TEST_F(RaytracerAPI, TheSettersChangeTheirFieldsOfTheSettingsBlock)
{
    Exec("RaytracerSetAntialias(rt, false, 3, 0.25, true);");
    nRaytracerSettings s = Settings();
    EXPECT_EQ(s.antialias, 0);
    EXPECT_EQ(s.antialiasSamples, 3);
    EXPECT_FLOAT_EQ(s.antialiasThreshold, 0.25f);
    EXPECT_EQ(s.jitter, 1);
    Exec("RaytracerSetGlobalIllum(rt, true, 5, 2);");
    s = Settings();
    EXPECT_EQ(s.globalIllumination, 1);
    EXPECT_EQ(s.spreadSize, 5);
    EXPECT_EQ(s.giBounces, 2);
    EXPECT_EQ(tracer.GetSpreadTable(0).count, 25);
    Exec("RaytracerSetInterlace(rt, true, false);");
    s = Settings();
    EXPECT_EQ(s.interlaced, 1);
    EXPECT_EQ(s.startField, 0);
    Exec("RaytracerStartInterlacedSequence(rt);");
    EXPECT_EQ(tracer.GetFieldToggle(), 0);
    // The rest of the block stays.
    EXPECT_EQ(s.reflectionBudget, 2);
    EXPECT_EQ(s.refractionBudget, 6);
    EXPECT_FLOAT_EQ(s.spreadAngle, 90.0f);
}

TEST_F(RaytracerAPI, SizesFromScriptsAreRefusedOrCapped)
{
    Exec("RaytracerSetScene(rt, level);");
    const Expected traces[] = {
        {"RaytracerTrace(rt, dir + \"a.tga\", 0, 8)", "false"},
        {"RaytracerTrace(rt, dir + \"a.tga\", 8, -1)", "false"},
        {"RaytracerTrace(rt, dir + \"a.tga\", 0x100000000 + 8, 8)", "false"},
        {"RaytracerTrace(rt, dir + \"a.tga\", 16385, 8)", "false"},
    };
    ExpectEvals(traces);
    EXPECT_FALSE(dir.Exists("a.tga"));
    EXPECT_EQ(log.Lines()[0], "[!] Raytracer width 0 is outside 1 to 16384.\n");

    // A table of no size leaves the settings as they were; a huge one is capped.
    log.Clear();
    Exec("RaytracerSetGlobalIllum(rt, true, 0, 1);");
    EXPECT_EQ(log.Lines(), Lines{"[!] Raytracer spread table size 0 is outside 1 to 64.\n"});
    EXPECT_EQ(Settings().globalIllumination, 0);
    EXPECT_EQ(Settings().spreadSize, 8);
    log.Clear();
    Exec("RaytracerSetGlobalIllum(rt, true, 100000, 1);");
    EXPECT_EQ(log.Lines(), Lines{"[*] Raytracer spread table size 100000 capped to 64.\n"});
    EXPECT_EQ(Settings().spreadSize, 64);
    // No samples count as one sample a pixel.
    Exec("RaytracerSetAntialias(rt, true, 0, 0.0075, false); RaytracerSetAntialias(rt, true, -5, 0.0075, false);");
    EXPECT_EQ(Settings().antialiasSamples, 1);
    Exec("RaytracerSetAntialias(rt, true, 1000000, 0.0075, false);");
    EXPECT_EQ(Settings().antialiasSamples, kRaytraceMaxSamples);
}

TEST_F(RaytracerAPI, DeleteSelfOnlySaysItIsObsolete)
{
    Exec("r <- EngineNewRaytracer(engine); RaytracerDeleteSelf(r);");
    EXPECT_EQ(log.Lines(), Lines{"[*] RaytracerDeleteSelf() is now obsolete, you can remove this call.\n"});
    EXPECT_EQ(Eval("RaytracerSetScene(r, level)"), "true");
    EXPECT_EQ(Eval("RaytracerTrace(r, dir + \"after.tga\", 4, 4)"), "true");
    // The raytracer dies with its object (the sanitizers watch for a leak or a double free).
    Exec("r = null;");
}

TEST_F(RaytracerAPI, SweepOfKindsNullsAndBoundaryNumbers)
{
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "Vector(0, 0, 0)",
                                            "CObject()", "nullRaytracer", "nullScene", "level", "engine"};
    auto plausible = [](char letter, size_t position) -> std::vector<std::string> {
        switch (letter) {
            case 'b': return {"false", "true"};
            case 'i': return {"1", "0", "-1", "0x7fffffff", "-0x80000000", "0x100000000"};
            case 'n': return {"0.0075", "0", "-1", "1e30", "0.0 / 0.0"};
            case 's': return {"dir + \"sweep.tga\"", "\"\"", "dir"};
            default: return {position == 0 ? "rt" : "level"};
        }
    };
    const std::vector<std::string> knownErrors = {"wrong number of parameters", "parameter ", "CObject is null",
                                                  "Expected '", "Invalid instance type", "invalid type tag"};
    for (const ManifestFunction& f : ReadFunctionManifest("raytracer_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (size_t p = 0; p < letters.size(); ++p) base.push_back(plausible(letters[p], p)[0]);
        if (f.name == "EngineNewRaytracer") base[0] = "engine";
        std::vector<std::vector<std::string>> argLists = {base};
        for (size_t p = 0; p < letters.size(); ++p) {
            std::vector<std::string> values = plausible(letters[p], p);
            values.insert(values.end(), wrong.begin(), wrong.end());
            for (const std::string& value : values) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
        }
        argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        argLists.push_back(base);
        argLists.back().push_back("0");
        for (const std::vector<std::string>& args : argLists) {
            const std::string call = CallText(f.name, args);
            log.Clear();
            const std::string result = Eval(call);
            if (result.compare(0, 7, "error: ") == 0) {
                EXPECT_TRUE(IsKnownError(result.substr(7), knownErrors)) << call << " gave " << result;
            }
            EXPECT_LE(log.Lines().size(), 2u) << call << ": " << log.Text();
        }
    }
    // Whatever the sweep stored, the raytracer still traces.
    Exec("RaytracerSetInterlace(rt, false, true); RaytracerSetAntialias(rt, true, 2, 0.0075, false);"
         "RaytracerSetGlobalIllum(rt, false, 2, 1); RaytracerSetScene(rt, level);");
    EXPECT_EQ(Eval("RaytracerTrace(rt, dir + \"last.tga\", 8, 8)"), "true");
}

}  // namespace
