// The NML document functions: documents made, saved and loaded back over every value type,
// paths and typed lookups, the value rules of tags, and tag objects that never outlive their
// tags (a destroyed or reloaded document, a refused child).

#include <gtest/gtest.h>

#include <string>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "script/nCObject.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

class MetafileAPI : public nScriptAPITest
{
protected:
    std::string Quoted(const std::string& relative) { return "\"" + dir.Path(relative) + "\""; }
    nTempDir dir;
};

TEST_F(MetafileAPI, SaveAndLoadRoundTripEveryValueType)
{
    Exec("::doc <- MetafileNew();"
         "local game = MetafileAddRoot(doc, \"Game\");"
         "MetatagAddChildWithValue(game, \"Title\", \"Quazel demo: level 1\");"
         "MetatagAddChildWithValue(game, \"Lives\", 3);"
         "MetatagAddChildWithValue(game, \"Speed\", 2.5);"
         "MetatagAddChildWithValue(game, \"Sound\", true);"
         "MetatagAddChildWithValue(game, \"Empty\", null);"
         "MetatagAddChild(MetatagAddChild(game, \"Font\"), \"Common\");"
         "MetafileAddRootWithValue(doc, \"Version\", -7);");
    ASSERT_EQ(Eval("MetafileSave(doc, " + Quoted("saved.nml") + ")"), "true") << log.Text();

    Exec("::back <- MetafileNew();");
    ASSERT_EQ(Eval("MetafileLoad(back, " + Quoted("saved.nml") + ")"), "true");
    const Expected cases[] = {
        {"MetafileGetRoots(back).len()", "2"},
        {"MetatagGetName(MetafileGetRoots(back)[1])", "Version"},
        {"MetatagGetValue(MetafileGetTag(back, \"Version;\"))", "-7"},
        {"MetatagGetValue(MetafileGetTag(back, \"Game:Title;\"))", "Quazel demo: level 1"},
        {"MetatagGetValue(MetafileGetTag(back, \"Game:Lives;\"))", "3"},
        {"typeof MetatagGetValue(MetafileGetTag(back, \"Game:Lives;\"))", "integer"},
        {"MetatagGetValue(MetafileGetTag(back, \"Game:Speed;\"))", "2.5"},
        {"typeof MetatagGetValue(MetafileGetTag(back, \"Game:Speed;\"))", "float"},
        {"MetatagGetValue(MetafileGetTag(back, \"Game:Sound;\"))", "true"},
        {"MetatagGetType(MetafileGetTag(back, \"Game:Empty;\"))", "0"},
        {"MetatagGetName(MetafileGetTag(back, \"Game:Font:Common;\"))", "Common"},
        {"MetatagGetChildren(MetafileGetTag(back, \"Game;\")).len()", "6"},
        {"MetatagGetTag(MetafileGetTag(back, \"Game;\"), \"Font:Common;\").isValid()", "true"},
        {"MetafileGetTypedTag(back, \"Game:Lives;\", TagType_Integer).isValid()", "true"},
        {"MetafileGetTypedTag(back, \"Game:Lives;\", TagType_Real).isNull()", "true"},
        {"MetatagGetTypedTag(MetafileGetTag(back, \"Game;\"), \"Speed;\", TagType_Real).isValid()", "true"},
        {"MetafileGetTag(back, \"Game:Missing;\").isNull()", "true"},
    };
    ExpectEvals(cases);
    Exec("MetafileDelete(back)");
    EXPECT_EQ(Eval("MetafileGetRoots(back).len()"), "2");
}

TEST_F(MetafileAPI, ValuesKeepTheirScriptTypes)
{
    Exec("::doc <- MetafileNew(); ::t <- MetafileAddRoot(doc, \"T\");");
    const Expected cases[] = {
        {"(MetatagSetValue(t, 5), MetatagGetType(t))", "3"},
        {"(MetatagSetValue(t, 5.0), MetatagGetType(t))", "1"},
        {"(MetatagSetValue(t, \"x\"), MetatagGetValue(t))", "x"},
        {"(MetatagSetValue(t, false), MetatagGetValue(t))", "false"},
        {"(MetatagSetValue(t, null), MetatagGetType(t))", "2"},
        {"(MetatagSetValue(t, 0x100000000), MetatagGetType(t))", "2"},
        {"MetafileAddRootWithValue(doc, \"Table\", {}).isNull()", "true"},
        {"MetafileGetRoots(doc).len()", "1"},
        {"MetatagGetValue(MetafileAddRootWithValue(doc, \"N\", null))", "-1"},
        {"TagType_Binary", "6"},
        {"TagType_Shortcut", "0"},
    };
    ExpectEvals(cases);
    EXPECT_NE(log.Text().find("[!] Cannot convert input Squirrel type to metatag value.\n[*] Incorrect binding argument count.\n"),
              std::string::npos)
        << log.Text();
    EXPECT_NE(log.Text().find("[!] Cannot get value from tag 'N'. Unsupported type.\n"), std::string::npos);
}

// A tag is a node or a value: children of a valued tag are refused (and freed), a value on a
// node is refused; neither leaves the document changed.
TEST_F(MetafileAPI, NodesAndValuesStayApart)
{
    Exec("::doc <- MetafileNew(); ::valued <- MetafileAddRootWithValue(doc, \"V\", 1); ::node <- MetafileAddRoot(doc, \"N\");"
         "MetatagAddChild(node, \"C\");");
    EXPECT_EQ(Eval("MetatagAddChild(valued, \"Orphan\").isNull()"), "true");
    EXPECT_EQ(Eval("MetatagAddChildWithValue(valued, \"Orphan\", 2).isNull()"), "true");
    EXPECT_EQ(Eval("MetatagGetValue(valued)"), "1");
    Exec("MetatagSetValue(node, 9)");
    EXPECT_EQ(Eval("MetatagGetType(node)"), "0");
    EXPECT_EQ(Eval("MetatagGetChildren(node).len()"), "1");
    EXPECT_NE(log.Text().find("[!] Cannot set a value on tag 'N' as it has children.\n"), std::string::npos) << log.Text();
}

// Tag objects answer as deleted once their document is gone or reloaded.
TEST_F(MetafileAPI, TagObjectsDieWithTheirDocument)
{
    ASSERT_TRUE(dir.Write("one.nml", "<NML=1.0>\n<A= <B=1> >\n"));
    Exec("::doc <- MetafileNew(); ::b <- MetafileAddRootWithValue(doc, \"B\", 1);");
    Exec("MetafileLoad(doc, " + Quoted("one.nml") + ")");
    EXPECT_EQ(Eval("b.type()"), "1");
    EXPECT_EQ(Eval("MetatagGetName(b)"), "error: Expected 'Metatag' got 'Deleted native'");
    Exec("::a <- MetafileGetTag(doc, \"A:B;\"); ::doc = null;");
    sq_collectgarbage(v);
    EXPECT_EQ(Eval("a.isNull()"), "true");
    EXPECT_EQ(Eval("MetatagGetValue(a)"), "error: Expected 'Metatag' got 'Deleted native'");
}

}  // namespace
