#pragma once
// Tolerance comparisons of math values for GoogleTest, with readable failure messages:
//     EXPECT_TRUE(VectorNear(v, nVector(1, 2, 3), 1e-6f));       // x, y, z only
//     EXPECT_TRUE(Vector4Near(v, nVector(1, 2, 3, 0), 1e-6f));   // w too
//     EXPECT_TRUE(MatrixNear(a, b, 1e-5f));                      // nMatrix3 or nMatrix4

#include "core/nMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

inline ::testing::AssertionResult VectorNearImpl(const nVector& a, const nVector& b, float eps, bool withW)
{
    const float da[4] = {a.x, a.y, a.z, a.w}, db[4] = {b.x, b.y, b.z, b.w};
    for (int i = 0; i < (withW ? 4 : 3); ++i)
        if (!(std::fabs(da[i] - db[i]) <= eps)) {
            std::ostringstream s;
            s.precision(9);
            s << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x << ", " << b.y << ", "
              << b.z << ", " << b.w << "), component " << i << " beyond " << eps;
            return ::testing::AssertionFailure() << s.str();
        }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult VectorNear(const nVector& a, const nVector& b, float eps)
{
    return VectorNearImpl(a, b, eps, false);
}

inline ::testing::AssertionResult Vector4Near(const nVector& a, const nVector& b, float eps)
{
    return VectorNearImpl(a, b, eps, true);
}

template<int N>
inline ::testing::AssertionResult ElementsNear(const float* a, const float* b, float eps)
{
    for (int i = 0; i < N; ++i)
        if (!(std::fabs(a[i] - b[i]) <= eps)) {
            std::ostringstream s;
            s.precision(9);
            s << "element " << i << ": " << a[i] << " vs " << b[i] << " beyond " << eps << "\n  a =";
            for (int k = 0; k < N; ++k)
                s << " " << a[k];
            s << "\n  b =";
            for (int k = 0; k < N; ++k)
                s << " " << b[k];
            return ::testing::AssertionFailure() << s.str();
        }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult MatrixNear(const nMatrix3& a, const nMatrix3& b, float eps)
{
    return ElementsNear<9>(a.m, b.m, eps);
}

inline ::testing::AssertionResult MatrixNear(const nMatrix4& a, const nMatrix4& b, float eps)
{
    return ElementsNear<16>(a.m, b.m, eps);
}
