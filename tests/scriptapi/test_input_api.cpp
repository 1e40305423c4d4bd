// The Input family through real Squirrel: its names and constants against the manifest, the
// file functions (Include to its end, FileExists), the keyboard and the mouse on injected
// events, a virtual joystick found, read and deleted from a script, and every function swept
// with wrong kinds, null and deleted devices and boundary numbers.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <SDL.h>

#include "core/nIO.h"
#include "input/nInterfaceInstance.h"
#include "input/nInterfaceMouse.h"
#include "platform/nGLWindow.h"
#include "platform/nPlatformInput.h"
#include "platform/nPlatformJoystick.h"
#include "resources/nTexture.h"
#include "script/nCObject.h"
#include "scriptapi/nInputScriptAPI.h"
#include "scriptapi/nScriptAPI.h"
#include "tests/input/nInputEvents.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"

namespace {

// A virtual pad of 8 axes and 16 buttons, removed when it goes.
struct VirtualPad
{
    explicit VirtualPad(const char* name)
    {
        SDL_VirtualJoystickDesc desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = 8;
        desc.nbuttons = 16;
        desc.name = name;
        index = SDL_JoystickAttachVirtualEx(&desc);
        handle = index >= 0 ? SDL_JoystickOpen(index) : 0;
    }
    ~VirtualPad()
    {
        if (handle) SDL_JoystickClose(handle);
        if (index >= 0) SDL_JoystickDetachVirtual(index);
    }
    int index;
    SDL_Joystick* handle;
};

class InputAPITest : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        nScriptAPITest::SetUp();
        if (!nPlatform::StartJoysticks()) GTEST_SKIP() << "no event system: " << SDL_GetError();
        held.ReleaseAll();
    }
    void TearDown() override
    {
        nInterfaceInstance::DeleteAll();
        nPlatform::TakeInputSnapshot();
        nScriptAPITest::TearDown();
    }

    nHeldInput held;
};

TEST_F(InputAPITest, CensusOfNamesAndConstantsAgainstTheManifest)
{
    std::vector<ManifestFunction> functions = ReadFunctionManifest("input_functions.tsv");
    std::vector<ManifestConstant> constants = ReadConstantManifest("input_constants.tsv");
    ASSERT_EQ(functions.size(), 23u);
    ASSERT_EQ(constants.size(), 87u);

    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterInputScriptAPI), expected) << "the family adds exactly its names";

    std::vector<Function> registered;
    for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    for (const ManifestConstant& c : constants) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
}

TEST_F(InputAPITest, RegisteringSwitchesTheGlobalMouseToAbsoluteMode)
{
    GetGlobalMouse().SetMode(MouseModeRelative);
    RegisterScriptAPI(v);
    EXPECT_EQ(GetGlobalMouse().GetMode(), MouseModeAbsolute);
}

TEST_F(InputAPITest, FileExistsWantsAFileWithContent)
{
    nTempDir dir;
    std::ofstream(dir.Path("empty.txt")).close();
    std::ofstream(dir.Path("full.txt")) << "x";
    Hold("g_dummy", 0, objectTypeItem);
    const std::string empty = dir.Path("empty.txt"), full = dir.Path("full.txt"), none = dir.Path("none.txt");
    EXPECT_EQ(Eval("FileExists(\"" + full + "\")"), "true");
    EXPECT_EQ(Eval("FileExists(\"" + empty + "\")"), "false");
    EXPECT_EQ(Eval("FileExists(\"" + none + "\")"), "false");
    EXPECT_EQ(Eval("FileExists(\"\")"), "false");
    EXPECT_EQ(Eval("FileExists(1)"), "error: parameter 1 has an invalid type 'integer' ; expected: 'string'");
}

TEST_F(InputAPITest, IncludeRunsTheFileInTheRootTableOrLogsItsFailure)
{
    nTempDir dir;
    const std::string lib = dir.Path("lib.nut");
    std::ofstream(lib) << "::g_included <- 41 + 1;\nfunction Helper() { return \"helped\"; }\n";
    EXPECT_EQ(Eval("Include(\"" + lib + "\")"), "null");
    EXPECT_EQ(Eval("g_included"), "42");
    EXPECT_EQ(Eval("Helper()"), "helped");

    log.Clear();
    const std::string missing = dir.Path("missing.nut");
    EXPECT_EQ(Eval("Include(\"" + missing + "\")"), "null");
    EXPECT_EQ(log.Lines(), (Lines{"[!] Failed to locate script '" + missing + "'.\n",
                                  "[!] failed to include '" + missing + "' in VM.\n"}));
    EXPECT_FALSE(vm.IsKilled());
}

// A file that includes itself ends with the machine's own error, not with the process.
TEST_F(InputAPITest, IncludeWithoutEndEndsWithTheMachinesError)
{
    nTempDir dir;
    const std::string self = dir.Path("self.nut");
    std::ofstream(self) << "Include(\"" << self << "\");\n";
    RunUncaught("Include(\"" + self + "\");");
    EXPECT_TRUE(vm.IsKilled());
    EXPECT_NE(log.Text().find("[!] Killing VM with reason 'Native stack overflow'"), std::string::npos) << log.Text();
}

TEST_F(InputAPITest, KeyboardFromScripts)
{
    held.Press(PlatformKeyA + 16);  // q, no Shift
    held.Press(PlatformKeyEscape);
    nPlatform::TakeInputSnapshot();
    // The second update with Escape held and its filter on: no Escape any more, q still.
    const Expected cases[] = {
        {"KeyboardUpdate()", "null"},
        {"KeyboardSeekFunction(DeviceKeyPress, (113 << 8) + 54)", "true"},
        {"KeyboardSeekFunction(DeviceKeyPress, (81 << 8) + 54)", "false"},
        {"KeyboardSeekFunction(DeviceKeyPress, KeyEscape)", "true"},
        {"KeyboardSeekFunction(DeviceAxisX, KeyEscape)", "false"},
        {"KeyboardSeekFunction(DeviceKeyPress, 9223372036854775807)", "false"},
        {"KeyboardPoolFunction(DeviceKeyPress)", "54"},
        {"KeyboardPoolFunction(DeviceKeyPress)", "26"},
        {"KeyboardPoolFunction(DeviceKeyPress)", "0"},
        {"KeyboardPoolFunction(DeviceAxisX)", "0"},
        {"KeyboardSetKeyBounceFilter(KeyEscape, true)", "null"},
        {"KeyboardUpdate()", "null"},
        {"KeyboardSeekFunction(DeviceKeyPress, KeyEscape)", "false"},
        {"KeyboardSeekFunction(DeviceKeyPress, (113 << 8) + 54)", "true"},
        {"KeyboardSetKeyBounceFilter(KeyEscape, false)", "null"},
        {"KeyboardSetKeyBounceFilter(KeyEscape)", "error: wrong number of parameters"},
        {"KeyboardPoolFunction(1.5)", "error: parameter 1 has an invalid type 'float' ; expected: 'integer'"},
    };
    ExpectEvals(cases);
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

TEST_F(InputAPITest, NumbersOutOfRangeLogOneLineEach)
{
    const Expected cases[] = {
        {"KeyboardSetKeyBounceFilter(55, true)", "null"},
        {"KeyboardSetKeyBounceFilter(-1, true)", "null"},
        {"KeyboardSetKeyBounceFilter(4294967296 + 5, true)", "null"},
        {"KeyboardPoolFunction(99)", "0"},
        {"MousePoolFunction(-9223372036854775807 - 1)", "0"},
        {"DevicePoolFunction(GetMouseDevice(), 29)", "0"},
        {"DeviceSetFunctionBounceFilter(GetKeyboardDevice(), 1000, true)", "null"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(log.Lines(), (Lines{
                               "[*] Keyboard has no key 55.\n", "[*] Keyboard has no key -1.\n", "[*] Keyboard has no key 2147483647.\n",
                               "[*] Input function 99 is out of range.\n", "[*] Input function -2147483648 is out of range.\n",
                               "[*] Input function 29 is out of range.\n", "[*] Input function 1000 is out of range.\n"}));
}

TEST_F(InputAPITest, NoControllerGivesAnEmptyListAndNullDevices)
{
    const Expected cases[] = {
        {"GetDeviceList(0).len()", "0"},
        {"ObjectIsValid(DeviceAny())", "false"},
        {"ObjectIsValid(DeviceNew(\"Nothing\"))", "false"},
        {"ObjectIsValid(DeviceNewFromIndex(0))", "false"},
        {"ObjectIsValid(DeviceNewFromIndex(-1))", "false"},
        {"DeviceGetName(DeviceAny())", "error: CObject is null"},
        {"DeviceGetFunction(DeviceAny(), DeviceAxisX)", "error: CObject is null"},
        {"DevicePoolFunction(DeviceAny(), DeviceAxisX)", "error: CObject is null"},
        {"DeviceUpdate(DeviceAny())", "false"},
        {"DeviceIsAvailable(DeviceAny())", "false"},
        {"DeviceSeekFunction(DeviceAny(), DeviceAxisX, 0)", "false"},
        {"DeviceSetEffect(DeviceAny(), 100.0)", "null"},
        {"DeviceSetFunctionBounceFilter(DeviceAny(), DeviceButton0, true)", "null"},
        {"DeviceDelete(DeviceAny())", "null"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(log.Lines()[0], "[H] Starting input device enumeration.\n");
}

TEST_F(InputAPITest, GlobalDevicesAreNamedAvailableAndNeverDeleted)
{
    const Expected cases[] = {
        {"DeviceGetName(GetMouseDevice())", "Mouse"},
        {"DeviceGetName(GetKeyboardDevice())", "Keyboard"},
        {"ObjectIsSame(GetMouseDevice(), GetMouseDevice())", "true"},
        {"DeviceIsAvailable(GetKeyboardDevice())", "true"},
        {"DeviceDelete(GetMouseDevice())", "null"},
        {"DeviceDelete(GetKeyboardDevice())", "null"},
        {"DeviceGetName(GetMouseDevice())", "Mouse"},
        {"DeviceUpdate(GetKeyboardDevice())", "true"},
        {"DeviceGetName(g_engine_like)", "error: Expected 'HID' got 'Engine'"},
        {"DeviceGetName(Vector(1, 2, 3))", "error: the object is not a class instance"},
    };
    int engineLike = 0;
    Hold("g_engine_like", &engineLike, objectTypeEngine);
    for (const Expected& c : cases) {
        std::string got = Eval(c.code);
        if (std::string(c.code).find("Vector") != std::string::npos) {
            EXPECT_EQ(got.rfind("error: ", 0), 0u) << c.code << " gave " << got;
        } else {
            EXPECT_EQ(got, c.text) << c.code;
        }
    }
}

TEST_F(InputAPITest, VirtualJoystickFoundReadAndDeletedFromAScript)
{
    VirtualPad pad("Script Pad");
    ASSERT_GE(pad.index, 0) << SDL_GetError();
    SDL_JoystickSetVirtualAxis(pad.handle, 0, 16384);
    SDL_JoystickSetVirtualAxis(pad.handle, 1, -32768);
    SDL_JoystickSetVirtualButton(pad.handle, 3, 1);
    nPlatform::TakeInputSnapshot();
    Exec("::pad <- DeviceNew(\"Script Pad\"); ::again <- DeviceAny(); ::other <- DeviceNewFromIndex(0);");
    const Expected cases[] = {
        {"GetDeviceList(0).len()", "1"},
        {"GetDeviceList(0)[0].id", "Script Pad"},
        {"GetDeviceList(0)[0].caps == DeviceCapsNone", "true"},
        {"ObjectIsValid(pad)", "true"},
        {"ObjectIsSame(pad, again) && ObjectIsSame(pad, other)", "true"},
        {"DeviceGetName(pad)", "Script Pad"},
        {"DeviceIsAvailable(pad)", "true"},
        {"DeviceGetFunction(pad, DeviceAxisX)", "49152"},  // DeviceNewFromIndex ran one update
        {"DeviceUpdate(pad)", "true"},
        {"DeviceGetFunction(pad, DeviceAxisX)", "49152"},
        {"DeviceGetFunction(pad, DeviceAxisY)", "0"},
        {"DeviceGetFunction(pad, DeviceButton3)", "128"},
        {"DeviceGetFunction(pad, DeviceButton2)", "0"},
        {"DeviceSeekFunction(pad, DeviceButton3, 128)", "true"},
        {"DevicePoolFunction(pad, DeviceAxisX)", "49152"},
        {"DevicePoolFunction(pad, DeviceAxisX)", "49152"},
        {"DevicePoolFunction(pad, DeviceAxisX)", "0"},
        {"DeviceSetEffect(pad, 1e30)", "null"},
        {"DeviceSetFunctionBounceFilter(pad, DeviceAxisX, true)", "null"},
        {"DeviceDelete(pad)", "null"},
        {"ObjectIsValid(pad)", "false"},
        {"ObjectIsValid(again)", "false"},
        {"DeviceGetName(pad)", "error: Expected 'HID' got 'Deleted native'"},
        {"DeviceUpdate(again)", "error: Expected 'HID' got 'Deleted native'"},
        {"DeviceDelete(other)", "error: Expected 'HID' got 'Deleted native'"},
    };
    ExpectEvals(cases);
    EXPECT_EQ(nInterfaceInstance::FindLive(SDL_JoystickInstanceID(pad.handle)), nullptr);
    const std::string text = log.Text();
    size_t creations = 0;
    for (size_t at = text.find("Creating device 'Script Pad'."); at != std::string::npos;
         at = text.find("Creating device 'Script Pad'.", at + 1)) ++creations;
    EXPECT_EQ(creations, 1u) << "asking again gives the controller already made";
    EXPECT_NE(text.find("[*] nInstanceDevice does not support filtering function '0'.\n"), std::string::npos);
}

TEST_F(InputAPITest, MouseFromScriptsInAbsoluteMode)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no display: " << SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    nGLWindow window;
    ASSERT_EQ(window.CreateWindow("script mouse", 800, 600, GLWindowModeHidden, false), GLWindowCreated);
    InitDirectInput(window.GetNativeHandle());
    const Uint32 id = SDL_GetWindowID(static_cast<SDL_Window*>(window.GetNativeHandle()));
    const struct
    {
        int32_t x, y;
        const char* mx;
        const char* my;
    } positions[] = {
        {0, 0, "0", "0"},
        {800, 600, "65535", "65535"},
        {400, 300, "32767", "32767"},
        {-8, 0, "-655", "0"},
    };
    for (const auto& p : positions) {
        PushMotionEvent(id, p.x, p.y);
        PushButtonEvent(SDL_BUTTON_LEFT, true, id);
        PushButtonEvent(SDL_BUTTON_LEFT, false, id);
        nPlatform::TakeInputSnapshot();
        Exec("MouseUpdate()");
        EXPECT_EQ(Eval("MousePoolFunction(DeviceAxisX)"), p.mx);
        EXPECT_EQ(Eval("MousePoolFunction(DeviceAxisX)"), "0") << "pooled once";
        EXPECT_EQ(Eval("MousePoolFunction(DeviceAxisY)"), p.my);
        EXPECT_EQ(Eval("MousePoolFunction(DeviceButton0)"), "1");
        EXPECT_EQ(Eval("MousePoolFunction(DeviceButton1)"), "0");
    }
    nPlatform::SetInputWindow(0);
}

// Every function with every argument position given wrong kinds, null and deleted devices and
// boundary numbers, and with one argument too few and too many: each call ends as a value or a
// script error the script catches, the machine lives on, nothing crashes (run under ASan).
TEST_F(InputAPITest, SweepOfEveryFunctionWithBadArguments)
{
    VirtualPad pad("Sweep Pad");
    nPlatform::TakeInputSnapshot();
    Exec("::g_pad <- DeviceAny(); ::g_gone <- DeviceNewFromIndex(0); ::g_mouse <- GetMouseDevice();"
         "::g_keyboard <- GetKeyboardDevice(); ::g_null <- DeviceNew(\"none\"); ::g_long <- \"\";"
         "for (local i = 0; i < 4096; i++) g_long += \"x\";");
    Exec("DeviceDelete(g_gone); ::g_pad <- DeviceAny();");
    nSharedPtr<nTexture> other(new nTexture(&engine, 0, 0));  // script texture objects hold a reference
    Hold("g_other", &*other, objectTypeTexture);
    Hold("g_otherNull", 0, objectTypeItem);

    const std::vector<std::string> kinds[] = {
        /* i */ {"0", "-1", "5", "20", "21", "28", "29", "54", "55", "2147483647", "2147483648", "-2147483649",
                 "9223372036854775807", "(-9223372036854775807 - 1)"},
        /* n */ {"0", "10000", "-10001", "0.0", "-1.0", "1e30", "-1e30", "(0.0 / 0.0)", "(1e30 * 1e30)", "-(1e30 * 1e30)"},
        /* s */ {"\"\"", "\"none.nut\"", "\"../x\"", "g_long", "\"Sweep Pad\""},
        /* b */ {"true", "false"},
        /* x */ {"g_pad", "g_gone", "g_mouse", "g_keyboard", "g_null", "g_other", "g_otherNull", "Vector(1, 2, 3)"},
    };
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "g_other", "Vector(0, 0, 0)"};
    auto kindOf = [](char letter) { return std::string("insbx").find(letter); };
    auto good = [&](char letter) -> const std::vector<std::string>& { return kinds[kindOf(letter)]; };

    const std::vector<std::string> knownErrors = {
        "wrong number of parameters", "parameter ", "CObject is null", "Expected 'HID' got ",
        "the object is not a class instance", "invalid type tag"};
    int calls = 0;
    std::set<std::string> skip = {"Include"};  // its files are the file tests' business; a path is swept below
    for (const ManifestFunction& f : ReadFunctionManifest("input_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (char l : letters) base.push_back(good(l)[0]);
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
        if (!base.empty()) argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        auto more = base;
        more.push_back("0");
        argLists.push_back(more);
        for (const std::vector<std::string>& args : argLists) {
            const std::string call = CallText(f.name, args);
            if (skip.count(f.name) && !args.empty() && args[0] != "\"none.nut\"" && args[0] != "\"\"") continue;
            const std::string result = Run(call);
            ++calls;
            if (!result.empty()) {
                EXPECT_TRUE(IsKnownError(result, knownErrors)) << call << " raised " << result;
            }
            ASSERT_FALSE(vm.IsKilled()) << call;
        }
    }
    EXPECT_GT(calls, 500);
}

}  // namespace
