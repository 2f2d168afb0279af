#include "host/import/gltf_transform.h"

GltfMatrix operator*(const GltfMatrix& a, const GltfMatrix& b) {
    GltfMatrix r;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            r.m[row][column] = a.m[row][0] * b.m[0][column] + a.m[row][1] * b.m[1][column] +
                               a.m[row][2] * b.m[2][column] + a.m[row][3] * b.m[3][column];
    return r;
}

float GltfMatrix::Determinant() const {
    // Rows a to d, columns 1 to 4; the terms in this order.
    const float a1 = m[0][0], a2 = m[0][1], a3 = m[0][2], a4 = m[0][3];
    const float b1 = m[1][0], b2 = m[1][1], b3 = m[1][2], b4 = m[1][3];
    const float c1 = m[2][0], c2 = m[2][1], c3 = m[2][2], c4 = m[2][3];
    const float d1 = m[3][0], d2 = m[3][1], d3 = m[3][2], d4 = m[3][3];
    return a1 * b2 * c3 * d4 - a1 * b2 * c4 * d3 + a1 * b3 * c4 * d2 - a1 * b3 * c2 * d4 + a1 * b4 * c2 * d3 -
           a1 * b4 * c3 * d2 - a2 * b3 * c4 * d1 + a2 * b3 * c1 * d4 - a2 * b4 * c1 * d3 + a2 * b4 * c3 * d1 -
           a2 * b1 * c3 * d4 + a2 * b1 * c4 * d3 + a3 * b4 * c1 * d2 - a3 * b4 * c2 * d1 + a3 * b1 * c2 * d4 -
           a3 * b1 * c4 * d2 + a3 * b2 * c4 * d1 - a3 * b2 * c1 * d4 - a4 * b1 * c2 * d3 + a4 * b1 * c3 * d2 -
           a4 * b2 * c3 * d1 + a4 * b2 * c1 * d3 - a4 * b3 * c1 * d2 + a4 * b3 * c2 * d1;
}

void GltfMatrix::Decompose(GltfVector& scaling, GltfQuaternion& rotation, GltfVector& position) const {
    position = {m[0][3], m[1][3], m[2][3]};
    GltfVector columns[3];
    for (int c = 0; c < 3; ++c) columns[c] = {m[0][c], m[1][c], m[2][c]};
    const auto length = [](const GltfVector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); };
    scaling = {length(columns[0]), length(columns[1]), length(columns[2])};
    if (Determinant() < 0) scaling = {-scaling.x, -scaling.y, -scaling.z};
    const float factors[3] = {scaling.x, scaling.y, scaling.z};
    for (int c = 0; c < 3; ++c) {
        if (factors[c] == 0) continue;
        const float inverse = 1.0f / factors[c];
        columns[c].x *= inverse;
        columns[c].y *= inverse;
        columns[c].z *= inverse;
    }
    // The rotation matrix r[row][column] is columns[column] read by row.
    const float r00 = columns[0].x, r01 = columns[1].x, r02 = columns[2].x;
    const float r10 = columns[0].y, r11 = columns[1].y, r12 = columns[2].y;
    const float r20 = columns[0].z, r21 = columns[1].z, r22 = columns[2].z;
    const float trace = r00 + r11 + r22;
    if (trace > 0) {
        const float s = std::sqrt(1 + trace) * 2.0f;
        rotation = {0.25f * s, (r21 - r12) / s, (r02 - r20) / s, (r10 - r01) / s};
    } else if (r00 > r11 && r00 > r22) {
        const float s = std::sqrt(1.0f + r00 - r11 - r22) * 2.0f;
        rotation = {(r21 - r12) / s, 0.25f * s, (r10 + r01) / s, (r02 + r20) / s};
    } else if (r11 > r22) {
        const float s = std::sqrt(1.0f + r11 - r00 - r22) * 2.0f;
        rotation = {(r02 - r20) / s, (r10 + r01) / s, 0.25f * s, (r21 + r12) / s};
    } else {
        const float s = std::sqrt(1.0f + r22 - r00 - r11) * 2.0f;
        rotation = {(r10 - r01) / s, (r02 + r20) / s, (r21 + r12) / s, 0.25f * s};
    }
}
