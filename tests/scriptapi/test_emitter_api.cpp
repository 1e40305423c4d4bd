// The Emitter family through real Squirrel: the census against its manifest, the setters as a
// table of cases, the particle model by name, and a sweep of plausible and wrong arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/nResourceCache.h"
#include "scene/nEmitter.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMLTestSupport.h"

namespace {

class EmitterAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        nScriptAPITest::SetUp();
        engine.SetResourceCache(&cache);
        CreateScene();
        smoke = scene->CreateEmitter("smoke");
        lamp = scene->CreateLight("lamp", 1, 0.5f);
        ASSERT_NE(smoke, nullptr);
        Hold("smokeItem", smoke, objectTypeItem);
        Hold("lampItem", lamp, objectTypeItem);
        Hold("nullEmitter", nullptr, objectTypeEmitter);
        Exec("::em <- ItemCastToEmitter(smokeItem); ::wrongEmitter <- CObject();");
        ASSERT_TRUE(nMLPutMemoryFile("puff.npm", "<NML=1.0>\n<ParticleModel= <TTL=1.5> >"));
    }
    void TearDown() override
    {
        Emitter().SetParticleModel(nullptr);
        nScriptAPITest::TearDown();
        engine.SetResourceCache(nullptr);
    }
    nEmitter& Emitter() { return static_cast<nMEmitter*>(smoke)->GetEmitter(); }

    nResourceCache cache;
    nMItem* smoke = 0;
    nMItem* lamp = 0;
};

TEST_F(EmitterAPI, CensusAgainstTheManifest)
{
    std::vector<std::string> expected;
    std::vector<Function> registered;
    const std::vector<ManifestFunction> functions = ReadFunctionManifest("emitter_functions.tsv");
    for (const ManifestFunction& f : functions) {
        expected.push_back(f.name);
        registered.push_back({f.name.c_str(), (SQInteger)f.mask.size()});
    }
    EXPECT_EQ(functions.size(), 5u);
    ExpectFunctions(registered.data(), registered.size());
}

TEST_F(EmitterAPI, SettersStoreTheirScalesAndTheModelLoadsByName)
{
    const Expected cases[] = {
        {"EmitterSetBirthRateScale(em, 2.5)", "null"},
        {"EmitterSetBirthSpeedScale(em, 0.5)", "null"},
        {"EmitterSetBirthSizeScale(em, 3)", "null"},
        {"EmitterSetBirthOpacityScale(em, 0.25)", "null"},
        {"EmitterSetParticleModel(em, \"puff.npm\")", "null"},
        {"EmitterSetBirthRateScale(nullEmitter, 1)", "error: CObject is null"},
        {"EmitterSetBirthRateScale(smokeItem, 1)", "error: Expected 'Emitter' got 'Item'"},
        {"EmitterSetParticleModel(em, 3)", "error: parameter 2 has an invalid type 'integer' ; expected: 'string'"},
    };
    ExpectEvals(cases);
    nEmitter& e = Emitter();
    EXPECT_FLOAT_EQ(e.m_birthRateScale, 2.5f);
    EXPECT_FLOAT_EQ(e.m_birthSpeedScale, 0.5f);
    EXPECT_FLOAT_EQ(e.m_birthSizeScale, 3.0f);
    EXPECT_FLOAT_EQ(e.m_birthOpacityScale, 0.25f);
    ASSERT_NE(e.GetParticleModel(), nullptr);
    EXPECT_FLOAT_EQ(e.GetParticleModel()->m_timeToLive, 1.5f);
    // Cached: a second emitter's request gives the same model.
    Exec("EmitterSetParticleModel(em, \"puff.npm\");");
    EXPECT_EQ(e.GetParticleModel(), LoadParticleModel(&engine, "puff.npm", false));
    // A model set after the set-up leaves the emitter without a pool until the next one.
    EXPECT_EQ(e.GetPool(), nullptr);
    smoke->Setup();
    EXPECT_NE(e.GetPool(), nullptr);
}

TEST_F(EmitterAPI, OnlyEmittersCastToEmitters)
{
    EXPECT_EQ(Eval("ItemCastToEmitter(lampItem)"), "error: Cannot cast item to emitter");
    EXPECT_EQ(Eval("ItemCastToEmitter(smokeItem).type() == EngineTypeEmitter"), "true");
}

TEST_F(EmitterAPI, SweepOfPlausibleAndWrongArguments)
{
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "Vector(0, 0, 0)",
                                            "Matrix3()", "CObject()", "nullEmitter", "smokeItem", "wrongEmitter"};
    auto plausible = [](char letter) -> std::vector<std::string> {
        switch (letter) {
            case 'n': return {"1", "0", "-1", "1e30", "0.0 / 0.0", "1e300 * 1e300"};
            case 's': return {"\"puff.npm\"", "\"\"", "\"missing.npm\"", "\"../../x\""};
            default: return {"em"};
        }
    };
    const std::vector<std::string> knownErrors = {"wrong number of parameters", "parameter ", "CObject is null",
                                                  "Expected '", "Invalid instance type", "invalid type tag",
                                                  "Item is not an emitter"};
    for (const ManifestFunction& f : ReadFunctionManifest("emitter_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (char letter : letters) base.push_back(plausible(letter)[0]);
        std::vector<std::vector<std::string>> argLists = {base};
        for (size_t p = 0; p < letters.size(); ++p) {
            std::vector<std::string> values = plausible(letters[p]);
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
            if (result.compare(0, 7, "error: ") == 0)
                EXPECT_TRUE(IsKnownError(result.substr(7), knownErrors)) << call << " gave " << result;
            else
                EXPECT_EQ(result, "null") << call;
            EXPECT_LE(log.Lines().size(), 2u) << call << ": " << log.Text();
        }
    }
    // The emitter still runs a frame after whatever the sweep stored.
    Exec("EmitterSetParticleModel(em, \"puff.npm\");");
    smoke->Setup();
    Emitter().Update(1.0f / 60.0f);
    EXPECT_EQ(Eval("ItemGetName(smokeItem)"), "smoke");
}

}  // namespace
