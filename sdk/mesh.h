// The host's triangle mesh: vertices, faces, map channels, specified and built normals.
//
// A vertex is only a position. Normals, texture coordinates and colours belong to face
// corners: each map channel has its own vertices and faces (three indices per face), and so do
// the specified normals. A channel or the normals may instead share the mesh's faces: their
// corner indices are then the faces' vertex indices, which is what an importer gets from a file
// format that indexes every attribute by the same vertex, at no extra memory.
// Channel 0 holds vertex colours, channel -2 vertex alpha (first component), channels 1 to 99
// texture coordinates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sdk/math.h"

using MtlID = uint16_t;

inline constexpr int kMapChannelMin = -2;
inline constexpr int kMapChannelMax = 99;
inline constexpr int kMapChannelCount = kMapChannelMax - kMapChannelMin + 1;
inline constexpr int kVertexColorChannel = 0;
inline constexpr int kVertexAlphaChannel = -2;

struct Face {
    uint32_t v[3] = {0, 0, 0};
    uint32_t smGroup = 0;  // smoothing group bits
    uint32_t flags = 0;    // material id in the upper 16 bits
    MtlID getMatID() const { return static_cast<MtlID>(flags >> 16); }
    void setMatID(MtlID id) { flags = (flags & 0xFFFFu) | (uint32_t(id) << 16); }
    uint32_t getSmGroup() const { return smGroup; }
};

struct TVFace {
    uint32_t t[3] = {0, 0, 0};
};

static_assert(sizeof(TVFace) == 3 * sizeof(uint32_t) && sizeof(Face) == 5 * sizeof(uint32_t) &&
                  offsetof(Face, v) == 0,
              "FaceCorners reads both kinds of face as runs of uint32_t");

// The corner indices of a list of faces, read the same way whether they are a channel's own
// TVFaces (stride 3) or the mesh's Faces (stride 5, the vertex indices): corners[f][k] is
// corner k of face f. A view is valid until the list it looks at is resized or freed.
struct FaceCorners {
    const uint32_t* first = nullptr;  // corner 0 of face 0
    size_t stride = 3;                // uint32_t values from one face to the next
    size_t count = 0;                 // faces

    FaceCorners() = default;
    explicit FaceCorners(const std::vector<TVFace>& faces)
        : first(faces.empty() ? nullptr : faces.data()->t), stride(3), count(faces.size()) {}
    explicit FaceCorners(const std::vector<Face>& faces)
        : first(faces.empty() ? nullptr : faces.data()->v), stride(5), count(faces.size()) {}

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const uint32_t* operator[](size_t face) const { return first + face * stride; }
};

// One map channel: its own vertices, and one TVFace per mesh face unless it shares the mesh's
// faces (then tf is empty). Read the faces through Mesh::mapFaces, which answers both forms.
struct MeshMap {
    bool supported = false;
    bool sharesMeshFaces = false;
    std::vector<Point3> tv;
    std::vector<TVFace> tf;

    // Makes the channel's corners the mesh's vertex indices and frees its own faces.
    void ShareMeshFaces() {
        std::vector<TVFace>().swap(tf);
        sharesMeshFaces = true;
    }
};

class Mesh;

// Explicit per-corner normals: each face has three indices into the normal array, from the
// normals' own faces or, when they share them, from the mesh's faces (then faces is empty).
// The reading functions take the mesh the normals belong to for that reason.
class MeshNormalSpec {
public:
    std::vector<Point3> normals;
    std::vector<TVFace> faces;  // one per mesh face, or empty when sharesMeshFaces
    bool sharesMeshFaces = false;

    // Makes the normals' corners the mesh's vertex indices and frees their own faces.
    void ShareMeshFaces() {
        std::vector<TVFace>().swap(faces);
        sharesMeshFaces = true;
    }

    FaceCorners Faces(const Mesh& mesh) const;
    int GetNumFaces(const Mesh& mesh) const { return static_cast<int>(Faces(mesh).size()); }
    int GetNumNormals() const { return static_cast<int>(normals.size()); }
    Point3 GetNormal(const Mesh& mesh, int face, int corner) const {
        return normals[Faces(mesh)[static_cast<size_t>(face)][corner]];
    }
    // Normalises the normals; the host also fills unspecified ones here.
    void BuildNormals();
    // True when every face index is in range.
    bool CheckNormals(const Mesh& mesh) const;
};

// A normal of a render vertex with the smoothing groups it stands for.
struct RNormal {
    Point3 normal;
    uint32_t smGroup = 0;
};

inline constexpr uint32_t kRVertexSpecifiedNormal = 0x00002000;

// The normals of one vertex, one per cluster of faces that share smoothing groups.
struct RVertex {
    uint32_t rFlags = 0;       // kRVertexSpecifiedNormal when the vertex has one given normal
    uint32_t normalCount = 0;  // number of RNormal entries in Mesh::renderNormals
    uint32_t firstNormal = 0;  // first entry in Mesh::renderNormals
};

// Face normals and render vertices worked out from a mesh's smoothing groups, held apart from
// the mesh so that a reader can build them without writing to the mesh.
struct MeshRenderNormals {
    std::vector<Point3> faceNormals;    // one per face
    std::vector<RVertex> renderVerts;   // one per vertex
    std::vector<RNormal> renderNormals; // the entries the render vertices point into
};

// Builds face normals and render vertices of mesh into out (replacing its contents).
void BuildRenderNormals(const Mesh& mesh, MeshRenderNormals& out);

// A channel or the specified normals that share the faces read the faces' vertex indices as
// they are when read: changing a face's vertices changes their corners too, and removing faces
// removes theirs. A producer that wants different corners gives them their own faces.
class Mesh {
public:
    std::vector<Point3> verts;
    std::vector<Face> faces;

    int getNumVerts() const { return static_cast<int>(verts.size()); }
    int getNumFaces() const { return static_cast<int>(faces.size()); }
    Point3 getVert(int i) const { return verts[i]; }
    void setNumVerts(int n) { verts.resize(n); }
    void setNumFaces(int n);

    // Map channels -2 to 99.
    bool mapSupport(int channel) const;
    void setMapSupport(int channel, bool support = true);
    // A channel's record is made on first use through the non-const accessor and stays at the
    // same address for the mesh's lifetime; the const accessor answers an unused channel with an
    // empty, unsupported record.
    MeshMap& Map(int channel);
    const MeshMap& Map(int channel) const;
    // A supported channel's face corners, its own or the mesh's faces; empty when it has none.
    FaceCorners mapFaces(int channel) const;
    const Point3* mapVerts(int channel) const;
    int getNumMapVerts(int channel) const;
    // Vertex colours are present when channel 0 has vertices and faces.
    bool hasColorVerts() const;
    bool hasColorFaces() const;

    // Specified normals: null when the mesh has none.
    MeshNormalSpec* GetSpecifiedNormals() { return specifiedNormals_.get(); }
    const MeshNormalSpec* GetSpecifiedNormals() const { return specifiedNormals_.get(); }
    MeshNormalSpec& SpecifyNormals();
    void ClearSpecifiedNormals() { specifiedNormals_.reset(); }

    // Builds face normals and render vertices from the smoothing groups.
    void buildNormals();
    // Rebuilds the normals when they are missing or out of date.
    void checkNormals(bool illegalIsError);
    const std::vector<Point3>& faceNormals() const { return normals_.faceNormals; }
    Point3 getFaceNormal(int f) const { return normals_.faceNormals[f]; }
    // Render vertex i, or null when normals were not built.
    const RVertex* getRVertPtr(int i) const;
    const RNormal& renderNormal(uint32_t i) const { return normals_.renderNormals[i]; }
    // What buildNormals made (empty until then).
    const MeshRenderNormals& builtNormals() const { return normals_; }

    // Copies everything (the channel mask selects nothing less here: every channel is copied).
    void DeepCopy(const Mesh& source, uint64_t channels);

private:
    // Indexed by channel - kMapChannelMin, only as long as the highest channel used; a mesh
    // (and every node holding one) costs nothing for the channels it never touches.
    std::vector<std::unique_ptr<MeshMap>> maps_;
    std::unique_ptr<MeshNormalSpec> specifiedNormals_;
    MeshRenderNormals normals_;
    bool normalsBuilt_ = false;

public:
    Mesh() = default;
    Mesh(const Mesh& other) { DeepCopy(other, ~0ull); }
    Mesh& operator=(const Mesh& other) { if (this != &other) DeepCopy(other, ~0ull); return *this; }
    Mesh(Mesh&&) = default;
    Mesh& operator=(Mesh&&) = default;
};

inline FaceCorners MeshNormalSpec::Faces(const Mesh& mesh) const {
    return sharesMeshFaces ? FaceCorners(mesh.faces) : FaceCorners(faces);
}

// Edge adjacency of a triangle mesh: every undirected edge once, with the faces on each side,
// and for each vertex the edges that touch it (flat lists: vertexEdgeFirst has one entry per
// vertex plus one; the edges of vertex v are vertexEdges[vertexEdgeFirst[v] .. vertexEdgeFirst[v+1])).
struct MEdge {
    uint32_t v[2] = {0, 0};
    int32_t f[2] = {-1, -1};  // faces on either side; -1 when open
    uint32_t OtherVert(uint32_t vert) const { return v[0] == vert ? v[1] : v[0]; }
};

class AdjEdgeList {
public:
    explicit AdjEdgeList(const Mesh& mesh);
    std::vector<MEdge> edges;
    std::vector<uint32_t> vertexEdgeFirst;
    std::vector<uint32_t> vertexEdges;
};

// Bezier patch mesh as the host keeps it: patches over patch vertices (corner control points).
struct Patch {
    int type = 4;              // 3: triangle patch, 4: quad patch
    uint32_t v[4] = {0, 0, 0, 0};  // corner vertices (v[3] unused for triangles)
};

struct PatchVert {
    Point3 p;
};

class PatchMesh {
public:
    std::vector<PatchVert> verts;  // corner vertices
    std::vector<Point3> vecs;      // handle and interior vectors
    std::vector<Patch> patches;
    int getNumVerts() const { return static_cast<int>(verts.size()); }
    int getNumPatches() const { return static_cast<int>(patches.size()); }
};
