#include "xfile/write_material.h"

#include <algorithm>
#include <string>

#include "core/paths.h"

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

int UsedSlotCount(const XMaterial& record) {
    return static_cast<int>(std::count_if(record.slots.begin(), record.slots.end(),
                                          [](const XTextureSlot& slot) { return slot.used(); }));
}

void WritePlainTextures(XWriteContext& context, const xfile::XSaveData& material, const XMaterial& record) {
    const bool all = context.records.options.MultiTextures != 0;
    const int mainSlot = record.MainSlot();
    for (int i = 0; i < kTextureSlotCount; ++i) {
        const XTextureSlot& slot = record.slots[i];
        if (!slot.used() || slot.fileName.empty()) continue;
        if (all || i == mainSlot) AddString(context, material, xfile::kTidTextureFilename, slot.fileName);
    }
}

}  // namespace

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

void WriteMaterial(XWriteContext& context, const xfile::XSaveData* parent, const XMaterialEntry* entry) {
    if (entry == nullptr) return;
    const XFileRecords& records = context.records;
    if (entry->kind == kMaterialRef) {
        const XMaterial* shared = ResolveMaterialEntry(entry, records.materials);
        if (parent && shared) xfile::XSaveData(*parent).AddDataReference(shared->name);
        return;
    }

    const auto& record = static_cast<const XMaterial&>(*entry);
    const xfile::XPayload payload = MaterialPayload(record);
    const xfile::XSaveData material = AddObject(context, parent, xfile::kTidMaterial, record.name, payload.bytes());
    if (!material.valid() || UsedSlotCount(record) == 0) return;

    if (IsEffect(record)) {
        // A DirectX shader material carries its parameters when EffectParam asks for them; a
        // generated effect always does, since its textures are among them.
        const auto& effect = static_cast<const XEffectMaterial&>(record);
        WriteEffectInstance(context, material, effect, !effect.effectValid || records.options.EffectParam != 0);
        return;
    }
    WritePlainTextures(context, material, record);
}

void ListMaterialTemplates(const XFileRecords& records, const XMaterialEntry* entry, XTemplateList& list) {
    if (entry == nullptr || entry->kind == kMaterialRef) return;
    const auto& record = static_cast<const XMaterial&>(*entry);
    list.Use(xfile::kTidMaterial);
    if (UsedSlotCount(record) == 0) return;
    if (IsEffect(record)) {
        const auto& effect = static_cast<const XEffectMaterial&>(record);
        list.Use(xfile::kTidEffectInstance);
        if (effect.effectValid && records.options.EffectParam == 0) return;
        if (!effect.dwordParams.empty()) list.Use(xfile::kTidEffectParamDWord);
        if (!effect.stringParams.empty()) list.Use(xfile::kTidEffectParamString);
        if (!effect.floatParams.empty()) list.Use(xfile::kTidEffectParamFloats);
        return;
    }
    const int mainSlot = record.MainSlot();
    for (int i = 0; i < kTextureSlotCount; ++i) {
        const XTextureSlot& slot = record.slots[i];
        if (slot.used() && !slot.fileName.empty() && (records.options.MultiTextures != 0 || i == mainSlot))
            list.Use(xfile::kTidTextureFilename);
    }
}

void WriteSharedMaterials(XWriteContext& context) {
    // Each record of the material table becomes a named top-level Material, in table order.
    for (const std::unique_ptr<XMaterial>& record : context.records.materials)
        if (record) WriteMaterial(context, nullptr, record.get());
}
