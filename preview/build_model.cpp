#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "preview/draw_model.h"
#include "preview/pose.h"
#include "xformat/xtemplates.h"

namespace preview {
namespace {

using xfile::XDocument;
using xfile::XGuid;
using xfile::XNode;
using xfile::XTemplate;
using xfile::XTemplateRegistry;

enum class Kind : uint8_t {
    Other,
    Frame,
    FrameTransformMatrix,
    Mesh,
    MeshNormals,
    MeshTextureCoords,
    MeshVertexColors,
    MeshMaterialList,
    Material,
    TextureFilename,
    SkinWeights,
    DeclData,
    AnimTicksPerSecond,
    AnimationSet,
    Animation,
    AnimationKey,
};

struct KnownTemplate {
    XGuid guid;
    Kind kind;
};
constexpr KnownTemplate kKnown[] = {
    {xfile::kTidFrame, Kind::Frame},
    {xfile::kTidFrameTransformMatrix, Kind::FrameTransformMatrix},
    {xfile::kTidMesh, Kind::Mesh},
    {xfile::kTidMeshNormals, Kind::MeshNormals},
    {xfile::kTidMeshTextureCoords, Kind::MeshTextureCoords},
    {xfile::kTidMeshVertexColors, Kind::MeshVertexColors},
    {xfile::kTidMeshMaterialList, Kind::MeshMaterialList},
    {xfile::kTidMaterial, Kind::Material},
    {xfile::kTidTextureFilename, Kind::TextureFilename},
    {xfile::kTidSkinWeights, Kind::SkinWeights},
    {xfile::kTidDeclData, Kind::DeclData},
    {xfile::kTidAnimTicksPerSecond, Kind::AnimTicksPerSecond},
    {xfile::kTidAnimationSet, Kind::AnimationSet},
    {xfile::kTidAnimation, Kind::Animation},
    {xfile::kTidAnimationKey, Kind::AnimationKey},
};

// True when two templates lay out their instances alike: the same member types, arrays and
// dimensions, nested templates alike. Member names do not matter.
bool SameLayout(const XTemplateRegistry& a, uint32_t ai, const XTemplateRegistry& b, uint32_t bi, int depth = 0) {
    const XTemplate& ta = a.at(ai);
    const XTemplate& tb = b.at(bi);
    if (depth > 8 || ta.members.size() != tb.members.size()) return false;
    for (size_t i = 0; i < ta.members.size(); ++i) {
        const xfile::XMember& ma = ta.members[i];
        const xfile::XMember& mb = tb.members[i];
        if (ma.type != mb.type || ma.isArray != mb.isArray || ma.dimensionCount != mb.dimensionCount) return false;
        for (int d = 0; d < ma.dimensionCount; ++d) {
            if (ma.dimensions[d].memberIndex != mb.dimensions[d].memberIndex) return false;
            if (ma.dimensions[d].memberIndex < 0 && ma.dimensions[d].size != mb.dimensions[d].size) return false;
        }
        if (ma.type == xfile::XType::Template && !SameLayout(a, ma.templateIndex, b, mb.templateIndex, depth + 1))
            return false;
    }
    return true;
}

// Reads a payload front to back; a read past the end sets `ok` false and gives zeros.
struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    bool ok = true;

    explicit Reader(std::span<const uint8_t> bytes) : p(bytes.data()), end(bytes.data() + bytes.size()) {}

    const uint8_t* Take(uint64_t n) {
        if (!ok || n > static_cast<uint64_t>(end - p)) {
            ok = false;
            return nullptr;
        }
        const uint8_t* at = p;
        p += n;
        return at;
    }
    uint32_t U32() {
        uint32_t v = 0;
        if (const uint8_t* at = Take(4)) std::memcpy(&v, at, 4);
        return v;
    }
    float F32() {
        float v = 0;
        if (const uint8_t* at = Take(4)) std::memcpy(&v, at, 4);
        return v;
    }
    void Floats(float* out, size_t n) {
        if (const uint8_t* at = Take(4 * uint64_t(n))) std::memcpy(out, at, 4 * n);
        else std::fill(out, out + n, 0.0f);
    }
    void Words(uint32_t* out, size_t n) {
        if (const uint8_t* at = Take(4 * uint64_t(n))) std::memcpy(out, at, 4 * n);
        else std::fill(out, out + n, 0u);
    }
    std::string String() {
        const void* nul = ok ? std::memchr(p, 0, static_cast<size_t>(end - p)) : nullptr;
        if (!nul) {
            ok = false;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(p), static_cast<const char*>(nul));
        p = static_cast<const uint8_t*>(nul) + 1;
        return s;
    }
};

std::string Printable(std::string_view s) { return xfile::PrintableText(s); }

class Builder {
public:
    Builder(const XDocument& doc, DrawModel& model) : doc_(doc), model_(model) {}

    bool Run(std::string* error) {
        ClassifyTemplates();
        for (uint32_t i = 0; i < doc_.nodes.size(); ++i) {
            const XNode& n = doc_.nodes[i];
            if (!n.isReference && n.nameSize) byName_.emplace(std::string(doc_.Name(n)), i);
        }
        std::vector<uint32_t> frameOf(doc_.nodes.size(), kNoFrame);  // frame made from the node
        for (uint32_t i = 0; i < doc_.nodes.size(); ++i) {
            const XNode& n = doc_.nodes[i];
            const bool inFrame = n.parent != xfile::kNoNode && frameOf[n.parent] != kNoFrame;
            const uint32_t parentFrame = inFrame ? frameOf[n.parent] : kNoFrame;
            if (n.isReference) {
                // A frame may hold a mesh by reference.
                if (!inFrame) continue;
                uint32_t target = Target(n);
                if (target != xfile::kNoNode && KindOf(doc_.nodes[target]) == Kind::Mesh && !AddMesh(target, parentFrame, error))
                    return false;
                continue;
            }
            switch (KindOf(n)) {
                case Kind::Frame:
                    // Frames count at the top level and inside frames; anywhere else they are data.
                    if (n.parent != xfile::kNoNode && !inFrame) break;
                    frameOf[i] = static_cast<uint32_t>(model_.frames.size());
                    model_.frames.push_back(DrawFrame{std::string(doc_.Name(n)), parentFrame, kIdentity});
                    frameIndexByName_.emplace(model_.frames.back().name, frameOf[i]);
                    break;
                case Kind::FrameTransformMatrix:
                    if (inFrame) {
                        Reader r(doc_.Payload(n));
                        r.Floats(model_.frames[parentFrame].local.data(), 16);
                    }
                    break;
                case Kind::Mesh:
                    if (n.parent == xfile::kNoNode || inFrame) {
                        if (!AddMesh(i, parentFrame, error)) return false;
                    }
                    break;
                case Kind::AnimTicksPerSecond: {
                    Reader r(doc_.Payload(n));
                    uint32_t tps = r.U32();
                    if (n.parent == xfile::kNoNode && tps > 0) model_.ticksPerSecond = tps;
                    break;
                }
                case Kind::AnimationSet:
                    if (n.parent == xfile::kNoNode) AddClip(i);
                    break;
                default: break;
            }
        }
        ResolveNames();
        return true;
    }

private:
    void ClassifyTemplates() {
        const XTemplateRegistry& published = xfile::PublishedTemplates();
        kinds_.assign(doc_.templates.size(), Kind::Other);
        for (uint32_t t = 0; t < doc_.templates.size(); ++t) {
            const XTemplate& tmpl = doc_.templates.at(t);
            for (const KnownTemplate& known : kKnown) {
                int pub = published.FindByGuid(known.guid);
                if (pub < 0) continue;
                if (tmpl.guid != known.guid && tmpl.name != published.at(pub).name) continue;
                if (SameLayout(doc_.templates, t, published, static_cast<uint32_t>(pub))) {
                    kinds_[t] = known.kind;
                } else {
                    Warn("template " + Printable(tmpl.name) +
                         " is not laid out as the published one; its objects are not drawn");
                }
                break;
            }
        }
    }

    Kind KindOf(const XNode& n) const { return n.isReference ? Kind::Other : kinds_[n.templateIndex]; }

    void Warn(std::string text) {
        if (std::find(model_.warnings.begin(), model_.warnings.end(), text) == model_.warnings.end())
            model_.warnings.push_back(std::move(text));
    }

    // The object a reference names (the first object of that name), or kNoNode.
    uint32_t Target(const XNode& ref) const {
        auto it = byName_.find(std::string(doc_.Name(ref)));
        return it == byName_.end() ? xfile::kNoNode : it->second;
    }

    std::string MeshLabel(const XNode& n) const {
        return n.nameSize ? "mesh " + Printable(doc_.Name(n)) : "an unnamed mesh";
    }

    uint32_t MaterialOf(uint32_t node) {
        auto it = materialOfNode_.find(node);
        if (it != materialOfNode_.end()) return it->second;
        DrawMaterial m;
        Reader r(doc_.Payload(doc_.nodes[node]));
        r.Floats(m.diffuse.data(), 4);
        m.power = r.F32();
        r.Floats(m.specular.data(), 3);
        r.Floats(m.emissive.data(), 3);
        for (uint32_t c : doc_.Children(node)) {
            const XNode& child = doc_.nodes[c];
            if (KindOf(child) != Kind::TextureFilename) continue;
            Reader t(doc_.Payload(child));
            m.texture = t.String();
            break;
        }
        const uint32_t index = static_cast<uint32_t>(model_.materials.size());
        model_.materials.push_back(std::move(m));
        materialOfNode_.emplace(node, index);
        return index;
    }

    uint32_t DefaultMaterial() {
        if (defaultMaterial_ == kNoFrame) {
            defaultMaterial_ = static_cast<uint32_t>(model_.materials.size());
            DrawMaterial m;
            m.diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
            model_.materials.push_back(m);
        }
        return defaultMaterial_;
    }

    bool AddMesh(uint32_t node, uint32_t frame, std::string* error);
    void AddClip(uint32_t node);
    void ResolveNames();

    const XDocument& doc_;
    DrawModel& model_;
    std::vector<Kind> kinds_;
    std::unordered_map<std::string, uint32_t> byName_;           // first object of each name
    std::unordered_map<std::string, uint32_t> frameIndexByName_;  // first frame of each name
    std::unordered_map<uint32_t, uint32_t> materialOfNode_;
    uint32_t defaultMaterial_ = kNoFrame;
};

// One face corner list of a Mesh or MeshNormals payload: the counts and the flat indices.
struct FaceList {
    std::vector<uint32_t> corners;  // per face
    std::vector<uint32_t> indices;  // all faces' indices in order
};

bool ReadFaces(Reader& r, FaceList* faces) {
    const uint32_t faceCount = r.U32();
    if (!r.ok || faceCount > static_cast<uint64_t>(r.end - r.p) / 4) return false;
    faces->corners.resize(faceCount);
    faces->indices.reserve(uint64_t(faceCount) * 3);
    for (uint32_t f = 0; f < faceCount; ++f) {
        const uint32_t n = r.U32();
        if (!r.ok || n > static_cast<uint64_t>(r.end - r.p) / 4) return false;
        faces->corners[f] = n;
        const size_t at = faces->indices.size();
        faces->indices.resize(at + n);
        r.Words(faces->indices.data() + at, n);
    }
    return r.ok;
}

bool Builder::AddMesh(uint32_t node, uint32_t frame, std::string* error) {
    const XNode& n = doc_.nodes[node];
    DrawMesh mesh;
    mesh.name = std::string(doc_.Name(n));
    mesh.frame = frame;
    Reader r(doc_.Payload(n));
    const uint32_t vertexCount = r.U32();
    if (!r.ok || vertexCount > static_cast<uint64_t>(r.end - r.p) / 12) {
        *error = MeshLabel(n) + ": its vertex list is cut short";
        return false;
    }
    mesh.vertexCount = vertexCount;
    mesh.positions.resize(size_t(vertexCount) * 3);
    r.Floats(mesh.positions.data(), mesh.positions.size());
    FaceList faces;
    if (!ReadFaces(r, &faces)) {
        *error = MeshLabel(n) + ": its face list is cut short";
        return false;
    }
    for (size_t k = 0, f = 0; f < faces.corners.size(); k += faces.corners[f], ++f) {
        for (uint32_t c = 0; c < faces.corners[f]; ++c) {
            if (faces.indices[k + c] >= vertexCount) {
                *error = MeshLabel(n) + ": face " + std::to_string(f) + " uses vertex " +
                         std::to_string(faces.indices[k + c]) + ", but the mesh has " + std::to_string(vertexCount) +
                         " vertices";
                return false;
            }
        }
    }

    // The children: normals, texture coordinates, colours, materials, skin.
    const std::string label = MeshLabel(n);
    FaceList normalFaces;
    std::vector<float> normals;
    std::vector<uint32_t> faceMaterials, materials;
    bool hasMaterialList = false;
    std::vector<float> declNormals;
    for (uint32_t c : doc_.Children(node)) {
        const XNode& child = doc_.nodes[c];
        Reader cr(doc_.Payload(child));
        switch (KindOf(child)) {
            case Kind::MeshNormals: {
                const uint32_t count = cr.U32();
                if (!cr.ok || count > static_cast<uint64_t>(cr.end - cr.p) / 12) break;
                normals.resize(size_t(count) * 3);
                cr.Floats(normals.data(), normals.size());
                if (!ReadFaces(cr, &normalFaces)) normals.clear();
                break;
            }
            case Kind::MeshTextureCoords: {
                const uint32_t count = cr.U32();
                if (count != vertexCount) {
                    Warn(label + ": " + std::to_string(count) + " texture coordinates for " +
                         std::to_string(vertexCount) + " vertices; drawn without them");
                    break;
                }
                mesh.uvs.resize(size_t(count) * 2);
                cr.Floats(mesh.uvs.data(), mesh.uvs.size());
                if (!cr.ok) mesh.uvs.clear();
                break;
            }
            case Kind::MeshVertexColors: {
                const uint32_t count = cr.U32();
                mesh.colors.assign(size_t(vertexCount) * 4, 1.0f);
                for (uint32_t k = 0; k < count && cr.ok; ++k) {
                    const uint32_t v = cr.U32();
                    float rgba[4];
                    cr.Floats(rgba, 4);
                    if (cr.ok && v < vertexCount) std::copy(rgba, rgba + 4, mesh.colors.begin() + size_t(v) * 4);
                }
                break;
            }
            case Kind::MeshMaterialList: {
                hasMaterialList = true;
                const uint32_t materialCount = cr.U32();
                const uint32_t indexCount = cr.U32();
                if (!cr.ok || indexCount > static_cast<uint64_t>(cr.end - cr.p) / 4) break;
                faceMaterials.resize(indexCount);
                cr.Words(faceMaterials.data(), indexCount);
                for (uint32_t m : doc_.Children(c)) {
                    const XNode& entry = doc_.nodes[m];
                    uint32_t target = entry.isReference ? Target(entry) : m;
                    if (target == xfile::kNoNode || KindOf(doc_.nodes[target]) != Kind::Material) {
                        if (entry.isReference)
                            Warn(label + ": material " + Printable(doc_.Name(entry)) +
                                 " is not in the file; drawn with the default material");
                        if (target == xfile::kNoNode || entry.isReference) materials.push_back(DefaultMaterial());
                        continue;
                    }
                    materials.push_back(MaterialOf(target));
                }
                if (materials.size() != materialCount)
                    Warn(label + ": its material list names " + std::to_string(materialCount) + " materials but holds " +
                         std::to_string(materials.size()));
                break;
            }
            case Kind::DeclData: {
                const uint32_t elementCount = cr.U32();
                if (!cr.ok || elementCount > 64) break;
                struct Element {
                    uint32_t type, usage, usageIndex, offset;
                };
                static constexpr uint32_t kTypeBytes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8, 0};
                std::vector<Element> elements;
                uint32_t stride = 0;
                bool known = true;
                for (uint32_t e = 0; e < elementCount; ++e) {
                    const uint32_t type = cr.U32();
                    cr.U32();  // method
                    const uint32_t usage = cr.U32();
                    const uint32_t usageIndex = cr.U32();
                    if (type >= std::size(kTypeBytes)) known = false;
                    if (!known) break;
                    elements.push_back({type, usage, usageIndex, stride});
                    stride += kTypeBytes[type];
                }
                const uint32_t dwordCount = cr.U32();
                if (!cr.ok || !known || stride == 0 || uint64_t(dwordCount) * 4 != uint64_t(stride) * vertexCount ||
                    uint64_t(dwordCount) * 4 > static_cast<uint64_t>(cr.end - cr.p)) {
                    Warn(label + ": its vertex data (DeclData) does not match its vertices; drawn without it");
                    break;
                }
                const uint8_t* data = cr.p;
                auto at = [&](uint32_t v, const Element& e) { return data + size_t(v) * stride + e.offset; };
                for (const Element& e : elements) {
                    if (e.usage == 3 && e.usageIndex == 0 && e.type == 2) {
                        declNormals.resize(size_t(vertexCount) * 3);
                        for (uint32_t v = 0; v < vertexCount; ++v) std::memcpy(&declNormals[size_t(v) * 3], at(v, e), 12);
                    } else if (e.usage == 5 && e.usageIndex == 0 && e.type == 1 && mesh.uvs.empty()) {
                        mesh.uvs.resize(size_t(vertexCount) * 2);
                        for (uint32_t v = 0; v < vertexCount; ++v) std::memcpy(&mesh.uvs[size_t(v) * 2], at(v, e), 8);
                    } else if (e.usage == 10 && e.usageIndex == 0 && (e.type == 3 || e.type == 4) && mesh.colors.empty()) {
                        mesh.colors.resize(size_t(vertexCount) * 4);
                        for (uint32_t v = 0; v < vertexCount; ++v) {
                            float* out = &mesh.colors[size_t(v) * 4];
                            if (e.type == 3) {
                                std::memcpy(out, at(v, e), 16);
                            } else {  // D3DCOLOR: bytes B, G, R, A
                                const uint8_t* b = at(v, e);
                                out[0] = b[2] / 255.0f, out[1] = b[1] / 255.0f, out[2] = b[0] / 255.0f, out[3] = b[3] / 255.0f;
                            }
                        }
                    }
                }
                break;
            }
            case Kind::SkinWeights: {
                DrawBone bone;
                bone.name = cr.String();
                const uint32_t count = cr.U32();
                if (!cr.ok || count > static_cast<uint64_t>(cr.end - cr.p) / 8) break;
                bone.first = static_cast<uint32_t>(mesh.skinVertices.size());
                bone.count = count;
                mesh.skinVertices.resize(bone.first + size_t(count));
                mesh.skinWeights.resize(bone.first + size_t(count));
                cr.Words(mesh.skinVertices.data() + bone.first, count);
                cr.Floats(mesh.skinWeights.data() + bone.first, count);
                cr.Floats(bone.offset.data(), 16);
                uint32_t bad = 0;
                for (uint32_t k = bone.first; k < bone.first + count; ++k) {
                    if (mesh.skinVertices[k] >= vertexCount) {
                        mesh.skinVertices[k] = 0;
                        mesh.skinWeights[k] = 0;
                        ++bad;
                    }
                }
                if (bad)
                    Warn(label + ": bone " + Printable(bone.name) + " weights " + std::to_string(bad) +
                         " vertices the mesh does not have; those weights are left out");
                if (cr.ok) mesh.bones.push_back(std::move(bone));
                break;
            }
            default: break;
        }
    }

    // Normals: MeshNormals when its faces match the mesh's, else DeclData's, else the faces' own.
    bool normalsMatch = !normals.empty() && normalFaces.corners == faces.corners;
    if (normalsMatch) {
        const uint32_t normalCount = static_cast<uint32_t>(normals.size() / 3);
        for (uint32_t idx : normalFaces.indices) normalsMatch = normalsMatch && idx < normalCount;
    }
    if (!normals.empty() && !normalsMatch)
        Warn(label + ": its normals do not match its faces; drawn with the faces' own normals");

    // Triangles (polygons fanned from their first corner) with their draw vertices.
    std::vector<uint32_t> corner(faces.indices.size());  // draw vertex of each face corner
    if (normalsMatch) {
        mesh.writtenNormals = true;
        mesh.normals.assign(size_t(vertexCount) * 3, 0.0f);
        std::vector<uint32_t> normalOf(vertexCount, 0xFFFFFFFFu);
        std::unordered_map<uint64_t, uint32_t> extra;
        for (size_t k = 0; k < faces.indices.size(); ++k) {
            const uint32_t v = faces.indices[k], nIdx = normalFaces.indices[k];
            if (normalOf[v] == 0xFFFFFFFFu || normalOf[v] == nIdx) {
                normalOf[v] = nIdx;
                std::memcpy(&mesh.normals[size_t(v) * 3], &normals[size_t(nIdx) * 3], 12);
                corner[k] = v;
                continue;
            }
            auto [it, added] = extra.emplace(uint64_t(v) << 32 | nIdx, mesh.drawVertexCount());
            if (added) {
                mesh.origin.push_back(v);
                for (int a = 0; a < 3; ++a) mesh.positions.push_back(mesh.positions[size_t(v) * 3 + a]);
                for (int a = 0; a < 3; ++a) mesh.normals.push_back(normals[size_t(nIdx) * 3 + a]);
            }
            corner[k] = it->second;
        }
    } else {
        std::copy(faces.indices.begin(), faces.indices.end(), corner.begin());
        if (declNormals.size() == size_t(vertexCount) * 3) {
            mesh.writtenNormals = true;
            mesh.normals = std::move(declNormals);
        }
    }
    // Draw vertices added for other normals carry their file vertex's coordinates and colour.
    for (uint32_t e = 0; e < mesh.origin.size(); ++e) {
        const uint32_t v = mesh.origin[e];
        if (!mesh.uvs.empty()) mesh.uvs.insert(mesh.uvs.end(), {mesh.uvs[size_t(v) * 2], mesh.uvs[size_t(v) * 2 + 1]});
        if (!mesh.colors.empty())
            for (int a = 0; a < 4; ++a) mesh.colors.push_back(mesh.colors[size_t(v) * 4 + a]);
    }

    // Face materials: a list shorter than the faces repeats its last entry, as D3DX does.
    if (materials.empty()) materials.push_back(DefaultMaterial());
    uint64_t triangleCount = 0;
    for (uint32_t c : faces.corners) triangleCount += c >= 3 ? c - 2 : 0;
    std::vector<uint32_t> triangleSubset;
    triangleSubset.reserve(triangleCount);
    std::vector<uint32_t> fanned;
    fanned.reserve(triangleCount * 3);
    uint32_t badMaterial = 0;
    for (size_t k = 0, f = 0; f < faces.corners.size(); k += faces.corners[f], ++f) {
        uint32_t slot = faceMaterials.empty() ? 0 : faceMaterials[std::min(f, faceMaterials.size() - 1)];
        if (slot >= materials.size()) {
            ++badMaterial;
            slot = 0;
        }
        for (uint32_t c = 2; c < faces.corners[f]; ++c) {
            fanned.push_back(corner[k]);
            fanned.push_back(corner[k + c - 1]);
            fanned.push_back(corner[k + c]);
            triangleSubset.push_back(slot);
        }
    }
    if (badMaterial)
        Warn(label + ": " + std::to_string(badMaterial) + " faces name a material the mesh does not list; drawn with its first");
    if (hasMaterialList && faceMaterials.empty() && !faces.corners.empty())
        Warn(label + ": its material list gives no face a material; drawn with its first");

    // Triangles grouped by material slot, in file order within each (a counting sort).
    if (materials.size() == 1) {
        if (!fanned.empty()) mesh.subsets.push_back(DrawSubset{materials[0], 0, static_cast<uint32_t>(fanned.size())});
        mesh.indices = std::move(fanned);
    } else {
        std::vector<uint32_t> start(materials.size() + 1, 0);
        for (uint32_t s : triangleSubset) ++start[s + 1];
        for (size_t s = 1; s < start.size(); ++s) start[s] += start[s - 1];
        mesh.indices.resize(fanned.size());
        for (size_t s = 0; s < materials.size(); ++s)
            if (start[s + 1] > start[s])
                mesh.subsets.push_back(DrawSubset{materials[s], 3 * start[s], 3 * (start[s + 1] - start[s])});
        for (size_t t = 0; t < triangleSubset.size(); ++t) {
            const uint32_t at = 3 * start[triangleSubset[t]]++;
            std::copy_n(fanned.begin() + 3 * t, 3, mesh.indices.begin() + at);
        }
    }

    if (!mesh.writtenNormals) {
        if (!mesh.indices.empty()) Warn(label + " has no normals; lit with its faces' own");
        FaceNormals(&mesh);
    }
    model_.meshes.push_back(std::move(mesh));
    return true;
}

void Builder::AddClip(uint32_t node) {
    DrawClip clip;
    clip.name = std::string(doc_.Name(doc_.nodes[node]));
    bool anyKey = false;
    for (uint32_t a : doc_.Children(node)) {
        if (KindOf(doc_.nodes[a]) != Kind::Animation) continue;
        DrawTrack track;
        for (uint32_t c : doc_.Children(a)) {
            const XNode& child = doc_.nodes[c];
            if (child.isReference || KindOf(child) == Kind::Frame) {
                if (track.frameName.empty()) track.frameName = std::string(doc_.Name(child));
                continue;
            }
            if (KindOf(child) != Kind::AnimationKey) continue;
            Reader r(doc_.Payload(child));
            const uint32_t type = r.U32();
            const uint32_t count = r.U32();
            const uint32_t expected = type == 0 ? 4 : type <= 2 ? 3 : type <= 4 ? 16 : 0;
            if (!r.ok || expected == 0 || count > static_cast<uint64_t>(r.end - r.p) / 8) {
                Warn("animation set " + Printable(clip.name) + ": a key list of type " + std::to_string(type) +
                     " is left out");
                continue;
            }
            bool good = true;
            for (uint32_t k = 0; k < count && good; ++k) {
                const uint32_t time = r.U32();
                const uint32_t values = r.U32();
                if (!r.ok || values != expected) {
                    good = false;
                    break;
                }
                float v[16];
                r.Floats(v, values);
                if (!r.ok) {
                    good = false;
                    break;
                }
                if (!anyKey) clip.firstTick = clip.lastTick = time;
                anyKey = true;
                clip.firstTick = std::min(clip.firstTick, time);
                clip.lastTick = std::max(clip.lastTick, time);
                if (type == 0) {
                    // Stored as the conjugate of the rotation the frame matrix performs.
                    track.rotationTimes.push_back(time);
                    track.rotations.insert(track.rotations.end(), {-v[1], -v[2], -v[3], v[0]});
                } else if (type == 1) {
                    track.scaleTimes.push_back(time);
                    track.scales.insert(track.scales.end(), v, v + 3);
                } else if (type == 2) {
                    track.positionTimes.push_back(time);
                    track.positions.insert(track.positions.end(), v, v + 3);
                } else {
                    Mat4 m;
                    std::copy(v, v + 16, m.begin());
                    Decomposed d = Decompose(m);
                    track.rotationTimes.push_back(time);
                    track.rotations.insert(track.rotations.end(), d.rotation.begin(), d.rotation.end());
                    track.scaleTimes.push_back(time);
                    track.scales.insert(track.scales.end(), d.scale.begin(), d.scale.end());
                    track.positionTimes.push_back(time);
                    track.positions.insert(track.positions.end(), d.translation.begin(), d.translation.end());
                }
            }
            if (!good)
                Warn("animation set " + Printable(clip.name) + ": a key list of type " + std::to_string(type) +
                     " has keys of the wrong size; part of it is left out");
        }
        if (track.frameName.empty()) {
            Warn("animation set " + Printable(clip.name) + ": an animation names no frame; left out");
            continue;
        }
        clip.tracks.push_back(std::move(track));
    }
    model_.clips.push_back(std::move(clip));
}

void Builder::ResolveNames() {
    auto frameNamed = [&](const std::string& name) {
        auto it = frameIndexByName_.find(name);
        return it == frameIndexByName_.end() ? kNoFrame : it->second;
    };
    for (DrawMesh& mesh : model_.meshes) {
        for (DrawBone& bone : mesh.bones) {
            bone.frame = frameNamed(bone.name);
            if (bone.frame == kNoFrame)
                Warn((mesh.name.empty() ? std::string("an unnamed mesh") : "mesh " + Printable(mesh.name)) +
                     ": bone " + Printable(bone.name) + " is not a frame of the file; its weights move nothing");
        }
    }
    for (DrawClip& clip : model_.clips) {
        for (DrawTrack& track : clip.tracks) {
            track.frame = frameNamed(track.frameName);
            if (track.frame == kNoFrame)
                Warn("animation set " + Printable(clip.name) + ": frame " + Printable(track.frameName) +
                     " is not in the file; its keys are left out");
        }
    }
}

}  // namespace

bool BuildDrawModel(const xfile::XDocument& doc, DrawModel* model, std::string* error) {
    *model = DrawModel{};
    Builder builder(doc, *model);
    return builder.Run(error);
}

}  // namespace preview
