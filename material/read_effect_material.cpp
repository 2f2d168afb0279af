#include <algorithm>
#include <cctype>

#include "material/material_classify.h"
#include "material/read_materials.h"
#include "material/texture_paths.h"
#include "material/uv_transform.h"
#include "core/names.h"
#include "core/paths.h"
#include "sdk/host.h"
#include "sdk/material.h"
#include "sdk/material_classes.h"

using material_detail::HostString;

namespace {

constexpr int kMaxEffectBitmaps = kTextureSlotCount;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool HasMapChannelParameter(IParamBlock2& block) {
    const int count = block.NumParams();
    for (int index = 0; index < count; ++index) {
        const ParamDef& def = block.GetParamDef(block.IndextoID(index));
        if (Lower(def.internalName).find("mapchannel") != std::string::npos) return true;
    }
    return false;
}

void ReadEffectBitmaps(const MaterialReadContext& context, IDxMaterial& bitmaps, bool hasMapChannelParameter,
                       XEffectMaterial& record) {
    const int count = std::min(bitmaps.GetNumberOfEffectBitmaps(), kMaxEffectBitmaps);
    for (int i = 0; i < count; ++i) {
        XTextureSlot& slot = record.slots[i];
        slot.uvTransform = FlipUvMatrix();
        const int channel = bitmaps.GetBitmapMappingChannel(i);
        slot.mapChannel = (hasMapChannelParameter && channel >= 1) ? channel : 1;
        if (const char* file = bitmaps.GetEffectBitmapFile(i)) {
            slot.sourcePath = ResolveTexturePath(file, context.directories, context.texturePaths);
            slot.fileName = FileNameOf(file);
        }
    }
}

// The first file name parameter called "effectfile" in the second and later blocks.
std::string FindEffectFile(Mtl& material) {
    const int blockCount = material.NumParamBlocks();
    for (int b = 1; b < blockCount; ++b) {
        IParamBlock2* block = material.GetParamBlock(b);
        if (block == nullptr) continue;
        const int count = block->NumParams();
        for (int index = 0; index < count; ++index) {
            const int id = block->IndextoID(index);
            const ParamDef& def = block->GetParamDef(id);
            if (def.internalName == "effectfile" && def.type == ParamType::Filename)
                return HostString(block->GetStr(id, 0));
        }
    }
    return {};
}

// The file name of a texture map parameter: a bitmap texture's file without directory; other
// maps name no file.
std::string TexmapFileName(Texmap* map) {
    if (BitmapTex* bitmap = AsBitmapTex(map)) return FileNameOf(HostString(bitmap->GetMapName()));
    return {};
}

void ReadParameters(IParamBlock2& block, XEffectMaterial& record) {
    const int count = block.NumParams();
    for (int index = 0; index < count; ++index) {
        const int id = block.IndextoID(index);
        const ParamDef& def = block.GetParamDef(id);
        const std::string& name = def.internalName;
        switch (def.type) {
        case ParamType::Float:
        case ParamType::Percent:
            record.floatParams.push_back({name, {block.GetFloat(id, 0), 0, 0, 0}, 1});
            break;
        case ParamType::Point3: {
            const Point3 p = block.GetPoint3(id, 0);
            record.floatParams.push_back({name, {p.x, p.y, p.z, 0}, 3});
            break;
        }
        case ParamType::Point4: {
            const Point4 p = block.GetPoint4(id, 0);
            record.floatParams.push_back({name, {p.x, p.y, p.z, p.w}, 4});
            break;
        }
        case ParamType::FRGBA: {
            const AColor c = block.GetAColor(id, 0);
            record.floatParams.push_back({name, {c.r, c.g, c.b, c.a}, 4});
            break;
        }
        case ParamType::Bool:
            record.dwordParams.push_back({name, static_cast<uint32_t>(block.GetInt(id, 0))});
            break;
        case ParamType::String:
        case ParamType::Filename:
            record.stringParams.push_back({name, HostString(block.GetStr(id, 0))});
            break;
        case ParamType::Texmap:
            record.stringParams.push_back({name, TexmapFileName(block.GetTexmap(id, 0))});
            break;
        case ParamType::Bitmap:
            record.stringParams.push_back({name, FileNameOf(HostString(block.GetBitmapFileName(id, 0)))});
            break;
        default:  // integers, colours without alpha and other types are not effect parameters
            break;
        }
    }
}

}  // namespace

std::unique_ptr<XMaterial> ReadEffectMaterial(const MaterialReadContext& context, Mtl* material) {
    if (material == nullptr) return nullptr;
    IParamBlock2* first = material->NumParamBlocks() > 0 ? material->GetParamBlock(0) : nullptr;
    if (first == nullptr) {
        if (context.ip) {
            const std::string text = HostString(material->GetName()) + ": Not valid directx material!";
            context.ip->MessageBox(nullptr, text.c_str(), "Error Material", kMbOk);
        }
        return std::make_unique<XMaterial>("_ErrorDxMaterial");
    }

    auto record = std::make_unique<XEffectMaterial>();
    record->name = SanitizeXName(HostString(material->GetName()));
    if (IDxMaterial* bitmaps = GetDxEffectBitmaps(material))
        ReadEffectBitmaps(context, *bitmaps, HasMapChannelParameter(*first), *record);
    const std::string effectFile = FindEffectFile(*material);
    if (!effectFile.empty()) record->effectFile = ResolveTexturePath(effectFile, context.directories, context.texturePaths);
    ReadParameters(*first, *record);
    record->effectValid = true;
    return record;
}
