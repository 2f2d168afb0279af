#include <gtest/gtest.h>

#include "host/scene_builder.h"
#include "host/tessellation.h"
#include "sdk/deformer.h"

namespace {

// The triangle mesh of an evaluated object, converted the way the exporter does it.
struct Converted {
    Object* evaluated = nullptr;
    Object* tri = nullptr;
    bool owned = false;
    Converted(Object* top, TimeValue t) {
        evaluated = top->Eval(t).obj;
        if (!evaluated || !evaluated->CanConvertToType(kTriObjectClassId)) return;
        tri = evaluated->ConvertToType(t, kTriObjectClassId);
        owned = tri && tri != evaluated;
    }
    ~Converted() {
        if (owned) tri->DeleteMe();
    }
    const Mesh& mesh() const { return static_cast<TriObject*>(tri)->GetMesh(); }
};

TEST(HostObjects, ConversionReturnsSelfForMeshesAndTemporariesOtherwise) {
    SceneBuilder b;
    HostNode& box = b.Mesh("Box");
    HostNode& bone = b.Bone("Bone", MakeBoxMesh(1, 1, 4));
    HostNode& bare = b.Bone("BareBone");
    HostNode& dummy = b.Dummy("Dummy");
    HostNode& camera = b.Camera("Camera");
    HostNode& open = b.Shape("Open", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, false);
    HostNode& closed = b.Shape("Closed", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, true);

    Object* tri = box.GetObjectRef();
    EXPECT_EQ(tri->ConvertToType(0, kTriObjectClassId), tri);
    tri->DeleteMe();  // a scene object ignores DeleteMe
    EXPECT_EQ(tri->NumPoints(), 8);

    {
        Converted c(bone.GetObjectRef(), 0);
        ASSERT_NE(c.tri, nullptr);
        EXPECT_TRUE(c.owned);
        EXPECT_EQ(c.tri->ClassID(), kTriObjectClassId);
        EXPECT_EQ(c.mesh().getNumFaces(), 12);
    }  // DeleteMe frees the temporary (the sanitizer build checks for leaks)
    {
        Converted c(closed.GetObjectRef(), 0);
        ASSERT_NE(c.tri, nullptr);
        EXPECT_TRUE(c.owned);
        EXPECT_EQ(c.mesh().getNumFaces(), 2);
        EXPECT_EQ(c.mesh().faces[1].v[2], 3u);
    }
    for (HostNode* node : {&bare, &dummy, &camera, &open}) {
        EXPECT_FALSE(node->GetObjectRef()->CanConvertToType(kTriObjectClassId)) << node->name();
        EXPECT_EQ(node->GetObjectRef()->ConvertToType(0, kTriObjectClassId), nullptr) << node->name();
    }
    EXPECT_FALSE(tri->CanConvertToType(kPatchObjectClassId));
}

TEST(HostObjects, StackAppliesEnabledModifiersBottomUp) {
    SceneBuilder b;
    HostNode& node = b.Mesh("Box");
    Object* base = node.GetObjectRef();
    // Level 0: move everything up by 1, then (disabled) by 100, then delete faces 0 and 1.
    b.Edit(node).translation = {0, 0, 1};
    b.Edit(node, false).translation = {0, 0, 100};
    b.Edit(node).deleteFaces = {0, 1, 99};  // 99 does not exist: ignored
    // Level 1: a skin, then move point 0 along X.
    b.NewStackLevel(node);
    b.Skin(node);
    HostEditModifier& pointEdit = b.Edit(node);
    pointEdit.translation = {5, 0, 0};
    pointEdit.points = {0};

    auto* top = dynamic_cast<IDerivedObject*>(node.GetObjectRef());
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->IsDerived());
    EXPECT_EQ(top->NumModifiers(), 2);
    EXPECT_EQ(top->GetModifier(0)->ClassID(), kSkinClassId);
    EXPECT_EQ(top->GetModifier(0)->SuperClassID(), kOsmClassId);
    EXPECT_EQ(top->GetModifier(0)->GetInterface(kSkinInterfaceId), nullptr);
    auto* lower = dynamic_cast<IDerivedObject*>(top->GetObjRef());
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->NumModifiers(), 3);
    EXPECT_FALSE(lower->GetModifier(1)->IsEnabled());
    EXPECT_EQ(lower->GetModifier(1)->GetFlags() & kModifierDisabledFlag, kModifierDisabledFlag);
    EXPECT_EQ(lower->GetObjRef(), base);
    EXPECT_EQ(top->FindBaseObject(), base);

    Object* evaluated = top->Eval(0).obj;
    ASSERT_NE(evaluated, nullptr);
    EXPECT_EQ(evaluated->ClassID(), kTriObjectClassId);
    EXPECT_EQ(evaluated, top->Eval(0).obj);  // the same result while the level lives
    const Mesh& mesh = static_cast<TriObject*>(evaluated)->GetMesh();
    EXPECT_EQ(mesh.getNumFaces(), 10);
    EXPECT_EQ(mesh.faces[0].v[0], 4u);  // the top's first face is now first
    EXPECT_EQ(evaluated->GetPoint(0), Point3(4.5f, -0.5f, 0.5f));
    EXPECT_EQ(evaluated->GetPoint(7), Point3(0.5f, 0.5f, 1.5f));
    // The level beneath evaluates without the upper level's edits; the base is untouched.
    EXPECT_EQ(lower->Eval(0).obj->GetPoint(0), Point3(-0.5f, -0.5f, 0.5f));
    EXPECT_EQ(base->GetPoint(0), Point3(-0.5f, -0.5f, -0.5f));
    EXPECT_EQ(static_cast<TriObject*>(base)->GetMesh().getNumFaces(), 12);

    // The evaluated triangle mesh converts to itself: the caller owns nothing.
    Converted c(top, 0);
    EXPECT_EQ(c.tri, c.evaluated);
    EXPECT_FALSE(c.owned);
}

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

    // More steps: (steps+1)^2 grid on the quad alone.
    SceneBuilder b2;
    HostPatchObject& fine = *PatchOf(b2.QuadPatch("Fine", square, 4));
    ASSERT_TRUE(fine.ConvertToMeshWithTable(mesh, table));
    EXPECT_EQ(mesh.getNumVerts(), 25);
    EXPECT_EQ(mesh.getNumFaces(), 32);
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

TEST(HostObjects, NurbsTessellatesIntoMoreVerticesThanControlPoints) {
    NurbsSurface s;
    s.uCount = 4;
    s.vCount = 3;
    s.uDegree = 3;
    s.vDegree = 2;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) s.points.push_back({static_cast<float>(i), static_cast<float>(j), i == 1 ? 1.0f : 0});
    SceneBuilder b;
    HostNode& node = b.Nurbs("Surface", s);
    Object* object = node.GetObjectRef();
    EXPECT_EQ(object->ClassID(), kNurbsClassId1);
    EXPECT_EQ(object->NumPoints(), 12);
    Converted c(object, 0);
    ASSERT_TRUE(c.owned);
    // Default segments: 2 * (count - 1) per direction.
    EXPECT_EQ(c.mesh().getNumVerts(), 7 * 5);
    EXPECT_EQ(c.mesh().getNumFaces(), 6 * 4 * 2);
    // Clamped knots: the surface interpolates its corner control points.
    EXPECT_TRUE(c.mesh().verts[0].Equals({0, 0, 0}, 1e-6f));
    EXPECT_TRUE(c.mesh().verts[6].Equals({3, 0, 0}, 1e-6f));
    EXPECT_TRUE(c.mesh().verts[34].Equals({3, 2, 0}, 1e-6f));

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
