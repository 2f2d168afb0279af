#include "host/import/assimp_import.h"

#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/import/import_shared.h"
#include "host/objects/host_controllers.h"
#include "host/objects/host_deformers.h"
#include "host/objects/host_materials.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// Coordinates

// Assimp's results are Y-up unless the file says otherwise in the scene's metadata (FBX).
AxisChange AxisChangeOf(const aiScene& scene) {
    int upAxis = 1, upSign = 1;
    if (scene.mMetaData) {
        int32_t value = 0;
        if (scene.mMetaData->Get("UpAxis", value) && value >= 0 && value <= 2) upAxis = value;
        if (scene.mMetaData->Get("UpAxisSign", value) && value != 0) upSign = value;
    }
    return MakeAxisChange(upAxis, upSign);
}

// Assimp's matrices act on column vectors; the host's on row vectors.
inline Matrix3 HostMatrix(const aiMatrix4x4& m) {
    return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                   Point3(m.a4, m.b4, m.c4));
}
inline Matrix3 HostRotation(const aiQuaternion& q) {
    const aiMatrix3x3 r = q.GetMatrix();
    return Matrix3(Point3(r.a1, r.b1, r.c1), Point3(r.a2, r.b2, r.c2), Point3(r.a3, r.b3, r.c3), Point3(0, 0, 0));
}

Point3 P3(const aiVector3D& v) { return Point3(v.x, v.y, v.z); }

bool IsFbx(const aiScene& scene) {
    aiString format;
    return scene.mMetaData && scene.mMetaData->Get("SourceAsset_Format", format) &&
           std::string_view(format.C_Str()).find("FBX") != std::string_view::npos;
}

// The change from an FBX file's space to the host's, applied once above the file's top-level
// nodes, as an application that reads FBX applies it: the file's axes (which of its axes is up,
// which is the front and which points right, each with its sign) turned onto the host's (Z up,
// front -Y, X right), then its unit (UnitScaleFactor centimetres) in metres, the unit of the
// other interchange formats. Files from Blender, Maya and 3ds Max commonly store centimetres
// and carry their own change of axes in their top-level transforms; applied above them the two
// cancel, and the nodes and meshes come out as the application had them. False when the
// axes given are not three different axes.
bool FbxSpaceChange(const aiScene& scene, Matrix3& change) {
    int32_t up = 1, upSign = 1, front = 2, frontSign = 1, coord = 0, coordSign = 1;
    double unit = 1.0;
    if (const aiMetadata* md = scene.mMetaData) {
        md->Get("UpAxis", up), md->Get("UpAxisSign", upSign), md->Get("FrontAxis", front);
        md->Get("FrontAxisSign", frontSign), md->Get("CoordAxis", coord), md->Get("CoordAxisSign", coordSign);
        float unitFloat = 1.0f;
        if (md->Get("UnitScaleFactor", unitFloat)) unit = unitFloat;
        else md->Get("UnitScaleFactor", unit);
    }
    if (up < 0 || up > 2 || front < 0 || front > 2 || coord < 0 || coord > 2 || up == front || up == coord ||
        front == coord)
        return false;
    if (!(unit > 0) || !std::isfinite(unit)) unit = 1.0;
    const float scale = static_cast<float>(unit / 100.0);
    Point3 rows[3];
    rows[up] = Point3(0, 0, upSign < 0 ? -scale : scale);
    rows[front] = Point3(0, frontSign < 0 ? scale : -scale, 0);
    rows[coord] = Point3(coordSign < 0 ? -scale : scale, 0, 0);
    change = Matrix3(rows[0], rows[1], rows[2], Point3(0, 0, 0));
    return true;
}

// Welds the vertices of a mesh that are equal, bit for bit, in every channel: position, normal,
// tangent frame, every texture coordinate set and colour set, and skin weights. FBX files keep a
// vertex per face corner, which would make every shared vertex several. Meshes with morph
// targets are left as they are.
void WeldVertices(aiMesh& mesh) {
    const unsigned n = mesh.mNumVertices;
    if (n < 2 || mesh.mNumAnimMeshes > 0 || !mesh.mVertices) return;
    // Each vertex's skin weights, sorted by bone, so that equal sets compare equal.
    std::vector<uint32_t> weightStart(n + 1, 0);
    for (unsigned b = 0; b < mesh.mNumBones; ++b)
        for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w)
            if (mesh.mBones[b]->mWeights[w].mVertexId < n) ++weightStart[mesh.mBones[b]->mWeights[w].mVertexId + 1];
    for (unsigned v = 0; v < n; ++v) weightStart[v + 1] += weightStart[v];
    std::vector<std::pair<uint32_t, float>> weights(weightStart[n]);
    {
        std::vector<uint32_t> fill(weightStart.begin(), weightStart.end() - 1);
        for (unsigned b = 0; b < mesh.mNumBones; ++b)
            for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
                const aiVertexWeight& weight = mesh.mBones[b]->mWeights[w];
                if (weight.mVertexId < n) weights[fill[weight.mVertexId]++] = {b, weight.mWeight};
            }
        for (unsigned v = 0; v < n; ++v)
            std::sort(weights.begin() + weightStart[v], weights.begin() + weightStart[v + 1]);
    }
    // Every vertex as one record of bytes, all in one buffer.
    std::vector<uint8_t> bytes;
    std::vector<size_t> start(n + 1, 0);
    const auto add = [&](const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    };
    for (unsigned v = 0; v < n; ++v) {
        start[v] = bytes.size();
        add(&mesh.mVertices[v], sizeof(aiVector3D));
        if (mesh.mNormals) add(&mesh.mNormals[v], sizeof(aiVector3D));
        if (mesh.mTangents) add(&mesh.mTangents[v], sizeof(aiVector3D));
        if (mesh.mBitangents) add(&mesh.mBitangents[v], sizeof(aiVector3D));
        for (unsigned k = 0; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k)
            if (mesh.mTextureCoords[k]) add(&mesh.mTextureCoords[k][v], sizeof(aiVector3D));
        for (unsigned k = 0; k < AI_MAX_NUMBER_OF_COLOR_SETS; ++k)
            if (mesh.mColors[k]) add(&mesh.mColors[k][v], sizeof(aiColor4D));
        for (uint32_t w = weightStart[v]; w < weightStart[v + 1]; ++w) {
            add(&weights[w].first, sizeof(uint32_t));
            add(&weights[w].second, sizeof(float));
        }
    }
    start[n] = bytes.size();
    std::unordered_map<std::string_view, uint32_t> first;
    first.reserve(n);
    std::vector<uint32_t> remap(n);
    std::vector<unsigned> kept;  // the old index of each new vertex
    for (unsigned v = 0; v < n; ++v) {
        const std::string_view record(reinterpret_cast<const char*>(bytes.data()) + start[v], start[v + 1] - start[v]);
        const auto [found, added] = first.try_emplace(record, static_cast<uint32_t>(kept.size()));
        if (added) kept.push_back(v);
        remap[v] = found->second;
    }
    if (kept.size() == n) return;
    const auto compact = [&](auto* values) {
        if (!values) return;
        for (size_t i = 0; i < kept.size(); ++i) values[i] = values[kept[i]];
    };
    compact(mesh.mVertices), compact(mesh.mNormals), compact(mesh.mTangents), compact(mesh.mBitangents);
    for (unsigned k = 0; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k) compact(mesh.mTextureCoords[k]);
    for (unsigned k = 0; k < AI_MAX_NUMBER_OF_COLOR_SETS; ++k) compact(mesh.mColors[k]);
    mesh.mNumVertices = static_cast<unsigned>(kept.size());
    for (unsigned f = 0; f < mesh.mNumFaces; ++f)
        for (unsigned i = 0; i < mesh.mFaces[f].mNumIndices; ++i)
            if (mesh.mFaces[f].mIndices[i] < n) mesh.mFaces[f].mIndices[i] = remap[mesh.mFaces[f].mIndices[i]];
    // A welded vertex's weights are its first copy's; the copies' are dropped.
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        aiBone& bone = *mesh.mBones[b];
        unsigned out = 0;
        for (unsigned w = 0; w < bone.mNumWeights; ++w) {
            const aiVertexWeight weight = bone.mWeights[w];
            if (weight.mVertexId >= n || kept[remap[weight.mVertexId]] != weight.mVertexId) continue;
            bone.mWeights[out++] = {remap[weight.mVertexId], weight.mWeight};
        }
        bone.mNumWeights = out;
    }
}

// ---------------------------------------------------------------------------------------------
// Names

std::string NameOf(const aiString& s) { return std::string(s.data, s.length); }

// ---------------------------------------------------------------------------------------------
// The import

class Importer {
public:
    Importer(const aiScene& scene, const std::string& path, const ImportOptions& options)
        : source_(scene), path_(path), options_(options), axes_(AxisChangeOf(scene)), images_(path, options) {
        // An FBX file's space changes once, above its top-level nodes (see FbxSpaceChange);
        // below them its transforms and meshes are taken as they are.
        if (IsFbx(scene) && FbxSpaceChange(scene, rootChange_)) {
            fbx_ = true;
            axes_ = MakeAxisChange(2, 1);
        }
    }

    std::unique_ptr<HostScene> Run(std::vector<ImportedClip>* clips, std::string& error);

private:
    void CollectBoneNames();
    HostNode& AddNode(const aiNode& node, HostNode& parent);
    void AddGeometry(const aiNode& node, HostNode& hostNode);
    Mtl* Material(unsigned index);
    void AddMap(HostStdMaterial& material, const aiMaterial& source, aiTextureType type, int slot, bool normalMap);
    std::string TextureFile(const std::string& reference);
    void AddSkin(HostNode& hostNode, const std::vector<const aiMesh*>& meshes, const std::vector<uint32_t>& bases,
                 uint32_t pointCount);
    bool AddAnimations(std::vector<ImportedClip>* clips, std::string& error);
    void Fail(const std::string& problem) {
        if (error_.empty()) error_ = path_ + ": " + problem;
    }

    const aiScene& source_;
    const std::string& path_;
    const ImportOptions& options_;
    AxisChange axes_;
    bool fbx_ = false;    // an FBX file: rootChange_ turns its top-level nodes into the host's space
    Matrix3 rootChange_;  // applied after the local transform of each top-level node
    std::unique_ptr<HostScene> scene_;
    std::string error_;

    std::set<std::string> boneNames_;                   // nodes that a skin uses as joints
    std::unordered_map<std::string, HostNode*> nodes_;  // by the file's name; the first wins
    std::unordered_map<const HostNode*, Matrix3> worlds_;
    std::vector<std::pair<HostNode*, std::vector<const aiMesh*>>> skinned_;
    std::vector<std::vector<uint32_t>> skinnedBases_;
    std::vector<Mtl*> materials_;                       // per file material, made on first use
    std::unique_ptr<ImportedMaterials> library_;
    std::map<std::string, std::string> writtenTextures_;  // embedded reference -> file
    EmbeddedImages images_;
};

std::unique_ptr<HostScene> Importer::Run(std::vector<ImportedClip>* clips, std::string& error) {
    scene_ = std::make_unique<HostScene>();
    if (!StartImportedScene(*scene_, path_, options_.frameRate, error)) return nullptr;
    library_ = std::make_unique<ImportedMaterials>(*scene_);
    materials_.assign(source_.mNumMaterials, nullptr);

    CollectBoneNames();
    const aiNode* root = source_.mRootNode;
    // The exporter walks the hierarchy recursively; the glTF reader and scene documents refuse
    // the same depth.
    std::vector<std::pair<const aiNode*, int>> open;
    if (root) open.emplace_back(root, 0);
    while (!open.empty()) {
        const auto [node, depth] = open.back();
        open.pop_back();
        if (depth > kMaxImportNodeDepth) {
            error = path_ + ": node '" + NameOf(node->mName) + "' is nested deeper than " +
                    std::to_string(kMaxImportNodeDepth) + " levels";
            return nullptr;
        }
        for (unsigned i = 0; i < node->mNumChildren; ++i) open.emplace_back(node->mChildren[i], depth + 1);
    }
    if (root) {
        // Assimp makes a root of its own (unnamed, or "ROOT" for glTF) when the file has several
        // top-level nodes; that root stands for the scene and gives no node. A root the file
        // names is one of its nodes.
        // Assimp's FBX reader always makes a root "RootNode" for the file's implicit one, which
        // the file does not have: its transform joins the change of space instead.
        const std::string rootName = NameOf(root->mName);
        const bool fbxRoot = fbx_ && root->mNumMeshes == 0 && rootName == "RootNode";
        if (fbxRoot) rootChange_ = HostMatrix(root->mTransformation) * rootChange_;
        const bool keepRoot = !fbxRoot && (root->mNumMeshes > 0 || !root->mTransformation.IsIdentity() ||
                                           (rootName != "ROOT" && !rootName.empty()));
        if (keepRoot) {
            AddNode(*root, scene_->root());
        } else {
            worlds_[&scene_->root()] = Matrix3();
            for (unsigned i = 0; i < root->mNumChildren; ++i) AddNode(*root->mChildren[i], scene_->root());
        }
    }
    for (size_t i = 0; i < skinned_.size() && error_.empty(); ++i) {
        uint32_t points = 0;
        for (const aiMesh* mesh : skinned_[i].second) points += mesh->mNumVertices;
        AddSkin(*skinned_[i].first, skinned_[i].second, skinnedBases_[i], points);
    }
    if (error_.empty()) AddAnimations(clips, error_);
    if (!error_.empty()) {
        error = error_;
        return nullptr;
    }
    return std::move(scene_);
}

void Importer::CollectBoneNames() {
    for (unsigned m = 0; m < source_.mNumMeshes; ++m) {
        const aiMesh* mesh = source_.mMeshes[m];
        for (unsigned b = 0; b < mesh->mNumBones; ++b) boneNames_.insert(NameOf(mesh->mBones[b]->mName));
    }
}

HostNode& Importer::AddNode(const aiNode& node, HostNode& parent) {
    std::string name = NameOf(node.mName);
    if (name.empty()) name = "Node" + std::to_string(nodes_.size() + 1);
    HostNode& hostNode = parent.AddChild(name);
    nodes_.emplace(NameOf(node.mName), &hostNode);

    Matrix3 local = axes_.Transform(HostMatrix(node.mTransformation));
    if (fbx_ && &parent == &scene_->root()) local = local * rootChange_;
    if (!Finite(local)) {
        Fail("node " + name + " has a transform that is not finite");
        local = Matrix3();
    }
    hostNode.Transform(local);
    const auto parentWorld = worlds_.find(&parent);
    worlds_[&hostNode] = parentWorld != worlds_.end() ? local * parentWorld->second : local;

    AddGeometry(node, hostNode);
    if (!hostNode.object()) {
        // Joints become bones; cameras and lights keep their kind; everything else is a dummy.
        bool camera = false, light = false;
        for (unsigned i = 0; i < source_.mNumCameras; ++i) camera |= source_.mCameras[i]->mName == node.mName;
        for (unsigned i = 0; i < source_.mNumLights; ++i) light |= source_.mLights[i]->mName == node.mName;
        SetEmptyNodeObject(*scene_, hostNode, boneNames_.count(NameOf(node.mName)) > 0, camera, light);
    }
    for (unsigned i = 0; i < node.mNumChildren; ++i) AddNode(*node.mChildren[i], hostNode);
    return hostNode;
}

void Importer::AddGeometry(const aiNode& node, HostNode& hostNode) {
    // The node's triangle meshes, in order; points and lines have no place in the host's mesh.
    std::vector<const aiMesh*> meshes;
    for (unsigned i = 0; i < node.mNumMeshes; ++i) {
        const unsigned index = node.mMeshes[i];
        if (index >= source_.mNumMeshes) continue;
        const aiMesh* mesh = source_.mMeshes[index];
        if (mesh->mPrimitiveTypes & (aiPrimitiveType_TRIANGLE | aiPrimitiveType_POLYGON)) meshes.push_back(mesh);
    }
    if (meshes.empty()) return;

    // Materials: the distinct ones in order of first use; a face's id is its material's place.
    std::vector<unsigned> materialIndices;
    std::vector<MtlID> meshMaterial;
    for (const aiMesh* mesh : meshes) {
        auto it = std::find(materialIndices.begin(), materialIndices.end(), mesh->mMaterialIndex);
        if (it == materialIndices.end()) it = materialIndices.insert(materialIndices.end(), mesh->mMaterialIndex);
        meshMaterial.push_back(static_cast<MtlID>(it - materialIndices.begin()));
    }

    // Counts, and what the merged mesh carries.
    MergedMeshShape shape;
    std::vector<uint32_t> bases;
    bool skinned = false;
    for (const aiMesh* mesh : meshes) {
        bases.push_back(static_cast<uint32_t>(std::min<uint64_t>(shape.vertices, UINT32_MAX)));
        shape.vertices += mesh->mNumVertices;
        uint64_t triangles = 0;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) triangles += mesh->mFaces[f].mNumIndices == 3;
        shape.faces += triangles;
        shape.normalCount += mesh->HasNormals() ? mesh->mNumVertices : triangles;
        shape.normals |= mesh->HasNormals();
        shape.partWithoutNormals |= !mesh->HasNormals();
        shape.colours |= mesh->HasVertexColors(0);
        for (int k = 0; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k)
            if (mesh->HasTextureCoords(k)) shape.uvSets = std::max(shape.uvSets, k + 1);
        skinned |= mesh->HasBones();
    }
    if (shape.faces == 0) return;
    ::Mesh out;
    std::string problem;
    if (!PrepareMergedMesh(out, shape, hostNode.name(), problem)) {
        Fail(problem);
        return;
    }
    MeshNormalSpec* normals = out.GetSpecifiedNormals();
    const int uvSets = shape.uvSets;

    uint32_t face = 0;
    for (size_t m = 0; m < meshes.size(); ++m) {
        const aiMesh& mesh = *meshes[m];
        const uint32_t base = bases[m];
        // Colours without alpha (glTF's RGB colours) come from Assimp with alpha 0 everywhere;
        // a set that is transparent at every vertex carries no alpha and is taken as opaque.
        bool hasAlpha = false;
        if (mesh.HasVertexColors(0))
            for (unsigned v = 0; v < mesh.mNumVertices && !hasAlpha; ++v) hasAlpha = mesh.mColors[0][v].a != 0;
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            out.verts[base + v] = axes_.Point(P3(mesh.mVertices[v]));
            for (int k = 0; k < uvSets; ++k)
                if (mesh.HasTextureCoords(k)) {
                    const aiVector3D& uv = mesh.mTextureCoords[k][v];
                    out.Map(k + 1).tv[base + v] = Point3(uv.x, uv.y, mesh.mNumUVComponents[k] > 2 ? uv.z : 0.0f);
                }
            if (mesh.HasVertexColors(0)) {
                const aiColor4D& c = mesh.mColors[0][v];
                out.Map(kVertexColorChannel).tv[base + v] = Point3(c.r, c.g, c.b);
                const float alpha = hasAlpha ? c.a : 1.0f;
                out.Map(kVertexAlphaChannel).tv[base + v] = Point3(alpha, alpha, alpha);
            }
        }
        const uint32_t normalBase = normals ? static_cast<uint32_t>(normals->normals.size()) : 0;
        if (normals && mesh.HasNormals())
            for (unsigned v = 0; v < mesh.mNumVertices; ++v) normals->normals.push_back(axes_.Vector(P3(mesh.mNormals[v])));

        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& source = mesh.mFaces[f];
            if (source.mNumIndices != 3) continue;
            Face& target = out.faces[face];
            TVFace corners;
            for (int c = 0; c < 3; ++c) corners.t[c] = base + source.mIndices[c];
            std::copy(corners.t, corners.t + 3, target.v);
            target.setMatID(meshMaterial[m]);
            // A mesh that brings its own normals keeps them; without them a face is flat.
            target.smGroup = 0;
            if (normals && !normals->sharesMeshFaces) {
                TVFace& n = normals->faces[face];
                if (mesh.HasNormals()) {
                    for (int c = 0; c < 3; ++c) n.t[c] = normalBase + source.mIndices[c];
                } else {
                    const Point3 flat = FlatNormal(out, target);
                    const uint32_t index = static_cast<uint32_t>(normals->normals.size());
                    normals->normals.push_back(flat);
                    n.t[0] = n.t[1] = n.t[2] = index;
                }
            }
            ++face;
        }
    }
    if (!FinishMergedMesh(*scene_, hostNode, std::move(out), problem)) {
        Fail(problem);
        return;
    }
    if (Mtl* material = library_->ForNode(materialIndices, hostNode.name(), [this](unsigned i) { return Material(i); }))
        hostNode.SetMtl(material);
    if (skinned) {
        skinned_.emplace_back(&hostNode, meshes);
        skinnedBases_.push_back(bases);
    }
}

// ---------------------------------------------------------------------------------------------
// Materials

Mtl* Importer::Material(unsigned index) {
    if (index >= source_.mNumMaterials) return nullptr;
    if (materials_[index]) return materials_[index];
    const aiMaterial& source = *source_.mMaterials[index];
    aiString aiName;
    source.Get(AI_MATKEY_NAME, aiName);
    const std::string sourceName = NameOf(aiName);
    // Assimp adds a last, unnamed material without textures for meshes that have none in the
    // file; it is left out, so that the node has no material, as in the file.
    if ((sourceName.empty() || sourceName == AI_DEFAULT_MATERIAL_NAME) && index + 1 == source_.mNumMaterials) {
        bool textured = false;
        for (int type = aiTextureType_NONE; type <= AI_TEXTURE_TYPE_MAX && !textured; ++type)
            textured = source.GetTextureCount(static_cast<aiTextureType>(type)) > 0;
        if (!textured) return nullptr;
    }

    auto material = std::make_unique<HostStdMaterial>();
    material->name = library_->MaterialName(sourceName, "Material" + std::to_string(index + 1));

    ImportedColours colours;
    aiColor4D color;
    if (source.Get(AI_MATKEY_BASE_COLOR, color) == AI_SUCCESS || source.Get(AI_MATKEY_COLOR_DIFFUSE, color) == AI_SUCCESS) {
        colours.hasDiffuse = true;
        colours.diffuse = Color(color.r, color.g, color.b);
        colours.diffuseAlpha = color.a;
    }
    colours.hasOpacity = source.Get(AI_MATKEY_OPACITY, colours.opacity) == AI_SUCCESS;
    if (source.Get(AI_MATKEY_COLOR_SPECULAR, color) == AI_SUCCESS) {
        colours.hasSpecular = true;
        colours.specular = Color(color.r, color.g, color.b);
        source.Get(AI_MATKEY_SHININESS_STRENGTH, colours.specularStrength);
    }
    colours.hasShininess = source.Get(AI_MATKEY_SHININESS, colours.shininess) == AI_SUCCESS;
    if (source.Get(AI_MATKEY_COLOR_EMISSIVE, color) == AI_SUCCESS) colours.emission = Color(color.r, color.g, color.b);
    SetMaterialColours(*material, colours);

    if (source.GetTextureCount(aiTextureType_BASE_COLOR) > 0)
        AddMap(*material, source, aiTextureType_BASE_COLOR, kMapDiffuse, false);
    else
        AddMap(*material, source, aiTextureType_DIFFUSE, kMapDiffuse, false);
    AddMap(*material, source, aiTextureType_SPECULAR, kMapSpecular, false);
    AddMap(*material, source, aiTextureType_SHININESS, kMapGlossiness, false);
    // The metallic-roughness texture of PBR files holds roughness, the opposite of glossiness;
    // it is kept in the glossiness slot when that slot is free, so that its file travels along.
    if (!material->maps[kMapGlossiness]) AddMap(*material, source, aiTextureType_UNKNOWN, kMapGlossiness, false);
    AddMap(*material, source, aiTextureType_EMISSIVE, kMapSelfIllum, false);
    AddMap(*material, source, aiTextureType_OPACITY, kMapOpacity, false);
    if (source.GetTextureCount(aiTextureType_NORMALS) > 0)
        AddMap(*material, source, aiTextureType_NORMALS, kMapBump, true);
    else
        AddMap(*material, source, aiTextureType_HEIGHT, kMapBump, false);

    Mtl* made = &scene_->materials().AddMaterial(std::move(material));
    materials_[index] = made;
    return made;
}

void Importer::AddMap(HostStdMaterial& material, const aiMaterial& source, aiTextureType type, int slot,
                      bool normalMap) {
    if (source.GetTextureCount(type) == 0) return;
    aiString path;
    unsigned uvIndex = 0;
    aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    if (source.GetTexture(type, 0, &path, nullptr, &uvIndex, nullptr, nullptr, modes) != AI_SUCCESS) return;
    const std::string file = TextureFile(NameOf(path));
    if (file.empty()) return;

    int tiling = 0;
    for (int axis = 0; axis < 2; ++axis) {
        if (modes[axis] == aiTextureMapMode_Wrap) tiling |= axis == 0 ? kUTile : kVTile;
        if (modes[axis] == aiTextureMapMode_Mirror) tiling |= axis == 0 ? kUMirror : kVMirror;
    }
    aiUVTransform transform;
    Matrix3 uvTransform;
    if (source.Get(AI_MATKEY_UVTRANSFORM(type, 0), transform) == AI_SUCCESS) {
        const Matrix3 m = MakeHostUvTransform(Point2(transform.mTranslation.x, transform.mTranslation.y),
                                              Point2(transform.mScaling.x, transform.mScaling.y),
                                              transform.mRotation * 180.0f / 3.14159265358979f);
        if (Finite(m)) uvTransform = m;
    }
    const int channel = static_cast<int>(std::min(uvIndex, unsigned(AI_MAX_NUMBER_OF_TEXTURECOORDS - 1))) + 1;
    library_->AddMap(material, slot, file, channel, tiling, uvTransform, normalMap);
}

// The file a texture reference names: a file beside the model (made absolute), or, for a texture
// stored inside the file, the image file it is written to. Empty when an embedded texture cannot
// be written.
std::string Importer::TextureFile(const std::string& reference) {
    const aiTexture* embedded = source_.GetEmbeddedTexture(reference.c_str());
    if (!embedded) return reference.empty() ? std::string() : ModelTextureFile(path_, reference, options_);
    auto written = writtenTextures_.find(reference);
    if (written != writtenTextures_.end()) return written->second;

    // Compressed images (PNG, JPEG, ...) are written as they are stored, under the format their
    // bytes are; raw texels become a BMP.
    size_t index = 0;
    while (index < source_.mNumTextures && source_.mTextures[index] != embedded) ++index;
    std::vector<uint8_t> bytes;
    if (embedded->mHeight == 0) {
        const auto* data = reinterpret_cast<const uint8_t*>(embedded->pcData);
        bytes.assign(data, data + embedded->mWidth);
    } else {
        const uint64_t texels = uint64_t(embedded->mWidth) * embedded->mHeight;
        if (embedded->mWidth > uint32_t(kMaxBitmapSide) || embedded->mHeight > uint32_t(kMaxBitmapSide) ||
            texels > uint64_t(kMaxBitmapPixels))
            return {};
        std::vector<uint8_t> rgba(texels * 4);
        for (uint64_t i = 0; i < texels; ++i) {
            const aiTexel& t = embedded->pcData[i];
            rgba[i * 4 + 0] = t.r;
            rgba[i * 4 + 1] = t.g;
            rgba[i * 4 + 2] = t.b;
            rgba[i * 4 + 3] = t.a;
        }
        bytes = EncodeBmp32(static_cast<int>(embedded->mWidth), static_cast<int>(embedded->mHeight), rgba);
    }

    std::string problem;
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string result = images_.Write(content, NameOf(embedded->mFilename), index, problem);
    if (result.empty()) {
        Fail(problem);
        return {};
    }
    writtenTextures_.emplace(reference, result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Skins

void Importer::AddSkin(HostNode& hostNode, const std::vector<const aiMesh*>& meshes,
                       const std::vector<uint32_t>& bases, uint32_t pointCount) {
    HostSkinDeformer& skin = AddSkinDeformer(*scene_, hostNode);
    // The mesh's bind pose is its rest pose; each bone's is then fixed by the file's offset
    // matrix (mesh space to bone space at bind time), so that the exporter's bone offsets, the
    // mesh pose times the inverse bone pose, give the file's offsets back.
    const Matrix3 meshPose = worlds_[&hostNode];
    skin.initTM = meshPose;

    std::map<std::string, int32_t> boneIndex;
    std::vector<std::vector<HostSkinAssignment>> points(pointCount);
    for (size_t m = 0; m < meshes.size(); ++m) {
        const aiMesh& mesh = *meshes[m];
        for (unsigned b = 0; b < mesh.mNumBones; ++b) {
            const aiBone& bone = *mesh.mBones[b];
            const std::string name = NameOf(bone.mName);
            auto found = boneIndex.find(name);
            if (found == boneIndex.end()) {
                HostDeformerBone entry;
                auto node = nodes_.find(name);
                if (node == nodes_.end()) {
                    Fail("bone " + name + " of mesh " + NameOf(mesh.mName) + " is not a node of the scene");
                    return;
                }
                const Matrix3 offset = axes_.Transform(HostMatrix(bone.mOffsetMatrix));
                if (!SkinBoneFromOffset(entry, *node->second, offset, meshPose)) {
                    Fail("bone " + name + " has an offset matrix that is not finite");
                    return;
                }
                found = boneIndex.emplace(name, static_cast<int32_t>(skin.bones.size())).first;
                skin.bones.push_back(entry);
            }
            for (unsigned w = 0; w < bone.mNumWeights; ++w) {
                const aiVertexWeight& weight = bone.mWeights[w];
                if (weight.mVertexId >= mesh.mNumVertices || !std::isfinite(weight.mWeight)) continue;
                points[bases[m] + weight.mVertexId].push_back({found->second, weight.mWeight});
            }
        }
    }
    for (const auto& assignments : points) skin.AddPoint(assignments.data(), assignments.size());
}

// ---------------------------------------------------------------------------------------------
// Animation

bool Importer::AddAnimations(std::vector<ImportedClip>* clips, std::string& error) {
    std::vector<ImportedAnimation> animations(source_.mNumAnimations);
    // The change of space of FBX top-level nodes as a turn and a uniform scale.
    Matrix3 changeTurn = rootChange_;
    changeTurn.NoTrans();
    const float changeScale = changeTurn.GetRow(0).Length();
    if (changeScale > 0)
        for (int i = 0; i < 3; ++i) changeTurn.SetRow(i, changeTurn.GetRow(i) / changeScale);
    for (unsigned a = 0; a < source_.mNumAnimations; ++a) {
        const aiAnimation& animation = *source_.mAnimations[a];
        const double ticksPerSecond = animation.mTicksPerSecond > 0 ? animation.mTicksPerSecond : 25.0;
        ImportedAnimation& imported = animations[a];
        imported.name = NameOf(animation.mName);
        bool& fits = imported.fits;
        for (unsigned c = 0; c < animation.mNumChannels && fits; ++c) {
            const aiNodeAnim& channel = *animation.mChannels[c];
            auto node = nodes_.find(NameOf(channel.mNodeName));
            if (node == nodes_.end()) continue;  // a channel for no node moves nothing
            ImportedNodeKeys& keys = imported.nodes[node->second];
            // A top-level node of an FBX file moves in the file's space: its keys change as its
            // transform does (key * change: the rotation turns, the position turns and scales,
            // the scale takes the unit).
            const bool changed = fbx_ && node->second->parent() == &scene_->root();
            const auto point = [&](const aiVector3D& v) {
                return changed ? rootChange_.PointTransform(P3(v)) : axes_.Point(P3(v));
            };
            const auto rotation = [&](const aiQuaternion& q) {
                return changed ? HostRotation(q) * changeTurn : axes_.Transform(HostRotation(q));
            };
            const auto scaling = [&](const aiVector3D& v) { return changed ? P3(v) * changeScale : axes_.Scale(P3(v)); };
            TimeValue tick = 0;
            for (unsigned k = 0; k < channel.mNumPositionKeys && fits; ++k) {
                const Point3 p = point(channel.mPositionKeys[k].mValue);
                if ((fits = KeyTick(channel.mPositionKeys[k].mTime, ticksPerSecond, tick)))
                    keys.position.Push(tick, p, Finite(p));
            }
            for (unsigned k = 0; k < channel.mNumRotationKeys && fits; ++k) {
                const Matrix3 r = rotation(channel.mRotationKeys[k].mValue.Normalize());
                if ((fits = KeyTick(channel.mRotationKeys[k].mTime, ticksPerSecond, tick)))
                    keys.rotation.Push(tick, Quat(r), Finite(r));
            }
            for (unsigned k = 0; k < channel.mNumScalingKeys && fits; ++k) {
                const Point3 scale = scaling(channel.mScalingKeys[k].mValue);
                if ((fits = KeyTick(channel.mScalingKeys[k].mTime, ticksPerSecond, tick)))
                    keys.scale.Push(tick, scale, Finite(scale));
            }
        }
        // The clip lasts as long as the animation says: a pose held after the last key, or an
        // animation that only drives morph targets, keeps its length. A duration that does not
        // fit the timeline is left to the keys.
        imported.last = LastKey(imported);
        TimeValue duration = 0;
        if (fits && std::isfinite(animation.mDuration) && KeyTick(animation.mDuration, ticksPerSecond, duration))
            imported.last = std::max(imported.last, duration);
    }
    return LayOutAnimations(*scene_, animations, options_.frameRate, clips, path_, error);
}

// Assimp's file access for one import: only regular files, and only in the model's folder
// tree unless the user allows more. The first refusal is kept for the message.
class ModelFolderFiles : public Assimp::DefaultIOSystem {
public:
    ModelFolderFiles(std::string modelPath, bool allowOutside)
        : modelPath_(std::move(modelPath)), allowOutside_(allowOutside) {}

    bool Exists(const char* file) const override { return Allowed(file) && DefaultIOSystem::Exists(file); }
    Assimp::IOStream* Open(const char* file, const char* mode) override {
        return Allowed(file) ? DefaultIOSystem::Open(file, mode) : nullptr;
    }

    const std::vector<std::string>& refused() const { return refused_; }

private:
    bool Allowed(const char* file) const {
        if (file == nullptr) return false;
        // A file that is not there is Assimp's to report (it tries names for optional files).
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::status(file, ec))) return false;
        const std::string problem = ModelDataFileProblem(modelPath_, file, file, allowOutside_);
        if (problem.empty()) return true;
        if (std::find(refused_.begin(), refused_.end(), problem) == refused_.end()) refused_.push_back(problem);
        return false;
    }

    std::string modelPath_;
    bool allowOutside_;
    mutable std::vector<std::string> refused_;
};

}  // namespace

std::unique_ptr<HostScene> ImportWithAssimp(const std::string& path, const ImportOptions& options, std::string& error,
                                            std::vector<ImportedClip>& clips) {
    Assimp::Importer reader;
    auto* files = new ModelFolderFiles(path, options.allowOutsideFiles);
    reader.SetIOHandler(files);  // the reader owns it
    // Triangles only, the file's own normals and vertex layout, no flattening of the hierarchy;
    // the validation step turns inconsistent data into an error instead of a crash later.
    const unsigned steps = aiProcess_Triangulate | aiProcess_ValidateDataStructure;
    const aiScene* scene = reader.ReadFile(path, steps);
    if (!scene) {
        // A refused file is the cause more plainly than the reader's words for its absence.
        error = path + ": " + (files->refused().empty() ? std::string(reader.GetErrorString()) : files->refused()[0]);
        return nullptr;
    }
    if (options.warnings)
        for (const std::string& problem : files->refused())
            options.warnings->push_back(path + ": " + problem + "; it was not read");
    if (IsFbx(*scene))
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) WeldVertices(*scene->mMeshes[m]);
    // A file without meshes (only cameras, lights, empties or animation) is flagged incomplete
    // by Assimp; it is imported as what it is.
    Importer importer(*scene, path, options);
    // The scene offers one clip per animation (none for a file without animations).
    std::unique_ptr<HostScene> result = importer.Run(&clips, error);
    if (result) result->SetClips(clips);
    return result;
}

// The entry point of the module plover_assimp.so, which the command loads when it first needs
// Assimp: the same import, its scene handed over to the caller.
extern "C" HostScene* PloverImportWithAssimp(const char* path, const ImportOptions* options, std::string* error,
                                             std::vector<ImportedClip>* clips) {
    try {
        return ImportWithAssimp(path, *options, *error, *clips).release();
    } catch (const std::exception& e) {
        *error = std::string(path) + ": " + e.what();
        return nullptr;
    }
}
