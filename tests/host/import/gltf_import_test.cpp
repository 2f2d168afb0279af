// The native glTF reader against Assimp's import: every glTF file we have must export to the same
// text X file through both; malformed files get one message naming the place and the cause.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/test_files.h"
#include "host/document/scene_document.h"
#include "host/import/gltf_import.h"
#include "host/import/interchange_import.h"
#include "host/objects/host_objects.h"
#include "plugin/do_export.h"

namespace fs = std::filesystem;
using Reader = ImportOptions::GltfReader;

namespace {

const fs::path kTests = PLOVER_TEST_DATA_DIR;

std::unique_ptr<HostScene> Import(const fs::path& file, Reader reader, const fs::path& dir) {
    ImportOptions options;
    options.gltfReader = reader;
    options.textureDirectory = (dir / "textures").string();
    std::string error;
    auto scene = ImportInterchangeFile(file.string(), options, error);
    EXPECT_TRUE(scene) << error;
    return scene;
}

// The X file the scene exports to with the default options.
std::string Export(HostScene& scene, const fs::path& out) {
    scene.SetDir(kDirPlugCfg, out.parent_path().string());
    return XDoExport(out.string().c_str(), nullptr, &scene, 1, 0) == 1 ? ReadText(out) : "export failed";
}

// A scene document without the texture vertices of its meshes.
nlohmann::json WithoutTextureVertices(nlohmann::json document) {
    std::vector<nlohmann::json*> open{&document};
    while (!open.empty()) {
        nlohmann::json& item = *open.back();
        open.pop_back();
        if (item.is_object() && item.contains("mapChannels"))
            for (auto& channel : item["mapChannels"]) channel.erase("vertices");
        if (item.is_structured())
            for (auto& child : item) open.push_back(&child);
    }
    return document;
}

}  // namespace

TEST(GltfImport, ExportsAsAssimpsImportDoes) {
    std::vector<fs::path> files;
    for (const fs::path& folder : {kTests / "assets" / "gltf", kTests / "host" / "import" / "models", kTests / ".." / "examples"})
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (IsGltfFileName(entry.path().string())) files.push_back(entry.path());
    ASSERT_GE(files.size(), 13u);
    for (const fs::path& file : files) {
        ScratchDir dir(file.stem().string());
        auto native = Import(file, Reader::NativeOnly, dir.path());
        auto assimp = Import(file, Reader::AssimpOnly, dir.path());
        ASSERT_TRUE(native && assimp) << file;
        if (file.filename() == "mapping_and_layouts.gltf") {
            // Assimp 5.2 reads normalized integer texture coordinates as floats (garbage): the
            // scenes must agree in all else, and the reader's coordinates are the file's.
            EXPECT_EQ(WithoutTextureVertices(nlohmann::json::parse(SaveSceneDocument(*native))),
                      WithoutTextureVertices(nlohmann::json::parse(SaveSceneDocument(*assimp))));
            const Mesh& mesh = static_cast<HostTriObject*>(native->root().children()[1]->object())->mesh();
            ASSERT_EQ(mesh.Map(1).tv.size(), 3u);
            EXPECT_EQ(mesh.Map(1).tv[1], Point3(1, 1, 0));
            EXPECT_EQ(mesh.Map(1).tv[2], Point3(0, 0, 0));
            continue;
        }
        const std::string x = Export(*native, dir.path() / "native.x");
        const std::string expected = Export(*assimp, dir.path() / "assimp.x");
        if (x == expected) continue;
        std::istringstream a(x), e(expected);
        std::string la, le;
        int line = 1;
        while (std::getline(a, la) && std::getline(e, le) && la == le) ++line;
        ADD_FAILURE() << file << " differs at line " << line << "\n  assimp: " << le << "\n  native: " << la;
    }
}

// Nodes sharing a name keep their own bones and keys: Assimp binds both by name (and refuses a
// skin with two joints of one name), so the reader is checked against itself with unique names.
TEST(GltfImport, NodesSharingANameKeepTheirOwnBonesAndKeys) {
    ScratchDir dir;
    const fs::path file = kTests / "host" / "import" / "models" / "skin_and_samplers.gltf";
    auto document = nlohmann::json::parse(ReadText(file));
    document["nodes"][2]["name"] = "Hip";   // a joint, rotated, named as the other joint
    document["nodes"][3]["name"] = "Body";  // moved, named as the skinned mesh
    std::ofstream(dir.path() / file.filename()) << document.dump();  // same name: same texture names
    auto shared = Import(dir.path() / file.filename(), Reader::NativeOnly, dir.path());
    auto unique = Import(file, Reader::NativeOnly, dir.path());
    ASSERT_TRUE(shared && unique);
    std::string expected = Export(*unique, dir.path() / "unique.x");
    // The exporter writes the second of two names with an underscore.
    for (const auto& [from, to] : {std::pair{"Knee", "Hip_"}, std::pair{"Extra", "Body_"}})
        for (size_t at = expected.find(from); at != std::string::npos; at = expected.find(from, at))
            expected.replace(at, std::string(from).size(), to);
    EXPECT_TRUE(Export(*shared, dir.path() / "shared.x") == expected);
}

TEST(GltfImport, MalformedFilesGetOneMessageNamingThePlaceAndCause) {
    ScratchDir dir;
    // A triangle: three positions (36 zero bytes) and indices 0, 1, 2 in a 48-byte buffer.
    std::string bin(48, '\0');
    bin[38] = 1;
    bin[40] = 2;
    std::ofstream(dir.path() / "b.bin", std::ios::binary) << bin;
    const std::string valid =
        R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
        R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
        R"("buffers":[{"uri":"b.bin","byteLength":48}],)"
        R"("bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":6}],)"
        R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},)"
        R"({"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"}]})";
    const struct {
        const char* from;
        const char* to;
        const char* message;  // empty: the file imports
    } cases[] = {
        {"", "", ""},
        {R"("byteLength":36})", R"("byteLength":24})",
         "accessor 0 reads 36 bytes from byte 0 of buffer view 0, which holds 24 bytes"},
        {R"("byteLength":48)", R"("byteLength":96)", "buffer 0 holds 48 bytes, fewer than its byteLength of 96"},
        {R"("count":3,"type":"VEC3")", R"("count":2,"type":"VEC3")",
         "mesh 0 primitive 0 has index 2 at place 2, but only 2 vertices"},
        {R"("POSITION":0)", R"("POSITION":5)", "mesh 0 primitive 0's POSITION refers to accessor 5, but the file has 2"},
        {R"("nodes":[{"mesh":0}])", R"("nodes":[{"mesh":3}])", "node 0 refers to mesh 3, but the file has 1"},
        {R"("byteLength":36})", R"("byteLength":36,"byteStride":4})",
         "buffer view 0 has a byte stride of 4, but accessor 0's elements take 12 bytes"},
        {R"("nodes":[{"mesh":0}])", R"("nodes":[{"mesh":0,"children":[1]},{"children":[0]}])",
         "node 0 is reached twice in the node tree (from scene 0 and from node 1); a node has one parent and no "
         "node is its own ancestor"},
        {R"("indices":1)", R"("indices":1,"mode":1)", ""},  // lines: left to Assimp
    };
    for (const auto& c : cases) {
        std::string text = valid;
        if (*c.from) text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        const fs::path file = dir.path() / "case.gltf";
        std::ofstream(file) << text;
        ImportOptions options;
        options.textureDirectory = dir.path().string();
        std::string error;
        const bool read = ImportInterchangeFile(file.string(), options, error) != nullptr;
        EXPECT_EQ(read, !*c.message) << c.to << ": " << error;
        if (*c.message) {
            EXPECT_EQ(error, file.string() + ": " + c.message);
        }
    }
    // Files refused whole: each gets one message naming the file.
    const auto expectRefused = [&](const std::string& text, const std::string& message, const ImportOptions& options) {
        const fs::path file = dir.path() / "refused.gltf";
        std::ofstream(file) << text;
        std::string error;
        EXPECT_EQ(ImportInterchangeFile(file.string(), options, error), nullptr) << message;
        EXPECT_EQ(error, file.string() + ": " + message);
    };
    // Lines go to Assimp, but not with an accessor beyond its buffer.
    std::string lines = valid;
    lines.replace(lines.find(R"("indices":1)"), 11, R"("indices":1,"mode":1)");
    lines.replace(lines.find(R"("count":3,"type":"SCALAR")"), 25, R"("count":9,"type":"SCALAR")");
    expectRefused(lines, "accessor 1 reads 18 bytes from byte 0 of buffer view 1, which holds 6 bytes", ImportOptions());

    // Nesting that would take a recursive parser through every level is refused before Assimp
    // reads the file (it gets files without a glTF 2.0 asset, and crashed on it).
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += R"({"a":)";
    expectRefused(deep + "1" + std::string(5000, '}'),
                  "the glTF JSON nests arrays and objects more than 1024 levels deep (line 1, column 5121)", ImportOptions());

    // A syntax error is placed by line and column, as in a scene document.
    expectRefused("{\n  \"asset\": {\"version\": \"2.0\"},\n  \"nodes\": [1 2]\n}",
                  "line 3, column 15: malformed JSON: syntax error while parsing array - unexpected number literal; "
                  "expected ']'",
                  ImportOptions());

    // Extensions the reader does not know go to Assimp; forced, the reader says what it lacks.
    std::string text = valid;
    text.insert(1, R"("extensionsRequired":["KHR_draco_mesh_compression"],)");
    ImportOptions nativeOnly;
    nativeOnly.gltfReader = Reader::NativeOnly;
    expectRefused(text, "needs extension KHR_draco_mesh_compression, which the glTF reader leaves to Assimp", nativeOnly);
    // Assimp would crash on a skin without inverse bind matrices: such a file gets a message...
    text.replace(text.find(R"({"mesh":0})"), 10, R"({"mesh":0,"skin":0}],"skins":[{"joints":[0]})");
    expectRefused(text,
                  "skin 0 has no inverseBindMatrices, which Assimp needs to read a file with extension "
                  "KHR_draco_mesh_compression (the glTF reader leaves that to Assimp)",
                  ImportOptions());
    // ... and would read a second set of influences shorter than the first beyond its end.
    text.replace(text.find(R"("POSITION":0)"), 12, R"("POSITION":0,"JOINTS_0":0,"WEIGHTS_0":0,"JOINTS_1":0)");
    expectRefused(text,
                  "mesh 0 primitive 0's JOINTS_1 or WEIGHTS_1 has fewer elements than WEIGHTS_0, which Assimp "
                  "would read beyond for a file with extension KHR_draco_mesh_compression (the glTF reader "
                  "leaves that to Assimp)",
                  ImportOptions());
}
