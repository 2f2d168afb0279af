// The draw model: what an X file holds for drawing, as a DirectX-era engine loads it. Frames
// with their matrices, meshes with their frames, materials, textures, vertex colours, normals
// as written, skin weights and offsets, and animation sets. Built from the reader's object tree
// alone, so a picture shows the file and nothing of the scene it was exported from.
//
// Matrices are the file's: 16 floats row by row, row vectors (p' = p M), translation in the
// fourth row, in the file's left-handed space.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "xformat/xreader.h"

namespace preview {

using Mat4 = std::array<float, 16>;
inline constexpr Mat4 kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
inline constexpr uint32_t kNoFrame = 0xFFFFFFFFu;

struct DrawFrame {
    std::string name;
    uint32_t parent = kNoFrame;  // index into DrawModel::frames, always lower than this frame's
    Mat4 local = kIdentity;      // FrameTransformMatrix (identity without one)
};

struct DrawMaterial {
    std::array<float, 4> diffuse{1, 1, 1, 1};  // faceColor, RGBA
    float power = 0;
    std::array<float, 3> specular{0, 0, 0};
    std::array<float, 3> emissive{0, 0, 0};
    std::string texture;  // TextureFilename as written; empty without one
};

// The triangles of one material: indices [first, first + count) of DrawMesh::indices.
struct DrawSubset {
    uint32_t material = 0;  // index into DrawModel::materials
    uint32_t first = 0;
    uint32_t count = 0;
};

// One bone of a skin: the weights of bone b are skinVertices/skinWeights [first, first + count).
struct DrawBone {
    std::string name;         // SkinWeights transformNodeName
    uint32_t frame = kNoFrame; // the frame of that name, kNoFrame when the file has none
    Mat4 offset = kIdentity;  // matrixOffset: mesh space to the bone's space
    uint32_t first = 0;
    uint32_t count = 0;
};

// A mesh ready to draw: one draw vertex per distinct (position, normal) pair of the file's
// faces. The first vertexCount draw vertices are the file's vertices in order; a vertex whose
// corners use several normals gets further draw vertices, each naming its file vertex in
// `origin`.
struct DrawMesh {
    std::string name;
    uint32_t frame = kNoFrame;     // the frame holding the mesh; kNoFrame: top level (identity)
    uint32_t vertexCount = 0;      // the file's vertices
    std::vector<float> positions;  // 3 per draw vertex
    std::vector<float> normals;    // 3 per draw vertex, as written, or the faces' own when the file has none
    std::vector<float> uvs;        // 2 per draw vertex, or empty
    std::vector<float> colors;     // 4 per draw vertex (RGBA), or empty
    std::vector<uint32_t> origin;  // file vertex of draw vertex vertexCount + i
    std::vector<uint32_t> indices; // 3 per triangle (polygons fanned), grouped by subset
    std::vector<DrawSubset> subsets;
    bool writtenNormals = false;   // false: normals made from the faces
    // Skin: empty for a rigid mesh.
    std::vector<DrawBone> bones;
    std::vector<uint32_t> skinVertices;  // file vertex indices
    std::vector<float> skinWeights;      // weight of the same entry, as written

    uint32_t drawVertexCount() const { return static_cast<uint32_t>(positions.size() / 3); }
    uint32_t FileVertex(uint32_t drawVertex) const {
        return drawVertex < vertexCount ? drawVertex : origin[drawVertex - vertexCount];
    }
};

// Keys of one frame in one animation set, in ticks. A component without keys keeps the
// frame's own value from its FrameTransformMatrix.
struct DrawTrack {
    uint32_t frame = kNoFrame;
    std::string frameName;
    std::vector<uint32_t> rotationTimes, scaleTimes, positionTimes;
    std::vector<float> rotations;  // 4 per key: the rotation as D3DX keeps it (x, y, z, w), row vectors
    std::vector<float> scales;     // 3 per key
    std::vector<float> positions;  // 3 per key
};

struct DrawClip {
    std::string name;
    uint32_t firstTick = 0;  // earliest key of the set
    uint32_t lastTick = 0;   // latest key
    std::vector<DrawTrack> tracks;
};

struct DrawModel {
    std::vector<DrawFrame> frames;
    std::vector<DrawMesh> meshes;
    std::vector<DrawMaterial> materials;
    std::vector<DrawClip> clips;
    uint32_t ticksPerSecond = 4800;    // AnimTicksPerSecond, else the format's default
    std::vector<std::string> warnings; // what was left out or guessed, one line each

    uint64_t TriangleCount() const {
        uint64_t n = 0;
        for (const DrawMesh& m : meshes) n += m.indices.size() / 3;
        return n;
    }
};

// Builds the draw model of a document the reader made. Objects are recognised by their
// template's GUID or name, and used only when the template has the published layout. False,
// with error naming the object and the fault, when the file contradicts itself in a way no
// engine would draw (a face naming a vertex the mesh does not have).
bool BuildDrawModel(const xfile::XDocument& doc, DrawModel* model, std::string* error);

}  // namespace preview
