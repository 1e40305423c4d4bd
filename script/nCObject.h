#ifndef N_COBJECT_H
#define N_COBJECT_H

#include <cstdint>

#include <squirrel.h>

class nVector;
class nMinMax;
struct ScriptClassDecl;

// The kind of a native object as scripts see it. One native object may be handed out under
// several kinds (an item as Item or Camera); checks compare the kind exactly.
enum ObjectType : int32_t
{
    objectTypeUndefined = 0,
    objectTypeDeleted = 1,
    objectTypeCThread = 2,
    objectTypeEngine = 3,
    objectTypeResourceCache = 4,
    objectTypeProject = 5,
    objectTypeRenderer = 6,
    objectTypeRaytracer = 7,
    objectTypeMixer = 8,
    objectTypeScene = 9,
    objectTypeFont = 10,
    objectTypeRasterFont = 11,
    objectTypeWindowSystem = 12,
    objectTypeWindow = 13,
    objectTypeWidget = 14,
    objectTypeSizerWidget = 15,
    objectTypeContainerWidget = 16,
    objectTypeSpacerWidget = 17,
    objectTypeCanvasWidget = 18,
    objectTypeTextWidget = 19,
    objectTypeBitmapWidget = 20,
    objectTypeCheckWidget = 21,
    objectTypePicture = 22,
    objectTypeGroup = 23,
    objectTypeItem = 24,
    objectTypeCamera = 25,
    objectTypeObject = 26,
    objectTypeLight = 27,
    objectTypeInstance = 28,
    objectTypeEmitter = 29,  // no script constant of this name
    objectTypeMotion = 30,
    objectTypeTrigger = 31,
    objectTypePath = 32,
    objectTypeSound = 33,
    objectTypeTexture = 34,
    objectTypeGeometry = 35,
    objectTypeMaterial = 36,
    objectTypeColShape = 37,
    objectTypeConstraint = 38,
    objectTypeMetafile = 39,
    objectTypeMetatag = 40,
    objectTypeJoypad = 41,
    objectTypeHidDevice = 42,
    objectTypeEditorPlugin = 43,
    objectTypeProjectScene = 44,
    objectTypeProjectLayer = 45,
    objectTypeAnimationSource = 46,
    objectTypeCount = 47
};

const char* GetObjectTypeName(int32_t type);          // display name; outside 0..46 logs and gives "Unknown"
const char* GetObjectTypeConstantName(int32_t type);  // "objectTypeItem" ...; NULL for Emitter and outside 0..46

// How the records of one kind treat their native object. retain and release: every record
// with a native pointer holds one reference from construction to destruction (textures,
// geometries, materials register them). destroy: an owned record destroys its native
// object; a kind without destroy cannot be owned. The subsystem defining the kind registers
// its hooks at start-up; kinds without hooks are plain references.
struct nObjectTypeLifetime
{
    void (*retain)(void* native);
    void (*release)(void* native);
    void (*destroy)(void* native);
};
void ScriptSetObjectTypeLifetime(int32_t type, const nObjectTypeLifetime& hooks);  // outside 0..46: nothing

// The native record behind one CObject script instance. Live records are indexed by native
// pointer under one re-entrant mutex, so invalidating an object costs the number of its own
// records. The script instance owns its record (release hook ScriptReleaseCObject).
class nCObject
{
public:
    nCObject(int32_t type, void* native, bool owned);  // takes the kind's reference; registers
    ~nCObject();                                       // unregisters; drops the reference; destroys an owned native

    int32_t GetType() const { return m_type; }
    void* GetNative() const { return m_native; }  // NULL: a null object, or invalidated
    bool IsOwned() const { return m_owned; }

    // Every record of native becomes "Deleted native" with a NULL pointer; returns their count.
    static int32_t Invalidate(void* native);
    static int32_t GetLiveCount();  // records alive in the process

private:
    nCObject(const nCObject&) = delete;
    nCObject& operator=(const nCObject&) = delete;
    void Unlink();  // leaves the index; call under the mutex

    bool m_owned;
    nCObject** m_head;  // the index slot of the native's chain
    nCObject* m_prev;   // records of the same native pointer
    nCObject* m_next;
    int32_t m_type;
    void* m_native;
};

// The declaration of the CObject script class (its type tag). Its members are the object
// methods; Open registers it.
extern const ScriptClassDecl g_CObjectClassDecl;

SQInteger ScriptReleaseCObject(SQUserPointer record, SQInteger size);  // frees the record; 0

// The record of 'this' (stack index 1) of a CObject method: raises "Invalid instance type" when
// 'this' is no CObject, "Internal failure" when it has no record (a clone), and gives false.
bool ScriptCObjectThis(HSQUIRRELVM v, nCObject*& rec);

// Pushes a new CObject holding a new record (every push is a new instance). On failure logs
// "Could not allocate C Object.", destroys the record (an owned native dies with it), leaves
// the stack as it was and gives false.
bool ScriptPushNativeObject(HSQUIRRELVM v, void* native, int32_t type, bool owned);

// The CObject at index: false when it is not one (the machine's error text stands), when it
// has no record ("Internal failure"), or when expected is not 0 and differs from its kind
// ("Expected '%s' got '%s'"). out (may be NULL) gets the native pointer, possibly NULL.
bool ScriptGetNativeObject(HSQUIRRELVM v, SQInteger index, void** out, int32_t expected);
bool ScriptGetNativeObjectType(HSQUIRRELVM v, SQInteger index, int32_t* out);  // false when not a CObject with a record

// Dumps the call stack titled "Binding error: " message; raises nothing, kills nothing. False.
bool ScriptBindingError(HSQUIRRELVM v, const char* message);

// A new instance of the root-table class left on top of the stack; false (logged through
// ScriptBindingError, stack unchanged) when the class is missing or cannot be instantiated.
bool ScriptInstantiateClass(HSQUIRRELVM v, const char* class_name, bool call_constructor);

// Values of the classes the game's scripts declare, filled by member name.
bool ScriptInstantiateVector(HSQUIRRELVM v, const nVector& value);                   // Vector through its constructor; true when pushed
void ScriptGetVector(HSQUIRRELVM v, SQInteger index, nVector& out);                  // out unchanged when not a Vector with a value
bool ScriptPushMinMax(HSQUIRRELVM v, const nMinMax& box);                            // MinMax{min, max}; true when pushed
bool ScriptPushRect(HSQUIRRELVM v, int32_t sx, int32_t sy, int32_t ex, int32_t ey);  // Rect without constructor; true when pushed
void ScriptGetRect(HSQUIRRELVM v, SQInteger index, int32_t out[4]);                  // sx, sy, ex, ey truncated within +-1e9 (NaN: 0); missing members leave out alone

#endif
