#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <vector>

#include "core/messages.h"
#include "core/progress.h"
#include "material/xmaterial.h"
#include "mesh/mesh_data.h"
#include "mesh/tangent_frame.h"
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

// What one node's mesh data holds: the settings as they apply to this node.
struct MeshPlan {
    bool meshNode = false;
    bool normals = false;     // corners carry normals: Normal, Tangent or BiTangent
    bool tangents = false;    // a mesh node with Tangent or BiTangent: tangent frames are made
    // Tangent frames are written only in DeclData. Without it a frame matters only to a vertex
    // without a normal, which takes one from it (OrthonormalizeFrame); every other normal comes
    // out of the frame made unit again, whatever the frame. So only those vertices are summed.
    bool keepFrames = false;
    bool texCoords = false;
};

MeshPlan PlanOf(const MeshSettings& settings, const XRenderableNode& node) {
    MeshPlan plan;
    plan.meshNode = IsMeshNode(node);
    plan.normals = settings.normal || settings.tangentFrame;
    plan.tangents = plan.meshNode && settings.tangentFrame;
    plan.keepFrames = plan.tangents && settings.declData;
    plan.texCoords = settings.texCoords;
    return plan;
}

// Where corner normals come from: specified normals that cover every face, else the smoothing
// groups. Only corner normals read them, so they are built only when normals are wanted. The
// mesh may be the host's own: the smoothing-group normals are built beside it, not into it.
struct NormalSource {
    const MeshNormalSpec* specified = nullptr;
    FaceCorners specifiedFaces;  // with specified normals: each face's normal indices
    MeshRenderNormals built;     // without them: the smoothing-group normals
};

void ChooseNormals(const Mesh& mesh, int faceCount, NormalSource& source) {
    if (const MeshNormalSpec* spec = mesh.GetSpecifiedNormals()) {
        if (spec->CheckNormals(mesh) && spec->GetNumFaces(mesh) == faceCount && spec->GetNumNormals() >= 1)
            source.specified = spec;
    }
    if (source.specified)
        source.specifiedFaces = source.specified->Faces(mesh);
    else
        BuildRenderNormals(mesh, source.built);
}

// Each host map channel's position in XMeshData::channels; -1 when it is not listed.
using ChannelPositions = std::array<int32_t, kMapChannelMax + 1>;

// The channel list: the mesh's supported texture channels, ascending, each its own in channelMap.
ChannelPositions ListChannels(const Mesh& mesh, XMeshData& data) {
    ChannelPositions channelPosition;
    channelPosition.fill(-1);
    for (int channel = 1; channel <= kMapChannelMax; ++channel) {
        if (!mesh.mapSupport(channel)) continue;
        channelPosition[static_cast<size_t>(channel)] = static_cast<int32_t>(data.channels.size());
        data.channelMap.push_back(static_cast<int32_t>(data.channels.size()));
        data.channels.push_back(channel);
    }
    return channelPosition;
}

// Whether the vertices carry the mesh's colours and alpha: a mesh node with VertexColor and the
// channels that hold them.
void SetColorFlags(const Mesh& mesh, const MeshSettings& settings, const MeshPlan& plan, XMeshData& data) {
    if (!plan.meshNode || !settings.vertexColor) return;
    data.hasVertexAlpha = mesh.mapSupport(kVertexAlphaChannel) ? 1 : 0;
    data.hasVertexColors = mesh.mapSupport(kVertexColorChannel) && mesh.hasColorVerts() && mesh.hasColorFaces() ? 1 : 0;
}

// Reserves the lists at their upper bounds; untouched capacity costs address space only.
void ReserveLists(XMeshData& data, const MeshPlan& plan, size_t materialCount) {
    const size_t cornerBound = size_t(data.faceCount) * 3;
    data.faces.reserve(data.faceCount);
    data.positions.reserve(data.positionCount);
    data.normals.reserve(cornerBound);
    data.uvPool.reserve(cornerBound * data.uvStride);
    data.vertices.reserve(cornerBound);
    if (plan.keepFrames) {
        data.tangents.reserve(cornerBound);
        data.bitangents.reserve(cornerBound);
    }
    if (data.hasVertexColors || data.hasVertexAlpha) data.colorPool.reserve(cornerBound * 4);
    if (materialCount > 1) data.faceMaterials.reserve(data.faceCount);
}

// What each of the node's material list entries gives its faces' channels, resolved once (one
// default entry for a node without materials).
std::vector<MaterialChannels> ResolveMaterialChannels(const XRenderableNode& node, const XMaterialTable& materials,
                                                      const Mesh& mesh, bool texCoords,
                                                      const ChannelPositions& channelPosition, size_t channelCount) {
    std::vector<MaterialChannels> result;
    result.reserve(node.materials.empty() ? 1 : node.materials.size());
    if (node.materials.empty()) {
        result.push_back(ChannelsOfMaterial(nullptr, mesh, texCoords, channelPosition, channelCount));
        return result;
    }
    for (const std::unique_ptr<XMaterialEntry>& entry : node.materials) {
        const XMaterial* record = ResolveMaterialEntry(entry.get(), materials);
        result.push_back(ChannelsOfMaterial(record, mesh, texCoords, channelPosition, channelCount));
    }
    return result;
}

// When every attribute of a corner is read by its vertex index (the channels and the normals
// share the mesh's faces) and every face has the same material, a corner's record depends on
// its position alone: a position's later corners take its first record without reading or
// converting anything again.
bool RecordsFollowPositions(const Mesh& mesh, const XMeshData& data, const MeshPlan& plan,
                            const NormalSource& normals, size_t materialCount) {
    bool byPosition = materialCount <= 1 && (!plan.normals || (normals.specified && normals.specified->sharesMeshFaces));
    if (data.hasVertexColors) byPosition = byPosition && mesh.Map(kVertexColorChannel).sharesMeshFaces;
    if (data.hasVertexAlpha) byPosition = byPosition && mesh.Map(kVertexAlphaChannel).sharesMeshFaces;
    if (plan.texCoords)
        for (int32_t channel : data.channels) byPosition = byPosition && mesh.Map(channel).sharesMeshFaces;
    return byPosition;
}

// Takes a normal in the mesh's coordinates to a unit normal in export coordinates.
struct NormalConversion {
    Matrix3 normalTM;
    Matrix3 conversion;
    Point3 operator()(const Point3& n) const { return Normalize(conversion.VectorTransform(normalTM.VectorTransform(n))); }
};

// What the records of the faces' corners are read from, fixed for the whole mesh.
class CornerReader {
public:
    CornerReader(const Mesh& mesh, const XMeshData& data, const MeshPlan& plan, const NormalSource& normals,
                 const NormalConversion& exportNormal)
        : mesh_(mesh), data_(data), plan_(plan), normals_(normals), exportNormal_(exportNormal),
          specifiedNormals_(normals.specified ? normals.specified->normals.size() : 0),
          color_(data.hasVertexColors ? ChannelSource(mesh, kVertexColorChannel) : ChannelSource()),
          alpha_(data.hasVertexAlpha ? ChannelSource(mesh, kVertexAlphaChannel) : ChannelSource()) {
        if (plan.texCoords)
            for (int32_t channel : data.channels) uvs_.emplace_back(mesh, channel);
    }

    // The record of face f's source corner, its (u, v) pairs (transformed by the face's
    // material's channels) written to uv: the data's uvStride floats.
    XMeshCorner Read(uint32_t f, int sourceCorner, const MaterialChannels& channels, float* uv) {
        XMeshCorner corner;
        if (normals_.specified) {
            const auto exportSpecified = [this](const Point3& n) { return exportNormal_(Normalize(n)); };
            corner.normal = specifiedNormals_.Get(normals_.specified->normals,
                                                  normals_.specifiedFaces[f][sourceCorner], exportSpecified);
        } else if (plan_.normals) {
            corner.normal =
                exportNormal_(CornerNormal(mesh_, normals_.built, static_cast<int>(f), sourceCorner, nullptr));
        }
        if (plan_.texCoords) {
            for (size_t c = 0; c < uvs_.size(); ++c) {
                const Point3 raw = uvs_[c].Read(f, sourceCorner, Point3{});
                const Point2 transformed = channels.transforms[c].Transform(Point2(raw.x, raw.y));
                uv[2 * c] = transformed.x;
                uv[2 * c + 1] = transformed.y;
            }
        }
        if (data_.hasVertexColors) {
            const Point3 c = color_.Read(f, sourceCorner, Point3(1, 1, 1));
            corner.color = Color(c.x, c.y, c.z);
        }
        if (data_.hasVertexAlpha) corner.alpha = alpha_.Read(f, sourceCorner, Point3(1, 1, 1)).x;
        return corner;
    }

private:
    const Mesh& mesh_;
    const XMeshData& data_;
    const MeshPlan plan_;
    const NormalSource& normals_;
    const NormalConversion exportNormal_;
    ExportNormalMemo specifiedNormals_;
    const ChannelSource color_;
    const ChannelSource alpha_;
    std::vector<ChannelSource> uvs_;  // one per entry of the channel list with TexCoords
};

// The face's position in the node's material list: its material id, wrapped into the list.
size_t FaceMaterialIndex(const Face& face, size_t materialCount) {
    if (materialCount <= 1) return 0;
    const size_t id = face.getMatID();
    return id >= materialCount ? id % materialCount : id;
}

// Adds each corner's tangent frame, weighted by its angle, to the sums of the corner's vertex,
// for the corners marked in summed. The frames follow the texture coordinates of channel-list
// position slot; source gives each corner's position and uv its (u, v) pairs.
void AddTangentSums(XMeshData& data, const XMeshFace& face, const uint32_t source[3], const float* const uv[3],
                    size_t slot, const bool summed[3]) {
    data.tangents.resize(data.vertices.size());
    data.bitangents.resize(data.vertices.size());
    Point3 p[3];
    Point2 t[3];
    for (int k = 0; k < 3; ++k) {
        p[k] = data.positions[source[k]].position;
        t[k] = Point2(uv[k][2 * slot], uv[k][2 * slot + 1]);
    }
    const std::array<float, 3> angle = TriangleCornerAngles(p[0], p[1], p[2]);
    for (int k = 0; k < 3; ++k) {
        if (!summed[k] || angle[static_cast<size_t>(k)] == 0.0f) continue;
        const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
        const XTangentFrame frame = CornerTangentFrame(p[k], p[k1], p[k2], t[k], t[k1], t[k2]);
        data.tangents[face.index[k]] += frame.tangent * angle[static_cast<size_t>(k)];
        data.bitangents[face.index[k]] += frame.bitangent * angle[static_cast<size_t>(k)];
    }
}

// Once every face is in: the kept tangent frames made orthonormal; without them, of the frame
// step only the normals are kept (a normal comes out of it made unit again, whatever the frame,
// and a vertex without one takes the normal its sums give) and the sums are released.
void FinishFrames(XMeshData& data, const MeshPlan& plan) {
    const uint32_t vertexCount = static_cast<uint32_t>(data.vertices.size());
    if (plan.keepFrames) {
        data.tangents.resize(vertexCount);
        data.bitangents.resize(vertexCount);
        for (uint32_t k = 0; k < vertexCount; ++k)
            OrthonormalizeFrame(data.tangents[k], data.bitangents[k], data.normals[k]);
    } else if (plan.tangents) {
        for (uint32_t k = 0; k < vertexCount; ++k) {
            Point3& n = data.normals[k];
            if (n != Point3{}) {
                n = Normalize(n);
                continue;
            }
            Point3 t = k < data.tangents.size() ? data.tangents[k] : Point3{};
            Point3 b = k < data.bitangents.size() ? data.bitangents[k] : Point3{};
            OrthonormalizeFrame(t, b, n);
        }
        std::vector<Point3>().swap(data.tangents);
        std::vector<Point3>().swap(data.bitangents);
    }
}

// The mesh fault path: the message, no mesh data, and false so that the node becomes a frame.
bool MeshFault(ExportMessages& messages, XRenderableNode& node) {
    messages.Show(kMeshFaultText, kMeshFaultCaption, kMbOk | kMbIconStop);
    node.meshData.reset();
    return false;
}

}  // namespace

bool GenMeshData(const MeshSettings& settings, const XMaterialTable& materials, XRenderableNode& node,
                 ProgressMeter& meter, ExportMessages& messages) {
    const Mesh* mesh = node.mesh;
    if (!mesh || !node.hostNode) return false;
    const MeshPlan plan = PlanOf(settings, node);
    const Matrix3& conversion = settings.conversion.matrix;

    const int faceCountInt = mesh->getNumFaces();
    const int vertCountInt = mesh->getNumVerts();
    if (faceCountInt < 1 || vertCountInt < 1) messages.Show(kEmptyMeshText, kEmptyMeshCaption, kMbOk);
    const uint32_t faceCount = faceCountInt > 0 ? static_cast<uint32_t>(faceCountInt) : 0;
    const uint32_t vertCount = vertCountInt > 0 ? static_cast<uint32_t>(vertCountInt) : 0;

    NormalSource normals;
    if (plan.normals) ChooseNormals(*mesh, faceCountInt, normals);

    auto data = std::make_shared<XMeshData>();
    node.meshData = data;
    data->faceCount = faceCount;
    data->positionCount = vertCount;
    data->wireColor = node.hostNode->GetWireColor();
    const ChannelPositions channelPosition = ListChannels(*mesh, *data);
    const size_t channelCount = data->channels.size();
    data->uvStride = plan.texCoords ? static_cast<uint32_t>(2 * channelCount) : 0;
    SetColorFlags(*mesh, settings, plan, *data);
    const size_t materialCount = node.materials.size();
    ReserveLists(*data, plan, materialCount);

    const Matrix3 vertexTM = VertexTransform(node, settings.worldSpace);
    for (uint32_t i = 0; i < vertCount; ++i) data->positions.push_back({(mesh->verts[i] * vertexTM) * conversion});
    CornerReader corners(*mesh, *data, plan, normals, NormalConversion{NormalTransform(vertexTM), conversion});

    // Winding: a mirroring placement (or conversion) reverses the corner order.
    const Matrix3 placed = vertexTM * conversion;
    const bool mirrored = ((placed[0] ^ placed[1]) % placed[2]) < 0;
    const std::array<int, 3> order = mirrored ? std::array<int, 3>{0, 2, 1} : std::array<int, 3>{0, 1, 2};

    const std::vector<MaterialChannels> materialChannels =
        ResolveMaterialChannels(node, materials, *mesh, plan.texCoords, channelPosition, channelCount);
    const bool byPosition = RecordsFollowPositions(*mesh, *data, plan, normals, materialCount);
    CornerSharing sharing(vertCount, size_t(faceCount) * 3, materialCount > 1);
    const uint32_t stride = data->uvStride;
    std::vector<float> cornerUv(size_t(3) * stride);
    for (uint32_t f = 0; f < faceCount; ++f) {
        const Face& face = mesh->faces[f];
        // A face that names a vertex the mesh does not have cannot be read.
        if (face.v[0] >= vertCount || face.v[1] >= vertCount || face.v[2] >= vertCount)
            return MeshFault(messages, node);

        const size_t materialIndex = FaceMaterialIndex(face, materialCount);
        const int32_t mtlIndex = materialCount > 0 ? static_cast<int32_t>(materialIndex) : -1;
        if (materialCount > 1) data->faceMaterials.push_back(static_cast<uint32_t>(materialIndex));
        const MaterialChannels& channels = materialChannels[materialIndex];

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
            float* uv = cornerUv.data() + size_t(k) * stride;
            out.index[k] = sharing.Add(*data, source[k], corners.Read(f, sourceCorner, channels, uv), mtlIndex, uv);
            sourceUv[k] = uv;
        }
        data->faces.push_back(out);

        // Tangent sums need the corners' texture coordinates: with TexCoords off the records
        // hold none, so nothing is added and each frame is built from its normal alone.
        bool summed[3] = {plan.keepFrames, plan.keepFrames, plan.keepFrames};
        if (plan.tangents && !plan.keepFrames)
            for (int k = 0; k < 3; ++k) summed[k] = data->normals[out.index[k]] == Point3{};
        if (plan.tangents && plan.texCoords && channelCount > 0 && (summed[0] || summed[1] || summed[2]))
            AddTangentSums(*data, out, source, sourceUv,
                           channels.tangentSlot >= 0 ? static_cast<size_t>(channels.tangentSlot) : 0, summed);
        meter.Step();
    }
    TrimMeshData(*data);
    FinishFrames(*data, plan);
    if (plan.meshNode && settings.mergeChannels) MergeIdenticalChannels(*data);
    return true;
}
