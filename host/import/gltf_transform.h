// The native glTF reader's transform arithmetic: node matrices, inverse bind matrices, rotation
// keys and the parts of a node's rest transform, in float, as Assimp's import of the same file
// computes them.
//
// The reader gives the scene Assimp's import gives, bit for bit (the equivalence test in
// tests/host/import/gltf_import_test.cpp compares every transform, key and bind pose of the
// two). Float arithmetic is not associative, so each function here performs the same
// operations on the same values in the same order as Assimp's matrix and quaternion types:
// products summed left to right, division by a length done as a multiplication by its
// reciprocal. Keep each expression's order when changing one.
//
// Matrices act on column vectors, as glTF's do: m[row][column], the translation in the last
// column. HostMatrix turns one into the host's row-vector Matrix3.
#pragma once

#include <cmath>

#include "sdk/math.h"

struct GltfVector {
    float x = 0, y = 0, z = 0;
};

// A rotation as w + xi + yj + zk.
struct GltfQuaternion {
    float w = 1, x = 0, y = 0, z = 0;

    // Scaled to length 1 (a zero quaternion stays as it is).
    GltfQuaternion Normalized() const {
        GltfQuaternion q = *this;
        const float length = std::sqrt(x * x + y * y + z * z + w * w);
        if (length != 0) {
            const float inverse = 1.0f / length;
            q.x *= inverse;
            q.y *= inverse;
            q.z *= inverse;
            q.w *= inverse;
        }
        return q;
    }
};

struct GltfMatrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    // The 16 numbers of a glTF matrix, which lists it column by column.
    static GltfMatrix FromColumns(const float* v) {
        GltfMatrix r;
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) r.m[row][column] = v[column * 4 + row];
        return r;
    }
    static GltfMatrix Translation(const GltfVector& t) {
        GltfMatrix r;
        r.m[0][3] = t.x;
        r.m[1][3] = t.y;
        r.m[2][3] = t.z;
        return r;
    }
    static GltfMatrix Scaling(const GltfVector& s) {
        GltfMatrix r;
        r.m[0][0] = s.x;
        r.m[1][1] = s.y;
        r.m[2][2] = s.z;
        return r;
    }
    // The rotation q makes (q need not be normalized: its length squared scales the result's
    // departure from the identity).
    static GltfMatrix Rotation(const GltfQuaternion& q) {
        const float x = q.x, y = q.y, z = q.z, w = q.w;
        GltfMatrix r;
        r.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
        r.m[0][1] = 2.0f * (x * y - z * w);
        r.m[0][2] = 2.0f * (x * z + y * w);
        r.m[1][0] = 2.0f * (x * y + z * w);
        r.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
        r.m[1][2] = 2.0f * (y * z - x * w);
        r.m[2][0] = 2.0f * (x * z - y * w);
        r.m[2][1] = 2.0f * (y * z + x * w);
        r.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
        return r;
    }

    // Every element within 0.01 of the identity's, as Assimp tests whether a root node is unmoved
    // (a NaN is not).
    bool IsIdentity() const {
        constexpr float epsilon = 10e-3f;
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) {
                const float target = row == column ? 1.0f : 0.0f;
                if (!(m[row][column] <= target + epsilon && m[row][column] >= target - epsilon)) return false;
            }
        return true;
    }
    float Determinant() const;
    // Scaling (negative on all three axes when the matrix mirrors), rotation and translation
    // such that the matrix is Translation * Rotation * Scaling, for a matrix without shear.
    void Decompose(GltfVector& scaling, GltfQuaternion& rotation, GltfVector& position) const;
};

// a * b: b applied first.
GltfMatrix operator*(const GltfMatrix& a, const GltfMatrix& b);

// The same transform in the host's convention (row vectors).
inline Matrix3 HostMatrix(const GltfMatrix& t) {
    const auto& m = t.m;
    return Matrix3(Point3(m[0][0], m[1][0], m[2][0]), Point3(m[0][1], m[1][1], m[2][1]),
                   Point3(m[0][2], m[1][2], m[2][2]), Point3(m[0][3], m[1][3], m[2][3]));
}
