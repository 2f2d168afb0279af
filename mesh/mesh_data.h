// Mesh data: the X file vertex and face model of one geometry node.
//
// In the host's mesh a vertex is only a position; normals, texture coordinates, colours and
// material ids belong to face corners. GenMeshData builds, for every face corner, the record of
// all its attributes and gives every distinct record of a position an export vertex of its own;
// corners that agree in every attribute share one (CornerSharing). Positions and normals are
// converted into export coordinates, faces wound for the export frame, each texture channel's
// coordinate transform applied, tangent frames accumulated and finalised, and texture channels
// with identical coordinates detected.
//
// Storage is flat and holds only what the writer reads. A record's attributes are lists indexed
// by its export vertex (normals, colours, texture coordinates); what sharing needs beyond them
// (each position's records, each record's material index) lives in CornerSharing while the
// faces are added and is released with it. Nothing is allocated per corner or per vertex.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/conversion.h"
#include "material/xmaterial.h"
#include "sdk/math.h"

class ExportMessages;
class Mesh;
class MeshNormalSpec;
struct MeshRenderNormals;
class ProgressMeter;
class XNode;
class XRenderableNode;

// Message of a mesh without faces or vertices (shown, then generation goes on).
inline constexpr const char* kEmptyMeshText = "cntFaces <= 0 || cntVerts <= 0";
// Caption of that message: "GenMeshData" and two characters in code page 936 (B3 F6 B4 ED).
inline constexpr const char* kEmptyMeshCaption = "GenMeshData\xB3\xF6\xB4\xED";
// Message of a mesh whose faces cannot be read (the node is then written as a plain frame).
inline constexpr const char* kMeshFaultText =
    "PLOVER has detected a 3ds Max bug which can cause crash! please save your scene data and reload it.";
inline constexpr const char* kMeshFaultCaption = "3ds Max bug";

struct XMeshFace {
    uint32_t index[3] = {0, 0, 0};  // export vertex indices, already in export winding order
};

inline constexpr uint32_t kNoVertex = UINT32_MAX;

struct XMeshPosition {
    Point3 position;  // the mesh vertex in export coordinates
};

// The attributes of a face corner that its export vertex keeps. Its texture coordinates are
// kept beside it in XMeshData::uvPool (see XMeshData::Uvw).
struct XMeshCorner {
    Point3 normal{};          // unit, export coordinates; (0, 0, 0) when Normal, Tangent and
                              // BiTangent are all off; OrthonormalizeFrame may rewrite it
    Color color{1, 1, 1};     // from the mesh's colour channel when hasVertexColors
    float alpha = 1.0f;       // from the mesh's alpha channel when hasVertexAlpha
};

struct XMeshVertex {
    uint32_t positionIndex = 0;  // index into XMeshData::positions
};

struct XMeshData {
    uint32_t wireColor = 0;      // the host node's wire colour, 0x00BBGGRR
    uint32_t positionCount = 0;  // the mesh's vertex count
    uint32_t faceCount = 0;      // the mesh's face count
    std::vector<XMeshFace> faces;          // one per mesh face, in mesh order
    // Per face when the node has more than one material entry: the face's position in the
    // node's material list. Else empty: every face has position 0.
    std::vector<uint32_t> faceMaterials;
    std::vector<XMeshPosition> positions;  // one per mesh vertex, in mesh order
    std::vector<XMeshVertex> vertices;     // the export vertices, in creation order
    // Per export vertex: its normal (see XMeshCorner::normal).
    std::vector<Point3> normals;
    // Per export vertex when a mesh node exports tangents or bitangents in DeclData (else
    // empty): export coordinates, an angle-weighted sum until finalised.
    std::vector<Point3> tangents;
    std::vector<Point3> bitangents;
    uint32_t hasVertexColors = 0;  // 1: corner records carry colours of map channel 0
    uint32_t hasVertexAlpha = 0;   // 1: corner records carry alpha of map channel -2
    std::vector<int32_t> channelMap;  // per entry of channels: position of the channel whose
                                      // coordinates it shares, or its own position
    std::vector<int32_t> channels;    // supported host map channels 1 to 99, ascending

    // With hasVertexColors or hasVertexAlpha: each export vertex's colour and alpha, four
    // floats per vertex (r, g, b, alpha); else empty, every vertex being white and opaque.
    std::vector<float> colorPool;
    // Texture coordinates of the export vertices: uvStride floats per vertex, (u, v) for each
    // entry of channels in order. The w of every uvw triple is 0 and is not stored.
    std::vector<float> uvPool;
    uint32_t uvStride = 0;  // 2 * channels.size() when TexCoords is on, else 0

    // Number of uvw triples each export vertex carries: channels.size() or 0 (TexCoords off).
    uint32_t UvwCount() const { return uvStride / 2; }
    // A face's position in the node's material list.
    uint32_t FaceMaterial(uint32_t face) const { return faceMaterials.empty() ? 0 : faceMaterials[face]; }
    // A record's slot in the attribute lists: its export vertex.
    uint32_t VertexSlot(uint32_t vertexIndex) const { return vertexIndex; }
    // The whole record of a slot, and of an export vertex.
    XMeshCorner SlotCorner(uint32_t slot) const {
        XMeshCorner corner;
        corner.normal = normals[slot];
        if (!colorPool.empty()) {
            const float* c = colorPool.data() + size_t(slot) * 4;
            corner.color = Color(c[0], c[1], c[2]);
            corner.alpha = c[3];
        }
        return corner;
    }
    XMeshCorner VertexCorner(uint32_t vertexIndex) const { return SlotCorner(VertexSlot(vertexIndex)); }
    Point3& VertexNormal(uint32_t vertexIndex) { return normals[VertexSlot(vertexIndex)]; }
    // The (u, v) pairs of a slot's record: uvStride floats.
    const float* Uv(uint32_t slot) const { return uvPool.data() + size_t(slot) * uvStride; }
    // The uvw triple of a slot's record at a channel-list position: (u, v, 0).
    Point3 Uvw(uint32_t slot, uint32_t channelPosition) const {
        const float* uv = Uv(slot) + 2 * size_t(channelPosition);
        return {uv[0], uv[1], 0.0f};
    }
};

// Shares export vertices while a mesh's faces are added to its XMeshData: Add returns the
// export vertex of the first record of the position that equals the corner (normal and colour
// within 1e-6 per component, alpha exactly, material index, and every (u, v) within 1e-6), else
// appends the corner as the position's next record, a new export vertex, and returns that.
// Each position's records form a chain in creation order (at most 4 bytes per export vertex), so
// the first equal record wins and memory grows with the export vertices made, not the corners.
class CornerSharing {
public:
    // byMaterial: records of different material indices stay apart; without it the material
    // index is not looked at (a node with at most one material entry gives every face the same).
    // Lists are reserved at vertexBound, their upper bound.
    CornerSharing(uint32_t positionCount, size_t vertexBound, bool byMaterial);
    // uv: data.uvStride floats.
    uint32_t Add(XMeshData& data, uint32_t positionIndex, const XMeshCorner& corner, int32_t mtlIndex,
                 const float* uv);
    // The position's first record when Add would give it for a corner made of the same values
    // as the one that made it (which is so unless one of them is not a number), else kNoVertex.
    uint32_t FirstRecord(uint32_t positionIndex) const {
        return selfUnequal_[positionIndex] ? kNoVertex : first_[positionIndex];
    }

private:
    std::vector<uint32_t> first_;     // per position: its first record's export vertex, or kNoVertex
    // Per export vertex: its position's next record, or kNoVertex; only as long as the last
    // vertex that has one (a smooth mesh's positions have one record each: none).
    std::vector<uint32_t> next_;
    std::vector<int32_t> material_;   // per export vertex with byMaterial: its material index
    std::vector<bool> selfUnequal_;   // per position: its first record does not equal itself
    bool byMaterial_;
};

// Once every face is added: gives the attribute and vertex lists their exact sizes where that
// frees memory in use (see add_corner.cpp).
void TrimMeshData(XMeshData& data);

// What mesh data is made with, fixed before the data pass (the driver fills it from the options
// and the conversion).
struct MeshSettings {
    Conversion conversion;       // host to export coordinates
    bool worldSpace = false;     // vertices in world space instead of the node's own frame
    bool normal = false;         // Normal: vertices carry normals
    bool tangentFrame = false;   // Tangent or BiTangent: mesh nodes' vertices carry tangent frames
    bool declData = false;       // tangent frames are written (in DeclData), not only made
    bool texCoords = false;      // vertices carry the texture coordinates of every supported channel
    bool vertexColor = false;    // mesh nodes' vertices carry the mesh's colours and alpha
    bool mergeChannels = false;  // MultiTexCoordsOptimize: mesh nodes' identical channels are shared
};

// Builds node.meshData from node.mesh, placed by node.objectTM and node.frameTM, with the
// node's material entries (resolved in materials). Steps the meter once per face; shows its
// messages through messages. Returns false when the node has no mesh or no host node (nothing
// made), and after a mesh fault: a face that names a vertex the mesh does not have shows the
// fault message and leaves node.meshData empty. A mesh without faces or vertices shows its
// message and gives a record without export vertices (true).
//
// Map data that the mesh claims but does not hold (a channel without faces or vertices, an
// index past its vertices) reads as the record's default: texture coordinates (0, 0) before the
// channel's transform, colour (1, 1, 1), alpha 1.
bool GenMeshData(const MeshSettings& settings, const XMaterialTable& materials, XRenderableNode& node,
                 ProgressMeter& meter, ExportMessages& messages);

// The transform that takes the mesh's coordinates to where the file wants them: objectTM in
// world space (worldSpace and a mesh node), else objectTM x Inverse(frameTM), the node's own
// frame.
Matrix3 VertexTransform(const XRenderableNode& node, bool worldSpace);
// The transform of normals under m: the transpose of the inverse of m's linear part (no
// translation).
Matrix3 NormalTransform(const Matrix3& m);

// The normal of a face corner in the mesh's own coordinates: the specified normal made unit when
// specified is given; else from the corner vertex's render normals in built the one of the face's
// smoothing group (a lone normal or a flagged specified one as it is), falling back to the face
// normal for smoothing group 0, for no shared group, and for a vertex without render normals.
Point3 CornerNormal(const Mesh& mesh, const MeshRenderNormals& built, int face, int corner,
                    const MeshNormalSpec* specified);
// The same over the normals the mesh built itself (Mesh::buildNormals).
Point3 CornerNormal(const Mesh& mesh, int face, int corner, const MeshNormalSpec* specified);

// Points every channel-list position whose coordinates equal (within 1e-6) those of an earlier
// position at every export vertex to the first such position (channelMap); the others keep
// their own. Needs the records' texture coordinates (uvStride > 0); without them it does nothing.
void MergeIdenticalChannels(XMeshData& data);
