// Shared set-up for the material tests: a material library, options, search directories and a
// host that records message boxes.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/test_files.h"
#include "core/paths.h"
#include "host/objects/host_materials.h"
#include "host/objects/host_scene.h"
#include "material/collect_materials.h"
#include "options/export_options.h"

// A texture coordinate transform by its rows.
inline Matrix2 Rows(float a, float b, float c, float d, float e, float f) {
    Matrix2 m;
    m.m[0][0] = a; m.m[0][1] = b; m.m[1][0] = c; m.m[1][1] = d; m.m[2][0] = e; m.m[2][1] = f;
    return m;
}

// A record's effect parameters as "name=value" each: floats (their meaningful components),
// then DWORDs, then strings in quotes.
inline std::string ParamsText(const XEffectMaterial& m) {
    std::ostringstream out;
    for (const XFloatParam& p : m.floatParams) {
        out << p.name << "=";
        for (int i = 0; i < p.count; ++i) out << (i ? "," : "") << p.values[i];
        out << " ";
    }
    for (const XDwordParam& p : m.dwordParams) out << p.name << "=" << p.value << " ";
    for (const XStringParam& p : m.stringParams) out << p.name << "=\"" << p.value << "\" ";
    return out.str();
}

// A texture slot in one line: "usage name file from source channel N addressU/addressV".
inline std::string SlotText(const XTextureSlot& slot) {
    const char* usages[] = {"ordinary", "main", "normal"};
    const char* addresses[] = {"clamp", "wrap", "mirror"};
    return std::string(usages[slot.usage]) + " " + slot.textureName + " " + slot.fileName + " from " + slot.sourcePath +
           " channel " + std::to_string(slot.mapChannel) + " " + addresses[slot.addressU] + "/" +
           addresses[slot.addressV];
}

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
