// The Matrix and Euler functions: Euler round trips through scripts for every rotation order,
// the look-at basis of a direction and its angles, and the composed transformation matrix.

#include <gtest/gtest.h>

#include <string>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nMathExpect.h"

namespace {

class MathAPI : public nScriptAPITest
{
};

// Angles with the middle one inside (-pi/2, pi/2) come back from MatrixToEuler for each
// order; for the two-axis order XY z is dropped.
TEST_F(MathAPI, EulerRoundTripsForEveryOrder)
{
    const nVector angleSets[] = {nVector(0.3f, -0.4f, 0.5f), nVector(-1.2f, 0.1f, 2.9f), nVector(0, 0, 0),
                                 nVector(2.5f, 1.4f, -3.0f)};
    for (int32_t order = RotationOrderZYX; order <= RotationOrderXY; ++order) {
        for (const nVector& angles : angleSets) {
            const nMatrix3 m = nMatrix3::FromEuler(angles.x, angles.y, angles.z, (nRotationOrder)order);
            Hold("m", m);
            const nVector back = Vec("MatrixToEuler(m, " + std::to_string(order) + ")");
            const nMatrix3 again = nMatrix3::FromEuler(back.x, back.y, back.z, (nRotationOrder)order);
            EXPECT_TRUE(MatrixNear(again, m, 1e-5f)) << "order " << order << " angles " << angles.x << " " << angles.y << " " << angles.z;
            if (order != RotationOrderXY && angles.x > -1.5f && angles.x < 1.5f && angles.y > -1.5f && angles.y < 1.5f &&
                angles.z > -1.5f && angles.z < 1.5f) {
                EXPECT_TRUE(VectorNear(back, angles, 1e-5f)) << "order " << order;
            }
        }
    }
    // Order 4 is the Matrix3 method's default; orders outside 0..6 read as 4.
    Hold("m", nMatrix3::FromEuler(0.2f, 0.3f, 0.4f, RotationOrderYXZ));
    EXPECT_EQ(Eval("MatrixToEuler(m, 4)"), Eval("m.AsEuler()"));
    EXPECT_EQ(Eval("MatrixToEuler(m, -1)"), Eval("m.AsEuler()"));
    EXPECT_EQ(Eval("MatrixToEuler(m, 2147483647)"), Eval("m.AsEuler()"));
}

TEST_F(MathAPI, DirectionsGiveTheLookAtBasis)
{
    EXPECT_TRUE(VectorNear(Vec("EulerFromDirection(Vector(0, 0, 1))"), nVector(0, 0, 0), 1e-6f));
    const nMatrix3 up = Mat3("RotationMatrixFromDirection(Vector(0, 1, 0))");
    EXPECT_TRUE(VectorNear(up.GetColumn(0), nVector(-1, 0, 0), 1e-6f));
    EXPECT_TRUE(VectorNear(up.GetColumn(2), nVector(0, 1, 0), 1e-6f));
    EXPECT_TRUE(MatrixNear(Mat3("RotationMatrixFromDirection(Vector(0, 0, 0))"), nMatrix3(), 0.0f));

    // The angles of a direction rebuild the basis that points along it.
    const nVector angles = Vec("EulerFromDirection(Vector(3, -2, 5))");
    const nMatrix3 basis = nMatrix3::FromEuler(angles.x, angles.y, angles.z, RotationOrderYXZ);
    EXPECT_TRUE(VectorNear(basis.GetColumn(2), nVector(3, -2, 5).Normalize(), 1e-5f));
}

TEST_F(MathAPI, TransformationMatrixComposes)
{
    const nMatrix4 pure = Mat4("TransformationMatrix(Vector(1, 2, 3), Vector(0, 0, 0), Vector(1, 1, 1), Vector(0, 0, 0))");
    EXPECT_TRUE(MatrixNear(pure, nMatrix4::Translation(nVector(1, 2, 3)), 1e-6f));
    const nMatrix4 full = Mat4("TransformationMatrix(Vector(1, 2, 3), Vector(0.1, 0.2, 0.3), Vector(2, 1, 3), Vector(0.5, 0, 1))");
    EXPECT_TRUE(MatrixNear(full, nMatrix4::ComposeEuler(nVector(1, 2, 3), nVector(0.1f, 0.2f, 0.3f), nVector(2, 1, 3), nVector(0.5f, 0, 1)), 1e-6f));
    const Expected cases[] = {
        {"TransformationMatrix(1, Vector(0, 0, 0), Vector(1, 1, 1), Vector(0, 0, 0))",
         "error: parameter 1 has an invalid type 'integer' ; expected: 'instance'"},
        {"TransformationMatrix(Matrix3(), Vector(0, 0, 0), Vector(1, 1, 1), Vector(0, 0, 0))", "error: Invalid instance type"},
        {"MatrixToEuler(Vector(0, 0, 0), 1)", "error: Invalid instance type"},
        {"EulerFromDirection(Matrix3())", "error: Invalid instance type"},
    };
    ExpectEvals(cases);
}

}  // namespace
