#include <gtest/gtest.h>

#include "host/objects/scene_builder.h"
#include "host/objects/tessellation.h"
#include "sdk/deformer.h"

// The stand-in host's patch and NURBS tessellation. (Stack levels, conversion and the counts of
// tessellated objects are checked through geometry extraction in tests/scene.)
namespace {

TEST(HostObjects, PatchTessellationPutsCornersFirst) {
    SceneBuilder b;
    const Point3 square[4] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    HostNode& node = b.QuadPatch("Quad", square, 2);
    HostPatchObject& patch = *PatchOf(node);
    // Add a triangle patch on the edge 1-2 of the quad, sharing its edge points.
    const uint32_t tip = patch.AddVertex({4, 1, 0});
    const uint32_t tri[4] = {1, tip, 2, 0};
    patch.AddFlatPatch(3, tri);

    // Points: 5 corners, then 12 vectors for the quad and 7 for the triangle.
    EXPECT_EQ(patch.NumPoints(), 5 + 12 + 7);
    EXPECT_EQ(patch.GetPoint(4), Point3(4, 1, 0));

    Mesh mesh;
    std::vector<int> table{42};
    ASSERT_TRUE(patch.ConvertToMeshWithTable(mesh, table));
    // Quad at 2 steps: 8 faces, triangle: 4 faces. Vertices: 5 corners, edge midpoints (4 quad
    // edges + 2 new triangle edges), quad centre; the triangle at 2 steps has no interior point.
    EXPECT_EQ(mesh.getNumFaces(), 12);
    EXPECT_EQ(mesh.getNumVerts(), 5 + 6 + 1);
    EXPECT_EQ(table, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(mesh.verts[i], square[i]);
    EXPECT_EQ(mesh.verts[4], Point3(4, 1, 0));
    bool centre = false;
    for (const Point3& v : mesh.verts) centre = centre || v.Equals({1, 1, 0}, 1e-6f);
    EXPECT_TRUE(centre);
    for (const Face& f : mesh.faces)
        for (uint32_t v : f.v) EXPECT_LT(v, static_cast<uint32_t>(mesh.getNumVerts()));

    // A curved handle lifts the shared edge; the conversion path gives the same mesh.
    patch.SetPoint(5 + patch.handles()[0].vec[2], {2, 0.66f, 1});
    Object* converted = patch.ConvertToType(0, kTriObjectClassId);
    ASSERT_NE(converted, nullptr);
    const Mesh& curved = static_cast<TriObject*>(converted)->GetMesh();
    EXPECT_EQ(curved.getNumVerts(), 12);
    float highest = 0;
    for (const Point3& v : curved.verts) highest = std::max(highest, v.z);
    EXPECT_GT(highest, 0.1f);
    converted->DeleteMe();

}

TEST(HostObjects, PatchTessellationRejectsBadIndices) {
    PatchMesh pm;
    pm.verts.resize(3);
    pm.vecs.resize(7);
    Patch p;
    p.type = 3;
    p.v[0] = 0, p.v[1] = 1, p.v[2] = 3;  // corner 3 does not exist
    pm.patches.push_back(p);
    std::vector<PatchHandles> handles(1);
    Mesh mesh = MakeBoxMesh(1, 1, 1);
    std::vector<int> table{1, 2};
    EXPECT_FALSE(TessellatePatchMesh(pm, handles, 2, mesh, table));
    EXPECT_EQ(mesh.getNumVerts(), 0);
    EXPECT_TRUE(table.empty());
    pm.patches[0].v[2] = 2;
    pm.patches[0].type = 5;
    EXPECT_FALSE(TessellatePatchMesh(pm, handles, 2, mesh, table));
    pm.patches[0].type = 3;
    EXPECT_TRUE(TessellatePatchMesh(pm, handles, 2, mesh, table));
    handles.clear();  // one handle record per patch is required
    EXPECT_FALSE(TessellatePatchMesh(pm, handles, 2, mesh, table));
}

TEST(HostObjects, NurbsWeightsPullAndInvalidSurfacesDoNotConvert) {
    NurbsSurface s;
    s.uCount = 4;
    s.vCount = 3;
    s.uDegree = 3;
    s.vDegree = 2;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) s.points.push_back({static_cast<float>(i), static_cast<float>(j), i == 1 ? 1.0f : 0});
    // Weights pull the surface toward a point; invalid surfaces do not convert.
    NurbsSurface heavy = s;
    heavy.weights.assign(12, 1.0f);
    heavy.weights[1] = 10;
    Mesh a, w;
    ASSERT_TRUE(TessellateNurbsSurface(s, a));
    ASSERT_TRUE(TessellateNurbsSurface(heavy, w));
    EXPECT_GT(w.verts[2].z, a.verts[2].z);
    NurbsSurface bad = s;
    bad.uDegree = 4;
    EXPECT_FALSE(TessellateNurbsSurface(bad, a));
    bad = s;
    bad.points.pop_back();
    EXPECT_FALSE(IsValidNurbsSurface(bad));
    bad = s;
    bad.weights.assign(12, 0.0f);
    EXPECT_FALSE(IsValidNurbsSurface(bad));
}

}  // namespace
