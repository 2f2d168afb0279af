#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <vector>

#include "material/xmaterial.h"
#include "mesh/mesh_data.h"
#include "mesh/tangent_frame.h"
#include "scene/export_context.h"
#include "scene/xnode.h"
#include "sdk/host.h"
#include "sdk/mesh.h"

namespace {

// The default texture coordinate transform: (u, v) becomes (u, 1 - v).
Matrix2 DefaultUvTransform() {
    Matrix2 m;
    m.m[0][0] = 1, m.m[0][1] = 0;
    m.m[1][0] = 0, m.m[1][1] = -1;
    m.m[2][0] = 0, m.m[2][1] = 1;
    return m;
}

// One map channel as the faces read it; counts bound every index.
struct ChannelSource {
    FaceCorners faces;
    const Point3* verts = nullptr;
    size_t vertCount = 0;

    ChannelSource(const Mesh& mesh, int channel)
        : faces(mesh.mapFaces(channel)), verts(mesh.Map(channel).tv.data()), vertCount(mesh.Map(channel).tv.size()) {}
    ChannelSource() = default;

    // The channel's vertex at a face corner, or fallback when the channel does not hold it.
    Point3 Read(size_t face, int corner, const Point3& fallback) const {
        if (face >= faces.size()) return fallback;
        const uint32_t t = faces[face][corner];
        return t < vertCount ? verts[t] : fallback;
    }
};

// What a face's material gives its texture channels: each channel's working transform and the
// channel-list position of the normal map's channel (-1: none). Faces of one material index
// share it, so it is worked out once per material list entry.
struct MaterialChannels {
    std::vector<Matrix2> transforms;  // one per entry of XMeshData::channels
    int32_t tangentSlot = -1;
};

MaterialChannels ChannelsOfMaterial(const XMaterial* record, const Mesh& mesh, bool texCoords,
                                    const std::array<int32_t, kMapChannelMax + 1>& channelPosition,
                                    size_t channelCount) {
    MaterialChannels result;
    result.transforms.assign(channelCount, DefaultUvTransform());
    if (!record || !texCoords) return result;
    std::vector<bool> set(channelCount, false);
    for (const XTextureSlot& slot : record->slots) {
        const int32_t channel = slot.mapChannel;
        if (channel < 1 || channel > kMapChannelMax || !mesh.mapSupport(channel)) continue;
        const int32_t position = channelPosition[static_cast<size_t>(channel)];
        if (position < 0) continue;
        if (result.tangentSlot == -1 && slot.usage == kTextureNormal) result.tangentSlot = position;
        if (!set[static_cast<size_t>(position)]) {
            result.transforms[static_cast<size_t>(position)] = slot.uvTransform;
            set[static_cast<size_t>(position)] = true;
        }
    }
    return result;
}

// The specified normals in export coordinates, remembered by normal index in a small
// direct-mapped table: the corners that name one normal are mostly a few faces apart, so most
// find it there instead of converting it again, and memory stays the same for any mesh. The
// table is no larger than the mesh's normals need, so a small mesh does not pay for a big one.
class ExportNormalMemo {
public:
    explicit ExportNormalMemo(size_t normalCount)
        : entries_(std::min(kEntries, std::bit_ceil(std::max<size_t>(normalCount, 1)))) {}

    template <class Convert>
    Point3 Get(const std::vector<Point3>& normals, uint32_t index, const Convert& convert) {
        Entry& entry = entries_[index & (entries_.size() - 1)];
        if (entry.index != index) {
            entry.index = index;
            entry.normal = convert(normals[index]);
        }
        return entry.normal;
    }

private:
    static constexpr size_t kEntries = size_t(1) << 14;
    struct Entry {
        uint32_t index = UINT32_MAX;
        Point3 normal;
    };
    std::vector<Entry> entries_;
};

void ShowMeshMessage(ExportContext& exporter, const char* text, const char* caption, unsigned style) {
    exporter.messages.Show(text, caption, style);
}

// The mesh fault path: the message, no mesh data, and false so that the node becomes a frame.
bool MeshFault(ExportContext& exporter, XRenderableNode& node) {
    ShowMeshMessage(exporter, kMeshFaultText, kMeshFaultCaption, kMbOk | kMbIconStop);
    node.meshData.reset();
    return false;
}

}  // namespace

bool GenMeshData(ExportContext& exporter, XRenderableNode& node) {
    const Mesh* mesh = node.mesh;
    if (!mesh || !node.hostNode) return false;
    const ExportOptions& options = exporter.options();
    const Matrix3& conversion = exporter.conversion().matrix;
    const bool meshNode = IsMeshNode(node);
    const bool wantNormals = options.Normal || options.Tangent || options.BiTangent;
    const bool wantTangents = meshNode && (options.Tangent || options.BiTangent);
    // Tangent frames are written only in DeclData. Without it a frame matters only to a vertex
    // without a normal, which takes one from it (OrthonormalizeFrame); every other normal comes
    // out of the frame made unit again, whatever the frame. So only those vertices are summed.
    const bool keepFrames = wantTangents && options.DeclData;
    const bool texCoords = options.TexCoords != 0;

    const int faceCountInt = mesh->getNumFaces();
    const int vertCountInt = mesh->getNumVerts();
    if (faceCountInt < 1 || vertCountInt < 1) ShowMeshMessage(exporter, kEmptyMeshText, kEmptyMeshCaption, kMbOk);
    const uint32_t faceCount = faceCountInt > 0 ? static_cast<uint32_t>(faceCountInt) : 0;
    const uint32_t vertCount = vertCountInt > 0 ? static_cast<uint32_t>(vertCountInt) : 0;

    // Normals source: specified normals that cover every face, else the smoothing groups.
    // Only corner normals read them, so they are built only when normals are wanted. The mesh
    // may be the host's own: the smoothing-group normals are built beside it, not into it.
    const MeshNormalSpec* specified = nullptr;
    MeshRenderNormals built;
    if (wantNormals) {
        if (const MeshNormalSpec* spec = mesh->GetSpecifiedNormals()) {
            if (spec->CheckNormals(*mesh) && spec->GetNumFaces(*mesh) == faceCountInt && spec->GetNumNormals() >= 1)
                specified = spec;
        }
        if (!specified) BuildRenderNormals(*mesh, built);
    }

    auto data = std::make_shared<XMeshData>();
    node.meshData = data;
    data->faceCount = faceCount;
    data->positionCount = vertCount;
    data->wireColor = node.hostNode->GetWireColor();

    // Channel list: the supported texture channels, ascending.
    std::array<int32_t, kMapChannelMax + 1> channelPosition;
    channelPosition.fill(-1);
    for (int channel = 1; channel <= kMapChannelMax; ++channel) {
        if (!mesh->mapSupport(channel)) continue;
        channelPosition[static_cast<size_t>(channel)] = static_cast<int32_t>(data->channels.size());
        data->channelMap.push_back(static_cast<int32_t>(data->channels.size()));
        data->channels.push_back(channel);
    }
    const size_t channelCount = data->channels.size();
    data->uvStride = texCoords ? static_cast<uint32_t>(2 * channelCount) : 0;

    // Lists are reserved at their upper bounds; untouched capacity costs address space only.
    const size_t cornerBound = size_t(faceCount) * 3;
    data->faces.reserve(faceCount);
    data->positions.reserve(vertCount);
    data->normals.reserve(cornerBound);
    data->uvPool.reserve(cornerBound * data->uvStride);
    data->vertices.reserve(cornerBound);
    if (keepFrames) {
        data->tangents.reserve(cornerBound);
        data->bitangents.reserve(cornerBound);
    }

    const Matrix3 vertexTM = VertexTransform(node, options.WorldSpace != 0);
    const Matrix3 normalTM = NormalTransform(vertexTM);
    for (uint32_t i = 0; i < vertCount; ++i) data->positions.push_back({(mesh->verts[i] * vertexTM) * conversion});
    const auto exportNormal = [&](const Point3& n) {
        return Normalize(conversion.VectorTransform(normalTM.VectorTransform(n)));
    };
    const auto exportSpecified = [&](const Point3& n) { return exportNormal(Normalize(n)); };
    ExportNormalMemo specifiedNormals(specified ? specified->normals.size() : 0);
    const FaceCorners normalFaces = specified ? specified->Faces(*mesh) : FaceCorners();

    // Winding: a mirroring placement (or conversion) reverses the corner order.
    const Matrix3 placed = vertexTM * conversion;
    const bool mirrored = ((placed[0] ^ placed[1]) % placed[2]) < 0;
    const std::array<int, 3> order = mirrored ? std::array<int, 3>{0, 2, 1} : std::array<int, 3>{0, 1, 2};

    if (meshNode && options.VertexColor) {
        data->hasVertexAlpha = mesh->mapSupport(kVertexAlphaChannel) ? 1 : 0;
        data->hasVertexColors =
            mesh->mapSupport(kVertexColorChannel) && mesh->hasColorVerts() && mesh->hasColorFaces() ? 1 : 0;
    }
    if (data->hasVertexColors || data->hasVertexAlpha) data->colorPool.reserve(cornerBound * 4);
    const ChannelSource colorSource =
        data->hasVertexColors ? ChannelSource(*mesh, kVertexColorChannel) : ChannelSource();
    const ChannelSource alphaSource =
        data->hasVertexAlpha ? ChannelSource(*mesh, kVertexAlphaChannel) : ChannelSource();
    std::vector<ChannelSource> uvSources;
    if (texCoords)
        for (int32_t channel : data->channels) uvSources.emplace_back(*mesh, channel);

    // Material list entries, resolved once.
    const size_t materialCount = node.materials.size();
    std::vector<MaterialChannels> materialChannels;
    materialChannels.reserve(materialCount ? materialCount : 1);
    if (materialCount == 0) {
        materialChannels.push_back(ChannelsOfMaterial(nullptr, *mesh, texCoords, channelPosition, channelCount));
    } else {
        for (const std::unique_ptr<XMaterialEntry>& entry : node.materials) {
            const XMaterial* record = ResolveMaterialEntry(entry.get(), exporter.materialTable);
            materialChannels.push_back(ChannelsOfMaterial(record, *mesh, texCoords, channelPosition, channelCount));
        }
    }
    if (materialCount > 1) data->faceMaterials.reserve(faceCount);

    // When every attribute of a corner is read by its vertex index (the channels and the normals
    // share the mesh's faces) and every face has the same material, a corner's record depends on
    // its position alone: a position's later corners take its first record without reading or
    // converting anything again.
    bool byPosition = materialCount <= 1 && (!wantNormals || (specified && specified->sharesMeshFaces));
    if (data->hasVertexColors) byPosition = byPosition && mesh->Map(kVertexColorChannel).sharesMeshFaces;
    if (data->hasVertexAlpha) byPosition = byPosition && mesh->Map(kVertexAlphaChannel).sharesMeshFaces;
    if (texCoords)
        for (int32_t channel : data->channels) byPosition = byPosition && mesh->Map(channel).sharesMeshFaces;

    CornerSharing sharing(vertCount, cornerBound, materialCount > 1);
    const uint32_t stride = data->uvStride;
    std::vector<float> cornerUv(size_t(3) * stride);
    for (uint32_t f = 0; f < faceCount; ++f) {
        const Face& face = mesh->faces[f];
        // A face that names a vertex the mesh does not have cannot be read.
        if (face.v[0] >= vertCount || face.v[1] >= vertCount || face.v[2] >= vertCount)
            return MeshFault(exporter, node);

        int32_t mtlIndex = -1;
        size_t setup = 0;
        if (materialCount > 0) {
            const size_t id = face.getMatID();
            const size_t index = materialCount == 1 ? 0 : (id >= materialCount ? id % materialCount : id);
            mtlIndex = static_cast<int32_t>(index);
            if (materialCount > 1) data->faceMaterials.push_back(static_cast<uint32_t>(index));
            setup = index;
        }
        const MaterialChannels& channels = materialChannels[setup];

        XMeshFace out;
        uint32_t source[3];
        const float* sourceUv[3];  // each corner's (u, v) pairs
        for (int k = 0; k < 3; ++k) {
            const int sourceCorner = order[static_cast<size_t>(k)];
            source[k] = face.v[sourceCorner];
            const uint32_t repeat = byPosition ? sharing.FirstRecord(source[k]) : kNoVertex;
            if (repeat != kNoVertex) {
                out.index[k] = repeat;
                sourceUv[k] = data->Uv(repeat);
                continue;
            }
            XMeshCorner corner;
            if (specified)
                corner.normal = specifiedNormals.Get(specified->normals, normalFaces[f][sourceCorner], exportSpecified);
            else if (wantNormals)
                corner.normal = exportNormal(CornerNormal(*mesh, built, static_cast<int>(f), sourceCorner, nullptr));
            float* uv = cornerUv.data() + size_t(k) * stride;
            if (texCoords) {
                for (size_t c = 0; c < channelCount; ++c) {
                    const Point3 raw = uvSources[c].Read(f, sourceCorner, Point3{});
                    const Point2 transformed = channels.transforms[c].Transform(Point2(raw.x, raw.y));
                    uv[2 * c] = transformed.x;
                    uv[2 * c + 1] = transformed.y;
                }
            }
            if (data->hasVertexColors) {
                const Point3 c = colorSource.Read(f, sourceCorner, Point3(1, 1, 1));
                corner.color = Color(c.x, c.y, c.z);
            }
            if (data->hasVertexAlpha) corner.alpha = alphaSource.Read(f, sourceCorner, Point3(1, 1, 1)).x;
            out.index[k] = sharing.Add(*data, source[k], corner, mtlIndex, uv);
            sourceUv[k] = uv;
        }
        data->faces.push_back(out);

        // Tangent sums need the corners' texture coordinates: with TexCoords off the records
        // hold none, so nothing is added and each frame is built from its normal alone.
        bool summed[3] = {keepFrames, keepFrames, keepFrames};
        if (wantTangents && !keepFrames)
            for (int k = 0; k < 3; ++k) summed[k] = data->normals[out.index[k]] == Point3{};
        if (wantTangents && texCoords && channelCount > 0 && (summed[0] || summed[1] || summed[2])) {
            data->tangents.resize(data->vertices.size());
            data->bitangents.resize(data->vertices.size());
            const size_t slot = channels.tangentSlot >= 0 ? static_cast<size_t>(channels.tangentSlot) : 0;
            Point3 p[3];
            Point2 uv[3];
            for (int k = 0; k < 3; ++k) {
                p[k] = data->positions[source[k]].position;
                uv[k] = Point2(sourceUv[k][2 * slot], sourceUv[k][2 * slot + 1]);
            }
            const std::array<float, 3> angle = TriangleCornerAngles(p[0], p[1], p[2]);
            for (int k = 0; k < 3; ++k) {
                if (!summed[k] || angle[static_cast<size_t>(k)] == 0.0f) continue;
                const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
                const XTangentFrame frame = CornerTangentFrame(p[k], p[k1], p[k2], uv[k], uv[k1], uv[k2]);
                data->tangents[out.index[k]] += frame.tangent * angle[static_cast<size_t>(k)];
                data->bitangents[out.index[k]] += frame.bitangent * angle[static_cast<size_t>(k)];
            }
        }
        exporter.meter.Step();
    }
    TrimMeshData(*data);

    const uint32_t vertexCount = static_cast<uint32_t>(data->vertices.size());
    if (keepFrames) {
        data->tangents.resize(vertexCount);
        data->bitangents.resize(vertexCount);
        for (uint32_t k = 0; k < vertexCount; ++k)
            OrthonormalizeFrame(data->tangents[k], data->bitangents[k], data->normals[k]);
    } else if (wantTangents) {
        // Of the frame step only the normals are kept: a normal comes out of it made unit again,
        // whatever the frame, and a vertex without one takes the normal its sums give.
        for (uint32_t k = 0; k < vertexCount; ++k) {
            Point3& n = data->normals[k];
            if (n != Point3{}) {
                n = Normalize(n);
                continue;
            }
            Point3 t = k < data->tangents.size() ? data->tangents[k] : Point3{};
            Point3 b = k < data->bitangents.size() ? data->bitangents[k] : Point3{};
            OrthonormalizeFrame(t, b, n);
        }
        std::vector<Point3>().swap(data->tangents);
        std::vector<Point3>().swap(data->bitangents);
    }
    if (meshNode && options.MultiTexCoordsOptimize) MergeIdenticalChannels(*data);
    return true;
}
