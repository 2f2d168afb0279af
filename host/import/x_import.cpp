#include "host/import/x_import.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "core/conversion.h"
#include "core/platform.h"
#include "host/import/import_shared.h"
#include "host/objects/host_deformers.h"
#include "xformat/xreader.h"

namespace fs = std::filesystem;

namespace {

// A problem with the file: the message names the place and says what is wrong.
struct XImportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the importer makes of an object, by its template.
enum class Kind : uint8_t {
    Unknown, Frame, FrameTransformMatrix, Mesh, MeshNormals, MeshTextureCoords, MeshVertexColors,
    MeshMaterialList, Material, TextureFilename, EffectInstance, EffectParamFloats, EffectParamString,
    EffectParamDWord, XSkinMeshHeader, SkinWeights, DeclData, FVFData, AnimTicksPerSecond, AnimationSet,
    Animation, AnimationKey, AnimationOptions,
    Ignored,  // known and deliberately left alone (VertexDuplicationIndices, FaceAdjacency, ...)
};

struct KindName {
    Kind kind;
    const char* name;
    xfile::XGuid guid;
};
constexpr KindName kKinds[] = {
    {Kind::Frame, "Frame", xfile::kTidFrame},
    {Kind::FrameTransformMatrix, "FrameTransformMatrix", xfile::kTidFrameTransformMatrix},
    {Kind::Mesh, "Mesh", xfile::kTidMesh},
    {Kind::MeshNormals, "MeshNormals", xfile::kTidMeshNormals},
    {Kind::MeshTextureCoords, "MeshTextureCoords", xfile::kTidMeshTextureCoords},
    {Kind::MeshVertexColors, "MeshVertexColors", xfile::kTidMeshVertexColors},
    {Kind::MeshMaterialList, "MeshMaterialList", xfile::kTidMeshMaterialList},
    {Kind::Material, "Material", xfile::kTidMaterial},
    {Kind::TextureFilename, "TextureFilename", xfile::kTidTextureFilename},
    {Kind::EffectInstance, "EffectInstance", xfile::kTidEffectInstance},
    {Kind::EffectParamFloats, "EffectParamFloats", xfile::kTidEffectParamFloats},
    {Kind::EffectParamString, "EffectParamString", xfile::kTidEffectParamString},
    {Kind::EffectParamDWord, "EffectParamDWord", xfile::kTidEffectParamDWord},
    {Kind::XSkinMeshHeader, "XSkinMeshHeader", xfile::kTidXSkinMeshHeader},
    {Kind::SkinWeights, "SkinWeights", xfile::kTidSkinWeights},
    {Kind::DeclData, "DeclData", xfile::kTidDeclData},
    {Kind::FVFData, "FVFData", xfile::kTidFVFData},
    {Kind::AnimTicksPerSecond, "AnimTicksPerSecond", xfile::kTidAnimTicksPerSecond},
    {Kind::AnimationSet, "AnimationSet", xfile::kTidAnimationSet},
    {Kind::Animation, "Animation", xfile::kTidAnimation},
    {Kind::AnimationKey, "AnimationKey", xfile::kTidAnimationKey},
    {Kind::AnimationOptions, "AnimationOptions", xfile::kTidAnimationOptions},
    {Kind::Ignored, "VertexDuplicationIndices", xfile::kTidVertexDuplicationIndices},
    {Kind::Ignored, "FaceAdjacency", xfile::kTidFaceAdjacency},
    {Kind::Ignored, "MeshFaceWraps", xfile::kTidMeshFaceWraps},
};

// Two templates lay their instances out alike: the same member types, arrays and dimensions,
// nested templates alike in turn. Member names do not matter to the layout.
bool SameLayout(const xfile::XTemplateRegistry& a, const xfile::XTemplate& ta, const xfile::XTemplateRegistry& b,
                const xfile::XTemplate& tb, int depth = 0) {
    if (depth > 32 || ta.members.size() != tb.members.size()) return false;
    for (size_t i = 0; i < ta.members.size(); ++i) {
        const xfile::XMember& ma = ta.members[i];
        const xfile::XMember& mb = tb.members[i];
        if (ma.type != mb.type || ma.isArray != mb.isArray || ma.dimensionCount != mb.dimensionCount) return false;
        for (int d = 0; d < ma.dimensionCount; ++d)
            if (ma.dimensions[d].memberIndex != mb.dimensions[d].memberIndex ||
                (ma.dimensions[d].memberIndex < 0 && ma.dimensions[d].size != mb.dimensions[d].size))
                return false;
        if (ma.type == xfile::XType::Template &&
            !SameLayout(a, a.at(ma.templateIndex), b, b.at(mb.templateIndex), depth + 1))
            return false;
    }
    return true;
}

// Reads the packed payload of one object. Every read is bounded by the payload; a payload that
// ends early is reported with the object's place.
class Payload {
public:
    Payload(std::span<const uint8_t> bytes, std::string where)
        : p_(bytes.data()), end_(bytes.data() + bytes.size()), where_(std::move(where)) {}

    uint32_t Dword() {
        Need(4);
        uint32_t v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    float Float() {
        Need(4);
        float v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    // A float that must be finite (binary files carry raw bit patterns).
    float Finite(const char* what) {
        const float v = Float();
        if (!std::isfinite(v)) throw XImportError(where_ + " has a " + what + " that is not a finite number");
        return v;
    }
    std::string String() {
        const void* nul = std::memchr(p_, 0, static_cast<size_t>(end_ - p_));
        if (!nul) throw XImportError(where_ + " ends inside a string");
        std::string s(reinterpret_cast<const char*>(p_), static_cast<const uint8_t*>(nul) - p_);
        p_ = static_cast<const uint8_t*>(nul) + 1;
        return s;
    }
    // A count of elements of `bytes` each that the rest of the payload must hold.
    uint32_t Count(uint64_t bytes, const char* what) {
        const uint32_t n = Dword();
        if (uint64_t(n) * bytes > Left())
            throw XImportError(where_ + " gives " + std::to_string(n) + " " + what + ", more than it holds");
        return n;
    }
    uint64_t Left() const { return static_cast<uint64_t>(end_ - p_); }
    const uint8_t* Here() const { return p_; }
    void Skip(uint64_t n) {
        Need(n);
        p_ += n;
    }
    const std::string& where() const { return where_; }

private:
    void Need(uint64_t n) const {
        if (Left() < n) throw XImportError(where_ + " ends before its data does");
    }
    const uint8_t* p_;
    const uint8_t* end_;
    std::string where_;
};

Matrix3 FrameMatrix(Payload& in) {
    float m[16];
    for (float& v : m) v = in.Finite("matrix value");
    return Matrix3(Point3(m[0], m[1], m[2]), Point3(m[4], m[5], m[6]), Point3(m[8], m[9], m[10]),
                   Point3(m[12], m[13], m[14]));
}

float HalfToFloat(uint16_t h) {
    const int exponent = (h >> 10) & 0x1F;
    const int mantissa = h & 0x3FF;
    float v = exponent == 0 ? std::ldexp(float(mantissa), -24)
              : exponent == 31 ? 0.0f  // infinities and NaNs have no use as vertex data
                               : std::ldexp(float(mantissa | 0x400), exponent - 25);
    return (h & 0x8000) ? -v : v;
}

// Bytes of one vertex element of a D3DDECLTYPE, or -1 for an unknown type.
int DeclTypeSize(uint32_t type) {
    static constexpr int kSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8, 0};
    return type < std::size(kSizes) ? kSizes[type] : -1;
}

// The components of one vertex element as floats (up to four; missing ones 0, alpha 1).
void DecodeElement(uint32_t type, const uint8_t* at, float out[4]) {
    out[0] = out[1] = out[2] = 0;
    out[3] = 1;
    const auto f32 = [&](int i) {
        float v;
        std::memcpy(&v, at + 4 * i, 4);
        return std::isfinite(v) ? v : 0.0f;
    };
    const auto u16 = [&](int i) { return static_cast<uint16_t>(at[2 * i] | (at[2 * i + 1] << 8)); };
    switch (type) {
        case 0: case 1: case 2: case 3:
            for (uint32_t i = 0; i <= type; ++i) out[i] = f32(static_cast<int>(i));
            break;
        case 4:  // D3DCOLOR: bytes B, G, R, A in memory
            out[0] = at[2] / 255.0f, out[1] = at[1] / 255.0f, out[2] = at[0] / 255.0f, out[3] = at[3] / 255.0f;
            break;
        case 5: for (int i = 0; i < 4; ++i) out[i] = at[i]; break;
        case 8: for (int i = 0; i < 4; ++i) out[i] = at[i] / 255.0f; break;
        case 6: case 7:
            for (int i = 0; i < (type == 6 ? 2 : 4); ++i) out[i] = static_cast<int16_t>(u16(i));
            break;
        case 9: case 10:
            for (int i = 0; i < (type == 9 ? 2 : 4); ++i) out[i] = std::max(-1.0f, static_cast<int16_t>(u16(i)) / 32767.0f);
            break;
        case 11: case 12:
            for (int i = 0; i < (type == 11 ? 2 : 4); ++i) out[i] = u16(i) / 65535.0f;
            break;
        case 13: case 14: {
            uint32_t v;
            std::memcpy(&v, at, 4);
            for (int i = 0; i < 3; ++i) {
                const uint32_t bits = (v >> (10 * i)) & 0x3FF;
                out[i] = type == 13 ? float(bits) : std::max(-1.0f, float(int32_t(bits << 22) >> 22) / 511.0f);
            }
            break;
        }
        case 15: case 16:
            for (int i = 0; i < (type == 15 ? 2 : 4); ++i) out[i] = HalfToFloat(u16(i));
            break;
        default: break;
    }
}

constexpr uint32_t kUsageNormal = 3, kUsageTexcoord = 5, kUsageColor = 10;
constexpr int kMaxUvSets = 8;

// One vertex channel of a DeclData or FVFData: where its element lies in each vertex.
struct VertexElement {
    uint32_t type = 0, usage = 0, usageIndex = 0;
    uint32_t offset = 0;  // bytes into the vertex
};

// The per-vertex attributes of one mesh, indexed by X vertex.
struct MeshChannels {
    std::vector<Point3> normals;            // specified normals (MeshNormals' own list, or per vertex)
    std::vector<uint32_t> normalCorners;    // MeshNormals: per face corner, in the mesh faces' order
    bool normalsPerVertex = false;          // normals indexed by vertex (DeclData, FVFData)
    std::vector<std::vector<Point3>> uvSets;  // set k: per vertex (u, 1 - v, w)
    std::vector<Point3> colours;            // per vertex, empty without colours
    std::vector<float> alphas;
};

struct ImportedMesh {
    uint32_t node = 0;  // the X node of the Mesh object
    HostNode* host = nullptr;
};

class XImporter {
public:
    XImporter(const std::string& path, const ImportOptions& options) : path_(path), options_(options) {
        const Conversion c =
            BuildConversionMatrix(options.fromRightHanded, 1.0f, options.fromZUp ? -90.0f : 0.0f, 0.0f);
        axes_.axes = c.inverse;
        axes_.inverse = c.matrix;
        mirrored_ = c.inverse.Determinant() < 0;
        std::error_code ec;
        folder_ = fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec);
    }

    std::unique_ptr<HostScene> Run(std::vector<ImportedClip>& clips) {
        {
            // The file is mapped rather than copied into memory: the reader keeps what it needs.
            platform::MappedFile file;
            std::string problem;
            if (!file.Open(path_, problem)) throw XImportError("cannot be read");
            const xfile::XReadOptions limits;
            if (file.size() > limits.maxDecompressedBytes)
                throw XImportError("file of " + std::to_string(file.size()) + " bytes is too large");
            const xfile::XResult read =
                xfile::ReadXFile(std::span<const uint8_t>(file.data(), static_cast<size_t>(file.size())), &doc_, limits);
            if (!read.ok()) throw XImportError(read.message);
        }
        Classify();
        const std::vector<uint32_t> roots = doc_.Roots();
        // A single top-level frame holding everything (with no mesh of its own) is the scene root.
        std::vector<uint32_t> topFrames, topMeshes;
        for (uint32_t r : roots) {
            const xfile::XNode& n = doc_.nodes[r];
            if (n.isReference) continue;
            if (KindOf(r) == Kind::Frame) topFrames.push_back(r);
            if (KindOf(r) == Kind::Mesh) topMeshes.push_back(r);
        }
        uint32_t sceneRootFrame = xfile::kNoNode;
        if (topFrames.size() == 1 && topMeshes.empty()) {
            bool ownMesh = false;
            for (uint32_t c : doc_.Children(topFrames[0])) ownMesh |= !doc_.nodes[c].isReference && KindOf(c) == Kind::Mesh;
            if (!ownMesh && !doc_.Name(doc_.nodes[topFrames[0]]).empty()) sceneRootFrame = topFrames[0];
        }
        scene_ = std::make_unique<HostScene>(sceneRootFrame != xfile::kNoNode ? std::string(doc_.Name(doc_.nodes[sceneRootFrame]))
                                                                            : std::string("Scene Root"));
        std::string error;
        if (!StartImportedScene(*scene_, path_, options_.frameRate, error)) throw XImportError(error.substr(path_.size() + 2));
        library_ = std::make_unique<ImportedMaterials>(*scene_);
        worlds_[&scene_->root()] = Matrix3();

        // Named top-level materials first: meshes refer to them by name.
        for (uint32_t r : roots)
            if (!doc_.nodes[r].isReference && KindOf(r) == Kind::Material) NamedMaterial(r);
        for (uint32_t r : roots) {
            if (doc_.nodes[r].isReference) {
                Skipped("a reference at the top level");
                continue;
            }
            switch (KindOf(r)) {
                case Kind::Frame:
                    if (r == sceneRootFrame) {
                        HostNode& root = scene_->root();
                        for (uint32_t c : doc_.Children(r)) {
                            if (!doc_.nodes[c].isReference && KindOf(c) == Kind::FrameTransformMatrix) {
                                Payload in(doc_.Payload(doc_.nodes[c]), Where(c));
                                root.Transform(axes_.Transform(FrameMatrix(in)));
                                worlds_[&root] = root.localTransform();
                            }
                        }
                        FrameChildren(r, root);
                    } else {
                        AddFrame(r, scene_->root());
                    }
                    break;
                case Kind::Mesh: AddMeshNode(r, scene_->root(), MeshNodeName(r)); break;
                case Kind::Material:
                case Kind::AnimTicksPerSecond:
                case Kind::AnimationSet:
                case Kind::Ignored: break;
                default: Skipped(TemplateName(r)); break;
            }
        }
        for (uint32_t r : roots)
            if (!doc_.nodes[r].isReference && KindOf(r) == Kind::AnimTicksPerSecond) {
                Payload in(doc_.Payload(doc_.nodes[r]), Where(r));
                const uint32_t ticks = in.Dword();
                if (ticks == 0) throw XImportError(Where(r) + " gives 0 ticks per second");
                ticksPerSecond_ = ticks;
            }
        for (const ImportedMesh& mesh : meshes_) AddSkin(mesh);
        for (const auto& [node, bone] : emptyNodes_) SetEmptyNodeObject(*scene_, *node, boneNodes_.count(node) > 0, false, false);
        AddAnimations(roots, clips);
        return std::move(scene_);
    }

    std::vector<std::string> Warnings() const {
        std::vector<std::string> warnings = warnings_;
        if (!skipped_.empty()) {
            std::string list;
            for (const std::string& name : skipped_) list += (list.empty() ? "" : ", ") + name;
            warnings.insert(warnings.begin(), path_ + ": skipped what the import does not use: " + list);
        }
        return warnings;
    }

private:
    // ----- templates and places -----
    void Classify() {
        const xfile::XTemplateRegistry& published = xfile::PublishedTemplates();
        kinds_.assign(doc_.templates.size(), Kind::Unknown);
        for (size_t t = 0; t < doc_.templates.size(); ++t) {
            const xfile::XTemplate& tmpl = doc_.templates.at(t);
            for (const KindName& k : kKinds) {
                if (tmpl.guid != k.guid && tmpl.name != k.name) continue;
                const int p = published.FindByGuid(k.guid);
                // A template of a published name laid out otherwise is not the one the import knows.
                if (p >= 0 && SameLayout(doc_.templates, tmpl, published, published.at(static_cast<size_t>(p))))
                    kinds_[t] = k.kind;
                break;
            }
        }
    }
    Kind KindOf(uint32_t node) const { return kinds_[doc_.nodes[node].templateIndex]; }
    std::string TemplateName(uint32_t node) const { return xfile::PrintableText(doc_.TemplateOf(doc_.nodes[node]).name); }
    // "Mesh Box (at byte 1234)": the template, the name when there is one and the place.
    std::string Where(uint32_t node) const {
        const xfile::XNode& n = doc_.nodes[node];
        std::string where = TemplateName(node);
        if (n.nameSize) where += " " + xfile::PrintableText(doc_.Name(n));
        return where + " (at byte " + std::to_string(n.sourceOffset) + ")";
    }
    void Skipped(const std::string& what) { skipped_.insert(what); }

    // ----- frames -----
    void AddFrame(uint32_t frame, HostNode& parent) {
        const std::string name(doc_.Name(doc_.nodes[frame]));
        HostNode& node = parent.AddChild(name.empty() ? "Frame" + std::to_string(++unnamedFrames_) : name);
        if (!name.empty()) framesByName_.emplace(name, &node);
        Matrix3 local;
        for (uint32_t c : doc_.Children(frame)) {
            if (!doc_.nodes[c].isReference && KindOf(c) == Kind::FrameTransformMatrix) {
                Payload in(doc_.Payload(doc_.nodes[c]), Where(c));
                local = axes_.Transform(FrameMatrix(in));
            }
        }
        node.Transform(local);
        worlds_[&node] = local * worlds_[&parent];
        FrameChildren(frame, node);
    }

    void FrameChildren(uint32_t frame, HostNode& node) {
        std::vector<uint32_t> meshes;
        for (uint32_t c : doc_.Children(frame)) {
            if (doc_.nodes[c].isReference) {
                Skipped("frame references (instances)");
                continue;
            }
            switch (KindOf(c)) {
                case Kind::FrameTransformMatrix: break;
                case Kind::Frame: AddFrame(c, node); break;
                case Kind::Mesh: meshes.push_back(c); break;
                default: Skipped(TemplateName(c)); break;
            }
        }
        if (meshes.size() == 1) {
            AddMesh(meshes[0], node);
        } else {
            for (uint32_t m : meshes) AddMeshNode(m, node, MeshNodeName(m));
        }
        if (!node.object() && &node != &scene_->root()) emptyNodes_.emplace(&node, false);
    }

    std::string MeshNodeName(uint32_t mesh) {
        const std::string name(doc_.Name(doc_.nodes[mesh]));
        return name.empty() ? "Mesh" + std::to_string(++unnamedMeshes_) : name;
    }

    void AddMeshNode(uint32_t mesh, HostNode& parent, const std::string& name) {
        HostNode& node = parent.AddChild(name);
        worlds_[&node] = worlds_[&parent];
        AddMesh(mesh, node);
    }

    // ----- meshes -----
    void AddMesh(uint32_t meshNode, HostNode& node) {
        const std::string where = Where(meshNode);
        Payload in(doc_.Payload(doc_.nodes[meshNode]), where);
        const uint32_t vertexCount = in.Count(12, "vertices");
        if (vertexCount > kMaxImportArrayElements / 3)
            throw XImportError(where + " has more vertices than the host takes (" + std::to_string(vertexCount) + ")");
        ::Mesh mesh;
        mesh.setNumVerts(static_cast<int>(vertexCount));
        for (uint32_t v = 0; v < vertexCount; ++v) {
            const float x = in.Finite("vertex"), y = in.Finite("vertex"), z = in.Finite("vertex");
            mesh.verts[v] = axes_.Point(Point3(x, y, z));
        }
        // Faces: counted first, so the triangles are allocated once.
        const uint32_t faceCount = in.Count(8, "faces");
        const uint8_t* facesAt = in.Here();
        uint64_t triangles = 0;
        std::vector<uint32_t> faceFirstTriangle(faceCount + 1);
        std::vector<uint32_t> faceCorners(faceCount);
        for (uint32_t f = 0; f < faceCount; ++f) {
            const uint32_t corners = in.Count(4, "face corners");
            if (corners < 3)
                throw XImportError(where + ": face " + std::to_string(f) + " has " + std::to_string(corners) +
                                   " corners; a face needs at least 3");
            faceCorners[f] = corners;
            faceFirstTriangle[f] = static_cast<uint32_t>(triangles);
            triangles += corners - 2;
            if (triangles > kMaxImportArrayElements / 3)
                throw XImportError(where + " has more triangles than the host takes");
            in.Skip(uint64_t(corners) * 4);
        }
        faceFirstTriangle[faceCount] = static_cast<uint32_t>(triangles);
        mesh.setNumFaces(static_cast<int>(triangles));
        // Polygons as fans from their first corner; a mirroring conversion reverses each triangle.
        {
            Payload faces(std::span<const uint8_t>(facesAt, static_cast<size_t>(in.Here() - facesAt)), where);
            uint32_t t = 0;
            std::vector<uint32_t> corner;
            for (uint32_t f = 0; f < faceCount; ++f) {
                const uint32_t n = faces.Dword();
                corner.resize(n);
                for (uint32_t k = 0; k < n; ++k) {
                    corner[k] = faces.Dword();
                    if (corner[k] >= vertexCount)
                        throw XImportError(where + ": face " + std::to_string(f) + " uses vertex " +
                                           std::to_string(corner[k]) + " of " + std::to_string(vertexCount));
                }
                for (uint32_t k = 1; k + 1 < n; ++k, ++t) {
                    Face& face = mesh.faces[t];
                    face.v[0] = corner[0];
                    face.v[1] = mirrored_ ? corner[k + 1] : corner[k];
                    face.v[2] = mirrored_ ? corner[k] : corner[k + 1];
                    face.smGroup = 0;
                }
            }
        }

        MeshChannels channels;
        std::vector<MtlID> faceMaterials;
        std::vector<Mtl*> materials;
        bool skinned = false;
        std::vector<uint32_t> uvSetOrder;  // MeshTextureCoords objects in file order
        for (uint32_t c : doc_.Children(meshNode)) {
            if (doc_.nodes[c].isReference) {
                Skipped("references inside a mesh");
                continue;
            }
            switch (KindOf(c)) {
                case Kind::MeshNormals: ReadNormals(c, faceCorners, channels); break;
                case Kind::MeshTextureCoords: uvSetOrder.push_back(c); break;
                case Kind::MeshVertexColors: ReadColours(c, vertexCount, channels); break;
                case Kind::MeshMaterialList: ReadMaterialList(c, faceCount, faceMaterials, materials); break;
                case Kind::DeclData: ReadDeclData(c, vertexCount, channels); break;
                case Kind::FVFData: ReadFvfData(c, vertexCount, channels); break;
                case Kind::XSkinMeshHeader: break;
                case Kind::SkinWeights: skinned = true; break;
                case Kind::Ignored: break;
                default: Skipped(TemplateName(c)); break;
            }
        }
        // MeshTextureCoords fill the sets a DeclData or FVFData left empty, in order.
        size_t nextSet = 0;
        for (uint32_t c : uvSetOrder) {
            while (nextSet < channels.uvSets.size() && !channels.uvSets[nextSet].empty()) ++nextSet;
            if (nextSet >= kMaxUvSets) {
                warnings_.push_back(path_ + ": " + Where(c) + " is texture coordinate set " + std::to_string(nextSet + 1) +
                                    "; the import keeps " + std::to_string(kMaxUvSets));
                break;
            }
            if (channels.uvSets.size() <= nextSet) channels.uvSets.resize(nextSet + 1);
            ReadUvs(c, vertexCount, channels.uvSets[nextSet]);
        }

        // Map channels share the mesh's faces: every attribute is indexed by the X vertex.
        for (size_t k = 0; k < channels.uvSets.size(); ++k) {
            const int channel = static_cast<int>(k) + 1;
            mesh.setMapSupport(channel, true);
            MeshMap& map = mesh.Map(channel);
            map.tv = channels.uvSets[k].empty() ? std::vector<Point3>(vertexCount) : std::move(channels.uvSets[k]);
            map.ShareMeshFaces();
        }
        if (!channels.colours.empty()) {
            mesh.setMapSupport(kVertexColorChannel, true);
            mesh.Map(kVertexColorChannel).tv = std::move(channels.colours);
            mesh.Map(kVertexColorChannel).ShareMeshFaces();
            mesh.setMapSupport(kVertexAlphaChannel, true);
            std::vector<Point3>& alpha = mesh.Map(kVertexAlphaChannel).tv;
            alpha.resize(vertexCount);
            for (uint32_t v = 0; v < vertexCount; ++v) alpha[v] = Point3(channels.alphas[v], channels.alphas[v], channels.alphas[v]);
            mesh.Map(kVertexAlphaChannel).ShareMeshFaces();
        }
        if (!channels.normals.empty()) {
            MeshNormalSpec& spec = mesh.SpecifyNormals();
            spec.normals = std::move(channels.normals);
            if (channels.normalsPerVertex) {
                spec.ShareMeshFaces();
            } else {
                spec.faces.resize(static_cast<size_t>(triangles));
                uint32_t t = 0;
                size_t at = 0;
                for (uint32_t f = 0; f < faceCount; ++f) {
                    const uint32_t* c = channels.normalCorners.data() + at;
                    for (uint32_t k = 1; k + 1 < faceCorners[f]; ++k, ++t) {
                        TVFace& face = spec.faces[t];
                        face.t[0] = c[0];
                        face.t[1] = mirrored_ ? c[k + 1] : c[k];
                        face.t[2] = mirrored_ ? c[k] : c[k + 1];
                    }
                    at += faceCorners[f];
                }
            }
        }
        if (!faceMaterials.empty())
            for (uint32_t f = 0; f < faceCount; ++f)
                for (uint32_t t = faceFirstTriangle[f]; t < faceFirstTriangle[f + 1]; ++t) mesh.faces[t].setMatID(faceMaterials[f]);

        std::string problem;
        if (!FinishMergedMesh(*scene_, node, std::move(mesh), problem)) throw XImportError(problem);
        if (materials.size() == 1) {
            node.SetMtl(materials[0]);
        } else if (materials.size() > 1) {
            auto multi = std::make_unique<HostMultiMaterial>();
            multi->name = library_->MaterialName(node.name(), "Multi");
            multi->subMaterials = materials;
            node.SetMtl(&scene_->materials().AddMaterial(std::move(multi)));
        }
        if (skinned) meshes_.push_back({meshNode, &node});
    }

    void ReadNormals(uint32_t c, const std::vector<uint32_t>& faceCorners, MeshChannels& out) {
        const std::string where = Where(c);
        Payload in(doc_.Payload(doc_.nodes[c]), where);
        const uint32_t count = in.Count(12, "normals");
        std::vector<Point3> normals(count);
        for (Point3& n : normals) {
            float v[3];
            for (float& x : v) x = in.Float();
            const Point3 turned = axes_.Vector(Point3(v[0], v[1], v[2]));
            n = Finite(turned) ? Normalize(turned) : Point3(0, 0, 0);
        }
        const uint32_t faces = in.Count(4, "normal faces");
        if (faces != faceCorners.size())
            throw XImportError(where + " has " + std::to_string(faces) + " faces for the mesh's " +
                               std::to_string(faceCorners.size()));
        std::vector<uint32_t> corners;
        for (uint32_t f = 0; f < faces; ++f) {
            const uint32_t n = in.Count(4, "normal face corners");
            if (n != faceCorners[f])
                throw XImportError(where + ": face " + std::to_string(f) + " has " + std::to_string(n) +
                                   " normals for the mesh face's " + std::to_string(faceCorners[f]) + " corners");
            for (uint32_t k = 0; k < n; ++k) {
                const uint32_t i = in.Dword();
                if (i >= count)
                    throw XImportError(where + ": face " + std::to_string(f) + " uses normal " + std::to_string(i) +
                                       " of " + std::to_string(count));
                corners.push_back(i);
            }
        }
        // A DeclData's normals, read before, win.
        if (!out.normals.empty() && out.normalsPerVertex) return;
        out.normals = std::move(normals);
        out.normalCorners = std::move(corners);
        out.normalsPerVertex = false;
    }

    void ReadUvs(uint32_t c, uint32_t vertexCount, std::vector<Point3>& set) {
        const std::string where = Where(c);
        Payload in(doc_.Payload(doc_.nodes[c]), where);
        const uint32_t count = in.Count(8, "texture coordinates");
        if (count != vertexCount)
            throw XImportError(where + " has " + std::to_string(count) + " texture coordinates for " +
                               std::to_string(vertexCount) + " vertices");
        set.resize(vertexCount);
        for (Point3& uv : set) {
            const float u = in.Finite("texture coordinate"), v = in.Finite("texture coordinate");
            uv = Point3(u, 1 - v, 0);
        }
    }

    void ReadColours(uint32_t c, uint32_t vertexCount, MeshChannels& out) {
        const std::string where = Where(c);
        Payload in(doc_.Payload(doc_.nodes[c]), where);
        const uint32_t count = in.Count(20, "vertex colours");
        if (!out.colours.empty()) return;  // a DeclData's colours win
        out.colours.assign(vertexCount, Point3(1, 1, 1));
        out.alphas.assign(vertexCount, 1.0f);
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t v = in.Dword();
            float rgba[4];
            for (float& x : rgba) x = in.Finite("colour");
            if (v >= vertexCount)
                throw XImportError(where + ": colour " + std::to_string(k) + " is for vertex " + std::to_string(v) +
                                   " of " + std::to_string(vertexCount));
            out.colours[v] = Point3(rgba[0], rgba[1], rgba[2]);
            out.alphas[v] = rgba[3];
        }
    }

    // DeclData: vertex elements and their interleaved data, one vertex after another.
    void ReadDeclData(uint32_t c, uint32_t vertexCount, MeshChannels& out) {
        const std::string where = Where(c);
        Payload in(doc_.Payload(doc_.nodes[c]), where);
        const uint32_t elementCount = in.Count(16, "vertex elements");
        std::vector<VertexElement> elements;
        uint32_t stride = 0;
        for (uint32_t e = 0; e < elementCount; ++e) {
            VertexElement element;
            element.type = in.Dword();
            in.Dword();  // method: the data is the same whatever the tessellator does with it
            element.usage = in.Dword();
            element.usageIndex = in.Dword();
            const int size = DeclTypeSize(element.type);
            if (size < 0) throw XImportError(where + ": element " + std::to_string(e) + " has unknown type " + std::to_string(element.type));
            element.offset = stride;
            stride += static_cast<uint32_t>(size);
            if (stride > 4096) throw XImportError(where + " declares vertices larger than any vertex format");
            elements.push_back(element);
        }
        const uint32_t dwords = in.Count(4, "data values");
        if (uint64_t(dwords) * 4 != uint64_t(vertexCount) * stride)
            throw XImportError(where + " holds " + std::to_string(dwords) + " data values; its " + std::to_string(vertexCount) +
                               " vertices of " + std::to_string(stride / 4) + " values need " +
                               std::to_string(uint64_t(vertexCount) * stride / 4));
        ReadVertexData(in.Here(), stride, vertexCount, elements, out);
    }

    // FVFData: a flexible vertex format code and the data of its parts after the position.
    void ReadFvfData(uint32_t c, uint32_t vertexCount, MeshChannels& out) {
        const std::string where = Where(c);
        Payload in(doc_.Payload(doc_.nodes[c]), where);
        const uint32_t fvf = in.Dword();
        const uint32_t dwords = in.Count(4, "data values");
        std::vector<VertexElement> elements;
        uint32_t stride = 0;
        const auto add = [&](uint32_t type, uint32_t usage, uint32_t index) {
            elements.push_back({type, usage, index, stride});
            stride += static_cast<uint32_t>(DeclTypeSize(type));
        };
        if (fvf & 0x10) add(2, kUsageNormal, 0);
        if (fvf & 0x20) add(0, 4, 0);           // point size
        if (fvf & 0x40) add(4, kUsageColor, 0);  // diffuse
        if (fvf & 0x80) add(4, kUsageColor, 1);  // specular
        const uint32_t sets = std::min<uint32_t>((fvf >> 8) & 0xF, 8);
        for (uint32_t k = 0; k < sets; ++k) {
            static constexpr uint32_t kSetTypes[] = {1, 2, 3, 0};  // 2, 3, 4 or 1 floats
            add(kSetTypes[(fvf >> (16 + 2 * k)) & 3], kUsageTexcoord, k);
        }
        // Some writers keep the position in the data too: the data's size tells.
        uint32_t positionBytes = 0;
        if (uint64_t(dwords) * 4 != uint64_t(vertexCount) * stride) {
            // D3DFVF_XYZ, XYZRHW, XYZB1 to XYZB5 (bits 1 to 3), and XYZW (bit 14).
            static constexpr uint32_t kPositionBytes[] = {0, 12, 16, 16, 20, 24, 28, 32};
            positionBytes = (fvf & 0x400E) == 0x4002 ? 16 : kPositionBytes[(fvf >> 1) & 7];
            if (positionBytes == 0 || uint64_t(dwords) * 4 != uint64_t(vertexCount) * (stride + positionBytes))
                throw XImportError(where + " holds " + std::to_string(dwords) + " data values, which its format code " +
                                   std::to_string(fvf) + " does not explain for " + std::to_string(vertexCount) + " vertices");
            for (VertexElement& e : elements) e.offset += positionBytes;
        }
        ReadVertexData(in.Here(), stride + positionBytes, vertexCount, elements, out);
    }

    void ReadVertexData(const uint8_t* data, uint32_t stride, uint32_t vertexCount, const std::vector<VertexElement>& elements,
                        MeshChannels& out) {
        float v[4];
        for (const VertexElement& e : elements) {
            const uint8_t* at = data + e.offset;
            if (e.usage == kUsageNormal && e.usageIndex == 0) {
                out.normals.resize(vertexCount);
                for (uint32_t i = 0; i < vertexCount; ++i, at += stride) {
                    DecodeElement(e.type, at, v);
                    const Point3 n = axes_.Vector(Point3(v[0], v[1], v[2]));
                    out.normals[i] = Finite(n) ? Normalize(n) : Point3(0, 0, 0);
                }
                out.normalCorners.clear();
                out.normalsPerVertex = true;
            } else if (e.usage == kUsageTexcoord && e.usageIndex < kMaxUvSets) {
                if (out.uvSets.size() <= e.usageIndex) out.uvSets.resize(e.usageIndex + 1);
                std::vector<Point3>& set = out.uvSets[e.usageIndex];
                set.resize(vertexCount);
                for (uint32_t i = 0; i < vertexCount; ++i, at += stride) {
                    DecodeElement(e.type, at, v);
                    set[i] = Point3(v[0], 1 - v[1], e.type == 2 || e.type == 3 ? v[2] : 0.0f);
                }
            } else if (e.usage == kUsageColor && e.usageIndex == 0) {
                out.colours.resize(vertexCount);
                out.alphas.resize(vertexCount);
                for (uint32_t i = 0; i < vertexCount; ++i, at += stride) {
                    DecodeElement(e.type, at, v);
                    out.colours[i] = Point3(v[0], v[1], v[2]);
                    out.alphas[i] = v[3];
                }
            }
            // Tangents, binormals and the rest: the exporter computes tangents itself.
        }
    }

    // ----- materials -----
    void ReadMaterialList(uint32_t c, uint32_t faceCount, std::vector<MtlID>& faceMaterials, std::vector<Mtl*>& materials) {
        const std::string where = Where(c);
        Payload in(doc_.Payload(doc_.nodes[c]), where);
        const uint32_t materialCount = in.Dword();
        const uint32_t indexCount = in.Count(4, "face material indices");
        if (materialCount > 65535) throw XImportError(where + " lists " + std::to_string(materialCount) + " materials, more than the host takes");
        std::vector<uint32_t> indices(indexCount);
        for (uint32_t& i : indices) {
            i = in.Dword();
            if (i >= materialCount)
                throw XImportError(where + " gives a face material " + std::to_string(i) + " of " + std::to_string(materialCount));
        }
        for (uint32_t child : doc_.Children(c)) {
            const xfile::XNode& n = doc_.nodes[child];
            if (n.isReference) {
                const std::string name(doc_.Name(n));
                auto found = namedMaterials_.find(name);
                if (found == namedMaterials_.end()) {
                    warnings_.push_back(path_ + ": " + where + " refers to material " + xfile::PrintableText(name) +
                                        ", which the file does not have before it; a plain material stands in");
                    materials.push_back(StandIn());
                } else {
                    materials.push_back(found->second);
                }
            } else if (KindOf(child) == Kind::Material) {
                materials.push_back(MakeMaterial(child));
            } else {
                Skipped(TemplateName(child));
            }
        }
        if (materials.size() != materialCount) {
            warnings_.push_back(path_ + ": " + where + " lists " + std::to_string(materialCount) + " materials but holds " +
                                std::to_string(materials.size()));
            while (materials.size() < materialCount) materials.push_back(StandIn());
            materials.resize(materialCount);
        }
        // A shorter list gives its last index to the remaining faces.
        faceMaterials.assign(faceCount, 0);
        for (uint32_t f = 0; f < faceCount && !indices.empty(); ++f)
            faceMaterials[f] = static_cast<MtlID>(indices[std::min<size_t>(f, indices.size() - 1)]);
        if (materials.empty()) faceMaterials.clear();
    }

    Mtl* StandIn() {
        if (!standIn_) {
            auto material = std::make_unique<HostStdMaterial>();
            material->name = library_->MaterialName("Missing", "Missing");
            standIn_ = &scene_->materials().AddMaterial(std::move(material));
        }
        return standIn_;
    }

    void NamedMaterial(uint32_t node) {
        const std::string name(doc_.Name(doc_.nodes[node]));
        Mtl* material = MakeMaterial(node);
        if (!name.empty()) namedMaterials_.emplace(name, material);
    }

    // A file the model names, as a path the host can read: beside the X file (or below it); a
    // name leading elsewhere is taken by its file name alone unless the user allows outside files.
    std::string ModelFile(const std::string& reference) {
        std::string name = reference;
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name.empty()) return {};
        const fs::path relative = fs::path(name).lexically_normal();
        const bool absolute = relative.is_absolute() || (name.size() > 1 && name[1] == ':');
        fs::path target = absolute ? relative : (folder_ / relative).lexically_normal();
        if (!options_.allowOutsideFiles) {
            std::error_code ec;
            const fs::path real = fs::weakly_canonical(target, ec);
            const fs::path check = ec ? target : real;
            const auto [end, unused] = std::mismatch(folder_.begin(), folder_.end(), check.begin(), check.end());
            (void)unused;
            if (end != folder_.end() || absolute) {
                const std::string file = fs::path(name).filename().string();
                if (file.empty() || file == "." || file == "..") return {};
                outsideFiles_.insert(reference);
                target = folder_ / file;
            }
        }
        return target.string();
    }

    Mtl* MakeMaterial(uint32_t node) {
        const std::string where = Where(node);
        Payload in(doc_.Payload(doc_.nodes[node]), where);
        ImportedColours colours;
        colours.hasDiffuse = true;
        colours.diffuse.r = in.Finite("colour"), colours.diffuse.g = in.Finite("colour"), colours.diffuse.b = in.Finite("colour");
        colours.diffuseAlpha = in.Finite("colour");
        colours.hasShininess = true;
        colours.shininess = in.Finite("power");
        colours.hasSpecular = true;
        colours.specular.r = in.Finite("colour"), colours.specular.g = in.Finite("colour"), colours.specular.b = in.Finite("colour");
        colours.emission.r = in.Finite("colour"), colours.emission.g = in.Finite("colour"), colours.emission.b = in.Finite("colour");
        const std::string name = library_->MaterialName(std::string(doc_.Name(doc_.nodes[node])), "Material");

        std::vector<std::string> textures;
        std::string normalMap;
        uint32_t effect = xfile::kNoNode;
        for (uint32_t c : doc_.Children(node)) {
            if (doc_.nodes[c].isReference) {
                Skipped("references inside a material");
                continue;
            }
            const Kind kind = KindOf(c);
            if (kind == Kind::TextureFilename) {
                Payload text(doc_.Payload(doc_.nodes[c]), Where(c));
                const std::string file = ModelFile(text.String());
                if (!file.empty()) textures.push_back(file);
            } else if (kind == Kind::EffectInstance) {
                effect = c;
            } else if (IsFileNameTemplate(c, "TextureFileName") || IsFileNameTemplate(c, "NormalmapFilename")) {
                // The capital N some writers use; a normal map some files define a template for.
                Payload text(doc_.Payload(doc_.nodes[c]), Where(c));
                const std::string file = ModelFile(text.String());
                if (file.empty()) continue;
                if (TemplateName(c) == "TextureFileName") textures.push_back(file);
                else normalMap = file;
            } else {
                Skipped(TemplateName(c));
            }
        }
        if (effect != xfile::kNoNode) return MakeEffectMaterial(name, colours, effect);

        auto material = std::make_unique<HostStdMaterial>();
        material->name = name;
        SetMaterialColours(*material, colours);
        // The first file is the diffuse map; a normal map by its name goes to the bump slot, the
        // others to the following slots.
        int next = kMapSpecular;
        for (size_t t = 0; t < textures.size(); ++t) {
            std::string lower = fs::path(textures[t]).stem().string();
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
            const bool normal = t > 0 && (lower.find("normal") != std::string::npos || lower.ends_with("_n") ||
                                          lower.ends_with("_nrm") || lower.ends_with("_nm"));
            int slot = t == 0 ? kMapDiffuse : normal && !material->maps[kMapBump] ? kMapBump : next;
            if (slot == next) {
                while (next < kStdMapSlotCount && (material->maps[next] || next == kMapBump)) ++next;
                if (next >= kStdMapSlotCount) break;
                slot = next++;
            }
            library_->AddMap(*material, slot, textures[t], 1, kUTile | kVTile, Matrix3(), slot == kMapBump && normal);
        }
        if (!normalMap.empty()) library_->AddMap(*material, kMapBump, normalMap, 1, kUTile | kVTile, Matrix3(), true);
        return &scene_->materials().AddMaterial(std::move(material));
    }

    // A template of that name holding one string, as files define it themselves.
    bool IsFileNameTemplate(uint32_t node, std::string_view name) const {
        const xfile::XTemplate& t = doc_.TemplateOf(doc_.nodes[node]);
        return t.name == name && t.members.size() == 1 && t.members[0].type == xfile::XType::String && !t.members[0].isArray;
    }

    static bool IsImageName(const std::string& value) {
        std::string extension = fs::path(value).extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        static const std::set<std::string> kImages = {".bmp", ".dds", ".png", ".jpg", ".jpeg", ".tga", ".tif",
                                                      ".tiff", ".gif", ".hdr", ".ppm", ".dib", ".pfm"};
        return kImages.count(extension) > 0;
    }

    // A DirectX shader material: the effect file and every parameter in order; parameters that
    // name image files are also the effect's bitmaps, so that the export copies them.
    Mtl* MakeEffectMaterial(const std::string& name, const ImportedColours& colours, uint32_t effect) {
        auto material = std::make_unique<HostDxMaterial>();
        material->name = name;
        material->diffuse = colours.diffuse;
        material->specular = colours.specular;
        material->shininess = colours.shininess / 100.0f;
        material->transparency = std::clamp(1.0f - colours.diffuseAlpha, 0.0f, 1.0f);
        auto params = std::make_unique<HostParamBlock>();
        Payload head(doc_.Payload(doc_.nodes[effect]), Where(effect));
        const std::string effectFile = head.String();
        for (uint32_t c : doc_.Children(effect)) {
            if (doc_.nodes[c].isReference) {
                Skipped("references inside an effect instance");
                continue;
            }
            const std::string where = Where(c);
            Payload in(doc_.Payload(doc_.nodes[c]), where);
            switch (KindOf(c)) {
                case Kind::EffectParamString: {
                    const std::string param = in.String();
                    const std::string value = in.String();
                    params->Add(param, ParamType::String, value);
                    if (IsImageName(value)) {
                        const std::string file = ModelFile(value);
                        if (!file.empty()) material->effectBitmaps.push_back({file, 1});
                    }
                    break;
                }
                case Kind::EffectParamDWord: {
                    const std::string param = in.String();
                    params->Add(param, ParamType::Bool, static_cast<int>(in.Dword()));
                    break;
                }
                case Kind::EffectParamFloats: {
                    const std::string param = in.String();
                    const uint32_t count = in.Count(4, "floats");
                    float v[4] = {0, 0, 0, 0};
                    for (uint32_t k = 0; k < count; ++k) {
                        const float x = in.Finite("parameter value");
                        if (k < 4) v[k] = x;
                    }
                    if (count == 1) params->Add(param, ParamType::Float, v[0]);
                    else if (count <= 3) params->Add(param, ParamType::Point3, Point3(v[0], v[1], v[2]));
                    else params->Add(param, ParamType::Point4, Point4(v[0], v[1], v[2], v[3]));
                    if (count != 1 && count != 3 && count != 4)
                        warnings_.push_back(path_ + ": " + where + " holds " + std::to_string(count) +
                                            " floats; the host keeps " + (count == 2 ? "them as 3 (the last 0)" : "the first 4"));
                    break;
                }
                default: Skipped(TemplateName(c)); break;
            }
        }
        material->blocks.push_back(std::move(params));
        if (!effectFile.empty()) {
            auto second = std::make_unique<HostParamBlock>();
            const std::string file = ModelFile(effectFile);
            second->Add("effectfile", ParamType::Filename, file.empty() ? effectFile : file);
            material->blocks.push_back(std::move(second));
        }
        return &scene_->materials().AddMaterial(std::move(material));
    }

    // ----- skins -----
    void AddSkin(const ImportedMesh& mesh) {
        HostNode& node = *mesh.host;
        auto* object = dynamic_cast<HostTriObject*>(node.object());
        const uint32_t vertexCount = object ? static_cast<uint32_t>(object->mesh().getNumVerts()) : 0;
        const Matrix3 meshPose = worlds_[&node];
        HostSkinDeformer& skin = AddSkinDeformer(*scene_, node);
        skin.initTM = meshPose;
        // The weights are laid out per vertex in two passes over the SkinWeights: one counts each
        // vertex's influences, the other writes them to their places, in the file's bone order.
        struct Weights {
            const uint8_t* indices;
            const uint8_t* weights;
            uint32_t count;
            int32_t bone;
        };
        std::vector<Weights> lists;
        std::vector<uint32_t> first(size_t(vertexCount) + 1, 0);
        for (uint32_t c : doc_.Children(mesh.node)) {
            if (doc_.nodes[c].isReference || KindOf(c) != Kind::SkinWeights) continue;
            const std::string where = Where(c);
            Payload in(doc_.Payload(doc_.nodes[c]), where);
            const std::string boneName = in.String();
            const uint32_t count = in.Count(8, "weights");
            const uint8_t* indexAt = in.Here();
            in.Skip(uint64_t(count) * 4);
            const uint8_t* weightAt = in.Here();
            in.Skip(uint64_t(count) * 4);
            const Matrix3 offset = axes_.Transform(FrameMatrix(in));
            auto bone = framesByName_.find(boneName);
            if (bone == framesByName_.end()) {
                warnings_.push_back(path_ + ": " + where + " names bone " + xfile::PrintableText(boneName) +
                                    ", which is not a frame of the file; its weights are left out");
                continue;
            }
            HostDeformerBone entry;
            if (!SkinBoneFromOffset(entry, *bone->second, offset, meshPose))
                throw XImportError(where + " has an offset matrix that cannot be inverted");
            const int32_t boneIndex = static_cast<int32_t>(skin.bones.size());
            skin.bones.push_back(entry);
            boneNodes_.insert(bone->second);
            for (uint32_t k = 0; k < count; ++k) {
                uint32_t v;
                float w;
                std::memcpy(&v, indexAt + 4 * k, 4);
                std::memcpy(&w, weightAt + 4 * k, 4);
                if (v >= vertexCount)
                    throw XImportError(where + " weighs vertex " + std::to_string(v) + " of " + std::to_string(vertexCount));
                if (!std::isfinite(w)) throw XImportError(where + " has a weight that is not a finite number");
                ++first[v + 1];
            }
            lists.push_back({indexAt, weightAt, count, boneIndex});
        }
        // first[v + 1] counts vertex v's weights; summed up, first[v] is where they start. Each
        // start then serves as the vertex's write position, which leaves it at the next start.
        for (uint32_t v = 0; v < vertexCount; ++v) first[v + 1] += first[v];
        skin.assignments.resize(first[vertexCount]);
        for (const Weights& list : lists)
            for (uint32_t k = 0; k < list.count; ++k) {
                uint32_t v;
                float w;
                std::memcpy(&v, list.indices + 4 * k, 4);
                std::memcpy(&w, list.weights + 4 * k, 4);
                skin.assignments[first[v]++] = {list.bone, w};
            }
        std::copy_backward(first.begin(), first.end() - 1, first.end());
        first[0] = 0;
        skin.pointFirst = std::move(first);
    }

    // ----- animation -----
    void AddAnimations(const std::vector<uint32_t>& roots, std::vector<ImportedClip>& clips) {
        std::vector<ImportedAnimation> animations;
        for (uint32_t r : roots) {
            if (doc_.nodes[r].isReference || KindOf(r) != Kind::AnimationSet) continue;
            ImportedAnimation& animation = animations.emplace_back();
            animation.name = doc_.Name(doc_.nodes[r]);
            if (animation.name.empty()) animation.name = "Anim" + std::to_string(animations.size());
            for (uint32_t a : doc_.Children(r)) {
                if (doc_.nodes[a].isReference || KindOf(a) != Kind::Animation) {
                    Skipped(doc_.nodes[a].isReference ? std::string("references inside an animation set") : TemplateName(a));
                    continue;
                }
                AddAnimation(a, animation);
            }
            animation.last = LastKey(animation);
        }
        std::string error;
        if (!LayOutAnimations(*scene_, animations, options_.frameRate, &clips, path_, error))
            throw XImportError(error.substr(path_.size() + 2));
    }

    void AddAnimation(uint32_t a, ImportedAnimation& animation) {
        HostNode* target = nullptr;
        std::string targetName;
        for (uint32_t c : doc_.Children(a))
            if (doc_.nodes[c].isReference) targetName = doc_.Name(doc_.nodes[c]);  // the last one, as readers take it
        auto found = framesByName_.find(targetName);
        if (found != framesByName_.end()) target = found->second;
        if (!target) {
            if (auto root = scene_->root().name(); !targetName.empty() && targetName == root) {
                Skipped("animation of the scene-root frame");
            } else {
                warnings_.push_back(path_ + ": " + Where(a) + " animates " +
                                    (targetName.empty() ? std::string("no frame") : "frame " + xfile::PrintableText(targetName)) +
                                    ", which the file does not have; its keys are left out");
            }
            return;
        }
        ImportedNodeKeys& keys = animation.nodes[target];
        for (uint32_t c : doc_.Children(a)) {
            if (doc_.nodes[c].isReference) continue;
            const Kind kind = KindOf(c);
            if (kind == Kind::AnimationOptions) continue;  // the export's own options decide
            if (kind != Kind::AnimationKey) {
                Skipped(TemplateName(c));
                continue;
            }
            const std::string where = Where(c);
            Payload in(doc_.Payload(doc_.nodes[c]), where);
            const uint32_t type = in.Dword();
            const uint32_t count = in.Count(8, "keys");
            static constexpr uint32_t kValues[] = {4, 3, 3, 16, 16};
            if (type > 4) throw XImportError(where + " has key type " + std::to_string(type) + "; types 0 to 4 exist");
            for (uint32_t k = 0; k < count; ++k) {
                const uint32_t time = in.Dword();
                const uint32_t n = in.Count(4, "key values");
                if (n != kValues[type])
                    throw XImportError(where + ": key " + std::to_string(k) + " has " + std::to_string(n) + " values; type " +
                                       std::to_string(type) + " keys have " + std::to_string(kValues[type]));
                TimeValue tick = 0;
                if (!KeyTick(double(time), double(ticksPerSecond_), tick))
                    throw XImportError(where + ": key " + std::to_string(k) + " is too late for the timeline");
                if (type == 0) {
                    const float w = in.Finite("key value"), x = in.Finite("key value"), y = in.Finite("key value"),
                                z = in.Finite("key value");
                    Matrix3 r;
                    Quat(x, y, z, w).Normalized().MakeMatrix(r);
                    const Quat q(axes_.Transform(r));
                    keys.rotation.Push(tick, q);
                } else if (type == 1 || type == 2) {
                    const float x = in.Finite("key value"), y = in.Finite("key value"), z = in.Finite("key value");
                    if (type == 1) keys.scale.Push(tick, axes_.Scale(Point3(x, y, z)));
                    else keys.position.Push(tick, axes_.Point(Point3(x, y, z)));
                } else {
                    const Matrix3 m = axes_.Transform(FrameMatrix(in));
                    Point3 position, scale;
                    Quat rotation;
                    DecomposeMatrix(m, position, rotation, scale);
                    keys.position.Push(tick, position);
                    keys.rotation.Push(tick, rotation);
                    keys.scale.Push(tick, scale);
                }
            }
        }
    }

    const std::string& path_;
    const ImportOptions& options_;
    AxisChange axes_;
    bool mirrored_ = false;
    fs::path folder_;
    xfile::XDocument doc_;
    std::vector<Kind> kinds_;
    std::unique_ptr<HostScene> scene_;
    std::unique_ptr<ImportedMaterials> library_;
    std::map<const HostNode*, Matrix3> worlds_;
    std::multimap<std::string, HostNode*> framesByName_;
    std::map<std::string, Mtl*> namedMaterials_;
    std::map<HostNode*, bool> emptyNodes_;
    std::set<HostNode*> boneNodes_;
    std::vector<ImportedMesh> meshes_;
    Mtl* standIn_ = nullptr;
    uint32_t ticksPerSecond_ = 4800;
    int unnamedFrames_ = 0, unnamedMeshes_ = 0;
    std::set<std::string> skipped_;
    std::set<std::string> outsideFiles_;
    std::vector<std::string> warnings_;

public:
    std::vector<std::string> OutsideFileWarnings() const {
        std::vector<std::string> out;
        for (const std::string& file : outsideFiles_)
            out.push_back(path_ + ": " + xfile::PrintableText(file) +
                          " lies outside the model's folder; looked for by its file name beside the model instead "
                          "(--allow-outside-files reads it where it is)");
        return out;
    }
};

}  // namespace

bool IsXFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    return in.gcount() == 4 && std::memcmp(magic, "xof ", 4) == 0;
}

std::unique_ptr<HostScene> ImportXFile(const std::string& path, const ImportOptions& options,
                                       std::vector<ImportedClip>& clips, std::string& error) {
    clips.clear();
    try {
        XImporter importer(path, options);
        std::unique_ptr<HostScene> scene = importer.Run(clips);
        scene->SetClips(clips);
        if (options.warnings) {
            for (std::string& w : importer.Warnings()) options.warnings->push_back(std::move(w));
            for (std::string& w : importer.OutsideFileWarnings()) options.warnings->push_back(std::move(w));
        }
        return scene;
    } catch (const XImportError& e) {
        error = path + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = path + ": not enough memory to read the file";
    }
    clips.clear();
    return nullptr;
}
