// Shared set-up for the material tests: a material library, options, search directories and a
// host that records message boxes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/test_files.h"
#include "host/host_materials.h"
#include "host/host_scene.h"
#include "material/collect_materials.h"
#include "options/export_options.h"
#include "core/paths.h"

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
