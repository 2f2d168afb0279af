// The preview judged by its pixels: coverage, texture corners, culling of mirrored nodes, skin
// poses, and the same picture from every form of the same file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "preview/preview.h"
#include "tools/plover/commands.h"
#include "xformat/xreader.h"
#include "xformat/xsave.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// Mesa's software OpenGL keeps a few allocations of each context it made current until the
// process ends; they are Mesa's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }

namespace fs = std::filesystem;
using preview::PreviewOptions;
using preview::PreviewStatus;

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
    // Pixels that differ from the background (the bottom left one); withoutLabel leaves out the
    // top left corner, where a posed view's time is written.
    std::vector<char> Mask(bool withoutLabel = false) const {
        std::vector<char> mask(size_t(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                mask[size_t(y) * width + x] =
                    (!withoutLabel || y > 20 || x > 60) && std::memcmp(At(x, y), At(0, height - 1), 4) != 0;
        return mask;
    }
};

Picture Decode(const std::vector<uint8_t>& png) {
    Picture p;
    int channels = 0;
    unsigned char* data = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &p.width, &p.height, &channels, 4);
    if (!data) return p;
    p.rgba.assign(data, data + size_t(p.width) * p.height * 4);
    stbi_image_free(data);
    return p;
}

// Draws an X file; the picture's PNG bytes.
std::vector<uint8_t> Draw(const fs::path& file, const PreviewOptions& options, std::vector<std::string>* warnings = nullptr) {
    std::vector<uint8_t> png;
    std::vector<std::string> ignored;
    std::string error;
    const PreviewStatus status = preview::PreviewXFile(file.string(), options, &png, warnings ? warnings : &ignored, &error);
    EXPECT_EQ(status, PreviewStatus::Drawn) << error;
    return png;
}

PreviewOptions Front(int width, int height) {
    PreviewOptions o;
    o.width = width;
    o.height = height;
    o.view = "front";
    o.background = {0, 0, 0, 255};
    return o;
}

const char* kHeader = "xof 0303txt 0032\n";

// A unit cube about the origin, faces clockwise seen from outside, with its normals.
const char* kCube = R"(
Mesh Cube {
 8;
 -0.5;-0.5;-0.5;, -0.5;0.5;-0.5;, 0.5;0.5;-0.5;, 0.5;-0.5;-0.5;,
 -0.5;-0.5;0.5;, -0.5;0.5;0.5;, 0.5;0.5;0.5;, 0.5;-0.5;0.5;;
 6;
 4;0,1,2,3;, 4;7,6,5,4;, 4;4,5,1,0;, 4;3,2,6,7;, 4;1,5,6,2;, 4;4,0,3,7;;
 MeshNormals {
  6; 0;0;-1;, 0;0;1;, -1;0;0;, 1;0;0;, 0;1;0;, 0;-1;0;;
  6; 4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;, 4;4,4,4,4;, 4;5,5,5,5;;
 }
}
)";

TEST(Preview, UnitCubeAlongAnAxisCoversTheExpectedSquare) {
    ScratchDir dir;
    std::ofstream(dir.path() / "cube.x") << kHeader << kCube;
    const int width = 200, height = 160;
    const Picture picture = Decode(Draw(dir.path() / "cube.x", Front(width, height)));
    ASSERT_EQ(picture.width, width);

    // The camera the preview frames the cube with, and the near face's square through it.
    preview::Bounds bounds;
    const float lo[3] = {-0.5f, -0.5f, -0.5f}, hi[3] = {0.5f, 0.5f, 0.5f};
    bounds.Add(lo);
    bounds.Add(hi);
    const preview::Camera camera = preview::FrameBounds(bounds, 0, 0, float(width) / height);
    const double depth = camera.view[14] - 0.5;  // the near face's distance from the eye
    const double t = std::tan(camera.fovY / 2);
    const double halfWidth = 0.5 / depth / (t * camera.aspect) * width / 2, halfHeight = 0.5 / depth / t * height / 2;
    // Framing: the bounds fill 90 % of the limiting side.
    EXPECT_NEAR(2 * halfHeight, 0.9 * height, 0.01);
    EXPECT_NEAR(halfWidth, halfHeight, 1e-6);  // square pixels

    const std::vector<char> mask = picture.Mask();
    int mismatches = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = std::fabs(x + 0.5 - width / 2.0), dy = std::fabs(y + 0.5 - height / 2.0);
            if (std::fabs(dx - halfWidth) < 0.02 || std::fabs(dy - halfHeight) < 0.02) continue;  // a tie
            const bool inside = dx < halfWidth && dy < halfHeight;
            mismatches += inside != bool(mask[size_t(y) * width + x]);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Writes a 64 x 64 PNG whose quadrants are red (top left), green (top right), blue (bottom
// left) and white.
void WriteQuadrants(const fs::path& path) {
    std::vector<uint8_t> rgba(64 * 64 * 4);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = &rgba[(size_t(y) * 64 + x) * 4];
            const bool right = x >= 32, bottom = y >= 32;
            p[0] = (!right && !bottom) || (right && bottom) ? 255 : 0;
            p[1] = right ? 255 : 0;
            p[2] = bottom ? 255 : 0;
            p[3] = 255;
        }
    const std::vector<uint8_t> png = preview::EncodePng(rgba.data(), 64, 64);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
}

std::string Quad(const std::string& texture) {
    return std::string(kHeader) + R"(
Mesh Quad {
 4; -0.5;0.5;0;, 0.5;0.5;0;, 0.5;-0.5;0;, -0.5;-0.5;0;;
 1; 4;0,1,2,3;;
 MeshNormals { 1; 0;0;-1;; 1; 4;0,0,0,0;; }
 MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
 MeshMaterialList { 1; 1; 0;;
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { ")" + texture + R"("; } }
 }
}
)";
}

TEST(Preview, TexturedQuadShowsTheTextureCornersAtTheRightCorners) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "maps");
    WriteQuadrants(dir.path() / "maps" / "quadrants.png");
    std::ofstream(dir.path() / "quad.x") << Quad("maps\\\\quadrants.png");  // a Windows separator
    std::vector<std::string> warnings;
    const Picture p = Decode(Draw(dir.path() / "quad.x", Front(120, 120), &warnings));
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    // The quad spans 90 % of the picture: sample a fifth of the way in from each corner.
    auto colour = [&](int x, int y) {
        const uint8_t* c = p.At(x, y);
        return std::array<int, 3>{c[0], c[1], c[2]};
    };
    const auto topLeft = colour(30, 30), topRight = colour(90, 30), bottomLeft = colour(30, 90), bottomRight = colour(90, 90);
    EXPECT_GT(topLeft[0], 100);
    EXPECT_EQ(topLeft[1] + topLeft[2], 0);
    EXPECT_GT(topRight[1], 100);
    EXPECT_EQ(topRight[0] + topRight[2], 0);
    EXPECT_GT(bottomLeft[2], 100);
    EXPECT_EQ(bottomLeft[0] + bottomLeft[1], 0);
    EXPECT_GT(bottomRight[0], 100);
    EXPECT_EQ(bottomRight[0], bottomRight[1]);
    EXPECT_EQ(bottomRight[1], bottomRight[2]);
}

TEST(Preview, MissingAndOutsideTexturesAreDrawnFlatAndNamed) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "model");
    WriteQuadrants(dir.path() / "secret.png");
    std::ofstream(dir.path() / "model" / "outside.x") << Quad("../secret.png");
    std::ofstream(dir.path() / "model" / "missing.x") << Quad("nowhere.png");
    for (const char* name : {"outside.x", "missing.x"}) {
        std::vector<std::string> warnings;
        const Picture p = Decode(Draw(dir.path() / "model" / name, Front(60, 60), &warnings));
        ASSERT_EQ(warnings.size(), 1u) << name;
        EXPECT_NE(warnings[0].find(name[0] == 'o' ? "../secret.png: outside the X file's folder" : "nowhere.png: not found"),
                  std::string::npos)
            << warnings[0];
        const uint8_t* centre = p.At(30, 30);
        EXPECT_EQ(centre[0], centre[2]) << "flat magenta";
        EXPECT_EQ(centre[1], 0);
    }
    // Asked for, a file outside the tree is read.
    PreviewOptions allowed = Front(60, 60);
    allowed.allowOutsideFiles = true;
    std::vector<std::string> warnings;
    Draw(dir.path() / "model" / "outside.x", allowed, &warnings);
    EXPECT_TRUE(warnings.empty());
}

// An arm of two bones along +x: the upper half weighted to Upper, the lower to Lower, which the
// clip Bend turns by 90 degrees about z within one second. `weight` is the weight of each of
// Lower's vertices.
std::string Arm(bool skinned, const std::string& weight = "1") {
    std::string mesh = R"(
Mesh Arm {
 8; 0;-0.1;-0.1;, 0;0.1;-0.1;, 2;0.1;-0.1;, 2;-0.1;-0.1;, 0;-0.1;0.1;, 0;0.1;0.1;, 2;0.1;0.1;, 2;-0.1;0.1;;
 6; 4;0,1,2,3;, 4;7,6,5,4;, 4;4,5,1,0;, 4;3,2,6,7;, 4;1,5,6,2;, 4;4,0,3,7;;
)";
    if (skinned) {
        const std::string w = weight;
        mesh += " XSkinMeshHeader { 1; 1; 2; }\n";
        // Vertices at x = 0 follow Upper, those at x = 2 Lower.
        mesh += " SkinWeights { \"Upper\"; 4; 0,1,4,5; 1,1,1,1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n";
        mesh += " SkinWeights { \"Lower\"; 4; 2,3,6,7; " + w + "," + w + "," + w + "," + w +
                "; 1,0,0,0,0,1,0,0,0,0,1,0,-1,0,0,1;; }\n";
    }
    mesh += "}\n";
    return std::string(kHeader) + R"(
AnimTicksPerSecond { 4800; }
Frame Upper {
 FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
 Frame Lower { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,1,0,0,1;; } }
}
)" + mesh + R"(
AnimationSet Bend {
 Animation { { Lower } AnimationKey { 0; 2; 0;4;1,0,0,0;;, 4800;4;0.7071068,0,0,-0.7071068;;; } }
}
)";
}

TEST(Preview, SkinnedArmFollowsItsBonesWithWeightsAsWritten) {
    ScratchDir dir;
    std::ofstream(dir.path() / "skinned.x") << Arm(true);
    std::ofstream(dir.path() / "rigid.x") << Arm(false);
    std::ofstream(dir.path() / "half.x") << Arm(true, "0.5");
    const PreviewOptions bind = Front(160, 120);
    const std::vector<char> rigid = Decode(Draw(dir.path() / "rigid.x", bind)).Mask(true);
    EXPECT_TRUE(Decode(Draw(dir.path() / "skinned.x", bind)).Mask(true) == rigid) << "bind pose";

    PreviewOptions start = bind, end = bind;
    start.hasTime = end.hasTime = true;
    start.seconds = 0;
    end.seconds = 1;
    const std::vector<char> atStart = Decode(Draw(dir.path() / "skinned.x", start)).Mask(true);
    const std::vector<char> atEnd = Decode(Draw(dir.path() / "skinned.x", end)).Mask(true);
    EXPECT_TRUE(atStart == rigid) << "the clip starts at the bind pose";
    EXPECT_TRUE(atEnd != atStart);
    // Bent up by 90 degrees: the picture is taller than wide (the arm alone is wider than tall).
    const Picture bent = Decode(Draw(dir.path() / "skinned.x", end));
    int top = bent.height, bottom = -1, left = bent.width, right = -1;
    const std::vector<char> mask = bent.Mask(true);
    for (int y = 0; y < bent.height; ++y)
        for (int x = 0; x < bent.width; ++x)
            if (mask[size_t(y) * bent.width + x]) top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
    EXPECT_GT(bottom - top, 40);
    EXPECT_GT(right - left, 40);

    // Weights that sum to a half are not made whole: the lower end is drawn halfway to the origin.
    const std::vector<char> half = Decode(Draw(dir.path() / "half.x", bind)).Mask(true);
    EXPECT_TRUE(half != rigid);
}

TEST(Preview, SheetAndTurntableLayOutLabelledViews) {
    ScratchDir dir;
    std::ofstream(dir.path() / "arm.x") << Arm(true);
    PreviewOptions sheet;
    sheet.sheetColumns = 3;
    sheet.sheetRows = 2;
    const Picture s = Decode(Draw(dir.path() / "arm.x", sheet));
    EXPECT_EQ(s.width, 3 * 256);
    EXPECT_EQ(s.height, 2 * 256);
    // Each cell's label sits on a dark box at its top left corner.
    for (int cell = 0; cell < 6; ++cell) {
        const uint8_t* box = s.At((cell % 3) * 256 + 3, (cell / 3) * 256 + 3);
        EXPECT_EQ(box[0], 20) << "cell " << cell;
    }
    PreviewOptions turntable;
    turntable.turntable = 5;
    const Picture t = Decode(Draw(dir.path() / "arm.x", turntable));
    EXPECT_EQ(t.width, 3 * 256);
    EXPECT_EQ(t.height, 2 * 256);
}

TEST(Preview, BadInputGetsOneMessageAndNoPicture) {
    ScratchDir dir;
    struct Case {
        const char* name;
        std::string text;
        PreviewOptions options;
        PreviewStatus status;
        const char* message;
    };
    PreviewOptions clip;
    clip.clip = "Wave";
    const Case cases[] = {
        {"empty.x", std::string(kHeader) + "Frame Root { }\n", {}, PreviewStatus::NotDrawn, "nothing to draw"},
        {"cut.x", std::string(kHeader) + "Mesh M { 3; 0;0;0;, 1;0;0;", {}, PreviewStatus::Unusable, "cut.x"},
        {"face.x", std::string(kHeader) + "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n", {},
         PreviewStatus::Unusable, "mesh M: face 0 uses vertex 7, but the mesh has 3 vertices"},
        {"clip.x", Arm(true), clip, PreviewStatus::Unusable, "no animation set named Wave (it holds Bend)"},
    };
    for (const Case& c : cases) {
        std::ofstream(dir.path() / c.name) << c.text;
        std::vector<uint8_t> png;
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_EQ(preview::PreviewXFile((dir.path() / c.name).string(), c.options, &png, &warnings, &error), c.status)
            << c.name;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
        EXPECT_TRUE(png.empty());
    }
}

// Commands run against the built plug-in module.
class PreviewCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_.path() / "config");
        exportCommand_.configDir = (dir_.path() / "config").string();
        exportCommand_.pluginPath = std::string(PLOVER_BINARY_DIR) + "/plover.dle";
        exportCommand_.quiet = true;
    }
    ScratchDir dir_;
    ExportCommand exportCommand_;
};

// Writes the objects of `doc` below `index` (kNoNode: the top level) to a save object.
void SaveChildren(const xfile::XDocument& doc, uint32_t index, xfile::XSaveObject& save, xfile::XSaveData* parent) {
    for (uint32_t c : index == xfile::kNoNode ? doc.Roots() : doc.Children(index)) {
        const xfile::XNode& n = doc.nodes[c];
        if (n.isReference) {
            ASSERT_TRUE(parent->AddDataReference(doc.Name(n)).ok());
            continue;
        }
        xfile::XSaveData child;
        const xfile::XGuid& guid = doc.TemplateOf(n).guid;
        ASSERT_TRUE((parent ? parent->AddDataObject(guid, doc.Name(n), doc.Payload(n), &child)
                            : save.AddDataObject(guid, doc.Name(n), doc.Payload(n), &child))
                        .ok());
        SaveChildren(doc, c, save, &child);
    }
}

TEST_F(PreviewCommandTest, TextBinaryAndCompressedGiveTheSamePicture) {
    // CesiumMan exported as text, then the same objects saved as binary and compressed binary.
    ExportCommand command = exportCommand_;
    command.scenePath = std::string(PLOVER_SOURCE_DIR) + "/examples/CesiumMan/CesiumMan.glb";
    command.outputPath = (dir_.path() / "man-text.x").string();
    command.settings = {"XFileType=0"};
    ASSERT_EQ(RunExportCommand(command), kExitOk);
    xfile::XDocument doc;
    ASSERT_TRUE(xfile::ReadXFileFromPath(command.outputPath, &doc).ok());
    for (auto [name, format] : {std::pair{"man-binary.x", xfile::XFileFormat::Binary},
                                std::pair{"man-compressed.x", xfile::XFileFormat::CompressedBinary}}) {
        xfile::XFile file;
        ASSERT_TRUE(file.RegisterPublishedTemplates().ok());
        std::unique_ptr<xfile::XSaveObject> save;
        ASSERT_TRUE(file.CreateSaveObject((dir_.path() / name).string(), format, &save).ok());
        SaveChildren(doc, xfile::kNoNode, *save, nullptr);
        ASSERT_TRUE(save->Save().ok());
    }
    std::vector<std::string> pictures;
    for (const char* name : {"man-text", "man-binary", "man-compressed"}) {
        PreviewOptions options;
        options.width = options.height = 96;
        options.hasTime = true;
        options.seconds = 0.5;
        const std::string png = (dir_.path() / (std::string(name) + ".png")).string();
        ASSERT_EQ(DrawXFile((dir_.path() / (std::string(name) + ".x")).string(), png, options, true, ""), kExitOk);
        pictures.push_back(ReadText(png));
    }
    EXPECT_GT(pictures[0].size(), 100u);
    EXPECT_TRUE(pictures[1] == pictures[0]) << "binary";
    EXPECT_TRUE(pictures[2] == pictures[0]) << "compressed";
}

TEST_F(PreviewCommandTest, MirroredNodeDrawsWithTheCoverageOfItsSource) {
    // A one-sided square facing the front, and its mirror image across the vertical plane: a
    // wrong winding would cull the mirrored one away.
    const std::string square = R"({"type": "mesh", "mesh": {"vertices": [-0.5,0,-0.5, 0.5,0,-0.5, 0.5,0,0.5, -0.5,0,0.5],
                                   "faces": [0,1,2, 0,2,3]}})";
    std::ofstream(dir_.path() / "mirror.json") << R"({"plover_scene": 1, "nodes": [
      {"name": "Source", "transform": {"translation": [-1.5, 0, 0]}, "object": )" + square + R"(},
      {"name": "Mirror", "transform": {"translation": [1.5, 0, 0], "scale": [-1, 1, 1]}, "object": )" + square + R"(}]})";
    PreviewCommand command;
    command.inputPath = (dir_.path() / "mirror.json").string();
    command.outputPath = (dir_.path() / "mirror.png").string();
    command.configDir = exportCommand_.configDir;
    command.pluginPath = exportCommand_.pluginPath;
    command.quiet = true;
    command.options = Front(200, 100);
    ASSERT_EQ(RunPreviewCommand(command), kExitOk);
    std::string bytes = ReadText(command.outputPath);
    const Picture p = Decode(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const std::vector<char> mask = p.Mask();
    int left = 0, right = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) (x < p.width / 2 ? left : right) += mask[size_t(y) * p.width + x];
    EXPECT_GT(left, 1000);
    EXPECT_EQ(left, right);
    // No temporary export is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator{}), 3);
}

}  // namespace

namespace {

// What drawing relies on: every index in range, subsets inside the index list, skin entries
// naming file vertices.
void ExpectDrawable(const preview::DrawModel& model, const std::string& label) {
    for (const preview::DrawMesh& mesh : model.meshes) {
        const uint32_t vertices = mesh.drawVertexCount();
        ASSERT_EQ(mesh.normals.size(), size_t(vertices) * 3) << label;
        ASSERT_TRUE(mesh.uvs.empty() || mesh.uvs.size() == size_t(vertices) * 2) << label;
        ASSERT_TRUE(mesh.colors.empty() || mesh.colors.size() == size_t(vertices) * 4) << label;
        ASSERT_EQ(mesh.origin.size(), vertices - mesh.vertexCount) << label;
        for (uint32_t i : mesh.indices) ASSERT_LT(i, vertices) << label;
        for (uint32_t o : mesh.origin) ASSERT_LT(o, mesh.vertexCount) << label;
        uint64_t covered = 0;
        for (const preview::DrawSubset& s : mesh.subsets) {
            ASSERT_LE(uint64_t(s.first) + s.count, mesh.indices.size()) << label;
            ASSERT_LT(s.material, model.materials.size()) << label;
            covered += s.count;
        }
        ASSERT_EQ(covered, mesh.indices.size()) << label;
        for (const preview::DrawBone& b : mesh.bones) ASSERT_LE(uint64_t(b.first) + b.count, mesh.skinVertices.size());
        for (uint32_t v : mesh.skinVertices) ASSERT_LT(v, mesh.vertexCount) << label;
    }
    for (size_t f = 0; f < model.frames.size(); ++f) {
        if (model.frames[f].parent != preview::kNoFrame) {
            ASSERT_LT(model.frames[f].parent, f) << label;
        }
    }
}

TEST(PreviewModel, ReaderCorpusAndItsMutationsBuildDrawableModels) {
    const fs::path corpus = fs::path(PLOVER_TEST_DATA_DIR) / "fuzz" / "corpus" / "xfile_reader";
    int built = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string bytes = ReadText(entry.path());
        // The file, then copies with one byte changed at a time (every seventh), as a fuzzer would.
        for (size_t at = 0; at <= bytes.size(); at += (at == 0 ? 16 : 7)) {
            std::string mutated = bytes;
            if (at > 0 && at < bytes.size()) mutated[at] = static_cast<char>(mutated[at] ^ 0x5A);
            xfile::XDocument doc;
            if (!xfile::ReadXFile({reinterpret_cast<const uint8_t*>(mutated.data()), mutated.size()}, &doc).ok()) continue;
            preview::DrawModel model;
            std::string error;
            if (!preview::BuildDrawModel(doc, &model, &error)) {
                EXPECT_FALSE(error.empty());
                continue;
            }
            ++built;
            ExpectDrawable(model, entry.path().filename().string() + " changed at " + std::to_string(at));
            for (int clip = -1; clip < static_cast<int>(model.clips.size()); ++clip) {
                const std::vector<preview::Mat4> worlds = preview::FrameWorlds(model, {clip, 0.5});
                for (const preview::DrawMesh& mesh : model.meshes) {
                    std::vector<float> positions, normals;
                    if (!mesh.bones.empty()) preview::SkinMesh(mesh, worlds, &positions, &normals);
                }
            }
        }
    }
    EXPECT_GT(built, 100);
}

}  // namespace
