// Material serialisation: Material objects with their TextureFilename and EffectInstance
// children, and the files the materials name, put beside the X file.
//
// While a record is written its texture files are copied into the output directory, its
// procedural maps baked there, the effect file of a DirectX shader material copied, and for
// an effect material without an effect file of its own a generated effect file written. A
// source that is missing or cannot be read is skipped quietly; no file is ever written outside
// the output directory (only the part of a name after its last separator is used).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "material/xmaterial.h"
#include "xfile/write_xfile.h"

// What the writer reads of the geometry node whose material list holds the entry.
struct MaterialNodeView {
    std::string_view name;                     // the node's export name
    const XMaterialList* materials = nullptr;  // the node's material list
    std::span<const int32_t> channels;         // XMeshData::channels: host mapping channels, ascending
    std::span<const int32_t> channelMap;       // XMeshData::channelMap: the position each channel shares
};

// Writes one material list entry or material table record. parent is the MeshMaterialList to
// add to, or null for the top level; node describes the geometry node for list entries and is
// null for table records. A reference entry becomes a data reference to the table record's
// name under parent (nothing without a parent). Updates the record: the file names of baked
// slots, the effect file name and the texture parameters of a generated effect.
void WriteMaterial(XWriteContext& context, const xfile::XSaveData* parent, XMaterialEntry* entry,
                   const MaterialNodeView* node);

// Adds the EffectInstance of record to material, with the parameter objects when writeParams:
// EffectParamDWord, then EffectParamString, then EffectParamFloats, each in list order.
void WriteEffectInstance(XWriteContext& context, const xfile::XSaveData& material, const XEffectMaterial& record,
                         bool writeParams);

// The 0-based texture coordinate set that carries a host mapping channel in the written mesh:
// the number of own channels (channelMap[c] == c) among positions 0 to channelMap[c] of the
// channel's position c, minus one. -1 when the mesh does not carry the channel.
int32_t TexCoordSetOfChannel(int32_t mapChannel, std::span<const int32_t> channels,
                             std::span<const int32_t> channelMap);
