// NML text parser: snippets against trees and exact log lines, directives, binary blocks, limits.

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMLParser.h"
#include "core/nMLWriter.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Lines;

const char* const kHeader = "<NML=1.0>\n";

// Loads text as the memory file name; returns the dump, or "FAILED" when the load fails.
std::string LoadText(const char* name, const std::string& text, Lines* log_lines)
{
    nLogCapture log;
    EXPECT_TRUE(nMLPutMemoryFile(name, text));
    nMetaFile document;
    bool ok = document.Load(name);
    if (log_lines)
        *log_lines = log.Lines();
    if (ok)
        EXPECT_EQ(document.GetFileName(), name);
    else
        EXPECT_TRUE(document.GetFileName().IsEmpty());
    return ok ? nMLDump(document) : "FAILED";
}

std::string Error(const char* text) { return std::string("[!] In file 't.nml': ") + text + "\n"; }
const char* const kFailed = "[*] Failed to load metafile 't.nml'.\n";

struct Snippet
{
    const char* name;
    std::string body;  // after the header line
    std::string tree;  // dump, or "FAILED"
    Lines log;
};

TEST(NMLParser, SnippetsGiveTreesOrExactErrors)
{
    const Snippet cases[] = {
        {"header only", "", "", {}},
        {"integer", "<A=5>", "A=i5", {}},
        {"negative integer", "<A=-3>", "A=i-3", {}},
        {"exponent without point is an integer", "<A=1e5>", "A=i1", {}},
        {"float with f", "<A=1.5f>", "A=f1.5", {}},
        {"float without integer part", "<A=.5>", "A=f0.5", {}},
        {"float with negative exponent", "<A=1.5e-7>", "A=f1.50000005e-07", {}},
        {"bool", "<A=True><B=False>", "A=b1,B=b0", {}},
        {"bool and string may be followed by blanks", "<A=True ><B=\"x\" >", "A=b1,B=s\"x\"", {}},
        {"empty string", "<A=\"\">", "A=s\"\"", {}},
        {"backslash keeps the quote in the string", "<A=\"a\\\"b\">", "A=s\"a\\\"b\"", {}},
        {"pure tags and empty name", "<A><><B=<C>>", "A,,B{C}", {}},
        {"children then a value", "<A= <B> 5>", "A{B}=i5", {}},
        {"nested", "<A=\n\t<B=\n\t\t<C=1>\n\t>\n>", "A{B{C=i1}}", {}},
        {"line comment with LF", "<A=1> // note\n<B=2>", "A=i1,B=i2", {}},
        {"line comment with CR LF", "<A=1> // note\r\n<B=2>\r\n", "A=i1,B=i2", {}},
        {"block comments", "/* a */<A=/* b */1>/* c", "A=i1", {}},
        {"tag ended by another tag", "<A=<B <C>>", "A{B,C}", {}},
        {"blank after a number", "<A=5 >", "FAILED", {Error("Unexpected trailing expression following value, metatag 'A'."), kFailed}},
        {"dash inside a number", "<A=5-3>", "FAILED", {Error("Unexpected trailing expression following value, metatag 'A'."), kFailed}},
        {"blank after a bool", "<A=Truex>", "FAILED", {Error("Unexpected trailing expression following value, metatag 'A'."), kFailed}},
        {"text after a string", "<A=\"x\" y>", "FAILED", {Error("Unexpected trailing expression following string object, metatag 'A'."), kFailed}},
        {"string never closed", "<A=\"abc>", "FAILED", {Error("Mangled string declaration, metatag 'A'."), kFailed}},
        {"end after a string", "<A=\"abc\"  ", "FAILED", {Error("Unexpected EOF after string declaration, metatag 'A'."), kFailed}},
        {"end in a body", "<A=", "FAILED", {Error("Mangled definition, metatag 'A'."), kFailed}},
        {"end after a name", "<A  ", "FAILED", {Error("Mangled definition, metatag 'A'."), kFailed}},
        {"unknown character", "<A=x>", "FAILED", {Error("Unexpected '120' in assignation, metatag 'A'."), kFailed}},
        {"unknown high character", "<A=\xe9>", "FAILED", {Error("Unexpected '233' in assignation, metatag 'A'."), kFailed}},
        {"unknown directive", "<A=#define>", "FAILED", {Error("Unknown preprocessor directive, metatag 'A'."), kFailed}},
        {"a failing child gives one error line", "<A=<B=<C=5 >>>", "FAILED", {Error("Unexpected trailing expression following value, metatag 'C'."), kFailed}},
        {"stray text between tags", "<A=1> x", "FAILED", {Error("Unexpected '120' outside of any tag."), kFailed}},
        {"append of literals and an earlier tag", "<B=\"-\"><A=#append(\"x\", <B;>, \"y\")>", "B=s\"-\",A=s\"x-y\"", {}},
        {"append finds tags of the current tree", "<R=<B=\"1\"><A=#append(<R:B;> \"2\")>>", "R{B=s\"1\",A=s\"12\"}", {}},
        {"append of a later tag", "<A=#append(<B;>)><B=\"-\">", "FAILED", {Error("Preprocessor argument tag 'B;' not found, metatag 'A'."), kFailed}},
        {"append of a non-string", "<B=1><A=#append(<B;>)>", "FAILED", {Error("Preprocessor directive #append only support string, metatag 'B'."), kFailed}},
        {"append without parentheses", "<A=#append \"x\">", "FAILED", {Error("Mangled preprocessor directive, metatag 'A'."), kFailed}},
        {"append with a bad item", "<A=#append(x)>", "FAILED", {Error("Unexpected character in preprocessor directive, metatag 'A'."), kFailed}},
        {"append with an open literal", "<A=#append(\"x)>", "FAILED", {Error("Mangled shortcut declaration, metatag 'A'."), kFailed}},
        {"append with an unclosed tag path", "<A=#append(<B;)", "FAILED", {Error("Mangled tag declaration in preprocessor directive, metatag 'A'."), kFailed}},
        {"append followed by more", "<A=#append(\"x\") 5>", "FAILED", {Error("Unexpected trailing expression following string object, metatag 'A'."), kFailed}},
        {"include without parentheses", "<A=#include \"x\">", "FAILED", {"[!] Mangled #include directive in file 't.nml'.\n", kFailed}},
        {"include of a non-string", "<A=#include(x)>", "FAILED", {Error("Unexpected character in #include directive."), kFailed}},
        {"uuencode block", "<A==6:3\n#86)C\n>", "A=x616263", {}},
        {"yEnc block", "<A==3:3@\n\x8b\x8c\x8d>", "A=x616263", {}},
        {"uuencode block decoding short is zero-filled", "<A==12:9\n#86)C\n\n\n\n\n\n\n>", "A=x616263000000000000", {}},
        {"yEnc block decoding short is zero-filled", "<A==4:4@\n=}=}>", "A=x13130000", {}},
        {"binary block with CR LF", "<A==3:3@\r\n\x8b\x8c\x8d>", "FAILED", {Error("Expected EOL following binary size in binary tag 'A' declaration."), kFailed}},
        {"binary without sizes", "<A==x>", "FAILED", {Error("Expected encoded size in binary tag 'A' declaration."), kFailed}},
        {"binary without delimiter", "<A==3 3>", "FAILED", {Error("Expected size delimiter in binary tag 'A' declaration."), kFailed}},
        {"binary without raw size", "<A==3:@\n>", "FAILED", {Error("Expected binary size in binary tag 'A' declaration."), kFailed}},
        {"binary block longer than the text", "<A==30:3@\n\x8b\x8c\x8d>", "FAILED", {Error("Expected closing tag in tag 'A'."), kFailed}},
        {"binary block not followed by >", "<A==2:2@\n\x8b\x8c\x8d>", "FAILED", {Error("Expected closing tag in tag 'A'."), kFailed}},
        {"yEnc raw size above the encoded size", "<A==3:4@\n\x8b\x8c\x8d>", "FAILED", {Error("Invalid binary size in binary tag 'A' declaration."), kFailed}},
        {"uuencode raw size above three quarters", "<A==6:6\n#86)C\n>", "FAILED", {Error("Invalid binary size in binary tag 'A' declaration."), kFailed}},
        {"binary size beyond int", "<A==99999999999:1@\n>", "FAILED", {Error("Invalid binary size in binary tag 'A' declaration."), kFailed}},
        {"decoding that runs out warns and keeps what it got", "<A==2:2@\n\x8b=>", "A=x6100", {"[*] input buffer underflow.\n"}},
    };
    for (const Snippet& c : cases) {
        Lines log;
        EXPECT_EQ(LoadText("t.nml", kHeader + c.body, &log), c.tree) << c.name;
        EXPECT_EQ(log, c.log) << c.name;
    }
}

TEST(NMLParser, HeaderVariants)
{
    const Snippet cases[] = {
        {"integer version", "<NML=1>\n<A=1>", "A=i1", {}},
        {"old float version", "<NML=0.5>", "", {}},
        {"newer float version", "<NML=2.0>\n<A=1>", "A=i1", {"[*] Newer version NML header found (2.000>1).\n"}},
        {"newer integer version", "<NML=3>", "", {"[*] Newer version NML header found (3>1).\n"}},
        {"no version", "<NML>", "", {"[*] Unknown NML header version identification method.\n"}},
        {"string version", "/* c */ <NML=\"1\">", "", {"[*] Unknown NML header version identification method.\n"}},
        {"other variant", "<Data=1.0>\n<A=1>", "FAILED", {"[!] Unknown metafile variant.\n", kFailed}},
        {"no header", "A=1", "FAILED", {"[!] Invalid metafile.\n", kFailed}},
        {"empty text", "  \n", "FAILED", {"[!] Invalid metafile.\n", kFailed}},
        {"broken header", "<NML=1 >", "FAILED", {Error("Unexpected trailing expression following value, metatag 'NML'."), "[!] Invalid metafile.\n", kFailed}},
    };
    for (const Snippet& c : cases) {
        Lines log;
        EXPECT_EQ(LoadText("t.nml", c.body, &log), c.tree) << c.name;
        EXPECT_EQ(log, c.log) << c.name;
    }
}

TEST(NMLParser, FailedParseKeepsTheRootsParsedSoFar)
{
    nLogCapture log;
    nMetaFile document;
    std::string text = std::string(kHeader) + "<A=1><B=2><C=x>";
    EXPECT_FALSE(document.Parse(text.data(), static_cast<int32_t>(text.size())));
    EXPECT_EQ(nMLDump(document), "A=i1,B=i2,C");
    // A new parse starts from an empty document.
    std::string other = std::string(kHeader) + "<D=4>";
    EXPECT_TRUE(document.Parse(other.data(), static_cast<int32_t>(other.size())));
    EXPECT_EQ(nMLDump(document), "D=i4");
}

// A parse replaces whatever tree the document held, reusing its tags' memory as it goes: the new
// tree is the same as in a fresh document, and tags the old tree does not own stay untouched.
TEST(NMLParser, ParseReplacesAnyOldTree)
{
    nLogCapture log;
    const std::string text = std::string(kHeader) +
                             "<A=<B=1.5><S=\"a string longer than sixteen characters\"><Bin==2:1@\n+\n>>\n<C=<D=<E=-3>>>";
    nMetaFile fresh;
    ASSERT_TRUE(fresh.Parse(text.data(), static_cast<int32_t>(text.size())));
    const std::string expected = nMLDump(fresh);

    // Deeper than any parsed file and with a sibling at every level, so the walk of the old tree
    // cannot keep a place for each level.
    auto deep = [](nMetaFile& d) {
        nMetaTag* tag = d.AddRoot(new nMetaTag("Deep"));
        for (int i = 0; i < 300; ++i) {
            tag->AddChild(new nMetaTag("Leaf", "another string longer than sixteen"));
            tag = tag->AddChild(new nMetaTag("Level"), true);
        }
    };
    auto parsed = [](const std::string& body, bool ok) {
        return [body, ok](nMetaFile& d) {
            std::string old = kHeader + body;
            EXPECT_EQ(d.Parse(old.data(), static_cast<int32_t>(old.size())), ok) << body;
        };
    };
    const struct
    {
        const char* name;
        std::function<void(nMetaFile&)> build;
    } cases[] = {
        {"empty", [](nMetaFile&) {}},
        {"smaller", parsed("<X=1>", true)},
        {"larger", parsed("<X=<Y=<Z=\"a string longer than sixteen characters\">>><W==4:3@\n+++\n><V=2>\n<U=<T=1>>", true)},
        {"same", parsed(text.substr(strlen(kHeader)), true)},
        {"deep", deep},
        {"failed", parsed("<X=1><Y=<Z=2>", false)},
    };
    for (const auto& c : cases) {
        nMetaFile document;
        c.build(document);
        ASSERT_TRUE(document.Parse(text.data(), static_cast<int32_t>(text.size()))) << c.name;
        EXPECT_EQ(nMLDump(document), expected) << c.name;
    }

    // Tags of a no-delete list, and a tag taken out of the tree, belong to the caller.
    nMetaFile document;
    nMetaTag* kept = document.AddRoot(new nMetaTag("Kept"));
    ASSERT_TRUE(document.UnlinkRoot(kept));
    nMetaTag* owner = document.AddRoot(new nMetaTag("Owner"));
    owner->GetChildren().SetNoDelete(true);
    nMetaTag* borrowed = owner->AddChild(new nMetaTag("Borrowed", 5));
    document.AddRoot(new nMetaTag("After", "a string longer than sixteen characters"));
    ASSERT_TRUE(document.Parse(text.data(), static_cast<int32_t>(text.size())));
    EXPECT_EQ(nMLDump(document), expected);
    EXPECT_EQ(kept->GetName(), "Kept");
    EXPECT_EQ(borrowed->GetName(), "Borrowed");
    int32_t value = 0;
    EXPECT_TRUE(borrowed->GetValue().GetInt(&value));
    EXPECT_EQ(value, 5);
    delete kept;
    delete borrowed;
}

// Number values read as the string readers read the same token: integers wrap as nStringToInt
// does, floats round as nStringToFloat does, whatever the count of digits and the point's place.
TEST(NMLParser, NumbersReadAsTheStringReadersReadThem)
{
    nLogCapture log;
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) {
        std::string token = rng() % 2 ? "-" : "";
        int digits = 1 + static_cast<int>(rng() % 24);
        int point = static_cast<int>(rng() % (digits + 2)) - 1;  // -1: none; digits: after the last
        bool zeros = rng() % 4 == 0;
        for (int d = 0; d < digits; ++d) {
            if (d == point)
                token += '.';
            token += static_cast<char>('0' + (zeros && d < digits / 2 ? 0 : rng() % 10));
        }
        if (point == digits)
            token += '.';
        // Numbers are read several characters at a time where the text goes on after them.
        std::string text = std::string(kHeader) + "<N=" + token + ">" + (i % 2 ? "" : "\n<After=\"0123456789abcdef\">");
        nMetaFile document;
        ASSERT_TRUE(document.Parse(text.data(), static_cast<int32_t>(text.size()))) << token;
        const nVariant& value = document.FindPath("N;")->GetValue();
        if (point >= 0) {
            float read = 0.0f;
            ASSERT_TRUE(value.GetFloat(&read)) << token;
            float expected = nStringToFloat(token.data(), token.data() + token.size(), true);
            EXPECT_EQ(memcmp(&read, &expected, sizeof(float)), 0) << token;
        } else {
            int32_t read = 0;
            ASSERT_TRUE(value.GetInt(&read)) << token;
            EXPECT_EQ(read, nStringToInt(token.c_str())) << token;
        }
    }
}

TEST(NMLParser, LoadReportsMissingFiles)
{
    nLogCapture log;
    nMetaFile document;
    EXPECT_FALSE(document.Load(nullptr));
    EXPECT_FALSE(document.Load("no/such/file.nml"));
    EXPECT_EQ(nMetaFile::CreateFromFile("no/such/file.nml"), nullptr);
    EXPECT_EQ(log.Lines(), (Lines{"[!] No filename specified.\n", "[*] Could not access file 'no/such/file.nml'.\n",
                                  "[*] Could not access file 'no/such/file.nml'.\n"}));

    ASSERT_TRUE(nMLPutMemoryFile("created.nml", std::string(kHeader) + "<A=7>"));
    nMetaFile* created = nMetaFile::CreateFromFile("created.nml");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(nMLDump(*created), "A=i7");
    EXPECT_EQ(created->GetFileName(), "created.nml");
    delete created;
}

TEST(NMLParser, IncludeMovesTheRootsOfAnotherFile)
{
    ASSERT_TRUE(nMLPutMemoryFile("inc/b.nml", std::string(kHeader) + "<B1=1>\n<B2=<C=\"c\">>"));
    Lines log;
    EXPECT_EQ(LoadText("inc/a.nml", std::string(kHeader) + "<Root= <X=0> #include(\"inc/b.nml\") <Y=2> >", &log),
              "Root{X=i0,B1=i1,B2{C=s\"c\"},Y=i2}");
    EXPECT_EQ(log, Lines{});
    // Several arguments: the last one is the path; the included file's own header applies.
    ASSERT_TRUE(nMLPutMemoryFile("inc/c.nml", "<NML=2.0><C=3>"));
    EXPECT_EQ(LoadText("inc/a.nml", std::string(kHeader) + "<Root=#include(\"x\", \"inc/c.nml\")>", &log), "Root{C=i3}");
    EXPECT_EQ(log, Lines{"[*] Newer version NML header found (2.000>1).\n"});
}

TEST(NMLParser, FailedIncludeIsReportedAndSkipped)
{
    Lines log;
    EXPECT_EQ(LoadText("t.nml", std::string(kHeader) + "<A=#include(\"missing.nml\") <B=1>>", &log), "A{B=i1}");
    EXPECT_EQ(log, (Lines{"[*] Could not access file 'missing.nml'.\n",
                          "[!] Failed to include external NML file 'missing.nml' from file 't.nml'.\n"}));

    // A line end in a logged path does not split the line.
    EXPECT_EQ(LoadText("t.nml", std::string(kHeader) + "<A=#include(\"x\n[|] y\")>", &log), "A");
    EXPECT_EQ(log, (Lines{"[*] Could not access file 'x [|] y'.\n",
                          "[!] Failed to include external NML file 'x [|] y' from file 't.nml'.\n"}));

    ASSERT_TRUE(nMLPutMemoryFile("bad.nml", std::string(kHeader) + "<Z=\"x>"));
    EXPECT_EQ(LoadText("t.nml", std::string(kHeader) + "<A=#include(\"bad.nml\")>", &log), "A");
    EXPECT_EQ(log, (Lines{"[!] In file 'bad.nml': Mangled string declaration, metatag 'Z'.\n",
                          "[*] Failed to load metafile 'bad.nml'.\n",
                          "[!] Failed to include external NML file 'bad.nml' from file 't.nml'.\n"}));
}

TEST(NMLParser, IncludeCyclesAreReportedOnceAndSkipped)
{
    Lines log;
    ASSERT_TRUE(nMLPutMemoryFile("self.nml", std::string(kHeader) + "<A=#include(\"self.nml\") <B=1>>"));
    EXPECT_EQ(LoadText("self.nml", nMLGetMemoryFile("self.nml"), &log), "A{B=i1}");
    EXPECT_EQ(log, Lines{"[!] Recursive #include of 'self.nml' from file 'self.nml' skipped.\n"});

    ASSERT_TRUE(nMLPutMemoryFile("cycle2.nml", std::string(kHeader) + "<Two=#include(\"cycle1.nml\")>"));
    EXPECT_EQ(LoadText("cycle1.nml", std::string(kHeader) + "<One=#include(\"cycle2.nml\")>", &log), "One{Two}");
    EXPECT_EQ(log, Lines{"[!] Recursive #include of 'cycle1.nml' from file 'cycle2.nml' skipped.\n"});
}

TEST(NMLParser, IncludeChainsAndCountsAreCapped)
{
    // A chain of distinct files deeper than the limit: the innermost include is skipped.
    const int files = kMLMaxIncludeDepth + 3;
    for (int i = 1; i < files; ++i) {
        std::string text = std::string(kHeader) + "<L" + std::to_string(i) + "=#include(\"chain" +
                           std::to_string(i + 1) + ".nml\")>";
        ASSERT_TRUE(nMLPutMemoryFile(("chain" + std::to_string(i) + ".nml").c_str(), text));
    }
    nLogCapture log;
    nMetaFile document;
    EXPECT_TRUE(document.Load("chain1.nml"));
    std::string skipped = "chain" + std::to_string(kMLMaxIncludeDepth + 1) + ".nml";
    EXPECT_EQ(log.Lines(), Lines{"[!] #include of '" + skipped + "' from file 'chain" +
                                 std::to_string(kMLMaxIncludeDepth) + ".nml' nested deeper than " +
                                 std::to_string(kMLMaxIncludeDepth) + " files, skipped.\n"});
    log.Clear();

    // One file included more often than the total allows: one line, the rest skipped quietly.
    ASSERT_TRUE(nMLPutMemoryFile("leaf.nml", std::string(kHeader) + "<L>"));
    std::string wide = std::string(kHeader) + "<W=";
    for (int i = 0; i < kMLMaxIncludes + 10; ++i)
        wide += "#include(\"leaf.nml\")";
    wide += ">";
    ASSERT_TRUE(nMLPutMemoryFile("wide.nml", wide));
    EXPECT_TRUE(document.Load("wide.nml"));
    nMetaTag* w = document.FindPath("W;");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->GetChildCount(), kMLMaxIncludes);
    EXPECT_EQ(log.Lines(), Lines{"[!] #include of 'leaf.nml' from file 'wide.nml' exceeds " +
                                 std::to_string(kMLMaxIncludes) + " included files; this and further includes skipped.\n"});
}

TEST(NMLParser, NestingDeeperThanTheLimitFails)
{
    auto nested = [](int levels) {
        std::string text = kHeader;
        for (int i = 0; i < levels; ++i)
            text += "<T=";
        text += "1";
        for (int i = 0; i < levels; ++i)
            text += ">";
        return text;
    };
    Lines log;
    EXPECT_NE(LoadText("t.nml", nested(kMLMaxTagDepth), &log), "FAILED");
    EXPECT_EQ(log, Lines{});
    EXPECT_EQ(LoadText("t.nml", nested(kMLMaxTagDepth + 1), &log), "FAILED");
    EXPECT_EQ(log, (Lines{Error("Tags nested deeper than 1000 levels, metatag 'T'."), kFailed}));
    // Far deeper input fails the same way instead of exhausting the stack.
    EXPECT_EQ(LoadText("t.nml", nested(200000), &log), "FAILED");
    EXPECT_EQ(log.size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Scanners
// ---------------------------------------------------------------------------------------------

TEST(NMLScanners, PositionsInText)
{
    struct Case
    {
        const char* name;
        std::string text;
        int (*scan)(const char* p, const char* end);
        int expected;  // offset from the start
    };
    const Case cases[] = {
        {"quoted end", "ab\"c", [](const char* p, const char* e) { return int(ScanQuotedEnd(p, e) - p); }, 2},
        {"quoted end steps over escaped quotes", "a\\\"b\"", [](const char* p, const char* e) { return int(ScanQuotedEnd(p, e) - p); }, 4},
        {"quoted end with a final backslash", "ab\\", [](const char* p, const char* e) { return int(ScanQuotedEnd(p, e) - p); }, 3},
        {"identifier stops at '-'", "ab-c d", [](const char* p, const char* e) { return int(ScanIdentifierEnd(p, e, false) - p); }, 2},
        {"identifier with dashes", "ab-c d", [](const char* p, const char* e) { return int(ScanIdentifierEnd(p, e, true) - p); }, 4},
        {"identifier to the end", "abc", [](const char* p, const char* e) { return int(ScanIdentifierEnd(p, e, true) - p); }, 3},
        {"line end at CR", "ab\r\n", [](const char* p, const char* e) { return int(ScanLineEnd(p, e) - p); }, 2},
        {"block comment end", "/*a*/b", [](const char* p, const char* e) { return int(ScanBlockCommentEnd(p, e) - p); }, 5},
        {"block comment needs two characters after the start", "/*/", [](const char* p, const char* e) { return int(ScanBlockCommentEnd(p, e) - p); }, 3},
        {"block comment unclosed", "/* a", [](const char* p, const char* e) { return int(ScanBlockCommentEnd(p, e) - p); }, 4},
        {"skip blanks and comments", " \t// x\n/* y */\r\nz", [](const char* p, const char* e) { return int(ScanSkipBlanks(p, e) - p); }, 16},
        {"a lone slash is not blank", " /x", [](const char* p, const char* e) { return int(ScanSkipBlanks(p, e) - p); }, 1},
        {"next token", "abc  /**/ d", [](const char* p, const char* e) { return int(ScanNextToken(p, e, false) - p); }, 10},
        {"find char outside parentheses", "(a>(b>)) c>", [](const char* p, const char* e) { return int(ScanFindChar(p, e, '>') - p); }, 10},
        {"find char skips comments", "/* > */ >", [](const char* p, const char* e) { return int(ScanFindChar(p, e, '>') - p); }, 8},
        {"find char, unclosed parenthesis", "(a>", [](const char* p, const char* e) { return ScanFindChar(p, e, '>') ? 1 : -1; }, -1},
        {"find char, missing", "abc", [](const char* p, const char* e) { return ScanFindChar(p, e, '>') ? 1 : -1; }, -1},
    };
    for (const Case& c : cases) {
        // The text is copied into an exact-size buffer so that a read past the end is caught.
        std::vector<char> buffer(c.text.begin(), c.text.end());
        EXPECT_EQ(c.scan(buffer.data(), buffer.data() + buffer.size()), c.expected) << c.name;
    }
}

// The scanners read many characters at a time; on random text of every length, from every start,
// they stop where a reading one character at a time by the rules stops.
TEST(NMLScanners, AgreeWithACharacterByCharacterReading)
{
    auto identifier_end = [](const char* p, const char* end, bool allow_dash) {
        for (; p < end; ++p) {
            if (strchr(" \t\r\n\"()*+,/:;<=>", *p) && *p != '\0')
                break;
            if (*p == '-' && !allow_dash)
                break;
        }
        return p;
    };
    auto skip_blanks = [](const char* p, const char* end) {
        while (p < end) {
            if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
                ++p;
            } else if (end - p >= 2 && p[0] == '/' && p[1] == '/') {
                for (p += 2; p < end && *p != '\r' && *p != '\n'; ++p) {
                }
            } else if (end - p >= 2 && p[0] == '/' && p[1] == '*') {
                const char* q = p + 2;
                while (end - q >= 2 && !(q[0] == '*' && q[1] == '/'))
                    ++q;
                p = end - q >= 2 ? q + 2 : end;
            } else {
                break;
            }
        }
        return p;
    };
    const char alphabet[] = {'a', 'Z', '0', '9', '_', '.', '-', ' ', ' ', '\t', '\r', '\n', '/', '*', '<', '>',
                             '=', '"', '(', ',', ';', ':', '@', '\0', '\x7f', '\x80', '\xff'};
    std::mt19937 rng(11);
    for (int i = 0; i < 3000; ++i) {
        // Runs of one kind of character make the long stretches the wide steps are for.
        std::vector<char> text;
        size_t length = rng() % 70;
        while (text.size() < length) {
            char c = alphabet[rng() % sizeof(alphabet)];
            for (size_t run = 1 + (rng() % 4 == 0 ? rng() % 24 : 0); run > 0 && text.size() < length; --run)
                text.push_back(c);
        }
        const char* begin = text.data();
        const char* end = begin + text.size();
        for (const char* p = begin; p <= end; ++p) {
            std::string shown(begin, end);
            EXPECT_EQ(ScanIdentifierEnd(p, end, false), identifier_end(p, end, false)) << shown << " at " << p - begin;
            EXPECT_EQ(ScanIdentifierEnd(p, end, true), identifier_end(p, end, true)) << shown << " at " << p - begin;
            EXPECT_EQ(ScanSkipBlanks(p, end), skip_blanks(p, end)) << shown << " at " << p - begin;
        }
    }
}

TEST(NMLScanners, FloatLiterals)
{
    const struct
    {
        const char* text;
        bool is_float;
    } cases[] = {{"1.5", true}, {"-.5", true}, {"2f", true}, {"1e5", false}, {"-3", false}, {"12-3.5", false}, {"5 .5", false}, {"", false}};
    for (const auto& c : cases)
        EXPECT_EQ(ScanIsFloatLiteral(c.text, c.text + strlen(c.text)), c.is_float) << c.text;
}

TEST(NMLDecoding, TruncatedInputWarnsAndStops)
{
    struct Case
    {
        const char* name;
        bool yenc;
        std::string text;
        int produced;
        bool warns;
    };
    const Case cases[] = {
        {"uu group cut short", false, "#86)", 0, true},
        {"uu second group cut short", false, "&86)C86", 3, true},
        {"uu count character last", false, "#86)C\n#", 3, false},
        {"uu output full", false, "&86)C86)C\n", 4, false},
        {"yEnc escape at the end", true, "\x8b=", 1, true},
        {"yEnc line feed at the end", true, "\x8b\n", 1, true},
        {"yEnc escape after a line feed", true, "\x8b\n=}", 2, false},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        std::vector<char> text(c.text.begin(), c.text.end());
        uint8_t out[16];
        int limit = c.produced == 4 ? 4 : 16;
        int n = c.yenc ? YDecode(text.data(), static_cast<int>(text.size()), out, limit)
                       : UUDecode(text.data(), static_cast<int>(text.size()), out, limit);
        EXPECT_EQ(n, c.produced) << c.name;
        EXPECT_EQ(log.Lines(), c.warns ? Lines{"[*] input buffer underflow.\n"} : Lines{}) << c.name;
    }
}
}  // namespace
