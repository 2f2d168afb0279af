// Triangle meshes in scene documents: vertex alpha comes through a document, bad map channels and
// specified normals are refused; the host's smoothing-group normals are what the mesh data reads.
// (The other channels and normals come through unchanged in the command tests' export of each
// model's dump; the models' alpha is all ones, which a lost channel reads as too.)
#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "host/document/scene_document.h"
#include "host/objects/host_objects.h"
#include "mesh_test_util.h"

using namespace mesh_test;

namespace {

std::string Document(const std::string& meshExtra) {
    return R"({"plover_scene": 1, "nodes": [{"name": "T", "wireColor": [255, 128, 0], "object": {"type": "mesh", "mesh": {
        "vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2], "smoothingGroups": [1], "materialIds": [2])" +
           meshExtra + "}}}]}";
}

TEST(MeshSceneDocument, VertexAlphaIsSavedAndLoadedAgain) {
    std::string error;
    auto scene = LoadSceneDocumentFromString(
        Document(R"(, "mapChannels": [{"channel": -2, "vertices": [0.25,0,0], "faces": [0,0,0]}])"), "t.json", error);
    ASSERT_TRUE(scene) << error;
    auto again = LoadSceneDocumentFromString(SaveSceneDocument(*scene), "saved.json", error);
    ASSERT_TRUE(again) << error;
    const HostNode& node = *again->root().children()[0];
    const Mesh& mesh = static_cast<const HostTriObject*>(dynamic_cast<const HostObject*>(node.object()))->mesh();
    EXPECT_EQ(mesh.Map(kVertexAlphaChannel).tv, std::vector<Point3>{Point3(0.25f, 0, 0)});
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
