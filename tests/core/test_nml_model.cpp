#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "core/nVariant.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::vector<nVariant*> ListElements(const nVariant& v)
{
    std::vector<nVariant*> out;
    const nList<nVariant*>* list = v.GetList();
    if (!list)
        return out;
    nListIterator<nVariant*> it;
    while (nVariant* e = list->Iterate(it))
        out.push_back(e);
    return out;
}

std::vector<std::string> ChildNames(nMetaTag* tag)
{
    std::vector<std::string> names;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it))
        names.push_back(child->GetName().GetCStr() ? child->GetName().GetCStr() : "<unset>");
    return names;
}

std::vector<std::string> RootNames(nMetaFile& doc)
{
    std::vector<std::string> names;
    nMetaTagIterator it;
    while (nMetaTag* root = doc.NextRoot(it))
        names.push_back(root->GetName().GetCStr() ? root->GetName().GetCStr() : "<unset>");
    return names;
}

// ---------------------------------------------------------------- nVariant

TEST(nVariant, ConstructorsGiveTypeNameAndValue)
{
    nVariant none;
    EXPECT_EQ(none.GetType(), TagType_None);
    EXPECT_TRUE(none.GetName().IsEmpty());

    nVariant f(2.5f), i(int32_t(-7));
    float fv = 0;
    int32_t iv = 0;
    EXPECT_EQ(f.GetType(), TagType_Real);
    EXPECT_TRUE(f.GetFloat(&fv));
    EXPECT_EQ(fv, 2.5f);
    EXPECT_EQ(i.GetType(), TagType_Integer);
    EXPECT_TRUE(i.GetInt(&iv));
    EXPECT_EQ(iv, -7);

    nVariant s("path", "data/x.nml"), n("count", int32_t(3)), r("scale", 0.5f), b("debug", true);
    const char* sv = 0;
    bool bv = false;
    EXPECT_EQ(s.GetType(), TagType_String);
    EXPECT_TRUE(s.GetString(&sv));
    EXPECT_STREQ(sv, "data/x.nml");
    EXPECT_TRUE(s.GetName() == "path");
    EXPECT_EQ(n.GetType(), TagType_Integer);
    EXPECT_TRUE(n.GetName() == "count");
    EXPECT_EQ(r.GetType(), TagType_Real);
    EXPECT_EQ(b.GetType(), TagType_Bool);
    EXPECT_TRUE(b.GetBool(&bv));
    EXPECT_TRUE(bv);
}

TEST(nVariant, GetBoolConvertsNumbersButTypedGettersAreStrict)
{
    struct Case
    {
        const char* what;
        nVariant* value;
        bool converts;
        bool expected;
    };
    nVariant zeroF(0.0f), halfF(0.5f), zeroI(int32_t(0)), twoI(int32_t(2)), yes("", true), text("", "True"), none;
    const Case cases[] = {
        {"float 0", &zeroF, true, false},
        {"float 0.5", &halfF, true, true},
        {"int 0", &zeroI, true, false},
        {"int 2", &twoI, true, true},
        {"bool", &yes, true, true},
        {"text", &text, false, false},
        {"none", &none, false, false},
    };
    for (const Case& c : cases) {
        bool out = !c.expected;
        EXPECT_EQ(c.value->GetBool(&out), c.converts) << c.what;
        if (c.converts) {
            EXPECT_EQ(out, c.expected) << c.what;
        }
    }

    float f = 9;
    int32_t i = 9;
    const char* s = "keep";
    EXPECT_FALSE(twoI.GetFloat(&f));
    EXPECT_FALSE(halfF.GetInt(&i));
    EXPECT_FALSE(yes.GetInt(&i));
    EXPECT_FALSE(twoI.GetString(&s));
    EXPECT_EQ(f, 9.0f);
    EXPECT_EQ(i, 9);
    EXPECT_STREQ(s, "keep");
}

TEST(nVariant, StringWithUnsetTextReadsAsEmpty)
{
    nVariant v;
    v.SetString(nullptr);
    const char* s = nullptr;
    ASSERT_TRUE(v.GetString(&s));
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "");
}

TEST(nVariant, SettersReplaceEveryPayload)
{
    // Run under LeakSanitizer: each step must free the previous payload.
    nVariant v;
    v.SetString("text");
    v.SetBinary("abc", 3);
    nList<nVariant*>* list = v.SetList();
    list->InsertAfter(new nVariant(int32_t(1)), nullptr);
    v.SetInt(4);
    int32_t i = 0;
    EXPECT_TRUE(v.GetInt(&i));
    EXPECT_EQ(i, 4);
    v.SetBinary("xy", 2);
    v.SetFloat(1.0f);
    v.SetBool(false);
    EXPECT_EQ(v.GetType(), TagType_Bool);
    v.Clear();
    EXPECT_EQ(v.GetType(), TagType_None);
}

TEST(nVariant, BinaryIsCopiedInAndOut)
{
    uint8_t bytes[4] = {0, 255, 10, 61};
    nVariant v;
    ASSERT_TRUE(v.SetBinary(bytes, 4));
    bytes[0] = 99;  // the value holds its own copy
    uint8_t* out = nullptr;
    int32_t length = 0;
    ASSERT_TRUE(v.GetBinary(&out, &length));
    ASSERT_EQ(length, 4);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 61);
    EXPECT_NE(out, v.GetBinaryData());
    delete[] out;

    // Setting from its own buffer keeps the bytes.
    ASSERT_TRUE(v.SetBinary(v.GetBinaryData() + 1, 2));
    ASSERT_EQ(v.GetBinaryLength(), 2);
    EXPECT_EQ(v.GetBinaryData()[0], 255);

    EXPECT_FALSE(v.SetBinary(nullptr, 5));
    EXPECT_EQ(v.GetType(), TagType_None);
    EXPECT_FALSE(v.SetBinary(bytes, -1));
    EXPECT_EQ(v.GetType(), TagType_None);

    ASSERT_TRUE(v.SetBinary(nullptr, 0));
    EXPECT_EQ(v.GetType(), TagType_Binary);
    ASSERT_TRUE(v.GetBinary(&out, &length));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(length, 0);
}

TEST(nVariant, SetCopiesEveryTypeButNotTheName)
{
    nVariant text("a", "hello"), real("b", 1.5f), flag("c", true), number("d", int32_t(42)), none;
    nVariant binary;
    binary.SetBinary("\x01\x02\x03", 3);
    nVariant list;
    nList<nVariant*>* items = list.SetList();
    items->InsertAfter(new nVariant("first", int32_t(1)), nullptr);
    items->InsertAfter(new nVariant("second", "two"), nullptr);

    nVariant* sources[] = {&text, &real, &flag, &number, &binary, &list};
    for (nVariant* src : sources) {
        nVariant dst("keep", int32_t(0));
        dst.Set(*src);
        EXPECT_EQ(dst.GetType(), src->GetType());
        EXPECT_TRUE(dst.GetName() == "keep");
    }

    nVariant dst;
    dst.Set(binary);
    ASSERT_EQ(dst.GetBinaryLength(), 3);
    EXPECT_NE(dst.GetBinaryData(), binary.GetBinaryData());
    EXPECT_EQ(memcmp(dst.GetBinaryData(), "\x01\x02\x03", 3), 0);

    dst.Set(list);
    std::vector<nVariant*> copied = ListElements(dst), original = ListElements(list);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_NE(copied[0], original[0]) << "elements are deep copies";
    int32_t i = 0;
    const char* s = nullptr;
    EXPECT_TRUE(copied[0]->GetInt(&i));
    EXPECT_EQ(i, 1);
    EXPECT_TRUE(copied[1]->GetString(&s));
    EXPECT_STREQ(s, "two");
    EXPECT_TRUE(copied[1]->GetName() == "second");

    dst.Set(none);
    EXPECT_EQ(dst.GetType(), TagType_None);
}

TEST(nVariant, SetFromAnElementOfItsOwnList)
{
    nVariant v;
    v.SetList()->InsertAfter(new nVariant("x", "inner"), nullptr);
    v.Set(*ListElements(v)[0]);
    const char* s = nullptr;
    ASSERT_TRUE(v.GetString(&s));
    EXPECT_STREQ(s, "inner");
}

// ---------------------------------------------------------------- nMetaTag

TEST(nMetaTag, ConstructorsStoreTypedValues)
{
    const uint8_t bytes[] = {1, 2, 3};
    nMetaTag pure("P"), i("I", int32_t(5)), f("F", 0.25f), s("S", "txt"), b("B", false), bin("Bin", bytes, 3);
    EXPECT_EQ(pure.GetType(), TagType_None);
    EXPECT_EQ(i.GetType(), TagType_Integer);
    EXPECT_EQ(f.GetType(), TagType_Real);
    EXPECT_EQ(s.GetType(), TagType_String);
    EXPECT_EQ(b.GetType(), TagType_Bool);
    EXPECT_EQ(bin.GetType(), TagType_Binary);
    EXPECT_EQ(bin.GetValue().GetBinaryLength(), 3);
    EXPECT_TRUE(s.GetName() == "S");
    EXPECT_EQ(nMetaTag().GetName().GetCStr(), nullptr);
}

TEST(nMetaTag, ChildrenKeepDocumentOrder)
{
    nMetaTag parent("Parent");
    nMetaTag* b = parent.AddChild(new nMetaTag("B"));
    parent.AddChild(new nMetaTag("A"), true);
    parent.InsertChild(new nMetaTag("C"), b, false);
    parent.InsertChild(new nMetaTag("Bb"), b, true);
    parent.InsertChild(new nMetaTag("End"), nullptr, true);
    EXPECT_EQ(ChildNames(&parent), (std::vector<std::string>{"A", "Bb", "B", "C", "End"}));
    EXPECT_EQ(parent.AddChild(nullptr), nullptr);
}

TEST(nMetaTag, ValuedTagRefusesChildrenAndCallerKeepsThem)
{
    nMetaTag text("Name", "value");
    nMetaTag* child = new nMetaTag("Child");
    {
        nLogCapture log;
        EXPECT_EQ(text.AddChild(child), nullptr);
        EXPECT_EQ(text.InsertChild(child, nullptr, true), nullptr);
        const std::string refusal = "[!] Cannot add child to tag 'Name' as it is neither a pure tag or a node.\n";
        EXPECT_EQ(log.Lines(), (Lines{refusal, refusal}));
    }
    EXPECT_EQ(text.GetChildCount(), 0);
    delete child;  // still ours: no double free, no leak
}

TEST(nMetaTag, InsertNextToATagOfAnotherParentIsRefused)
{
    nMetaTag a("A"), b("B");
    nMetaTag* foreign = b.AddChild(new nMetaTag("X"));
    nMetaTag* child = new nMetaTag("Y");
    nLogCapture log;
    EXPECT_EQ(a.InsertChild(child, foreign, true), nullptr);
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(b.GetChildCount(), 1);
    delete child;
}

TEST(nMetaTag, IterationAllowsRemovingTheCurrentChildAndRestarts)
{
    nMetaTag parent("P");
    for (const char* name : {"a", "b", "c", "d"})
        parent.AddChild(new nMetaTag(name));
    nMetaTagIterator it;
    std::vector<std::string> seen;
    while (nMetaTag* child = parent.NextChild(it)) {
        seen.push_back(child->GetName().GetCStr());
        if (seen.size() % 2 == 1)
            parent.GetChildren().RemoveAndDelete(child, true);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(ChildNames(&parent), (std::vector<std::string>{"b", "d"}));
    nMetaTag* again = parent.NextChild(it);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->GetName() == "b") << "after the end the walk starts again";
}

TEST(nMetaTag, GetBoolValueConverts)
{
    EXPECT_TRUE(nMetaTag("a", int32_t(2)).GetBoolValue());
    EXPECT_FALSE(nMetaTag("a", 0.0f).GetBoolValue());
    EXPECT_TRUE(nMetaTag("a", true).GetBoolValue());
    EXPECT_FALSE(nMetaTag("a", "True").GetBoolValue());
    EXPECT_FALSE(nMetaTag("a").GetBoolValue());
}

// A tag of every value kind, with a child tree on the pure one.
struct CloneCase
{
    const char* what;
    nMetaTag* tag;
};

TEST(nMetaTag, CloneCopiesEveryValueKind)
{
    const uint8_t bytes[] = {7, 0, 9};
    nMetaTag* list = new nMetaTag("L");
    nList<nVariant*>* items = list->GetValue().SetList();
    items->InsertAfter(new nVariant(int32_t(11)), nullptr);
    items->InsertAfter(new nVariant("n", "s"), nullptr);
    CloneCase cases[] = {
        {"pure", new nMetaTag("P")},
        {"int", new nMetaTag("I", int32_t(-3))},
        {"float", new nMetaTag("F", 2.75f)},
        {"bool", new nMetaTag("B", true)},
        {"string", new nMetaTag("S", "abc")},
        {"binary", new nMetaTag("Bin", bytes, 3)},
        {"list", list},
    };
    for (CloneCase& c : cases) {
        nMetaTag* clone = c.tag->Clone(false);
        ASSERT_NE(clone, nullptr) << c.what;
        EXPECT_TRUE(clone->GetName() == c.tag->GetName()) << c.what;
        EXPECT_EQ(clone->GetType(), c.tag->GetType()) << c.what;
        delete clone;
    }

    nMetaTag* bin = cases[5].tag->Clone(true);
    ASSERT_EQ(bin->GetValue().GetBinaryLength(), 3);
    EXPECT_NE(bin->GetValue().GetBinaryData(), cases[5].tag->GetValue().GetBinaryData());
    EXPECT_EQ(memcmp(bin->GetValue().GetBinaryData(), bytes, 3), 0);
    delete bin;

    nMetaTag* listClone = list->Clone(true);
    std::vector<nVariant*> copied = ListElements(listClone->GetValue());
    ASSERT_EQ(copied.size(), 2u);
    const char* s = nullptr;
    EXPECT_TRUE(copied[1]->GetString(&s));
    EXPECT_STREQ(s, "s");
    delete listClone;

    for (CloneCase& c : cases)
        delete c.tag;
}

TEST(nMetaTag, CloneKeepsUnsetAndEmptyNamesApart)
{
    nMetaTag unset;
    nMetaTag empty("");
    nMetaTag* a = unset.Clone(false);
    nMetaTag* b = empty.Clone(false);
    EXPECT_EQ(a->GetName().GetCStr(), nullptr);
    ASSERT_NE(b->GetName().GetCStr(), nullptr);
    EXPECT_STREQ(b->GetName().GetCStr(), "");
    delete a;
    delete b;
}

TEST(nMetaTag, DeepCloneIsIndependentShallowCloneHasNoChildren)
{
    nMetaTag root("Root");
    nMetaTag* mid = root.AddChild(new nMetaTag("Mid"));
    mid->AddChild(new nMetaTag("Leaf", int32_t(1)));
    root.AddChild(new nMetaTag("Last", "x"));

    nMetaTag* shallow = root.Clone(false);
    EXPECT_EQ(shallow->GetChildCount(), 0);
    delete shallow;

    nMetaTag* deep = root.Clone(true);
    EXPECT_EQ(ChildNames(deep), (std::vector<std::string>{"Mid", "Last"}));
    mid->FindPath("Leaf;")->GetValue().SetInt(99);
    int32_t v = 0;
    ASSERT_NE(deep->FindPath("Mid:Leaf;"), nullptr);
    EXPECT_TRUE(deep->FindPath("Mid:Leaf;")->GetValue().GetInt(&v));
    EXPECT_EQ(v, 1);
    delete deep;
}

TEST(nMetaTag, CloneOfAValuedTagWithChildrenDropsTheChildren)
{
    nMetaFile doc;
    doc.CreatePath("Node:Child", nullptr);
    nVariant five(int32_t(5));
    nMetaTag* node = doc.SetPathValue("Node", five);  // now holds a value and a child
    nLogCapture log;
    nMetaTag* clone = node->Clone(true);
    EXPECT_EQ(clone->GetChildCount(), 0);
    EXPECT_EQ(clone->GetType(), TagType_Integer);
    EXPECT_EQ(log.Lines().size(), 1u);
    delete clone;
}

// ---------------------------------------------------------------- path lookups

// Scene { Items { Box=1 } Name="lvl" }  Object=5  Settings { ShadowMapping { Size=2048 } }
class NmlDocument : public ::testing::Test
{
protected:
    void SetUp() override
    {
        nMetaTag* scene = doc.AddRoot(new nMetaTag("Scene"));
        nMetaTag* items = scene->AddChild(new nMetaTag("Items"));
        items->AddChild(new nMetaTag("Box", int32_t(1)));
        scene->AddChild(new nMetaTag("Name", "lvl"));
        doc.AddRoot(new nMetaTag("Object", int32_t(5)));
        nMetaTag* settings = doc.AddRoot(new nMetaTag("Settings"));
        nMetaTag* shadow = settings->AddChild(new nMetaTag("ShadowMapping"));
        shadow->AddChild(new nMetaTag("Size", int32_t(2048)));
        shadow->AddChild(new nMetaTag("Bias", 0.5f));
        shadow->AddChild(new nMetaTag("On", true));
        shadow->AddChild(new nMetaTag("Flag", int32_t(1)));
        shadow->AddChild(new nMetaTag("Text", "True"));
        nMetaTag* unset = shadow->AddChild(new nMetaTag("Unset", "x"));
        unset->GetValue().SetString(nullptr);
    }

    std::string NameAt(const char* path)
    {
        nMetaTag* tag = doc.FindPath(path);
        return tag ? tag->GetName().GetCStr() : "<null>";
    }

    nMetaFile doc;
};

TEST_F(NmlDocument, PathLookupTable)
{
    struct Case
    {
        const char* path;
        const char* found;
    };
    const Case cases[] = {
        {nullptr, "<null>"},
        {"", "<null>"},
        {";", "<null>"},
        {"Scene;", "Scene"},
        {"Scene:Items;", "Items"},
        {"Scene:Items", "Items"},        // missing ';' still matches
        {"Scene::Items;", "Items"},      // doubled ':' act as one
        {"::Scene:Items;", "Items"},     // leading ':' skipped
        {"Scene:Items;Name;", "Items"},  // text after ';' ignored
        {"Scene:Items:Box;", "Box"},
        {"Scene:Name;", "Name"},
        {"Object:Geometry;", "<null>"},  // a tag with a value has no searchable children
        {"Scene:Missing;", "<null>"},
        {"scene:items;", "<null>"},  // names are case-sensitive
        {"Scene:Items:Box:Deeper;", "<null>"},
    };
    nLogCapture log;
    for (const Case& c : cases)
        EXPECT_EQ(NameAt(c.path), c.found) << (c.path ? c.path : "NULL");
    EXPECT_TRUE(log.Lines().empty()) << "quiet lookups log nothing";
}

TEST_F(NmlDocument, VerboseLookupsExplainTheMiss)
{
    struct Case
    {
        const char* path;
        Lines lines;
    };
    const Case cases[] = {
        {"Scene:Items", {"[*] incomplete path 'Scene:Items' (missing ';').\n"}},
        {"Object:Geometry;", {"[*] 'Object:Geometry;' is deeper than lowest tree node.\n"}},
        {"Scene:Missing;", {"[*] LListID failed to find 'Missing'.\n", "!! Error 'Missing' in 'Scene:Missing;' not found.\n"}},
        {"Scene:Items;", {}},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        doc.FindPath(c.path, true);
        EXPECT_EQ(log.Lines(), c.lines) << c.path;
    }

    nLogCapture log;
    EXPECT_EQ(doc.FindPath("Scene:", true), nullptr);
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines()[0], "[!] unexpected end of path'Scene:'.\n");
}

TEST_F(NmlDocument, TypedLookupsAndGettersDoNoConversion)
{
    EXPECT_EQ(doc.GetInt("Settings:ShadowMapping:Size;", 7), 2048);
    EXPECT_EQ(doc.GetInt("Settings:ShadowMapping:Bias;", 7), 7);
    EXPECT_EQ(doc.GetFloat("Settings:ShadowMapping:Bias;", 9.0f), 0.5f);
    EXPECT_EQ(doc.GetFloat("Settings:ShadowMapping:Size;", 9.0f), 9.0f);
    EXPECT_TRUE(doc.GetBool("Settings:ShadowMapping:On;", false));
    EXPECT_FALSE(doc.GetBool("Settings:ShadowMapping:Flag;", false)) << "integer 1 is not a bool";
    EXPECT_STREQ(doc.GetString("Scene:Name;", "def"), "lvl");
    const char* def = "def";
    EXPECT_EQ(doc.GetString("Scene:Missing;", def), def) << "the default pointer itself";
    EXPECT_EQ(doc.GetString("Object;", def), def);
    EXPECT_STREQ(doc.GetString("Settings:ShadowMapping:Unset;", def), "");

    EXPECT_NE(doc.FindTypedPath("Scene:Items;", TagType_Node), nullptr);
    EXPECT_EQ(doc.FindTypedPath("Scene:Items;", TagType_Integer), nullptr);
    nMetaTag* scene = doc.FindPath("Scene;");
    EXPECT_NE(scene->FindTypedPath("Items:Box;", TagType_Integer), nullptr);
    EXPECT_EQ(scene->FindTypedPath("Items:Box;", TagType_Real), nullptr);
}

TEST_F(NmlDocument, ValueGettersConvertToBool)
{
    EXPECT_TRUE(doc.GetBoolValue("Settings:ShadowMapping:Size;", false)) << "integer 2048";
    EXPECT_TRUE(doc.GetBoolValue("Settings:ShadowMapping:Bias;", false));
    EXPECT_FALSE(doc.GetBoolValue("Settings:ShadowMapping:Text;", false)) << "text \"True\" gives the default";
    EXPECT_TRUE(doc.GetBoolValue("Settings:ShadowMapping:Text;", true));
    EXPECT_EQ(doc.GetFloatValue("Settings:ShadowMapping:Bias;", 3.0f), 0.5f);
    EXPECT_EQ(doc.GetFloatValue("Settings:ShadowMapping:Size;", 3.0f), 3.0f);
    EXPECT_EQ(doc.GetFloatValue("Nothing;", 3.0f), 3.0f);
}

// ---------------------------------------------------------------- create and delete by path

TEST(nMetaFile, CreatePathCreatesThenReusesAndReplacesTheValue)
{
    nMetaFile doc;
    nVariant on("", true);
    nMetaTag* ssao = doc.CreatePath("PostProcess:Exclusion:SSAO", &on);
    ASSERT_NE(ssao, nullptr);
    EXPECT_TRUE(doc.GetBool("PostProcess:Exclusion:SSAO;", false));

    nVariant four(int32_t(4));
    EXPECT_EQ(doc.CreatePath("PostProcess:Exclusion:SSAO;", &four), ssao);
    EXPECT_EQ(doc.GetRootCount(), 1);
    EXPECT_EQ(doc.FindPath("PostProcess;")->GetChildCount(), 1);
    EXPECT_EQ(doc.FindPath("PostProcess:Exclusion;")->GetChildCount(), 1);
    EXPECT_EQ(doc.GetInt("PostProcess:Exclusion:SSAO;", 0), 4);

    nMetaTag* bloom = doc.CreatePath("PostProcess:Exclusion:Bloom", nullptr);
    ASSERT_NE(bloom, nullptr);
    EXPECT_EQ(bloom->GetType(), TagType_None);
    EXPECT_EQ(ChildNames(doc.FindPath("PostProcess:Exclusion;")), (std::vector<std::string>{"SSAO", "Bloom"}));

    nVariant blob;
    blob.SetBinary("\x00\x01", 2);
    nMetaTag* data = doc.SetPathValue("Data:Blob", blob);
    EXPECT_EQ(data->GetValue().GetBinaryLength(), 2) << "binary values are copied, not dropped";
}

TEST(nMetaFile, CreatePathRefusesToGrowBelowAValuedTag)
{
    nMetaFile doc;
    nVariant five(int32_t(5));
    doc.SetPathValue("Object", five);
    nLogCapture log;
    EXPECT_EQ(doc.CreatePath("Object:Geometry", nullptr), nullptr);
    EXPECT_EQ(log.Lines(), (Lines{"[!] Cannot add child to tag 'Object' as it is neither a pure tag or a node.\n"}));
    EXPECT_EQ(doc.GetInt("Object;", 0), 5);
}

TEST(nMetaFile, CreatePathWithoutComponentsGivesNull)
{
    nMetaFile doc;
    EXPECT_EQ(doc.CreatePath(nullptr, nullptr), nullptr);
    EXPECT_EQ(doc.CreatePath("", nullptr), nullptr);
    EXPECT_EQ(doc.CreatePath(";;", nullptr), nullptr);
    EXPECT_EQ(doc.GetRootCount(), 0);
    ASSERT_NE(doc.CreatePath("A:", nullptr), nullptr) << "nothing follows a trailing ':'";
    EXPECT_EQ(doc.FindPath("A;")->GetChildCount(), 0);
}

TEST(nMetaFile, DeletePathRemovesTheTagAndItsSubtree)
{
    nMetaFile doc;
    doc.CreatePath("Root:Mid:Leaf", nullptr);
    doc.CreatePath("Root:Other", nullptr);
    doc.CreatePath("Second", nullptr);

    EXPECT_TRUE(doc.DeletePath("Root:Mid;"));
    EXPECT_EQ(doc.FindPath("Root:Mid;"), nullptr);
    EXPECT_EQ(ChildNames(doc.FindPath("Root;")), (std::vector<std::string>{"Other"}));

    EXPECT_FALSE(doc.DeletePath("Root:Mid"));
    EXPECT_FALSE(doc.DeletePath(""));
    EXPECT_FALSE(doc.DeletePath(nullptr));

    EXPECT_TRUE(doc.DeletePath("Root"));
    EXPECT_EQ(RootNames(doc), (std::vector<std::string>{"Second"}));
}

// ---------------------------------------------------------------- documents

TEST(nMetaFile, RootsAreOwnedUntilUnlinked)
{
    nMetaFile doc;
    EXPECT_EQ(doc.GetBinaryEncoding(), 1);
    EXPECT_EQ(doc.AddRoot(nullptr), nullptr);
    nMetaTag* a = doc.AddRoot(new nMetaTag("A"));
    doc.AddRoot(new nMetaTag("B"));
    doc.AddRoot(new nMetaTag("A"));  // no duplicate test on names
    EXPECT_EQ(RootNames(doc), (std::vector<std::string>{"A", "B", "A"}));

    EXPECT_TRUE(doc.UnlinkRoot(a));
    EXPECT_FALSE(doc.UnlinkRoot(a));
    EXPECT_EQ(RootNames(doc), (std::vector<std::string>{"B", "A"}));
    delete a;  // ours now

    doc.SetFileName("level.nms");
    doc.Clear();
    EXPECT_EQ(doc.GetRootCount(), 0);
    EXPECT_TRUE(doc.GetFileName().IsEmpty());
}

TEST(nMetaFile, RootWalkRestartsAfterTheEnd)
{
    nMetaFile doc;
    doc.AddRoot(new nMetaTag("X"));
    nMetaTagIterator it;
    EXPECT_NE(doc.NextRoot(it), nullptr);
    EXPECT_EQ(doc.NextRoot(it), nullptr);
    EXPECT_NE(doc.NextRoot(it), nullptr);
}

// ---------------------------------------------------------------- nScriptValue

class CountedObject : public nScriptObject
{
public:
    explicit CountedObject(int* deaths) : m_deaths(deaths) {}
    ~CountedObject() override { ++*m_deaths; }

private:
    int* m_deaths;
};

TEST(nScriptValue, KindsAndPlainValues)
{
    EXPECT_EQ(nScriptValue().GetKind(), ScriptValue_None);

    nScriptValue i(int32_t(10000));
    int32_t iv = 0;
    EXPECT_EQ(i.GetKind(), ScriptValue_Plain);
    EXPECT_TRUE(i.GetValue().GetInt(&iv));
    EXPECT_EQ(iv, 10000);

    int scene = 0;
    nScriptValue native(9, &scene);
    EXPECT_EQ(native.GetKind(), ScriptValue_Native);
    EXPECT_EQ(native.GetObjectType(), 9);
    EXPECT_EQ(native.GetNativeObject(), &scene);

    nVariant blob;
    blob.SetBinary("ab", 2);
    nScriptValue fromVariant(blob);
    EXPECT_EQ(fromVariant.GetValue().GetBinaryLength(), 2);

    nScriptValue text("hi");
    const char* s = nullptr;
    EXPECT_TRUE(text.GetValue().GetString(&s));
    EXPECT_STREQ(s, "hi");
}

TEST(nScriptValue, OwnedScriptObjectsAreDeletedOnceByTheNextSetterOrTheDestructor)
{
    int deaths = 0;
    {
        nScriptValue v(new CountedObject(&deaths), true);
        EXPECT_EQ(v.GetKind(), ScriptValue_ScriptObject);
        v.SetFloat(1.0f);
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(v.GetScriptObject(), nullptr);
        v.SetScriptObject(new CountedObject(&deaths), true);
    }
    EXPECT_EQ(deaths, 2);

    CountedObject borrowed(&deaths);
    {
        nScriptValue v(&borrowed, false);
        v.SetInt(1);
        v.SetScriptObject(&borrowed, false);
    }
    EXPECT_EQ(deaths, 2) << "an object not owned is never deleted";

    {
        CountedObject* kept = new CountedObject(&deaths);
        nScriptValue v(kept, true);
        v.SetScriptObject(kept, true);  // the same object again must survive
        EXPECT_EQ(deaths, 2);
    }
    EXPECT_EQ(deaths, 3);
}

}  // namespace
