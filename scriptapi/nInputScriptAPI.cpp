// The Input family: running and testing files, the global mouse and keyboard, and game
// controllers. Devices reach scripts as HID objects of the device itself (nInterfaceDevice*);
// a handle is checked against the live devices before any use, so a deleted controller reads
// as deleted, never as memory.

#include <cstdint>
#include <vector>

#include "core/nIO.h"
#include "core/nLog.h"
#include "input/nInterfaceDevice.h"
#include "input/nInterfaceInstance.h"
#include "input/nInterfaceKeyboard.h"
#include "input/nInterfaceMouse.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nInputScriptAPI.h"

// Argument forms of this family, for ScriptStackHandler::Args. A device argument reads a live
// device: "CObject is null" for a null one, "Expected 'HID' got 'Deleted native'" for one
// destroyed outside the scripts.
static bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nInterfaceDevice*& out)
{
    if (!s.GetObject(arg, objectTypeHidDevice, &out)) return false;
    if (nInterfaceDevice::IsLive(out)) return true;
    s.Error("Expected 'HID' got 'Deleted native'");
    return false;
}

namespace {

// A device that may be null (NULL then), for the functions that do nothing with a null one.
struct DeviceOrNull
{
    nInterfaceDevice*& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, DeviceOrNull d)
{
    if (!s.GetObjectOrNull(arg, objectTypeHidDevice, &d.out)) return false;
    if (!d.out || nInterfaceDevice::IsLive(d.out)) return true;
    s.Error("Expected 'HID' got 'Deleted native'");
    return false;
}

// A function number or key code saturated to 32 bits: a huge script integer stays out of
// range instead of wrapping onto a valid function or key.
struct Number
{
    int32_t& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, Number n)
{
    SQInteger value;
    if (!s.GetInt64(arg, value)) return false;
    n.out = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN
                                                              : (int32_t)value;
    return true;
}

SQInteger ReturnDevice(ScriptStackHandler& s, nInterfaceDevice* device)
{
    return s.ReturnObject(static_cast<void*>(device), objectTypeHidDevice, false);
}

// The controller of the enumerated device at index: the live one already made for that
// attachment, else a new one (so a script asking every frame makes one controller, not one
// per frame). NULL for an index out of range.
nInterfaceInstance* OpenController(const std::vector<nInterfaceDesc>& list, int64_t index)
{
    if (index < 0 || index >= (int64_t)list.size()) return 0;
    const nInterfaceDesc& desc = list[(size_t)index];
    nInterfaceInstance* live = nInterfaceInstance::FindLive(desc.instance);
    return live ? live : new nInterfaceInstance(desc);
}

// Files.

// A run that fails raises its error on in the including script, so a file that includes
// itself without end stops at the machine's own limit and kills it.
SQInteger Include(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* path;
    if (!s.Args(path)) return SQ_ERROR;
    switch (ScriptIncludeFile(v, path)) {
        case ScriptIncludeNotLoaded:
            *g_log << "[!] failed to include '" << path << "' in VM.\n";
            return s.Return();
        case ScriptIncludeFailed:
            return SQ_ERROR;
        default:
            return s.Return();
    }
}

SQInteger FileExists(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* path;
    if (!s.Args(path)) return SQ_ERROR;
    return s.Return(nIO::GetFileSize(path) > 0);
}

// Devices.

SQInteger GetMouseDevice(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    return ReturnDevice(s, &GetGlobalMouse());
}

SQInteger GetKeyboardDevice(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    return ReturnDevice(s, &GetGlobalKeyboard());
}

// (class, ignored) -> [{id = name, caps = DeviceCaps*}, ...]
SQInteger GetDeviceList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    std::vector<nInterfaceDesc> list;
    EnumerateInputDevices(list);
    s.NewArray();
    for (const nInterfaceDesc& desc : list) {
        s.NewTable();
        s.Slot("id", s.Return(desc.name.GetCStr()));
        s.Slot("caps", s.Return((int32_t)(desc.flags & InterfaceDescForceFeedback)));
        s.Append(1);
    }
    return 1;
}

// The last enumerated device of that name.
SQInteger DeviceNew(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* name;
    if (!s.Args(name)) return SQ_ERROR;
    std::vector<nInterfaceDesc> list;
    EnumerateInputDevices(list);
    int64_t found = -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name) found = (int64_t)i;
    return ReturnDevice(s, OpenController(list, found));
}

SQInteger DeviceNewFromIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SQInteger index;
    if (!s.Args(index)) return SQ_ERROR;
    std::vector<nInterfaceDesc> list;
    EnumerateInputDevices(list);
    nInterfaceInstance* device = OpenController(list, index);
    if (device) device->Update();
    return ReturnDevice(s, device);
}

SQInteger DeviceAny(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    std::vector<nInterfaceDesc> list;
    EnumerateInputDevices(list);
    return ReturnDevice(s, OpenController(list, 0));
}

SQInteger DeviceGetName(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    if (!s.Args(device)) return SQ_ERROR;
    return s.Return(device->GetName().GetCStr());
}

SQInteger DeviceSetEffect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    float magnitude;
    if (!s.Args(DeviceOrNull{device}, magnitude)) return SQ_ERROR;
    if (nInterfaceInstance* controller = dynamic_cast<nInterfaceInstance*>(device)) controller->SetEffect(magnitude);
    return s.Return();
}

SQInteger DeviceSetFunctionBounceFilter(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    int32_t function;
    bool on;
    if (!s.Args(DeviceOrNull{device}, Number{function}, on)) return SQ_ERROR;
    if (device && nInterfaceDevice::CheckFunction(function)) device->SetFunctionBounceFilter(function, on);
    return s.Return();
}

// (device, function) -> the newest value, removed when remove; 0 when none.
template<bool Remove>
SQInteger DevicePool(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    int32_t function;
    if (!s.Args(device, Number{function})) return SQ_ERROR;
    int32_t value = 0;
    if (!device->PoolFunction(function, &value, 0, Remove)) value = 0;
    return s.Return(value);
}

SQInteger DeviceSeekFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    int32_t function;
    SQInteger value;
    if (!s.Args(DeviceOrNull{device}, Number{function}, value)) return SQ_ERROR;
    return s.Return(device && value >= INT32_MIN && value <= INT32_MAX && device->SeekFunction(function, (int32_t)value));
}

// Deletes a controller the script made; every script object of it then reads as deleted.
// The global mouse and keyboard are never deleted.
SQInteger DeviceDelete(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    if (!s.Args(DeviceOrNull{device})) return SQ_ERROR;
    nInterfaceInstance* controller = dynamic_cast<nInterfaceInstance*>(device);
    if (!controller) return s.Return();
    nCObject::Invalidate(static_cast<void*>(device));
    delete controller;
    return s.Return();
}

SQInteger DeviceUpdate(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    if (!s.Args(DeviceOrNull{device})) return SQ_ERROR;
    if (device) device->Update();
    return s.Return(device != 0);
}

SQInteger DeviceIsAvailable(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInterfaceDevice* device;
    if (!s.Args(DeviceOrNull{device})) return SQ_ERROR;
    return s.Return(device != 0 && device->IsAvailable());
}

// The global mouse and keyboard.

SQInteger MouseUpdate(HSQUIRRELVM v)
{
    GetGlobalMouse().Update();
    return 0;
}

SQInteger MousePoolFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t function;
    if (!s.Args(Number{function})) return SQ_ERROR;
    int32_t value = 0;
    if (!GetGlobalMouse().PoolFunction(function, &value, 0, true)) value = 0;
    return s.Return(value);
}

SQInteger KeyboardUpdate(HSQUIRRELVM v)
{
    GetGlobalKeyboard().Update();
    return 0;
}

SQInteger KeyboardPoolFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t function;
    if (!s.Args(Number{function})) return SQ_ERROR;
    int32_t value = 0;
    if (!GetGlobalKeyboard().PoolFunction(function, &value, 0, true)) value = 0;
    return s.Return(value);
}

SQInteger KeyboardSeekFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t function;
    SQInteger value;
    if (!s.Args(Number{function}, value)) return SQ_ERROR;
    return s.Return(value >= INT32_MIN && value <= INT32_MAX && GetGlobalKeyboard().SeekFunction(function, (int32_t)value));
}

SQInteger KeyboardSetKeyBounceFilter(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t code;
    bool on;
    if (!s.Args(Number{code}, on)) return SQ_ERROR;
    GetGlobalKeyboard().SetKeyBounceFilter(code, on);
    return s.Return();
}

}  // namespace

const ScriptFunctionDecl g_InputScriptFunctions[] = {
    {"Include", Include, ".s"},
    {"FileExists", FileExists, ".s"},
    {"GetMouseDevice", GetMouseDevice, "."},
    {"GetKeyboardDevice", GetKeyboardDevice, "."},
    {"GetDeviceList", GetDeviceList, ".i"},
    {"DeviceNew", DeviceNew, ".s"},
    {"DeviceNewFromIndex", DeviceNewFromIndex, ".i"},
    {"DeviceAny", DeviceAny, "."},
    {"DeviceGetName", DeviceGetName, ".x"},
    {"DeviceSetEffect", DeviceSetEffect, ".xn"},
    {"DeviceSetFunctionBounceFilter", DeviceSetFunctionBounceFilter, ".xib"},
    {"DeviceGetFunction", DevicePool<false>, ".xi"},
    {"DevicePoolFunction", DevicePool<true>, ".xi"},
    {"DeviceSeekFunction", DeviceSeekFunction, ".xii"},
    {"DeviceDelete", DeviceDelete, ".x"},
    {"DeviceUpdate", DeviceUpdate, ".x"},
    {"DeviceIsAvailable", DeviceIsAvailable, ".x"},
    {"MouseUpdate", MouseUpdate, "."},
    {"MousePoolFunction", MousePoolFunction, ".i"},
    {"KeyboardUpdate", KeyboardUpdate, "."},
    {"KeyboardPoolFunction", KeyboardPoolFunction, ".i"},
    {"KeyboardSeekFunction", KeyboardSeekFunction, ".ii"},
    {"KeyboardSetKeyBounceFilter", KeyboardSetKeyBounceFilter, ".ib"},
    {0, 0, 0}};

#define QZ_INT(name, value)                \
    {                                      \
        name, value, ScriptConstantInteger \
    }

const ScriptConstantDecl g_InputScriptConstants[] = {
    QZ_INT("DeviceTypeGame", 2),
    QZ_INT("DeviceCapsNone", 0),
    QZ_INT("DeviceCapsForceFeedback", 1),
    QZ_INT("DeviceAxisX", DeviceFunctionAxisX),
    QZ_INT("DeviceAxisY", DeviceFunctionAxisY),
    QZ_INT("DeviceAxisZ", DeviceFunctionAxisZ),
    QZ_INT("DeviceAxisU", DeviceFunctionAxisU),
    QZ_INT("DeviceAxisV", DeviceFunctionAxisV),
    QZ_INT("DeviceButton0", 5),
    QZ_INT("DeviceButton1", 6),
    QZ_INT("DeviceButton2", 7),
    QZ_INT("DeviceButton3", 8),
    QZ_INT("DeviceButton4", 9),
    QZ_INT("DeviceButton5", 10),
    QZ_INT("DeviceButton6", 11),
    QZ_INT("DeviceButton7", 12),
    QZ_INT("DeviceButton8", 13),
    QZ_INT("DeviceButton9", 14),
    QZ_INT("DeviceButton10", 15),
    QZ_INT("DeviceButton11", 16),
    QZ_INT("DeviceButton12", 17),
    QZ_INT("DeviceButton13", 18),
    QZ_INT("DeviceButton14", 19),
    QZ_INT("DeviceButton15", 20),
    QZ_INT("DeviceKeyPress", DeviceFunctionKeyPress),
    QZ_INT("DeviceLeft", DeviceFunctionLeft),
    QZ_INT("DeviceRight", DeviceFunctionRight),
    QZ_INT("DeviceUp", DeviceFunctionUp),
    QZ_INT("DeviceDown", DeviceFunctionDown),
    QZ_INT("DeviceAxisRX", DeviceFunctionAxisRX),
    QZ_INT("DeviceAxisRY", DeviceFunctionAxisRY),
    QZ_INT("DeviceAxisRZ", DeviceFunctionAxisRZ),
    QZ_INT("KeyLShift", KeyCodeLShift),
    QZ_INT("KeyRShift", KeyCodeRShift),
    QZ_INT("KeyLCtrl", KeyCodeLCtrl),
    QZ_INT("KeyRCtrl", KeyCodeRCtrl),
    QZ_INT("KeyLAlt", KeyCodeLAlt),
    QZ_INT("KeyRAlt", KeyCodeRAlt),
    QZ_INT("KeyLWin", KeyCodeLWin),
    QZ_INT("KeyRWin", KeyCodeRWin),
    QZ_INT("KeyLMenu", KeyCodeLMenu),
    QZ_INT("KeyRMenu", KeyCodeRMenu),
    QZ_INT("KeyTab", KeyCodeTab),
    QZ_INT("KeyTilde", KeyCodeTilde),
    QZ_INT("KeyCapsLock", KeyCodeCapsLock),
    QZ_INT("KeySpace", KeyCodeSpace),
    QZ_INT("KeyBackspace", KeyCodeBackspace),
    QZ_INT("KeyReturn", KeyCodeReturn),
    QZ_INT("KeyInsert", KeyCodeInsert),
    QZ_INT("KeySuppr", KeyCodeSuppr),
    QZ_INT("KeyStart", KeyCodeStart),
    QZ_INT("KeyEnd", KeyCodeEnd),
    QZ_INT("KeyPageUp", KeyCodePageUp),
    QZ_INT("KeyPageDown", KeyCodePageDown),
    QZ_INT("KeyUpArrow", KeyCodeUpArrow),
    QZ_INT("KeyDownArrow", KeyCodeDownArrow),
    QZ_INT("KeyLeftArrow", KeyCodeLeftArrow),
    QZ_INT("KeyRightArrow", KeyCodeRightArrow),
    QZ_INT("KeyEscape", KeyCodeEscape),
    QZ_INT("KeyF1", KeyCodeF1 + 0),
    QZ_INT("KeyF2", KeyCodeF1 + 1),
    QZ_INT("KeyF3", KeyCodeF1 + 2),
    QZ_INT("KeyF4", KeyCodeF1 + 3),
    QZ_INT("KeyF5", KeyCodeF1 + 4),
    QZ_INT("KeyF6", KeyCodeF1 + 5),
    QZ_INT("KeyF7", KeyCodeF1 + 6),
    QZ_INT("KeyF8", KeyCodeF1 + 7),
    QZ_INT("KeyF9", KeyCodeF1 + 8),
    QZ_INT("KeyF10", KeyCodeF1 + 9),
    QZ_INT("KeyF11", KeyCodeF1 + 10),
    QZ_INT("KeyF12", KeyCodeF1 + 11),
    QZ_INT("KeyPrintScreen", KeyCodePrintScreen),
    QZ_INT("KeyScrollLock", KeyCodeScrollLock),
    QZ_INT("KeyPause", KeyCodePause),
    QZ_INT("KeyNumLock", KeyCodeNumLock),
    QZ_INT("KeyEnter", KeyCodeEnter),
    QZ_INT("KeyNumpad0", KeyCodeNumpad0 + 0),
    QZ_INT("KeyNumpad1", KeyCodeNumpad0 + 1),
    QZ_INT("KeyNumpad2", KeyCodeNumpad0 + 2),
    QZ_INT("KeyNumpad3", KeyCodeNumpad0 + 3),
    QZ_INT("KeyNumpad4", KeyCodeNumpad0 + 4),
    QZ_INT("KeyNumpad5", KeyCodeNumpad0 + 5),
    QZ_INT("KeyNumpad6", KeyCodeNumpad0 + 6),
    QZ_INT("KeyNumpad7", KeyCodeNumpad0 + 7),
    QZ_INT("KeyNumpad8", KeyCodeNumpad0 + 8),
    QZ_INT("KeyNumpad9", KeyCodeNumpad0 + 9),
    QZ_INT("KeyASCII", KeyCodeASCII),
    {0, 0, 0}};

#undef QZ_INT

void RegisterInputScriptAPI(HSQUIRRELVM v)
{
    GetGlobalMouse().SetMode(MouseModeAbsolute);
    ScriptRegisterFunctions(v, g_InputScriptFunctions);
    ScriptRegisterConstants(v, g_InputScriptConstants);
}
