#include "xfile/write_mesh.h"

#include <cstdio>
#include <limits>

#include "mesh/mesh_data.h"
#include "scene/xnode.h"
#include "xfile/write_material.h"
#include "skin/skin_info.h"
#include "xfile/write_skin.h"

namespace {

using xfile::XPayload;

// A channel is written when it keeps its own coordinates (not merged into an earlier one).
bool IsOwnChannel(const XMeshData& data, size_t position) {
    return position < data.channelMap.size() && data.channelMap[position] == static_cast<int32_t>(position);
}

bool HasColorData(const XMeshData& data) { return data.hasVertexColors || data.hasVertexAlpha; }

using xfile::XPacker;
using xfile::XStreamedPayload;

void PutPoint(XPacker& p, const Point3& v) { p.Float(v.x).Float(v.y).Float(v.z); }

// The face count and the faces, each as a counted list of three indices.
void PutFaces(XStreamedPayload& p, const XMeshData& data) {
    p.Dword(data.faceCount).Elements(data.faces.size(), 16, [&data](uint64_t first, size_t n, uint8_t* out) {
        for (size_t i = 0; i < n; ++i) {
            const XMeshFace& face = data.faces[first + i];
            XPacker{out + 16 * i}.Dword(3).Dword(face.index[0]).Dword(face.index[1]).Dword(face.index[2]);
        }
    });
}

// The vertex count, then `elementSize` bytes per vertex laid out by put(packer, vertex).
template <class Put>
void PutPerVertex(XStreamedPayload& p, uint32_t vertexCount, uint32_t elementSize, Put put) {
    p.Dword(vertexCount).Elements(vertexCount, elementSize, [put, elementSize](uint64_t first, size_t n, uint8_t* out) {
        for (size_t i = 0; i < n; ++i) {
            XPacker packer{out + elementSize * i};
            put(packer, static_cast<uint32_t>(first + i));
        }
    });
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
    XStreamedPayload p;
    p.Dword(materialCount > 0 ? static_cast<uint32_t>(materialCount) : 1u).Dword(data.faceCount);
    p.Elements(data.faces.size(), 4, [&data](uint64_t first, size_t n, uint8_t* out) {
        for (size_t i = 0; i < n; ++i) XPacker{out + 4 * i}.Dword(data.FaceMaterial(static_cast<uint32_t>(first + i)));
    });
    const xfile::XSaveData list = AddObject(context, &mesh, xfile::kTidMeshMaterialList, "", p);
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
        XStreamedPayload p;
        PutPerVertex(p, vertexCount, 8, [&data, c](XPacker& out, uint32_t v) {
            const float* uv = data.Uv(data.VertexSlot(v)) + 2 * c;
            out.Float(uv[0]).Float(uv[1]);
        });
        char name[32];
        std::snprintf(name, sizeof name, "c%d", static_cast<int>(data.channels[c]));
        AddObject(context, &mesh, xfile::kTidMeshTextureCoords, name, p);
    }
}

void WriteVertexColors(XWriteContext& context, const xfile::XSaveData& mesh, const XMeshData& data) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    XStreamedPayload p;
    PutPerVertex(p, vertexCount, 20, [&data](XPacker& out, uint32_t v) {
        const XMeshCorner corner = data.VertexCorner(v);
        out.Dword(v).Float(corner.color.r).Float(corner.color.g).Float(corner.color.b).Float(corner.alpha);
    });
    AddObject(context, &mesh, xfile::kTidMeshVertexColors, "", p);
}

uint32_t ElementFloats(uint32_t type) { return type == kDeclFloat2 ? 2 : type == kDeclFloat3 ? 3 : 4; }

void WriteDeclData(XWriteContext& context, const xfile::XSaveData& mesh, const std::vector<XVertexElement>& elements,
                   const XMeshData& data) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    size_t perVertex = 0;
    for (const XVertexElement& e : elements) perVertex += ElementFloats(e.type);
    const size_t dwordCount = perVertex * vertexCount;
    if (dwordCount > std::numeric_limits<uint32_t>::max()) return;  // cannot be counted in the file

    XStreamedPayload p;
    p.Dword(static_cast<uint32_t>(elements.size()));
    for (const XVertexElement& e : elements) p.Dword(e.type).Dword(e.method).Dword(e.usage).Dword(e.usageIndex);
    p.Dword(static_cast<uint32_t>(dwordCount));
    const bool framed = data.tangents.size() == vertexCount && data.bitangents.size() == vertexCount;
    p.Elements(vertexCount, static_cast<uint32_t>(4 * perVertex), [&](uint64_t first, size_t n, uint8_t* at) {
        XPacker out{at};
        for (uint32_t v = static_cast<uint32_t>(first); v < first + n; ++v) {
            const uint32_t slot = data.VertexSlot(v);
            const XMeshCorner corner = data.SlotCorner(slot);
            for (const XVertexElement& e : elements) {
                switch (e.usage) {
                    case kDeclUsageNormal: PutPoint(out, corner.normal); break;
                    case kDeclUsageTangent: PutPoint(out, framed ? data.tangents[v] : Point3{}); break;
                    case kDeclUsageBinormal: PutPoint(out, framed ? data.bitangents[v] : Point3{}); break;
                    case kDeclUsageColor:
                        out.Float(corner.color.r).Float(corner.color.g).Float(corner.color.b).Float(corner.alpha);
                        break;
                    default: {
                        const float* uv = data.Uv(slot) + 2 * size_t(e.channelPosition);
                        out.Float(uv[0]).Float(uv[1]);
                    }
                }
            }
        }
    });
    AddObject(context, &mesh, xfile::kTidDeclData, "", p);
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

void ListMeshTemplates(const XFileRecords& records, const XRenderableNode& node, XTemplateList& list) {
    if (!node.meshData) return;
    const XMeshData& data = *node.meshData;
    const ExportOptions& options = records.options;
    const bool meshNode = IsMeshNode(node);
    list.Use(xfile::kTidMesh);
    if (options.Normal && !options.DeclData) list.Use(xfile::kTidMeshNormals);
    if (options.Mtl) {
        list.Use(xfile::kTidMeshMaterialList);
        if (node.materials.empty()) list.Use(xfile::kTidMaterial);
        for (const std::unique_ptr<XMaterialEntry>& entry : node.materials)
            ListMaterialTemplates(records, entry.get(), list);
    }
    if (!options.DeclData) {
        bool coords = false;
        for (size_t c = 0; c < data.UvwCount() && c < data.channels.size(); ++c) coords = coords || IsOwnChannel(data, c);
        if (options.TexCoords && coords) list.Use(xfile::kTidMeshTextureCoords);
        if (options.VertexColor && meshNode && HasColorData(data)) list.Use(xfile::kTidMeshVertexColors);
    } else if (!MeshVertexElements(options, meshNode, data).empty()) {
        list.Use(xfile::kTidDeclData);
    }
    if (node.skinned && meshNode && node.meshSkin) {
        list.Use(xfile::kTidXSkinMeshHeader);
        if (!node.meshSkin->bones.empty()) list.Use(xfile::kTidSkinWeights);
    }
}

void WriteMesh(XWriteContext& context, const xfile::XSaveData* parent, XRenderableNode& node) {
    if (!node.meshData) return;
    const XMeshData& data = *node.meshData;
    const ExportOptions& options = context.records.options;
    const bool meshNode = IsMeshNode(node);
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());

    XStreamedPayload p;
    PutPerVertex(p, vertexCount, 12, [&data](XPacker& out, uint32_t v) {
        PutPoint(out, data.positions[data.vertices[v].positionIndex].position);
    });
    context.meter.Step();
    PutFaces(p, data);
    context.meter.Step();
    const xfile::XSaveData mesh = AddObject(context, parent, xfile::kTidMesh, node.name, p);

    if (mesh.valid() && options.Normal && !options.DeclData) {
        XStreamedPayload normals;
        PutPerVertex(normals, vertexCount, 12,
                     [&data](XPacker& out, uint32_t v) { PutPoint(out, data.VertexCorner(v).normal); });
        PutFaces(normals, data);
        AddObject(context, &mesh, xfile::kTidMeshNormals, "", normals);
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
