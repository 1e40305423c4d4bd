#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------- the root check

struct RootCase
{
    const char* label;
    const char* body;  // NULL: no tag at all
    bool accepted;
    Lines log;
};

TEST(nMLReader, RootCheckAcceptsItsNamesAndLogsAnyOtherRootOnce)
{
    const RootCase cases[] = {
        {"missing root", 0, false, {"[!] Could not parse widget. Root tag id is incorrect ().\n"}},
        {"wrong root", "<Gadget= <A=1> >", false, {"[!] Could not parse widget. Root tag id is incorrect (Gadget).\n"}},
        {"case differs", "<widget=1>", false, {"[!] Could not parse widget. Root tag id is incorrect (widget).\n"}},
        {"longer name", "<WidgetX=1>", false, {"[!] Could not parse widget. Root tag id is incorrect (WidgetX).\n"}},
        {"first name", "<Widget= <A=1> >", true, {}},
        {"older name", "<OldWidget=1>", true, {}},
    };
    for (const RootCase& c : cases) {
        SCOPED_TRACE(c.label);
        nMetaFile document;
        nMetaTag* tag = c.body ? nMLParseRoot(document, c.body) : 0;
        if (c.body) {
            ASSERT_NE(tag, nullptr);
        }
        nLogCapture cap;
        EXPECT_EQ(nMLCheckRoot(tag, {"Widget", "OldWidget"}, "widget"), c.accepted);
        EXPECT_EQ(cap.Lines(), c.log);
    }
}

TEST(nMLReader, RootCheckOfOneNameAndTheOlderWordings)
{
    nMetaFile document;
    nMetaTag* tag = nMLParseRoot(document, "<Motions=1>");
    ASSERT_NE(tag, nullptr);
    nLogCapture cap;
    EXPECT_TRUE(nMLCheckRoot(tag, "Motions", "motion"));
    EXPECT_FALSE(nMLCheckRoot(tag, "Motion", "motion"));
    EXPECT_FALSE(nMLCheckRoot(0, "Motions", "motion"));
    nMLLogWrongRoot(tag, "Could not parse motion, root tag id is incorrect (");
    nMLLogWrongRoot(0, "could not parse managed camera. Root tag id is incorrect (");
    EXPECT_EQ(cap.Lines(), (Lines{"[!] Could not parse motion. Root tag id is incorrect (Motions).\n",
                                  "[!] Could not parse motion. Root tag id is incorrect ().\n",
                                  "[!] Could not parse motion, root tag id is incorrect (Motions).\n",
                                  "[!] could not parse managed camera. Root tag id is incorrect ().\n"}));
}

// ---------------------------------------------------------------- children by a table

struct Gadget
{
    int32_t count = 0;
    float weight = 0.0f;
    bool on = false;
    nString label;
    nVector colour = nVector(0, 0, 0, 1);
    nVector2 size;
    std::vector<int> order;  // the rows that ran, by the value they note
};

const nMLTagRule<Gadget> kGadgetTags[] = {
    {"Count", nMLField<&Gadget::count>},
    {"Weight", nMLField<&Gadget::weight>},
    {"On", nMLField<&Gadget::on>},
    {"Label", nMLField<&Gadget::label>},
    {"Colour", nMLField<&Gadget::colour>},
    {"Size", nMLField<&Gadget::size>},
    {"Note", [](Gadget& g, nMetaFile* d, nMetaTag* t) {
         int32_t v = 0;
         ReadTagInt(t, v);
         g.order.push_back(d ? v : -v);
     }},
    {"Note", [](Gadget& g, nMetaFile*, nMetaTag*) { g.order.push_back(1000); }},  // never reached: the first row wins
    {"Legacy", 0},
};

TEST(nMLReader, ChildrenAreReadInOrderByTheirRowsAndUnknownOnesWarnByName)
{
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document,
                                  "<Gadget= <Count=3> <Note=1> <Weight=2.5> <Mystery=1> <On=True> <Label=\"lamp\">"
                                  " <Colour= <R=0.5> <G=0.25> <B=1> > <Size= <X=2> <Y=3.5> > <Legacy=7> <Note=2> <Count2=1> >");
    ASSERT_NE(root, nullptr);
    Gadget g;
    nLogCapture cap;
    EXPECT_EQ(nMLReadChildren(g, &document, root, kGadgetTags, "Gadget"), 2);
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Unknown tag 'Mystery' in <Gadget>.\n", "[*] Unknown tag 'Count2' in <Gadget>.\n"}));
    EXPECT_EQ(g.count, 3);
    EXPECT_EQ(g.weight, 2.5f);
    EXPECT_TRUE(g.on);
    EXPECT_STREQ(g.label.GetCStr(), "lamp");
    EXPECT_EQ(g.colour.x, 0.5f);
    EXPECT_EQ(g.colour.y, 0.25f);
    EXPECT_EQ(g.colour.z, 1.0f);
    EXPECT_EQ(g.colour.w, 1.0f);  // three children: w stays
    EXPECT_EQ(g.size.x, 2.0f);
    EXPECT_EQ(g.size.y, 3.5f);
    EXPECT_EQ(g.order, (std::vector<int>{1, 2}));  // the document is handed to the rows
}

// Rows that can fail: a failing row ends the reading, so nothing after it is read or warned.
TEST(nMLReader, CheckedRowsStopTheReadingAtTheFirstFailure)
{
    struct Steps
    {
        std::vector<int> read;
    };
    static const nMLCheckedTagRule<Steps> kStepTags[] = {
        {"Step", [](Steps& s, nMetaFile*, nMetaTag* t) { int32_t v = 0; ReadTagInt(t, v); s.read.push_back(v); return v >= 0; }},
        {"Skip", 0},
    };
    struct Case
    {
        const char* text;
        bool result;
        std::vector<int> read;
        Lines log;
    };
    const Case cases[] = {
        {"<Steps= <Step=1> <Skip=1> <Step=2> >", true, {1, 2}, {}},
        {"<Steps= <Step=1> <Odd=1> <Step=-1> <Odd2=1> <Step=3> >", false, {1, -1}, {"[*] Unknown tag 'Odd' in <Steps>.\n"}},
        {"<Steps= >", true, {}, {}},
    };
    for (const Case& c : cases) {
        nMetaFile document;
        nMetaTag* root = nMLParseRoot(document, c.text);
        ASSERT_NE(root, nullptr) << c.text;
        Steps steps;
        nLogCapture cap;
        EXPECT_EQ(nMLReadChildrenChecked(steps, &document, root, kStepTags, "Steps"), c.result) << c.text;
        EXPECT_EQ(steps.read, c.read) << c.text;
        EXPECT_EQ(cap.Lines(), c.log) << c.text;
    }
}

TEST(nMLReader, UnknownTagWarningText)
{
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document, "<Light= <Colr=1> >");
    ASSERT_NE(root, nullptr);
    nLogCapture cap;
    nMetaTagIterator it;
    nMLWarnUnknownTag(root->NextChild(it), "Light");
    EXPECT_EQ(cap.Lines(), (Lines{"[*] Unknown tag 'Colr' in <Light>.\n"}));
}

// ---------------------------------------------------------------- typed reads

TEST(nMLReader, TypedReadsTakeTheirValueTypesAndLeaveTheFieldAloneOtherwise)
{
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document,
                                  "<V= <I=7> <F=2.5> <B=True> <S=\"text\"> <E=\"\"> <N> <V3= <X=1> <Y=2> <Z=3> >"
                                  " <V4= <X=1> <Y=2> <Z=3> <W=4> > <V2= <X=1> <Y=2> > <VI= <X=1> <Y=2> <Z=3> > >");
    ASSERT_NE(root, nullptr);
    auto tag = [&](const char* name) { return FirstChildNamed(root, name); };

    struct IntCase
    {
        const char* tag;
        bool read;
        int32_t out;
    };
    for (const IntCase& c : {IntCase{"I", true, 7}, IntCase{"F", false, -1}, IntCase{"B", false, -1},
                             IntCase{"S", false, -1}, IntCase{"N", false, -1}, IntCase{"V3", false, -1}}) {
        SCOPED_TRACE(c.tag);
        int32_t out = -1;
        EXPECT_EQ(ReadTagInt(tag(c.tag), out), c.read);
        EXPECT_EQ(out, c.out);
    }
    struct FloatCase
    {
        const char* tag;
        bool read;
        float out;
    };
    for (const FloatCase& c : {FloatCase{"F", true, 2.5f}, FloatCase{"I", true, 7.0f}, FloatCase{"B", false, -1.0f},
                               FloatCase{"S", false, -1.0f}, FloatCase{"N", false, -1.0f}}) {
        SCOPED_TRACE(c.tag);
        float out = -1.0f;
        EXPECT_EQ(ReadTagFloat(tag(c.tag), out), c.read);
        EXPECT_EQ(out, c.out);
    }
    struct BoolCase
    {
        const char* tag;
        bool read;
        bool out;
    };
    for (const BoolCase& c : {BoolCase{"B", true, true}, BoolCase{"I", true, true}, BoolCase{"F", true, true},
                              BoolCase{"S", false, false}, BoolCase{"N", false, false}}) {
        SCOPED_TRACE(c.tag);
        bool out = false;
        EXPECT_EQ(ReadTagBool(tag(c.tag), out), c.read);
        EXPECT_EQ(out, c.out);
    }
    struct StringCase
    {
        const char* tag;
        const char* out;
    };  // NULL: not read
    for (const StringCase& c : {StringCase{"S", "text"}, StringCase{"E", ""}, StringCase{"I", 0},
                                StringCase{"N", 0}, StringCase{"V3", 0}}) {
        SCOPED_TRACE(c.tag);
        const char* text = ReadTagString(tag(c.tag));
        if (c.out) {
            ASSERT_NE(text, nullptr);
            EXPECT_STREQ(text, c.out);
        } else {
            EXPECT_EQ(text, nullptr);
        }
        nString kept("kept");
        EXPECT_EQ(ReadTagString(tag(c.tag), kept), c.out != 0);
        EXPECT_STREQ(kept.GetCStr(), c.out ? c.out : "kept");
    }
    struct VectorCase
    {
        const char* tag;
        bool read;
        nVector out;
    };
    const nVector start(-1, -1, -1, -1);
    for (const VectorCase& c : {VectorCase{"V3", true, nVector(1, 2, 3, -1)}, VectorCase{"V4", true, nVector(1, 2, 3, 4)},
                                VectorCase{"VI", true, nVector(1, 2, 3, -1)}, VectorCase{"V2", false, start},
                                VectorCase{"F", false, start}, VectorCase{"N", false, start}}) {
        SCOPED_TRACE(c.tag);
        nVector out = start;
        EXPECT_EQ(ReadTagVector(tag(c.tag), out), c.read);
        EXPECT_EQ(out.x, c.out.x);
        EXPECT_EQ(out.y, c.out.y);
        EXPECT_EQ(out.z, c.out.z);
        EXPECT_EQ(out.w, c.out.w);
    }
    nVector2 flat(-1, -1);
    EXPECT_FALSE(ReadTagVector(tag("F"), flat));
    EXPECT_EQ(flat.x, -1.0f);
    EXPECT_TRUE(ReadTagVector(tag("V2"), flat));
    EXPECT_EQ(flat.y, 2.0f);
}

// ---------------------------------------------------------------- names and appending

TEST(nMLReader, NameTestComparesWholeNames)
{
    nMetaTag named("Scale");
    nMetaTag unnamed;
    EXPECT_TRUE(IsTagNamed(&named, "Scale"));
    EXPECT_FALSE(IsTagNamed(&named, "Scal"));
    EXPECT_FALSE(IsTagNamed(&named, "ScaleX"));
    EXPECT_FALSE(IsTagNamed(&named, "scale"));
    EXPECT_FALSE(IsTagNamed(&named, 0));
    EXPECT_TRUE(IsTagNamed(&unnamed, 0));
}

// The word-wise comparison against memcmp: every length around the word sizes, the texts equal or
// differing at each position in turn, from buffers placed at every offset of a word.
TEST(nMLReader, SameTextAgreesWithThePlainFormAtEveryLengthAndPosition)
{
    char a[48], b[48];
    for (size_t length = 0; length <= 24; ++length) {
        for (size_t offset = 0; offset < 8; ++offset) {
            for (size_t i = 0; i < sizeof(a); ++i) a[i] = b[i] = (char)('a' + (i * 7) % 26);
            const char* x = a + offset;
            char* y = b + 8 - offset % 3;
            std::memcpy(y, x, length);
            EXPECT_EQ(nMLSameText(x, y, length), nMLSameTextPlain(x, y, length)) << length << " " << offset;
            EXPECT_TRUE(nMLSameText(x, y, length)) << length << " " << offset;
            for (size_t at = 0; at < length; ++at) {
                const char kept = y[at];
                y[at] = (char)(kept ^ (at % 2 ? 0x01 : 0x80));
                EXPECT_EQ(nMLSameText(x, y, length), nMLSameTextPlain(x, y, length)) << length << " " << offset << " " << at;
                EXPECT_FALSE(nMLSameText(x, y, length)) << length << " " << offset << " " << at;
                y[at] = kept;
            }
        }
    }
}

// A row counts its name once; the lookup by that count finds the same rows as the name test.
TEST(nMLReader, RowsFindTheTagsTheNameTestNames)
{
    struct Record
    {
    };
    static const nMLTagRule<Record> kRows[] = {
        {"Id", 0},
        {"UId", 0},
        {"Priority", 0},
        {"GColItem", 0},
        {"ScriptLogicFq", 0},
        {"InitialMatrix", 0},
        {"TriggerDetected", 0},
        {"ProxyRootParamTo", 0},
        {"ProxyRootParamTo2", 0},
        {"", 0},
    };
    for (const nMLTagRule<Record>& row : kRows) EXPECT_EQ(row.length, std::strlen(row.tag)) << row.tag;
    const char* const names[] = {"Id", "Ie", "UId", "Priority", "Priorite", "GColItem", "ScriptLogicFq", "ScriptLogicFQ", "InitialMatrix",
                                 "TriggerDetected", "ProxyRootParamTo", "ProxyRootParamTo2", "ProxyRootParamTo3", "", "X"};
    for (const char* name : names) {
        nMetaTag tag(name);
        const nMLTagRule<Record>* expected = 0;
        for (const nMLTagRule<Record>& row : kRows)
            if (!expected && tag.GetName() == row.tag) expected = &row;
        EXPECT_EQ(nMLFindRule(kRows, &tag), expected) << name;
    }
}

// The row index finds the row the table's own search finds, names of every length and of
// no length included, and the first of two rows of one name.
TEST(nMLReader, RowIndexFindsTheRowsOfTheTableSearch)
{
    struct Record
    {
    };
    static const nMLTagRule<Record> kRows[] = {
        {"Id", 0},
        {"UId", 0},
        {"Ie", 0},
        {"Priority", 0},
        {"Id", 0},  // a second row of one name: the first one is found
        {"ScriptLogicFq", 0},
        {"ProxyRootParamToTheFarSideOfTheScene", 0},  // longer than the index groups by length
        {"ProxyRootParamToTheFarSideOfTheScenery", 0},
        {"", 0},
        {0, 0},
        {"X", 0},
    };
    static const nMLRuleIndex kIndex(kRows);
    const char* const names[] = {"Id", "Ie", "If", "UId", "Priority", "Priorite", "ScriptLogicFq", "ScriptLogicFQ",
                                 "ProxyRootParamToTheFarSideOfTheScene", "ProxyRootParamToTheFarSideOfTheScenery",
                                 "ProxyRootParamToTheFarSideOfTheScenes", "", "X", "Y"};
    for (const char* name : names) {
        nMetaTag tag(name);
        EXPECT_EQ(nMLFindRule(kIndex, &tag), nMLFindRule(kRows, &tag)) << name;
    }
    nMetaTag unnamed;  // no name at all: the NULL row, as the table search finds
    EXPECT_EQ(nMLFindRule(kIndex, &unnamed), nMLFindRule(kRows, &unnamed));
    EXPECT_EQ(nMLFindRule(kIndex, &unnamed), &kRows[9]);
    nMetaTag id("Id");
    EXPECT_EQ(nMLFindRule(kIndex, &id), &kRows[0]);
}

TEST(nMLReader, AppendTagKeepsOrFreesTheChild)
{
    nMetaTag parent("P");
    EXPECT_TRUE(AppendTag(&parent, new nMetaTag("A", int32_t(1))));
    EXPECT_FALSE(AppendTag(&parent, 0));  // out of memory: nothing to add
    nMetaTag valued("V", int32_t(3));
    nLogCapture cap;  // the refusal logs; the refused child is freed (the sanitizer build checks)
    EXPECT_FALSE(AppendTag(&valued, new nMetaTag("B")));
    EXPECT_EQ(parent.GetChildCount(), 1);
    EXPECT_EQ(valued.GetChildCount(), 0);
    EXPECT_EQ(FirstChildNamed(&parent, "A"), FirstChildNamed(&parent, "A"));
    EXPECT_NE(FirstChildNamed(&parent, "A"), nullptr);
    EXPECT_EQ(FirstChildNamed(&parent, "B"), nullptr);
}

}
