// Geometry extraction: the stack level the geometry comes from, the deformer look-ups, the
// conversion and patch paths, and what a node owns.
#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "scene/export_fixture.h"
#include "scene/extract_geometry.h"

TEST(ExtractGeometry, DeformerLevelDecidesWhichEditsApply) {
    SceneBuilder b;
    HostNode& same = b.Mesh("Same");  // the edit shares the skin's level: left out with it
    b.Edit(same).translation = {10, 0, 0};
    b.Skin(same);
    HostNode& lower = b.Mesh("Lower");  // the edit is a level below: applied
    b.Edit(lower).translation = {10, 0, 0};
    b.NewStackLevel(lower);
    b.LinkDeformer(lower);
    b.Edit(lower).translation = {0, 100, 0};
    HostNode& disabled = b.Mesh("Disabled");  // a disabled skin is not found: full stack
    b.Skin(disabled, /*enabled=*/false);
    b.Edit(disabled).translation = {0, 0, 5};
    ExportFixture f(b.Take());
    f.Collect();
    for (const char* name : {"Same", "Lower", "Disabled"}) ASSERT_TRUE(f.Geometry(name)->AcquireMesh(0, true));

    ExpectPoint3Near(f.Geometry("Same")->mesh->verts[0], {-0.5f, -0.5f, -0.5f});
    ExpectPoint3Near(f.Geometry("Lower")->mesh->verts[0], {9.5f, -0.5f, -0.5f});
    EXPECT_TRUE(f.Geometry("Lower")->objectPoints.empty());  // the mesh is its points: only counted
    ExpectPoint3Near(f.Geometry("Disabled")->mesh->verts[0], {-0.5f, -0.5f, 4.5f});
    EXPECT_NE(FindSkinModifier(&same), nullptr);
    EXPECT_EQ(FindLinkModifier(&same), nullptr);
    EXPECT_NE(FindLinkModifier(&lower), nullptr);
    EXPECT_EQ(FindSkinModifier(&disabled), nullptr);
}

TEST(ExtractGeometry, PatchAndNurbsKeepTopologyChangedWhateverTheCounts) {
    // At three steps a quad patch tessellates into 4 x 4 vertices, as many as it has points.
    const Point3 quad[4] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    NurbsSurface surface{3, 3, 2, 2, {}, {}, 0, 0};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) surface.points.push_back({float(i), float(j), 0});
    SceneBuilder b;
    HostNode& patchNode = b.QuadPatch("Patch", quad, /*steps=*/3);
    b.Nurbs("Nurbs", surface);
    ExportFixture f(b.Take());
    f.Collect();

    XRenderableNode* patch = f.Geometry("Patch");
    ASSERT_NE(patch, nullptr);
    EXPECT_EQ(patch->pointCount, 16u);
    ASSERT_TRUE(patch->AcquireMesh(0, true));
    EXPECT_EQ(patch->kind, PatchObjectKind);
    EXPECT_EQ(patch->patchMesh, &PatchOf(patchNode)->GetPatchMesh(0));
    EXPECT_EQ(patch->patchTable.size(), 18u);  // one entry per face
    EXPECT_EQ(patch->meshCopy.getNumVerts(), 16);
    EXPECT_EQ(patch->objectPoints.size(), 16u);
    ExpectPoint3Near(patch->objectPoints[2], {2, 2, 0});
    EXPECT_TRUE(patch->topologyChanged);

    XRenderableNode* nurbs = f.Geometry("Nurbs");
    ASSERT_NE(nurbs, nullptr);
    ASSERT_TRUE(nurbs->AcquireMesh(0, true));
    EXPECT_EQ(nurbs->objectPoints.size(), 9u);  // the control points, each with its source
    EXPECT_GT(nurbs->mesh->getNumVerts(), 9);
    EXPECT_TRUE(nurbs->ownsConvertedObject);
    EXPECT_TRUE(nurbs->topologyChanged);
}

TEST(ExtractGeometry, CopiesOwnershipAndFailures) {
    SceneBuilder b;
    HostNode& tri = b.Mesh("Tri");
    HostNode& emptied = b.Mesh("Emptied");  // an edit deletes every face
    b.Edit(emptied).deleteFaces = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    ExportFixture f(b.Take());
    f.Collect();

    // Collection keeps no copy of the host's mesh, only its counts; the data pass reads the
    // mesh of the object evaluated again, as it is then, and drops it when done.
    XRenderableNode* node = f.Geometry("Tri");
    EXPECT_FALSE(node->ownsConvertedObject);  // a triangle-mesh object needs no conversion
    EXPECT_EQ(node->mesh, nullptr);
    EXPECT_TRUE(node->meshCopy.verts.empty());
    EXPECT_EQ(node->faceCount, 12u);
    EXPECT_FALSE(node->topologyChanged);
    Mesh& hostMesh = static_cast<HostTriObject*>(tri.object())->GetMesh();
    hostMesh.verts[0] = {7, 7, 7};
    EXPECT_TRUE(node->ExtractGeometry(0));  // a second call changes nothing
    ASSERT_TRUE(node->AcquireMesh(0, false));
    EXPECT_EQ(node->mesh, &hostMesh);
    EXPECT_TRUE(node->objectPoints.empty());
    node->ReleaseMesh();
    EXPECT_EQ(node->mesh, nullptr);

    EXPECT_EQ(f.Geometry("Emptied"), nullptr);
    EXPECT_EQ(f.Node("Emptied")->kind, OtherObject);
    EXPECT_EQ(f.Node("Emptied")->renderable, 0);
    XRenderableNode orphan;
    EXPECT_FALSE(orphan.ExtractGeometry(0));
}
