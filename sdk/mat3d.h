// The double-precision 3x3 matrix the host math works in where precision matters (inversion,
// rotations of matrices, the affine decomposition). Shared by sdk/math.cpp and
// sdk/decompose.cpp only; not part of the SDK surface.
#pragma once

#include <cmath>

#include "sdk/math.h"

namespace math_detail {

// A plain 3x3 double matrix for internal work. Element a[i][j] is row i, column j, laid out like
// the linear part of a Matrix3.

struct Mat3d {
    double a[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

inline Mat3d ZeroMat3d() {
    Mat3d r;
    for (auto& row : r.a) row[0] = row[1] = row[2] = 0;
    return r;
}

inline Mat3d LinearPart(const Matrix3& m) {
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.a[i][j] = m[i][j];
    return r;
}

inline Mat3d Mul(const Mat3d& x, const Mat3d& y) {
    Mat3d r = ZeroMat3d();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.a[i][j] += x.a[i][k] * y.a[k][j];
    return r;
}

inline Mat3d Transpose(const Mat3d& x) {
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.a[i][j] = x.a[j][i];
    return r;
}

inline double Det(const Mat3d& x) {
    const auto& a = x.a;
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// The cofactor matrix: x^-T = Cofactor(x) / Det(x).
inline Mat3d Cofactor(const Mat3d& x) {
    const auto& a = x.a;
    Mat3d c;
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            c.a[i][j] = a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1];
        }
    }
    return c;
}

inline double NormF(const Mat3d& x) {
    double s = 0;
    for (const auto& row : x.a) s += row[0] * row[0] + row[1] * row[1] + row[2] * row[2];
    return std::sqrt(s);
}

// The host quaternion of the rotation matrix r (see math.cpp).
Quat QuatOfRotation(const Mat3d& r);

}  // namespace math_detail
