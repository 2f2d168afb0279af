#include "host/objects/tessellation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

float Bernstein3(int i, float t) {
    const float s = 1 - t;
    switch (i) {
        case 0: return s * s * s;
        case 1: return 3 * s * s * t;
        case 2: return 3 * s * t * t;
        default: return t * t * t;
    }
}

// The 4 x 4 control net of a quad patch, grid[i][j] with i along c0 -> c1 and j along c0 -> c3.
struct QuadNet {
    Point3 grid[4][4];
    Point3 Eval(float u, float v) const {
        Point3 p;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) p += grid[i][j] * (Bernstein3(i, u) * Bernstein3(j, v));
        return p;
    }
};

// The ten control points of a cubic triangle patch. Barycentric weights: w for c0, u for c1, v for c2.
struct TriNet {
    Point3 c0, c1, c2, b210, b120, b021, b012, b102, b201, b111;
    Point3 Eval(float u, float v) const {
        const float w = 1 - u - v;
        return c0 * (w * w * w) + c1 * (u * u * u) + c2 * (v * v * v) + b210 * (3 * w * w * u) +
               b120 * (3 * w * u * u) + b021 * (3 * u * u * v) + b012 * (3 * u * v * v) + b102 * (3 * w * v * v) +
               b201 * (3 * w * w * v) + b111 * (6 * u * v * w);
    }
};

bool PatchIndicesValid(const PatchMesh& patchMesh, const std::vector<PatchHandles>& handles) {
    if (handles.size() != patchMesh.patches.size()) return false;
    const size_t cornerCount = patchMesh.verts.size(), vecCount = patchMesh.vecs.size();
    for (size_t p = 0; p < patchMesh.patches.size(); ++p) {
        const Patch& patch = patchMesh.patches[p];
        if (patch.type != 3 && patch.type != 4) return false;
        const int n = patch.type;
        for (int k = 0; k < n; ++k)
            if (patch.v[k] >= cornerCount) return false;
        for (int k = 0; k < 2 * n; ++k)
            if (handles[p].vec[k] >= vecCount) return false;
        for (int k = 0; k < (n == 3 ? 1 : 4); ++k)
            if (handles[p].interior[k] >= vecCount) return false;
    }
    return true;
}

// Vertices on patch edges, shared by the patches that join the same two corners.
class EdgePoints {
public:
    EdgePoints(Mesh& mesh, int steps) : mesh_(mesh), steps_(steps) {}

    // Vertex index of point k (0..steps) along the edge from corner a to corner b; eval(k)
    // gives its position when the edge is new.
    template <class EvalFn>
    uint32_t Get(uint32_t a, uint32_t b, int k, EvalFn eval) {
        if (k == 0) return a;
        if (k == steps_) return b;
        const auto key = std::minmax(a, b);
        auto found = first_.find(key);
        if (found == first_.end()) {
            // Store the inner points in the direction lo -> hi.
            const uint32_t base = static_cast<uint32_t>(mesh_.verts.size());
            for (int i = 1; i < steps_; ++i) mesh_.verts.push_back(eval(a == key.first ? i : steps_ - i));
            found = first_.emplace(key, base).first;
        }
        const int fromLo = a == key.first ? k : steps_ - k;
        return found->second + static_cast<uint32_t>(fromLo - 1);
    }

private:
    Mesh& mesh_;
    int steps_;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> first_;
};

void AddFace(Mesh& mesh, std::vector<int>& table, int patch, uint32_t a, uint32_t b, uint32_t c) {
    Face face;
    face.v[0] = a;
    face.v[1] = b;
    face.v[2] = c;
    face.smGroup = 1;
    mesh.faces.push_back(face);
    table.push_back(patch);
}

void TessellateQuad(const Patch& patch, const PatchHandles& h, const PatchMesh& pm, int s, int patchIndex,
                    EdgePoints& edges, Mesh& mesh, std::vector<int>& table) {
    const uint32_t* c = patch.v;
    QuadNet net;
    net.grid[0][0] = pm.verts[c[0]].p;
    net.grid[3][0] = pm.verts[c[1]].p;
    net.grid[3][3] = pm.verts[c[2]].p;
    net.grid[0][3] = pm.verts[c[3]].p;
    net.grid[1][0] = pm.vecs[h.vec[0]];
    net.grid[2][0] = pm.vecs[h.vec[1]];
    net.grid[3][1] = pm.vecs[h.vec[2]];
    net.grid[3][2] = pm.vecs[h.vec[3]];
    net.grid[2][3] = pm.vecs[h.vec[4]];
    net.grid[1][3] = pm.vecs[h.vec[5]];
    net.grid[0][2] = pm.vecs[h.vec[6]];
    net.grid[0][1] = pm.vecs[h.vec[7]];
    net.grid[1][1] = pm.vecs[h.interior[0]];
    net.grid[2][1] = pm.vecs[h.interior[1]];
    net.grid[2][2] = pm.vecs[h.interior[2]];
    net.grid[1][2] = pm.vecs[h.interior[3]];

    const float step = 1.0f / static_cast<float>(s);
    auto at = [&](int i, int j) { return net.Eval(static_cast<float>(i) * step, static_cast<float>(j) * step); };
    std::vector<uint32_t> index(static_cast<size_t>((s + 1) * (s + 1)));
    auto slot = [&](int i, int j) -> uint32_t& { return index[static_cast<size_t>(j * (s + 1) + i)]; };
    for (int j = 0; j <= s; ++j) {
        for (int i = 0; i <= s; ++i) {
            uint32_t v;
            if (j == 0)
                v = edges.Get(c[0], c[1], i, [&](int k) { return at(k, 0); });
            else if (i == s)
                v = edges.Get(c[1], c[2], j, [&](int k) { return at(s, k); });
            else if (j == s)
                v = edges.Get(c[2], c[3], s - i, [&](int k) { return at(s - k, s); });
            else if (i == 0)
                v = edges.Get(c[3], c[0], s - j, [&](int k) { return at(0, s - k); });
            else {
                v = static_cast<uint32_t>(mesh.verts.size());
                mesh.verts.push_back(at(i, j));
            }
            slot(i, j) = v;
        }
    }
    for (int j = 0; j < s; ++j)
        for (int i = 0; i < s; ++i) {
            AddFace(mesh, table, patchIndex, slot(i, j), slot(i + 1, j), slot(i + 1, j + 1));
            AddFace(mesh, table, patchIndex, slot(i + 1, j + 1), slot(i, j + 1), slot(i, j));
        }
}

void TessellateTriangle(const Patch& patch, const PatchHandles& h, const PatchMesh& pm, int s, int patchIndex,
                        EdgePoints& edges, Mesh& mesh, std::vector<int>& table) {
    const uint32_t* c = patch.v;
    const TriNet net{pm.verts[c[0]].p,     pm.verts[c[1]].p,     pm.verts[c[2]].p,     pm.vecs[h.vec[0]],
                     pm.vecs[h.vec[1]],    pm.vecs[h.vec[2]],    pm.vecs[h.vec[3]],    pm.vecs[h.vec[4]],
                     pm.vecs[h.vec[5]],    pm.vecs[h.interior[0]]};
    const float step = 1.0f / static_cast<float>(s);
    // Grid point (i, j): weight i/s on c1, j/s on c2; i + j <= s.
    auto at = [&](int i, int j) { return net.Eval(static_cast<float>(i) * step, static_cast<float>(j) * step); };
    auto rowStart = [&](int j) { return static_cast<size_t>(j * (s + 1) - j * (j - 1) / 2); };
    std::vector<uint32_t> index(rowStart(s + 1));
    auto slot = [&](int i, int j) -> uint32_t& { return index[rowStart(j) + static_cast<size_t>(i)]; };
    for (int j = 0; j <= s; ++j) {
        for (int i = 0; i + j <= s; ++i) {
            uint32_t v;
            if (j == 0)
                v = edges.Get(c[0], c[1], i, [&](int k) { return at(k, 0); });
            else if (i + j == s)
                v = edges.Get(c[1], c[2], j, [&](int k) { return at(s - k, k); });
            else if (i == 0)
                v = edges.Get(c[2], c[0], s - j, [&](int k) { return at(0, s - k); });
            else {
                v = static_cast<uint32_t>(mesh.verts.size());
                mesh.verts.push_back(at(i, j));
            }
            slot(i, j) = v;
        }
    }
    for (int j = 0; j < s; ++j)
        for (int i = 0; i + j < s; ++i) {
            AddFace(mesh, table, patchIndex, slot(i, j), slot(i + 1, j), slot(i, j + 1));
            if (i + j + 2 <= s) AddFace(mesh, table, patchIndex, slot(i + 1, j), slot(i + 1, j + 1), slot(i, j + 1));
        }
}

// Clamped uniform knot vector of `count` control points and degree `degree`.
std::vector<float> ClampedKnots(int count, int degree) {
    std::vector<float> knots(static_cast<size_t>(count + degree + 1));
    const int spans = count - degree;
    for (size_t i = 0; i < knots.size(); ++i) {
        const int k = static_cast<int>(i) - degree;
        knots[i] = k <= 0 ? 0.0f : k >= spans ? 1.0f : static_cast<float>(k) / static_cast<float>(spans);
    }
    return knots;
}

// The knot span holding t, and the degree + 1 non-zero basis functions there.
int BasisFunctions(const std::vector<float>& knots, int count, int degree, float t, float* basis) {
    int span = degree;
    while (span < count - 1 && t >= knots[static_cast<size_t>(span + 1)]) ++span;
    float left[16], right[16];
    basis[0] = 1;
    for (int j = 1; j <= degree; ++j) {
        left[j] = t - knots[static_cast<size_t>(span + 1 - j)];
        right[j] = knots[static_cast<size_t>(span + j)] - t;
        float saved = 0;
        for (int r = 0; r < j; ++r) {
            const float denom = right[r + 1] + left[j - r];
            const float temp = denom != 0 ? basis[r] / denom : 0;
            basis[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        basis[j] = saved;
    }
    return span;
}

}  // namespace

bool TessellatePatchMesh(const PatchMesh& patchMesh, const std::vector<PatchHandles>& handles, int steps,
                         Mesh& mesh, std::vector<int>& patchTable) {
    mesh = Mesh();
    patchTable.clear();
    if (!PatchIndicesValid(patchMesh, handles)) return false;
    const int s = std::clamp(steps, kMinPatchSteps, kMaxPatchSteps);
    for (const PatchVert& v : patchMesh.verts) mesh.verts.push_back(v.p);
    EdgePoints edges(mesh, s);
    for (size_t p = 0; p < patchMesh.patches.size(); ++p) {
        const Patch& patch = patchMesh.patches[p];
        if (patch.type == 4)
            TessellateQuad(patch, handles[p], patchMesh, s, static_cast<int>(p), edges, mesh, patchTable);
        else
            TessellateTriangle(patch, handles[p], patchMesh, s, static_cast<int>(p), edges, mesh, patchTable);
    }
    mesh.setNumFaces(mesh.getNumFaces());
    return true;
}

int NurbsUSegments(const NurbsSurface& surface) {
    return surface.uSegments > 0 ? surface.uSegments : 2 * (surface.uCount - 1);
}

int NurbsVSegments(const NurbsSurface& surface) {
    return surface.vSegments > 0 ? surface.vSegments : 2 * (surface.vCount - 1);
}

bool IsValidNurbsSurface(const NurbsSurface& s) {
    if (s.uCount < 2 || s.vCount < 2 || s.uCount > kMaxNurbsCount || s.vCount > kMaxNurbsCount) return false;
    if (s.uDegree < 1 || s.vDegree < 1 || s.uDegree > kMaxNurbsDegree || s.vDegree > kMaxNurbsDegree) return false;
    if (s.uDegree >= s.uCount || s.vDegree >= s.vCount) return false;
    const size_t pointCount = static_cast<size_t>(s.uCount) * static_cast<size_t>(s.vCount);
    if (s.points.size() != pointCount) return false;
    if (!s.weights.empty() && s.weights.size() != pointCount) return false;
    for (float w : s.weights)
        if (!(w > 0) || !std::isfinite(w)) return false;
    if (s.uSegments < 0 || s.vSegments < 0) return false;
    const int us = NurbsUSegments(s), vs = NurbsVSegments(s);
    return us >= 1 && vs >= 1 && us <= kMaxNurbsSegments && vs <= kMaxNurbsSegments;
}

bool TessellateNurbsSurface(const NurbsSurface& s, Mesh& mesh) {
    mesh = Mesh();
    if (!IsValidNurbsSurface(s)) return false;
    const int us = NurbsUSegments(s), vs = NurbsVSegments(s);
    const std::vector<float> uKnots = ClampedKnots(s.uCount, s.uDegree);
    const std::vector<float> vKnots = ClampedKnots(s.vCount, s.vDegree);
    float uBasis[16], vBasis[16];
    mesh.verts.reserve(static_cast<size_t>((us + 1) * (vs + 1)));
    for (int j = 0; j <= vs; ++j) {
        const float v = static_cast<float>(j) / static_cast<float>(vs);
        const int vSpan = BasisFunctions(vKnots, s.vCount, s.vDegree, v, vBasis);
        for (int i = 0; i <= us; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(us);
            const int uSpan = BasisFunctions(uKnots, s.uCount, s.uDegree, u, uBasis);
            Point3 sum;
            float weightSum = 0;
            for (int b = 0; b <= s.vDegree; ++b)
                for (int a = 0; a <= s.uDegree; ++a) {
                    const size_t k = static_cast<size_t>((vSpan - s.vDegree + b) * s.uCount + (uSpan - s.uDegree + a));
                    const float w = uBasis[a] * vBasis[b] * (s.weights.empty() ? 1.0f : s.weights[k]);
                    sum += s.points[k] * w;
                    weightSum += w;
                }
            mesh.verts.push_back(weightSum != 0 ? sum / weightSum : sum);
        }
    }
    const uint32_t row = static_cast<uint32_t>(us + 1);
    for (int j = 0; j < vs; ++j)
        for (int i = 0; i < us; ++i) {
            const uint32_t v00 = static_cast<uint32_t>(j) * row + static_cast<uint32_t>(i);
            const uint32_t v10 = v00 + 1, v01 = v00 + row, v11 = v01 + 1;
            Face a, b;
            a.v[0] = v00, a.v[1] = v10, a.v[2] = v11, a.smGroup = 1;
            b.v[0] = v11, b.v[1] = v01, b.v[2] = v00, b.smGroup = 1;
            mesh.faces.push_back(a);
            mesh.faces.push_back(b);
        }
    mesh.setNumFaces(mesh.getNumFaces());
    return true;
}
