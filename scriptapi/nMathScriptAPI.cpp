// The Matrix and Euler functions: rotation matrices to Euler angles, look-at bases of a
// direction, and the composed transformation matrix. Angles are radians.

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nMathScriptAPI.h"
#include "scriptapi/nScriptAPI.h"

namespace {

// (Matrix3, order) -> Euler angles; an order outside 0..6 reads as YXZ, as Matrix3.AsEuler.
SQInteger MatrixToEuler(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMatrix3 m;
    SQInteger order;
    if (!s.Args(m, order)) return SQ_ERROR;
    if (order < RotationOrderZYX || order > RotationOrderXY) order = RotationOrderYXZ;
    return s.Return(m.ToEuler((nRotationOrder)order));
}

SQInteger EulerFromDirection(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nVector direction;
    if (!s.Args(direction)) return SQ_ERROR;
    return s.Return(nMatrix3::LookAt(direction, 0).ToEuler(RotationOrderYXZ));
}

SQInteger RotationMatrixFromDirection(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nVector direction;
    if (!s.Args(direction)) return SQ_ERROR;
    return s.Return(nMatrix3::LookAt(direction, 0));
}

SQInteger TransformationMatrix(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nVector position, angles, scale, pivot;
    if (!s.Args(position, angles, scale, pivot)) return SQ_ERROR;
    return s.Return(nMatrix4::ComposeEuler(position, angles, scale, pivot));
}

}  // namespace

const ScriptFunctionDecl g_MathScriptFunctions[] = {
    {"MatrixToEuler", MatrixToEuler, ".xi"},
    {"EulerFromDirection", EulerFromDirection, ".x"},
    {"RotationMatrixFromDirection", RotationMatrixFromDirection, ".x"},
    {"TransformationMatrix", TransformationMatrix, ".xxxx"},
    {0, 0, 0}};

void RegisterMathScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_MathScriptFunctions);
}
