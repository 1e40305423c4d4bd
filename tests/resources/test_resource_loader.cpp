// Resource cache and loaders over the memory file system, with the kit's recording renderer,
// core listener and event interface, and hooks.
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingEvents.h"
#include "tests/kit/nRecordingRenderer.h"
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

namespace {

nCallLog* g_calls = nullptr;
nOrvex* g_engine = nullptr;

void NameHook(int32_t slot, void* argument)
{
    g_calls->Add("hook " + std::to_string(slot) + " " + static_cast<nString*>(argument)->GetCStr());
}

std::string Triangle(const char* extra)
{
    return std::string("<NML=1.0>\n<Geometry=<AVertex=<Count=3><Data=<V=<X=0.0><Y=0.0><Z=0.0>><V=<X=1.0><Y=0.0><Z=0.0>>"
                       "<V=<X=0.0><Y=1.0><Z=0.0>>>><APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0>"
                       "<Index=0><Index=1><Index=2>>>>") +
           extra + ">\n";
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
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    s += "data";
    u32(4);
    s += std::string("\x80\x90\x70\x80", 4);
    return s;
}

class LoaderTest : public ::testing::Test
{
protected:
    LoaderTest()
    {
        renderer.recordResources = true;
        g_calls = &calls;
        g_engine = &engine;
        previousFS = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        engine.SetResourceCache(&cache);
    }
    ~LoaderTest() override
    {
        cache.Clear();
        engine.SetResourceCache(nullptr);
        nIO::SetCurrentFS(previousFS);
        g_calls = nullptr;
        g_engine = nullptr;
    }
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
    nRecordingCoreListener listener{&engine, &calls};
    nRecordingEventInterface events{&engine, &calls};
    nResourceCache cache;
    nIOBaseFS* previousFS;
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
    const Calls expected = {"engine.Begin",
                            "core.Event(3) geometry",
                            "render.FreeGeometry(models/tri.nml)",
                            "core.Event(4) geometry models/tri.nml",
                            "engine.Message(Geometry Setup)",
                            "render.SetupMaterial()",
                            "render.UpdateMaterial()",
                            "render.SetupGeometry(models/tri.nml)",
                            "engine.Progress(Loading geometry 'models/tri.nml'...,-1)",
                            "engine.End"};
    EXPECT_EQ(calls.Calls(), expected);
    EXPECT_EQ(g->GetRefCount(), 1);

    // Every spelling of the path finds the one entry, without another load.
    calls.Clear();
    EXPECT_EQ(LoadGeometry(&engine, "models/tri.nml", false, false), g);
    EXPECT_EQ(LoadGeometry(&engine, "models\\tri.nml", false, false), g);
    EXPECT_EQ(LoadGeometry(&engine, "models//tri.nml", false, false), g);
    EXPECT_TRUE(calls.Calls().empty());
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
    setups = (int)calls.With("render.SetupGeometry").size();
    EXPECT_EQ(setups, 1);  // the bypassed non-collision geometry only
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
    calls.Clear();
    EXPECT_EQ(LoadGeometry(&engine, "lost\\piece.nml", false, false), present);
    EXPECT_EQ(calls.Calls(), Calls{"hook 0 lost/piece.nml"});

    // The name the hook leaves loses its search path before the second lookup.
    nIO::AddSearchPath("library");
    engine.SetHook(OrvexHookGeometryMissing, [](void* argument) {
        NameHook(0, argument);
        static_cast<nString*>(argument)->Set("library/present.nml");
    });
    calls.Clear();
    EXPECT_EQ(LoadGeometry(&engine, "lost/other.nml", false, false), present);
    EXPECT_EQ(calls.Calls(), Calls{"hook 0 lost/other.nml"});
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
        g_calls->Add(std::string("loaded ") + g->GetName().GetCStr() +
                     (g_engine->GetLoadingGeometry() == g ? " while loading itself" : " while loading another"));
    });
    nLogCapture cap;
    calls.Clear();
    nGeometry* a = LoadGeometry(&engine, "p/a.nml", false, false);
    engine.SetHook(OrvexHookGeometryLoaded, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(calls.With("loaded"), (Calls{"loaded p/c.nml while loading itself", "loaded p/b.nml while loading itself",
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
    calls.Clear();
    cache.Clear();
    EXPECT_EQ(calls.With("core.Event(5)").size(), 2u);  // the collision geometry and the texture; the kept geometry lives on
    EXPECT_EQ(calls.With("core.Event(6)").size(), 2u);
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(cache.GetGeometryList(false).GetCount(), 0);
}

TEST_F(LoaderTest, Textures)
{
    nMLPutMemoryFile("t/wall.tga", Tga());
    nMLPutMemoryFile("t/clip.mpg", Tga());
    nMLPutMemoryFile("t/clip.MPG", Tga());
    engine.SetHook(OrvexHookTextureContent, [](void* argument) {
        g_calls->Add(std::string("hook 5 ") + static_cast<nTexture*>(argument)->GetName().GetCStr());
    });
    nLogCapture cap;
    nTexture* wall = LoadTexture(&engine, "t\\wall.tga", false, false);
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(wall->GetWidth(), 2u);
    const Calls expected = {"engine.Begin", "core.Event(3) texture", "hook 5 t/wall.tga", "core.Event(4) texture t/wall.tga",
                            "engine.Message(Texture Setup)", "render.SetupTexture(t/wall.tga)",
                            "engine.Progress(Loading texture 't/wall.tga'...,-1)", "engine.End"};
    EXPECT_EQ(calls.Calls(), expected);
    EXPECT_EQ(LoadTexture(&engine, "t/wall.tga", false, false), wall);

    // A secondary texture is cached apart and not set up.
    calls.Clear();
    nTexture* second = LoadTexture(&engine, "t/wall.tga", true, false);
    EXPECT_NE(second, wall);
    for (const std::string& call : calls.Calls()) EXPECT_EQ(call.find("Setup"), std::string::npos) << call;

    // "mpg" is a video, opened as a stream (these bytes are no stream); the same extension in
    // capitals is a picture.
    calls.Clear();
    cap.Clear();
    nTexture* lower = LoadTexture(&engine, "t/clip.mpg", false, false);
    nTexture* upper = LoadTexture(&engine, "t/clip.MPG", false, false);
    ASSERT_NE(lower, nullptr);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->GetWidth(), 2u);
    EXPECT_EQ(lower->GetWidth(), 0u);
    EXPECT_EQ(calls.With("render.LoadTextureContent"), Calls{});
    EXPECT_EQ(cap.Lines(), (Calls{"Open texture stream interface: 't/clip.mpg'\n", "[H] Opening stream 't/clip.mpg'.\n",
                                  "[!] No suitable demuxer for stream.\n", "[!] Failed to open content stream.\n"}));
    engine.SetHook(OrvexHookTextureContent, nullptr);

    nLogCapture quiet;
    EXPECT_FALSE(SetTextureContent(&engine, nullptr, "x.tga"));
}

TEST_F(LoaderTest, Pictures)
{
    nMLPutMemoryFile("pics/p.tga", Tga());
    engine.SetHook(OrvexHookPictureLoaded, [](void*) { g_calls->Add("hook 6"); });
    nLogCapture quiet;
    nPicture* p = LoadPicture(&engine, "pics\\p.tga", false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFormat().bitsPerPixel, PixelFormatRGBA8.bitsPerPixel);
    EXPECT_EQ(p->GetPixels()[0], 30);  // red of the first BGR pixel
    calls.Clear();
    nPicture* missing = LoadPicture(&engine, "pics/none.tga", false);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->GetPixels(), nullptr);
    EXPECT_EQ(LoadPicture(&engine, "pics/none.tga", false), missing);
    EXPECT_EQ(calls.Count("hook 6"), 0u);
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
    engine.SetHook(OrvexHookSoundLoaded, [](void*) { g_calls->Add("hook 8"); });
    nLogCapture cap;
    nSound* s = LoadSound(&engine, "sfx\\beep.wav");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->GetName() == "sfx/beep.wav");
    EXPECT_EQ(s->GetSamples().GetByteSize(), 4u);
    calls.Clear();
    EXPECT_EQ(LoadSound(&engine, "sfx/beep.wav"), s);
    EXPECT_EQ(calls.Calls(), (Calls{"engine.Begin", "engine.Progress(Loading sound 'sfx/beep.wav'...,-1)", "engine.End"}));

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
