// "Scene2d" NML: round trips through a file, the written form, uids and parent links kept,
// and bad input that loads what it can with one log line for each bad part.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "resources/nPictureTGA.h"
#include "resources/nTexture.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nWindow.h"

namespace {

typedef std::vector<std::string> Lines;

struct Layer
{
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
    nRecordingScriptVM vm{&engine, &log};
    nScene2D ui{&engine, &vm};
};

std::string Dump(nScene2D& ui)
{
    nMetaFile document;
    nMetaTag* root = ui.Serialize(&document);
    if (!root) return "(none)";
    std::string text = nMLDumpTag(root);
    delete root;
    return text;
}

nSprite2D* ById(nScene2D& ui, const char* id)
{
    for (const nListNode<nSprite2D*>* n = ui.GetSprites().GetHead(); n; n = n->next)
        if (n->value->GetId() == id) return n->value;
    return 0;
}

TEST(Scene2DNML, ARoundTripThroughAFileKeepsEverySpriteAndLink)
{
    nTempDir dir;
    nTempDir::ChangeInto into(dir);
    nPicture picture;
    picture.Allocate(16, 8, PixelFormatRGBA8);
    ASSERT_TRUE(SavePictureTGA("star.tga", picture));

    std::string written;
    {
        Layer l;
        const nVector2 at(100, 50), size(64, 32);
        nSprite2D* a = new nSprite2D(&l.ui, 0, 0, "a", &at, &size);
        a->SetPivot(32, 16);
        a->SetScale(2, 0.5f);
        a->SetZOrder(0.25f);
        a->SetRotation(0.5f);
        a->SetOpacity(0.75f);
        a->SetStyle(Sprite2DStyleAdditive | Sprite2DStyleMovable | Sprite2DStyleLockUV, true);
        a->SetState(Sprite2DStateActive | Sprite2DStateFlipV, true);
        ASSERT_GT(a->SetCommandText("toposition 1, 200, 50; toalpha 0.5, 0;"), 0);
        nWindow* b = new nWindow(&l.ui, a, "b", "Panel", 0, &size);
        b->SetBackgroundColor(nVector(0.2f, 0.4f, 0.6f, 0.8f));
        nSprite2D* c = new nSprite2D(&l.ui, 0, b, "c", 0, 0);
        c->Deserialize(0, 0);  // refused: no tag (logged), nothing changed
        nMetaFile texture;
        ASSERT_TRUE(c->Deserialize(&texture, nMLParseRoot(texture, "<Sprite2d= <Texture=\"star.tga\"> >")));
        ASSERT_NE(c->GetTexture(), nullptr);
        ASSERT_EQ(l.ui.SetCommandText("globalfade 2, 0.5;"), 2);
        const char* skin[SkinSlotCount] = {"star.tga", "star.tga", "star.tga", "star.tga",
                                           "star.tga", "star.tga", "star.tga", "star.tga"};
        ASSERT_TRUE(l.ui.SetSkin(skin, 0x80402010u, 0xFF00FF00u, 3, 9, 20, "Title"));
        l.ui.SetScriptPath("scripts/hud.nut");
        l.ui.SetClassName("Hud");

        nMetaFile document;
        nMetaTag* root = l.ui.Serialize(&document);
        ASSERT_NE(root, nullptr);
        document.AddRoot(root);
        ASSERT_TRUE(document.Save("hud.nml"));
        written = Dump(l.ui);
    }

    Layer l;
    nMetaFile document;
    ASSERT_TRUE(document.Load("hud.nml"));
    nLogCapture capture;
    ASSERT_TRUE(l.ui.Deserialize(&document, document.FindPath("Scene2d;")));
    EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
    EXPECT_EQ(Dump(l.ui), written);
    EXPECT_EQ(l.ui.GetName(), document.GetFileName());

    nSprite2D* a = ById(l.ui, "a");
    nSprite2D* b = ById(l.ui, "b");
    nSprite2D* c = ById(l.ui, "c");
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(b->IsWindow());
    EXPECT_EQ(b->GetParent(), a);
    EXPECT_EQ(c->GetParent(), b);
    EXPECT_EQ(static_cast<nWindow*>(b)->GetTitle(), "Panel");
    EXPECT_FLOAT_EQ(static_cast<nWindow*>(b)->GetBackgroundColor().z, 0.6f);
    EXPECT_EQ(a->GetPivot().x, 32.0f);
    EXPECT_EQ(a->GetScale().y, 0.5f);
    EXPECT_EQ(a->GetZOrder(), 0.25f);
    EXPECT_EQ(a->GetOpacity(), 0.75f);
    EXPECT_EQ(a->GetStyle(), (uint32_t)(Sprite2DStyleAdditive | Sprite2DStyleMovable | Sprite2DStyleLockUV));
    EXPECT_TRUE(a->TestState(Sprite2DStateActive | Sprite2DStateFlipV));
    EXPECT_FALSE(a->IsCommandListDone());
    EXPECT_FALSE(l.ui.IsCommandListDone());
    EXPECT_EQ(l.ui.GetClassName(), "Hud");
    EXPECT_TRUE(l.ui.IsSkinLoaded());
    EXPECT_EQ(l.ui.GetSkinFillColor(), 0x80402010u);
    EXPECT_EQ(l.ui.GetTitleColor(), 0xFF00FF00u);
    EXPECT_EQ(l.ui.GetTitleBottom(), 9);
    EXPECT_EQ(l.ui.GetTitleFont(), "Title");
    ASSERT_NE(c->GetTexture(), nullptr);
    EXPECT_EQ(c->GetTexture()->GetWidth(), 16u);
    // A sprite made after the read takes a uid of its own.
    nSprite2D* d = new nSprite2D(&l.ui, 0, 0, "d", 0, 0);
    EXPECT_EQ(d->GetUid(), 3);
}

TEST(Scene2DNML, TheWrittenFormLeavesDefaultsOut)
{
    Layer l;
    nSprite2D* a = new nSprite2D(&l.ui, 0, 0, "a", 0, 0);
    a->SetFlip(true, false);
    const nVector2 size(30, 20);
    nWindow* b = new nWindow(&l.ui, a, "b", 0, 0, &size);
    b->SetStyle(Sprite2DStyleNoTitle, true);
    EXPECT_EQ(Dump(l.ui),
              "Scene2d{Sprites{"
              "Sprite2d{Id=s\"a\",Uid=i0,Position{X=f0.5,Y=f0.5},Size{X=f128,Y=f128},Style,Flag{Visible,FlipU}},"
              "Window{Sprite2d{Id=s\"b\",Uid=i1,Position{X=f0.5,Y=f0.5},Size{X=f30,Y=f20},Style{NoTitle},Flag{Visible}}}"
              "},Links{Link{Item=i1,Link=i0}},ScriptUnit}");
}

TEST(Scene2DNML, UidsFromAFileAreNotGivenAgain)
{
    Layer l;
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document,
                                  "<Scene2d= <Sprites= <Sprite2d= <Id=\"x\"> <Uid=9> > <Sprite2d= <Id=\"y\"> <Uid=5> > > >");
    ASSERT_TRUE(l.ui.Deserialize(&document, root));
    nSprite2D* next = new nSprite2D(&l.ui, 0, 0, "z", 0, 0);
    EXPECT_GE(next->GetUid(), 10);  // after the largest read
    for (const nListNode<nSprite2D*>* n = l.ui.GetSprites().GetHead(); n; n = n->next)
        if (n->value != next) {
            EXPECT_NE(n->value->GetUid(), next->GetUid());
        }
    EXPECT_EQ(l.ui.FindSpriteByUid(5), ById(l.ui, "y"));
}

struct BadCase
{
    const char* what;
    const char* body;
    Lines lines;  // exactly these log lines
    int sprites;  // sprites loaded
};

TEST(Scene2DNML, BadInputLoadsWhatItCanWithOneLineEach)
{
    nTempDir dir;
    nTempDir::ChangeInto into(dir);
    const BadCase cases[] = {
        {"unknown style", "<Scene2d= <Sprites= <Sprite2d= <Style= <Bold> <AlwaysOnTop> <Shiny> > > > >", {"[*] Unknown tag 'Bold' in <Style>.\n", "[*] Unknown tag 'Shiny' in <Style>.\n"}, 1},
        {"unknown state", "<Scene2d= <Sprites= <Sprite2d= <Flag= <Visible> <Blinking> > > > >", {"[*] Unknown tag 'Blinking' in <Flag>.\n"}, 1},
        {"missing texture", "<Scene2d= <Sprites= <Sprite2d= <Texture=\"missing.tga\"> > <Sprite2d= > > >", {"[!] Failed to set texture content from 'missing.tga'.\n"}, 2},
        {"missing background picture",
         "<Scene2d= <Sprites= <Window= <Sprite2d= <Id=\"w\"> > <BackgroundPicture=\"gone.tga\"> > > >",
         {"[!] Could not load the background picture 'gone.tga' of window 'w'.\n"},
         1},
        {"absurd window size",
         "<Scene2d= <Sprites= <Window= <Sprite2d= <Id=\"big\"> <Size= <X=1000000000.0> <Y=5.0> > > > > >",
         {"[*] Window 'big' is larger than 4096 pixels: its size is limited to that.\n"},
         1},
        {"negative sprite size", "<Scene2d= <Sprites= <Sprite2d= <Size= <X=-5.0> <Y=0.0> > > > >", {}, 1},
        {"unknown children", "<Scene2d= <Camera=1> <Sprites= <Sprite2d= <Colour=3> > <Button= > > <Version=1> >", {"[*] Unknown tag 'Camera' in <Scene2d>.\n", "[*] Unknown tag 'Colour' in <Sprite2d>.\n"}, 1},
        {"texture of a window", "<Scene2d= <Sprites= <Window= <Sprite2d= <Texture=\"a.tga\"> > <Sprite3d= > > > >", {"[!] Unexpected <Texture> tag in sprite declaration.\n", "[*] Unknown tag 'Sprite3d' in <Window>.\n"}, 1},
        {"links to nothing and in a loop",
         "<Scene2d= <Sprites= <Sprite2d= <Uid=1> > <Sprite2d= <Uid=2> > > "
         "<Links= <Link= <Item=1> <Link=7> > <Link= <Item=1> <Link=2> > <Link= <Item=2> <Link=1> > <Link= <Item=2> > > >",
         {"[*] Link of sprite 1 to sprite 7: no such sprite.\n",
          "[!] Sprite 2 cannot be the child of sprite 1: the parent chain would loop.\n",
          "[*] A <Link> needs the int tags <Item> and <Link>.\n"},
         2},
        {"skin lacking a picture",
         "<Scene2d= <Skin= <Top=\"t.tga\"> <Left=\"l.tga\"> <Glow=1> > <Sprites= <Sprite2d= > > >",
         {"[*] Unknown tag 'Glow' in <Skin>.\n", "[!] The skin lacks its <Right> picture.\n"},
         1},
        {"bad command list", "<Scene2d= <Sprites= <Sprite2d= <CommandList=\"fly 1, 2;\"> > > >", {"[!] Undefined ACE command 'fly'.\n"}, 1},
    };
    for (const BadCase& c : cases) {
        Layer l;
        nMetaFile document;
        nMetaTag* root = nMLParseRoot(document, c.body);
        ASSERT_NE(root, nullptr) << c.what;
        nLogCapture capture;
        EXPECT_TRUE(l.ui.Deserialize(&document, root)) << c.what;
        EXPECT_EQ(capture.Lines(), c.lines) << c.what;
        EXPECT_EQ(l.ui.GetSprites().GetCount(), c.sprites) << c.what;
    }

    Layer l;
    nMetaFile document;
    nLogCapture capture;
    EXPECT_FALSE(l.ui.Deserialize(&document, nMLParseRoot(document, "<Scene= >")));
    EXPECT_FALSE(l.ui.Deserialize(&document, 0));
    EXPECT_EQ(capture.Lines(), (Lines{"[!] Could not parse 2d scene. Root tag id is incorrect (Scene).\n",
                                      "[!] Could not parse 2d scene. Root tag id is incorrect ().\n"}));
}

TEST(Scene2DNML, BadInputLeavesSensibleValues)
{
    Layer l;
    nMetaFile document;
    ASSERT_TRUE(l.ui.Deserialize(&document, nMLParseRoot(document,
                                                         "<Scene2d= <Sprites= <Window= <Sprite2d= <Id=\"big\"> <Size= <X=1000000000.0> <Y=5.0> > > > "
                                                         "<Sprite2d= <Id=\"small\"> <Size= <X=-5.0> <Y=0.0> > <Style= <Bold> <AlwaysBehind> > > > >")));
    nSprite2D* big = ById(l.ui, "big");
    nSprite2D* small = ById(l.ui, "small");
    ASSERT_TRUE(big && small);
    EXPECT_EQ(big->GetSize().x, 4096.0f);
    EXPECT_EQ(big->GetSize().y, 5.0f);
    EXPECT_EQ(static_cast<nWindow*>(big)->GetCachePicture()->GetWidth(), 4096u);
    EXPECT_EQ(small->GetSize().x, 1.0f);
    EXPECT_EQ(small->GetSize().y, 1.0f);
    EXPECT_EQ(small->GetStyle(), (uint32_t)Sprite2DStyleAlwaysBehind);
}

}
