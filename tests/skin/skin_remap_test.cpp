// Weight processing: the nearest-point search against the walks it replaces, the triangle test,
// and the remapping onto patch and tessellated meshes.
#include <gtest/gtest.h>

#include <random>

#include "skin/point_search.h"
#include "skin/skin_fixture.h"

using namespace skin_test;

namespace {

// The walks of the description, point by point in index order.
int32_t WalkNearest(const std::vector<Point3>& points, const Point3& q, float start) {
    int32_t best = -1;
    float bestDistance = start;
    for (size_t j = 0; j < points.size(); ++j) {
        const float d = PointDistance(points[j], q, PointMetric::Distance);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int32_t>(j);
        }
    }
    return best;
}

int32_t WalkMatch(const std::vector<Point3>& points, const Point3& q, float start, float limit) {
    for (size_t j = 0; j < points.size(); ++j)
        if (points[j].x == q.x && points[j].y == q.y && points[j].z == q.z) return static_cast<int32_t>(j);
    const int32_t best = WalkNearest(points, q, start);
    return best >= 0 && PointDistance(points[best], q, PointMetric::Distance) < limit ? best : -1;
}

// A geometry node made by hand: mesh, object points, mesh data sized to the mesh, and a
// pointSkin with one bone per host node, each fully on the listed point.
struct HandNode {
    SceneBuilder builder;
    std::vector<HostNode*> bones;
    XRenderableNode node;

    HandNode(Mesh mesh, std::vector<Point3> points, int32_t kind, const std::vector<uint32_t>& bonePoints) {
        node.kind = kind;
        node.meshCopy = std::move(mesh);
        node.mesh = &node.meshCopy;
        node.objectPoints = std::move(points);
        node.topologyChanged = true;
        auto data = std::make_shared<XMeshData>();
        data->positionCount = static_cast<uint32_t>(node.meshCopy.verts.size());
        data->positions.resize(data->positionCount);
        data->faceCount = static_cast<uint32_t>(node.meshCopy.faces.size());
        node.meshData = data;
        node.pointSkin = std::make_shared<XSkinInfo>();
        for (size_t b = 0; b < bonePoints.size(); ++b) {
            bones.push_back(&builder.Bone("Bone" + std::to_string(b)));
            SkinBone& bone =
                node.pointSkin->Add(static_cast<SkinBoneKey>(b), bones.back(), "Bone" + std::to_string(b), Matrix3());
            bone.weights.push_back({bonePoints[b], 1.0f});
        }
    }
    float Weight(size_t bone, size_t position) const { return WeightOf(*node.meshSkin, bones[bone], position); }
};

}  // namespace

TEST(SkinRemap, PointSearchGivesTheWalksAnswers) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> grid(0, 20);
    // Points on a coarse lattice (many duplicates and equal distances) plus a few jittered ones.
    std::vector<Point3> points;
    for (int i = 0; i < 3000; ++i)
        points.push_back({grid(random) * 0.5f, grid(random) * 0.25f, (i % 7 == 0) ? 1e-5f * grid(random) : 0.0f});
    const PointSearch search(points);
    std::uniform_real_distribution<float> jitter(-3e-5f, 3e-5f);
    for (int q = 0; q < 2000; ++q) {
        Point3 query = points[static_cast<size_t>(q * 7) % points.size()];
        if (q % 3 == 1) query += Point3(jitter(random), jitter(random), jitter(random));
        if (q % 3 == 2) query = {grid(random) * 0.37f - 1, grid(random) * 0.29f, grid(random) * 0.1f};
        ASSERT_EQ(search.Match(query, kSkinMatchDistance), WalkMatch(points, query, kPatchSearchStart, kSkinMatchDistance))
            << q;
        ASSERT_EQ(search.Nearest(query, PointMetric::Distance, kTessellatedSearchStart),
                  WalkNearest(points, query, kTessellatedSearchStart))
            << q;
    }
    XRenderableNode node;
    node.objectPoints = points;
    for (int q = 0; q < 300; ++q) {
        const Point3 query{grid(random) * 0.61f - 2, grid(random) * 0.13f, 0.3f};
        ASSERT_EQ(search.EqualOrNearest(query), NearestSourcePoint(node, query)) << q;
    }
    EXPECT_EQ(PointSearch(std::vector<Point3>{}).Match({0, 0, 0}, 1.0f), -1);
}

TEST(SkinRemap, PointOutsideTriangle) {
    const Point3 a{0, 0, 0}, b{2, 0, 0}, c{0, 2, 0};
    EXPECT_TRUE(PointOutsideTriangle(a, a, b, c));     // a corner counts as outside
    EXPECT_FALSE(PointOutsideTriangle({0.5f, 0.5f, 0}, a, b, c));
    EXPECT_FALSE(PointOutsideTriangle({0.5f, 0.5f, 3}, a, b, c));  // seen along the normal
    EXPECT_TRUE(PointOutsideTriangle({2, 2, 0}, a, b, c));
    EXPECT_FALSE(PointOutsideTriangle({1, 0, 0}, a, b, c));  // on an edge: inside
}

// (The weight fix's cap is in the skin extraction tests.)
TEST(SkinRemap, BlendingCapsAtOneAndAddsNoNewBones) {
    HandNode h(MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
               MeshObject, {0, 0});
    h.node.pointSkin->bones.at(0).weights.push_back({1, 1.5f});
    // Queued out of position order: the addition that made the bone is taken as it is, every
    // other sum is capped, each position's additions in the order they came.
    BlendSourceWeights(h.node, 1, 1, 1.0f);
    BlendSourceWeights(h.node, 2, 1, 0.5f);
    BlendSourceWeights(h.node, 0, 1, 1.0f);
    BlendSourceWeights(h.node, 2, 1, 0.5f);
    SettleBlendedWeights(*h.node.meshSkin);
    EXPECT_FLOAT_EQ(h.Weight(0, 1), 1.5f);
    EXPECT_FLOAT_EQ(h.Weight(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(h.Weight(0, 2), 1.0f);  // 0.75 + 0.75 capped
    EXPECT_EQ(h.Weight(1, 2), -1.0f);  // bone 1 has no weight on point 1: not added
    EXPECT_EQ(h.node.meshSkin->bones.size(), 1u);
    EXPECT_EQ(h.node.meshSkin->bones.at(0).weights.size(), 3u);
}

TEST(SkinRemap, PatchCentroidAndCentreAndMeshesThatCannotBeRemapped) {
    ExportFixture f(SceneBuilder().Take());
    const Point3 a{0, 0, 0}, b{3, 0, 0}, c{0, 3, 0};
    PatchMesh triangle;
    triangle.verts = {{a}, {b}, {c}};
    triangle.patches = {Patch{3, {0, 1, 2, 0}}};
    {
        // A triangle patch tessellated with one extra vertex at the centroid.
        HandNode h(MakeMesh({a, b, c, {1, 1, 0}}, {{0, 1, 3}, {1, 2, 3}, {2, 0, 3}}), {a, b, c}, PatchObjectKind,
                   {0, 1, 2});
        h.node.patchMesh = &triangle;
        h.node.patchTable = {0, 0, 0};
        ASSERT_TRUE(RemapPatchSkin(h.node, f.exporter->meter, f.exporter->messages));
        for (size_t bone = 0; bone < 3; ++bone) {
            EXPECT_FLOAT_EQ(h.Weight(bone, bone), 1.0f);  // corners match directly
            EXPECT_NEAR(h.Weight(bone, 3), 1.0f / 3, 1e-6f);
        }
    }
    {
        const Point3 q0{0, 0, 0}, q1{2, 0, 0}, q2{2, 2, 0}, q3{0, 2, 0};
        HandNode h(MakeMesh({q0, q1, q2, q3, {1, 1, 0}}, {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}}),
                   {q0, q1, q2, q3}, PatchObjectKind, {0, 1, 2, 3});
        PatchMesh patches;
        patches.verts = {{q0}, {q1}, {q2}, {q3}};
        patches.patches = {Patch{4, {0, 1, 2, 3}}};
        h.node.patchMesh = &patches;
        h.node.patchTable = {0, 0, 0, 0};
        ASSERT_TRUE(RemapPatchSkin(h.node, f.exporter->meter, f.exporter->messages));
        for (size_t bone = 0; bone < 4; ++bone) EXPECT_NEAR(h.Weight(bone, 4), 0.25f, 1e-6f);
    }
    EXPECT_TRUE(f.scene->messages().empty());

    // A patch mesh without faces shows the message.
    HandNode h(MakeMesh({a, b, c, {1, 1, 0}}, {{0, 1, 3}, {1, 2, 3}}), {a, b, c}, PatchObjectKind, {0, 1, 2});
    h.node.patchMesh = &triangle;
    h.node.patchTable = {0, 0};
    h.node.meshCopy.faces.clear();  // the mesh data still counts two faces
    EXPECT_FALSE(RemapPatchSkin(h.node, f.exporter->meter, f.exporter->messages));
    ASSERT_EQ(f.scene->messages().size(), 1u);
    EXPECT_EQ(f.scene->messages()[0].text, kPatchFaultText);
    EXPECT_EQ(f.scene->messages()[0].caption, kPatchFaultCaption);
    EXPECT_EQ(f.scene->messages()[0].style, kMbOk | kMbIconStop);

    // A patch table that does not cover the faces takes the same path instead of reading past it.
    HandNode g(MakeMesh({a, b, c, {1, 1, 0}}, {{0, 1, 3}, {1, 2, 3}}), {a, b, c}, PatchObjectKind, {0, 1, 2});
    g.node.patchMesh = &triangle;
    g.node.patchTable = {0};
    EXPECT_FALSE(RemapPatchSkin(g.node, f.exporter->meter, f.exporter->messages));
    EXPECT_EQ(f.scene->messages().size(), 2u);
    g.node.patchMesh = nullptr;
    EXPECT_FALSE(RemapPatchSkin(g.node, f.exporter->meter, f.exporter->messages));
}

TEST(SkinRemap, TessellatedMatchesMidpointsRingSearchAndNearestPoint) {
    ExportFixture f(SceneBuilder().Take());
    // Positions 0 and 2 lie on the two control points; 1 is between them, 3 above 1.
    HandNode h(MakeMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}}, {{0, 1, 3}, {1, 2, 3}}),
               {{0, 0, 0}, {2, 0.1f, 0}}, NurbsObject, {0, 1});
    ASSERT_TRUE(RemapTessellatedSkin(h.node, f.exporter->meter));
    EXPECT_FLOAT_EQ(h.Weight(0, 0), 1.0f);
    EXPECT_EQ(h.Weight(1, 0), -1.0f);
    EXPECT_FLOAT_EQ(h.Weight(1, 2), 1.0f);  // the nearest position to (2, 0.1, 0)
    EXPECT_NEAR(h.Weight(0, 1), 0.5f, 1e-6f);
    EXPECT_NEAR(h.Weight(1, 1), 0.5f, 1e-6f);
    EXPECT_NEAR(h.Weight(0, 3), 0.5f, 1e-6f);
    EXPECT_NEAR(h.Weight(1, 3), 0.5f, 1e-6f);

    // Three matched corners around an unmatched inner vertex, and a separate triangle far away
    // without any matched vertex.
    const Point3 a{0, 0, 0}, b{4, 0, 0}, c{0, 4, 0}, p{1, 1, 0};
    HandNode ring(MakeMesh({a, b, c, p, {10, 0, 0}, {11, 0, 0}, {10, 1, 0}}, {{0, 1, 3}, {1, 2, 3}, {2, 0, 3}, {4, 5, 6}}),
                  {a, b, c, {10.5f, 0.5f, 3}}, MeshObject, {0, 1, 2, 3});
    ASSERT_TRUE(RemapTessellatedSkin(ring.node, f.exporter->meter));
    // Area weights of the inner vertex: the sub-triangle opposite each corner over the whole.
    EXPECT_NEAR(ring.Weight(0, 3), 0.5f, 1e-6f);   // |(b-p) x (c-p)| / 2 = 4 of 8
    EXPECT_NEAR(ring.Weight(1, 3), 0.25f, 1e-6f);
    EXPECT_NEAR(ring.Weight(2, 3), 0.25f, 1e-6f);
    // The far triangle reaches no matched vertex: each vertex takes the nearest point.
    for (size_t v = 4; v < 7; ++v) {
        EXPECT_FLOAT_EQ(ring.Weight(3, v), 1.0f);
        EXPECT_EQ(ring.Weight(0, v), -1.0f);
    }
    // Nothing to remap from or onto: no skin.
    HandNode empty(MakeMesh({a, b, c}, {{0, 1, 2}}), {}, MeshObject, {});
    EXPECT_FALSE(RemapTessellatedSkin(empty.node, f.exporter->meter));
}
