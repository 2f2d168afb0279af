#include "material/collect_materials.h"

#include "material/material_classify.h"
#include "options/export_options.h"
#include "sdk/material.h"
#include "sdk/mesh.h"

int CountMeshMapChannels(const Mesh* mesh) {
    if (mesh == nullptr) return 0;
    int count = 0;
    for (int channel = 1; channel <= kMapChannelMax; ++channel) count += mesh->mapSupport(channel) ? 1 : 0;
    return count;
}

bool CollectMaterials(const MaterialReadContext& context, const std::string& nodeName, Mtl* hostMaterial,
                      XMaterialList& list, XMaterialTable& table) {
    if (hostMaterial == nullptr) return false;
    const auto add = [&](std::unique_ptr<XMaterial> record) {
        AddNodeMaterial(context.options, nodeName, list, table, std::move(record));
    };
    const auto readAny = [&](Mtl* material) {
        std::unique_ptr<XMaterial> record = ReadStandardMaterial(context, material);
        return record ? std::move(record) : ReadOtherMaterial(context, material);
    };

    if (IsDxMaterial(hostMaterial)) {
        add(ReadEffectMaterial(context, hostMaterial));
        return true;
    }
    const int subCount = hostMaterial->NumSubMtls();
    if (subCount > 0) {
        // One record per slot, so that the list index stays the faces' material index.
        for (int i = 0; i < subCount; ++i) {
            Mtl* sub = hostMaterial->GetSubMtl(i);
            add(sub ? readAny(sub) : std::make_unique<XMaterial>("Material_NULL"));
        }
        return true;
    }
    add(readAny(hostMaterial));
    return true;
}

namespace {

bool NameTaken(const std::string& name, const XMaterialList& list, const XMaterialTable& table) {
    return list.FindName(name) >= 0 || table.FindName(name) >= 0;
}

}  // namespace

void AddNodeMaterial(const ExportOptions& options, const std::string& nodeName, XMaterialList& list,
                     XMaterialTable& table, std::unique_ptr<XMaterial> record) {
    if (!record) return;
    // A material without a name could not be referred to; it gets a name no other record has.
    // Names are only added, so every "Material_<n>" below the table's first free one is taken.
    if (record->name.empty()) {
        for (;; ++table.firstFreeNumber) {
            if (table.FindName("Material_" + std::to_string(table.firstFreeNumber)) < 0) break;
        }
        for (size_t n = table.firstFreeNumber;; ++n) {
            record->name = "Material_" + std::to_string(n);
            if (!NameTaken(record->name, list, table)) break;
        }
    }
    if (record->name == nodeName) record->name = "Mat_" + record->name;
    if (record->name == "string") record->name = "_" + record->name;

    if (options.InlineMtl || record->kind == kEffectMaterial) {
        while (list.FindName(record->name) >= 0) record->name += '_';
        list.push_back(std::move(record));
        return;
    }
    if (const int64_t found = table.FindName(record->name); found >= 0) {
        list.push_back(std::make_unique<XMaterialRef>(static_cast<uint32_t>(found)));
        return;
    }
    table.push_back(std::move(record));
    list.push_back(std::make_unique<XMaterialRef>(static_cast<uint32_t>(table.size() - 1)));
}
