// The Vector, Matrix3 and Matrix4 script classes, as a table of script snippets and the values
// they give, plus the values native code pushes and reads.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <squirrel.h>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nScriptMath.h"
#include "script/nSquirrelVM.h"
#include "tests/support/nLogCapture.h"

namespace {

std::string Number(float f)
{
    if (f == 0.0f) f = 0.0f;  // no "-0"
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%g", f);
    return buffer;
}

class ScriptMathTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vm.Open());
        v = vm.GetHandle();
        ASSERT_TRUE(RegisterVectorClass(v));
        ASSERT_TRUE(RegisterMatrixClasses(v));
    }

    // The value at the top of the stack as text: vectors "(x,y,z,w)", matrices
    // "[row|row|...]", numbers with %g.
    std::string Describe(SQInteger index)
    {
        switch (sq_gettype(v, index)) {
            case OT_NULL: return "null";
            case OT_BOOL: {
                SQBool b;
                sq_getbool(v, index, &b);
                return b ? "true" : "false";
            }
            case OT_INTEGER: {
                SQInteger i;
                sq_getinteger(v, index, &i);
                return std::to_string(i);
            }
            case OT_FLOAT: {
                SQFloat f;
                sq_getfloat(v, index, &f);
                return Number(f);
            }
            case OT_STRING: {
                const SQChar* s;
                sq_getstring(v, index, &s);
                return s;
            }
            case OT_INSTANCE: {
                SQUserPointer p = 0;
                if (SQ_SUCCEEDED(sq_getinstanceup(v, index, &p, (SQUserPointer)&g_VectorClassDecl)) && p) {
                    const nVector& a = *static_cast<nVector*>(p);
                    return "(" + Number(a.x) + "," + Number(a.y) + "," + Number(a.z) + "," + Number(a.w) + ")";
                }
                int size = 0;
                const float* m = 0;
                if (SQ_SUCCEEDED(sq_getinstanceup(v, index, &p, (SQUserPointer)&g_Matrix3ClassDecl)) && p) {
                    size = 3;
                    m = static_cast<nMatrix3*>(p)->m;
                } else if (SQ_SUCCEEDED(sq_getinstanceup(v, index, &p, (SQUserPointer)&g_Matrix4ClassDecl)) && p) {
                    size = 4;
                    m = static_cast<nMatrix4*>(p)->m;
                }
                if (!m) return "instance";
                std::string out = "[";
                for (int r = 0; r < size; ++r)
                    for (int c = 0; c < size; ++c)
                        out += Number(m[r * size + c]) + (c + 1 < size ? " " : (r + 1 < size ? "|" : "]"));
                return out;
            }
            default: return "other";
        }
    }

    // Runs the body of a function and describes what it returned, or "error: " text.
    std::string Eval(const std::string& body)
    {
        std::string code = "return function() { try { " + body + " } catch (e) { return \"error: \" + e; } }";
        SQInteger top = sq_gettop(v);
        if (SQ_FAILED(sq_compilebuffer(v, code.c_str(), code.size(), "snippet", SQTrue)))
            return "compile error";
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQTrue, SQTrue)))
            return "call failed";
        sq_pushroottable(v);
        std::string out = SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)) ? Describe(-1) : "call failed";
        sq_settop(v, top);
        return out;
    }

    nLogCapture log;
    nSquirrelVM vm{0};
    HSQUIRRELVM v = 0;
};

struct Snippet
{
    const char* body;
    const char* expected;
};

TEST_F(ScriptMathTest, VectorMembers)
{
    const Snippet cases[] = {
        // Construction and copies.
        {"return Vector();", "(0,0,0,1)"},
        {"return Vector(1);", "(1,0,0,1)"},
        {"return Vector(1, 2);", "(1,2,0,1)"},
        {"return Vector(1, 2, 3);", "(1,2,3,1)"},
        {"return Vector(1, 2, 3, 4);", "(1,2,3,4)"},
        {"return Vector(1, 2, 3, 4, 5);", "error: Vector wrong parameters"},
        {"return Vector(Vector(1, 2, 3, 4));", "(1,2,3,4)"},
        {"return Vector(Matrix3());", "error: Vector() invalid instance type"},
        {"local a = Vector(1, 2, 3, 4); local c = clone a; a.x = 9; return c;", "(1,2,3,4)"},
        // An instance made without the constructor holds no value until the constructor runs.
        {"return Vector.instance().x;", "error: Internal failure"},
        {"return Vector.instance() + Vector();", "error: Internal failure"},
        {"return Vector() + Vector.instance();", "error: Vector + operator: Invalid argument type.\n"},
        {"local a = Vector.instance(); a.constructor(1, 2, 3); return a;", "(1,2,3,1)"},
        {"return typeof Vector();", "instance"},
        {"return Vector()._SCypeof();", "Vector"},
        // Keys.
        {"local a = Vector(); a.x = 5; a.yellow = 6; a.b = 7; a[3] = 8; return a;", "(5,6,7,8)"},
        {"local a = Vector(1, 2, 3, 4); return a.x + a.g * 10 + a[2] * 100 + a.a * 1000;", "4321"},
        {"local a = Vector(); return a.w = 2.5;", "2.5"},
        {"return Vector().xx;", "error: the index 'xx' does not exist"},
        {"return Vector().q;", "error: the index 'q' does not exist"},
        {"return Vector()[4];", "error: the index '4' does not exist"},
        {"local a = Vector(); a.q = 1; return a;", "error: the index 'q' does not exist"},
        // Operators.
        {"return Vector(1, 2, 3, 4) + 1;", "(2,3,4,1)"},
        {"return Vector(1, 2, 3) + 1.0;", "(2,3,4,1)"},
        {"return Vector(1, 2, 3) + Vector(1, 1, 1, 5);", "(2,3,4,1)"},
        {"return Vector(1, 2, 3) + Matrix3();", "error: Vector + operator: Invalid argument type.\n"},
        {"return Vector(1, 2, 3) - Vector(1, 1, 1);", "(0,1,2,1)"},
        {"return Vector(1, 2, 3) - Matrix4();", "error: Vector - operator: Invalid argument type.\n"},
        {"return Vector(1, 2, 3) * 2;", "(2,4,6,1)"},
        {"return Vector(1, 2, 3) * Vector(2, 3, 4);", "(2,6,12,1)"},
        {"return Vector(1, 0, 0) * Matrix3(Vector(0, 1, 0), Vector(-1, 0, 0), Vector(0, 0, 1));", "(0,1,0,1)"},
        {"local m = Matrix4(); m.m03 = 5; return Vector(1, 2, 3) * m;", "(6,2,3,1)"},
        {"return Vector(2, 4, 6) / 2;", "(1,2,3,1)"},
        {"return Vector(2, 4, 6) / 0;", "(0,0,0,1)"},
        {"return Vector(2, 4, 6) / Vector(2, 4, 6);", "(1,1,1,1)"},
        {"return Vector(2, 4, 6) / Matrix3();", "error: Vector / operator: Invalid argument type.\n"},
        {"return Vector(1, 2, 3) == Vector(1, 2, 3);", "false"},  // identity, not _cmp
        // _cmp answers a bool, which the ordering operators refuse.
        {"return Vector(1, 2, 3) <=> Vector(1, 2, 3.0000001);", "error: _cmp must return an integer"},
        // In-place changes.
        {"local a = Vector(9, 9, 9, 9); local r = a.Set(1, 2); return [r, a][1];", "(1,2,0,1)"},
        {"local a = Vector(9, 9, 9, 9); a.Set(); return a;", "(0,0,0,1)"},
        {"local a = Vector(); a.Set(1, 2, 3, 4); return a;", "(1,2,3,4)"},
        {"return Vector().Set(1, 2, 3, 4, 5);", "error: Vector Set() wrong parameters"},
        // Matrices.
        {"return Vector(1, 2, 3).ApplyMatrix(Matrix4());", "(1,2,3,1)"},
        {"local m = Matrix4(); m.m13 = 1; return Vector(1, 2, 3, 7).ApplyMatrix(m);", "(1,3,3,1)"},
        {"return Vector(1, 2, 3).ApplyMatrix(Vector());", "error: Vector::ApplyMatrix(): Invalid parameter"},
        {"local m = Matrix4(); m.m03 = 5; return Vector(1, 2, 3).ApplyRotationMatrix(m);", "(1,2,3,1)"},
        {"return Vector(1, 0, 0).ApplyRotationMatrix(Matrix3(0, 1, 0, -1, 0, 0, 0, 0, 1));", "(0,1,0,1)"},
        {"return Vector().ApplyRotationMatrix(Vector());", "error: Vector::ApplyRotationMatrix(): Invalid parameter"},
        // Scalars.
        {"return Vector(1, 2, 3, 4).AddReal(1);", "(2,3,4,1)"},
        {"return Vector(1, 2, 3).SubReal(1);", "(0,1,2,1)"},
        {"return Vector(1, 2, 3).MulReal(2);", "(2,4,6,1)"},
        {"return Vector(1, 2, 3).DivReal(2);", "(0.5,1,1.5,1)"},
        {"return Vector(1, 2, 3).Scale(3);", "(3,6,9,1)"},
        {"return Vector(-5, 0.5, 5).Clamp(0, 1);", "(0,0.5,1,1)"},
        {"return Vector(-5, 0.5, 5).Clamp(Vector(-1, -1, -1), 2);", "(-1,0.5,2,1)"},
        {"return Vector(3, 4, 0).ClampMagnitude(1);", "(0.6,0.8,0,1)"},
        {"return Vector(0.3, 0.4, 0, 7).ClampMagnitude(1);", "(0.3,0.4,0,1)"},
        {"return Vector(1, 2, 3).Reverse();", "(-1,-2,-3,1)"},
        {"return Vector(5, 5, 5).Min(1);", "(1,0,0,1)"},
        {"return Vector(5, 5, 5).Min(1, 1, 1);", "(1,1,1,1)"},
        {"return Vector(5, 5, 5).Min(1, 1);", "error: Vector Min(): Invalid parameter list.\n"},
        {"return Vector(5, 5, 5).Min(Vector(6, 4, 6));", "(5,4,5,1)"},
        {"return Vector(5, 5, 5).Max(9);", "(9,5,5,1)"},
        {"return Vector(5, 5, 5).Max(1, 9);", "error: Vector Max(): Invalid parameter list.\n"},
        // Products and lengths.
        {"return Vector(1, 2, 3).Dot(Vector(4, 5, 6));", "32"},
        {"return Vector(1, 0, 0).Cross(Vector(0, 1, 0));", "(0,0,1,1)"},
        {"return Vector(3, 4, 0, 9).Len();", "5"},
        {"return Vector(3, 4, 0).Len2();", "25"},
        {"return Vector(1, 0, 0).AngleWithVector(Vector(2, 0, 0));", "0"},
        {"return Vector(1, 0, 0).AngleWithVector(Vector(0, 1, 0));", "1.5708"},
        {"return Vector(3, 4, 0).Normalize();", "(0.6,0.8,0,1)"},
        {"return Vector(3, 4, 0).Normalize(10);", "(6,8,0,1)"},
        {"return Vector().Normalize();", "(0,0,0,1)"},
        {"return Vector().Dist(Vector(3, 4, 0));", "5"},
        {"return Vector().Dist2(Vector(3, 4, 0));", "25"},
        {"return Vector(4, 0, 0).Lerp(0.25, Vector(0, 4, 0));", "(1,3,0,1)"},
        {"return Vector(4, 0, 0).Lerp(1, Vector(0, 4, 0));", "(4,0,0,1)"},
        {"return Vector.Randomize(5, 5);", "(5,5,5,1)"},
        {"local r = Vector.Randomize(2); return r.x >= 0 && r.x <= 2 && r.z >= 0 && r.z <= 2 && r.w == 1;", "true"},
        {"return Vector(1, 2, 3).IsEqual(Vector(1, 2, 3.00001));", "true"},
        {"return Vector(1, 2, 3).IsEqual(Vector(1, 2, 3.01), 0.001);", "false"},
        {"return Vector(1, 2, 3).IsEqual(Vector(1, 2, 3.01), 0.1);", "true"},
        {"return Vector().IsEqual(Vector(), 1, 2);", "error: Vector::IsEqual() wrong parameter count"},
        // Masks and 'this'.
        {"return Vector(1, 2, 3).Dot(5);", "error: parameter 1 has an invalid type 'integer' ; expected: 'instance'"},
        {"return Vector().Len(1);", "error: wrong number of parameters"},
        {"return Vector().Lerp(Vector(), 1);", "error: parameter 1 has an invalid type 'instance' ; expected: 'integer|float'"},
        {"return Vector.Len.call(Matrix3());", "error: Invalid instance type"},
    };
    for (const Snippet& c : cases)
        EXPECT_EQ(Eval(c.body), c.expected) << c.body;
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(ScriptMathTest, MatrixMembers)
{
    const Snippet cases[] = {
        // Matrix4.
        {"return Matrix4();", "[1 0 0 0|0 1 0 0|0 0 1 0|0 0 0 1]"},
        {"return Matrix4()._SCypeof();", "Matrix4"},
        {"return Matrix4().GetRow(3);", "(0,0,0,1)"},
        {"local m = Matrix4(); m.m03 = 7; return m.GetRow(3);", "(7,0,0,1)"},
        {"local m = Matrix4(); m.m03 = 7; m.m30 = 3; return m.GetColumn(0);", "(1,0,0,1)"},
        {"local m = Matrix4(); m.SetRow(1, Vector(5, 6, 7, 9)); return m;", "[1 5 0 0|0 6 0 0|0 7 1 0|0 1 0 1]"},
        {"local m = Matrix4(); m.SetColumn(2, Vector(5, 6, 7, 9)); return m;", "[1 0 0 0|0 1 0 0|5 6 7 1|0 0 0 1]"},
        {"return Matrix4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);", "[1 5 9 13|2 6 10 14|3 7 11 15|4 8 12 16]"},
        {"return Matrix4(Vector(1, 2, 3, 4), Vector(), Vector(), Vector(0, 0, 0, 5));", "[1 0 0 0|2 0 0 0|3 0 0 0|4 1 1 5]"},
        {"return Matrix4(1, 2);", "error: Matrix4() wrong parameter count"},
        {"return Matrix4(1, 2, 3, 4);", "error: Invalid instance type"},
        {"return Matrix4(Vector(), Vector(), Vector(), Matrix3());", "error: Invalid instance type"},
        {"return Matrix4().m33;", "1"},
        {"local m = Matrix4(); return m.m21 = 4;", "4"},
        {"return Matrix4().m44;", "error: the index 'm44' does not exist"},
        {"return Matrix4().m0;", "error: the index 'm0' does not exist"},
        {"return Matrix4().m001;", "error: the index 'm001' does not exist"},
        {"local a = Matrix4(); a.m03 = 1; local b = Matrix4(); b.m03 = 2; b.m00 = 2; return a * b;", "[2 0 0 3|0 1 0 0|0 0 1 0|0 0 0 1]"},
        {"return Matrix4() * Matrix3();", "error: Invalid instance type"},
        {"local m = Matrix4(); m.m12 = 5; m.m03 = 1; return m.AsMatrix3();", "[1 0 0|0 1 5|0 0 1]"},
        {"local m = Matrix4(); m.m03 = 9; local r = Matrix3(); r.m01 = 4; m.RotationFromMatrix3(r); return m;", "[1 4 0 9|0 1 0 0|0 0 1 0|0 0 0 1]"},
        {"return (clone Matrix4()).m00;", "error: Internal failure"},
        {"return Matrix3.instance().GetRow(0);", "error: Internal failure"},
        {"return Matrix3() * Matrix3.instance();", "error: Invalid instance type"},
        // Indices outside the matrix are errors, not memory beyond it.
        {"return Matrix4().GetRow(4);", "error: Matrix index out of range"},
        {"return Matrix4().GetColumn(-1);", "error: Matrix index out of range"},
        {"local m = Matrix4(); m.SetRow(100000, Vector()); return m;", "error: Matrix index out of range"},
        {"local m = Matrix4(); m.SetColumn(4, Vector()); return m;", "error: Matrix index out of range"},
        {"return Matrix3().GetRow(3);", "error: Matrix index out of range"},
        {"local m = Matrix3(); m.SetColumn(-2, Vector()); return m;", "error: Matrix index out of range"},
        {"return Matrix4().GetRow(1.5);", "error: parameter 1 has an invalid type 'float' ; expected: 'integer'"},
        // Matrix3.
        {"return Matrix3();", "[1 0 0|0 1 0|0 0 1]"},
        {"return Matrix3()._SCypeof();", "Matrix3"},
        {"return Matrix3(Vector(1, 2, 3), Vector(4, 5, 6, 9), Vector(7, 8, 9)).GetRow(1);", "(4,5,6,1)"},
        {"return Matrix3(Vector(1, 2, 3), Vector(4, 5, 6, 9), Vector(7, 8, 9)).GetColumn(1);", "(2,5,8,1)"},
        {"return Matrix3(1, 2, 3, 4, 5, 6, 7, 8, 9);", "[1 4 7|2 5 8|3 6 9]"},
        {"local m = Matrix3(); m.SetRow(0, Vector(5, 6, 7)); return m;", "[5 0 0|6 1 0|7 0 1]"},
        {"local m = Matrix3(); m.SetColumn(0, Vector(5, 6, 7)); return m;", "[5 6 7|0 1 0|0 0 1]"},
        {"return Matrix3(1, 2, 3);", "error: Invalid instance type"},
        {"return Matrix3(1, 2);", "error: Matrix3() wrong parameter count"},
        {"return Matrix3().m33;", "error: the index 'm33' does not exist"},
        {"local m = Matrix3(); m.m01 = 3; return m.AsMatrix4();", "[1 3 0 0|0 1 0 0|0 0 1 0|0 0 0 1]"},
        {"return Matrix3(1, 2, 3, 4, 5, 6, 7, 8, 9) * Matrix3();", "[1 4 7|2 5 8|3 6 9]"},
        {"return Matrix3.FromOrthonormalBasis(Vector(0, 0, 1));", "[1 0 0|0 1 0|0 0 1]"},
        {"return Matrix3.FromOrthonormalBasis(Vector(0, 0, 1), Vector(0, 1, 0));", "[1 0 0|0 1 0|0 0 1]"},
        {"return Matrix3.FromOrthonormalBasis(Vector(0, 0, 1), Vector(), Vector());", "error: Matrix3::FromOrthonormalBasis() wrong parameter count"},
        {"return Matrix3().SlerpTo(0, Matrix3(0, 1, 0, -1, 0, 0, 0, 0, 1));", "[1 0 0|0 1 0|0 0 1]"},
        {"return Matrix3().SlerpTo(1, Matrix3(0, 1, 0, -1, 0, 0, 0, 0, 1)).m10;", "1"},
        {"return Matrix3().SlerpTo(0.5, Matrix3(0, 1, 0, -1, 0, 0, 0, 0, 1)).m10;", "0.707107"},
        {"return Matrix3().AsEuler();", "(0,0,0,1)"},
        {"return Matrix3(0, 1, 0, -1, 0, 0, 0, 0, 1).AsEuler(4);", "(0,0,1.5708,1)"},
    };
    for (const Snippet& c : cases)
        EXPECT_EQ(Eval(c.body), c.expected) << c.body;
    EXPECT_FALSE(vm.IsKilled());
}

TEST_F(ScriptMathTest, PrintLines)
{
    Eval("Vector(1, 2, 3).Print(\"p\"); Vector(-0.5, 0, 0).Print(); return 0;");
    Eval("local m = Matrix4(); m.m03 = 7; m.Print(\"M\"); return 0;");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "[S] Vector 'p' = {1.000,2.000,3.000}\n",
                               "[S] Vector 'Vector' = {-0.500,0.000,0.000}\n",
                               "Dumping matrix 'M':\n",
                               "[S] Vector 'Row' = {1.000,0.000,0.000}\n",
                               "[S] Vector 'Row' = {0.000,1.000,0.000}\n",
                               "[S] Vector 'Row' = {0.000,0.000,1.000}\n",
                               "[S] Vector 'Row' = {7.000,0.000,0.000}\n"}));
}

// Native code hands values over without running the script constructor and reads them back.
SQInteger Echo(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nVector a;
    if (!s.GetVector(1, a)) return SQ_ERROR;
    return s.Return(a * 2.0f);
}

TEST_F(ScriptMathTest, NativeValuesInAndOut)
{
    SQInteger top = sq_gettop(v);
    ASSERT_TRUE(ScriptPushVector(v, nVector(1, 2, 3, 4)));
    EXPECT_EQ(Describe(-1), "(1,2,3,4)");
    nMatrix4 m;
    m.m[3] = 8;
    ASSERT_TRUE(ScriptPushMatrix4(v, m));
    EXPECT_EQ(Describe(-1), "[1 0 0 8|0 1 0 0|0 0 1 0|0 0 0 1]");
    sq_settop(v, top);
    {
        SquirrelObject held(v);
        ScriptMakeMatrix3(held, v, nMatrix3());
        EXPECT_EQ(sq_gettop(v), top);
        sq_pushobject(v, held.GetObject());
        EXPECT_EQ(Describe(-1), "[1 0 0|0 1 0|0 0 1]");
        sq_settop(v, top);
    }

    sq_pushroottable(v);
    sq_pushstring(v, "Echo", -1);
    sq_newclosure(v, Echo, 0);
    sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, ".x");
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    EXPECT_EQ(Eval("return Echo(Vector(1, 2, 3, 9));"), "(2,4,6,1)");
    EXPECT_EQ(Eval("return Echo(Matrix3());"), "error: Invalid instance type");
}

// The one scene function that builds its Vector through the script constructor.
TEST_F(ScriptMathTest, InstantiatedVectorAndReadBack)
{
    SQInteger top = sq_gettop(v);
    ASSERT_TRUE(ScriptInstantiateVector(v, nVector(1, 2, 3, 4)));
    EXPECT_EQ(sq_gettop(v), top + 1);
    EXPECT_EQ(Describe(-1), "(1,2,3,4)");
    nVector out(9, 9, 9, 9);
    ScriptGetVector(v, -1, out);
    EXPECT_EQ(Number(out.x) + Number(out.w), "14");
    sq_settop(v, top);
    sq_pushinteger(v, 3);  // not a Vector: out stays as it was
    ScriptGetVector(v, -1, out);
    EXPECT_EQ(Number(out.x) + Number(out.w), "14");
    EXPECT_EQ(sq_gettop(v), top + 1);
    sq_settop(v, top);
}

}  // namespace
