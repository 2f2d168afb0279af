// Material serialisation: Material objects with their TextureFilename and EffectInstance
// children. The files the materials name were made by the material output step
// (material/material_output.h), which also completed the records; this only writes them.
#pragma once

#include "material/xmaterial.h"
#include "xfile/write_context.h"

// Writes one material list entry or material table record. parent is the MeshMaterialList to
// add to, or null for the top level. A reference entry becomes a data reference to the table
// record's name under parent (nothing without a parent). A record without a used slot is a
// bare Material; otherwise a plain record gets its TextureFilename objects (the main slot's, or
// every used slot's with MultiTextures) and an effect record its EffectInstance.
void WriteMaterial(XWriteContext& context, const xfile::XSaveData* parent, const XMaterialEntry* entry);

// Adds the EffectInstance of record to material, with the parameter objects when writeParams:
// EffectParamDWord, then EffectParamString, then EffectParamFloats, each in list order.
void WriteEffectInstance(XWriteContext& context, const xfile::XSaveData& material, const XEffectMaterial& record,
                         bool writeParams);

// The top-level materials of the export's material table, in table order (Mtl on).
void WriteSharedMaterials(XWriteContext& context);
// The templates WriteMaterial uses for entry.
void ListMaterialTemplates(const XFileRecords& records, const XMaterialEntry* entry, XTemplateList& list);
