// Resource cache and loaders over the memory file system, with a recording renderer, core
// listener, progress interface and hooks.
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

#include "core/nIO.h"
#include "core/nIOBaseFS.h"
#include "core/nIOMemoryFS.h"
#include "resources/nResourceCache.h"
#include "resources/nPictureFormat.h"
#include "resources/nResourceLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

namespace
{

Calls* g_calls = nullptr;
nOrvex* g_engine = nullptr;

std::string Ptr(const void* p)
{
    if (!p) return "NULL";
    if (p == reinterpret_cast<const void*>(uintptr_t(1))) return "1";
    return "obj";
}

class LoaderRenderer : public RecordingRenderer
{
public:
    LoaderRenderer(nOrvex* engine, Calls* calls) : RecordingRenderer(engine, calls), m_calls(calls) {}
    bool SetupTexture(nTexture* t) override { m_calls->push_back(std::string("SetupTexture ") + t->GetName().GetCStr()); return true; }
    bool LoadTextureContent(nTexture* t, const char* path) override
    {
        m_calls->push_back(std::string("renderer content ") + path);
        return false;
    }

private:
    Calls* m_calls;
};

class EventRecorder : public nCoreListener, public nOrvex::EventInterface
{
public:
    explicit EventRecorder(Calls* calls) : m_calls(calls) {}
    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* r) override
    {
        m_calls->push_back("event " + std::to_string(code) + " {" + Ptr(r->geometry) + "," + Ptr(r->texture) + "," +
                           Ptr(r->sound) + "}");
        return 0;
    }
    void OnBegin() override { m_calls->push_back("begin"); }
    void OnProgress(const char* text, float value) override { m_calls->push_back(std::string("progress ") + text + " " + std::to_string((int)value)); }
    void OnEnd() override { m_calls->push_back("end"); }
    void OnMessage(const char* text) override { m_calls->push_back(std::string("message ") + text); }

private:
    Calls* m_calls;
};

void NameHook(int32_t slot, void* argument)
{
    g_calls->push_back("hook " + std::to_string(slot) + " " + static_cast<nString*>(argument)->GetCStr());
}

std::string Triangle(const char* extra)
{
    return std::string("<NML=1.0>\n<Geometry=<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>>"
                       "<V=<X=0.0><Y=1.0><Z=0.0>>>><APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0>"
                       "<Index=0><Index=1><Index=2>>>>") + extra + ">\n";
}

// A 2 x 1 uncompressed 24-bit TGA.
std::string Tga()
{
    const unsigned char bytes[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 10, 20, 30, 40, 50, 60};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// A mono 8-bit WAV of four samples.
std::string Wav()
{
    std::string s = "RIFF";
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xff); };
    auto u16 = [&](uint16_t v) { s += char(v & 0xff); s += char(v >> 8); };
    u32(36 + 4);
    s += "WAVEfmt ";
    u32(16);
    u16(1); u16(1); u32(8000); u32(8000); u16(1); u16(8);
    s += "data";
    u32(4);
    s += std::string("\x80\x90\x70\x80", 4);
    return s;
}

class LoaderTest : public ::testing::Test
{
protected:
    LoaderTest() : renderer(&engine, &calls), recorder(&calls)
    {
        g_calls = &calls;
        g_engine = &engine;
        previousFS = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        engine.SetResourceCache(&cache);
        engine.AddCoreListener(&recorder);
        engine.SetEventInterface(&recorder);
    }
    ~LoaderTest() override
    {
        cache.Clear();
        engine.RemoveCoreListener(&recorder);
        engine.SetEventInterface(nullptr);
        engine.SetResourceCache(nullptr);
        nIO::SetCurrentFS(previousFS);
        g_calls = nullptr;
        g_engine = nullptr;
    }
    nOrvex         engine;
    Calls          calls;
    LoaderRenderer renderer;
    EventRecorder  recorder;
    nResourceCache cache;
    nIOBaseFS*     previousFS;
};

TEST_F(LoaderTest, GeometryLoadSequenceAndCacheHits)
{
    nMLPutMemoryFile("models/tri.nml", Triangle(""));
    nLogCapture quiet;
    nGeometry* g = LoadGeometry(&engine, "models\\tri.nml", false, false);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->vertexCount, 3u);
    EXPECT_TRUE(g->GetName() == "models/tri.nml");
    // The reader clears the new geometry first, which frees it on the renderer.
    const Calls expected = {"begin",
                            "event 3 {1,NULL,NULL}",
                            "FreeGeometry models/tri.nml",
                            "event 4 {obj,NULL,NULL}",
                            "message Geometry Setup",
                            "SetupMaterial ",
                            "SetupGeometry models/tri.nml",
                            "progress Loading geometry 'models/tri.nml'... -1",
                            "end"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(g->GetRefCount(), 1);

    // Every spelling of the path finds the one entry, without another load.
    calls.clear();
    EXPECT_EQ(LoadGeometry(&engine, "models/tri.nml", false, false), g);
    EXPECT_EQ(LoadGeometry(&engine, "models\\tri.nml", false, false), g);
    EXPECT_EQ(LoadGeometry(&engine, "models//tri.nml", false, false), g);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(cache.GetGeometryList(false).GetCount(), 1);

    // The collision list is separate and never set up; bypass neither reads nor fills the cache.
    nGeometry* c = LoadGeometry(&engine, "models/tri.nml", true, false);
    EXPECT_NE(c, g);
    EXPECT_EQ(LoadGeometry(&engine, "models/tri.nml", true, false), c);
    nSharedPtr<nGeometry> bypassed(LoadGeometry(&engine, "models/tri.nml", false, true));
    EXPECT_NE(bypassed.Get(), g);
    EXPECT_EQ(bypassed->GetRefCount(), 1);
    nSharedPtr<nGeometry> bypassedCollision(LoadGeometry(&engine, "models/tri.nml", true, true));
    int setups = 0;
    for (const std::string& call : calls) setups += call.rfind("SetupGeometry", 0) == 0;
    EXPECT_EQ(setups, 1);   // the bypassed non-collision geometry only
    EXPECT_EQ(cache.GetGeometryList(false).GetCount(), 1);
    EXPECT_EQ(cache.GetGeometryList(true).GetCount(), 1);
    EXPECT_EQ(LoadGeometry(&engine, nullptr, false, false), nullptr);
}

TEST_F(LoaderTest, MissingGeometry)
{
    {
        nLogCapture cap;
        nGeometry* g = LoadGeometry(&engine, "gone/none.nml", false, false);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->vertexCount, 0u);
        EXPECT_EQ(cache.FindGeometry("gone/none.nml", false), g);
        bool reported = false;
        for (const std::string& line : cap.Lines()) reported |= line == "[!] Failed to load geometry 'gone/none.nml'.\n";
        EXPECT_TRUE(reported) << cap.Text();
    }
    // With hook 0, the hook sees the normalised name once, and a name it gives that is cached
    // ends the load there.
    nMLPutMemoryFile("present.nml", Triangle(""));
    nLogCapture quiet;
    nGeometry* present = LoadGeometry(&engine, "present.nml", false, false);
    engine.SetHook(OrvexHookGeometryMissing, [](void* argument) {
        NameHook(0, argument);
        static_cast<nString*>(argument)->Set("present.nml");
    });
    calls.clear();
    EXPECT_EQ(LoadGeometry(&engine, "lost\\piece.nml", false, false), present);
    EXPECT_EQ(calls, Calls{"hook 0 lost/piece.nml"});

    // The name the hook leaves loses its search path before the second lookup.
    nIO::AddSearchPath("library");
    engine.SetHook(OrvexHookGeometryMissing, [](void* argument) {
        NameHook(0, argument);
        static_cast<nString*>(argument)->Set("library/present.nml");
    });
    calls.clear();
    EXPECT_EQ(LoadGeometry(&engine, "lost/other.nml", false, false), present);
    EXPECT_EQ(calls, Calls{"hook 0 lost/other.nml"});
    nIO::SetSearchPaths(nList<nString>());
    engine.SetHook(OrvexHookGeometryMissing, nullptr);
}

TEST_F(LoaderTest, ProxiesLoadThroughTheCache)
{
    nMLPutMemoryFile("p/a.nml", Triangle("<LodProxy=\"p\\b.nml\"><ShadowProxy=\"p/c.nml\">"));
    nMLPutMemoryFile("p/b.nml", Triangle("<LodProxy=\"p/c.nml\">"));
    nMLPutMemoryFile("p/c.nml", Triangle("<ShadowProxy=\"p/a.nml\">"));
    // Hook 4 sees the geometry being loaded: each nested load must leave the outer one in place.
    engine.SetHook(OrvexHookGeometryLoaded, [](void* argument) {
        nGeometry* g = static_cast<nGeometry*>(argument);
        g_calls->push_back(std::string("loaded ") + g->GetName().GetCStr() +
                           (g_engine->GetLoadingGeometry() == g ? " while loading itself" : " while loading another"));
    });
    nLogCapture cap;
    calls.clear();
    nGeometry* a = LoadGeometry(&engine, "p/a.nml", false, false);
    engine.SetHook(OrvexHookGeometryLoaded, nullptr);
    ASSERT_NE(a, nullptr);
    Calls loaded;
    for (const std::string& call : calls)
        if (call.rfind("loaded", 0) == 0) loaded.push_back(call);
    EXPECT_EQ(loaded, (Calls{"loaded p/c.nml while loading itself", "loaded p/b.nml while loading itself",
                             "loaded p/a.nml while loading itself"}));
    EXPECT_EQ(engine.GetLoadingGeometry(), nullptr);
    // c was loaded once, through b, and found in the cache as a's shadow proxy.
    nGeometry* b = cache.FindGeometry("p/b.nml", false);
    nGeometry* c = cache.FindGeometry("p/c.nml", false);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(a->lodProxy.Get(), b);
    EXPECT_EQ(b->lodProxy.Get(), c);
    EXPECT_EQ(a->shadowProxy.Get(), c);
    EXPECT_FALSE(c->shadowProxy.IsValid());
    EXPECT_EQ(cache.GetGeometryList(false).GetCount(), 3);
    int refusals = 0;
    for (const std::string& line : cap.Lines()) refusals += line.find("leads back") != std::string::npos;
    EXPECT_EQ(refusals, 1);
}

TEST_F(LoaderTest, ClearDestroysEverything)
{
    nMLPutMemoryFile("k/one.nml", Triangle(""));
    nMLPutMemoryFile("k/pic.tga", Tga());
    nLogCapture quiet;
    LoadGeometry(&engine, "k/one.nml", false, false);
    LoadGeometry(&engine, "k/one.nml", true, false);
    LoadTexture(&engine, "k/pic.tga", false, false);
    nSharedPtr<nGeometry> kept(LoadGeometry(&engine, "k/one.nml", false, false));
    calls.clear();
    cache.Clear();
    int destroying = 0, destroyed = 0;
    for (const std::string& call : calls)
    {
        destroying += call.rfind("event 5", 0) == 0;
        destroyed += call.rfind("event 6", 0) == 0;
    }
    EXPECT_EQ(destroying, 2);   // the collision geometry and the texture; the kept geometry lives on
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(cache.GetGeometryList(false).GetCount(), 0);
}

TEST_F(LoaderTest, Textures)
{
    nMLPutMemoryFile("t/wall.tga", Tga());
    nMLPutMemoryFile("t/clip.mpg", Tga());
    nMLPutMemoryFile("t/clip.MPG", Tga());
    engine.SetHook(OrvexHookTextureContent, [](void* argument) {
        g_calls->push_back(std::string("hook 5 ") + static_cast<nTexture*>(argument)->GetName().GetCStr());
    });
    nLogCapture cap;
    nTexture* wall = LoadTexture(&engine, "t\\wall.tga", false, false);
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(wall->GetWidth(), 2u);
    const Calls expected = {"begin", "event 3 {NULL,1,NULL}", "hook 5 t/wall.tga", "event 4 {NULL,obj,NULL}",
                            "message Texture Setup", "SetupTexture t/wall.tga", "progress Loading texture 't/wall.tga'... -1", "end"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(LoadTexture(&engine, "t/wall.tga", false, false), wall);

    // A secondary texture is cached apart and not set up.
    calls.clear();
    nTexture* second = LoadTexture(&engine, "t/wall.tga", true, false);
    EXPECT_NE(second, wall);
    for (const std::string& call : calls) EXPECT_EQ(call.find("Setup"), std::string::npos) << call;

    // "mpg" is a video, opened as a stream (these bytes are no stream); the same extension in
    // capitals is a picture.
    calls.clear();
    cap.Clear();
    nTexture* lower = LoadTexture(&engine, "t/clip.mpg", false, false);
    nTexture* upper = LoadTexture(&engine, "t/clip.MPG", false, false);
    ASSERT_NE(lower, nullptr);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->GetWidth(), 2u);
    EXPECT_EQ(lower->GetWidth(), 0u);
    Calls asked;
    for (const std::string& call : calls)
        if (call.rfind("renderer", 0) == 0) asked.push_back(call);
    EXPECT_EQ(asked, Calls{});
    EXPECT_EQ(cap.Lines(), (Calls{"Open texture stream interface: 't/clip.mpg'\n", "[H] Opening stream 't/clip.mpg'.\n",
                                  "[!] No suitable demuxer for stream.\n", "[!] Failed to open content stream.\n"}));
    engine.SetHook(OrvexHookTextureContent, nullptr);

    nLogCapture quiet;
    EXPECT_FALSE(SetTextureContent(&engine, nullptr, "x.tga"));
}

TEST_F(LoaderTest, Pictures)
{
    nMLPutMemoryFile("pics/p.tga", Tga());
    engine.SetHook(OrvexHookPictureLoaded, [](void*) { g_calls->push_back("hook 6"); });
    nLogCapture quiet;
    nPicture* p = LoadPicture(&engine, "pics\\p.tga", false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFormat().bitsPerPixel, PixelFormatRGBA8.bitsPerPixel);
    EXPECT_EQ(p->GetPixels()[0], 30);   // red of the first BGR pixel
    calls.clear();
    nPicture* missing = LoadPicture(&engine, "pics/none.tga", false);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->GetPixels(), nullptr);
    EXPECT_EQ(LoadPicture(&engine, "pics/none.tga", false), missing);
    for (const std::string& call : calls) EXPECT_NE(call, "hook 6");
    engine.SetHook(OrvexHookPictureLoaded, nullptr);

    nSharedPtr<nPicture> outside(new nPicture());
    EXPECT_FALSE(nResourceList::Remove(cache.GetPictureList(), outside.Get()));
    EXPECT_FALSE(nResourceList::Remove(cache.GetPictureList(), (nPicture*)nullptr));
    nSharedPtr<nPicture> held(p);
    EXPECT_TRUE(nResourceList::Remove(cache.GetPictureList(), p));
    EXPECT_EQ(held->GetRefCount(), 1);
    EXPECT_EQ(cache.FindPicture("pics/p.tga"), nullptr);
}

TEST_F(LoaderTest, Sounds)
{
    nMLPutMemoryFile("sfx/beep.wav", Wav());
    engine.SetHook(OrvexHookSoundLoaded, [](void*) { g_calls->push_back("hook 8"); });
    nLogCapture cap;
    nSound* s = LoadSound(&engine, "sfx\\beep.wav");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->GetName() == "sfx/beep.wav");
    EXPECT_EQ(s->GetSamples().GetByteSize(), 4u);
    calls.clear();
    EXPECT_EQ(LoadSound(&engine, "sfx/beep.wav"), s);
    EXPECT_EQ(calls, (Calls{"begin", "progress Loading sound 'sfx/beep.wav'... -1", "end"}));

    cap.Clear();
    nSound* none = LoadSound(&engine, "sfx/none.wav");
    ASSERT_NE(none, nullptr);
    bool reported = false;
    for (const std::string& line : cap.Lines()) reported |= line == "[!] Failed to locate 'sfx/none.wav', could not load sound.\n";
    EXPECT_TRUE(reported) << cap.Text();
    EXPECT_EQ(cache.GetSoundList().GetCount(), 2);
    engine.SetHook(OrvexHookSoundLoaded, nullptr);
}

}
