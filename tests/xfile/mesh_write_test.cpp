// Mesh serialisation: golden text files of small meshes, Assimp's X importer reading them back,
// and the option combinations the golden files do not show.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "host/objects/host_materials.h"
#include "host/objects/scene_builder.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_test_util.h"
#include "write_test_util.h"

namespace {

using write_test::ExportBytes;
using mesh_test::SetVertexChannel;

// A unit quad in the host's XY plane facing +Z: the tangent tests' quad at half size.
Mesh Quad() { return mesh_test::QuadMesh(1.0f); }

ExportOptions WriterOptions() {
    ExportOptions o = TreeTestOptions();
    o.Normal = 1;
    o.TexCoords = 1;
    o.Mtl = 1;
    return o;
}

// One mesh node "Quad" (wire colour 0x00336699) and, optionally, its material.
struct QuadScene {
    explicit QuadScene(const Mesh& mesh = Quad(), const ExportOptions& options = WriterOptions(),
                       bool multiMaterial = false) {
        SceneBuilder b;
        HostNode& node = b.Mesh("Quad", mesh).WireColor(0x00336699);
        if (multiMaterial) {
            HostMaterialLibrary& library = b.scene().materials();
            auto& red = library.AddMaterial(std::make_unique<HostStdMaterial>());
            red.name = "Red";
            red.diffuse = Color(1, 0, 0);
            auto& blue = library.AddMaterial(std::make_unique<HostStdMaterial>());
            blue.name = "Blue";
            blue.diffuse = Color(0, 0, 1);
            auto& multi = library.AddMaterial(std::make_unique<HostMultiMaterial>());
            multi.name = "Both";
            multi.subMaterials = {&red, &blue};
            node.SetMtl(&multi);
        }
        fixture = std::make_unique<ExportFixture>(b.Take(), options);
    }
    std::vector<uint8_t> Export() { return ExportBytes(*fixture); }
    std::unique_ptr<ExportFixture> fixture;
};

// The Mesh's children as Outline shows them, one line each, the DeclData with its counts.
std::string MeshChildren(const std::vector<uint8_t>& bytes) {
    std::istringstream lines(xfile_test::Outline(bytes, {"DeclData"}));
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("    ", 0) != 0) continue;
        if (const size_t e = line.find(" Elements=["); e != std::string::npos) line.erase(e, line.find(']', e) + 1 - e);
        out += line.substr(4, line.find(" data=") - 4) + "\n";
    }
    return out;
}

// (The children each option adds are in the golden files.)
TEST(MeshWrite, ChildrenFollowTheOptionsAndMergedChannelsAreWrittenOnce) {
    ExportOptions o = WriterOptions();
    o.DeclData = 1;  // with nothing per vertex selected: no DeclData at all
    o.Normal = o.TexCoords = 0;
    EXPECT_EQ(MeshChildren(QuadScene(Quad(), o).Export()), "MeshMaterialList\n  Material\n");

    // Mtl off: no material list, and one progress step fewer.
    Mesh mesh = Quad();
    SetVertexChannel(mesh, 3, mesh.Map(1).tv);
    QuadScene with(mesh);
    with.Export();
    o = WriterOptions();
    o.Mtl = 0;
    QuadScene separate(mesh, o);
    EXPECT_EQ(MeshChildren(separate.Export()), "MeshNormals\nMeshTextureCoords c1\nMeshTextureCoords c3\n");
    EXPECT_EQ(with.fixture->exporter->meter.stepsDone() - separate.fixture->exporter->meter.stepsDone(), 1u);
    o.MultiTexCoordsOptimize = 1;
    EXPECT_EQ(MeshChildren(QuadScene(mesh, o).Export()), "MeshNormals\nMeshTextureCoords c1\n");
    // Normal and one texture set: 2 elements, 4 vertices x 5 DWORDs.
    o.DeclData = 1;
    EXPECT_EQ(MeshChildren(QuadScene(mesh, o).Export()), "DeclData nElements=2 nDWords=20\n");
}

TEST(MeshWrite, BonesNeverGetTangentsOrColours) {
    Mesh mesh = Quad();
    SetVertexChannel(mesh, 0, std::vector<Point3>(4, Point3(1, 0, 0)));
    ExportOptions o = WriterOptions();
    o.VertexColor = o.Tangent = o.BiTangent = o.BoneMesh = 1;
    for (int decl : {0, 1}) {
        o.DeclData = decl;
        SceneBuilder b;
        b.Bone("Bone", mesh);
        ExportFixture f(b.Take(), o);
        // Normal and texture coordinates only.
        EXPECT_EQ(MeshChildren(ExportBytes(f)), decl ? "MeshMaterialList\n  Material\nDeclData nElements=2 nDWords=20\n"
                                                     : "MeshNormals\nMeshMaterialList\n  Material\nMeshTextureCoords c1\n");
    }
}

// Small meshes for the golden files, each with the options that show its feature.
struct GoldenCase {
    const char* file;
    std::function<void(Mesh&, ExportOptions&)> setup;
    bool multiMaterial = false;
};

std::vector<GoldenCase> GoldenCases() {
    return {
        {"mesh_plain.x", [](Mesh& m, ExportOptions& o) { o.TexCoords = 0; (void)m; }},
        {"mesh_multi_material.x",
         [](Mesh& m, ExportOptions& o) {
             m.faces[1].setMatID(1);
             o.TexCoords = 0;
         },
         true},
        {"mesh_two_uv_sets.x",
         [](Mesh& m, ExportOptions&) { SetVertexChannel(m, 2, {{0.5f, 0, 0}, {1, 0, 0}, {0.5f, 0.5f, 0}, {1, 0.5f, 0}}); }},
        {"mesh_vertex_colors.x",
         [](Mesh& m, ExportOptions& o) {
             SetVertexChannel(m, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}});
             SetVertexChannel(m, -2, {{1, 0, 0}, {0.5f, 0, 0}, {0.25f, 0, 0}, {0, 0, 0}});
             o.VertexColor = 1;
         }},
        {"mesh_tangents.x",
         [](Mesh&, ExportOptions& o) {
             o.Tangent = o.BiTangent = 1;
             o.DeclData = 1;
         }},
        {"mesh_decl_data.x",
         [](Mesh& m, ExportOptions& o) {
             SetVertexChannel(m, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}});
             SetVertexChannel(m, -2, {{1, 0, 0}, {0.5f, 0, 0}, {0.25f, 0, 0}, {0, 0, 0}});
             SetVertexChannel(m, 2, {{0.5f, 0, 0}, {1, 0, 0}, {0.5f, 0.5f, 0}, {1, 0.5f, 0}});
             o.VertexColor = 1;
             o.DeclData = 1;
         }},
    };
}

// (The writer is the same for every format; the save layer's tests read each format back.)
TEST(MeshWrite, GoldenTextFilesAndAssimpReadsTheMeshes) {
    for (const GoldenCase& c : GoldenCases()) {
        SCOPED_TRACE(c.file);
        Mesh quad = Quad();
        ExportOptions o = WriterOptions();
        c.setup(quad, o);
        const std::vector<uint8_t> bytes = QuadScene(quad, o, c.multiMaterial).Export();
        ExpectGolden(bytes, std::string("xfile/golden/") + c.file);
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "x");
        ASSERT_TRUE(scene && scene->mNumMeshes) << importer.GetErrorString();
        const aiMesh* mesh = scene->mMeshes[0];
        const std::string name = c.file;
        const bool decl = name == "mesh_tangents.x" || name == "mesh_decl_data.x";
        if (name == "mesh_multi_material.x") {
            // Assimp splits a mesh by material; the first part is the Red face.
            EXPECT_EQ(scene->mNumMaterials, 2u);
            EXPECT_EQ(scene->mNumMeshes, 2u);
            EXPECT_EQ(mesh->mNumFaces, 1u);
            continue;
        }
        EXPECT_EQ(scene->mNumMeshes, 1u);
        EXPECT_EQ(mesh->mNumFaces, 2u);
        EXPECT_EQ(mesh->mNumVertices, 6u);  // Assimp unshares vertices per face corner
        // DeclData is ignored by Assimp: no normals or coordinates from it.
        EXPECT_EQ(mesh->HasNormals(), !decl);
        if (mesh->HasNormals())
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                EXPECT_NEAR(mesh->mNormals[v].y, 1.0f, 1e-5f);
                EXPECT_NEAR(mesh->mNormals[v].x, 0.0f, 1e-5f);
            }
        if (name == "mesh_two_uv_sets.x") {
            ASSERT_TRUE(mesh->HasTextureCoords(0) && mesh->HasTextureCoords(1));
            // Each face corner's coordinates follow its position: set 0 is (x, 1 - y), set
            // 1 is (0.5 + x / 2, 1 - y / 2) of the host quad (export y is host z, z host y).
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D p = mesh->mVertices[v];
                EXPECT_NEAR(mesh->mTextureCoords[0][v].x, p.x, 1e-5f);
                EXPECT_NEAR(mesh->mTextureCoords[1][v].x, 0.5f + p.x / 2, 1e-5f);
            }
        }
        if (name == "mesh_vertex_colors.x") {
            ASSERT_TRUE(mesh->HasVertexColors(0));
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D p = mesh->mVertices[v];
                const aiColor4D c4 = mesh->mColors[0][v];
                // Host vertex (1, 1) is white and fully transparent; (0, 0) opaque red. The
                // importer turns the file's left-handed frame round by negating z, so host
                // y is -z here.
                if (p.x > 0.5f && p.z < -0.5f) {
                    EXPECT_NEAR(c4.r + c4.g + c4.b, 3.0f, 1e-5f);
                    EXPECT_NEAR(c4.a, 0.0f, 1e-5f);
                }
                if (p.x < 0.5f && p.z > -0.5f) {
                    EXPECT_NEAR(c4.r, 1.0f, 1e-5f);
                    EXPECT_NEAR(c4.a, 1.0f, 1e-5f);
                }
            }
        }
    }
}

}  // namespace
