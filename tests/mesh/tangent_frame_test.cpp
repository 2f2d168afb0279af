// Tangent frames: the corner frame of a mirrored mapping, the angle weights, the orthonormalisation
// with its degenerate cases, and the frames of meshes without coordinates or with collapsed
// faces. (A plain quad's frames are in the mesh_tangents golden file.)
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>

#include "common/math_expect.h"
#include "host/objects/scene_builder.h"
#include "mesh/tangent_frame.h"
#include "mesh_test_util.h"

using namespace mesh_test;

namespace {

const Point3 kP0{0, 0, 0}, kP1{1, 0, 0}, kP2{0, 1, 0};

TEST(TangentFrame, MirroredMappingKeepsTheFrameRightHanded) {
    // Mirrored coordinates (u falls along +x): the tangent turns round, and the bitangent is
    // chosen to keep the frame right-handed about the normal.
    XTangentFrame f = CornerTangentFrame(kP0, kP1, kP2, {1, 1}, {0, 1}, {1, 0});
    ExpectPoint3Near(f.tangent, {-1, 0, 0});
    Point3 n{0, 0, 1};
    OrthonormalizeFrame(f.tangent, f.bitangent, n);
    ExpectPoint3Near(f.tangent, {-1, 0, 0});
    ExpectPoint3Near(f.bitangent, {0, -1, 0});
    EXPECT_GE((f.tangent ^ f.bitangent) % n, 0);
}

TEST(TangentFrame, DegenerateMappings) {
    // One coordinate for all corners: nothing.
    XTangentFrame f = CornerTangentFrame(kP0, kP1, kP2, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f});
    EXPECT_EQ(f.tangent, Point3(0, 0, 0));
    EXPECT_EQ(f.bitangent, Point3(0, 0, 0));
    // Coordinates on a line (det 0): a tangent along the first edge, no bitangent.
    f = CornerTangentFrame(kP0, kP1, kP2, {0, 0}, {-2, 0}, {-4, 0});
    ExpectPoint3Near(f.tangent, {-1, 0, 0});
    EXPECT_EQ(f.bitangent, Point3(0, 0, 0));
    // du1 = 0: the second edge.
    f = CornerTangentFrame(kP0, kP1, kP2, {0, 0}, {0, 0}, {0.5f, 2});
    ExpectPoint3Near(f.tangent, {0, 1, 0});
    EXPECT_EQ(f.bitangent, Point3(0, 0, 0));
    // A det so small that 1 / det overflows still gives unit vectors, never NaN.
    f = CornerTangentFrame(kP0, kP1, kP2, {0, 0}, {1e-20f, 0}, {0, 1e-20f});
    EXPECT_TRUE(Finite(f.tangent) && Finite(f.bitangent));
    ExpectPoint3Near(f.tangent, {1, 0, 0});
    ExpectPoint3Near(f.bitangent, {0, 1, 0});
    // Steps in u so small that the scaled edge overflows, or its squared length does.
    f = CornerTangentFrame(kP0, kP1, kP2, {0, 0}, {FLT_TRUE_MIN, 0}, {2 * FLT_TRUE_MIN, 0});
    ExpectPoint3Near(f.tangent, {1, 0, 0});
    f = CornerTangentFrame(kP0, kP1, kP2, {0, 0}, {-1e-30f, 0}, {0, 1e-30f});  // det underflows to 0
    ExpectPoint3Near(f.tangent, {-1, 0, 0});
    EXPECT_EQ(f.bitangent, Point3(0, 0, 0));
    // Edges so short that their squared length underflows: still unit vectors.
    f = CornerTangentFrame(kP0, kP1 * 1e-30f, kP2 * 1e-30f, {0, 1}, {1, 1}, {0, 0});
    ExpectPoint3Near(f.tangent, {1, 0, 0});
    ExpectPoint3Near(f.bitangent, {0, -1, 0});
}

TEST(TangentFrame, AngleWeights) {
    const std::array<float, 3> right = TriangleCornerAngles(kP0, kP1, kP2);
    EXPECT_NEAR(right[0], std::numbers::pi / 2, 1e-6);
    EXPECT_NEAR(right[1], std::numbers::pi / 4, 1e-6);
    EXPECT_NEAR(right[2], std::numbers::pi / 4, 1e-6);
    // A side of length zero: no defined angle, no weight.
    EXPECT_EQ(TriangleCornerAngles(kP0, kP0, kP2), (std::array<float, 3>{0, 0, 0}));
    // A needle whose cosine rounds past 1: finite angles.
    const std::array<float, 3> needle = TriangleCornerAngles({0, 0, 0}, {1, 0, 0}, {2, 1e-7f, 0});
    for (float a : needle) EXPECT_TRUE(std::isfinite(a));
}

TEST(TangentFrame, OrthonormalizeRebuildsMissingVectors) {
    // Only the normal: the tangent is seeded from a fixed axis.
    Point3 t{}, b{}, n{0, 0, 2};
    OrthonormalizeFrame(t, b, n);
    ExpectPoint3Near(t, {1, 0, 0});
    ExpectPoint3Near(b, {0, 1, 0});
    ExpectPoint3Near(n, {0, 0, 1});

    // Only the bitangent, or only the tangent: the other is the cross product.
    t = {}, b = {0, 3, 1}, n = {0, 0, 1};
    OrthonormalizeFrame(t, b, n);
    ExpectPoint3Near(b, {0, 1, 0});
    ExpectPoint3Near(t, {1, 0, 0});

    // A zero normal with both sums: rebuilt as t x b and written back.
    t = {1, 0, 0}, b = {1, 1, 0}, n = {};
    OrthonormalizeFrame(t, b, n);
    ExpectPoint3Near(n, {0, 0, 1});
    ExpectPoint3Near(b, {0, 1, 0});
    // A zero normal and a zero tangent: the normal stays zero, the bitangent is only normalised.
    t = {}, b = {0, 0, 5}, n = {};
    OrthonormalizeFrame(t, b, n);
    EXPECT_EQ(n, Point3(0, 0, 0));
    EXPECT_EQ(t, Point3(0, 0, 0));
    ExpectPoint3Near(b, {0, 0, 1});

    // A tangent along the normal loses everything when its normal part goes: rebuilt from b.
    t = {0, 0, 1}, b = {0, 1, 0}, n = {0, 0, 1};
    OrthonormalizeFrame(t, b, n);
    ExpectPoint3Near(t, {1, 0, 0});
    ExpectPoint3Near(b, {0, 1, 0});
}

Mesh Quad() { return QuadMesh(2.0f); }

XMeshData Generate(const Mesh& mesh, const ExportOptions& options) {
    SceneBuilder b;
    b.Mesh("Q", mesh);
    ExportFixture f(b.Take(), options);
    f.CollectAndPass();
    EXPECT_TRUE(f.Geometry("Q") && f.Geometry("Q")->meshData);
    return *f.Geometry("Q")->meshData;
}

TEST(TangentFrame, TexCoordsOffSeedsFramesFromTheNormal) {
    ExportOptions o = MeshOptions();
    o.Tangent = 1;
    o.DeclData = 1;
    o.TexCoords = 0;
    const XMeshData data = Generate(Quad(), o);
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        ExpectPoint3Near(data.tangents[k], {0, 0, 1});
        ExpectPoint3Near(data.bitangents[k], {1, 0, 0});
    }
}

TEST(TangentFrame, FacesWithAZeroLengthSideAddNothing) {
    Mesh mesh = Quad();
    // A third face that collapses two corners onto one point, with wild coordinates.
    mesh.verts.push_back({2, 0, 0});
    mesh.setNumFaces(3);
    mesh.faces[2].v[0] = 1, mesh.faces[2].v[1] = 4, mesh.faces[2].v[2] = 3;
    mesh.faces[2].smGroup = 1;
    SetVertexChannel(mesh, 1, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {-7, 3, 0}});
    ExportOptions o = MeshOptions();
    o.Tangent = 1;
    o.DeclData = 1;
    const XMeshData data = Generate(mesh, o);
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        if (data.vertices[k].positionIndex == 4) {
            // Touched only by the collapsed face, which has no normal either: nothing to build.
            EXPECT_EQ(data.tangents[k], Point3(0, 0, 0));
            EXPECT_EQ(data.VertexCorner(k).normal, Point3(0, 0, 0));
        } else {
            ExpectPoint3Near(data.tangents[k], {1, 0, 0});
        }
    }
}

}  // namespace

TEST(TangentFrame, NormalsAreTheSameWhetherFramesAreWrittenOrNot) {
    // Corner 0 of each face has a zero normal and takes one from its frame; frames are only
    // kept for DeclData, which must not change any normal.
    Mesh mesh = Quad();
    MeshNormalSpec& spec = mesh.SpecifyNormals();
    spec.normals = {{0, 0, 0}, {0, 0, 2}};
    spec.faces.assign(mesh.faces.size(), TVFace{{0, 1, 1}});
    ExportOptions o = MeshOptions();
    o.Tangent = 1;
    const XMeshData plain = Generate(mesh, o);
    o.DeclData = 1;
    const XMeshData framed = Generate(mesh, o);
    EXPECT_TRUE(plain.tangents.empty());
    ASSERT_EQ(plain.vertices.size(), framed.vertices.size());
    for (uint32_t k = 0; k < plain.vertices.size(); ++k) {
        EXPECT_EQ(plain.VertexCorner(k).normal, framed.VertexCorner(k).normal) << k;
        EXPECT_NE(plain.VertexCorner(k).normal, Point3(0, 0, 0)) << k;
    }
}
