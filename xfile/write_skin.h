// Skin serialisation: the skin objects inside the Mesh of a skinned mesh node.
//
// WriteSkin adds, inside the Mesh, one XSkinMeshHeader with the record's three counts and then,
// in the record's bone order, one SkinWeights per bone: the bone's sanitised name, the export
// vertices whose position the bone influences (ascending, one entry per export vertex, so a
// position shared by several vertices gives an entry for each) with their weights, and the
// bone's offset matrix in output coordinates (exportOffset). A bone that influences nothing is written with no
// weights; a record without bones gives the header with counts 0, 0, 0 alone. Each SkinWeights
// payload is sized by a counting pass and allocated once. The progress meter is stepped once
// per bone.
#pragma once

#include <cstdint>
#include <vector>

#include "xfile/write_context.h"

struct SkinBone;
struct XMeshData;

// What the SkinWeights payloads of one mesh share: per mesh position, its first and last export
// vertex, and a position-to-entry table that each bone fills and clears again.
struct SkinVertexIndex {
    static constexpr uint32_t kNone = UINT32_MAX;
    explicit SkinVertexIndex(const XMeshData& data);
    std::vector<uint32_t> entryOf;      // per position: the bone's weight entry, or kNone
    std::vector<uint32_t> firstVertex;  // per position: its first export vertex, or kNone
    std::vector<uint32_t> lastVertex;   // per position: its last export vertex
    std::vector<uint32_t> influenced;   // the export vertices of the bone being written
};

// The payload of one SkinWeights object.
xfile::XPayload SkinWeightsPayload(const SkinBone& bone, const XMeshData& data, SkinVertexIndex& index);

// Writes the skin objects of node (skinned, a mesh node, with mesh data and a meshSkin record)
// inside mesh; does nothing otherwise.
void WriteSkin(XWriteContext& context, const xfile::XSaveData& mesh, XRenderableNode& node);
