// The skin objects inside a Mesh: the header counts, one SkinWeights per bone, sanitised names,
// and empty skins.
#include <gtest/gtest.h>

#include <cstring>

#include "skin/skin_fixture.h"
#include "xfile/write_test_util.h"

using namespace skin_test;
using write_test::ValueAt;

namespace {

struct SkinObjects {
    std::vector<uint8_t> header;                // XSkinMeshHeader payload
    std::vector<std::vector<uint8_t>> weights;  // SkinWeights payloads, in order
    bool afterOtherChildren = true;             // the skin objects are the Mesh's last children
};

// The skin objects inside the Mesh called meshName.
SkinObjects SkinObjectsOf(const xfile::XDocument& doc, const std::string& meshName) {
    SkinObjects out;
    for (uint32_t i = 0; i < doc.nodes.size(); ++i) {
        const xfile::XNode& node = doc.nodes[i];
        if (node.isReference || doc.TemplateOf(node).name != "Mesh" || doc.Name(node) != meshName) continue;
        bool skinSeen = false;
        for (uint32_t c : doc.Children(i)) {
            const xfile::XNode& child = doc.nodes[c];
            const std::string tmpl = child.isReference ? "" : doc.TemplateOf(child).name;
            const std::span<const uint8_t> p = doc.Payload(child);
            if (tmpl == "XSkinMeshHeader") {
                out.header.assign(p.begin(), p.end());
                skinSeen = true;
            } else if (tmpl == "SkinWeights") {
                out.weights.emplace_back(p.begin(), p.end());
            } else if (skinSeen) {
                out.afterOtherChildren = false;
            }
        }
    }
    return out;
}

}  // namespace

TEST(SkinWrite, HeaderAndOneEntryPerExportVertex) {
    SceneBuilder b;
    HostNode& b0 = b.Bone("B0");
    HostNode& b1 = b.Bone("1 lonely");  // sanitised to "_1_lonely"
    HostNode& b2 = b.Bone("Arm-2").Translate({0, 0, 2});
    Mesh box = MakeBoxMesh(2, 2, 2);
    box.verts.push_back({9, 9, 9});  // on no face
    HostNode& body = b.Mesh("Body", box);
    HostSkinDeformer& skin = AddSkinDeformer(b.scene(), body);
    skin.bones = {{&b0, {}}, {&b1, {}}, {&b2, {}}};
    for (int p = 0; p < 8; ++p) {
        if (p < 4)
            skin.AddPoint({{0, 0.5f}, {2, 0.5f}});
        else
            skin.AddPoint({{0, 1.0f}});
    }
    skin.AddPoint({{1, 1.0f}});  // the lone vertex: its bone reaches no export vertex
    HostNode& empty = b.Mesh("Empty", MakeBoxMesh(1, 1, 1));
    AddSkinDeformer(b.scene(), empty);  // no bones: header 0, 0, 0 and nothing else

    ExportOptions o = SkinOptions();
    o.Normal = 1;  // one normal per side: 24 export vertices from 8 corners
    SkinFixture f(b.Take(), o);
    const std::vector<uint8_t> bytes = write_test::ExportBytes(f);
    xfile::XDocument doc;
    ASSERT_TRUE(xfile::ReadXFile(bytes, &doc).ok());

    const XRenderableNode* node = f.Geometry("Body");
    ASSERT_TRUE(node && node->skinned && node->meshData);
    const XMeshData& data = *node->meshData;
    ASSERT_EQ(data.vertices.size(), 24u);

    const SkinObjects objects = SkinObjectsOf(doc, "Body");
    ASSERT_EQ(objects.header.size(), 6u);
    EXPECT_EQ(ValueAt<uint16_t>(objects.header, 0), 2u);  // max weights per vertex
    EXPECT_EQ(ValueAt<uint16_t>(objects.header, 2), 2u);  // max weights per face
    EXPECT_EQ(ValueAt<uint16_t>(objects.header, 4), 3u);  // bones
    EXPECT_TRUE(objects.afterOtherChildren);
    ASSERT_EQ(objects.weights.size(), 3u);

    // (Each entry's vertices, weights and offset are read back through Assimp in skin_export_test.cpp.)
    const char* names[] = {"B0", "_1_lonely", "Arm-2"};
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(objects.weights[k].data())), names[k]);
    EXPECT_EQ(ValueAt<uint32_t>(objects.weights[0], 3), 24u);  // B0: all 24 export vertices
    EXPECT_EQ(ValueAt<uint32_t>(objects.weights[1], 10), 0u);  // the lone vertex's bone: none

    const SkinObjects none = SkinObjectsOf(doc, "Empty");
    EXPECT_EQ(none.header, std::vector<uint8_t>(6, 0));
    EXPECT_TRUE(none.weights.empty());
}
