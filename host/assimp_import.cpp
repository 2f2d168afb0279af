#include "host/assimp_import.h"

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
#include <system_error>
#include <unordered_map>

#include "core/atomic_write.h"
#include "host/host_controllers.h"
#include "host/host_deformers.h"
#include "host/host_materials.h"
#include "host/scene_document.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// Coordinates

// The file's axes in the host's: a rotation that takes the file's up axis to Z. Points become
// p * axes; transforms T become Inverse(axes) * T * axes, which keeps every product of
// transforms consistent (a node's world transform turns the same way as its local one).
struct AxisChange {
    Matrix3 axes;     // file -> host
    Matrix3 inverse;  // host -> file

    Point3 Point(const aiVector3D& v) const { return axes.PointTransform(Point3(v.x, v.y, v.z)); }
    Point3 Vector(const aiVector3D& v) const { return axes.VectorTransform(Point3(v.x, v.y, v.z)); }
    Matrix3 Transform(const Matrix3& m) const { return inverse * m * axes; }
};

// Exact rotations (no rounding from sin and cos) of the file's up axis onto the host's Z.
AxisChange MakeAxisChange(int upAxis, int upSign) {
    AxisChange change;
    const float s = upSign < 0 ? -1.0f : 1.0f;
    if (upAxis == 1) {
        // Y up: (x, y, z) -> (x, -z, y), a quarter turn about X (the other way for -Y).
        change.axes = Matrix3(Point3(1, 0, 0), Point3(0, 0, s), Point3(0, -s, 0), Point3(0, 0, 0));
    } else if (upAxis == 0) {
        // X up: (x, y, z) -> (-z, y, x), a quarter turn about Y (the other way for -X).
        change.axes = Matrix3(Point3(0, 0, s), Point3(0, 1, 0), Point3(-s, 0, 0), Point3(0, 0, 0));
    } else if (s < 0) {
        // -Z up: half a turn about X.
        change.axes = Matrix3(Point3(1, 0, 0), Point3(0, -1, 0), Point3(0, 0, -1), Point3(0, 0, 0));
    }
    change.inverse = Inverse(change.axes);
    return change;
}

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

// Assimp matrices act on column vectors; the host's on row vectors.
Matrix3 HostMatrix(const aiMatrix4x4& m) {
    return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                   Point3(m.a4, m.b4, m.c4));
}

Matrix3 HostRotation(const aiQuaternion& q) {
    const aiMatrix3x3 r = q.GetMatrix();
    return Matrix3(Point3(r.a1, r.b1, r.c1), Point3(r.a2, r.b2, r.c2), Point3(r.a3, r.b3, r.c3), Point3(0, 0, 0));
}

bool Finite(const Matrix3& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (!std::isfinite(m[r][c])) return false;
    return true;
}

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// ---------------------------------------------------------------------------------------------
// Names

std::string NameOf(const aiString& s) { return std::string(s.data, s.length); }

// Makes names unique within one family (materials, maps) by a numeric suffix.
class UniqueNames {
public:
    std::string Make(std::string name, const std::string& fallback) {
        if (name.empty()) name = fallback;
        std::string candidate = name;
        for (int n = 2; !used_.insert(candidate).second; ++n) candidate = name + "_" + std::to_string(n);
        return candidate;
    }

private:
    std::set<std::string> used_;
};

// ---------------------------------------------------------------------------------------------
// The import

class Importer {
public:
    Importer(const aiScene& scene, const std::string& path, const ImportOptions& options)
        : source_(scene), path_(path), options_(options), axes_(AxisChangeOf(scene)) {}

    std::unique_ptr<HostScene> Run(std::vector<ImportedClip>* clips, std::string& error);

private:
    void CollectBoneNames();
    HostNode& AddNode(const aiNode& node, HostNode& parent);
    void AddGeometry(const aiNode& node, HostNode& hostNode);
    Mtl* MaterialFor(const std::vector<unsigned>& materialIndices, const std::string& nodeName);
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
    std::unique_ptr<HostScene> scene_;
    std::string error_;

    std::set<std::string> boneNames_;                   // nodes that a skin uses as joints
    std::unordered_map<std::string, HostNode*> nodes_;  // by the file's name; the first wins
    std::unordered_map<const HostNode*, Matrix3> worlds_;
    std::vector<std::pair<HostNode*, std::vector<const aiMesh*>>> skinned_;
    std::vector<std::vector<uint32_t>> skinnedBases_;
    std::vector<Mtl*> materials_;                       // per file material, made on first use
    std::map<std::vector<unsigned>, Mtl*> multiMaterials_;
    std::map<std::string, Texmap*> bitmaps_;            // by file and mapping
    std::map<std::string, std::string> writtenTextures_;  // embedded reference -> file
    std::set<std::string> imageNames_;                  // written image file names, lower case
    UniqueNames materialNames_, mapNames_;
};

std::unique_ptr<HostScene> Importer::Run(std::vector<ImportedClip>* clips, std::string& error) {
    scene_ = std::make_unique<HostScene>();
    const int rate = options_.frameRate;
    if (rate < 1 || rate > kTicksPerSecond || kTicksPerSecond % rate != 0) {
        error = path_ + ": frame rate " + std::to_string(rate) + " does not divide " +
                std::to_string(kTicksPerSecond) + " ticks per second";
        return nullptr;
    }
    scene_->SetFrameRate(rate);
    scene_->SetTicksPerFrame(kTicksPerSecond / rate);
    // The exporter looks for textures beside the scene file: the model's folder, whichever
    // folder the command runs from.
    std::error_code ec;
    const fs::path absolute = fs::absolute(path_, ec);
    scene_->SetCurFilePath((ec ? fs::path(path_) : absolute).lexically_normal().string());
    scene_->SetAnimRange(Interval(0, 0));
    materials_.assign(source_.mNumMaterials, nullptr);

    CollectBoneNames();
    const aiNode* root = source_.mRootNode;
    if (root) {
        // Assimp makes a root of its own (unnamed, or "ROOT" for glTF) when the file has several
        // top-level nodes; that root stands for the scene and gives no node. A root the file
        // names is one of its nodes.
        const std::string rootName = NameOf(root->mName);
        const bool keepRoot = root->mNumMeshes > 0 || !root->mTransformation.IsIdentity() ||
                              (rootName != "ROOT" && !rootName.empty());
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
        Class_ID classId = kDummyClassId;
        SClass_ID superClassId = kHelperClassId;
        if (boneNames_.count(NameOf(node.mName))) {
            classId = kBoneObjectClassId;
            superClassId = kGeomObjectClassId;
        }
        for (unsigned i = 0; i < source_.mNumCameras; ++i)
            if (source_.mCameras[i]->mName == node.mName) classId = Class_ID(0x1001, 0), superClassId = kCameraClassId;
        for (unsigned i = 0; i < source_.mNumLights; ++i)
            if (source_.mLights[i]->mName == node.mName) classId = Class_ID(0x1011, 0), superClassId = kLightClassId;
        Object& object = scene_->AddObject(std::make_unique<HostClassedObject>(classId, superClassId));
        hostNode.SetObject(&object);
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

    // Counts, and what the merged mesh carries: a channel present in any part is given to all.
    uint64_t vertexTotal = 0, faceTotal = 0;
    bool anyNormals = false, anyColors = false;
    int uvSets = 0;
    std::vector<uint32_t> bases;
    bool skinned = false;
    for (const aiMesh* mesh : meshes) {
        bases.push_back(static_cast<uint32_t>(std::min<uint64_t>(vertexTotal, UINT32_MAX)));
        vertexTotal += mesh->mNumVertices;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) faceTotal += mesh->mFaces[f].mNumIndices == 3;
        anyNormals |= mesh->HasNormals();
        anyColors |= mesh->HasVertexColors(0);
        for (int k = 0; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k)
            if (mesh->HasTextureCoords(k)) uvSets = std::max(uvSets, k + 1);
        skinned |= mesh->HasBones();
    }
    if (faceTotal == 0) return;
    // The merged mesh must stay within what a scene document can hold, so that a dump of the
    // scene loads again (and far from the 32-bit index range).
    if (vertexTotal > kMaxSceneArrayElements / 3 || faceTotal > kMaxSceneArrayElements / 3) {
        Fail("node " + hostNode.name() + " has more geometry than the host takes (" + std::to_string(vertexTotal) +
             " vertices, " + std::to_string(faceTotal) + " triangles)");
        return;
    }
    const uint32_t vertexCount = static_cast<uint32_t>(vertexTotal);
    const uint32_t faceCount = static_cast<uint32_t>(faceTotal);

    ::Mesh out;
    out.setNumVerts(static_cast<int>(vertexCount));
    out.setNumFaces(static_cast<int>(faceCount));
    MeshNormalSpec* normals = anyNormals ? &out.SpecifyNormals() : nullptr;
    if (normals) {
        normals->normals.reserve(vertexCount + faceCount);
        normals->faces.resize(faceCount);
    }
    for (int k = 0; k < uvSets; ++k) {
        out.setMapSupport(k + 1, true);
        out.Map(k + 1).tv.assign(vertexCount, Point3());
        out.Map(k + 1).tf.resize(faceCount);
    }
    if (anyColors) {
        for (int channel : {kVertexColorChannel, kVertexAlphaChannel}) {
            out.setMapSupport(channel, true);
            out.Map(channel).tv.assign(vertexCount, Point3(1, 1, 1));
            out.Map(channel).tf.resize(faceCount);
        }
    }

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
            out.verts[base + v] = axes_.Point(mesh.mVertices[v]);
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
            for (unsigned v = 0; v < mesh.mNumVertices; ++v) normals->normals.push_back(axes_.Vector(mesh.mNormals[v]));

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
            for (int k = 0; k < uvSets; ++k) out.Map(k + 1).tf[face] = corners;
            if (anyColors) {
                out.Map(kVertexColorChannel).tf[face] = corners;
                out.Map(kVertexAlphaChannel).tf[face] = corners;
            }
            if (normals) {
                TVFace& n = normals->faces[face];
                if (mesh.HasNormals()) {
                    for (int c = 0; c < 3; ++c) n.t[c] = normalBase + source.mIndices[c];
                } else {
                    const Point3& a = out.verts[target.v[0]];
                    const Point3 flat = Normalize((out.verts[target.v[1]] - a) ^ (out.verts[target.v[2]] - a));
                    const uint32_t index = static_cast<uint32_t>(normals->normals.size());
                    normals->normals.push_back(flat);
                    n.t[0] = n.t[1] = n.t[2] = index;
                }
            }
            ++face;
        }
    }
    for (const Point3& p : out.verts)
        if (!Finite(p)) {
            Fail("mesh of node " + hostNode.name() + " has a vertex that is not finite");
            return;
        }
    if (normals)
        for (Point3& n : normals->normals)
            if (!Finite(n)) n = Point3(0, 0, 0);

    Object& object = scene_->AddObject(std::make_unique<HostTriObject>(std::move(out)));
    hostNode.SetObject(&object);
    if (Mtl* material = MaterialFor(materialIndices, hostNode.name())) hostNode.SetMtl(material);
    if (skinned) {
        skinned_.emplace_back(&hostNode, meshes);
        skinnedBases_.push_back(bases);
    }
}

// ---------------------------------------------------------------------------------------------
// Materials

Mtl* Importer::MaterialFor(const std::vector<unsigned>& materialIndices, const std::string& nodeName) {
    if (materialIndices.size() == 1) return Material(materialIndices[0]);
    auto found = multiMaterials_.find(materialIndices);
    if (found != multiMaterials_.end()) return found->second;
    auto multi = std::make_unique<HostMultiMaterial>();
    multi->name = materialNames_.Make(nodeName + "_materials", "Materials");
    for (unsigned index : materialIndices) multi->subMaterials.push_back(Material(index));
    Mtl* made = &scene_->materials().AddMaterial(std::move(multi));
    multiMaterials_.emplace(materialIndices, made);
    return made;
}

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
    material->name = materialNames_.Make(sourceName, "Material" + std::to_string(index + 1));

    aiColor4D color;
    float opacity = 1;
    if (source.Get(AI_MATKEY_BASE_COLOR, color) == AI_SUCCESS || source.Get(AI_MATKEY_COLOR_DIFFUSE, color) == AI_SUCCESS) {
        material->diffuse = Color(color.r, color.g, color.b);
        material->ambient = material->diffuse;
        opacity = color.a;
    }
    float value = 0;
    if (source.Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) opacity = std::min(opacity, value);
    material->transparency = std::clamp(1.0f - opacity, 0.0f, 1.0f);

    // The X file's specular colour is specular * strength / 10: a strength of 10 carries the
    // file's colour unchanged (times its own strength factor, when it gives one).
    if (source.Get(AI_MATKEY_COLOR_SPECULAR, color) == AI_SUCCESS) {
        material->specular = Color(color.r, color.g, color.b);
        float strength = 1;
        source.Get(AI_MATKEY_SHININESS_STRENGTH, strength);
        material->shininessStrength = std::isfinite(strength) ? std::max(0.0f, strength) * 10.0f : 10.0f;
    }
    // Shininess is the specular exponent; the host keeps a hundredth of it.
    if (source.Get(AI_MATKEY_SHININESS, value) == AI_SUCCESS && std::isfinite(value))
        material->shininess = std::max(0.0f, value) / 100.0f;
    else
        material->shininess = 0;
    if (source.Get(AI_MATKEY_COLOR_EMISSIVE, color) == AI_SUCCESS && (color.r > 0 || color.g > 0 || color.b > 0)) {
        material->selfIllumColorOn = true;
        material->selfIllumColor = Color(color.r, color.g, color.b);
    }

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

    // One bitmap map per file and mapping, shared by the materials that use it alike.
    const std::string key = file + "|" + std::to_string(channel) + "|" + std::to_string(tiling) + "|" +
                            std::to_string(uvTransform[0].x) + "," + std::to_string(uvTransform[0].y) + "," +
                            std::to_string(uvTransform[1].x) + "," + std::to_string(uvTransform[1].y) + "," +
                            std::to_string(uvTransform[3].x) + "," + std::to_string(uvTransform[3].y);
    Texmap*& bitmap = bitmaps_[key];
    if (!bitmap) {
        auto map = std::make_unique<HostBitmapTex>();
        map->name = mapNames_.Make(fs::path(file).stem().string(), "Map");
        map->fileName = file;
        map->mapChannel = channel;
        map->tiling = tiling;
        map->uvTransform = uvTransform;
        bitmap = &scene_->materials().AddTexmap(std::move(map));
    }
    Texmap* map = bitmap;
    if (normalMap) {
        auto bump = std::make_unique<HostNormalBump>();
        bump->name = mapNames_.Make(std::string(bitmap->GetName()) + "_normal", "Normal");
        bump->normalMap = bitmap;
        bump->mapChannel = channel;
        map = &scene_->materials().AddTexmap(std::move(bump));
    }
    material.maps[slot] = map;
    material.mapEnabled[slot] = true;
}

// The file a texture reference names: a file beside the model (made absolute), or, for a texture
// stored inside the file, the image file it is written to. Empty when an embedded texture cannot
// be written.
std::string Importer::TextureFile(const std::string& reference) {
    const aiTexture* embedded = source_.GetEmbeddedTexture(reference.c_str());
    if (!embedded) {
        if (reference.empty()) return {};
        fs::path file(reference);
        if (file.is_relative()) file = fs::path(path_).parent_path() / file;
        std::error_code ec;
        const fs::path absolute = fs::absolute(file, ec);
        return (ec ? file : absolute).lexically_normal().string();
    }
    auto written = writtenTextures_.find(reference);
    if (written != writtenTextures_.end()) return written->second;

    // Compressed images (PNG, JPEG, ...) are written as they are stored, under the format the
    // file names; raw texels become a BMP.
    size_t index = 0;
    while (index < source_.mNumTextures && source_.mTextures[index] != embedded) ++index;
    std::string extension = "bmp";
    std::vector<uint8_t> bytes;
    if (embedded->mHeight == 0) {
        extension.clear();
        for (const char c : embedded->achFormatHint)
            if (std::isalnum(static_cast<unsigned char>(c))) extension += static_cast<char>(std::tolower(c));
            else if (c == 0) break;
        if (extension.empty()) extension = "bin";
        if (extension == "jpeg") extension = "jpg";
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

    // The image keeps its own name (its name in the file, or its original file's); an image
    // without one is named after the model and its place in it. Names are made unique ignoring
    // letter case, as the exported files may land on a file system that ignores it.
    const std::string fallback = fs::path(path_).stem().string() + "_texture" + std::to_string(index);
    const std::string stem = LegalImageName(NameOf(embedded->mFilename), fallback);
    std::string name = stem + "." + extension;
    const auto folded = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (int n = 2; !imageNames_.insert(folded(name)).second; ++n) name = stem + "_" + std::to_string(n) + "." + extension;
    const fs::path directory = options_.textureDirectory.empty() ? fs::path(".") : fs::path(options_.textureDirectory);
    const fs::path target = directory / name;
    std::error_code ec;
    fs::create_directories(directory, ec);
    std::error_code absoluteError;
    const fs::path absolute = fs::absolute(target, absoluteError);
    const std::string result = (absoluteError ? target : absolute).lexically_normal().string();
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const auto writePlainly = [&content](const std::string& file) {
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream.write(content.data(), static_cast<std::streamsize>(content.size()));
        stream.close();
        return !stream.fail();
    };
    bool saved = false;
    if (options_.staged) {
        // Staged under the name the scene gives it; the caller puts it in place with its other files.
        const std::string temp = options_.staged->Stage(result, StagedFiles::Existing::Replace);
        if (!temp.empty()) {
            saved = writePlainly(temp);
            if (!saved) options_.staged->Drop(result);
        }
    } else if (options_.privateFolder) {
        saved = writePlainly(target.string());
    } else {
        saved = WriteFileAtomically(target.string(), content);
    }
    if (!saved) {
        Fail("cannot write the embedded texture " + target.string());
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
                entry.node = node->second;
                const Matrix3 offset = axes_.Transform(HostMatrix(bone.mOffsetMatrix));
                const Matrix3 pose = Inverse(offset) * meshPose;
                if (!Finite(offset) || !Finite(pose)) {
                    Fail("bone " + name + " has an offset matrix that is not finite");
                    return;
                }
                entry.initTM = pose;
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

// The keys of one node's channel in one animation, in host values and ticks from its start.
template <class Value>
struct Keys {
    std::vector<TimeValue> times;
    std::vector<Value> values;
};

struct NodeKeys {
    Keys<Point3> position;
    Keys<Quat> rotation;
    Keys<Point3> scale;
};

// Ticks from a key time in the animation's own units; false when it does not fit the timeline.
bool KeyTick(double time, double ticksPerSecond, TimeValue& tick) {
    const double seconds = std::max(0.0, time) / ticksPerSecond;
    const double ticks = std::round(seconds * kTicksPerSecond);
    if (!std::isfinite(ticks) || ticks > double(std::numeric_limits<TimeValue>::max() / 2)) return false;
    tick = static_cast<TimeValue>(ticks);
    return true;
}

template <class Value>
void PushKey(Keys<Value>& keys, TimeValue tick, const Value& value) {
    // Keys that land on one tick keep the first.
    if (!keys.times.empty() && tick <= keys.times.back()) return;
    keys.times.push_back(tick);
    keys.values.push_back(value);
}

void AppendClipKeys(std::vector<TimeValue>& times, std::vector<float>& values, const std::vector<TimeValue>& keyTimes,
                    const float* keyValues, int dimension, TimeValue start, TimeValue end) {
    // The clip's keys on the timeline, held flat to the clip's first and last frame, so that no
    // clip reads into its neighbours.
    auto push = [&](TimeValue t, const float* v) {
        times.push_back(t);
        values.insert(values.end(), v, v + dimension);
    };
    if (keyTimes.front() + start > start) push(start, keyValues);
    for (size_t i = 0; i < keyTimes.size(); ++i) push(start + keyTimes[i], keyValues + i * dimension);
    if (keyTimes.back() + start < end) push(end, keyValues + (keyTimes.size() - 1) * dimension);
}

bool Importer::AddAnimations(std::vector<ImportedClip>* clips, std::string& error) {
    if (clips) clips->clear();
    if (source_.mNumAnimations == 0) return true;
    const TimeValue ticksPerFrame = kTicksPerSecond / options_.frameRate;

    // Per animation: its clip on the timeline and the keys of each node it moves.
    struct Clip {
        ImportedClip clip;
        TimeValue start = 0, end = 0;
        std::map<HostNode*, NodeKeys> nodes;
    };
    std::vector<Clip> timeline;
    std::set<std::string> clipNames;
    int32_t nextFrame = 0;
    for (unsigned a = 0; a < source_.mNumAnimations; ++a) {
        const aiAnimation& animation = *source_.mAnimations[a];
        const double ticksPerSecond = animation.mTicksPerSecond > 0 ? animation.mTicksPerSecond : 25.0;
        Clip clip;
        TimeValue last = 0;
        bool fits = true;
        for (unsigned c = 0; c < animation.mNumChannels && fits; ++c) {
            const aiNodeAnim& channel = *animation.mChannels[c];
            auto node = nodes_.find(NameOf(channel.mNodeName));
            if (node == nodes_.end()) continue;  // a channel for no node moves nothing
            NodeKeys& keys = clip.nodes[node->second];
            TimeValue tick = 0;
            for (unsigned k = 0; k < channel.mNumPositionKeys && fits; ++k) {
                const Point3 p = axes_.Point(channel.mPositionKeys[k].mValue);
                if ((fits = KeyTick(channel.mPositionKeys[k].mTime, ticksPerSecond, tick)) && Finite(p))
                    PushKey(keys.position, tick, p);
            }
            for (unsigned k = 0; k < channel.mNumRotationKeys && fits; ++k) {
                const Matrix3 r = axes_.Transform(HostRotation(channel.mRotationKeys[k].mValue.Normalize()));
                if ((fits = KeyTick(channel.mRotationKeys[k].mTime, ticksPerSecond, tick)) && Finite(r))
                    PushKey(keys.rotation, tick, Quat(r));
            }
            for (unsigned k = 0; k < channel.mNumScalingKeys && fits; ++k) {
                const aiVector3D& s = channel.mScalingKeys[k].mValue;
                // A scale turns with the axes: its factors change places.
                const Matrix3 m = axes_.Transform(ScaleMatrix(Point3(s.x, s.y, s.z)));
                const Point3 scale(m[0].x + m[0].y + m[0].z, m[1].x + m[1].y + m[1].z, m[2].x + m[2].y + m[2].z);
                if ((fits = KeyTick(channel.mScalingKeys[k].mTime, ticksPerSecond, tick)) && Finite(scale))
                    PushKey(keys.scale, tick, scale);
            }
            for (const auto* times : {&keys.position.times, &keys.rotation.times, &keys.scale.times})
                if (!times->empty()) last = std::max(last, times->back());
        }
        // The clip lasts as long as the animation says: a pose held after the last key, or an
        // animation that only drives morph targets, keeps its length. A duration that does not
        // fit the timeline is left to the keys.
        TimeValue duration = 0;
        if (fits && std::isfinite(animation.mDuration) && KeyTick(animation.mDuration, ticksPerSecond, duration))
            last = std::max(last, duration);
        const int64_t frames = (int64_t(last) + ticksPerFrame - 1) / ticksPerFrame;
        if (!fits || int64_t(nextFrame) + frames + 1 > int64_t(std::numeric_limits<TimeValue>::max() / ticksPerFrame / 2)) {
            error = path_ + ": animation " + NameOf(animation.mName) + " is too long for the timeline";
            return false;
        }
        std::string name = LegalClipName(NameOf(animation.mName), a);
        const std::string base = name;
        for (int n = 2; !clipNames.insert(name).second; ++n) {
            const std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, 31 - suffix.size()) + suffix;
        }
        clip.clip = ImportedClip{name, nextFrame, nextFrame + static_cast<int32_t>(frames)};
        clip.start = clip.clip.startFrame * ticksPerFrame;
        clip.end = clip.clip.endFrame * ticksPerFrame;
        // One free frame between clips keeps each clip's first and last keys apart.
        nextFrame = clip.clip.endFrame + 1;
        timeline.push_back(std::move(clip));
    }
    scene_->SetAnimRange(Interval(0, timeline.back().end));
    if (clips)
        for (const Clip& clip : timeline) clips->push_back(clip.clip);

    // Every moved node gets one track per moved channel over the whole timeline. A clip that
    // leaves the channel alone holds the node's rest value through its frames.
    std::vector<HostNode*> moved;
    for (const Clip& clip : timeline)
        for (const auto& entry : clip.nodes)
            if (std::find(moved.begin(), moved.end(), entry.first) == moved.end()) moved.push_back(entry.first);
    for (HostNode* node : moved) {
        Point3 restPosition, restScale;
        Quat restRotation;
        DecomposeMatrix(node->localTransform(), restPosition, restRotation, restScale);

        HostKeyData position{3, HostInterpolation::Linear, {}, {}, {}, {}};
        HostKeyData rotation{4, HostInterpolation::Linear, {}, {}, {}, {}};
        HostKeyData scale{3, HostInterpolation::Linear, {}, {}, {}, {}};
        bool anyPosition = false, anyRotation = false, anyScale = false;
        for (const Clip& clip : timeline) {
            auto it = clip.nodes.find(node);
            if (it == clip.nodes.end()) continue;
            anyPosition |= !it->second.position.times.empty();
            anyRotation |= !it->second.rotation.times.empty();
            anyScale |= !it->second.scale.times.empty();
        }
        for (const Clip& clip : timeline) {
            auto it = clip.nodes.find(node);
            const NodeKeys* keys = it != clip.nodes.end() ? &it->second : nullptr;
            const std::vector<TimeValue> restTime{0};
            if (anyPosition) {
                const bool own = keys && !keys->position.times.empty();
                AppendClipKeys(position.times, position.values, own ? keys->position.times : restTime,
                               own ? &keys->position.values[0].x : &restPosition.x, 3, clip.start, clip.end);
            }
            if (anyRotation) {
                const bool own = keys && !keys->rotation.times.empty();
                AppendClipKeys(rotation.times, rotation.values, own ? keys->rotation.times : restTime,
                               own ? &keys->rotation.values[0].x : &restRotation.x, 4, clip.start, clip.end);
            }
            if (anyScale) {
                const bool own = keys && !keys->scale.times.empty();
                AppendClipKeys(scale.times, scale.values, own ? keys->scale.times : restTime,
                               own ? &keys->scale.values[0].x : &restScale.x, 3, clip.start, clip.end);
            }
        }
        auto control = std::make_unique<HostTransformControl>();
        if (anyPosition) control->SetPosition(std::make_unique<HostKeyTrack>(std::move(position)));
        if (anyRotation) control->SetRotation(std::make_unique<HostKeyTrack>(std::move(rotation)));
        if (anyScale) control->SetScale(std::make_unique<HostKeyTrack>(std::move(scale)));
        node->SetController(std::move(control));
    }
    return true;
}

}  // namespace

std::string LegalClipName(const std::string& name, size_t index) {
    std::string legal;
    for (const char c : name) {
        if (legal.size() >= 31) break;
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        legal += keep ? c : '_';
    }
    if (!legal.empty() && legal[0] >= '0' && legal[0] <= '9') legal = ("_" + legal).substr(0, 31);
    if (legal.find_first_not_of('_') == std::string::npos) legal = "Anim" + std::to_string(index + 1);
    return legal;
}

std::string LegalImageName(const std::string& name, const std::string& fallback) {
    std::string base = name.substr(name.find_last_of("/\\") == std::string::npos ? 0 : name.find_last_of("/\\") + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    if (base.size() > 100) base.resize(100);
    for (char& c : base) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '-' || c == '.';
        if (!keep) c = '_';
    }
    if (base.find_first_not_of("_.") == std::string::npos) return fallback;
    return base;
}

namespace {

uint32_t LittleEndian32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Checks the header of a binary glTF file against the file's size: Assimp trusts its length
// fields and would allocate what they claim. Empty when the file is not binary glTF or its
// header is consistent; otherwise the problem.
std::string CheckBinaryGltf(const std::string& path, uint64_t fileSize) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[28] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const uint64_t got = static_cast<uint64_t>(in.gcount());
    if (got < 4 || std::memcmp(header, "glTF", 4) != 0) return {};
    if (got < 20) return "binary glTF file is cut short in its header";
    const uint32_t version = LittleEndian32(header + 4);
    const uint64_t length = LittleEndian32(header + 8);
    if (length > fileSize)
        return "binary glTF header gives a length of " + std::to_string(length) + " bytes, but the file holds " +
               std::to_string(fileSize);
    // Version 1: content length and format follow; version 2: the first chunk's length and type.
    // Either way the content starts 20 bytes in.
    const uint64_t first = LittleEndian32(header + 12);
    const uint64_t headerSize = 20;
    if (headerSize + first > length)
        return "binary glTF header gives its " + std::string(version == 1 ? "content" : "JSON chunk") +
               " a length of " + std::to_string(first) + " bytes, beyond the file's " + std::to_string(length);
    if (version == 2) {
        // A second chunk (the binary buffer) follows the JSON chunk, padded to 4 bytes.
        const uint64_t second = headerSize + ((first + 3) & ~uint64_t(3));
        if (second + 8 <= length) {
            unsigned char chunk[8];
            in.seekg(static_cast<std::streamoff>(second));
            in.read(reinterpret_cast<char*>(chunk), sizeof chunk);
            if (in.gcount() == 8 && second + 8 + LittleEndian32(chunk) > length)
                return "binary glTF header gives its binary chunk a length of " +
                       std::to_string(LittleEndian32(chunk)) + " bytes, beyond the file's " + std::to_string(length);
        }
    }
    return {};
}

}  // namespace

std::unique_ptr<HostScene> ImportInterchangeFile(const std::string& path, const ImportOptions& options,
                                                 std::string& error, std::vector<ImportedClip>* clips) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": is a folder, not a file";
        return nullptr;
    }
    if (!fs::is_regular_file(path, ec)) {
        error = path + (fs::exists(path, ec) ? ": is not a regular file" : ": no such file");
        return nullptr;
    }
    const uint64_t size = fs::file_size(path, ec);
    if (ec || size > kMaxInterchangeFileBytes) {
        error = path + (ec ? ": cannot read the file's size" : ": file is larger than " +
                                                                     std::to_string(kMaxInterchangeFileBytes) + " bytes");
        return nullptr;
    }
    if (const std::string problem = CheckBinaryGltf(path, size); !problem.empty()) {
        error = path + ": " + problem;
        return nullptr;
    }
    Assimp::Importer reader;
    // Triangles only, the file's own normals and vertex layout, no flattening of the hierarchy;
    // the validation step turns inconsistent data into an error instead of a crash later.
    const unsigned steps = aiProcess_Triangulate | aiProcess_ValidateDataStructure;
    const aiScene* scene = reader.ReadFile(path, steps);
    if (!scene) {
        error = path + ": " + reader.GetErrorString();
        return nullptr;
    }
    // A file without meshes (only cameras, lights, empties or animation) is flagged incomplete
    // by Assimp; it is imported as what it is.
    Importer importer(*scene, path, options);
    // The scene offers one clip per animation (none for a file without animations).
    std::vector<ImportedClip> found;
    std::unique_ptr<HostScene> result = importer.Run(&found, error);
    if (result) result->SetClips(found);
    if (clips) *clips = std::move(found);
    return result;
}
