// Mesh serialisation: the Mesh of a geometry node with its normals, material list, texture
// coordinate sets and vertex colours, or instead of the per-vertex objects one DeclData.
//
// WriteMesh adds, under the
// parent that the frame writer chose, the Mesh named after the node and inside it, in this
// order: MeshNormals, MeshMaterialList (with the node's material entries or one default
// Material in the wire colour), one MeshTextureCoords "c<channel>" per own texture channel,
// MeshVertexColors or DeclData. The per-vertex and per-face data are laid out a chunk at a
// time as the save layer reads them, so no payload is held whole. The progress meter is stepped after the vertices, after the faces, after the material
// list (Mtl on) and at the end.
#pragma once

#include <cstdint>
#include <vector>

#include "xfile/write_context.h"

struct ExportOptions;
struct XMeshData;

// One vertex element of a DeclData: the Direct3D 9 vertex declaration values.
struct XVertexElement {
    uint32_t type = 0;        // 1: two floats, 2: three floats, 3: four floats
    uint32_t method = 0;      // always the default method
    uint32_t usage = 0;       // 3 normal, 5 texture coordinates, 6 tangent, 7 binormal, 10 colour
    uint32_t usageIndex = 0;  // counts the texture coordinate sets; 0 otherwise
    int32_t channelPosition = -1;  // texture elements: the channel-list position they carry
};

inline constexpr uint32_t kDeclFloat2 = 1;
inline constexpr uint32_t kDeclFloat3 = 2;
inline constexpr uint32_t kDeclFloat4 = 3;
inline constexpr uint32_t kDeclUsageNormal = 3;
inline constexpr uint32_t kDeclUsageTexCoord = 5;
inline constexpr uint32_t kDeclUsageTangent = 6;
inline constexpr uint32_t kDeclUsageBinormal = 7;
inline constexpr uint32_t kDeclUsageColor = 10;

// The DeclData elements of a node's mesh data, in order: normal (Normal), tangent and
// bitangent (Tangent, BiTangent; mesh nodes only), colour (VertexColor, mesh nodes with colours
// or alpha), then one texture coordinate set per own channel (TexCoords).
std::vector<XVertexElement> MeshVertexElements(const ExportOptions& options, bool meshNode, const XMeshData& data);

// The Mesh of a geometry node with its children and skin objects, under parent (null: top
// level). Does nothing while the node has no mesh data.
void WriteMesh(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode& node);
// The templates WriteMesh uses for node.
void ListMeshTemplates(const XFileRecords& records, const XRenderableNode& node, XTemplateList& list);
