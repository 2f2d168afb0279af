#include "preview/pose.h"

#include <algorithm>
#include <cmath>

namespace preview {

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    Mat4 out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = s;
        }
    return out;
}

bool Invert(const Mat4& m, Mat4* out) {
    // Gauss-Jordan with partial pivoting, in double.
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c) a[r][c] = c < 4 ? m[r * 4 + c] : (c - 4 == r ? 1.0 : 0.0);
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (!(std::fabs(a[pivot][col]) > 1e-12)) return false;
        if (pivot != col)
            for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
        const double inv = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0) continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) (*out)[r * 4 + c] = static_cast<float>(a[r][c + 4]);
    return true;
}

Decomposed Decompose(const Mat4& m) {
    Decomposed d;
    d.translation = {m[12], m[13], m[14]};
    float rows[3][3];
    for (int r = 0; r < 3; ++r) {
        const float len = std::sqrt(m[r * 4] * m[r * 4] + m[r * 4 + 1] * m[r * 4 + 1] + m[r * 4 + 2] * m[r * 4 + 2]);
        d.scale[r] = len;
        for (int c = 0; c < 3; ++c) rows[r][c] = len > 0 ? m[r * 4 + c] / len : (r == c ? 1.0f : 0.0f);
    }
    const float det = rows[0][0] * (rows[1][1] * rows[2][2] - rows[1][2] * rows[2][1]) -
                      rows[0][1] * (rows[1][0] * rows[2][2] - rows[1][2] * rows[2][0]) +
                      rows[0][2] * (rows[1][0] * rows[2][1] - rows[1][1] * rows[2][0]);
    if (det < 0) {
        d.scale[0] = -d.scale[0];
        for (float& v : rows[0]) v = -v;
    }
    // The quaternion whose row-vector matrix is `rows` (as D3DXQuaternionRotationMatrix).
    const float m11 = rows[0][0], m12 = rows[0][1], m13 = rows[0][2];
    const float m21 = rows[1][0], m22 = rows[1][1], m23 = rows[1][2];
    const float m31 = rows[2][0], m32 = rows[2][1], m33 = rows[2][2];
    const float trace = m11 + m22 + m33;
    float x, y, z, w;
    if (trace > 0) {
        const float s = std::sqrt(trace + 1.0f) * 2;
        w = s / 4, x = (m23 - m32) / s, y = (m31 - m13) / s, z = (m12 - m21) / s;
    } else if (m11 >= m22 && m11 >= m33) {
        const float s = std::sqrt(std::max(0.0f, 1 + m11 - m22 - m33)) * 2;
        x = s / 4, y = (m12 + m21) / s, z = (m13 + m31) / s, w = (m23 - m32) / s;
    } else if (m22 >= m33) {
        const float s = std::sqrt(std::max(0.0f, 1 + m22 - m11 - m33)) * 2;
        y = s / 4, x = (m12 + m21) / s, z = (m23 + m32) / s, w = (m31 - m13) / s;
    } else {
        const float s = std::sqrt(std::max(0.0f, 1 + m33 - m11 - m22)) * 2;
        z = s / 4, x = (m13 + m31) / s, y = (m23 + m32) / s, w = (m12 - m21) / s;
    }
    d.rotation = {x, y, z, w};
    return d;
}

Mat4 Compose(const std::array<float, 3>& s, const std::array<float, 4>& q, const std::array<float, 3>& t) {
    float x = q[0], y = q[1], z = q[2], w = q[3];
    const float len = std::sqrt(x * x + y * y + z * z + w * w);
    if (len > 0) x /= len, y /= len, z /= len, w /= len;
    const float r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
                           {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
                           {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}};
    Mat4 m{};
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c) m[row * 4 + c] = s[row] * r[row][c];
    m[12] = t[0], m[13] = t[1], m[14] = t[2], m[15] = 1;
    return m;
}

void FaceNormals(DrawMesh* mesh) {
    mesh->normals.assign(mesh->positions.size(), 0.0f);
    const float* p = mesh->positions.data();
    for (size_t t = 0; t + 2 < mesh->indices.size(); t += 3) {
        const uint32_t i0 = mesh->indices[t], i1 = mesh->indices[t + 1], i2 = mesh->indices[t + 2];
        const float e1[3] = {p[i1 * 3] - p[i0 * 3], p[i1 * 3 + 1] - p[i0 * 3 + 1], p[i1 * 3 + 2] - p[i0 * 3 + 2]};
        const float e2[3] = {p[i2 * 3] - p[i0 * 3], p[i2 * 3 + 1] - p[i0 * 3 + 1], p[i2 * 3 + 2] - p[i0 * 3 + 2]};
        // Clockwise faces are the front in a left-handed space: e1 x e2 points out of them.
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (uint32_t i : {i0, i1, i2})
            for (int a = 0; a < 3; ++a) mesh->normals[size_t(i) * 3 + a] += n[a];
    }
}

namespace {

// The value of a key list at `tick`: held before the first and after the last key.
template <size_t N>
void Sample(const std::vector<uint32_t>& times, const std::vector<float>& values, double tick, bool slerp,
            std::array<float, N>* out) {
    const size_t count = times.size();
    auto key = [&](size_t k) { return &values[k * N]; };
    size_t hi = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), tick,
                                                     [](double t, uint32_t k) { return t < k; }) -
                                    times.begin());
    if (hi == 0 || hi == count) {
        const float* v = key(hi == 0 ? 0 : count - 1);
        std::copy(v, v + N, out->begin());
        return;
    }
    const size_t lo = hi - 1;
    const double span = double(times[hi]) - double(times[lo]);
    const float u = span > 0 ? static_cast<float>((tick - times[lo]) / span) : 0.0f;
    const float* a = key(lo);
    const float* b = key(hi);
    if (!slerp) {
        for (size_t i = 0; i < N; ++i) (*out)[i] = a[i] + (b[i] - a[i]) * u;
        return;
    }
    float dot = 0;
    for (size_t i = 0; i < N; ++i) dot += a[i] * b[i];
    const float sign = dot < 0 ? -1.0f : 1.0f;
    dot *= sign;
    float wa = 1 - u, wb = u;
    if (dot < 0.9995f) {
        const float angle = std::acos(std::min(dot, 1.0f));
        const float sinAngle = std::sin(angle);
        wa = std::sin((1 - u) * angle) / sinAngle;
        wb = std::sin(u * angle) / sinAngle;
    }
    for (size_t i = 0; i < N; ++i) (*out)[i] = wa * a[i] + wb * sign * b[i];
}

}  // namespace

std::vector<Mat4> FrameWorlds(const DrawModel& model, const PoseChoice& pose) {
    std::vector<Mat4> local(model.frames.size());
    for (size_t f = 0; f < model.frames.size(); ++f) local[f] = model.frames[f].local;
    std::vector<char> bound(model.frames.size(), 0);
    std::vector<Mat4> worlds(model.frames.size());
    if (pose.clip < 0) {
        for (const DrawMesh& mesh : model.meshes)
            for (const DrawBone& bone : mesh.bones)
                if (bone.frame != kNoFrame && !bound[bone.frame] && Invert(bone.offset, &worlds[bone.frame]))
                    bound[bone.frame] = 1;
    } else if (static_cast<size_t>(pose.clip) < model.clips.size()) {
        const DrawClip& clip = model.clips[pose.clip];
        const double tick = clip.firstTick + pose.seconds * model.ticksPerSecond;
        for (const DrawTrack& track : clip.tracks) {
            if (track.frame == kNoFrame) continue;
            Decomposed d = Decompose(model.frames[track.frame].local);
            if (!track.scaleTimes.empty()) Sample(track.scaleTimes, track.scales, tick, false, &d.scale);
            if (!track.rotationTimes.empty()) Sample(track.rotationTimes, track.rotations, tick, true, &d.rotation);
            if (!track.positionTimes.empty()) Sample(track.positionTimes, track.positions, tick, false, &d.translation);
            local[track.frame] = Compose(d.scale, d.rotation, d.translation);
        }
    }
    for (size_t f = 0; f < model.frames.size(); ++f) {
        if (bound[f]) continue;
        const uint32_t parent = model.frames[f].parent;
        worlds[f] = parent == kNoFrame ? local[f] : Multiply(local[f], worlds[parent]);
    }
    return worlds;
}

Mat4 MeshWorld(const DrawMesh& mesh, const std::vector<Mat4>& worlds) {
    return mesh.frame == kNoFrame ? kIdentity : worlds[mesh.frame];
}

void SkinMesh(const DrawMesh& mesh, const std::vector<Mat4>& worlds, std::vector<float>* positions,
              std::vector<float>* normals) {
    // The blended matrix of each file vertex: rows 0..2 (3 columns each) and the translation.
    std::vector<float> blend(size_t(mesh.vertexCount) * 12, 0.0f);
    for (const DrawBone& bone : mesh.bones) {
        if (bone.frame == kNoFrame) continue;
        const Mat4 m = Multiply(bone.offset, worlds[bone.frame]);
        for (uint32_t k = bone.first; k < bone.first + bone.count; ++k) {
            const float w = mesh.skinWeights[k];
            float* b = &blend[size_t(mesh.skinVertices[k]) * 12];
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c) b[r * 3 + c] += w * m[r * 4 + c];
        }
    }
    const uint32_t count = mesh.drawVertexCount();
    positions->resize(size_t(count) * 3);
    normals->resize(size_t(count) * 3);
    for (uint32_t v = 0; v < count; ++v) {
        const float* b = &blend[size_t(mesh.FileVertex(v)) * 12];
        const float* p = &mesh.positions[size_t(v) * 3];
        const float* n = &mesh.normals[size_t(v) * 3];
        float* op = &(*positions)[size_t(v) * 3];
        float* on = &(*normals)[size_t(v) * 3];
        for (int c = 0; c < 3; ++c) {
            op[c] = p[0] * b[c] + p[1] * b[3 + c] + p[2] * b[6 + c] + b[9 + c];
            on[c] = n[0] * b[c] + n[1] * b[3 + c] + n[2] * b[6 + c];
        }
    }
}

void Bounds::Add(const float* p) {
    if (!(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]))) return;
    if (empty) {
        min = max = {p[0], p[1], p[2]};
        empty = false;
        return;
    }
    for (int a = 0; a < 3; ++a) {
        min[a] = std::min(min[a], p[a]);
        max[a] = std::max(max[a], p[a]);
    }
}

}  // namespace preview
