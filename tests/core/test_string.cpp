#include "core/nList.h"
#include "core/nString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

enum State
{
    Unset,
    EmptySet,
    Text
};

nString Make(State state, const char* text = "abc")
{
    nString s;
    if (state == EmptySet)
        s.Set("");
    else if (state == Text)
        s.Set(text);
    return s;
}

State StateOf(const nString& s)
{
    if (!s.GetCStr())
        return Unset;
    return s.GetLength() == 0 ? EmptySet : Text;
}

const char* Name(State state) { return state == Unset ? "unset" : state == EmptySet ? "empty-set"
                                                                                    : "text"; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// States and assignment

TEST(StringState, EachWayOfSettingGivesItsState)
{
    struct Case
    {
        const char* what;
        nString value;
        State expected;
    };
    nString range_empty;
    const char* t = "xyz";
    range_empty.Set(t, t);
    nString non_empty_null;
    non_empty_null.SetNonEmpty(nullptr);
    nString non_empty_blank;
    non_empty_blank.SetNonEmpty("");
    nString non_empty_text;
    non_empty_text.SetNonEmpty("q");
    nString set_null;
    set_null.Set(nullptr);
    nString range_to_end;
    range_to_end.Set(t + 1, nullptr);
    nString appended_blank;
    appended_blank += "";
    nString cleared("abc");
    cleared.Clear();

    const Case cases[] = {
        {"new", nString(), Unset},
        {"Set(NULL)", set_null, Unset},
        {"Set(\"\")", Make(EmptySet), EmptySet},
        {"Set(text)", Make(Text), Text},
        {"empty range", range_empty, Unset},
        {"range to terminator", range_to_end, Text},
        {"SetNonEmpty(NULL)", non_empty_null, Unset},
        {"SetNonEmpty(\"\")", non_empty_blank, Unset},
        {"SetNonEmpty(text)", non_empty_text, Text},
        {"unset += \"\"", appended_blank, EmptySet},
        {"cleared", cleared, Unset},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StateOf(c.value), c.expected) << c.what;
        EXPECT_EQ(c.value.IsEmpty(), c.expected != Text) << c.what;
    }
    EXPECT_STREQ(range_to_end.GetCStr(), "yz");
    EXPECT_EQ(range_to_end.GetLength(), 2);
}

TEST(StringState, CopiesKeepTheSourceState)
{
    for (State state : {Unset, EmptySet, Text}) {
        nString source = Make(state);
        nString assigned("old");
        assigned = source;
        nString constructed(source);
        nString copied = source.Copy();
        EXPECT_EQ(StateOf(assigned), state) << Name(state);
        EXPECT_EQ(StateOf(constructed), state) << Name(state);
        EXPECT_EQ(StateOf(copied), state) << Name(state);
        if (state == Text) {
            EXPECT_STREQ(assigned.GetCStr(), "abc");
            EXPECT_NE(assigned.GetCStr(), source.GetCStr());  // an owned copy
        }
    }
}

TEST(StringState, SelfAssignmentAndSettingFromOwnText)
{
    nString s("hello");
    const nString& alias = s;
    s = alias;
    EXPECT_STREQ(s.GetCStr(), "hello");

    const char* own = s.GetCStr();
    s.Set(own);
    EXPECT_EQ(s.GetCStr(), own);

    s.Set(s.GetCStr() + 2);  // a text inside the string's own buffer
    EXPECT_STREQ(s.GetCStr(), "llo");
    EXPECT_EQ(s.GetLength(), 3);
}

// A range sets the text up to its end or to a NUL inside it, whatever the string held before,
// also when the range lies in the string's own text.
TEST(StringState, RangesStopAtTheirEndOrANul)
{
    const std::string source = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    for (const char* before : {static_cast<const char*>(nullptr), "short", "a text longer than sixteen"}) {
        for (size_t length = 1; length <= source.size(); ++length) {
            for (size_t nul = 0; nul <= length; ++nul) {  // length: no NUL in the range
                std::string range = source.substr(0, length);
                if (nul < length)
                    range[nul] = '\0';
                nString s(before);
                s.Set(range.data(), range.data() + length);
                EXPECT_EQ(s.GetLength(), static_cast<int32_t>(nul)) << length << " " << nul;
                ASSERT_NE(s.GetCStr(), nullptr);
                EXPECT_EQ(std::string(s.GetCStr()), range.substr(0, nul)) << length << " " << nul;
                EXPECT_EQ(s, nString(range.substr(0, nul).c_str())) << length << " " << nul;
            }
            nString own(source.c_str());
            own.Set(own.GetCStr() + 1, own.GetCStr() + 1 + length - 1);
            EXPECT_EQ(std::string(own.GetCStr() ? own.GetCStr() : ""), source.substr(1, length - 1)) << length;
        }
    }
}

// Blocks held at the same time are distinct and keep what was written into them, however gives and
// takes alternate around the batches the pool moves, also when another thread gives them back.
TEST(StringPool, HeldBlocksAreDistinctThroughAnyOrderOfGivesAndTakes)
{
    nBlockPool pool(64, nBlockPool::kTextPool);
    std::mt19937 rng(5);
    std::vector<unsigned char*> held;
    auto check_and_fill = [&](unsigned char* block) {
        ASSERT_NE(block, nullptr);
        memset(block, static_cast<int>(held.size() & 0xFF), static_cast<size_t>(pool.GetBlockSize()));
        held.push_back(block);
    };
    for (int step = 0; step < 20000; ++step) {
        // Runs of takes and gives of random length, many of them short, cross every boundary.
        bool take = held.empty() || rng() % 2 == 0;
        for (unsigned run = rng() % 4 == 0 ? rng() % 600 : 1 + rng() % 3; run > 0; --run) {
            if (take) {
                check_and_fill(static_cast<unsigned char*>(pool.Take()));
            } else if (!held.empty()) {
                size_t i = rng() % held.size();
                unsigned char* block = held[i];
                unsigned char fill = block[0];
                for (unsigned long b = 1; b < pool.GetBlockSize(); ++b)
                    ASSERT_EQ(block[b], fill);  // nothing else wrote into a held block
                held[i] = held.back();
                held.pop_back();
                pool.Give(block);
            }
        }
        if (step % 1000 == 0) {
            std::vector<unsigned char*> sorted = held;
            std::sort(sorted.begin(), sorted.end());
            ASSERT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
        }
    }
    // Blocks given back by another thread come back to this one.
    std::thread other([&] {
        for (unsigned char* block : held)
            pool.Give(block);
    });
    other.join();
    held.clear();
    for (int i = 0; i < 2000; ++i)
        check_and_fill(static_cast<unsigned char*>(pool.Take()));
    std::vector<unsigned char*> sorted = held;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
    for (unsigned char* block : held)
        pool.Give(block);
}

TEST(StringFormat, FormatsAndKeepsAtMost1023Characters)
{
    EXPECT_STREQ(nString::Format("%s-%d-%.2f", "a", 42, 1.5).GetCStr(), "a-42-1.50");

    std::string long_text(2000, 'x');
    long_text[1022] = 'L';
    long_text[1023] = 'M';
    nString s = nString::Format("%s", long_text.c_str());
    EXPECT_EQ(s.GetLength(), 1023);
    EXPECT_EQ(std::string(s.GetCStr()), long_text.substr(0, 1023));
}

// ---------------------------------------------------------------------------------------------
// Appending

TEST(StringAppend, AppendsByState)
{
    struct Case
    {
        State target;
        const char* added;
        State expected;
        const char* text;
    };
    const Case cases[] = {
        {Unset, nullptr, Unset, nullptr},
        {Unset, "", EmptySet, ""},
        {Unset, "xy", Text, "xy"},
        {EmptySet, nullptr, EmptySet, ""},
        {EmptySet, "", EmptySet, ""},
        {EmptySet, "xy", Text, "xy"},
        {Text, nullptr, Text, "abc"},
        {Text, "", Text, "abc"},
        {Text, "xy", Text, "abcxy"},
    };
    for (const Case& c : cases) {
        nString s = Make(c.target);
        s += c.added;
        EXPECT_EQ(StateOf(s), c.expected) << Name(c.target) << " += " << (c.added ? c.added : "NULL");
        if (c.text) {
            EXPECT_STREQ(s.GetCStr(), c.text);
        }
    }
}

TEST(StringAppend, StringAppendsOnlyANonEmptyText)
{
    nString target;
    target += Make(EmptySet);
    EXPECT_EQ(StateOf(target), Unset);
    target += Make(Text, "de");
    EXPECT_STREQ(target.GetCStr(), "de");
    target += target;  // itself
    EXPECT_STREQ(target.GetCStr(), "dede");
    EXPECT_EQ(target.GetLength(), 4);

    nString base("ab");
    nString sum = base + "cd";
    EXPECT_STREQ(sum.GetCStr(), "abcd");
    EXPECT_STREQ(base.GetCStr(), "ab");
}

TEST(StringAppend, ChangingTheTextResetsTheHash)
{
    nString s("ab");
    uint32_t before = s.GetHash();
    s += "c";
    EXPECT_NE(s.GetHash(), before);
    EXPECT_EQ(s.GetHash(), nStringHash("abc"));
    s.NormalizePath();
    EXPECT_EQ(s.GetHash(), nStringHash("abc"));
    s.Set("C:\\x");
    s.NormalizePath();
    EXPECT_EQ(s.GetHash(), nStringHash("c:/x"));
}

// ---------------------------------------------------------------------------------------------
// Comparison: every state against every comparison

TEST(StringCompare, PlainTextEquality)
{
    struct Case
    {
        State state;
        const char* text;
        bool equal;
        bool equals;
    };
    const Case cases[] = {
        //                 operator==   Equals
        {Unset, nullptr, true, true},
        {Unset, "", false, false},
        {Unset, "abc", false, false},
        {EmptySet, nullptr, true, true},
        {EmptySet, "", true, false},
        {EmptySet, "abc", false, false},
        {Text, nullptr, false, false},
        {Text, "", false, false},
        {Text, "abc", true, true},
        {Text, "abd", false, false},
        {Text, "ab", false, false},
    };
    for (const Case& c : cases) {
        nString s = Make(c.state);
        const char* shown = c.text ? c.text : "NULL";
        EXPECT_EQ(s == c.text, c.equal) << Name(c.state) << " == " << shown;
        EXPECT_EQ(s != c.text, !c.equal) << Name(c.state) << " != " << shown;
        EXPECT_EQ(s.Equals(c.text), c.equals) << Name(c.state) << " Equals " << shown;
    }
    nString s("abc");
    EXPECT_TRUE(s == s.GetCStr());
}

TEST(StringCompare, StringEqualityAndOrder)
{
    struct Case
    {
        State a;
        const char* ta;
        State b;
        const char* tb;
        bool equal;
        int compare;
    };
    const Case cases[] = {
        {Unset, "", Unset, "", true, 0},
        {Unset, "", EmptySet, "", true, 1},
        {EmptySet, "", Unset, "", true, 1},
        {EmptySet, "", EmptySet, "", true, 0},
        {Unset, "", Text, "abc", false, 1},
        {Text, "abc", Unset, "", false, 1},
        {EmptySet, "", Text, "abc", false, 1},  // "" is a prefix of "abc"
        {Text, "abc", EmptySet, "", false, -1},
        {Text, "abc", Text, "abc", true, 0},
        {Text, "abc", Text, "abd", false, 1},
        {Text, "abd", Text, "abc", false, -1},
        {Text, "ab", Text, "abc", false, 1},
        {Text, "abc", Text, "ab", false, -1},
        {Text, "\xe9", Text, "a", false, 1},  // bytes compare signed: 0xe9 is -23
    };
    for (const Case& c : cases) {
        nString a = Make(c.a, c.ta);
        nString b = Make(c.b, c.tb);
        std::string what = std::string(Name(c.a)) + " '" + c.ta + "' vs " + Name(c.b) + " '" + c.tb + "'";
        EXPECT_EQ(a == b, c.equal) << what;
        EXPECT_EQ(a != b, !c.equal) << what;
        EXPECT_EQ(nStringCompare(a, b), c.compare) << what;
    }
}

// ---------------------------------------------------------------------------------------------
// Hash

TEST(StringHash, GoldenValues)
{
    EXPECT_EQ(nStringHash("abc"), 0x21547u);
    EXPECT_EQ(nStringHash(nullptr), 1u);
    EXPECT_EQ(nStringHash(""), 1u);
    EXPECT_EQ(Make(Unset).GetHash(), 1u);
    EXPECT_EQ(Make(EmptySet).GetHash(), 1u);
    EXPECT_EQ(Make(Text).GetHash(), 0x21547u);
    // "a" = 97 -> 97 | 1; "\xff" is -1 -> 0xffffffff.
    EXPECT_EQ(nStringHash("a"), 97u);
    EXPECT_EQ(nStringHash("\xff"), 0xffffffffu);
    // "\x80\x80" = -128 * 37 - 128 = -4864 -> 0xffffed00 | 1.
    EXPECT_EQ(nStringHash("\x80\x80"), 0xffffed01u);
}

TEST(StringHash, LongTextsWrapAndStayOdd)
{
    // 37^n overflows 32 bits after 7 characters; the sum wraps modulo 2^32.
    std::string text(64, 'z');
    uint64_t expected = 0;
    for (char c : text)
        expected = (expected * 37 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(c)))) & 0xffffffffu;
    EXPECT_EQ(nStringHash(text.c_str()), static_cast<uint32_t>(expected | 1));
    for (const std::string& t : {std::string("b"), std::string("ab"), std::string("path/to/file.nml"),
                                 std::string("\x80\x81\x82"), std::string(100, '\x90')})
        EXPECT_EQ(nStringHash(t.c_str()) & 1u, 1u) << t;
}

// ---------------------------------------------------------------------------------------------
// Paths

TEST(StringPath, NormalizePath)
{
    struct Case
    {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"C:\\Data\\Maps//level 1.nms", "c:/Data/Maps/level 1.nms"},
        {"a*b?.txt", "a_b_.txt"},
        {"C:", "C:"},  // length 2: the drive letter stays
        {"C:x", "c:x"},
        {"c:\\", "c:/"},
        {"1:/x", "1:/x"},  // only 'A'..'Z' is lowered; ':' at 1 survives
        {"x:y:z", "x:y_z"},
        {"\\\\server\\\\share", "/server/share"},
        {"a///b\\/\\c", "a/b/c"},
        {"//C:x", "/C_x"},  // ':' counts in the collapsed text
        {"ok +-!._ name/9", "ok +-!._ name/9"},
        {"tab\there", "tab_here"},
        {"caf\xc3\xa9.nml", "caf__.nml"},  // bytes 128..255
        {"a:b", "a:b"},
        {":ab", "_ab"},
        {"", ""},
    };
    for (const Case& c : cases) {
        nString s(c.in);
        EXPECT_TRUE(s.NormalizePath()) << c.in;
        EXPECT_STREQ(s.GetCStr(), c.out) << c.in;
        EXPECT_EQ(s.GetLength(), static_cast<int32_t>(std::strlen(c.out))) << c.in;
    }
    nString unset;
    EXPECT_FALSE(unset.NormalizePath());
    EXPECT_EQ(StateOf(unset), Unset);

    nString original("A:\\b");
    nString normalized = original.GetNormalizedPath();
    EXPECT_STREQ(normalized.GetCStr(), "a:/b");
    EXPECT_STREQ(original.GetCStr(), "A:\\b");
}

TEST(StringPath, StripFileName)
{
    struct Case
    {
        const char* in;
        const char* out;
        int index;
    };
    const Case cases[] = {
        {"dir/", "dir/", 3},
        {"file.txt", "", -1},
        {"a/b/c.txt", "a/b/", 3},
        {"c:file", "c:", 1},
        {"a\\b", "a\\", 1},
        {"a/b\\c:d", "a/b\\c:", 5},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.in);
        EXPECT_EQ(StripFileName(buffer), c.index) << c.in;
        EXPECT_STREQ(buffer, c.out) << c.in;

        nString s(c.in);
        s.StripFileName();
        EXPECT_TRUE(s == c.out) << c.in;
        EXPECT_EQ(s.GetLength(), static_cast<int32_t>(std::strlen(c.out))) << c.in;
    }
}

TEST(StringPath, StripPathAndExtension)
{
    struct Case
    {
        const char* in;
        const char* path_stripped;
        const char* name;
    };
    const Case cases[] = {
        {"a/b/c.txt", "c.txt", "c"},
        {"a\\b.x\\c", "c", "c"},
        {"plain", "plain", "plain"},
        {"dir/arch.tar.gz", "arch.tar.gz", "arch.tar"},
        {"c:name.ext", "c:name.ext", "c:name"},  // ':' is not a separator here
        {"dir/", "", ""},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.in);
        StripPath(buffer);
        EXPECT_STREQ(buffer, c.path_stripped) << c.in;

        nString s(c.in);
        s.StripPathAndExtension();
        EXPECT_TRUE(s == c.name) << c.in;
        EXPECT_EQ(s.GetLength(), static_cast<int32_t>(std::strlen(c.name))) << c.in;
    }
}

TEST(StringPath, FileExtensionAndRemoveChar)
{
    EXPECT_STREQ(GetFileExtension("archive.tar.gz").GetCStr(), "gz");
    EXPECT_TRUE(GetFileExtension("README").IsEmpty());
    EXPECT_TRUE(GetFileExtension("name.").IsEmpty());
    EXPECT_TRUE(GetFileExtension(nullptr).IsEmpty());

    EXPECT_STREQ(nString("Item Type Object").RemoveChar(' ').GetCStr(), "ItemTypeObject");
    EXPECT_EQ(StateOf(Make(Unset).RemoveChar(' ')), Unset);
    nString all_spaces = nString("   ").RemoveChar(' ');
    EXPECT_TRUE(all_spaces.IsEmpty());
}

TEST(StringFindChar, StopsAtCharacterTerminatorOrEnd)
{
    const char* text = "key:value";
    EXPECT_EQ(nStringFindChar(text, ':', nullptr), text + 3);
    EXPECT_EQ(nStringFindChar(text, '#', nullptr), text + 9);
    EXPECT_EQ(nStringFindChar(text, ':', text + 2), text + 2);
    EXPECT_EQ(nStringFindChar(text, 'k', text + 2), text);
    EXPECT_EQ(nStringFindChar(nullptr, 'k', nullptr), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Split

namespace {

std::vector<std::string> Pieces(const nList<nString>& list)
{
    std::vector<std::string> out;
    for (nListNode<nString>* node = list.GetNode(0); node; node = node->next)
        out.push_back(node->value.GetCStr() ? node->value.GetCStr() : "<unset>");
    return out;
}

}  // namespace

TEST(StringSplit, Pieces)
{
    struct Case
    {
        const char* text;
        const char* separator;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a//b", "/", {"a", "<unset>", "b"}},
        {"/a/", "/", {"<unset>", "a"}},
        {"a", "/", {"a"}},
        {"/", "/", {"<unset>"}},
        {"a/b/c", "/", {"a", "b", "c"}},
        {"x:y", ":", {"x", "y"}},
        {"a::b::", "::", {"a", "b"}},
        {"a:b", "::", {"a:b"}},
        {"abc", "", {"abc"}},  // an empty separator never matches
    };
    for (const Case& c : cases) {
        nList<nString> list;
        int count = nString(c.text).Split(c.separator, list);
        EXPECT_EQ(count, static_cast<int>(c.pieces.size())) << c.text;
        EXPECT_EQ(Pieces(list), c.pieces) << c.text;
    }
}

TEST(StringSplit, AppendsAtTheTailAndReturnsTheListCount)
{
    nList<nString> list;
    nString first("x");
    list.Add(first, true, true);
    EXPECT_EQ(nString("x/y").Split("/", list), 3);
    EXPECT_EQ(Pieces(list), (std::vector<std::string>{"x", "x", "y"}));

    EXPECT_EQ(Make(EmptySet).Split("/", list), 3);
    EXPECT_EQ(Make(Unset).Split("/", list), 0);
    EXPECT_EQ(list.GetCount(), 3);
}

// ---------------------------------------------------------------------------------------------
// Numbers

TEST(StringToInt, Table)
{
    struct Case
    {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"-12x", -12},
        {"x", 0},
        {"", 0},
        {"-", 0},
        {"+7", 7},
        {"007", 7},
        {"12 34", 12},
        {" 5", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MIN},  // wraps, no overflow trap
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},  // modulo 2^32
    };
    for (const Case& c : cases)
        EXPECT_EQ(nStringToInt(c.text), c.value) << c.text;
    EXPECT_EQ(nStringToInt(nullptr), 0);
}

TEST(StringToFloat, Table)
{
    struct Case
    {
        const char* text;
        bool comma;
        float value;
    };
    const Case cases[] = {
        {"1.5", true, 1.5f},
        {"2,5", true, 2.5f},
        {"2,5", false, 2.0f},
        {"1e-3", true, 0.001f},
        {"1e+3", true, 1000.0f},
        {"1e3", true, 1000.0f},  // the exponent's sign is optional
        {"1e35", true, 1e35f},
        {"2.5e2", true, 250.0f},
        {"-.5", true, -0.5f},
        {".5", true, 0.5f},
        {"12abc", true, 12.0f},
        {"+2.5", true, 2.5f},  // a leading '+' is accepted
        {"+", true, 0.0f},
        {"1.5e", true, 1.5f},
        {"1.5e-", true, 1.5f},
        {"1.5e+", true, 1.5f},
        {"1.5ex", true, 1.5f},
        {"1E3", true, 1.0f},    // only a lower-case 'e' starts an exponent
        {"1.2-3", true, 1.2f},  // a '-' ends the fraction
        {"3.14159", true, 3.14159f},
        {"0.1", true, 0.1f},
        {"-0.001", true, -0.001f},
        {"1.00000001e-07", true, 1.00000001e-07f},
        {"123456789", true, 123456789.0f},
        {"16777217", true, 16777216.0f},
        {"3.4028235e38", true, 3.4028235e38f},
        {"1.17549435e-38", true, 1.17549435e-38f},
        {"1e-45", true, 1e-45f},  // a denormal
        {"0.000000000000000000000000000000000000000000000000001", true, 0.0f},
        {"0e99999", true, 0.0f},
        {"", true, 0.0f},
        {"x", true, 0.0f},
        {"1.2.3", true, 1.2f},
        {"1,5", true, 1.5f},
        {"1.5,5", true, 1.5f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nStringToFloat(c.text, nullptr, c.comma), c.value) << c.text;
}

TEST(StringToFloat, SignsOfZeroAndInfinity)
{
    float minus_zero = nStringToFloat("-", nullptr, true);
    EXPECT_EQ(minus_zero, 0.0f);
    EXPECT_TRUE(std::signbit(minus_zero));
    EXPECT_TRUE(std::signbit(nStringToFloat("-0.0", nullptr, true)));
    EXPECT_FALSE(std::signbit(nStringToFloat("0", nullptr, true)));
    EXPECT_EQ(nStringToFloat("1e39", nullptr, true), INFINITY);
    EXPECT_EQ(nStringToFloat("-3.5e38", nullptr, true), -INFINITY);
    EXPECT_EQ(nStringToFloat(nullptr, nullptr, true), 0.0f);
}

TEST(StringToFloat, RangeEndsTheNumber)
{
    const char* text = "12.75e2";
    EXPECT_EQ(nStringToFloat(text, text + 2, true), 12.0f);
    EXPECT_EQ(nStringToFloat(text, text + 4, true), 12.7f);
    EXPECT_EQ(nStringToFloat(text, text + 6, true), 12.75f);  // ends right after the 'e'
    EXPECT_EQ(nStringToFloat(text, text + 7, true), 1275.0f);
    EXPECT_EQ(nStringToFloat(text, text, true), 0.0f);
}

TEST(StringToFloat, HostileInputsStayFiniteAndEnd)
{
    // Exponents far beyond the float range end at once, long fractions keep their value.
    EXPECT_EQ(nStringToFloat("1e-9999999999", nullptr, true), 0.0f);
    EXPECT_EQ(nStringToFloat("1e9999999999", nullptr, true), INFINITY);
    std::string long_fraction = "0." + std::string(60, '3');
    EXPECT_FLOAT_EQ(nStringToFloat(long_fraction.c_str(), nullptr, true), 1.0f / 3.0f);
    std::string long_integer = "1" + std::string(30, '0');
    EXPECT_FLOAT_EQ(nStringToFloat(long_integer.c_str(), nullptr, true), 1e30f);
    std::string huge_integer = "1" + std::string(60, '0');
    EXPECT_EQ(nStringToFloat(huge_integer.c_str(), nullptr, true), INFINITY);
    std::string tiny = "0." + std::string(80, '0') + "1e50";
    EXPECT_FLOAT_EQ(nStringToFloat(tiny.c_str(), nullptr, true), 1e-31f);
}

TEST(StringToFloat, PrintedFloatsReadBackExactly)
{
    // What a writer prints with "%.9g" or "%f" reads back as the same float.
    const float values[] = {0.1f, 1.0f / 3.0f, 3.14159265f, 1e-7f, 123456.789f, 6.02214076e23f,
                            1.17549435e-38f, 3.4028235e38f, -2.5e-3f, 16777215.0f, 7e-45f};
    for (float v : values) {
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "%.9g", static_cast<double>(v));
        EXPECT_EQ(nStringToFloat(buffer, nullptr, true), v) << buffer;
    }
    EXPECT_EQ(nStringToFloat("0.100000", nullptr, true), 0.1f);
}
