#include "xfile/write_material.h"

#include <algorithm>
#include <string>

#include "effect/effect_file.h"
#include "material/bake_texmap.h"
#include "material/file_output.h"
#include "plugin/exporter.h"
#include "plugin/paths.h"
#include "sdk/host.h"

namespace {

bool IsEffect(const XMaterialEntry& entry) { return entry.kind == kEffectMaterial; }

xfile::XPayload MaterialPayload(const XMaterial& record) {
    xfile::XPayload payload;
    payload.Reserve(44);
    payload.Float(record.diffuse.r).Float(record.diffuse.g).Float(record.diffuse.b).Float(record.diffuse.a);
    payload.Float(record.power);
    payload.Float(record.specular.r).Float(record.specular.g).Float(record.specular.b);
    payload.Float(record.emissive.r).Float(record.emissive.g).Float(record.emissive.b);
    return payload;
}

void AddString(XWriteContext& context, const xfile::XSaveData& parent, const xfile::XGuid& templateId,
               std::string_view text) {
    xfile::XPayload payload;
    payload.Reserve(text.size() + 1);
    payload.String(text);
    AddObject(context, &parent, templateId, "", payload.bytes());
}

// Copies bitmap files and bakes procedural maps of the used slots into the output directory.
// Returns the number of used slots.
int ExportTextureFiles(XWriteContext& context, XMaterial& record) {
    XExporter& exporter = context.exporter;
    const ExportOptions& options = exporter.options();
    int used = 0;
    for (XTextureSlot& slot : record.slots) {
        if (!slot.used()) continue;
        ++used;
        if (!options.TextureFiles) continue;
        if (slot.procMap) {
            const std::string file = slot.textureName + ".bmp";
            const std::string target = FileInDirectory(exporter.outputDirectory, file);
            if (!target.empty() && (options.OverwriteTexture || !PathExists(target))) {
                BitmapManager* manager = exporter.ip ? exporter.ip->GetBitmapManager() : nullptr;
                BakeTexmap(manager, slot.procMap, options.ProcMapX, options.ProcMapY, target);
            }
            slot.fileName = file;
        } else if (!slot.sourcePath.empty()) {
            const std::string target = FileInDirectory(exporter.outputDirectory, slot.fileName);
            if (!target.empty()) CopyFileReplacing(slot.sourcePath, target, !options.OverwriteTexture);
        }
    }
    return used;
}

void WritePlainTextures(XWriteContext& context, const xfile::XSaveData& material, const XMaterial& record) {
    const bool all = context.exporter.options().MultiTextures != 0;
    const int mainSlot = record.MainSlot();
    for (int i = 0; i < kTextureSlotCount; ++i) {
        const XTextureSlot& slot = record.slots[i];
        if (!slot.used() || slot.fileName.empty()) continue;
        if (all || i == mainSlot) AddString(context, material, xfile::kTidTextureFilename, slot.fileName);
    }
}

void WriteGeneratedEffect(XWriteContext& context, const xfile::XSaveData& material, XEffectMaterial& record,
                          const MaterialNodeView* node) {
    XExporter& exporter = context.exporter;
    const ExportOptions& options = exporter.options();

    XEffectFile effect;
    effect.diffuse = record.diffuse;
    effect.power = record.power;
    effect.specular = record.specular;
    effect.emissive = record.emissive;
    effect.normal = options.Normal;
    effect.tangent = options.Tangent;
    effect.bitangent = options.BiTangent;
    effect.vertexColor = options.VertexColor;
    effect.diffuseMapColor = options.DiffuseMapColor;

    // One effect file per node, or per node and material when the node has several.
    size_t effectCount = 0;
    if (node && node->materials)
        effectCount = static_cast<size_t>(std::count_if(node->materials->begin(), node->materials->end(),
                                                        [](const auto& entry) { return entry && IsEffect(*entry); }));
    if (node)
        record.effectFile = std::string(node->name) + (effectCount > 1 ? "_" + record.name : std::string()) + ".fx";
    else
        record.effectFile = record.name + ".fx";  // a shared record has no node to name it
    effect.path = FileInDirectory(exporter.outputDirectory, record.effectFile);

    for (const XTextureSlot& slot : record.slots) {
        if (!node || !slot.used()) continue;
        const int32_t set = TexCoordSetOfChannel(slot.mapChannel, node->channels, node->channelMap);
        if (set < 0) continue;
        effect.AddTexture(slot.usage, set, slot.addressU, slot.addressV, slot.textureName);
        record.stringParams.push_back({slot.textureName, slot.fileName});
    }

    WriteEffectInstance(context, material, record, true);
    if (options.TextureFiles && (options.OverwriteTexture || !PathExists(effect.path))) effect.Write(options);
}

}  // namespace

int32_t TexCoordSetOfChannel(int32_t mapChannel, std::span<const int32_t> channels,
                             std::span<const int32_t> channelMap) {
    const auto found = std::find(channels.begin(), channels.end(), mapChannel);
    if (found == channels.end()) return -1;
    const size_t position = static_cast<size_t>(found - channels.begin());
    if (position >= channelMap.size()) return -1;
    const int32_t shared = channelMap[position];
    if (shared < 0 || static_cast<size_t>(shared) >= channelMap.size()) return -1;
    int32_t own = 0;
    for (int32_t i = 0; i <= shared; ++i) own += channelMap[static_cast<size_t>(i)] == i ? 1 : 0;
    return own - 1;
}

void WriteEffectInstance(XWriteContext& context, const xfile::XSaveData& material, const XEffectMaterial& record,
                         bool writeParams) {
    xfile::XPayload instance;
    const std::string file = FileNameOf(record.effectFile);
    instance.String(file);
    const xfile::XSaveData effect = AddObject(context, &material, xfile::kTidEffectInstance, "", instance.bytes());
    if (!effect.valid() || !writeParams) return;

    for (const XDwordParam& param : record.dwordParams) {
        xfile::XPayload p;
        p.Reserve(param.name.size() + 5);
        p.String(param.name).Dword(param.value);
        AddObject(context, &effect, xfile::kTidEffectParamDWord, "", p.bytes());
    }
    for (const XStringParam& param : record.stringParams) {
        xfile::XPayload p;
        p.Reserve(param.name.size() + param.value.size() + 2);
        p.String(param.name).String(param.value);
        AddObject(context, &effect, xfile::kTidEffectParamString, "", p.bytes());
    }
    for (const XFloatParam& param : record.floatParams) {
        const int32_t count = std::clamp(param.count, 1, 4);
        xfile::XPayload p;
        p.Reserve(param.name.size() + 5 + 4 * static_cast<size_t>(count));
        p.String(param.name).Dword(static_cast<uint32_t>(count));
        p.Floats(std::span<const float>(param.values.data(), static_cast<size_t>(count)));
        AddObject(context, &effect, xfile::kTidEffectParamFloats, "", p.bytes());
    }
}

void WriteMaterial(XWriteContext& context, const xfile::XSaveData* parent, XMaterialEntry* entry,
                   const MaterialNodeView* node) {
    if (entry == nullptr) return;
    XExporter& exporter = context.exporter;
    if (entry->kind == kMaterialRef) {
        const XMaterial* shared = ResolveMaterialEntry(entry, exporter.materialTable);
        if (parent && shared) xfile::XSaveData(*parent).AddDataReference(shared->name);
        return;
    }

    auto& record = static_cast<XMaterial&>(*entry);
    const xfile::XPayload payload = MaterialPayload(record);
    const xfile::XSaveData material = AddObject(context, parent, xfile::kTidMaterial, record.name, payload.bytes());
    if (!material.valid()) return;

    if (ExportTextureFiles(context, record) == 0) return;

    const ExportOptions& options = exporter.options();
    if (IsEffect(record)) {
        auto& effect = static_cast<XEffectMaterial&>(record);
        if (effect.effectValid) {
            WriteEffectInstance(context, material, effect, options.EffectParam != 0);
            if (options.DxFx && !effect.effectFile.empty()) {
                const std::string target = FileInDirectory(exporter.outputDirectory, effect.effectFile);
                if (!target.empty()) CopyFileReplacing(effect.effectFile, target, !options.OverwriteFX);
            }
        } else {
            WriteGeneratedEffect(context, material, effect, node);
        }
        return;
    }
    WritePlainTextures(context, material, record);
}
