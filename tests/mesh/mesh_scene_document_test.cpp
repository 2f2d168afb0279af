// Triangle meshes in scene documents: map channels and specified normals load, validate and
// round-trip; the host's smoothing-group normals are what the mesh data reads.
#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "host/host_objects.h"
#include "host/scene_document.h"
#include "mesh_test_util.h"

using namespace mesh_test;

namespace {

std::string Document(const std::string& meshExtra) {
    return R"({"plover_scene": 1, "nodes": [{"name": "T", "wireColor": [255, 128, 0], "object": {"type": "mesh", "mesh": {
        "vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2], "smoothingGroups": [1], "materialIds": [2])" +
           meshExtra + "}}}]}";
}

const Mesh& MeshOf(const HostScene& scene) {
    const HostNode& node = *scene.root().children()[0];
    return static_cast<const HostTriObject*>(dynamic_cast<const HostObject*>(node.object()))->mesh();
}

TEST(MeshSceneDocument, MapChannelsAndNormalsRoundTrip) {
    const std::string doc = Document(R"(,
        "mapChannels": [
          {"channel": 1, "vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]},
          {"channel": 0, "vertices": [1,0,0, 0,0.5,0], "faces": [0,1,1]},
          {"channel": -2, "vertices": [0.25,0,0], "faces": [0,0,0]}],
        "normals": {"normals": [0,0,1, 0,1,0], "faces": [0,0,1]})");
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(doc, "t.json", error);
    ASSERT_TRUE(scene) << error;
    const Mesh& mesh = MeshOf(*scene);
    EXPECT_EQ(mesh.Map(0).tv[1], Point3(0, 0.5f, 0));
    ASSERT_NE(mesh.GetSpecifiedNormals(), nullptr);
    EXPECT_EQ(mesh.GetSpecifiedNormals()->GetNormal(0, 2), Point3(0, 1, 0));

    // Saved and loaded again: the same channels and normals.
    const std::string saved = SaveSceneDocument(*scene);
    std::unique_ptr<HostScene> again = LoadSceneDocumentFromString(saved, "saved.json", error);
    ASSERT_TRUE(again) << error;
    const Mesh& reloaded = MeshOf(*again);
    for (int channel : {-2, 0, 1}) {
        EXPECT_EQ(reloaded.Map(channel).tv, mesh.Map(channel).tv) << channel;
        ASSERT_EQ(reloaded.Map(channel).tf.size(), 1u);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(reloaded.Map(channel).tf[0].t[k], mesh.Map(channel).tf[0].t[k]);
    }
    ASSERT_NE(reloaded.GetSpecifiedNormals(), nullptr);
    EXPECT_EQ(reloaded.GetSpecifiedNormals()->normals, mesh.GetSpecifiedNormals()->normals);
    EXPECT_EQ(SaveSceneDocument(*again), saved);
}

TEST(MeshSceneDocument, InvalidCornerDataIsRejectedWithItsPlace) {
    struct Case {
        const char* extra;
        const char* error;
    };
    const Case cases[] = {
        {R"(, "mapChannels": [{"channel": 1, "vertices": [0,0,0], "faces": [0,0,0,0,0,0]}])",
         "t.json: nodes[0].object.mesh.mapChannels[0].faces: expected three indices per face (3), found 6"},
        {R"(, "mapChannels": [{"channel": 1, "vertices": [0,0,0], "faces": [0,0,0]},
                             {"channel": 1, "vertices": [0,0,0], "faces": [0,0,0]}])",
         "t.json: nodes[0].object.mesh.mapChannels[1].channel: channel 1 is given twice"},
        {R"(, "normals": {"normals": [0,0,1], "faces": [0,0,3]})",
         "t.json: nodes[0].object.mesh.normals.faces[2]: index 3 is out of range (1 normals)"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(LoadSceneDocumentFromString(Document(c.extra), "t.json", error), nullptr) << c.extra;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(MeshSceneDocument, BuiltNormalsFollowSmoothingGroups) {
    // Four faces around vertex 0: groups 1, 1|2, 2 form one cluster; group 4 another; group 0
    // uses its face normal.
    Mesh mesh;
    mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
    mesh.setNumFaces(5);
    const uint32_t faces[5][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}, {0, 5, 1}};
    const uint32_t groups[5] = {1, 3, 2, 4, 0};
    for (int f = 0; f < 5; ++f) {
        std::copy(faces[f], faces[f] + 3, mesh.faces[f].v);
        mesh.faces[f].smGroup = groups[f];
    }
    mesh.buildNormals();
    const RVertex* rv = mesh.getRVertPtr(0);
    ASSERT_NE(rv, nullptr);
    EXPECT_EQ(rv->normalCount, 2u);
    // The first three faces are flat in z = 0: their cluster's normal is +Z, with their groups.
    ExpectPoint3Near(CornerNormal(mesh, 0, 0, nullptr), {0, 0, 1});
    ExpectPoint3Near(CornerNormal(mesh, 2, 0, nullptr), {0, 0, 1});
    EXPECT_EQ(mesh.renderNormal(rv->firstNormal).smGroup, 3u);
    // Group 4 alone: its face normal. Group 0: the face normal, even where vertex 1 has a
    // render normal of group 1.
    ExpectPoint3Near(CornerNormal(mesh, 3, 0, nullptr), mesh.getFaceNormal(3));
    ExpectPoint3Near(CornerNormal(mesh, 4, 2, nullptr), mesh.getFaceNormal(4));
    // Vertex 1 has one render normal (face 0's cluster): any grouped face there gets it.
    ExpectPoint3Near(CornerNormal(mesh, 0, 1, nullptr), {0, 0, 1});
}

}  // namespace
