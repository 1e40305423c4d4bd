// The Material functions through real Squirrel: the census against the manifest, colours,
// flags reaching the renderer only at MaterialUpdate, stages by channel and by index (missing
// stages, indexes -1 and 6, channels outside the table refused), textures swapped with their
// references, the render map rebuilt from the stages, and a generated sweep of bad arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render/nNull_Renderer.h"
#include "resources/nMaterial.h"
#include "resources/nPictureFormat.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "resources/nTexture.h"
#include "script/nCObject.h"
#include "scriptapi/nMaterialScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"

namespace {

// Records the render flags a material has each time the renderer is asked to update it: what
// the generated programs would be built from.
class UpdateRecorder : public nNull_Renderer
{
public:
    explicit UpdateRecorder(nRendererSlot* slot) : nNull_Renderer(slot, true) {}
    void UpdateMaterial(nMaterial* material) override { updates.push_back(material->renderFlags); }
    std::vector<uint32_t> updates;
};

class MaterialAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        diffuse = NewTexture();
        other = NewTexture();
        material = new nMaterial(&engine);
        material->AddRef();
        material->SetName("crate");
        ASSERT_NE(material->AddStage(MaterialChannelDiffuse, diffuse, MaterialUVMap, 0), nullptr);
        material->ValidateStages();
        Hold("m", material, objectTypeMaterial);
        Hold("tex", other, objectTypeTexture);
        Hold("nullTexture", 0, objectTypeTexture);
        renderer.updates.clear();
        log.Clear();
    }
    void TearDown() override
    {
        nScriptAPITest::TearDown();
        material->Release();
        diffuse->Release();
        other->Release();
    }
    nTexture* NewTexture()
    {
        nTexture* t = new nTexture(&engine, 0, 0);
        t->AddRef();
        EXPECT_TRUE(t->Allocate(1, 1, PixelFormatRGBA8));
        return t;
    }
    std::string MissingLine(int channel)
    {
        return "[!] Could not fetch texture stage (" + std::to_string(channel) + ") from material 'crate'.\n";
    }

    UpdateRecorder renderer{&engine};
    nMaterial* material = 0;
    nTexture* diffuse = 0;
    nTexture* other = 0;
};

TEST_F(MaterialAPI, CensusOfNamesAndConstantsAgainstTheManifest)
{
    std::vector<ManifestFunction> functions = ReadFunctionManifest("material_functions.tsv");
    std::vector<ManifestConstant> constants = ReadConstantManifest("material_constants.tsv");
    ASSERT_EQ(functions.size(), 24u);
    ASSERT_EQ(constants.size(), 28u);
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> added = NamesAddedBy(RegisterMaterialScriptAPI);
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, expected) << "the family adds exactly its names";

    std::vector<Function> registered;
    for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    for (const ManifestConstant& c : constants) {
        if (c.nullKind >= 0) continue;
        EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
    }
    ExpectEvals({{"typeof NullMaterial", "instance"}, {"ObjectIsValid(NullMaterial)", "false"}});
    for (const ManifestFunction& f : functions) {
        std::string call = f.name + "(NullMaterial";
        for (char letter : f.mask.substr(2))
            call += letter == 'i' ? ", 1" : letter == 'b' ? ", true"
                                        : letter == 'x'   ? ", Vector(1, 2, 3)"
                                                          : ", 0";
        call += ")";
        EXPECT_EQ(Run(call), "CObject is null") << call;
    }
}

TEST_F(MaterialAPI, ColoursReadAndWriteAllFourComponentsWithoutAnUpdate)
{
    Exec("MaterialSetAmbient(m, Vector(0.1, 0.2, 0.3, 0.4));"
         "MaterialSetSecular(m, Vector(0.5, 0.6, 0.7, 0.8));"
         "MaterialSetDiffuse(m, Vector(0.25, 0.5, 0.75, 0.5));"
         "MaterialSetSelfIllum(m, Vector(1, 0, 1, 0.25));");
    struct
    {
        const char* getter;
        nVector nMaterial::*field;
        nVector want;
    } cases[] = {
        {"MaterialGetAmbient(m)", &nMaterial::ambient, nVector(0.1f, 0.2f, 0.3f, 0.4f)},
        {"MaterialGetSpecular(m)", &nMaterial::specular, nVector(0.5f, 0.6f, 0.7f, 0.8f)},
        {"MaterialGetDiffuse(m)", &nMaterial::diffuse, nVector(0.25f, 0.5f, 0.75f, 0.5f)},
        {"MaterialGetSelfIllum(m)", &nMaterial::self, nVector(1.0f, 0.0f, 1.0f, 0.25f)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.getter);
        const nVector stored = material->*c.field, read = Vec(c.getter);
        EXPECT_FLOAT_EQ(stored.x, c.want.x);
        EXPECT_FLOAT_EQ(stored.w, c.want.w);
        EXPECT_FLOAT_EQ(read.y, c.want.y);
        EXPECT_FLOAT_EQ(read.w, c.want.w);
    }
    EXPECT_EQ(Eval("MaterialGetName(m)"), "crate");
    EXPECT_TRUE(renderer.updates.empty()) << "colours reach the renderer at the next draw";
}

TEST_F(MaterialAPI, FlagsReachTheRendererOnlyAtMaterialUpdate)
{
    Exec("MaterialFlagSet(m, MaterialRenderVertexColor, true); MaterialFlagSet(m, 0x40, true);");
    EXPECT_TRUE(renderer.updates.empty());
    EXPECT_EQ(Eval("MaterialFlagGet(m, MaterialRenderVertexColor)"), "true");
    EXPECT_EQ(Eval("MaterialFlagGet(m, 0x40)"), "true");
    Exec("MaterialUpdate(m)");
    ASSERT_EQ(renderer.updates.size(), 1u);
    EXPECT_TRUE(renderer.updates[0] & MaterialRenderVertexColor);
    Exec("MaterialFlagSet(m, MaterialRenderVertexColor, false)");
    EXPECT_EQ(Eval("MaterialFlagGet(m, MaterialRenderVertexColor)"), "false");
    EXPECT_EQ(renderer.updates.size(), 1u);
    Exec("MaterialBuildShaderTreeFromFixedFunction(m)");
    ASSERT_EQ(renderer.updates.size(), 2u);
    EXPECT_FALSE(renderer.updates[1] & MaterialRenderVertexColor);
}

TEST_F(MaterialAPI, MissingStagesLogAndGiveTheirValues)
{
    struct
    {
        const char* code;
        int channel;
        const char* result;
    } cases[] = {
        {"MaterialChannelGetUVIndex(m, ChannelNormal)", 6, "-1"},
        {"MaterialChannelGetActive(m, ChannelOpacity)", 3, "false"},
        {"ObjectIsValid(MaterialChannelGetTexture(m, ChannelLight))", 9, "false"},
        {"MaterialChannelSetActive(m, ChannelDecal, true)", 2, "null"},
        {"MaterialChannelSetUVIndex(m, ChannelDecal, 1)", 2, "null"},
        {"MaterialChannelSetTexture(m, tex, ChannelSelfIllum)", 8, "null"},
        {"MaterialChannelSetUVMatrix(m, ChannelBlendRGB, Matrix4())", 10, "null"},
        {"MaterialChannelGetUVIndex(m, 11)", 11, "-1"},
        {"MaterialChannelGetUVIndex(m, -1)", -1, "-1"},
    };
    for (const auto& c : cases) {
        log.Clear();
        EXPECT_EQ(Eval(c.code), c.result) << c.code;
        EXPECT_EQ(log.Text(), MissingLine(c.channel)) << c.code;
    }
    EXPECT_TRUE(renderer.updates.empty());
    log.Clear();
    const nMatrix4 uv = Mat4("MaterialChannelGetUVMatrix(m, ChannelNormal)");
    EXPECT_EQ(log.Text(), MissingLine(6));
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(uv.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "identity for a missing stage";
    EXPECT_EQ(Eval("MaterialHasChannel(m, ChannelDiffuse)"), "true");
    EXPECT_EQ(Eval("MaterialHasChannel(m, ChannelNormal)"), "false");
    EXPECT_EQ(Eval("MaterialHasChannel(m, 11)"), "false");
    EXPECT_EQ(Eval("MaterialHasChannel(m, -1)"), "false");
}

TEST_F(MaterialAPI, StagesByIndexAndChannel)
{
    struct
    {
        const char* code;
        const char* result;
    } cases[] = {
        {"MaterialStageGetChannel(m, 0)", "1"},
        {"MaterialStageGetChannel(m, -1)", "0"},
        {"MaterialStageGetChannel(m, 6)", "0"},
        {"MaterialStageSetChannel(m, 6, 1)", "null"},
        {"MaterialStageSetChannel(m, -1, 1)", "null"},
        {"MaterialStageSetChannel(m, 0, 11)", "null"},  // refused: no table entry names it
        {"MaterialStageSetChannel(m, 0, -3)", "null"},
        {"MaterialStageGetChannel(m, 0)", "1"},
        {"MaterialHasChannel(m, ChannelDiffuse)", "true"},
        {"MaterialStageSetChannel(m, 0, ChannelLight)", "null"},
        {"MaterialStageGetChannel(m, 0)", "9"},
        {"MaterialHasChannel(m, ChannelDiffuse)", "false"},
        {"MaterialHasChannel(m, ChannelColor)", "true"},
    };
    for (const auto& c : cases) EXPECT_EQ(Eval(c.code), c.result) << c.code;
    for (int i = 1; i < nMaterial::kStageCount; ++i) EXPECT_EQ(material->GetStageAt(i).channel, MaterialChannelNone) << i;
}

TEST_F(MaterialAPI, ChannelSettersChangeTheStageAndUpdate)
{
    Exec("MaterialChannelSetActive(m, ChannelDiffuse, false)");
    EXPECT_EQ(Eval("MaterialChannelGetActive(m, ChannelDiffuse)"), "false");
    EXPECT_EQ(renderer.updates.size(), 1u);
    // Setting a texture makes the inactive stage active again and swaps the references.
    const int32_t diffuseRefs = diffuse->GetRefCount(), otherRefs = other->GetRefCount();
    Exec("MaterialChannelSetTexture(m, tex, ChannelDiffuse)");
    EXPECT_EQ(Eval("MaterialChannelGetActive(m, ChannelDiffuse)"), "true");
    EXPECT_EQ(material->GetStage(MaterialChannelDiffuse, false)->texture.Get(), other);
    EXPECT_EQ(diffuse->GetRefCount(), diffuseRefs - 1);
    EXPECT_EQ(other->GetRefCount(), otherRefs + 1);
    EXPECT_EQ(renderer.updates.size(), 2u);
    EXPECT_EQ(Eval("ObjectIsValid(MaterialChannelGetTexture(m, ChannelDiffuse))"), "true");
    EXPECT_EQ(Run("MaterialChannelSetTexture(m, nullTexture, ChannelDiffuse)"), "CObject is null");

    Exec("MaterialChannelSetUVIndex(m, ChannelDiffuse, 2)");
    EXPECT_EQ(Eval("MaterialChannelGetUVIndex(m, ChannelDiffuse)"), "2");
    EXPECT_EQ(renderer.updates.size(), 3u);

    nMatrix4 scale;
    scale.m[0] = 2.0f, scale.m[5] = 3.0f;
    Hold("uv", scale);
    Exec("MaterialChannelSetUVMatrix(m, ChannelDiffuse, uv)");
    EXPECT_FLOAT_EQ(material->GetStage(MaterialChannelDiffuse, false)->uvMatrix.m[5], 3.0f);
    EXPECT_FLOAT_EQ(Mat4("MaterialChannelGetUVMatrix(m, ChannelDiffuse)").m[0], 2.0f);
    EXPECT_EQ(renderer.updates.size(), 3u) << "a UV matrix is read at the draw";
    EXPECT_EQ(Run("MaterialChannelSetUVMatrix(m, ChannelDiffuse, Vector(1, 2, 3))"), "Invalid instance type");
}

TEST_F(MaterialAPI, RebuildReplacesTheRenderMapAndFreesTheOldGraph)
{
    nRenderMap* map = new nRenderMap;
    map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
    material->SetRenderMap(map);
    ASSERT_EQ(map->GetRoot(RenderMapDiffuse), nullptr);
    Exec("MaterialBuildShaderTreeFromFixedFunction(m)");
    ASSERT_NE(material->GetRenderMap(), nullptr);
    EXPECT_NE(material->GetRenderMap()->GetRoot(RenderMapDiffuse), nullptr) << "the default map samples the diffuse stage";
    EXPECT_EQ(renderer.updates.size(), 1u);
    // Twice over: the default map of the first rebuild is freed too (the sanitizer build sees any leak).
    Exec("MaterialBuildShaderTreeFromFixedFunction(m)");
    EXPECT_NE(material->GetRenderMap()->GetRoot(RenderMapDiffuse), nullptr);
    EXPECT_EQ(renderer.updates.size(), 2u);
}

TEST_F(MaterialAPI, GeneratedSweepOfBadArguments)
{
    Hold("nullMaterial", 0, objectTypeMaterial);
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "Vector(0, 0, 0)",
                                            "Matrix3()", "Matrix4()", "CObject()", "nullMaterial", "nullTexture", "tex", "m"};
    auto plausible = [&](char letter, const std::string& function, size_t position) -> std::vector<std::string> {
        switch (letter) {
            case 'i': return {"1", "0", "-1", "6", "11", "2147483648", "4294967295", "-9223372036854775807", "0x40"};
            case 'b': return {"true", "false"};
            default:
                if (position == 0) return {"m", "nullMaterial"};
                if (function == "MaterialChannelSetTexture") return {"tex", "nullTexture"};
                if (function == "MaterialChannelSetUVMatrix") return {"Matrix4()", "Matrix3()"};
                return {"Vector(1, 0.5, 0, 1)", "Vector(0.0 / 0.0, 1e300 * 1e300, 0)"};
        }
    };
    const std::vector<std::string> knownErrors = {"wrong number of parameters", "parameter ", "CObject is null",
                                                  "Expected '", "Invalid instance type", "invalid type tag",
                                                  "the object is not a class instance"};
    for (const ManifestFunction& f : ReadFunctionManifest("material_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (size_t p = 0; p < letters.size(); ++p) base.push_back(plausible(letters[p], f.name, p)[0]);
        std::vector<std::vector<std::string>> argLists = {base};
        for (size_t p = 0; p < letters.size(); ++p) {
            std::vector<std::string> values = plausible(letters[p], f.name, p);
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
            EXPECT_NE(result, "call failed") << call;
            EXPECT_NE(result, "compile error") << call;
            if (result.compare(0, 7, "error: ") == 0) {
                EXPECT_TRUE(IsKnownError(result.substr(7), knownErrors)) << call << " gave " << result;
            }
            EXPECT_LE(log.Lines().size(), 2u) << call << ": " << log.Text();
        }
        // Whatever the sweep did, every stage still sits on a channel the table can name.
        for (int i = 0; i < nMaterial::kStageCount; ++i) {
            EXPECT_GE(material->GetStageAt(i).channel, 0) << f.name;
            EXPECT_LT(material->GetStageAt(i).channel, (int32_t)MaterialChannelCount) << f.name;
        }
    }
    EXPECT_EQ(Eval("MaterialGetName(m)"), "crate") << "the machine is still alive";
}

}  // namespace
