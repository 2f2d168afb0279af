// Shared helpers of the mesh data tests: small meshes with map channels, the options that turn
// the per-vertex data on.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "common/mesh_invariants.h"
#include "host/objects/host_objects.h"
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

// A triangle mesh from flat vertex and face lists, every face in smoothing group 1.
inline Mesh MakeMesh(std::vector<Point3> verts, std::vector<std::array<uint32_t, 3>> faces) {
    Mesh mesh;
    mesh.verts = std::move(verts);
    mesh.setNumFaces(static_cast<int>(faces.size()));
    for (size_t f = 0; f < faces.size(); ++f) {
        std::copy(faces[f].begin(), faces[f].end(), mesh.faces[f].v);
        mesh.faces[f].smGroup = 1;
    }
    return mesh;
}

// One triangle (0,0,0) (1,0,0) (0,1,0) in smoothing group 1, with channel 1 holding uv.
inline Mesh TriangleMesh(const std::vector<Point3>& uv = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) {
    Mesh mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    SetVertexChannel(mesh, 1, uv);
    return mesh;
}

// A size x size quad in the host's XY plane facing +Z: faces (0 1 3) and (0 3 2) in smoothing
// group 1, channel 1 holding u = x / size, v = y / size.
inline Mesh QuadMesh(float size) {
    Mesh mesh = MakeMesh({{0, 0, 0}, {size, 0, 0}, {0, size, 0}, {size, size, 0}}, {{0, 1, 3}, {0, 3, 2}});
    SetVertexChannel(mesh, 1, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    return mesh;
}

using mesh_invariants::ExpectMeshDataInvariants;
using mesh_invariants::Finite;

}  // namespace mesh_test
