// Shared helpers of the mesh data tests: small meshes with map channels, the options that turn
// the per-vertex data on, and the invariants every XMeshData must keep.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/host_objects.h"
#include "mesh/mesh_data.h"
#include "scene/export_fixture.h"
#include "sdk/mesh.h"

namespace mesh_test {

// Meshes, normals and texture coordinates on; everything else as the tree tests have it.
inline ExportOptions MeshOptions() {
    ExportOptions o = TreeTestOptions();
    o.Normal = 1;
    o.TexCoords = 1;
    return o;
}

// Gives channel one vertex per mesh vertex, its faces the mesh's faces.
inline void SetVertexChannel(Mesh& mesh, int channel, const std::vector<Point3>& perVertex) {
    mesh.setMapSupport(channel);
    MeshMap& map = mesh.Map(channel);
    map.tv = perVertex;
    map.tf.resize(mesh.faces.size());
    for (size_t f = 0; f < mesh.faces.size(); ++f)
        for (int k = 0; k < 3; ++k) map.tf[f].t[k] = mesh.faces[f].v[k];
}

// A 2 x 2 x 2 box around the origin (MakeBoxMesh) with one texture vertex per mesh vertex in
// channel 1 (u from x, v from y). groupPerSide: smoothing group and material id per side (as
// MakeBoxMesh makes it), else one group and material id 0 over the whole box.
inline Mesh CubeMesh(bool groupPerSide) {
    Mesh mesh = MakeBoxMesh(2, 2, 2);
    if (!groupPerSide)
        for (Face& f : mesh.faces) {
            f.smGroup = 1;
            f.setMatID(0);
        }
    std::vector<Point3> uv;
    for (const Point3& p : mesh.verts) uv.push_back({(p.x + 1) / 2, (p.y + 1) / 2, 0});
    SetVertexChannel(mesh, 1, uv);
    return mesh;
}

// One triangle (0,0,0) (1,0,0) (0,1,0) in smoothing group 1, with channel 1 holding uv.
inline Mesh TriangleMesh(const std::vector<Point3>& uv = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) {
    Mesh mesh;
    mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.setNumFaces(1);
    mesh.faces[0].v[0] = 0, mesh.faces[0].v[1] = 1, mesh.faces[0].v[2] = 2;
    mesh.faces[0].smGroup = 1;
    SetVertexChannel(mesh, 1, uv);
    return mesh;
}

// A size x size quad in the host's XY plane facing +Z: faces (0 1 3) and (0 3 2) in smoothing
// group 1, channel 1 holding u = x / size, v = y / size.
inline Mesh QuadMesh(float size) {
    Mesh mesh;
    mesh.verts = {{0, 0, 0}, {size, 0, 0}, {0, size, 0}, {size, size, 0}};
    mesh.setNumFaces(2);
    mesh.faces[0].v[0] = 0, mesh.faces[0].v[1] = 1, mesh.faces[0].v[2] = 3;
    mesh.faces[1].v[0] = 0, mesh.faces[1].v[1] = 3, mesh.faces[1].v[2] = 2;
    for (Face& f : mesh.faces) f.smGroup = 1;
    SetVertexChannel(mesh, 1, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    return mesh;
}

inline bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The invariants of the record: dense vertex indices that point back at their corner records,
// no two equal records at one position, faces inside the vertex list, slices inside the pool,
// and no value that is not finite.
inline void ExpectMeshDataInvariants(const XMeshData& data) {
    ASSERT_EQ(data.positions.size(), data.positionCount);
    ASSERT_EQ(data.faces.size(), data.faceCount);
    ASSERT_EQ(data.channelMap.size(), data.channels.size());
    ASSERT_EQ(data.uvPool.size(), data.cornerPool.size() * data.uvStride);
    uint32_t corners = 0;
    for (const XMeshPosition& p : data.positions) {
        EXPECT_LE(p.corners.count, p.corners.capacity);
        EXPECT_LE(size_t(p.corners.first) + p.corners.capacity, data.cornerPool.size());
        EXPECT_TRUE(Finite(p.position));
        corners += p.corners.count;
    }
    EXPECT_EQ(corners, data.vertices.size());
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const XMeshVertex& v = data.vertices[k];
        ASSERT_LT(v.positionIndex, data.positions.size());
        ASSERT_LT(v.cornerIndex, data.positions[v.positionIndex].corners.count);
        EXPECT_EQ(data.VertexCorner(k).vertexIndex, k);
        EXPECT_TRUE(Finite(v.tangent) && Finite(v.bitangent) && Finite(data.VertexCorner(k).normal)) << "vertex " << k;
    }
    for (const XMeshFace& f : data.faces)
        for (uint32_t i : f.index) EXPECT_LT(i, data.vertices.size());
    // Re-adding any stored record to a copy finds it instead of making a new vertex.
    XMeshData copy = data;
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const XMeshVertex& v = data.vertices[k];
        const uint32_t slot = data.VertexSlot(k);
        EXPECT_EQ(AddCorner(copy, v.positionIndex, data.cornerPool[slot], data.Uv(slot)), k);
    }
    EXPECT_EQ(copy.vertices.size(), data.vertices.size()) << "two records of one position compare equal";
}

}  // namespace mesh_test
