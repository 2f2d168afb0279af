// The native glTF reader against Assimp's import: every glTF file we have must export to the same
// text X file through both; malformed files get one message naming the place and the cause.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "host/assimp_import.h"
#include "host/gltf_import.h"
#include "host/scene_document.h"
#include "plugin/do_export.h"

namespace fs = std::filesystem;
using Reader = ImportOptions::GltfReader;

namespace {

const fs::path kTests = PLOVER_TEST_DATA_DIR;

// The text X file the scene that `reader` makes of the file exports to (with its clips), or the
// import's error.
std::string ExportThrough(const fs::path& file, Reader reader, const fs::path& dir) {
    ImportOptions options;
    options.gltfReader = reader;
    options.textureDirectory = (dir / "textures").string();
    std::string error;
    auto scene = ImportInterchangeFile(file.string(), options, error);
    if (!scene) return "import failed: " + error;
    if (const char* dump = std::getenv("PLOVER_GLTF_DUMP"))
        std::ofstream(fs::path(dump) / (file.stem().string() + (reader == Reader::NativeOnly ? ".native" : ".assimp") +
                                        ".json"))
            << SaveSceneDocument(*scene);
    scene->SetDir(kDirPlugCfg, dir.string());
    const fs::path out = dir / (reader == Reader::NativeOnly ? "native.x" : "assimp.x");
    if (XDoExport(out.string().c_str(), nullptr, scene.get(), 1, 0) != 1) return "export failed";
    return ReadText(out);
}

}  // namespace

TEST(GltfImport, ExportsAsAssimpsImportDoes) {
    std::vector<fs::path> files;
    for (const fs::path& folder : {kTests / "assets" / "gltf", kTests / "host" / "models", kTests / ".." / "examples"})
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (IsGltfFileName(entry.path().string())) files.push_back(entry.path());
    ASSERT_GE(files.size(), 12u);
    for (const fs::path& file : files) {
        ScratchDir dir(file.stem().string());
        const std::string native = ExportThrough(file, Reader::NativeOnly, dir.path());
        const std::string assimp = ExportThrough(file, Reader::AssimpOnly, dir.path());
        if (native == assimp) continue;
        std::istringstream a(native), e(assimp);
        std::string la, le;
        int line = 1;
        while (std::getline(a, la) && std::getline(e, le) && la == le) ++line;
        ADD_FAILURE() << file << " differs at line " << line << "\n  assimp: " << le << "\n  native: " << la;
    }
}
