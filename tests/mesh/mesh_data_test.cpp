// Mesh data generation beyond the mesh golden files: winding, material indices, slot transforms,
// channels of bones, map data the mesh lacks, faces shared with the mesh, and the two failure
// messages.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "common/math_expect.h"
#include "host/objects/scene_builder.h"
#include "material/xmaterial.h"
#include "mesh/mesh_data.h"
#include "mesh_test_util.h"
#include "plugin/data_pass.h"

using namespace mesh_test;

namespace {

// Runs the data pass over one mesh node called "M" (which checks its record) and returns its
// node, pointed afterwards at `edited`, a copy of the mesh that a test may change and run
// GenMeshData over again.
struct OneMesh {
    explicit OneMesh(const Mesh& mesh, const ExportOptions& options = MeshOptions(),
                     const Matrix3& transform = Matrix3(), uint32_t wireColor = 0x00FFFFFF)
        : edited(mesh) {
        SceneBuilder b;
        b.Mesh("M", mesh).Transform(transform).WireColor(wireColor);
        fixture = std::make_unique<ExportFixture>(b.Take(), options);
        fixture->CollectAndPass();
        node = fixture->Geometry("M");
        node->mesh = &edited;
    }
    const XMeshData& data() const { return *node->meshData; }
    // GenMeshData over the node again, with the export's settings.
    bool Generate() {
        ExportContext& exporter = *fixture->exporter;
        return GenMeshData(MeshSettingsOf(exporter), exporter.materialTable, *node, exporter.meter, exporter.messages);
    }
    Mesh edited;
    std::unique_ptr<ExportFixture> fixture;
    XRenderableNode* node = nullptr;
};

// The mesh vertex behind each export vertex of face f, in stored order.
std::array<uint32_t, 3> FaceSources(const XMeshData& data, uint32_t f) {
    std::array<uint32_t, 3> s{};
    for (int k = 0; k < 3; ++k) s[k] = data.vertices[data.faces[f].index[k]].positionIndex;
    return s;
}

TEST(MeshData, WindingFollowsMirroringAndHandedness) {
    const Mesh mesh = TriangleMesh();
    const Matrix3 mirror = ScaleMatrix({-1, 1, 1});
    struct Case {
        bool rightHand;
        bool mirrored;
        std::array<uint32_t, 3> expected;
    };
    for (const Case& c : {Case{false, false, {0, 2, 1}}, Case{false, true, {0, 1, 2}}, Case{true, false, {0, 1, 2}},
                          Case{true, true, {0, 2, 1}}}) {
        SCOPED_TRACE(testing::Message() << "RightHand " << c.rightHand << " mirrored " << c.mirrored);
        ExportOptions o = MeshOptions();
        o.RightHand = c.rightHand;
        OneMesh m(mesh, o, c.mirrored ? mirror : Matrix3());
        EXPECT_EQ(FaceSources(m.data(), 0), c.expected);
        const XMeshData& d = m.data();
        const Point3 a = d.positions[FaceSources(d, 0)[0]].position, b = d.positions[FaceSources(d, 0)[1]].position,
                     e = d.positions[FaceSources(d, 0)[2]].position;
        const Point3 geometric = (b - a) ^ (e - a);
        // The winding undoes exactly what mirroring does to the cross product, so the stored
        // corner order always turns towards the corner normal.
        EXPECT_GT(geometric % d.VertexCorner(d.faces[0].index[0]).normal, 0);
    }
}

TEST(MeshData, MaterialIndicesWrapAndSplitVertices) {
    Mesh mesh = QuadMesh(1.0f);
    mesh.faces[0].setMatID(1);
    mesh.faces[1].setMatID(7);

    OneMesh m(mesh);
    // No material entries: every face has position 0, and nothing splits.
    EXPECT_EQ(m.data().FaceMaterial(0), 0u);
    EXPECT_EQ(m.data().FaceMaterial(1), 0u);
    EXPECT_EQ(m.data().vertices.size(), 4u);

    // Three entries: id 7 wraps to 1, the same as face 0, so nothing splits.
    auto regenerate = [&](size_t entries, uint16_t secondId) {
        m.edited.faces[1].setMatID(secondId);
        m.node->materials.clear();
        for (size_t i = 0; i < entries; ++i) m.node->materials.push_back(std::make_unique<XMaterial>("m"));
        EXPECT_TRUE(m.Generate());
        ExpectMeshDataInvariants(m.data());
    };
    regenerate(3, 7);
    EXPECT_EQ(m.data().FaceMaterial(1), 1u);
    EXPECT_EQ(m.data().vertices.size(), 4u);
    // (Different ids splitting shared vertices is the mesh_multi_material golden file's.) One
    // entry: every face uses it.
    regenerate(1, 2);
    EXPECT_EQ(m.data().FaceMaterial(1), 0u);
    EXPECT_EQ(m.data().vertices.size(), 4u);
}

TEST(MeshData, SlotTransformsApplyOnlyToChannelsOnTheMesh) {
    Mesh mesh = TriangleMesh({{0.25f, 0.25f, 0}, {1, 0, 0}, {0, 1, 0}});
    SetVertexChannel(mesh, 3, {{0.5f, 0.5f, 0}, {1, 0, 0}, {0, 1, 0}});
    OneMesh m(mesh);
    // A material slot on channel 3 gives its transform; one on channel 2 (not on the mesh) is
    // ignored.
    auto material = std::make_unique<XMaterial>("m");
    material->slots[0].mapChannel = 2;
    material->slots[0].uvTransform.m[2][0] = 100;
    material->slots[1].mapChannel = 3;
    material->slots[1].uvTransform.m[2][0] = 0.125f;  // shifts u
    m.node->materials.push_back(std::move(material));
    ASSERT_TRUE(m.Generate());
    const uint32_t s = m.data().VertexSlot(m.data().faces[0].index[0]);
    ExpectPoint3Near(m.data().Uvw(s, 0), {0.25f, 0.75f, 0});
    ExpectPoint3Near(m.data().Uvw(s, 1), {0.625f, 0.5f, 0});
}

TEST(MeshData, IdenticalChannelsOfBonesStaySeparate) {
    Mesh mesh = CubeMesh(false);
    SetVertexChannel(mesh, 3, mesh.Map(1).tv);
    SetVertexChannel(mesh, 5, std::vector<Point3>(8, Point3(0.5f, 0.5f, 0)));
    // (Merging on mesh nodes shows in the mesh writer's tests.) Not on a node that is not a mesh
    // node.
    ExportOptions o = MeshOptions();
    o.MultiTexCoordsOptimize = 1;
    o.BoneMesh = 1;
    SceneBuilder b;
    b.Bone("B", mesh);
    ExportFixture f(b.Take(), o);
    f.CollectAndPass();
    ASSERT_TRUE(f.Geometry("B") && f.Geometry("B")->meshData);
    EXPECT_EQ(f.Geometry("B")->meshData->channelMap, (std::vector<int32_t>{0, 1, 2}));
}

TEST(MeshData, MissingMapDataReadsAsDefaults) {
    Mesh mesh = TriangleMesh();
    SetVertexChannel(mesh, kVertexColorChannel, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    // Alpha has its own faces: all three corners share one alpha vertex.
    mesh.setMapSupport(kVertexAlphaChannel);
    mesh.Map(kVertexAlphaChannel).tv = {{0.5f, 0, 0}};
    mesh.Map(kVertexAlphaChannel).tf.assign(1, TVFace{});
    ExportOptions o = MeshOptions();
    o.VertexColor = 1;
    OneMesh m(mesh, o);
    EXPECT_EQ(m.data().VertexCorner(0).alpha, 0.5f);
    // Map data the mesh claims but lacks reads as the defaults instead of out of range.
    m.edited.Map(kVertexColorChannel).tf.clear();
    m.edited.Map(kVertexColorChannel).tf.assign(1, TVFace{{0, 1, 9}});
    m.edited.Map(1).tf.clear();
    ASSERT_TRUE(m.Generate());
    ExpectMeshDataInvariants(m.data());
    for (uint32_t k = 0; k < 3; ++k) {
        if (m.data().vertices[k].positionIndex == 2) {
            EXPECT_EQ(m.data().VertexCorner(k).color, Color(1, 1, 1));
        }
        EXPECT_EQ(m.data().Uvw(m.data().VertexSlot(k), 0), Point3(0, 1, 0));  // (0, 0) after (u, 1 - v)
    }
}

// Channels and normals that share the mesh's faces (as the importers make them) give the same
// records as their own copies of those faces. They let a position's later corners take its first
// record unread, also at a value that is not a number, which never compares equal: each corner
// there keeps its own record.
TEST(MeshData, SharedFacesReadAsOwnFaces) {
    Mesh own = CubeMesh(false);
    std::vector<Point3> values = own.verts;
    values[0].x = std::numeric_limits<float>::quiet_NaN();
    for (int channel : {2, kVertexColorChannel, kVertexAlphaChannel}) SetVertexChannel(own, channel, values);
    MeshNormalSpec& spec = own.SpecifyNormals();
    for (const Point3& p : own.verts) spec.normals.push_back(p);
    for (const Face& face : own.faces) spec.faces.push_back(TVFace{{face.v[0], face.v[1], face.v[2]}});
    Mesh shared = own;
    for (int channel : {1, 2, kVertexColorChannel, kVertexAlphaChannel}) shared.Map(channel).ShareMeshFaces();
    shared.GetSpecifiedNormals()->ShareMeshFaces();

    ExportOptions o = MeshOptions();
    o.VertexColor = 1;
    o.Tangent = 1;
    OneMesh a(own, o), b(shared, o);
    const XMeshData &x = a.data(), &y = b.data();
    ASSERT_EQ(x.vertices.size(), y.vertices.size());
    EXPECT_GT(x.vertices.size(), own.verts.size());  // vertex 0's corners are not shared
    const auto sameBytes = [](const auto& p, const auto& q) {
        return p.size() == q.size() && std::memcmp(p.data(), q.data(), p.size() * sizeof(p[0])) == 0;
    };
    EXPECT_TRUE(sameBytes(x.faces, y.faces));
    EXPECT_TRUE(sameBytes(x.vertices, y.vertices));
    EXPECT_TRUE(sameBytes(x.normals, y.normals));
    EXPECT_TRUE(sameBytes(x.uvPool, y.uvPool));
    EXPECT_TRUE(sameBytes(x.colorPool, y.colorPool));
}

TEST(MeshData, FailuresShowTheirMessages) {
    OneMesh m(TriangleMesh());
    HostScene& scene = *m.fixture->scene;
    scene.ClearRecords();

    // No mesh, no host node: false, nothing made, nothing shown.
    std::shared_ptr<XMeshData> before = m.node->meshData;
    const Mesh* mesh = m.node->mesh;
    m.node->mesh = nullptr;
    EXPECT_FALSE(m.Generate());
    EXPECT_EQ(m.node->meshData, before);
    m.node->mesh = mesh;
    EXPECT_TRUE(scene.messages().empty());

    // A face naming a vertex the mesh does not have: the fault message, and no mesh data.
    m.edited.faces[0].v[2] = 3;
    EXPECT_FALSE(m.Generate());
    EXPECT_EQ(m.node->meshData, nullptr);
    ASSERT_EQ(scene.messages().size(), 1u);
    EXPECT_EQ(scene.messages()[0].text, kMeshFaultText);
    EXPECT_EQ(scene.messages()[0].caption, "3ds Max bug");
    EXPECT_EQ(scene.messages()[0].style, kMbOk | kMbIconStop);

    // No faces: the count message, then an empty record.
    scene.ClearRecords();
    m.edited.setNumFaces(0);
    EXPECT_TRUE(m.Generate());
    ASSERT_TRUE(m.node->meshData);
    EXPECT_TRUE(m.data().vertices.empty());
    ASSERT_EQ(scene.messages().size(), 1u);
    EXPECT_EQ(scene.messages()[0].text, "cntFaces <= 0 || cntVerts <= 0");
    EXPECT_EQ(scene.messages()[0].caption, "GenMeshData\xB3\xF6\xB4\xED");
    EXPECT_EQ(scene.messages()[0].style, kMbOk);
}

TEST(MeshData, MeshFaultMakesTheNodeAPlainFrame) {
    Mesh bad = TriangleMesh();
    bad.faces[0].v[1] = 7;
    SceneBuilder b;
    b.Mesh("Bad", bad);
    ExportFixture f(b.Take(), MeshOptions());
    f.CollectAndPass();
    XRenderableNode* node = f.Geometry("Bad");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->meshData, nullptr);
    EXPECT_EQ(node->renderable, 0);
    ASSERT_FALSE(f.scene->messages().empty());
    EXPECT_EQ(f.scene->messages().back().text, kMeshFaultText);
}

}  // namespace
