#include <cstring>

#include "core/nLog.h"
#include "core/nMatrix.h"
#include "core/nQuaternion.h"
#include "core/nVector.h"
#include "script/nScriptMath.h"
#include "script/nScriptMathValue.h"

// The Matrix3 and Matrix4 script classes. Keys "mRC" name row R, column C of the storage;
// the script's GetRow(i) and SetRow(i) address column i of the storage and GetColumn(i) and
// SetColumn(i) row i. Indices outside the matrix raise an error instead of reaching memory
// beyond the copy.

namespace {

// Element index of a key "mRC" with R and C below size; -1 otherwise.
int ElementOf(HSQUIRRELVM v, SQInteger index, int size)
{
    if (sq_gettype(v, index) != OT_STRING)
        return -1;
    const SQChar* key;
    sq_getstring(v, index, &key);
    if (key[0] != 'm' || key[1] < '0' || key[1] >= '0' + size || key[2] < '0' || key[2] >= '0' + size || key[3])
        return -1;
    return (key[1] - '0') * size + (key[2] - '0');
}

bool GetFloatAt(HSQUIRRELVM v, SQInteger index, float& out)
{
    SQObjectType t = sq_gettype(v, index);
    SQFloat f;
    if ((t != OT_INTEGER && t != OT_FLOAT) || SQ_FAILED(sq_getfloat(v, index, &f)))
        return false;
    out = f;
    return true;
}

// Index argument of the row and column members; false after raising when outside 0..size-1.
bool GetIndex(HSQUIRRELVM v, int size, int& out)
{
    SQInteger i = -1;
    sq_getinteger(v, 2, &i);
    if (i < 0 || i >= size) {
        sq_throwerror(v, "Matrix index out of range");
        return false;
    }
    out = (int)i;
    return true;
}

bool GetVectorAt(HSQUIRRELVM v, SQInteger index, nVector& out)
{
    void* p;
    if (ScriptMathKindOf(v, index, &p) != MathKindVector || !p) {
        sq_throwerror(v, "Invalid instance type");
        return false;
    }
    out = *static_cast<nVector*>(p);
    return true;
}

SQInteger PushVector(HSQUIRRELVM v, const nVector& value)
{
    ScriptStackHandler s(v);
    return s.Return(value);
}

// Generic members over the matrix type; Size is 3 or 4.
template<class M, int Size>
struct MatrixClass
{
    static constexpr nScriptMathKind Kind = Size == 3 ? MathKindMatrix3 : MathKindMatrix4;
    static M* This(HSQUIRRELVM v) { return ScriptMathThis<M>(v, Kind); }

    static SQInteger Get(HSQUIRRELVM v)
    {
        M* self = This(v);
        if (!self) return SQ_ERROR;
        int e = ElementOf(v, 2, Size);
        if (e < 0)
            return ScriptFailQuietly(v);
        sq_pushfloat(v, self->m[e]);
        return 1;
    }

    static SQInteger Set(HSQUIRRELVM v)
    {
        M* self = This(v);
        if (!self) return SQ_ERROR;
        int e = ElementOf(v, 2, Size);
        if (e < 0)
            return ScriptFailQuietly(v);
        float value = 0.0f;
        GetFloatAt(v, 3, value);
        self->m[e] = value;
        sq_pushfloat(v, value);
        return 1;
    }

    static SQInteger Mul(HSQUIRRELVM v)
    {
        M* self = This(v);
        if (!self) return SQ_ERROR;
        void* p;
        if (ScriptMathKindOf(v, 2, &p) != Kind || !p)
            return sq_throwerror(v, "Invalid instance type");
        ScriptStackHandler s(v);
        return s.Return(*self * *static_cast<M*>(p));
    }

    // Script row i: (m0i, m1i, m2i, 1).
    static SQInteger GetRow(HSQUIRRELVM v)
    {
        M* self = This(v);
        int i;
        if (!self || !GetIndex(v, Size, i)) return SQ_ERROR;
        return PushVector(v, nVector(self->m[i], self->m[Size + i], self->m[2 * Size + i], 1.0f));
    }

    // Script column i: (mi0, mi1, mi2, 1).
    static SQInteger GetColumn(HSQUIRRELVM v)
    {
        M* self = This(v);
        int i;
        if (!self || !GetIndex(v, Size, i)) return SQ_ERROR;
        return PushVector(v, nVector(self->m[Size * i], self->m[Size * i + 1], self->m[Size * i + 2], 1.0f));
    }

    // m0i, m1i, m2i := x, y, z; a Matrix4 also gets m3i := 1.
    static SQInteger SetRow(HSQUIRRELVM v)
    {
        M* self = This(v);
        int i;
        nVector value;
        if (!self || !GetIndex(v, Size, i) || !GetVectorAt(v, 3, value)) return SQ_ERROR;
        self->m[i] = value.x;
        self->m[Size + i] = value.y;
        self->m[2 * Size + i] = value.z;
        if (Size == 4)
            self->m[3 * Size + i] = 1.0f;
        return 0;
    }

    // mi0, mi1, mi2 := x, y, z; a Matrix4 also gets mi3 := 1.
    static SQInteger SetColumn(HSQUIRRELVM v)
    {
        M* self = This(v);
        int i;
        nVector value;
        if (!self || !GetIndex(v, Size, i) || !GetVectorAt(v, 3, value)) return SQ_ERROR;
        self->m[Size * i] = value.x;
        self->m[Size * i + 1] = value.y;
        self->m[Size * i + 2] = value.z;
        if (Size == 4)
            self->m[Size * i + 3] = 1.0f;
        return 0;
    }

    // No argument: identity; Size Vectors: vector k fills script row k (m0k, m1k, ...);
    // Size * Size numbers: given column by column.
    static SQInteger Constructor(HSQUIRRELVM v)
    {
        const char* count_error = Size == 3 ? "Matrix3() wrong parameter count" : "Matrix4() wrong parameter count";
        const char* value_error = Size == 3 ? "Matrix3() invalid parameters" : "Matrix4() invalid parameters";
        SQInteger count = sq_gettop(v) - 1;
        M value;
        if (count == Size) {
            for (int k = 0; k < Size; ++k) {
                void* p;
                nScriptMathKind kind = ScriptMathKindOf(v, k + 2, &p);
                if (kind != MathKindVector)
                    return sq_throwerror(v, "Invalid instance type");
                if (!p)
                    return sq_throwerror(v, value_error);
                const nVector& c = *static_cast<nVector*>(p);
                const float comps[4] = {c.x, c.y, c.z, c.w};
                for (int r = 0; r < Size; ++r)
                    value.m[r * Size + k] = comps[r];
            }
        } else if (count == Size * Size) {
            for (int k = 0; k < Size * Size; ++k) {
                float f;
                if (!GetFloatAt(v, k + 2, f))
                    return sq_throwerror(v, value_error);
                value.m[(k % Size) * Size + k / Size] = f;
            }
        } else if (count != 0) {
            return sq_throwerror(v, count_error);
        }
        return ScriptMathAdopt(v, value) ? 0 : SQ_ERROR;
    }
};

typedef MatrixClass<nMatrix3, 3> M3;
typedef MatrixClass<nMatrix4, 4> M4;

SQInteger TypeOf3(HSQUIRRELVM v)
{
    sq_pushstring(v, "Matrix3", -1);
    return 1;
}
SQInteger TypeOf4(HSQUIRRELVM v)
{
    sq_pushstring(v, "Matrix4", -1);
    return 1;
}

SQInteger AsMatrix3(HSQUIRRELVM v)
{
    nMatrix4* self = M4::This(v);
    if (!self) return SQ_ERROR;
    ScriptStackHandler s(v);
    return s.Return(nMatrix3::FromMatrix4(*self));
}

SQInteger AsMatrix4(HSQUIRRELVM v)
{
    nMatrix3* self = M3::This(v);
    if (!self) return SQ_ERROR;
    ScriptStackHandler s(v);
    return s.Return(nMatrix4::FromMatrix3(*self));
}

SQInteger Print4(HSQUIRRELVM v)
{
    nMatrix4* self = M4::This(v);
    if (!self) return SQ_ERROR;
    const SQChar* name = "Matrix";
    if (sq_gettop(v) >= 2 && sq_gettype(v, 2) == OT_STRING)
        sq_getstring(v, 2, &name);
    *g_log << "Dumping matrix '" << name << "':\n";
    for (int i = 0; i < 4; ++i)
        nVector(self->m[i], self->m[4 + i], self->m[8 + i]).Dump("Row");
    return 0;
}

SQInteger RotationFromMatrix3(HSQUIRRELVM v)
{
    nMatrix4* self = M4::This(v);
    if (!self) return SQ_ERROR;
    void* p;
    if (ScriptMathKindOf(v, 2, &p) != MathKindMatrix3 || !p)
        return sq_throwerror(v, "Invalid instance type");
    const nMatrix3& r = *static_cast<nMatrix3*>(p);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            self->m[row * 4 + col] = r.m[row * 3 + col];
    return 0;
}

SQInteger FromOrthonormalBasis(HSQUIRRELVM v)
{
    SQInteger count = sq_gettop(v) - 1;
    if (count > 2)
        return sq_throwerror(v, "Matrix3::FromOrthonormalBasis() wrong parameter count");
    nVector direction, up;
    if (!GetVectorAt(v, 2, direction))
        return SQ_ERROR;
    if (count == 2 && !GetVectorAt(v, 3, up))
        return SQ_ERROR;
    ScriptStackHandler s(v);
    return s.Return(nMatrix3::LookAt(direction, count == 2 ? &up : 0));
}

SQInteger SlerpTo(HSQUIRRELVM v)
{
    nMatrix3* self = M3::This(v);
    if (!self) return SQ_ERROR;
    float t = 0.0f;
    GetFloatAt(v, 2, t);
    void* p;
    if (ScriptMathKindOf(v, 3, &p) != MathKindMatrix3 || !p)
        return sq_throwerror(v, "Invalid instance type");
    nQuaternion a = nQuaternion::FromMatrix3(*self);
    nQuaternion b = nQuaternion::FromMatrix3(*static_cast<nMatrix3*>(p));
    ScriptStackHandler s(v);
    return s.Return(nQuaternion::Slerp(t, a, b).ToMatrix3());
}

SQInteger AsEuler(HSQUIRRELVM v)
{
    nMatrix3* self = M3::This(v);
    if (!self) return SQ_ERROR;
    SQInteger order = RotationOrderYXZ;
    if (sq_gettop(v) >= 2)
        sq_getinteger(v, 2, &order);
    return PushVector(v, self->ToEuler((nRotationOrder)(int32_t)order));
}

const ScriptMemberDecl s_matrix4[] = {
    {"_SCypeof", TypeOf4, 1, 0},
    {"constructor", M4::Constructor, -1, ". n|x n|x n|x n|x nnnn nnnn"},
    {"_get", M4::Get, 2, "xs"},
    {"_set", M4::Set, 3, "xsn"},
    {"_mul", M4::Mul, 2, "xx"},
    {"GetRow", M4::GetRow, 2, "xi"},
    {"SetRow", M4::SetRow, 3, "xix"},
    {"GetColumn", M4::GetColumn, 2, "xi"},
    {"SetColumn", M4::SetColumn, 3, "xix"},
    {"AsMatrix3", AsMatrix3, 1, "x"},
    {"Print", Print4, -1, "x"},
    {"RotationFromMatrix3", RotationFromMatrix3, 2, "xx"},
    {0, 0, 0, 0}};

const ScriptMemberDecl s_matrix3[] = {
    {"_SCypeof", TypeOf3, 1, 0},
    {"constructor", M3::Constructor, -1, ". n|x n|x n|x nnn nnn"},
    {"_get", M3::Get, 2, "xs"},
    {"_set", M3::Set, 3, "xsn"},
    {"_mul", M3::Mul, 2, "xx"},
    {"GetRow", M3::GetRow, 2, "xi"},
    {"SetRow", M3::SetRow, 3, "xix"},
    {"GetColumn", M3::GetColumn, 2, "xi"},
    {"SetColumn", M3::SetColumn, 3, "xix"},
    {"AsMatrix4", AsMatrix4, 1, "x"},
    {"FromOrthonormalBasis", FromOrthonormalBasis, -2, ".xx"},
    {"SlerpTo", SlerpTo, 3, "xnx"},
    {"AsEuler", AsEuler, -1, "xi"},
    {0, 0, 0, 0}};

}  // namespace

const ScriptClassDecl g_Matrix3ClassDecl = {"Matrix3", 0, s_matrix3};
const ScriptClassDecl g_Matrix4ClassDecl = {"Matrix4", 0, s_matrix4};

bool RegisterMatrixClasses(HSQUIRRELVM v)
{
    bool ok3 = ScriptRegisterClass(v, &g_Matrix3ClassDecl) && ScriptReserveClassValue(v, &g_Matrix3ClassDecl, sizeof(nMatrix3));
    bool ok4 = ScriptRegisterClass(v, &g_Matrix4ClassDecl) && ScriptReserveClassValue(v, &g_Matrix4ClassDecl, sizeof(nMatrix4));
    return ok3 && ok4;
}
