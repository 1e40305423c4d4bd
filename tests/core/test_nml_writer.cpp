// NML writer: encodings, the text form of every value kind, refusals, file replacement, the
// write-then-parse property, and persistent objects.

#include "core/nIO.h"
#include "core/nIOFile.h"
#include "core/nLog.h"
#include "core/nMLParser.h"
#include "core/nMLWriter.h"
#include "core/nMetaFile.h"
#include "core/nMetaObject.h"
#include "core/nMetaTag.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

typedef std::vector<std::string> Lines;

// ---------------------------------------------------------------------------------------------
// Binary encodings
// ---------------------------------------------------------------------------------------------

std::string UU(const std::string& bytes)
{
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    int size = UUEncode(data, static_cast<int>(bytes.size()), nullptr, 0);
    std::string out(static_cast<size_t>(size), '\0');
    EXPECT_EQ(UUEncode(data, static_cast<int>(bytes.size()), &out[0], size), size);
    return out;
}

std::string YE(const std::string& bytes, int line_length = kYEncLineLength)
{
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    int size = YEncode(data, static_cast<int>(bytes.size()), nullptr, 0, line_length);
    std::string out(static_cast<size_t>(size), '\0');
    EXPECT_EQ(YEncode(data, static_cast<int>(bytes.size()), &out[0], size, line_length), size);
    return out;
}

TEST(NMLEncoding, UUEncodeGoldenValues)
{
    EXPECT_EQ(UU("abc"), "#86)C\n");
    EXPECT_EQ(UU("ab"), "#86( \n");  // count still says 3; the zero digit is a space
    EXPECT_EQ(UU(std::string(1, '\0')), "#    \n");
    EXPECT_EQ(UU(""), "");
    // 46 bytes: one full line of 15 groups (count 'M' = 32 + 45), then one group.
    std::string text = UU(std::string(46, 'a'));
    ASSERT_EQ(text.size(), 1u + 60 + 1 + 1 + 4 + 1);
    EXPECT_EQ(text[0], 'M');
    EXPECT_EQ(text[61], '\n');
    EXPECT_EQ(text.substr(62), "#80  \n");
}

TEST(NMLEncoding, YEncodeGoldenValues)
{
    EXPECT_EQ(YE("abc"), "\x8b\x8c\x8d");
    // Bytes whose shifted value is 0, LF, CR or '=' are escaped with '=' and value + 64.
    EXPECT_EQ(YE(std::string("\xd6\xe0\xe3\x13", 4)), "=@=J=M=}");
    EXPECT_EQ(YE(""), "");
}

TEST(NMLEncoding, YEncodeLinesHold64CharactersOr65WithAnEscapeAtTheEnd)
{
    std::string plain = YE(std::string(129, 'a'));
    EXPECT_EQ(plain, std::string(64, '\x8b') + "\n" + std::string(64, '\x8b') + "\n" + "\x8b");

    std::string escaped = YE(std::string(63, 'a') + "\x13" + "a");
    EXPECT_EQ(escaped, std::string(63, '\x8b') + "=}\n\x8b");

    nLogCapture log;
    EXPECT_EQ(YEncode(reinterpret_cast<const uint8_t*>("a"), 1, nullptr, 0, 0), 0);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] invalid line-feed size for yEncoding.\n"}));
}

TEST(NMLEncoding, EncodersStopAtTheOutputSize)
{
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    char out[16];
    memset(out, '?', sizeof(out));
    EXPECT_EQ(UUEncode(data, 6, out, 5), 5);
    EXPECT_EQ(out[5], '?');
    memset(out, '?', sizeof(out));
    EXPECT_EQ(YEncode(data, 6, out, 3, 64), 3);
    EXPECT_EQ(out[3], '?');
}

// Decoding an encoding gives the bytes back, for lengths around line and group boundaries and for
// every byte value.
TEST(NMLEncoding, DecodersInvertEncoders)
{
    std::mt19937 rng(7);
    for (int length : {1, 2, 3, 4, 44, 45, 46, 63, 64, 65, 66, 200, 1000}) {
        std::string bytes(static_cast<size_t>(length), '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        std::vector<uint8_t> out(static_cast<size_t>(length) + 8, 0xAA);
        std::string uu = UU(bytes);
        EXPECT_EQ(UUDecode(uu.data(), static_cast<int>(uu.size()), out.data(), length), length);
        EXPECT_EQ(std::string(out.begin(), out.begin() + length), bytes) << "uuencode, length " << length;
        EXPECT_EQ(out[static_cast<size_t>(length)], 0xAA);
        std::string ye = YE(bytes);
        EXPECT_EQ(YDecode(ye.data(), static_cast<int>(ye.size()), out.data(), length), length);
        EXPECT_EQ(std::string(out.begin(), out.begin() + length), bytes) << "yEnc, length " << length;
        EXPECT_EQ(out[static_cast<size_t>(length)], 0xAA);
    }
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<char>(i);
    std::string ye = YE(all);
    std::vector<uint8_t> out(256);
    EXPECT_EQ(YDecode(ye.data(), static_cast<int>(ye.size()), out.data(), 256), 256);
    EXPECT_EQ(std::string(out.begin(), out.end()), all);
}

// ---------------------------------------------------------------------------------------------
// Text form
// ---------------------------------------------------------------------------------------------

// Saves document into the memory file system and returns the text written.
std::string SaveToMemory(nMetaFile& document, const char* name, bool* ok = nullptr)
{
    nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
    nMLPutMemoryFile(name, "");
    bool saved = document.Save(name);
    nIO::SetCurrentFS(previous);
    if (ok)
        *ok = saved;
    return nMLGetMemoryFile(name);
}

TEST(NMLWriter, TextOfEveryValueKind)
{
    struct Case
    {
        const char* name;
        nMetaTag* (*make)();
        int32_t encoding;
        std::string text;
    };
    const Case cases[] = {
        {"pure tag", [] { return new nMetaTag("A"); }, 1, "<A>\n"},
        {"integer", [] { return new nMetaTag("A", int32_t(-42)); }, 1, "<A=-42>\n"},
        {"float in six decimals", [] { return new nMetaTag("A", 1.5f); }, 1, "<A=1.500000>\n"},
        {"bools", [] { nMetaTag* t = new nMetaTag("A"); t->AddChild(new nMetaTag("T", true)); t->AddChild(new nMetaTag("F", false)); return t; }, 1,
         "<A=\n\t<T=True>\n\t<F=False>\n>\n"},
        {"string as stored", [] { return new nMetaTag("A", "C:\\x y\\\"z"); }, 1, "<A=\"C:\\x y\\\"z\">\n"},
        {"unset string", [] { return new nMetaTag("A", static_cast<const char*>(nullptr)); }, 1, "<A=\"\">\n"},
        {"index and entry", [] { nMetaTag* t = new nMetaTag("Index"); t->AddChild(new nMetaTag("Entry", int32_t(5))); return t; }, 1,
         "<Index=\n\t<Entry=5>\n>\n"},
        {"uuencode binary", [] { return new nMetaTag("B", "abc", 3); }, 0, "<B==6:3\n#86)C\n>\n"},
        {"yEnc binary", [] { return new nMetaTag("B", "abc", 3); }, 1, "<B==3:3@\n\x8b\x8c\x8d>\n"},
        {"empty binary reads back as a pure tag", [] { nMetaTag* t = new nMetaTag("B"); t->GetValue().AttachBinary(nullptr, 0); return t; }, 1, "<B>\n"},
        {"children and a value", [] { nMetaTag* t = new nMetaTag("A"); t->AddChild(new nMetaTag("B")); t->GetValue().SetInt(5); return t; }, 1,
         "<A=\n\t<B>\n5>\n"},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        nMetaFile document;
        document.SetBinaryEncoding(c.encoding);
        document.AddRoot(c.make());
        bool ok = false;
        EXPECT_EQ(SaveToMemory(document, "w.nml", &ok), std::string("<NML=1.0>\n") + c.text) << c.name;
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(log.Lines(), Lines{}) << c.name;
    }
    nMetaFile empty;
    EXPECT_EQ(SaveToMemory(empty, "w.nml"), "<NML=1.0>\n");
}

// Values that "%f" would change are written so that they read back bit for bit.
TEST(NMLWriter, FloatsReadBackExactly)
{
    const float values[] = {0.0000001f, -1e-30f, 1.17549435e-38f, 1.4e-45f, 3.40282347e38f, 0.1f, 16777217.0f,
                            -0.0f, 123456.789f, 1.0f / 3.0f, INFINITY, -INFINITY};
    for (float v : values) {
        nLogCapture log;
        nMetaFile document;
        document.AddRoot(new nMetaTag("F", v));
        std::string text = SaveToMemory(document, "f.nml");
        nMetaFile back;
        ASSERT_TRUE(back.Parse(text.data(), static_cast<int32_t>(text.size()))) << text;
        float read = 0;
        ASSERT_TRUE(back.FindPath("F;")->GetValue().GetFloat(&read)) << text;
        EXPECT_EQ(memcmp(&read, &v, sizeof(float)), 0) << text;
        EXPECT_EQ(log.Lines(), Lines{}) << text;
    }
    // 1.5 and friends keep the six-decimal form; 1e-7 no longer flattens to 0.
    nMetaFile document;
    document.AddRoot(new nMetaTag("F", 0.0000001f));
    EXPECT_EQ(SaveToMemory(document, "f.nml"), "<NML=1.0>\n<F=1.0e-7>\n");
}

TEST(NMLWriter, NotANumberIsWrittenAsZeroWithAWarning)
{
    nLogCapture log;
    nMetaFile document;
    document.AddRoot(new nMetaTag("N", std::nanf("")));
    EXPECT_EQ(SaveToMemory(document, "n.nml"), "<NML=1.0>\n<N=0.000000>\n");
    EXPECT_EQ(log.Lines(), Lines{"[*] Tag 'N' holds a float that is not a number; written as 0.0.\n"});
}

TEST(NMLWriter, WhatCannotBeReadBackFailsTheSave)
{
    struct Case
    {
        const char* name;
        nMetaTag* (*make)();
        Lines log;
    };
    const Case cases[] = {
        {"quote in a string", [] { return new nMetaTag("S", "say \"hi\""); }, {"[!] Tag 'S' holds a string that NML cannot hold (a '\"' without a '\\' before it, or a final '\\').\n"}},
        {"final backslash", [] { return new nMetaTag("S", "C:\\dir\\"); }, {"[!] Tag 'S' holds a string that NML cannot hold (a '\"' without a '\\' before it, or a final '\\').\n"}},
        {"name with a dash", [] { return new nMetaTag("my-tag", int32_t(1)); }, {"[!] Tag name 'my-tag' cannot be written to NML.\n"}},
        {"name with a blank", [] { nMetaTag* t = new nMetaTag("A"); t->AddChild(new nMetaTag("a b")); return t; }, {"[!] Tag name 'a b' cannot be written to NML.\n"}},
        {"list value", [] { nMetaTag* t = new nMetaTag("L"); t->GetValue().SetList(); return t; }, {"[!] No method to output tag 'L' type.\n"}},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        nMetaFile document;
        document.AddRoot(new nMetaTag("Before", int32_t(1)));
        document.AddRoot(c.make());
        ASSERT_TRUE(nMLPutMemoryFile("keep.nml", "old"));
        nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        EXPECT_FALSE(document.Save("keep.nml")) << c.name;
        nIO::SetCurrentFS(previous);
        EXPECT_EQ(nMLGetMemoryFile("keep.nml"), "old") << c.name;
        EXPECT_EQ(log.Lines(), c.log) << c.name;
    }
}

TEST(NMLWriter, UnknownBinaryEncodingFailsTheSave)
{
    nLogCapture log;
    nMetaFile document;
    document.SetBinaryEncoding(7);
    document.AddRoot(new nMetaTag("B", "abc", 3));
    bool ok = true;
    SaveToMemory(document, "b.nml", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log.Lines(), Lines{"[!] Tag 'B' failed to allocate internal binary buffer.\n"});
}

TEST(NMLWriter, WriteTagWritesOneSubtreeToAStream)
{
    nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
    {
        nMetaFile document;
        nMetaTag* root = document.AddRoot(new nMetaTag("R"));
        root->AddChild(new nMetaTag("V", int32_t(3)));
        nIOFile stream;
        ASSERT_TRUE(stream.Open("stream.nml", false, true, false));
        EXPECT_TRUE(document.WriteTag(&stream, root, 1));
        EXPECT_FALSE(document.WriteTag(&stream, nullptr, 0));
        stream.Close();
    }
    nIO::SetCurrentFS(previous);
    EXPECT_EQ(nMLGetMemoryFile("stream.nml"), "\t<R=\n\t\t<V=3>\n\t>\n");
}

// ---------------------------------------------------------------------------------------------
// Disk files: replaced whole or not at all
// ---------------------------------------------------------------------------------------------

class NMLWriterDisk : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/nml_writer_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + m_dir + "'").c_str()), 0); }

    std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> List(const std::string& dir)
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string m_dir;
};

TEST_F(NMLWriterDisk, SaveCreatesAndReplacesFilesWhole)
{
    std::string path = m_dir + "/scene.nml";
    nMetaFile document;
    document.AddRoot(new nMetaTag("A", int32_t(1)));
    EXPECT_TRUE(document.Save(path.c_str()));
    EXPECT_EQ(Read(path), "<NML=1.0>\n<A=1>\n");

    document.AddRoot(new nMetaTag("B", int32_t(2)));
    EXPECT_TRUE(document.Save(("disc:" + path).c_str()));
    EXPECT_EQ(Read(path), "<NML=1.0>\n<A=1>\n<B=2>\n");

    // A failing save leaves the previous file and no temporary file.
    nLogCapture log;
    document.AddRoot(new nMetaTag("C", "\"quoted\""));
    EXPECT_FALSE(document.Save(path.c_str()));
    EXPECT_EQ(Read(path), "<NML=1.0>\n<A=1>\n<B=2>\n");
    EXPECT_EQ(List(m_dir), std::vector<std::string>{"scene.nml"});
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_F(NMLWriterDisk, SaveReplacesTheFileTheDiskFileSystemFinds)
{
    // Game data names files in any case and with '\': the save replaces the file that reading
    // the same name would open, not a new file beside it.
    ASSERT_EQ(mkdir((m_dir + "/Saves").c_str(), 0755), 0);
    {
        std::ofstream(m_dir + "/Saves/Game.nml") << "old";
    }
    nMetaFile document;
    document.AddRoot(new nMetaTag("G", int32_t(9)));
    EXPECT_TRUE(document.Save((m_dir + "/saves\\game.nml").c_str()));
    EXPECT_EQ(List(m_dir + "/Saves"), std::vector<std::string>{"Game.nml"});
    EXPECT_EQ(Read(m_dir + "/Saves/Game.nml"), "<NML=1.0>\n<G=9>\n");

    // A new file goes into the directory found for its path, under its own name.
    EXPECT_TRUE(document.Save((m_dir + "/SAVES/New.nml").c_str()));
    EXPECT_EQ(List(m_dir + "/Saves"), (std::vector<std::string>{"Game.nml", "New.nml"}));
}

TEST_F(NMLWriterDisk, SaveIntoAMissingDirectoryFails)
{
    nLogCapture log;
    nMetaFile document;
    std::string path = m_dir + "/missing/x.nml";
    EXPECT_FALSE(document.Save(path.c_str()));
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to open ML output '" + path + "'.\n"});
    EXPECT_FALSE(document.Save(nullptr));
}

// ---------------------------------------------------------------------------------------------
// Property: a random tree written and parsed back is the same tree
// ---------------------------------------------------------------------------------------------

class RandomTree
{
public:
    explicit RandomTree(uint32_t seed) : m_rng(seed) {}

    nMetaTag* Make(int depth)
    {
        nMetaTag* tag = new nMetaTag(Name().c_str());
        int kind = Pick(depth < 4 ? 9 : 8);
        switch (kind) {
            case 0: break;  // pure tag
            case 1: tag->GetValue().SetInt(static_cast<int32_t>(m_rng())); break;
            case 2: tag->GetValue().SetFloat(Float()); break;
            case 3: tag->GetValue().SetBool(Pick(2) == 1); break;
            case 4: tag->GetValue().SetString(Text().c_str()); break;
            case 5:
            case 6: {
                std::string bytes(static_cast<size_t>(1 + Pick(Pick(2) ? 8 : 300)), '\0');
                for (char& c : bytes)
                    c = static_cast<char>(Pick(4) == 0 ? "\0\n\r="[Pick(4)] - 42 : static_cast<int>(m_rng()));
                tag->GetValue().SetBinary(bytes.data(), static_cast<int32_t>(bytes.size()));
                break;
            }
            case 7: tag->GetValue().SetInt(Pick(3) - 1); break;
            default: {  // node, sometimes with a value too
                int children = 1 + Pick(5);
                for (int i = 0; i < children; ++i)
                    tag->GetChildren().Add(Make(depth + 1), true, true);
                if (Pick(4) == 0)
                    tag->GetValue().SetFloat(Float());
                break;
            }
        }
        return tag;
    }

    int Pick(int n) { return static_cast<int>(m_rng() % static_cast<uint32_t>(n)); }

private:
    std::string Name()
    {
        static const char chars[] = "abcXYZ_09.!?#@&$%^[]{}|~\x80\xff";
        std::string name;
        for (int i = Pick(7); i > 0; --i)
            name += chars[Pick(sizeof(chars) - 1)];
        return name;
    }
    std::string Text()
    {
        static const char chars[] = "ab <>=#/*-:;,()\t\n\r\x01\x7f\xe9";
        std::string text;
        for (int i = Pick(12); i > 0; --i) {
            if (Pick(6) == 0)
                text += Pick(2) ? "\\\"" : "\\\\";
            else
                text += chars[Pick(sizeof(chars) - 1)];
        }
        return text;
    }
    float Float()
    {
        for (;;) {
            uint32_t bits = m_rng();
            if (Pick(3) == 0)
                bits &= 0x807fffffu | (static_cast<uint32_t>(Pick(3)) << 23);  // tiny and denormal values
            float f;
            memcpy(&f, &bits, sizeof(f));
            if (!std::isnan(f))
                return f;
        }
    }

    std::mt19937 m_rng;
};

bool SameTag(const nMetaTag* a, const nMetaTag* b, std::string& where)
{
    where = nMLDumpTag(a).substr(0, 200);
    if (!(a->GetName() == b->GetName()) || a->GetType() != b->GetType() || a->GetChildCount() != b->GetChildCount())
        return false;
    const nVariant& va = a->GetValue();
    const nVariant& vb = b->GetValue();
    switch (va.GetType()) {
        case TagType_Real: {
            float fa = 0, fb = 0;
            va.GetFloat(&fa);
            vb.GetFloat(&fb);
            if (memcmp(&fa, &fb, sizeof(float)) != 0)
                return false;
            break;
        }
        case TagType_Binary:
            if (va.GetBinaryLength() != vb.GetBinaryLength() ||
                memcmp(va.GetBinaryData(), vb.GetBinaryData(), static_cast<size_t>(va.GetBinaryLength())) != 0)
                return false;
            break;
        default:
            if (nMLDumpTag(a) != nMLDumpTag(b))
                return false;
    }
    const nLinkedListEntry* ea = const_cast<nMetaTag*>(a)->GetChildren().GetHead();
    const nLinkedListEntry* eb = const_cast<nMetaTag*>(b)->GetChildren().GetHead();
    for (; ea && eb; ea = ea->GetNext(), eb = eb->GetNext()) {
        if (!SameTag(static_cast<const nMetaTag*>(ea), static_cast<const nMetaTag*>(eb), where))
            return false;
    }
    return true;
}

TEST(NMLWriter, RandomTreesReadBackIdentical)
{
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        RandomTree random(seed);
        nMetaFile document;
        document.SetBinaryEncoding(random.Pick(2));
        for (int i = 1 + random.Pick(4); i > 0; --i)
            document.AddRoot(random.Make(0));
        nLogCapture log;
        bool saved = false;
        std::string text = SaveToMemory(document, "random.nml", &saved);
        ASSERT_TRUE(saved) << "seed " << seed;
        nMetaFile back;
        ASSERT_TRUE(back.Load("random.nml")) << "seed " << seed << "\n"
                                             << text;
        ASSERT_EQ(back.GetRootCount(), document.GetRootCount()) << "seed " << seed;
        const nLinkedListEntry* a = document.GetRoots().GetHead();
        const nLinkedListEntry* b = back.GetRoots().GetHead();
        std::string where;
        for (; a; a = a->GetNext(), b = b->GetNext())
            ASSERT_TRUE(SameTag(static_cast<const nMetaTag*>(a), static_cast<const nMetaTag*>(b), where))
                << "seed " << seed << " at " << where;
        EXPECT_EQ(log.Lines(), Lines{}) << "seed " << seed;
    }
}

// ---------------------------------------------------------------------------------------------
// Persistent objects
// ---------------------------------------------------------------------------------------------

class Counter : public nMetaObject
{
public:
    int32_t value = 0;

    bool Deserialize(nMetaFile*, nMetaTag* root) override
    {
        nMetaTag* v = root->FindTypedPath("Value;", TagType_Integer);
        return v && v->GetValue().GetInt(&value);
    }
    nMetaTag* Serialize(nMetaFile*) override
    {
        nMetaTag* root = new nMetaTag("Counter");
        root->AddChild(new nMetaTag("Value", value));
        return root;
    }
};

class Broken : public Counter
{
public:
    nMetaTag* Serialize(nMetaFile*) override { return nullptr; }
};

TEST(NMLMetaObject, SaveAndLoadThroughOneRootTag)
{
    nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
    Counter out;
    out.value = 41;
    EXPECT_TRUE(out.Save("counter.nml"));
    Counter in;
    EXPECT_TRUE(in.Load("counter.nml"));
    EXPECT_EQ(in.value, 41);

    nLogCapture log;
    Broken broken;
    EXPECT_FALSE(broken.Save("broken.nml"));
    EXPECT_FALSE(in.Load("missing-counter.nml"));
    nMLPutMemoryFile("empty.nml", "<NML=1.0>\n");
    EXPECT_FALSE(in.Load("empty.nml"));
    nIO::SetCurrentFS(previous);
    Lines lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "[!] No root tag in 'empty.nml'.\n");
}

}  // namespace
