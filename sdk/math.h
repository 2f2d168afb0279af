// Host math types with the host's conventions.
//
// Points are row vectors and transform as p' = p * M. A Matrix3 holds four rows of three
// floats: rows 0-2 are the linear part (the images of the X, Y and Z axes), row 3 is the
// translation. A product A * B applies A first. Angles are radians unless a name says otherwise.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

struct Point2 {
    float x = 0, y = 0;
    constexpr Point2() = default;
    constexpr Point2(float xx, float yy) : x(xx), y(yy) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    friend constexpr bool operator==(const Point2&, const Point2&) = default;
};

struct Point3 {
    float x = 0, y = 0, z = 0;
    constexpr Point3() = default;
    constexpr Point3(float xx, float yy, float zz) : x(xx), y(yy), z(zz) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }

    Point3 operator+(const Point3& b) const { return {x + b.x, y + b.y, z + b.z}; }
    Point3 operator-(const Point3& b) const { return {x - b.x, y - b.y, z - b.z}; }
    Point3 operator-() const { return {-x, -y, -z}; }
    Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
    Point3 operator/(float s) const { return {x / s, y / s, z / s}; }
    Point3& operator+=(const Point3& b) { x += b.x; y += b.y; z += b.z; return *this; }
    Point3& operator-=(const Point3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
    Point3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    // Dot product (host spelling).
    float operator%(const Point3& b) const { return x * b.x + y * b.y + z * b.z; }
    // Cross product (host spelling).
    Point3 operator^(const Point3& b) const {
        return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x};
    }
    friend constexpr bool operator==(const Point3&, const Point3&) = default;

    float Length() const { return std::sqrt(x * x + y * y + z * z); }
    float LengthSquared() const { return x * x + y * y + z * z; }
    // True when every component differs from p's by at most epsilon.
    bool Equals(const Point3& p, float epsilon = 1e-6f) const;
};

inline Point3 operator*(float s, const Point3& p) { return p * s; }
inline float DotProd(const Point3& a, const Point3& b) { return a % b; }
inline Point3 CrossProd(const Point3& a, const Point3& b) { return a ^ b; }
// The unit vector along p; the zero vector stays zero.
Point3 Normalize(const Point3& p);

struct Point4 {
    float x = 0, y = 0, z = 0, w = 0;
    constexpr Point4() = default;
    constexpr Point4(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    friend constexpr bool operator==(const Point4&, const Point4&) = default;
};

// Colour with components from 0 to 1.
struct Color {
    float r = 0, g = 0, b = 0;
    constexpr Color() = default;
    constexpr Color(float rr, float gg, float bb) : r(rr), g(gg), b(bb) {}
    friend constexpr bool operator==(const Color&, const Color&) = default;
};

// Colour with alpha, components from 0 to 1.
struct AColor {
    float r = 0, g = 0, b = 0, a = 1;
    constexpr AColor() = default;
    constexpr AColor(float rr, float gg, float bb, float aa = 1) : r(rr), g(gg), b(bb), a(aa) {}
    friend constexpr bool operator==(const AColor&, const AColor&) = default;
};

class Matrix3;

// Host quaternion: x, y, z, w. The quaternion of a rotation by angle a about the unit axis n
// (right-hand rule, the turn RotateXMatrix(a) makes for n = X) is (-n * sin(a/2), cos(a/2)):
// the conjugate of the quaternion D3DX computes for the same row-vector matrix
// (D3DXQuaternionRotationMatrix). MakeMatrix is the inverse of that construction:
// Quat(M).MakeMatrix(R) gives R == M. X-file rotation keys are written in this form.
struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
    constexpr Quat() = default;
    constexpr Quat(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}
    // The rotation part of mat, which must be a pure rotation (orthonormal, determinant +1).
    // The result is normalised; its sign follows D3DX's branch choice (w >= 0 whenever the
    // trace is positive).
    explicit Quat(const Matrix3& mat);

    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    // Four-component dot product.
    float operator%(const Quat& q) const { return x * q.x + y * q.y + z * q.z + w * q.w; }
    Quat& operator*=(float s) { x *= s; y *= s; z *= s; w *= s; return *this; }
    Quat operator-() const { return {-x, -y, -z, -w}; }
    // Composition: (a * b) applies a, then b, like matrix products:
    // (a * b).MakeMatrix == a.MakeMatrix * b.MakeMatrix. Numerically the Hamilton product a b.
    Quat operator*(const Quat& q) const;
    friend constexpr bool operator==(const Quat&, const Quat&) = default;

    Quat Conjugate() const { return {-x, -y, -z, w}; }
    // The unit quaternion along this one; the zero quaternion gives the identity.
    Quat Normalized() const;
    // True when every component differs by at most epsilon (q and -q are not equal here).
    bool Equals(const Quat& q, float epsilon = 1e-6f) const;
    bool IsIdentity() const { return x == 0 && y == 0 && z == 0 && w == 1; }
    // Writes the rotation matrix of this quaternion into mat (translation row zero). A
    // quaternion that is not of unit length gives the rotation of its normalised form; the
    // zero quaternion gives the identity.
    void MakeMatrix(Matrix3& mat) const;
};

// Quaternion of a rotation by angle (radians) about a unit axis, in the host convention.
Quat QuatFromAxisAngle(const Point3& axis, float angle);
// Spherical interpolation along the shorter arc.
Quat Slerp(const Quat& a, const Quat& b, float t);

// Flag bits of Matrix3 (the host's flag word): which parts are known to be identity.
// kMatrixPosIdent: the translation row is zero; kMatrixRotIdent: the linear part has no
// rotation (it is diagonal); kMatrixScaleIdent: the linear part has no scale (orthonormal).
// The flags are hints kept conservative: a set bit is always true, a clear bit says nothing.
// Writing through operator[] bypasses them; use SetRow/SetTrans, or ClearFlags afterwards.
inline constexpr uint32_t kMatrixPosIdent = 1;
inline constexpr uint32_t kMatrixRotIdent = 2;
inline constexpr uint32_t kMatrixScaleIdent = 4;
inline constexpr uint32_t kMatrixIdentFlags = kMatrixPosIdent | kMatrixRotIdent | kMatrixScaleIdent;

class Matrix3 {
public:
    // The identity.
    Matrix3();
    // Identity when init is true; all zero (flags 0) otherwise.
    explicit Matrix3(bool init);
    Matrix3(const Point3& row0, const Point3& row1, const Point3& row2, const Point3& row3);

    Point3& operator[](int i) { return m[i]; }
    const Point3& operator[](int i) const { return m[i]; }
    Point3 GetRow(int i) const { return m[i]; }
    void SetRow(int i, const Point3& p) {
        m[i] = p;
        flags &= i == 3 ? ~kMatrixPosIdent : ~(kMatrixRotIdent | kMatrixScaleIdent);
    }
    Point3 GetTrans() const { return m[3]; }
    void SetTrans(const Point3& p) { m[3] = p; flags &= ~kMatrixPosIdent; }
    void NoTrans() { m[3] = {}; flags |= kMatrixPosIdent; }
    void IdentityMatrix();
    void Zero();

    uint32_t GetFlags() const { return flags; }
    void SetFlags(uint32_t f) { flags = f; }
    void ClearFlags() { flags = 0; }
    // True when the twelve values are exactly those of the identity (the flags are not read).
    bool IsIdentity() const;

    // Row vector times matrix: the point transformed (translation applied).
    Point3 PointTransform(const Point3& p) const;
    // Direction transformed by the linear part only.
    Point3 VectorTransform(const Point3& p) const;

    Matrix3 operator*(const Matrix3& b) const;
    Matrix3& operator*=(const Matrix3& b) { return *this = *this * b; }
    // Compares the twelve values; the flag word is a cache and is not compared.
    bool operator==(const Matrix3& b) const;
    // True when every one of the twelve components differs by at most epsilon.
    bool Equals(const Matrix3& b, float epsilon = 1e-6f) const;

    // Determinant of the linear part.
    float Determinant() const;
    // In-place composition helpers: *this = *this * XMatrix(...), so the new transform applies
    // after the existing one (Scale therefore scales the translation row too).
    void Scale(const Point3& s);
    void Translate(const Point3& p);
    void RotateX(float angle);
    void RotateY(float angle);
    void RotateZ(float angle);

private:
    Point3 m[4];
    uint32_t flags = kMatrixIdentFlags;
};

// The small, hot members are defined here so that every caller can have them inlined.

inline Matrix3::Matrix3() { IdentityMatrix(); }

inline Matrix3::Matrix3(bool init) {
    if (init)
        IdentityMatrix();
    else
        Zero();
}

inline Matrix3::Matrix3(const Point3& row0, const Point3& row1, const Point3& row2, const Point3& row3)
    : m{row0, row1, row2, row3}, flags(0) {}

inline void Matrix3::IdentityMatrix() {
    m[0] = {1, 0, 0};
    m[1] = {0, 1, 0};
    m[2] = {0, 0, 1};
    m[3] = {0, 0, 0};
    flags = kMatrixIdentFlags;
}

inline void Matrix3::Zero() {
    for (auto& row : m) row = {};
    flags = 0;
}

inline Point3 Matrix3::PointTransform(const Point3& p) const {
    return {p.x * m[0].x + p.y * m[1].x + p.z * m[2].x + m[3].x,
            p.x * m[0].y + p.y * m[1].y + p.z * m[2].y + m[3].y,
            p.x * m[0].z + p.y * m[1].z + p.z * m[2].z + m[3].z};
}

inline Point3 Matrix3::VectorTransform(const Point3& p) const {
    return {p.x * m[0].x + p.y * m[1].x + p.z * m[2].x, p.x * m[0].y + p.y * m[1].y + p.z * m[2].y,
            p.x * m[0].z + p.y * m[1].z + p.z * m[2].z};
}

inline Matrix3 Matrix3::operator*(const Matrix3& b) const {
    Matrix3 r(b.VectorTransform(m[0]), b.VectorTransform(m[1]), b.VectorTransform(m[2]),
              b.PointTransform(m[3]));
    // Products of diagonal, orthonormal or translation-free matrices keep that property.
    r.flags = flags & b.flags;
    return r;
}

inline Point3 operator*(const Point3& p, const Matrix3& mat) { return mat.PointTransform(p); }
inline Point3 VectorTransform(const Matrix3& mat, const Point3& p) { return mat.VectorTransform(p); }

// The inverse of an affine matrix, computed in double precision. A singular linear part (or
// one whose inverse would overflow a float) gives the zero linear part with the translation
// negated, never a NaN or an infinity.
Matrix3 Inverse(const Matrix3& m);
Matrix3 TransMatrix(const Point3& p);
Matrix3 ScaleMatrix(const Point3& s);
// Right-hand-rule rotations. About Z the rows are (cos, sin, 0), (-sin, cos, 0), (0, 0, 1), so
// the X axis turns towards Y; about X: (1, 0, 0), (0, cos, sin), (0, -sin, cos); about Y:
// (cos, 0, -sin), (0, 1, 0), (sin, 0, cos).
Matrix3 RotateXMatrix(float angle);
Matrix3 RotateYMatrix(float angle);
Matrix3 RotateZMatrix(float angle);

// Three rows of two floats; (u, v) maps to (u*m[0][0] + v*m[1][0] + m[2][0],
// u*m[0][1] + v*m[1][1] + m[2][1]).
struct Matrix2 {
    float m[3][2] = {{1, 0}, {0, 1}, {0, 0}};
    void IdentityMatrix() { *this = Matrix2{}; }
    bool IsIdentity() const;
    Point2 Transform(const Point2& p) const;
    Matrix2 operator*(const Matrix2& b) const;
    friend bool operator==(const Matrix2& a, const Matrix2& b);
};

// Polar decomposition of an affine matrix M = U^-1 * K * U * Q * F * T, where
// T is the translation t, Q the rotation q, U the stretch rotation u, K the stretch
// factors k and F the sign f (+1, or -1 when M mirrors), with U = u.MakeMatrix,
// Q = q.MakeMatrix, K = ScaleMatrix(k), F = ScaleMatrix(f, f, f), T = TransMatrix(t).
// k >= 0; u is the representative closest to the identity among those that give the same
// stretch (axes permuted and signed), with u.w >= 0. A singular linear part (a zero-scale
// axis) still gives finite parts with f = +1.
struct AffineParts {
    Point3 t;       // translation
    Quat q;         // essential rotation
    Quat u;         // stretch rotation
    Point3 k;       // stretch factors
    float f = 1;    // sign of the determinant: +1 or -1
};
void decomp_affine(const Matrix3& m, AffineParts* parts);
// decomp_affine's f for m, without the whole decomposition when m's linear part has a clearly
// positive determinant (the common case: no mirror).
float AffineMirrorSign(const Matrix3& m);

// Splits m into position, rotation and scale such that
// ScaleMatrix(scale) * rotation.MakeMatrix * TransMatrix(position) recomposes m when m has
// no shear; a mirrored matrix gives a negative scale.
void DecomposeMatrix(const Matrix3& m, Point3& position, Quat& rotation, Point3& scale);

// DecomposeMatrix of each matrix, bit for bit the same, faster: two at a time where the
// processor computes with pairs of doubles. Fills min(m.size(), out.size()) results.
struct DecomposedMatrix {
    Point3 position;
    Quat rotation;
    Point3 scale;
};
void DecomposeMatrices(std::span<const Matrix3> m, std::span<DecomposedMatrix> out);
