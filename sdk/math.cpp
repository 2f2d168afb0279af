// Host math: points, quaternions and 4x3 matrices (the affine decomposition is in
// decompose.cpp).
//
// Matrices are row-vector matrices (p' = p * M). Quaternions use the host convention described
// in math.h: the conjugate of the quaternion D3DX computes for the same matrix. Work that loses
// precision easily (inversion, decomposition) is done in double and rounded once at the end.
#include "sdk/math.h"

#include <algorithm>
#include <cfloat>

#include "sdk/mat3d.h"

namespace math_detail {

// The host quaternion of the rotation matrix r: the quaternion D3DX computes for r, conjugated.
// The branches follow the standard choice of the largest of w, x, y, z for stability.
Quat QuatOfRotation(const Mat3d& r) {
    const auto& m = r.a;
    const double trace = m[0][0] + m[1][1] + m[2][2];
    double x, y, z, w;  // D3DX's quaternion
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        w = 0.25 * s;
        x = (m[1][2] - m[2][1]) / s;
        y = (m[2][0] - m[0][2]) / s;
        z = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const double s = 2 * std::sqrt(std::max(1 + m[0][0] - m[1][1] - m[2][2], 0.0));
        if (!(s > 0)) return {};
        x = 0.25 * s;
        y = (m[0][1] + m[1][0]) / s;
        z = (m[0][2] + m[2][0]) / s;
        w = (m[1][2] - m[2][1]) / s;
    } else if (m[1][1] >= m[2][2]) {
        const double s = 2 * std::sqrt(std::max(1 + m[1][1] - m[0][0] - m[2][2], 0.0));
        if (!(s > 0)) return {};
        x = (m[0][1] + m[1][0]) / s;
        y = 0.25 * s;
        z = (m[1][2] + m[2][1]) / s;
        w = (m[2][0] - m[0][2]) / s;
    } else {
        const double s = 2 * std::sqrt(std::max(1 + m[2][2] - m[0][0] - m[1][1], 0.0));
        if (!(s > 0)) return {};
        x = (m[0][2] + m[2][0]) / s;
        y = (m[1][2] + m[2][1]) / s;
        z = 0.25 * s;
        w = (m[0][1] - m[1][0]) / s;
    }
    const double n = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(n > 0) || !std::isfinite(n)) return {};
    return Quat(float(-x / n), float(-y / n), float(-z / n), float(w / n));
}

}  // namespace math_detail

using namespace math_detail;

// ---------------------------------------------------------------------------------------------
// Points

bool Point3::Equals(const Point3& p, float epsilon) const {
    return std::abs(x - p.x) <= epsilon && std::abs(y - p.y) <= epsilon && std::abs(z - p.z) <= epsilon;
}

Point3 Normalize(const Point3& p) {
    const float len = p.Length();
    if (!(len > 0)) return p;
    return p / len;
}

// ---------------------------------------------------------------------------------------------
// Quaternions

Quat::Quat(const Matrix3& mat) { *this = QuatOfRotation(LinearPart(mat)); }

Quat Quat::operator*(const Quat& q) const {
    return {w * q.x + x * q.w + y * q.z - z * q.y, w * q.y - x * q.z + y * q.w + z * q.x,
            w * q.z + x * q.y - y * q.x + z * q.w, w * q.w - x * q.x - y * q.y - z * q.z};
}

Quat Quat::Normalized() const {
    const float n = std::sqrt(*this % *this);
    if (!(n > 0) || !std::isfinite(n)) return {};
    return {x / n, y / n, z / n, w / n};
}

bool Quat::Equals(const Quat& q, float epsilon) const {
    return std::abs(x - q.x) <= epsilon && std::abs(y - q.y) <= epsilon &&
           std::abs(z - q.z) <= epsilon && std::abs(w - q.w) <= epsilon;
}

void Quat::MakeMatrix(Matrix3& mat) const {
    // The rotation matrix of the unit quaternion (x, y, z, w), in the form whose row-vector
    // action is the conjugate rotation; s = 2 / |q|^2 normalises on the way.
    const float n = *this % *this;
    if (!(n > 0) || !std::isfinite(n)) {
        mat.IdentityMatrix();
        return;
    }
    const float s = 2 / n;
    const float xs = x * s, ys = y * s, zs = z * s;
    const float wx = w * xs, wy = w * ys, wz = w * zs;
    const float xx = x * xs, xy = x * ys, xz = x * zs;
    const float yy = y * ys, yz = y * zs, zz = z * zs;
    mat = Matrix3(Point3(1 - (yy + zz), xy - wz, xz + wy), Point3(xy + wz, 1 - (xx + zz), yz - wx),
                  Point3(xz - wy, yz + wx, 1 - (xx + yy)), Point3());
    mat.SetFlags(kMatrixPosIdent | kMatrixScaleIdent);
}

Quat QuatFromAxisAngle(const Point3& axis, float angle) {
    const Point3 n = Normalize(axis);
    if (n.LengthSquared() == 0) return {};
    const double half = double(angle) * 0.5, s = std::sin(half);
    return {float(-n.x * s), float(-n.y * s), float(-n.z * s), float(std::cos(half))};
}

Quat Slerp(const Quat& a, const Quat& b, float t) {
    // In double, rounded once: float sin and acos differ in their last bit between C libraries,
    // and the keys an export samples must be the same numbers on every system.
    double cosom = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
    double sign = 1;
    if (cosom < 0) {  // the shorter arc
        cosom = -cosom;
        sign = -1;
    }
    double s0 = 1 - double(t), s1 = t;
    if (1 - cosom > 1e-6) {
        const double omega = std::acos(std::min(cosom, 1.0));
        const double sinom = std::sin(omega);
        s0 = std::sin(s0 * omega) / sinom;
        s1 = sign * std::sin(s1 * omega) / sinom;
        return {float(s0 * a.x + s1 * b.x), float(s0 * a.y + s1 * b.y), float(s0 * a.z + s1 * b.z),
                float(s0 * a.w + s1 * b.w)};
    }
    // Nearly equal: linear interpolation, renormalised.
    s1 *= sign;
    const double x = s0 * a.x + s1 * b.x, y = s0 * a.y + s1 * b.y, z = s0 * a.z + s1 * b.z, w = s0 * a.w + s1 * b.w;
    const double n = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(n > 0) || !std::isfinite(n)) return {};
    return {float(x / n), float(y / n), float(z / n), float(w / n)};
}

// ---------------------------------------------------------------------------------------------
// Matrix3

bool Matrix3::IsIdentity() const {
    return m[0] == Point3(1, 0, 0) && m[1] == Point3(0, 1, 0) && m[2] == Point3(0, 0, 1) &&
           m[3] == Point3(0, 0, 0);
}

bool Matrix3::operator==(const Matrix3& b) const {
    return m[0] == b.m[0] && m[1] == b.m[1] && m[2] == b.m[2] && m[3] == b.m[3];
}

bool Matrix3::Equals(const Matrix3& b, float epsilon) const {
    for (int i = 0; i < 4; ++i)
        if (!m[i].Equals(b.m[i], epsilon)) return false;
    return true;
}

float Matrix3::Determinant() const { return m[0] % (m[1] ^ m[2]); }

void Matrix3::Scale(const Point3& s) { *this = *this * ScaleMatrix(s); }
void Matrix3::Translate(const Point3& p) { *this = *this * TransMatrix(p); }
void Matrix3::RotateX(float angle) { *this = *this * RotateXMatrix(angle); }
void Matrix3::RotateY(float angle) { *this = *this * RotateYMatrix(angle); }
void Matrix3::RotateZ(float angle) { *this = *this * RotateZMatrix(angle); }

Matrix3 Inverse(const Matrix3& m) {
    const Mat3d l = LinearPart(m);
    const double det = Det(l);
    const Mat3d cof = Cofactor(l);
    Matrix3 r;
    bool ok = det != 0 && std::isfinite(det);
    for (int i = 0; i < 3 && ok; ++i) {
        for (int j = 0; j < 3 && ok; ++j) {
            const double v = cof.a[j][i] / det;  // inverse = cofactor^T / det
            ok = std::abs(v) <= FLT_MAX;         // also false for NaN
            r[i][j] = float(v);
        }
    }
    if (!ok) {
        // Singular: no inverse exists. Return something finite that still undoes the
        // translation of the origin.
        r = Matrix3(Point3(), Point3(), Point3(), -m[3]);
        r.SetFlags(m.GetFlags() & kMatrixPosIdent);
        return r;
    }
    const Point3 t = m[3];
    for (int j = 0; j < 3; ++j) {
        const double v = -(t.x * double(r[0][j]) + t.y * double(r[1][j]) + t.z * double(r[2][j]));
        r[3][j] = std::abs(v) <= FLT_MAX ? float(v) : 0.0f;
    }
    // The inverse of a diagonal, orthonormal or translation-free matrix is one too.
    r.SetFlags(m.GetFlags());
    return r;
}

Matrix3 TransMatrix(const Point3& p) {
    Matrix3 r;
    r.SetTrans(p);
    return r;
}

Matrix3 ScaleMatrix(const Point3& s) {
    Matrix3 r(Point3(s.x, 0, 0), Point3(0, s.y, 0), Point3(0, 0, s.z), Point3());
    r.SetFlags(kMatrixPosIdent | kMatrixRotIdent);
    return r;
}

Matrix3 RotateXMatrix(float angle) {
    const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
    Matrix3 r(Point3(1, 0, 0), Point3(0, c, s), Point3(0, -s, c), Point3());
    r.SetFlags(kMatrixPosIdent | kMatrixScaleIdent);
    return r;
}

Matrix3 RotateYMatrix(float angle) {
    const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
    Matrix3 r(Point3(c, 0, -s), Point3(0, 1, 0), Point3(s, 0, c), Point3());
    r.SetFlags(kMatrixPosIdent | kMatrixScaleIdent);
    return r;
}

Matrix3 RotateZMatrix(float angle) {
    const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
    Matrix3 r(Point3(c, s, 0), Point3(-s, c, 0), Point3(0, 0, 1), Point3());
    r.SetFlags(kMatrixPosIdent | kMatrixScaleIdent);
    return r;
}

// ---------------------------------------------------------------------------------------------
// Matrix2

bool Matrix2::IsIdentity() const { return *this == Matrix2{}; }

Point2 Matrix2::Transform(const Point2& p) const {
    return {p.x * m[0][0] + p.y * m[1][0] + m[2][0], p.x * m[0][1] + p.y * m[1][1] + m[2][1]};
}

Matrix2 Matrix2::operator*(const Matrix2& b) const {
    Matrix2 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j)
            r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + (i == 2 ? b.m[2][j] : 0.0f);
    return r;
}

bool operator==(const Matrix2& a, const Matrix2& b) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j)
            if (a.m[i][j] != b.m[i][j]) return false;
    return true;
}
