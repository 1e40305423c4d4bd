// Resource cache lookups by name over lists that change between lookups: duplicates, names
// that need normalising, removals, renames, direct list edits and lists large enough to grow
// the name index.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "hub/nOrvex.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"
#include "tests/support/nLogCapture.h"

namespace {

class CacheLookup : public ::testing::Test
{
protected:
    CacheLookup() { engine.SetResourceCache(&cache); }
    ~CacheLookup() override
    {
        engine.SetResourceCache(nullptr);
        cache.Clear();
    }

    // Appends a geometry of that name to the geometry list; the cache then holds it.
    nGeometry* Add(const char* name)
    {
        nGeometry* g = new nGeometry(&engine);
        g->SetName(name);
        EXPECT_TRUE(nResourceCache::AddToList(cache.GetGeometryList(false), g));
        return g;
    }

    nOrvex engine;
    nResourceCache cache;
};

TEST_F(CacheLookup, EachNameFindsTheEntryNearestTheHead)
{
    nGeometry* a = Add("models/a.nmo");
    nGeometry* b = Add("models/b.nmo");
    nGeometry* secondA = Add("models/a.nmo");
    nGeometry* raw = Add("models\\c.nmo");  // stored without normalising, as a script may
    std::vector<nGeometry*> fill;
    for (int i = 0; i < 300; ++i) fill.push_back(Add(("fill/" + std::to_string(i) + ".nmo").c_str()));

    struct Case
    {
        const char* name;
        nGeometry* found;    // FindGeometry: the key normalised first
        nGeometry* asNamed;  // FindGeometryAsNamed: the key as it is, normalised entries only
    };
    const Case cases[] = {
        {"models/a.nmo", a, a},
        {"models\\a.nmo", a, nullptr},
        {"models//a.nmo", a, nullptr},
        {"models/b.nmo", b, b},
        {"models/c.nmo", nullptr, nullptr},
        {"models\\c.nmo", nullptr, nullptr},
        {"fill/0.nmo", fill[0], fill[0]},
        {"fill/299.nmo", fill[299], fill[299]},
        {"fill/300.nmo", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cache.FindGeometry(c.name, false), c.found);
        EXPECT_EQ(cache.FindGeometryAsNamed(c.name, false), c.asNamed);
        EXPECT_EQ(cache.FindGeometry(c.name, true), nullptr);  // the collision list is empty
    }
    EXPECT_EQ(cache.FindGeometry(nullptr, false), nullptr);
    EXPECT_EQ(cache.FindGeometryAsNamed(nullptr, false), nullptr);

    // The earlier entry leaves: the later one of the same name answers.
    EXPECT_TRUE(nResourceList::Remove(cache.GetGeometryList(false), a));
    EXPECT_EQ(cache.FindGeometry("models/a.nmo", false), secondA);
    EXPECT_EQ(cache.FindGeometryAsNamed("models/a.nmo", false), secondA);
    (void)raw;
}

TEST_F(CacheLookup, ChangesBetweenLookupsAreSeen)
{
    nGeometry* a = Add("models/a.nmo");
    nGeometry* b = Add("models/b.nmo");
    ASSERT_EQ(cache.FindGeometry("models/b.nmo", false), b);

    // A rename without any change to the list: found by the new name only.
    b->SetName("models/renamed.nmo");
    EXPECT_EQ(cache.FindGeometry("models/b.nmo", false), nullptr);
    EXPECT_EQ(cache.FindGeometryAsNamed("models/b.nmo", false), nullptr);
    EXPECT_EQ(cache.FindGeometry("models/renamed.nmo", false), b);
    // The earlier entry renamed to the later one's name is found first, as a walk finds it.
    a->SetName("models/renamed.nmo");
    EXPECT_EQ(cache.FindGeometry("models/renamed.nmo", false), a);

    // Entries unlinked and appended through the list itself.
    nResourceCache::GeometryList& list = cache.GetGeometryList(false);
    delete list.Unlink(list.GetHead());
    EXPECT_EQ(cache.FindGeometry("models/renamed.nmo", false), b);
    nGeometry* c = Add("models/renamed.nmo");
    nGeometry* d = Add("models/d.nmo");
    EXPECT_EQ(cache.FindGeometry("models/renamed.nmo", false), b);
    EXPECT_EQ(cache.FindGeometry("models/d.nmo", false), d);
    EXPECT_EQ(cache.FindGeometryAsNamed("models/d.nmo", false), d);
    list.Clear();
    EXPECT_EQ(cache.FindGeometry("models/d.nmo", false), nullptr);
    EXPECT_EQ(cache.FindGeometryAsNamed("models/d.nmo", false), nullptr);
    (void)c;
}

// Entries added through the cache between lookups, as the loaders add them: the index follows
// every addition, the first entry of a name keeps answering and a second add of one entry
// changes nothing.
TEST_F(CacheLookup, AdditionsBetweenLookupsAreSeen)
{
    std::vector<nGeometry*> added;
    for (int i = 0; i < 100; ++i) {
        nGeometry* g = new nGeometry(&engine);
        g->SetName(("models/" + std::to_string(i % 60) + ".nmo").c_str());  // 40 names twice
        ASSERT_TRUE(cache.AddGeometry(g, false));
        added.push_back(g);
        EXPECT_EQ(cache.FindGeometryAsNamed(g->GetName().GetCStr(), false), added[(size_t)(i % 60)]);
        EXPECT_EQ(cache.FindGeometry("models/99.nmo", false), nullptr);
    }
    EXPECT_TRUE(cache.AddGeometry(added[70], false));
    EXPECT_FALSE(cache.AddGeometry(nullptr, false));
    EXPECT_EQ(cache.GetGeometryList(false).GetCount(), 100);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(cache.FindGeometry(("models\\" + std::to_string(i) + ".nmo").c_str(), false), added[(size_t)i]);
    EXPECT_TRUE(cache.AddGeometry(added[0], true));
    EXPECT_EQ(cache.FindGeometry("models/0.nmo", true), added[0]);
    EXPECT_EQ(added[0]->GetRefCount(), 2);  // one reference for each list
}

TEST_F(CacheLookup, TexturesAndPicturesKeepTheirOwnLists)
{
    nTexture* t = new nTexture(&engine, 0, 0);
    t->SetName("pictures/t.tga");
    nResourceCache::AddToList(cache.GetTextureList(false), t);
    nPicture* p = new nPicture();
    p->SetName("pictures/t.tga");
    nResourceCache::AddToList(cache.GetPictureList(), p);

    EXPECT_EQ(cache.FindTexture("pictures\\t.tga", false), t);
    EXPECT_EQ(cache.FindTextureAsNamed("pictures/t.tga", false), t);
    EXPECT_EQ(cache.FindTexture("pictures/t.tga", true), nullptr);
    EXPECT_EQ(cache.FindTextureAsNamed("pictures/t.tga", true), nullptr);
    EXPECT_EQ(cache.FindPicture("pictures//t.tga"), p);
    EXPECT_EQ(cache.FindPictureAsNamed("pictures/t.tga"), p);
    EXPECT_EQ(cache.FindGeometry("pictures/t.tga", false), nullptr);
}

// The loader answers from the cache only for the normalised spelling of a name: an entry
// stored under a name that needs normalising is never returned for it.
TEST_F(CacheLookup, LoaderMatchesNormalisedNamesOnly)
{
    nIOBaseFS* previous = nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
    nGeometry* raw = Add("models\\raw.nmo");
    nGeometry* plain = Add("models/plain.nmo");
    nLogCapture log;
    EXPECT_EQ(LoadGeometry(&engine, "models/plain.nmo", false, false), plain);
    EXPECT_EQ(LoadGeometry(&engine, "models\\plain.nmo", false, false), plain);
    EXPECT_TRUE(log.Lines().empty());

    nGeometry* loaded = LoadGeometry(&engine, "models\\raw.nmo", false, false);
    ASSERT_NE(loaded, nullptr);
    EXPECT_NE(loaded, raw);
    EXPECT_TRUE(loaded->GetName() == "models/raw.nmo");
    const std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[!] Failed to load geometry 'models/raw.nmo'.\n"), lines.end())
        << log.Text();
    // Cached under its normalised name, the new geometry answers every spelling from now on.
    EXPECT_EQ(LoadGeometry(&engine, "models\\raw.nmo", false, false), loaded);
    EXPECT_EQ(LoadGeometry(&engine, "models/raw.nmo", false, false), loaded);
    nIO::SetCurrentFS(previous);
}

}
