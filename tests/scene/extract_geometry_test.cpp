// Geometry extraction: which stack level the geometry comes from, the deformer look-ups, the
// conversion and patch paths, and what the node keeps.
#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "scene/export_fixture.h"
#include "scene/extract_geometry.h"

namespace {

const Point3 kQuad[4] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};

// The first vertex of the box (-0.5, -0.5, -0.5) after the edits that were applied.
Point3 FirstVertex(const XRenderableNode& node) { return node.meshCopy.verts.at(0); }

}  // namespace

TEST(ExtractGeometry, DeformerLevelDecidesWhichEditsApply) {
    SceneBuilder b;
    // Same level: the edit (applied before the skin) goes with the skin's level.
    HostNode& same = b.Mesh("Same");
    b.Edit(same).translation = {10, 0, 0};
    b.Skin(same);
    // Lower level: the edit is kept, only the skin's level is left out.
    HostNode& lower = b.Mesh("Lower");
    b.Edit(lower).translation = {10, 0, 0};
    b.NewStackLevel(lower);
    b.Skin(lower);
    b.Edit(lower).translation = {0, 100, 0};  // above the skin: never applied
    // A disabled skin is not found: the whole stack is evaluated.
    HostNode& disabled = b.Mesh("Disabled");
    b.Skin(disabled, /*enabled=*/false);
    b.Edit(disabled).translation = {0, 0, 5};
    // A vertex-link deformer counts like a skin.
    HostNode& linked = b.Mesh("Linked");
    b.Edit(linked).translation = {3, 0, 0};
    b.NewStackLevel(linked);
    b.LinkDeformer(linked);
    ExportFixture f(b.Take());
    f.Collect();

    ExpectPoint3Near(FirstVertex(*f.Geometry("Same")), {-0.5f, -0.5f, -0.5f});
    ExpectPoint3Near(FirstVertex(*f.Geometry("Lower")), {9.5f, -0.5f, -0.5f});
    ExpectPoint3Near(f.Geometry("Lower")->objectPoints.at(0), {9.5f, -0.5f, -0.5f});
    ExpectPoint3Near(FirstVertex(*f.Geometry("Disabled")), {-0.5f, -0.5f, 4.5f});
    ExpectPoint3Near(FirstVertex(*f.Geometry("Linked")), {2.5f, -0.5f, -0.5f});

    EXPECT_NE(FindSkinModifier(f.Node("Same")->hostNode), nullptr);
    EXPECT_NE(FindSkinModifier(f.Node("Lower")->hostNode), nullptr);
    EXPECT_EQ(FindSkinModifier(f.Node("Disabled")->hostNode), nullptr);
    EXPECT_EQ(FindLinkModifier(f.Node("Same")->hostNode), nullptr);
    EXPECT_NE(FindLinkModifier(f.Node("Linked")->hostNode), nullptr);
    EXPECT_EQ(FindSkinModifier(f.Node("Linked")->hostNode), nullptr);
    EXPECT_EQ(FindUndeformedObject(nullptr), nullptr);
}

TEST(ExtractGeometry, ConvertedTemporariesAreOwnedAndMeshesAreCopies) {
    SceneBuilder b;
    HostNode& tri = b.Mesh("Tri");
    b.Shape("Shape", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, true);
    ExportFixture f(b.Take());
    f.Collect();

    XRenderableNode* triNode = f.Geometry("Tri");
    ASSERT_NE(triNode, nullptr);
    EXPECT_FALSE(triNode->ownsConvertedObject);  // the triangle-mesh object needs no conversion
    EXPECT_EQ(triNode->convertedObject, tri.object());
    EXPECT_EQ(triNode->mesh, &triNode->meshCopy);
    EXPECT_EQ(triNode->meshCopy.getNumFaces(), 12);
    EXPECT_EQ(triNode->objectPoints.size(), 8u);
    EXPECT_FALSE(triNode->topologyChanged);
    // The copy is the node's own: editing the host mesh afterwards does not reach it.
    static_cast<HostTriObject*>(tri.object())->GetMesh().verts[0] = {7, 7, 7};
    ExpectPoint3Near(triNode->meshCopy.verts[0], {-0.5f, -0.5f, -0.5f});

    // A second call changes nothing.
    const Mesh* before = triNode->mesh;
    EXPECT_TRUE(triNode->ExtractGeometry(0));
    EXPECT_EQ(triNode->mesh, before);
    EXPECT_EQ(triNode->objectPoints.size(), 8u);

    XRenderableNode* shape = f.Geometry("Shape");
    ASSERT_NE(shape, nullptr);
    EXPECT_TRUE(shape->ownsConvertedObject);  // a temporary, deleted with the node
    EXPECT_NE(shape->convertedObject, nullptr);
    EXPECT_EQ(shape->meshCopy.getNumFaces(), 2);
}

TEST(ExtractGeometry, PatchKeepsItsKindTableAndTopologyChange) {
    SceneBuilder b;
    HostNode& patch = b.QuadPatch("Patch", kQuad, /*steps=*/1);
    ExportFixture f(b.Take());
    f.Collect();
    XRenderableNode* node = f.Geometry("Patch");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, PatchObjectKind);
    EXPECT_EQ(node->patchMesh, &PatchOf(patch)->GetPatchMesh(0));
    EXPECT_EQ(node->patchTable.size(), static_cast<size_t>(node->meshCopy.getNumFaces()));
    EXPECT_FALSE(node->ownsConvertedObject);
    EXPECT_EQ(node->convertedObject, nullptr);
    // The points are the patch's: 4 corners, 8 edge handles, 4 interior points.
    EXPECT_EQ(node->objectPoints.size(), 16u);
    ExpectPoint3Near(node->objectPoints[2], {2, 2, 0});
    EXPECT_TRUE(node->topologyChanged);
}

TEST(ExtractGeometry, PatchWhoseCountsMatchStillChangesTopology) {
    // At three steps a quad patch tessellates into 4 x 4 vertices, as many as the patch has
    // points; the vertices are still not the points, so the flag is set all the same.
    SceneBuilder b;
    b.QuadPatch("Patch", kQuad, /*steps=*/3);
    ExportFixture f(b.Take());
    f.Collect();
    XRenderableNode* node = f.Geometry("Patch");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->meshCopy.getNumVerts(), 16);
    ASSERT_EQ(node->objectPoints.size(), 16u);
    EXPECT_TRUE(node->topologyChanged);
}

TEST(ExtractGeometry, NurbsHasMoreVerticesThanPoints) {
    NurbsSurface s;
    s.uCount = 3;
    s.vCount = 3;
    s.uDegree = 2;
    s.vDegree = 2;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) s.points.push_back({float(i), float(j), float((i + j) % 2)});
    SceneBuilder b;
    b.Nurbs("Surface", s);
    ExportFixture f(b.Take());
    f.Collect();
    XRenderableNode* node = f.Geometry("Surface");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, NurbsObject);
    EXPECT_TRUE(node->ownsConvertedObject);
    EXPECT_EQ(node->objectPoints.size(), 9u);  // the control points, each with its source
    EXPECT_GT(node->meshCopy.getNumVerts(), 9);
    ExpectPoint3Near(node->objectPoints[8], {2, 2, 0});
    EXPECT_TRUE(node->topologyChanged);
}

TEST(ExtractGeometry, FailuresBecomePlainNodes) {
    SceneBuilder b;
    // An edit that deletes every face leaves a mesh without faces.
    HostNode& emptied = b.Mesh("Emptied");
    auto& edit = b.Edit(emptied);
    for (uint32_t face = 0; face < 12; ++face) edit.deleteFaces.push_back(face);
    ExportFixture f(b.Take());
    f.Collect();
    XNode* node = f.Node("Emptied");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(AsRenderable(node), nullptr);
    EXPECT_EQ(node->kind, OtherObject);
    EXPECT_EQ(node->renderable, 0);
    EXPECT_EQ(node->name, "Emptied");

    // A node without a host node extracts nothing.
    XRenderableNode orphan;
    EXPECT_FALSE(orphan.ExtractGeometry(0));
    EXPECT_EQ(orphan.mesh, nullptr);
}
