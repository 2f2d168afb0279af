// Shared set-up for the material tests: a material library, options, search directories and a
// host that records message boxes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/host_materials.h"
#include "host/host_scene.h"
#include "material/collect_materials.h"
#include "options/export_options.h"
#include "core/paths.h"

// A scratch directory under the build tree, emptied on creation and removal.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name)
        : path_(std::filesystem::path(PLOVER_BINARY_DIR) / "material_scratch" / name) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    // The directory as the exporter keeps it: ending in a separator.
    std::string dir() const { return path_.string() + "/"; }
    std::string Touch(const std::string& relative, const std::string& content = "x") const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }

private:
    std::filesystem::path path_;
};

class MaterialTest : public ::testing::Test {
protected:
    MaterialReadContext Context(int meshChannels = 1) {
        return MaterialReadContext{options, state, &scene, meshChannels};
    }

    HostStdMaterial& Standard(const std::string& name) {
        auto& m = library.AddMaterial(std::make_unique<HostStdMaterial>());
        m.name = name;
        return m;
    }
    HostBitmapTex& Bitmap(const std::string& name, const std::string& file, int channel = 1) {
        auto& map = library.AddTexmap(std::make_unique<HostBitmapTex>());
        map.name = name;
        map.fileName = file;
        map.mapChannel = channel;
        return map;
    }
    HostMultiMaterial& Multi(const std::string& name, std::vector<Mtl*> subs) {
        auto& m = library.AddMaterial(std::make_unique<HostMultiMaterial>());
        m.name = name;
        m.subMaterials = std::move(subs);
        return m;
    }

    static const XMaterial& Record(const XMaterialList& list, const XMaterialTable& table, size_t i) {
        const XMaterial* record = ResolveMaterialEntry(list.at(i).get(), table);
        EXPECT_NE(record, nullptr);
        return *record;
    }

    HostMaterialLibrary library;
    ExportOptions options;
    TextureSearchDirectories state;
    HostScene scene;
    XMaterialList list;
    XMaterialTable table;
};
