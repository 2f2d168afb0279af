// The skin objects inside a Mesh: the header counts, one SkinWeights per bone, sanitised names,
// and empty skins.
#include <gtest/gtest.h>

#include <sstream>

#include "skin/skin_fixture.h"
#include "xfile/write_test_util.h"

using namespace skin_test;

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

    ExportOptions o = TreeTestOptions();
    o.Normal = 1;  // one normal per side: 24 export vertices from 8 corners
    ExportFixture f(b.Take(), o);
    // The skin objects close each Mesh; each SkinWeights is shown by its bone and entry count.
    // (Each entry's vertices, weights and offset are read back through Assimp in skin_export_test.cpp.)
    std::istringstream lines(xfile_test::Outline(write_test::ExportBytes(f), {"XSkinMeshHeader", "SkinWeights"}));
    std::string outline;
    for (std::string line; std::getline(lines, line);) outline += line.substr(0, line.find(" vertexIndices")) + "\n";
    EXPECT_EQ(outline.substr(outline.find("Frame Body")),
              "Frame Body\n  FrameTransformMatrix\n  Mesh Body\n    MeshNormals\n"
              "    XSkinMeshHeader nMaxSkinWeightsPerVertex=2 nMaxSkinWeightsPerFace=2 nBones=3\n"
              "    SkinWeights transformNodeName=\"B0\" nWeights=24\n"  // all 24 export vertices
              "    SkinWeights transformNodeName=\"_1_lonely\" nWeights=0\n"
              "    SkinWeights transformNodeName=\"Arm-2\" nWeights=12\n"
              "Frame Empty\n  FrameTransformMatrix\n  Mesh Empty\n    MeshNormals\n"
              "    XSkinMeshHeader nMaxSkinWeightsPerVertex=0 nMaxSkinWeightsPerFace=0 nBones=0\n");
}
