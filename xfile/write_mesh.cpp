#include "xfile/write_mesh.h"

#include <cstdio>
#include <limits>

#include "mesh/mesh_data.h"
#include "scene/xnode.h"
#include "xfile/write_material.h"
#include "xfile/write_skin.h"

namespace {

using xfile::XPayload;

// A channel is written when it keeps its own coordinates (not merged into an earlier one).
bool IsOwnChannel(const XMeshData& data, size_t position) {
    return position < data.channelMap.size() && data.channelMap[position] == static_cast<int32_t>(position);
}

bool HasColorData(const XMeshData& data) { return data.hasVertexColors || data.hasVertexAlpha; }

void PutPoint(XPayload& p, const Point3& v) { p.Float(v.x).Float(v.y).Float(v.z); }

void PutFaces(XPayload& p, const XMeshData& data) {
    p.Dword(data.faceCount);
    for (const XMeshFace& face : data.faces) p.Dword(3).Dword(face.index[0]).Dword(face.index[1]).Dword(face.index[2]);
}

XPayload NormalsPayload(const XMeshData& data) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    XPayload p;
    p.Reserve(8 + 12 * size_t(vertexCount) + 16 * size_t(data.faceCount));
    p.Dword(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v) PutPoint(p, data.VertexCorner(v).normal);
    PutFaces(p, data);
    return p;
}

// The material of a node without material entries: its wire colour, opaque, no highlights.
XPayload WireColorMaterialPayload(uint32_t wireColor) {
    XPayload p;
    p.Reserve(44);
    p.Float(float(wireColor & 0xFF) / 255.0f).Float(float((wireColor >> 8) & 0xFF) / 255.0f);
    p.Float(float((wireColor >> 16) & 0xFF) / 255.0f).Float(1.0f);
    p.Float(0.0f);
    p.Float(0.0f).Float(0.0f).Float(0.0f);
    p.Float(0.0f).Float(0.0f).Float(0.0f);
    return p;
}

void WriteMaterialList(XWriteContext& context, const xfile::XSaveData& mesh, XRenderableNode& node,
                       const XMeshData& data) {
    const size_t materialCount = node.materials.size();
    XPayload p;
    p.Reserve(8 + 4 * size_t(data.faceCount));
    p.Dword(materialCount > 0 ? static_cast<uint32_t>(materialCount) : 1u).Dword(data.faceCount);
    for (uint32_t f = 0; f < data.faces.size(); ++f) p.Dword(data.FaceMaterial(f));
    const xfile::XSaveData list = AddObject(context, &mesh, xfile::kTidMeshMaterialList, "", p.bytes());
    if (!list.valid()) return;

    if (materialCount == 0) {
        const XPayload material = WireColorMaterialPayload(data.wireColor);
        AddObject(context, &list, xfile::kTidMaterial, "", material.bytes());
        return;
    }
    for (const std::unique_ptr<XMaterialEntry>& entry : node.materials) WriteMaterial(context, &list, entry.get());
}

void WriteTextureCoords(XWriteContext& context, const xfile::XSaveData& mesh, const XMeshData& data) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    for (size_t c = 0; c < data.UvwCount() && c < data.channels.size(); ++c) {
        if (!IsOwnChannel(data, c)) continue;
        XPayload p;
        p.Reserve(4 + 8 * size_t(vertexCount));
        p.Dword(vertexCount);
        for (uint32_t v = 0; v < vertexCount; ++v) {
            const float* uv = data.Uv(data.VertexSlot(v)) + 2 * c;
            p.Float(uv[0]).Float(uv[1]);
        }
        char name[32];
        std::snprintf(name, sizeof name, "c%d", static_cast<int>(data.channels[c]));
        AddObject(context, &mesh, xfile::kTidMeshTextureCoords, name, p.bytes());
    }
}

void WriteVertexColors(XWriteContext& context, const xfile::XSaveData& mesh, const XMeshData& data) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    XPayload p;
    p.Reserve(4 + 20 * size_t(vertexCount));
    p.Dword(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const XMeshCorner corner = data.VertexCorner(v);
        p.Dword(v).Float(corner.color.r).Float(corner.color.g).Float(corner.color.b).Float(corner.alpha);
    }
    AddObject(context, &mesh, xfile::kTidMeshVertexColors, "", p.bytes());
}

uint32_t ElementFloats(uint32_t type) { return type == kDeclFloat2 ? 2 : type == kDeclFloat3 ? 3 : 4; }

void WriteDeclData(XWriteContext& context, const xfile::XSaveData& mesh, const std::vector<XVertexElement>& elements,
                   const XMeshData& data) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    size_t perVertex = 0;
    for (const XVertexElement& e : elements) perVertex += ElementFloats(e.type);
    const size_t dwordCount = perVertex * vertexCount;
    if (dwordCount > std::numeric_limits<uint32_t>::max()) return;  // cannot be counted in the file

    XPayload p;
    p.Reserve(8 + 16 * elements.size() + 4 * dwordCount);
    p.Dword(static_cast<uint32_t>(elements.size()));
    for (const XVertexElement& e : elements) p.Dword(e.type).Dword(e.method).Dword(e.usage).Dword(e.usageIndex);
    p.Dword(static_cast<uint32_t>(dwordCount));
    const bool framed = data.tangents.size() == vertexCount && data.bitangents.size() == vertexCount;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const uint32_t slot = data.VertexSlot(v);
        const XMeshCorner corner = data.SlotCorner(slot);
        for (const XVertexElement& e : elements) {
            switch (e.usage) {
                case kDeclUsageNormal: PutPoint(p, corner.normal); break;
                case kDeclUsageTangent: PutPoint(p, framed ? data.tangents[v] : Point3{}); break;
                case kDeclUsageBinormal: PutPoint(p, framed ? data.bitangents[v] : Point3{}); break;
                case kDeclUsageColor:
                    p.Float(corner.color.r).Float(corner.color.g).Float(corner.color.b).Float(corner.alpha);
                    break;
                default: {
                    const float* uv = data.Uv(slot) + 2 * size_t(e.channelPosition);
                    p.Float(uv[0]).Float(uv[1]);
                }
            }
        }
    }
    AddObject(context, &mesh, xfile::kTidDeclData, "", p.bytes());
}

}  // namespace

std::vector<XVertexElement> MeshVertexElements(const ExportOptions& options, bool meshNode, const XMeshData& data) {
    std::vector<XVertexElement> elements;
    if (options.Normal) elements.push_back({kDeclFloat3, 0, kDeclUsageNormal, 0, -1});
    if (options.Tangent && meshNode) elements.push_back({kDeclFloat3, 0, kDeclUsageTangent, 0, -1});
    if (options.BiTangent && meshNode) elements.push_back({kDeclFloat3, 0, kDeclUsageBinormal, 0, -1});
    if (options.VertexColor && meshNode && HasColorData(data))
        elements.push_back({kDeclFloat4, 0, kDeclUsageColor, 0, -1});
    if (options.TexCoords) {
        uint32_t set = 0;
        for (size_t c = 0; c < data.UvwCount() && c < data.channels.size(); ++c)
            if (IsOwnChannel(data, c)) elements.push_back({kDeclFloat2, 0, kDeclUsageTexCoord, set++, int32_t(c)});
    }
    return elements;
}

void WriteMesh(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode& node) {
    if (!node.meshData) return;
    const XMeshData& data = *node.meshData;
    const ExportOptions& options = context.records.options;
    const bool meshNode = IsMeshNode(node);
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());

    XPayload p;
    p.Reserve(8 + 12 * size_t(vertexCount) + 16 * size_t(data.faceCount));
    p.Dword(vertexCount);
    for (const XMeshVertex& vertex : data.vertices) PutPoint(p, data.positions[vertex.positionIndex].position);
    context.meter.Step();
    PutFaces(p, data);
    context.meter.Step();
    const xfile::XSaveData mesh = AddObject(context, parent, xfile::kTidMesh, node.name, p.bytes());
    p = XPayload();  // the save layer keeps its own copy

    if (mesh.valid() && options.Normal && !options.DeclData) {
        const XPayload normals = NormalsPayload(data);
        AddObject(context, &mesh, xfile::kTidMeshNormals, "", normals.bytes());
    }
    if (options.Mtl) {
        if (mesh.valid()) WriteMaterialList(context, mesh, node, data);
        context.meter.Step();
    }
    if (mesh.valid()) {
        if (!options.DeclData) {
            if (options.TexCoords) WriteTextureCoords(context, mesh, data);
            if (options.VertexColor && meshNode && HasColorData(data)) WriteVertexColors(context, mesh, data);
        } else {
            const std::vector<XVertexElement> elements = MeshVertexElements(options, meshNode, data);
            if (!elements.empty()) WriteDeclData(context, mesh, elements, data);
        }
    }
    context.meter.Step();
    if (mesh.valid() && node.skinned && meshNode) WriteSkin(context, mesh, node);
}
