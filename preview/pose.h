// Matrices, the pose of a draw model at a time, and its skin blended as the fixed-function
// Direct3D 9 pipeline blends it.
#pragma once

#include <array>
#include <vector>

#include "preview/draw_model.h"

namespace preview {

// p (a b): a first, then b (row vectors).
Mat4 Multiply(const Mat4& a, const Mat4& b);
// False (and `out` untouched) for a singular matrix.
bool Invert(const Mat4& m, Mat4* out);

struct Decomposed {
    std::array<float, 3> scale{1, 1, 1};
    std::array<float, 4> rotation{0, 0, 0, 1};  // x, y, z, w, as D3DX keeps it
    std::array<float, 3> translation{0, 0, 0};
};
// Scale, rotation and translation of an affine matrix without shear (a mirroring matrix gets a
// negative x scale).
Decomposed Decompose(const Mat4& m);
// Scale, then rotation, then translation.
Mat4 Compose(const std::array<float, 3>& scale, const std::array<float, 4>& rotation,
             const std::array<float, 3>& translation);

// Per-vertex normals averaged from the faces, for a mesh that has none of its own.
void FaceNormals(DrawMesh* mesh);

// The pose shown: the bind pose (clip < 0), or a clip at `seconds` after its first key.
struct PoseChoice {
    int clip = -1;       // index into DrawModel::clips
    double seconds = 0;
};

// Every frame's world matrix (its matrix times its parents'). In the bind pose each bone
// frame stands where its skin was bound (the inverse of its first offset matrix) and other
// frames follow their parents; in a clip, frames with keys take them (a component without keys
// keeps the frame's own) and the rest keep their matrices as written.
std::vector<Mat4> FrameWorlds(const DrawModel& model, const PoseChoice& pose);

// The world matrix a mesh is drawn with: its frame's, or the identity at the top level.
Mat4 MeshWorld(const DrawMesh& mesh, const std::vector<Mat4>& worlds);

// A skinned mesh's draw vertices in world space at a pose: each vertex is moved by the sum of
// its bones' matrices (offset times the bone's world matrix) each scaled by the vertex's weight
// as written, with no renormalisation; a bone that is not a frame of the file contributes
// nothing. Positions and normals 3 floats per draw vertex; normals are not renormalised here.
void SkinMesh(const DrawMesh& mesh, const std::vector<Mat4>& worlds, std::vector<float>* positions,
              std::vector<float>* normals);

struct Bounds {
    std::array<float, 3> min{0, 0, 0}, max{0, 0, 0};
    bool empty = true;
    void Add(const float* p);
};

}  // namespace preview
