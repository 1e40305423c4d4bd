// The UI family's widget and text functions through real Squirrel, on the user-interface layer
// of a scene with the window-system fonts open: the census against the manifest, widget kinds
// and the kind conversions, trees laid out in a window, the text-parameter table, handlers,
// widgets deleted while scripts and trees still hold them, refused trees, the null behaviour of
// every function from the manifest, and the generated sweep of wrong kinds, null and deleted
// objects and boundary numbers (run under the sanitizers by ./test.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/nPictureTGA.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nWidgetScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nTextLayout.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"
#include "ui/nWindowSystemFont.h"

namespace {

void SavePicture(const char* path, uint32_t width, uint32_t height)
{
    nPicture picture;
    ASSERT_TRUE(picture.Allocate(width, height, PixelFormatRGBA8));
    std::fill(picture.GetPixels(), picture.GetPixels() + picture.GetByteSize(), 200);
    ASSERT_TRUE(SavePictureTGA(path, picture));
}

class WidgetAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        nScriptAPITest::SetUp();
        ASSERT_TRUE(fonts.OpenWindowSystemFonts());
        uiDevices.fonts = &fonts;
        dir.Write("ui/readme.txt", "the check box pictures\n");
        SavePicture("icon.tga", 16, 12);
        SavePicture("ui/ui_check_true.tga", 16, 16);
        SavePicture("ui/ui_check_false.tga", 16, 16);
        CreateScene();
        other = new nScene(&engine, &vm);
        Hold("g_scene", scene, objectTypeScene);
        Hold("g_otherScene", other, objectTypeScene);
        Hold("g_nullUI", 0, objectTypeWindowSystem);
        Hold("g_nullWidget", 0, objectTypeWidget);
        Hold("g_nullText", 0, objectTypeTextWidget);
        Exec("::Rect <- class { sx = 0; sy = 0; ex = 0; ey = 0; }");
        Exec("::ui <- SceneGetUI(g_scene);"
             "::otherUI <- SceneGetUI(g_otherScene);"
             "::win <- UIAddWindow(ui, 3, 10, 20, 300, 100); WindowAddStyle(win, StyleNoTitleBar);"
             "::text <- UIAddStaticTextWidget(ui, 1, \"Hello\", \"Default\");"
             "::check <- UIAddCheckWidget(ui, 2, \"Sound\", \"Default\", true);"
             "::bitmap <- UIAddBitmapWidget(ui, 4, \"icon.tga\");"
             "::canvas <- UIAddCanvasWidget(ui, 5, 8, 4);"
             "::hsizer <- UIAddHorizontalSizerWidget(ui, 6);"
             "::vsizer <- UIAddVerticalSizerWidget(ui, 7);"
             "::container <- UIAddContainerWidget(ui, 8);"
             "::spacer <- UIAddSpacerWidget(ui, 9);");
    }
    void TearDown() override
    {
        delete other;
        nScriptAPITest::TearDown();
    }

    // The native of a script object (NULL for a null object or anything else).
    template<class T = nWidget>
    T* Native(const std::string& expression)
    {
        SQInteger top = sq_gettop(v);
        void* native = 0;
        if (Push(expression)) ScriptGetNativeObject(v, -1, &native, 0);
        sq_settop(v, top);
        return static_cast<T*>(native);
    }
    nWindow* Window() { return Native<nWindow>("win"); }
    std::string RectText(const std::string& r)
    {
        return Eval(r + ".sx + \",\" + " + r + ".sy + \",\" + " + r + ".ex + \",\" + " + r + ".ey");
    }

    nTempDir dir;
    nTempDir::ChangeInto into{dir};
    nWindowSystemFonts fonts;
    nScene* other = 0;
};

TEST_F(WidgetAPI, CensusOfNamesMasksAndConstantsAgainstTheManifest)
{
    std::vector<ManifestFunction> functions = ReadFunctionManifest("widget_functions.tsv");
    std::vector<ManifestConstant> constants = ReadConstantManifest("widget_constants.tsv");
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterWidgetScriptAPI), expected) << "the family adds exactly its names";
    std::vector<std::string> tabled, documented;
    for (const ScriptFunctionDecl* f = g_WidgetScriptFunctions; f->name; ++f) tabled.push_back(std::string(f->name) + " " + f->mask);
    for (const ManifestFunction& f : functions) documented.push_back(f.name + " " + f.mask);
    EXPECT_EQ(tabled, documented);
    for (const ManifestConstant& c : constants) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
}

// Every creation function gives an object of its class's kind (the exact-kind functions take
// it and refuse the others), a null ui gives a null object, and the natives are what was asked.
TEST_F(WidgetAPI, CreationGivesEachClassItsKind)
{
    ExpectEvals({
        {"TextSetText(text, \"Hi\")", "null"},
        {"TextSetText(bitmap, \"Hi\")", "error: Expected 'Text Widget' got 'Bitmap Widget'"},
        {"CheckWidgetGetState(check)", "true"},
        {"CheckWidgetGetState(text)", "error: Expected 'Check Widget' got 'Text Widget'"},
        {"SizerAddWidget(container, text)", "error: Expected 'Base Sizer' got 'Container Widget'"},
        {"ContainerAddWidget(hsizer, text, 0, 0, 1, 1)", "error: Expected 'Container Widget' got 'Base Sizer'"},
        {"CanvasWidgetUnlock(bitmap)", "error: Expected 'Canvas Widget' got 'Bitmap Widget'"},
        {"BitmapSetPicture(canvas, \"icon.tga\")", "error: Expected 'Bitmap Widget' got 'Canvas Widget'"},
        {"WidgetIsHidden(spacer)", "false"},
        {"ObjectIsValid(CanvasWidgetLock(canvas))", "true"},
        {"ObjectIsValid(UIAddSpacerWidget(g_nullUI, 1))", "false"},
        {"ObjectIsValid(UIAddCheckWidget(g_nullUI, 1, \"a\", \"b\", true))", "false"},
        {"ObjectIsValid(UIAddCanvasWidget(ui, 1, 5000, 5))", "true"},
    });
    EXPECT_EQ(Native("hsizer")->GetKind(), WidgetKindHSizer);
    EXPECT_EQ(Native("vsizer")->GetKind(), WidgetKindVSizer);
    EXPECT_EQ(Native<nTextWidget>("text")->GetText(), "Hi");
    EXPECT_EQ(Native<nTextWidget>("text")->GetParameters().font, fonts.GetSystemFont());
    EXPECT_EQ(Native<nTextWidget>("text")->GetParameters().size, 16);
    EXPECT_EQ(Native<nCheckWidget>("check")->GetPicturePart().GetPictureName(), "ui/ui_check_true.tga");
    EXPECT_EQ(Native<nBitmapWidget>("bitmap")->GetPicture()->GetWidth(), 16u);
    EXPECT_EQ(Native<nCanvasWidget>("canvas")->GetPicture()->GetHeight(), 4u);
    // A canvas larger than a window can be is refused with a line; the widget stays, pictureless.
    EXPECT_EQ(log.Lines().back(), "[!] Failed to allocate a canvas picture of 5000 x 5.\n");
}

// The kind conversions: CastToWidget takes every widget kind; WidgetToText, WidgetToBitmap and
// WidgetToCheck take a Widget and check the widget's class: another class gives a null object
// and a line, so no text function ever runs on a bitmap.
TEST_F(WidgetAPI, KindConversionsCheckTheClass)
{
    Exec("::asWidget <- CastToWidget(bitmap)");
    ExpectEvals({
        {"ObjectIsValid(WidgetToBitmap(asWidget))", "true"},
        {"ObjectIsValid(WidgetToText(asWidget))", "false"},
        {"ObjectIsValid(WidgetToCheck(asWidget))", "false"},
        {"ObjectIsValid(WidgetToText(CastToWidget(text)))", "true"},
        {"ObjectIsValid(WidgetToCheck(CastToWidget(check)))", "true"},
        {"ObjectIsSame(WidgetToText(CastToWidget(text)), text)", "true"},
        {"TextSetText(WidgetToText(asWidget), \"x\")", "error: CObject is null"},
        {"WidgetToText(bitmap)", "error: Expected 'Widget' got 'Bitmap Widget'"},
        {"CastToWidget(win)", "error: Object is not a widget"},
        {"CastToWidget(g_scene)", "error: Object is not a widget"},
        {"CastToWidget(g_nullText)", "error: Widget is null"},
        {"WidgetGetScreenPosition(text)", "error: Expected 'Widget' got 'Text Widget'"},
        {"WidgetGetScreenPosition(CastToWidget(text))", "0 0 0"},
    });
    const Lines lines = log.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[*] Widget 4 is not a Text Widget.\n"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[*] Widget 4 is not a Check Widget.\n"), 1);
}

// A tree built by scripts and laid out in its window: sizer shares, a container cell moved,
// alignments, borders, hidden children, and the screen position through the window.
TEST_F(WidgetAPI, TreesBuiltByScriptsLayOutInTheirWindow)
{
    Exec("SizerAddWidget(vsizer, hsizer); SizerAddWidget(vsizer, container);"
         "foreach (w in [text, check, spacer]) SizerAddWidget(hsizer, w);"
         "SizerAddWidget(hsizer, text);"  // once is enough
         "ContainerAddWidget(container, bitmap, 10.7, 5.2, 20.5, 10);"
         "WidgetSetFormattingSize(spacer, 2, 1); SizerSetBorderSize(hsizer, 0, 0, 0, 0);");
    Window()->SetBaseWidget(Native("vsizer"));
    Exec("WindowForceLayout(win)");
    EXPECT_EQ(Native("hsizer")->GetChildren().size(), 3u);
    struct Case
    {
        const char* widget;
        const char* rect;
    };
    // The vertical sizer (borders 2) gives each of its two children half of 96 rows; the
    // horizontal one (no borders) weighs text 1, check 1 and the spacer 2 over its 296 pixels;
    // the container places its cell from its own origin, truncated.
    const Case laidOut[] = {
        {"WidgetGetRect(vsizer)", "2,2,298,98"},
        {"WidgetGetRect(hsizer)", "2,2,298,50"},
        {"WidgetGetRect(spacer)", "150,2,298,50"},
        {"WidgetGetRect(container)", "2,50,298,98"},
        {"WidgetGetRect(bitmap)", "14,54,30,66"},  // centred in its cell (12, 55, 33, 65)
    };
    for (const Case& c : laidOut) EXPECT_EQ(RectText(c.widget), c.rect) << c.widget;
    Exec("ContainerWidgetSetPosition(container, bitmap, 40, 1); WidgetSetHAlign(bitmap, WidgetAlignRight);"
         "WidgetSetHidden(check, true); WindowForceLayout(win);");
    const Case changed[] = {
        {"WidgetGetRect(bitmap)", "47,50,63,62"},   // right-aligned in its cell (42, 51, 63, 61)
        {"WidgetGetRect(spacer)", "100,2,297,50"},  // the hidden check takes no share
    };
    for (const Case& c : changed) EXPECT_EQ(RectText(c.widget), c.rect) << c.widget;
    EXPECT_EQ(Run("ContainerWidgetSetPosition(container, text, 0, 0)"), "Widget not in container");
    Exec("WindowSetPosition(win, 100, 200); UIRender(ui)");
    EXPECT_EQ(Eval("WidgetGetScreenPosition(CastToWidget(container))"), "102 250 0");
}

// The text-parameter table (red in the HIGH byte of "color"), its warnings, and TextComputeRect
// measuring as the layout does.
TEST_F(WidgetAPI, TextParametersAndMeasuring)
{
    log.Clear();
    Exec("TextSetParameters(text, {color = 0xFF0000FF, size = 24, format = \"paragraph\", align = \"middle\","
         "  tracking = 2, heading = 1, weight = 3, [1] = 2, align2 = null})");
    const nTextParameters& p = Native<nTextWidget>("text")->GetParameters();
    EXPECT_EQ((std::vector<int32_t>{p.red, p.green, p.blue, p.alpha, p.size, p.format, p.alignment, p.tracking, p.heading}),
              (std::vector<int32_t>{255, 0, 0, 255, 24, 1, 0, 2, 1}));
    Lines warnings = log.Lines();
    std::sort(warnings.begin(), warnings.end());
    EXPECT_EQ(warnings, (Lines{"[*] unknown text alignment command 'middle'.\n", "[*] unknown text attribute 'align2'.\n",
                               "[*] unknown text attribute 'weight'.\n"}));
    log.Clear();
    Exec("TextSetParameters(text, {color = \"red\", align = 3, size = 1e30, tracking = -1000});"
         "TextSetParameters(g_nullText, {size = 3});"
         "TextSetColor(text, 300, -5, 0.0 / 0.0, 128); TextSetAlignment(text, TextAlignJustify); TextSetFormat(text, TextFormatColumn);");
    EXPECT_EQ((std::vector<int32_t>{p.red, p.green, p.blue, p.alpha, p.size, p.alignment, p.format, p.tracking}),
              (std::vector<int32_t>{255, 0, 0, 128, 4096, TextAlignJustify, TextFormatColumn, -64}));
    EXPECT_EQ(log.Lines(), Lines());
    Exec("TextSetSize(text, -3); CheckWidgetSetLabelSize(check, 30); CheckWidgetSetLabel(check, \"Music\")");
    EXPECT_EQ(p.size, 1);
    EXPECT_EQ(Native<nCheckWidget>("check")->GetLabel().GetParameters().size, 30);
    EXPECT_EQ(Native<nCheckWidget>("check")->GetLabel().GetText(), "Music");

    Exec("::Box <- function(w, h) { local r = Rect(); r.ex = w; r.ey = h; return r; }");
    struct Case
    {
        const char* text;
        int32_t format;
        int32_t size;
        const char* table;
    };
    const Case cases[] = {
        {"Hello world", TextFormatStandard, 16, "{}"},
        {"Hello wide world of text", TextFormatParagraph, 20, "{format = \"paragraph\", size = 20}"},
        {"abcdefghij", TextFormatColumn, 16, "{format = \"column\"}"},
        {"", TextFormatStandard, 16, "{}"},
    };
    for (const Case& c : cases) {
        nTextParameters parameters;
        parameters.font = fonts.GetSystemFont();
        parameters.format = c.format;
        parameters.size = c.size;
        parameters.columnWidth = 80;
        nTextBox box;
        box.x1 = 120;
        box.y1 = 300;
        nTextLayout layout;
        const nTextBox expected = MeasureText(layout, c.text, parameters, box);
        const std::string call = std::string("TextComputeRect(Box(120, 300), \"") + c.text + "\", \"Default\", " + c.table + ")";
        EXPECT_EQ(RectText(call), "0,0," + std::to_string(expected.x1) + "," + std::to_string(expected.y1)) << c.text;
    }
    EXPECT_EQ(RectText("TextComputeRect(Rect(), \"x\", \"Default\", {size = 0.0 / 0.0})").substr(0, 4), "0,0,");
}

// Handlers: the closure runs as handler(id, event) with the context as 'this' when given; the
// widget's table keeps it until replaced.
TEST_F(WidgetAPI, EventHandlersRunThroughTheRouter)
{
    Exec("::seen <- []; ::who <- {name = \"ctx\"};"
         "WidgetSetEventHandler(text, EventLeftMouseClick, function(id, e) { ::seen.append(\"click \" + id + \" \" + e.id); });"
         "WidgetSetEventHandlerWithContext(check, EventLeftMouseClick, who, function(id, e) { ::seen.append(this.name + \" \" + e.id); });"
         "WidgetSetEventHandler(spacer, EventMouseEnter, function(id, e) { ::seen.append(\"first\"); });"
         "WidgetSetEventHandler(spacer, EventMouseEnter, function(id, e) { ::seen.append(\"second\"); });"
         "WidgetSetSensitive(spacer, false);");
    nScene2D& ui = scene->GetUI();
    nScene2DInputState state;
    state.window = Window();
    for (const char* name : {"text", "check", "spacer"}) {
        state.widget = Native(name);
        ui.GetRouter().DispatchEvent(state.widget, state, name == std::string("spacer") ? EventMouseEnter : EventLeftMouseClick, true);
    }
    EXPECT_EQ(Eval("(function() { local all = \"\"; foreach (s in ::seen) all += s + \"|\"; return all; })()"), "click 1 1|ctx 2|second|");
    EXPECT_EQ(Native("spacer")->GetSensitive(), 0);
}

// A widget deleted from a script while a tree, a window and other script objects hold it: the
// holders forget it, every script object of it reads as a deleted native, and the window still
// lays out. Parts of a check box are never deleted on their own; a canvas's picture stays while
// a script holds it.
TEST_F(WidgetAPI, DeletedWidgetsBecomeDeletedNatives)
{
    Exec("SizerAddWidget(vsizer, text); SizerAddWidget(vsizer, check); ::held <- [text, CastToWidget(text)];"
         "::label <- CheckWidgetGetText(check); ::picture <- CanvasWidgetLock(canvas);");
    Window()->SetBaseWidget(Native("vsizer"));
    log.Clear();
    Exec("UIDeleteWidget(ui, text); UIDeleteWidget(ui, label); UIDeleteWidget(ui, canvas); WindowForceLayout(win);");
    EXPECT_EQ(Native("vsizer")->GetChildren().size(), 1u);
    EXPECT_EQ(log.Lines(), (Lines{"[!] Widget -1 is part of another widget and is not deleted on its own.\n"}));
    const char* gone = "Expected 'Text Widget' got 'Deleted native'";
    ExpectRuns({
        {"TextSetText(held[0], \"x\")", gone},
        {"WidgetSetHidden(held[1], true)", "Expected 'Widget' got 'Deleted native'"},
        {"UIDeleteWidget(ui, text)", "Expected 'Widget' got 'Deleted native'"},
        {"SizerAddWidget(vsizer, text)", "Expected 'Widget' got 'Deleted native'"},
        {"TextSetText(label, \"still here\")", ""},
    });
    EXPECT_EQ(Eval("ObjectIsValid(picture)"), "true");
    Exec("::picture = null; collectgarbage();");
    Exec("UIDeleteWidget(ui, check)");
    EXPECT_EQ(Run("TextSetText(label, \"x\")"), gone);
    Exec("UIDeleteWidget(ui, vsizer); WindowForceLayout(win)");
    EXPECT_EQ(Window()->GetBaseWidget(), nullptr);
    Exec("::far <- UIAddSpacerWidget(otherUI, 1)");
    EXPECT_EQ(Run("UIDeleteWidget(ui, far)"), "Widget belongs to another window system");
}

// Trees that could not end, parts of other widgets and widgets of another scene (which would
// outlive it there) are refused with a line: the script gets a null object and the trees stay
// as they were. A widget added to a container leaves its sizer.
TEST_F(WidgetAPI, TreesRefuseCyclesPartsAndOtherScenes)
{
    Exec("SizerAddWidget(hsizer, vsizer); SizerAddWidget(vsizer, spacer); ::far <- UIAddSpacerWidget(otherUI, 70);");
    log.Clear();
    ExpectEvals({
        {"ObjectIsValid(SizerAddWidget(hsizer, hsizer))", "false"},
        {"ObjectIsValid(SizerAddWidget(vsizer, hsizer))", "false"},
        {"ObjectIsValid(ContainerAddWidget(container, container, 0, 0, 1, 1))", "false"},
        {"ObjectIsValid(SizerAddWidget(hsizer, CheckWidgetGetText(check)))", "false"},
        {"ObjectIsValid(SizerAddWidget(hsizer, far))", "false"},
        {"ObjectIsValid(ContainerAddWidget(container, far, 0, 0, 1, 1))", "false"},
        {"ObjectIsValid(SizerAddWidget(hsizer, spacer))", "true"},
    });
    Window()->SetBaseWidget(Native("CheckWidgetGetText(check)"));
    Window()->SetBaseWidget(Native("far"));
    EXPECT_EQ(Window()->GetBaseWidget(), nullptr);
    EXPECT_EQ(log.Lines(), (Lines{"[!] Widget 6 cannot be added inside itself.\n", "[!] Widget 6 cannot be added inside itself.\n",
                                  "[!] Widget 8 cannot be added inside itself.\n",
                                  "[!] Widget -1 is part of another widget and joins no tree.\n",
                                  "[!] Widget 70 belongs to another window system.\n",
                                  "[!] Widget 70 belongs to another window system.\n",
                                  "[!] Widget -1 cannot be the base widget of window '3'.\n",
                                  "[!] Widget 70 cannot be the base widget of window '3'.\n"}));
    EXPECT_EQ(Native("vsizer")->GetChildren().size(), 0u);  // the spacer moved to hsizer
    Exec("ContainerAddWidget(container, spacer, 0, 0, 5, 5)");
    EXPECT_EQ(Native("hsizer")->GetChildren().size(), 1u);
    EXPECT_EQ(Native("spacer")->GetParent(), Native("container"));
}

// Every function called with a null object in its first argument does what its manifest row
// says: "error" raises "CObject is null", "widget" raises "Widget is null", "ignored" returns.
TEST_F(WidgetAPI, NullObjectsAsTheManifestSays)
{
    auto good = [](char letter) -> std::string {
        switch (letter) {
            case 'n': return "1";
            case 's': return "\"x\"";
            case 'b': return "true";
            case 't': return "{}";
            case 'c': return "function(id, e) {}";
            case '.': return "null";
            default: return "spacer";
        }
    };
    for (const ManifestFunction& f : ReadFunctionManifest("widget_functions.tsv")) {
        if (f.nullObject == "-") continue;
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> args = {f.name.rfind("UI", 0) == 0 ? "g_nullUI" : "g_nullWidget"};
        for (size_t i = 1; i < letters.size(); ++i) args.push_back(good(letters[i]));
        // The exact-kind functions get a null object of their own kind.
        static const char* const kinds[][2] = {{"Sizer", "15"}, {"Container", "16"}, {"Canvas", "18"}, {"Text", "19"}, {"Bitmap", "20"}, {"Check", "21"}};
        for (const auto& k : kinds)
            if (f.name.rfind(k[0], 0) == 0) {
                Hold(("g_null" + std::string(k[0])).c_str(), 0, std::stoi(k[1]));
                args[0] = "g_null" + std::string(k[0]);
            }
        const std::string call = CallText(f.name, args);
        const std::string result = Run(call);
        if (f.nullObject == "error") EXPECT_EQ(result, "CObject is null") << call;
        else if (f.nullObject == "widget") EXPECT_EQ(result, "Widget is null") << call;
        else EXPECT_EQ(result, "") << call;
    }
    ExpectRuns({
        {"UIDeleteWidget(ui, g_nullWidget)", "Widget is null"},
        {"SizerAddWidget(hsizer, g_nullText)", "Widget is null"},
        {"ContainerWidgetSetPosition(container, g_nullWidget, 0, 0)", "Widget is null"},
    });
}

// Every function with each argument replaced, in turn, by wrong kinds, null and deleted objects
// and boundary numbers, one argument too few and one too many: each call returns or raises one
// of the family's errors, and none crashes.
TEST_F(WidgetAPI, SweepOfKindsNullsDeletedObjectsAndBoundaryNumbers)
{
    const std::string longText(4096, 'W');
    Exec("::g_long <- \"" + longText + "\"; ::dead <- UIAddSpacerWidget(ui, 50); UIDeleteWidget(ui, dead);"
                                       "::far <- UIAddSpacerWidget(otherUI, 51); ::label <- CheckWidgetGetText(check);"
                                       "SizerAddWidget(hsizer, vsizer); SizerAddWidget(vsizer, bitmap); ContainerAddWidget(container, canvas, 0, 0, 4, 4);");
    Window()->SetBaseWidget(Native("hsizer"));
    const std::vector<std::string> numbers = {"0", "-1", "1", "2147483647", "2147483648", "-2147483649", "4294967296", "0.0",
                                              "-1.0", "1e30", "-1e30", "(0.0 / 0.0)", "(1e30 * 1e30)", "-(1e30 * 1e30)"};
    const std::vector<std::string> strings = {"\"\"", "\"Default\"", "\"none.tga\"", "\"~~Size(9999)x\"", "g_long"};
    const std::vector<std::string> objects = {"text", "check", "bitmap", "canvas", "hsizer", "vsizer", "container", "spacer",
                                              "label", "CastToWidget(text)", "g_nullWidget", "g_nullText", "dead", "far", "win",
                                              "ui", "g_nullUI", "Rect()", "Vector(1, 2, 3)"};
    const std::vector<std::string> tables = {"{}", "{size = 2147483647, color = -1, tracking = 1e30, heading = -1e30}",
                                             "{align = \"justify\", format = \"column\", size = 0.0 / 0.0}"};
    const std::vector<std::string> closures = {"function(id, e) {}", "print"};
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "Vector(0, 0, 0)"};
    auto good = [&](char letter) -> const std::vector<std::string>& {
        switch (letter) {
            case 'n': return numbers;
            case 's': return strings;
            case 't': return tables;
            case 'c': return closures;
            case 'b': {
                static const std::vector<std::string> b = {"true", "false"};
                return b;
            }
            case '.': return wrong;
            default: return objects;
        }
    };
    const std::vector<std::string> known = {
        "wrong number of parameters", "parameter ", "CObject is null", "Expected '", "Object is not a widget", "Widget is null",
        "Widget not in container", "Widget belongs to another window system", "the object is not a class instance",
        "invalid type tag"};
    for (const ManifestFunction& f : ReadFunctionManifest("widget_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (char l : letters) base.push_back(good(l)[0]);
        if (f.name.rfind("UI", 0) == 0) base[0] = "ui";
        if (f.name == "TextComputeRect") base[0] = "Rect()";
        for (const char* prefix : {"Sizer", "Container"})
            if (f.name.rfind(prefix, 0) == 0) base[0] = prefix == std::string("Sizer") ? "vsizer" : "container";
        if (f.name.rfind("Canvas", 0) == 0) base[0] = "canvas";
        if (f.name.rfind("Bitmap", 0) == 0) base[0] = "bitmap";
        if (f.name.rfind("CheckWidget", 0) == 0) base[0] = "check";
        if (f.name == "WidgetGetScreenPosition" || f.name.rfind("WidgetTo", 0) == 0) base[0] = "CastToWidget(text)";
        if (f.name == "ContainerWidgetSetPosition") base[1] = "canvas";
        if (f.name == "UIDeleteWidget") base[1] = "UIAddSpacerWidget(ui, 60)";
        std::vector<std::vector<std::string>> argLists;
        for (size_t p = 0; p < letters.size(); ++p) {
            for (const std::string& value : good(letters[p])) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
            for (const std::string& value : wrong) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
        }
        argLists.push_back(base);
        argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        auto more = base;
        more.push_back("0");
        argLists.push_back(more);
        for (const std::vector<std::string>& args : argLists) {
            // Keep the swept widgets alive: deleting them is the deleted-widget test's business.
            if (f.name == "UIDeleteWidget" && args.size() > 1 && args[1].find("UIAdd") == std::string::npos) continue;
            const std::string call = CallText(f.name, args);
            const std::string result = Run(call);
            if (!result.empty()) {
                EXPECT_TRUE(IsKnownError(result, known)) << call << " raised " << result;
            }
            ASSERT_FALSE(vm.IsKilled()) << call;
        }
        Exec("WindowForceLayout(win)");  // every tree the sweep left lays out
    }
    EXPECT_EQ(Run("TextSetText(text, \"after\"); WindowForceLayout(win);"), "") << "the sweep's widgets are still whole";
}

}  // namespace
