#include <cmath>
#include <cstdlib>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "script/nScriptMath.h"
#include "script/nScriptMathValue.h"

// The Vector script class: four floats. Arithmetic works on x, y, z and gives w = 1; only
// the copies (clone, constructor, Set with four numbers) and assigning w keep another w.

namespace {

nVector* This(HSQUIRRELVM v) { return ScriptMathThis<nVector>(v, MathKindVector); }

SQInteger Push(HSQUIRRELVM v, const nVector& value)
{
    ScriptStackHandler s(v);
    return s.Return(value);
}

// Reads the numbers at stack indices 2 .. count into the components (x, y, z, then w);
// false when one is not a number.
bool ReadComponents(HSQUIRRELVM v, SQInteger count, nVector& out)
{
    float c[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (SQInteger i = 0; i < count; ++i) {
        SQFloat f;
        SQObjectType t = sq_gettype(v, i + 2);
        if ((t != OT_INTEGER && t != OT_FLOAT) || SQ_FAILED(sq_getfloat(v, i + 2, &f)))
            return false;
        c[i] = f;
    }
    out = nVector(c[0], c[1], c[2], c[3]);
    return true;
}

// Component index of a key: a string by its first character, an integer by its value; -1 otherwise.
int ComponentOf(HSQUIRRELVM v, SQInteger index, bool single_character)
{
    if (sq_gettype(v, index) == OT_STRING) {
        const SQChar* key;
        sq_getstring(v, index, &key);
        if (!key[0] || (single_character && key[1]))
            return -1;
        switch (key[0]) {
            case 'x':
            case 'r': return 0;
            case 'y':
            case 'g': return 1;
            case 'z':
            case 'b': return 2;
            case 'w':
            case 'a': return 3;
            default: return -1;
        }
    }
    if (sq_gettype(v, index) == OT_INTEGER) {
        SQInteger i;
        sq_getinteger(v, index, &i);
        return (i >= 0 && i <= 3) ? (int)i : -1;
    }
    return -1;
}

float& Component(nVector& value, int i)
{
    return i == 0 ? value.x : i == 1 ? value.y
                          : i == 2   ? value.z
                                     : value.w;
}

bool GetNumber(HSQUIRRELVM v, SQInteger index, float& out)
{
    SQObjectType t = sq_gettype(v, index);
    SQFloat f;
    if ((t != OT_INTEGER && t != OT_FLOAT) || SQ_FAILED(sq_getfloat(v, index, &f)))
        return false;
    out = f;
    return true;
}

// A Vector argument with a value, or NULL.
nVector* VectorArg(HSQUIRRELVM v, SQInteger index)
{
    void* p;
    return ScriptMathKindOf(v, index, &p) == MathKindVector ? static_cast<nVector*>(p) : 0;
}

// A Vector or a number n standing for (n, n, n, 1); false otherwise.
bool VectorOrNumber(HSQUIRRELVM v, SQInteger index, nVector& out)
{
    float n;
    if (GetNumber(v, index, n)) {
        out = nVector(n, n, n, 1.0f);
        return true;
    }
    nVector* p = VectorArg(v, index);
    if (!p)
        return false;
    out = *p;
    return true;
}

SQInteger TypeOf(HSQUIRRELVM v)
{
    sq_pushstring(v, "Vector", -1);
    return 1;
}

SQInteger Constructor(HSQUIRRELVM v)
{
    SQInteger count = sq_gettop(v) - 1;
    nVector value(0.0f, 0.0f, 0.0f, 1.0f);
    if (count > 4)
        return sq_throwerror(v, "Vector wrong parameters");
    if (count == 1 && sq_gettype(v, 2) == OT_INSTANCE) {
        nVector* p = VectorArg(v, 2);
        if (!p)
            return sq_throwerror(v, "Vector() invalid instance type");
        value = *p;
    } else if (!ReadComponents(v, count, value)) {
        return sq_throwerror(v, "Vector wrong parameters");
    }
    return ScriptMathAdopt(v, value) ? 0 : SQ_ERROR;
}

SQInteger Cloned(HSQUIRRELVM v)
{
    nVector* source = VectorArg(v, 2);
    if (!source)
        return sq_throwerror(v, "Internal failure");
    return ScriptMathAdopt(v, *source) ? 0 : SQ_ERROR;
}

SQInteger Set(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    SQInteger count = sq_gettop(v) - 1;
    if (count > 4)
        return sq_throwerror(v, "Vector Set() wrong parameters");
    nVector value;
    if (!ReadComponents(v, count, value))
        return sq_throwerror(v, "Vector Set() wrong parameters");
    *self = value;
    return 0;
}

SQInteger MetaSet(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    int i = ComponentOf(v, 2, false);
    if (i < 0)
        return ScriptFailQuietly(v);
    float value = 0.0f;
    GetNumber(v, 3, value);
    Component(*self, i) = value;
    sq_pushfloat(v, value);
    return 1;
}

SQInteger MetaGet(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    int i = ComponentOf(v, 2, true);
    if (i < 0)
        return ScriptFailQuietly(v);
    sq_pushfloat(v, Component(*self, i));
    return 1;
}

SQInteger Add(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    nVector other;
    if (!VectorOrNumber(v, 2, other))
        return sq_throwerror(v, "Vector + operator: Invalid argument type.\n");
    return Push(v, *self + other);
}

SQInteger Sub(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    nVector other;
    if (!VectorOrNumber(v, 2, other))
        return sq_throwerror(v, "Vector - operator: Invalid argument type.\n");
    return Push(v, *self - other);
}

SQInteger Mul(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    float n;
    if (GetNumber(v, 2, n))
        return Push(v, *self * n);
    void* p;
    switch (ScriptMathKindOf(v, 2, &p)) {
        case MathKindVector:
            if (p) return Push(v, *self * *static_cast<nVector*>(p));
            break;
        case MathKindMatrix3:
            if (p) return Push(v, nVector(*self).Rotate(*static_cast<nMatrix3*>(p)));
            break;
        case MathKindMatrix4:
            if (p) return Push(v, nVector(self->x, self->y, self->z, 1.0f).Transform(*static_cast<nMatrix4*>(p)));
            break;
        default: break;
    }
    return sq_throwerror(v, "Vector * operator: Invalid argument type.\n");
}

SQInteger Div(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    float n;
    if (GetNumber(v, 2, n))
        return Push(v, *self / n);
    nVector* other = VectorArg(v, 2);
    if (!other)
        return sq_throwerror(v, "Vector / operator: Invalid argument type.\n");
    return Push(v, *self / *other);
}

SQInteger Cmp(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    nVector* other = VectorArg(v, 2);
    if (!other)
        return sq_throwerror(v, "Invalid instance type");
    sq_pushbool(v, self->IsNearlyEqual(*other) ? SQTrue : SQFalse);
    return 1;
}

SQInteger ApplyMatrix(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    void* p;
    switch (ScriptMathKindOf(v, 2, &p)) {
        case MathKindMatrix3:
            if (p) return Push(v, nVector(*self).Rotate(*static_cast<nMatrix3*>(p)));
            break;
        case MathKindMatrix4:
            if (p) return Push(v, nVector(self->x, self->y, self->z, 1.0f).Transform(*static_cast<nMatrix4*>(p)));
            break;
        default: break;
    }
    return sq_throwerror(v, "Vector::ApplyMatrix(): Invalid parameter");
}

SQInteger ApplyRotationMatrix(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    void* p;
    switch (ScriptMathKindOf(v, 2, &p)) {
        case MathKindMatrix3:
            if (p) return Push(v, nVector(*self).Rotate(*static_cast<nMatrix3*>(p)));
            break;
        case MathKindMatrix4:
            if (p) return Push(v, nVector(*self).Rotate(nMatrix3::FromMatrix4(*static_cast<nMatrix4*>(p))));
            break;
        default: break;
    }
    return sq_throwerror(v, "Vector::ApplyRotationMatrix(): Invalid parameter");
}

// The members of mask "xn": 'this' and one number.
template<nVector (*Op)(const nVector&, float)>
SQInteger WithNumber(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    float n = 0.0f;
    GetNumber(v, 2, n);
    return Push(v, Op(*self, n));
}

nVector AddReal(const nVector& a, float n) { return nVector(a.x + n, a.y + n, a.z + n, 1.0f); }
nVector SubReal(const nVector& a, float n) { return nVector(a.x - n, a.y - n, a.z - n, 1.0f); }
nVector MulReal(const nVector& a, float n) { return a * n; }
nVector DivReal(const nVector& a, float n) { return a * (1.0f / n); }
nVector ClampMagnitude(const nVector& a, float n)
{
    nVector r = a.ClampLength(0.0f, n);
    r.w = 1.0f;
    return r;
}

SQInteger Clamp(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    nVector lo, hi;
    if (!VectorOrNumber(v, 2, lo) || !VectorOrNumber(v, 3, hi))
        return sq_throwerror(v, "Invalid instance type");
    return Push(v, self->Clamp(lo, hi));
}

SQInteger Reverse(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    return Push(v, -*self);
}

template<bool Minimum>
SQInteger MinMax(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    const char* error = Minimum ? "Vector Min(): Invalid parameter list.\n" : "Vector Max(): Invalid parameter list.\n";
    SQInteger count = sq_gettop(v) - 1;
    nVector other;
    if (count == 1) {
        float n;
        nVector* p = VectorArg(v, 2);
        if (p) other = *p;
        else if (GetNumber(v, 2, n)) other = nVector(n, 0.0f, 0.0f);
        else return sq_throwerror(v, error);
    } else if (count != 3 || !ReadComponents(v, 3, other)) {
        return sq_throwerror(v, error);
    }
    return Push(v, Minimum ? VectorMin(*self, other) : VectorMax(*self, other));
}

// The members of mask "xx" on two Vectors.
template<SQInteger (*Op)(HSQUIRRELVM, const nVector&, const nVector&)>
SQInteger WithVector(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    nVector* other = VectorArg(v, 2);
    if (!other)
        return sq_throwerror(v, "Invalid instance type");
    return Op(v, *self, *other);
}

SQInteger PushFloat(HSQUIRRELVM v, float f)
{
    sq_pushfloat(v, f);
    return 1;
}
SQInteger Dot(HSQUIRRELVM v, const nVector& a, const nVector& b) { return PushFloat(v, a.Dot(b)); }
SQInteger Cross(HSQUIRRELVM v, const nVector& a, const nVector& b) { return Push(v, a.Cross(b)); }
SQInteger Dist(HSQUIRRELVM v, const nVector& a, const nVector& b) { return PushFloat(v, a.Distance(b)); }
SQInteger Dist2(HSQUIRRELVM v, const nVector& a, const nVector& b) { return PushFloat(v, a.DistanceSquared(b)); }
SQInteger Angle(HSQUIRRELVM v, const nVector& a, const nVector& b)
{
    return PushFloat(v, std::acos(nClamp(a.Dot(b), -1.0f, 1.0f)));
}

SQInteger Len(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    return PushFloat(v, self->Length());
}

SQInteger Len2(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    return PushFloat(v, self->Dot(*self));
}

SQInteger Normalize(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    nVector unit = self->Normalize();
    float length;
    if (sq_gettop(v) >= 2 && GetNumber(v, 2, length))
        unit = unit * length;
    return Push(v, unit);
}

SQInteger Lerp(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    float t = 0.0f;
    GetNumber(v, 2, t);
    nVector* other = VectorArg(v, 3);
    if (!other)
        return sq_throwerror(v, "Invalid instance type");
    return Push(v, *self * t + *other * (1.0f - t));
}

SQInteger Randomize(HSQUIRRELVM v)
{
    SQInteger count = sq_gettop(v) - 1;
    float lo = 0.0f, hi = 0.0f;
    if (count == 1) {
        GetNumber(v, 2, hi);
    } else {
        GetNumber(v, 2, lo);
        GetNumber(v, 3, hi);
    }
    return Push(v, nVector::Random(lo, hi));
}

SQInteger IsEqual(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    SQInteger count = sq_gettop(v) - 1;
    if (count > 2)
        return sq_throwerror(v, "Vector::IsEqual() wrong parameter count");
    nVector* other = VectorArg(v, 2);
    if (!other)
        return sq_throwerror(v, "Invalid instance type");
    float epsilon = 0.0001f;
    if (count == 2)
        GetNumber(v, 3, epsilon);
    sq_pushbool(v, self->DistanceSquared(*other) < epsilon * epsilon ? SQTrue : SQFalse);
    return 1;
}

SQInteger Print(HSQUIRRELVM v)
{
    nVector* self = This(v);
    if (!self) return SQ_ERROR;
    const SQChar* name = "Vector";
    if (sq_gettop(v) >= 2 && sq_gettype(v, 2) == OT_STRING)
        sq_getstring(v, 2, &name);
    self->Dump(name);
    return 0;
}

const ScriptMemberDecl s_members[] = {
    {"_SCypeof", TypeOf, 1, 0},
    {"constructor", Constructor, -1, ".n|xnnn"},
    {"_cloned", Cloned, 2, ".x"},
    {"_set", MetaSet, 3, "xs|n"},
    {"_get", MetaGet, 2, "xs|n"},
    {"_add", Add, 2, "xx|n"},
    {"_sub", Sub, 2, "xx|n"},
    {"_mul", Mul, 2, "xx|n"},
    {"_div", Div, 2, "xx|n"},
    {"_cmp", Cmp, 2, "xx"},
    {"Set", Set, -1, "xnnnn"},
    {"ApplyMatrix", ApplyMatrix, 2, "xx"},
    {"ApplyRotationMatrix", ApplyRotationMatrix, 2, "xx"},
    {"AddReal", WithNumber<AddReal>, 2, "xn"},
    {"MulReal", WithNumber<MulReal>, 2, "xn"},
    {"SubReal", WithNumber<SubReal>, 2, "xn"},
    {"DivReal", WithNumber<DivReal>, 2, "xn"},
    {"Scale", WithNumber<MulReal>, 2, "xn"},
    {"Clamp", Clamp, 3, "x x|n x|n"},
    {"ClampMagnitude", WithNumber<ClampMagnitude>, 2, "xn"},
    {"Reverse", Reverse, 1, "x"},
    {"Min", MinMax<true>, -2, "xn|xnn"},
    {"Max", MinMax<false>, -2, "xn|xnn"},
    {"Dot", WithVector<Dot>, 2, "xx"},
    {"Cross", WithVector<Cross>, 2, "xx"},
    {"Len", Len, 1, "x"},
    {"Len2", Len2, 1, "x"},
    {"AngleWithVector", WithVector<Angle>, 2, "xx"},
    {"Normalize", Normalize, -1, "xn"},
    {"Dist", WithVector<Dist>, 2, "xx"},
    {"Dist2", WithVector<Dist2>, 2, "xx"},
    {"Lerp", Lerp, 3, "xnx"},
    {"Randomize", Randomize, -2, ".nn"},
    {"IsEqual", IsEqual, -2, "xxn"},
    {"Print", Print, -1, "x"},
    {0, 0, 0, 0}};

}  // namespace

const ScriptClassDecl g_VectorClassDecl = {"Vector", 0, s_members};

bool RegisterVectorClass(HSQUIRRELVM v)
{
    return ScriptRegisterClass(v, &g_VectorClassDecl) && ScriptReserveClassValue(v, &g_VectorClassDecl, sizeof(nVector));
}

SQInteger ScriptReleaseNativeValue(SQUserPointer value, SQInteger size)
{
    std::free(value);
    return 0;
}

SQInteger ScriptReleaseInlineValue(SQUserPointer, SQInteger)
{
    return 0;
}

bool ScriptPushVector(HSQUIRRELVM v, const nVector& value) { return ScriptMathPush(v, g_VectorClassDecl, value); }
bool ScriptPushMatrix3(HSQUIRRELVM v, const nMatrix3& value) { return ScriptMathPush(v, g_Matrix3ClassDecl, value); }
bool ScriptPushMatrix4(HSQUIRRELVM v, const nMatrix4& value) { return ScriptMathPush(v, g_Matrix4ClassDecl, value); }

template<class T>
static void MakeMathValue(SquirrelObject& out, HSQUIRRELVM v, bool (*push)(HSQUIRRELVM, const T&), const T& value)
{
    out.Reset();
    if (!push(v, value))
        return;
    out.AttachToStack(-1);
    sq_pop(v, 1);
}

void ScriptMakeVector(SquirrelObject& out, HSQUIRRELVM v, const nVector& value) { MakeMathValue(out, v, ScriptPushVector, value); }
void ScriptMakeMatrix3(SquirrelObject& out, HSQUIRRELVM v, const nMatrix3& value) { MakeMathValue(out, v, ScriptPushMatrix3, value); }
void ScriptMakeMatrix4(SquirrelObject& out, HSQUIRRELVM v, const nMatrix4& value) { MakeMathValue(out, v, ScriptPushMatrix4, value); }
