#include "host/import/gltf_import.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>

#include "host/import/gltf_document.h"
#include "host/import/gltf_transform.h"
#include "host/import/import_shared.h"
#include "host/objects/host_objects.h"

namespace fs = std::filesystem;
using json = JsonValue;

namespace {

constexpr unsigned kNoMaterial = std::numeric_limits<unsigned>::max();
constexpr int kMaxUvSets = 8;  // the texture coordinate sets a mesh carries, as Assimp's import

// Extensions whose content the reader handles or that change nothing the host keeps: the
// material extensions among them add only what a standard material has no place for (emission
// strength, index of refraction, clearcoat and transmission factors).
bool KnownExtension(const std::string& name) {
    return name == "KHR_materials_clearcoat" || name == "KHR_texture_transform" || name == "KHR_lights_punctual" ||
           name == "KHR_materials_unlit" || name == "KHR_materials_emissive_strength" || name == "KHR_materials_ior" ||
           name == "KHR_materials_transmission";
}

std::string Numbered(const char* kind, size_t index) { return std::string(kind) + " " + std::to_string(index); }

// One primitive's checked views.
struct PrimitiveViews {
    GltfAccessor position, normal, colour, indices;
    std::vector<GltfAccessor> joints, weights;  // sets of four influences: JOINTS_k and WEIGHTS_k
    GltfAccessor uv[kMaxUvSets];
    bool hasNormal = false, hasColour = false, hasIndices = false, hasSkin = false;
    int uvSets = 0;  // sets present: bit k for set k
    uint32_t vertices = 0, faces = 0;
    unsigned material = kNoMaterial;
    std::string meshName;  // as Assimp names its meshes (for messages)
};

class GltfImporter {
public:
    GltfImporter(const std::string& path, const ImportOptions& options)
        : path_(path), options_(options), axes_(MakeAxisChange(1, 1)), images_(path, options) {}

    std::unique_ptr<HostScene> Run(std::vector<ImportedClip>& clips);

private:
    void CheckSupported();
    void CheckSkinsForAssimp(const std::string& reason);
    void CheckForAssimp(const std::string& reason);
    void WalkNodes();
    void EmulateRetrievalOrder();
    GltfMatrix NodeMatrix(const json& node, size_t index) const;
    void AddNode(size_t index, HostNode& parent);
    void AddGeometry(size_t index, const json& node, HostNode& hostNode);
    PrimitiveViews Views(const json& primitive, const std::string& where);
    Mtl* Material(unsigned retrieved);
    void AddMap(HostStdMaterial& material, const json* info, int slot, bool normalMap, const std::string& where);
    std::string TextureFile(uint64_t image, const std::string& where);
    void AddSkin(HostNode& hostNode, size_t nodeIndex, const std::vector<PrimitiveViews>& parts);
    void AddAnimations(std::vector<ImportedClip>& clips);
    void PushKey(ImportedNodeKeys& keys, int slot, TimeValue tick, const float* v) const;

    const std::string& path_;
    const ImportOptions& options_;
    AxisChange axes_;
    GltfDocument doc_;
    std::unique_ptr<HostScene> scene_;
    std::unique_ptr<ImportedMaterials> library_;
    EmbeddedImages images_;
    bool textureTransforms_ = false, lights_ = false;

    std::vector<size_t> roots_;
    std::vector<std::vector<size_t>> children_;
    std::vector<size_t> postOrder_;       // the scene's nodes, children before their parent
    std::vector<std::string> names_;      // per node: its name, or Assimp's "nodes[i]"
    std::vector<unsigned> materialOrder_;  // per file material: its place in Assimp's list
    std::vector<size_t> materialsByOrder_;
    std::vector<int64_t> embeddedIndex_;  // per image: its place among embedded images, or -1
    std::set<std::string> boneNames_, cameraNames_, lightNames_;
    std::vector<HostNode*> hostNodes_;  // per node: its host node, or null when not in the scene
    std::unordered_map<std::string, HostNode*> nodes_;  // by the file's name; the first wins
    std::unordered_map<const HostNode*, Matrix3> worlds_;
    std::vector<Mtl*> materials_;
    std::map<uint64_t, std::string> writtenImages_;
    struct Skinned {
        HostNode* node;
        size_t index;
        std::vector<PrimitiveViews> parts;
    };
    std::vector<Skinned> skinned_;
    // What the scene may hold in vertices, faces and keys: a multiple of the bytes the file has.
    // Instances of one mesh, and one sampler moving many nodes, may give more than the file holds,
    // but not without bound.
    uint64_t spent_ = 0;
    void Spend(uint64_t amount, const std::string& what) {
        spent_ += amount;
        if (spent_ > 8 * (doc_.fileSize() + doc_.loadedBytes()) + (uint64_t(1) << 20))
            throw GltfError(what + " than the file's data can stand for (meshes or samplers used too often)");
    }
};

std::unique_ptr<HostScene> GltfImporter::Run(std::vector<ImportedClip>& clips) {
    doc_.allowOutsideFiles = options_.allowOutsideFiles;
    doc_.Load(path_);
    CheckSupported();
    scene_ = std::make_unique<HostScene>();
    std::string error;
    if (!StartImportedScene(*scene_, path_, options_.frameRate, error)) throw GltfError(error.substr(path_.size() + 2));
    library_ = std::make_unique<ImportedMaterials>(*scene_);

    WalkNodes();
    EmulateRetrievalOrder();
    const size_t nodeCount = doc_.Array("nodes").size();
    names_.resize(nodeCount);
    hostNodes_.assign(nodeCount, nullptr);
    for (size_t i = 0; i < nodeCount; ++i) {
        const std::string name = StringOf(doc_.Array("nodes")[i], "name");
        names_[i] = name.empty() ? "nodes[" + std::to_string(i) + "]" : name;
    }
    // Cameras and lights take the name of the node that uses them (the last one, in Assimp's
    // order); joints of skinned meshes become bones.
    std::map<uint64_t, std::string> cameras, lights;
    for (size_t index : postOrder_) {
        const json& node = doc_.Array("nodes")[index];
        if (const json* camera = Member(node, "camera")) {
            const uint64_t c = UnsignedOf(*camera, Numbered("node", index) + "'s camera");
            doc_.Element("cameras", c, Numbered("node", index));
            cameras[c] = names_[index];
        }
        const json* extensions = Member(node, "extensions");
        const json* light = lights_ && extensions ? Member(*extensions, "KHR_lights_punctual") : nullptr;
        if (light && Member(*light, "light")) {
            const uint64_t l = UnsignedOf(*Member(*light, "light"), Numbered("node", index) + "'s light");
            const json* rootExtensions = Member(doc_.root(), "extensions");
            const json* punctual = rootExtensions ? Member(*rootExtensions, "KHR_lights_punctual") : nullptr;
            const json* all = punctual ? Member(*punctual, "lights") : nullptr;
            if (!all || !all->is_array() || l >= all->size())
                throw GltfError(Numbered("node", index) + " refers to light " + std::to_string(l) + ", which the file does not have");
            lights[l] = names_[index];
        }
        const json* skin = Member(node, "skin");
        const json* mesh = Member(node, "mesh");
        if (skin && mesh) {
            const json& primitives = doc_.Element("meshes", UnsignedOf(*mesh, Numbered("node", index) + "'s mesh"),
                                                  Numbered("node", index));
            const json* list = Member(primitives, "primitives");
            if (!list || !list->is_array() || list->empty()) continue;
            const json& skinObject = doc_.Element("skins", UnsignedOf(*skin, Numbered("node", index) + "'s skin"),
                                                  Numbered("node", index));
            if (const json* joints = Member(skinObject, "joints"); joints && joints->is_array())
                for (const json& joint : *joints) {
                    const uint64_t j = UnsignedOf(joint, Numbered("node", index) + "'s skin joint");
                    doc_.Element("nodes", j, "a skin");
                    boneNames_.insert(names_[j]);
                }
        }
    }
    for (const auto& entry : cameras) cameraNames_.insert(entry.second);
    for (const auto& entry : lights) lightNames_.insert(entry.second);

    // Assimp makes a root of its own ("ROOT") when the scene has several top-level nodes; that
    // root stands for the scene and gives no node. A single top-level node is the root, and
    // gives a node unless it is an empty, unmoved node named "ROOT".
    if (roots_.size() == 1) {
        const json& root = doc_.Array("nodes")[roots_[0]];
        const json* mesh = Member(root, "mesh");
        bool hasMeshes = false;
        if (mesh) {
            const json* primitives = Member(doc_.Element("meshes", UnsignedOf(*mesh, "the root's mesh"), "the root"), "primitives");
            hasMeshes = primitives && primitives->is_array() && !primitives->empty();
        }
        if (hasMeshes || !NodeMatrix(root, roots_[0]).IsIdentity() || names_[roots_[0]] != "ROOT") {
            AddNode(roots_[0], scene_->root());
        } else {
            worlds_[&scene_->root()] = Matrix3();
            for (size_t child : children_[roots_[0]]) AddNode(child, scene_->root());
        }
    } else {
        worlds_[&scene_->root()] = Matrix3();
        for (size_t root : roots_) AddNode(root, scene_->root());
    }
    for (const Skinned& skinned : skinned_) AddSkin(*skinned.node, skinned.index, skinned.parts);
    AddAnimations(clips);
    return std::move(scene_);
}

// Leaves to Assimp what this reader does not take: unknown extensions, primitives other than
// triangle lists, files without a scene, images it would name differently.
void GltfImporter::CheckSupported() {
    const json& root = doc_.root();
    for (const char* list : {"extensionsRequired", "extensionsUsed"})
        if (const json* names = Member(root, list); names && names->is_array())
            for (const json& name : *names) {
                const std::string text = name.is_string() ? name.get<std::string>() : std::string();
                if (!KnownExtension(text)) {
                    CheckForAssimp("extension " + text);
                    throw GltfUnsupported("extension " + text);
                }
                textureTransforms_ |= text == "KHR_texture_transform";
                lights_ |= text == "KHR_lights_punctual";
            }
    // What else sends the file to Assimp; its accessors are checked first, as Assimp trusts them.
    std::string reason;
    const json& meshes = doc_.Array("meshes");
    for (size_t m = 0; m < meshes.size() && reason.empty(); ++m) {
        const json* primitives = Member(meshes[m], "primitives");
        if (!primitives || !primitives->is_array()) continue;
        for (const json& primitive : *primitives)
            if (const json* mode = Member(primitive, "mode"); mode && !(mode->is_number_integer() && mode->get<int64_t>() == 4))
                reason = "primitive mode " + mode->dump() + " in mesh " + std::to_string(m);
    }
    // A transmission texture is an image Assimp reads and names, which numbers the images after
    // it; only transmission factors are taken here.
    const json& materials = doc_.Array("materials");
    for (size_t m = 0; m < materials.size(); ++m) {
        const json* extensions = Member(materials[m], "extensions");
        const json* transmission = extensions ? Member(*extensions, "KHR_materials_transmission") : nullptr;
        if (transmission && Member(*transmission, "transmissionTexture"))
            reason = "a transmission texture in material " + std::to_string(m);
    }
    for (const json& image : doc_.Array("images")) {
        const std::string uri = StringOf(image, "uri");
        if (uri.find('%') != std::string::npos || (uri.compare(0, 5, "data:") == 0 && uri.find(";base64,") == std::string::npos))
            reason = "image URI " + uri.substr(0, 40);
    }
    // Animated nodes are given by translation, rotation and scale, never by a matrix.
    for (const json& animation : doc_.Array("animations"))
        if (const json* channels = Member(animation, "channels"); channels && channels->is_array())
            for (const json& channel : *channels) {
                const json* target = Member(channel, "target");
                const json* node = target ? Member(*target, "node") : nullptr;
                if (node && node->is_number_unsigned() && node->get<uint64_t>() < doc_.Array("nodes").size() &&
                    Member(doc_.Array("nodes")[node->get<size_t>()], "matrix"))
                    reason = "an animated node with a matrix";
            }
    const json* sceneValue = Member(root, "scene");
    const uint64_t scene = sceneValue ? UnsignedOf(*sceneValue, "the file's scene") : 0;
    if (scene >= doc_.Array("scenes").size()) reason = "no scene";
    if (!reason.empty()) {
        CheckForAssimp(reason);
        throw GltfUnsupported(reason);
    }
}

namespace {

// The most joints a skin of a file that goes to Assimp may have.
constexpr uint64_t kMaxAssimpJoints = 16384;

// Extensions Assimp 5.2's glTF reader takes, beyond those read here.
bool AssimpExtension(const std::string& name) {
    return name == "KHR_draco_mesh_compression" || name == "KHR_materials_pbrSpecularGlossiness" ||
           name == "KHR_materials_sheen" || name == "KHR_materials_volume" || name == "KHR_texture_basisu" ||
           name == "KHR_materials_common" || name == "KHR_binary_glTF";
}

}  // namespace

// Assimp trusts a file's accessors: it copies each element's bytes into a value of the size it
// expects (an accessor of smaller elements leaves bytes of that value unset, which reach the X
// file) and reads as many elements as the data it expects needs (beyond a shorter accessor).
// A file that goes to Assimp is therefore checked as this reader checks what it reads: every
// accessor inside its buffer, and the type and count of every accessor Assimp reads by size.
void GltfImporter::CheckForAssimp(const std::string& reason) {
    const auto refuse = [&](const std::string& what) {
        throw GltfError(what + ", which Assimp cannot read safely (the file goes to Assimp for " + reason + ")");
    };
    if (const json* names = Member(doc_.root(), "extensionsRequired"); names && names->is_array())
        for (const json& name : *names) {
            const std::string text = name.is_string() ? name.get<std::string>() : std::string();
            if (!KnownExtension(text) && !AssimpExtension(text))
                throw GltfError("the file requires the extension " + text + ", which neither glTF reader here reads");
        }
    const json& accessors = doc_.Array("accessors");
    std::vector<GltfAccessor> views(accessors.size());
    for (size_t a = 0; a < accessors.size(); ++a) views[a] = doc_.Accessor(a, "the file");
    // The accessor a member names, or null when the member is absent.
    const auto view = [&](const json& object, const char* key, const std::string& where) -> const GltfAccessor* {
        const json* value = Member(object, key);
        if (!value) return nullptr;
        const uint64_t index = UnsignedOf(*value, where + "'s " + key);
        if (index >= views.size()) refuse(where + "'s " + key + " names accessor " + std::to_string(index) + " of " +
                                          std::to_string(views.size()));
        return &views[static_cast<size_t>(index)];
    };
    const auto floats = [&](const GltfAccessor* accessor, int components, const std::string& what) {
        if (accessor && (accessor->components != components || !accessor->IsFloat()))
            refuse(what + " is not a " + (components == 16 ? std::string("MAT4") : "VEC" + std::to_string(components)) +
                   " accessor of floats");
    };

    const json& meshes = doc_.Array("meshes");
    for (size_t m = 0; m < meshes.size(); ++m) {
        const json* primitives = Member(meshes[m], "primitives");
        if (!primitives || !primitives->is_array()) continue;
        for (size_t p = 0; p < primitives->size(); ++p) {
            const json& primitive = (*primitives)[p];
            const std::string where = Numbered("mesh", m) + " primitive " + std::to_string(p);
            const json* attributes = Member(primitive, "attributes");
            if (!attributes || !attributes->is_object()) continue;
            const GltfAccessor* position = view(*attributes, "POSITION", where);
            floats(position, 3, where + "'s POSITION");
            floats(view(*attributes, "NORMAL", where), 3, where + "'s NORMAL");
            floats(view(*attributes, "TANGENT", where), 4, where + "'s TANGENT");
            const uint32_t vertices = position ? position->count : 0;
            for (size_t i = 0; i < attributes->size(); ++i) {
                const std::string name(attributes->members()[i].key);
                const GltfAccessor* attribute = view(*attributes, name.c_str(), where);
                if (attribute && attribute->count < vertices)
                    refuse(where + "'s " + name + " has " + std::to_string(attribute->count) + " elements for " +
                           std::to_string(vertices) + " vertices");
            }
            if (const GltfAccessor* indices = view(primitive, "indices", where);
                indices && (indices->components != 1 || indices->IsFloat()))
                refuse(where + "'s indices are not a SCALAR accessor of integers");
            if (const json* targets = Member(primitive, "targets"); targets && targets->is_array())
                for (size_t t = 0; t < targets->size(); ++t) {
                    const std::string target = where + " target " + std::to_string(t);
                    for (const char* key : {"POSITION", "NORMAL", "TANGENT"}) {
                        const GltfAccessor* delta = view((*targets)[t], key, target);
                        floats(delta, 3, target + "'s " + key);
                        if (delta && delta->count < vertices)
                            refuse(target + "'s " + key + " has " + std::to_string(delta->count) + " elements for " +
                                   std::to_string(vertices) + " vertices");
                    }
                }
        }
    }
    const json& skins = doc_.Array("skins");
    for (size_t k = 0; k < skins.size(); ++k) {
        const std::string where = Numbered("skin", k);
        const json* joints = Member(skins[k], "joints");
        const uint64_t jointCount = joints && joints->is_array() ? joints->size() : 0;
        // Assimp's checks compare every bone of a mesh with every other: 100,000 joints take minutes.
        if (jointCount > kMaxAssimpJoints)
            throw GltfError(where + " has " + std::to_string(jointCount) + " joints, more than the " +
                            std::to_string(kMaxAssimpJoints) + " Assimp is given (the file goes to Assimp for " + reason +
                            "; the glTF reader takes more)");
        const GltfAccessor* inverseBind = view(skins[k], "inverseBindMatrices", where);
        floats(inverseBind, 16, where + "'s inverseBindMatrices");
        if (inverseBind && inverseBind->count < jointCount)
            refuse(where + " has " + std::to_string(inverseBind->count) + " inverse bind matrices for " +
                   std::to_string(jointCount) + " joints");
    }
    const json& animations = doc_.Array("animations");
    for (size_t a = 0; a < animations.size(); ++a) {
        const json* samplers = Member(animations[a], "samplers");
        const json* channels = Member(animations[a], "channels");
        if (!samplers || !samplers->is_array() || !channels || !channels->is_array()) continue;
        for (size_t c = 0; c < channels->size(); ++c) {
            const json* target = Member((*channels)[c], "target");
            const json* samplerValue = Member((*channels)[c], "sampler");
            if (!target || !samplerValue) continue;
            const std::string where = Numbered("animation", a) + " channel " + std::to_string(c);
            const uint64_t samplerIndex = UnsignedOf(*samplerValue, where + "'s sampler");
            if (samplerIndex >= samplers->size()) refuse(where + " names sampler " + std::to_string(samplerIndex));
            const json& sampler = (*samplers)[static_cast<size_t>(samplerIndex)];
            const GltfAccessor* input = view(sampler, "input", where + "'s sampler");
            const GltfAccessor* output = view(sampler, "output", where + "'s sampler");
            if (!input || !output) continue;
            floats(input, 1, where + "'s input");
            const std::string path = StringOf(*target, "path");
            const int components = path == "rotation" ? 4 : path == "weights" ? 1 : 3;
            floats(output, components, where + "'s output");
            const uint64_t needed = uint64_t(input->count) * (StringOf(sampler, "interpolation") == "CUBICSPLINE" ? 3 : 1);
            if (output->count < needed)
                refuse(where + " has " + std::to_string(output->count) + " output values for " +
                       std::to_string(input->count) + " key times (" + std::to_string(needed) + " needed)");
        }
    }
    CheckSkinsForAssimp(reason);
}

// Assimp 5.2 crashes on a skinned mesh whose skin has no inverse bind matrices (they are optional,
// and this reader takes identity matrices), and reads further sets of influences for as many
// points as the first set has, beyond a shorter set's data; such a file that needs Assimp is
// refused instead.
void GltfImporter::CheckSkinsForAssimp(const std::string& reason) {
    const json& accessors = doc_.Array("accessors");
    const auto count = [&](const json* attribute) -> uint64_t {
        if (!attribute || !attribute->is_number_unsigned() || attribute->get<uint64_t>() >= accessors.size()) return 0;
        const json* value = Member(accessors[attribute->get<size_t>()], "count");
        return value && value->is_number_unsigned() ? value->get<uint64_t>() : 0;
    };
    const json& meshes = doc_.Array("meshes");
    for (size_t m = 0; m < meshes.size(); ++m) {
        const json* primitives = Member(meshes[m], "primitives");
        if (!primitives || !primitives->is_array()) continue;
        for (size_t p = 0; p < primitives->size(); ++p) {
            const json* attributes = Member((*primitives)[p], "attributes");
            if (!attributes || !Member(*attributes, "JOINTS_0")) continue;
            const uint64_t points = count(Member(*attributes, "WEIGHTS_0"));
            for (size_t k = 1;; ++k) {
                const std::string joints = "JOINTS_" + std::to_string(k), weights = "WEIGHTS_" + std::to_string(k);
                const json* jointsValue = Member(*attributes, joints.c_str());
                const json* weightsValue = Member(*attributes, weights.c_str());
                if (!jointsValue && !weightsValue) break;
                if (count(jointsValue) < points || count(weightsValue) < points)
                    throw GltfError(Numbered("mesh", m) + " primitive " + std::to_string(p) + "'s " + joints + " or " + weights +
                                    " has fewer elements than WEIGHTS_0, which Assimp would read beyond for a file with " +
                                    reason + " (the glTF reader leaves that to Assimp)");
            }
        }
    }
    const json& skins = doc_.Array("skins");
    for (const json& node : doc_.Array("nodes")) {
        const json* skin = Member(node, "skin");
        if (!skin || !Member(node, "mesh") || !skin->is_number_unsigned() || skin->get<uint64_t>() >= skins.size())
            continue;
        const size_t index = skin->get<size_t>();
        if (!Member(skins[index], "inverseBindMatrices"))
            throw GltfError(Numbered("skin", index) + " has no inverseBindMatrices, which Assimp needs to read a file with " +
                            reason + " (the glTF reader leaves that to Assimp)");
    }
}

// The scene's node tree: every node in it has one parent (none for the scene's nodes); a node
// reached twice, through a cycle or from two parents, is refused. The walk keeps its own stack.
void GltfImporter::WalkNodes() {
    const json& nodes = doc_.Array("nodes");
    const json* sceneValue = Member(doc_.root(), "scene");
    const uint64_t sceneIndex = sceneValue ? UnsignedOf(*sceneValue, "the file's scene") : 0;
    const json& scene = doc_.Element("scenes", sceneIndex, "the file");
    children_.assign(nodes.size(), {});
    std::vector<int64_t> parent(nodes.size(), -2);  // -2 not reached, -1 a scene node
    std::vector<int> depth(nodes.size(), 1);
    size_t reached = 0;
    const auto reach = [&](uint64_t index, int64_t from) {
        const std::string referrer = from < 0 ? Numbered("scene", sceneIndex) : Numbered("node", size_t(from));
        doc_.Element("nodes", index, referrer);
        if (parent[index] != -2)
            throw GltfError(Numbered("node", index) + " is reached twice in the node tree (from " +
                            (parent[index] < 0 ? Numbered("scene", sceneIndex) : Numbered("node", size_t(parent[index]))) +
                            " and from " + referrer + "); a node has one parent and no node is its own ancestor");
        parent[index] = from;
        // The host takes no deeper nesting and no more nodes than a scene document may hold.
        depth[index] = from < 0 ? 1 : depth[size_t(from)] + 1;
        if (depth[index] > kMaxImportNodeDepth)
            throw GltfError(Numbered("node", index) + " is nested deeper than " + std::to_string(kMaxImportNodeDepth) +
                            " levels");
        if (++reached > kMaxImportNodes)
            throw GltfError("the scene has more than " + std::to_string(kMaxImportNodes) + " nodes");
    };
    if (const json* list = Member(scene, "nodes"); list && list->is_array())
        for (const json& value : *list) {
            const uint64_t index = UnsignedOf(value, Numbered("scene", sceneIndex) + "'s node");
            reach(index, -1);
            roots_.push_back(static_cast<size_t>(index));
        }
    // Depth first, children in order; a node is listed once all its children are.
    std::vector<std::pair<size_t, size_t>> stack;  // node, next child
    for (size_t root : roots_) {
        stack.push_back({root, 0});
        if (const json* list = Member(nodes[root], "children"); list && list->is_array())
            for (const json& value : *list) {
                const uint64_t child = UnsignedOf(value, Numbered("node", root) + "'s child");
                reach(child, int64_t(root));
                children_[root].push_back(static_cast<size_t>(child));
            }
        while (!stack.empty()) {
            auto& [node, next] = stack.back();
            if (next == children_[node].size()) {
                postOrder_.push_back(node);
                stack.pop_back();
                continue;
            }
            const size_t child = children_[node][next++];
            if (const json* list = Member(nodes[child], "children"); list && list->is_array())
                for (const json& value : *list) {
                    const uint64_t grandchild = UnsignedOf(value, Numbered("node", child) + "'s child");
                    reach(grandchild, int64_t(child));
                    children_[child].push_back(static_cast<size_t>(grandchild));
                }
            stack.push_back({child, 0});
        }
    }
}

// Assimp numbers materials and embedded images in the order it first meets them: meshes as
// their nodes are read (children before their parent), a mesh's materials by primitive, a
// material's textures in its fixed order. The numbers name unnamed materials and images.
void GltfImporter::EmulateRetrievalOrder() {
    const json& nodes = doc_.Array("nodes");
    const json& materials = doc_.Array("materials");
    materialOrder_.assign(materials.size(), kNoMaterial);
    embeddedIndex_.assign(doc_.Array("images").size(), -2);
    int64_t embedded = 0;
    std::set<uint64_t> meshesSeen;
    const auto texture = [&](const json* info, const std::string& where) {
        const json* index = info ? Member(*info, "index") : nullptr;
        if (!index) return;
        const json& tex = doc_.Element("textures", UnsignedOf(*index, where + "'s texture"), where);
        const json* source = Member(tex, "source");
        if (!source) return;
        const uint64_t image = UnsignedOf(*source, "a texture's source");
        const json& img = doc_.Element("images", image, "a texture");
        if (embeddedIndex_[image] != -2) return;
        const bool hasData = Member(img, "bufferView") || StringOf(img, "uri").compare(0, 5, "data:") == 0;
        embeddedIndex_[image] = hasData ? embedded++ : -1;
    };
    for (size_t nodeIndex : postOrder_) {
        const json* mesh = Member(nodes[nodeIndex], "mesh");
        if (!mesh) continue;
        const uint64_t m = UnsignedOf(*mesh, Numbered("node", nodeIndex) + "'s mesh");
        const json& meshObject = doc_.Element("meshes", m, Numbered("node", nodeIndex));
        if (!meshesSeen.insert(m).second) continue;
        const json* primitives = Member(meshObject, "primitives");
        if (!primitives || !primitives->is_array()) continue;
        for (const json& primitive : *primitives) {
            const json* material = Member(primitive, "material");
            if (!material) continue;
            const uint64_t index = UnsignedOf(*material, Numbered("mesh", m) + "'s material");
            const json& mat = doc_.Element("materials", index, Numbered("mesh", m));
            if (materialOrder_[index] != kNoMaterial) continue;
            materialOrder_[index] = static_cast<unsigned>(materialsByOrder_.size());
            materialsByOrder_.push_back(static_cast<size_t>(index));
            const std::string where = Numbered("material", index);
            if (const json* pbr = Member(mat, "pbrMetallicRoughness")) {
                texture(Member(*pbr, "baseColorTexture"), where);
                texture(Member(*pbr, "metallicRoughnessTexture"), where);
            }
            for (const char* key : {"normalTexture", "occlusionTexture", "emissiveTexture"}) texture(Member(mat, key), where);
            const json* extensions = Member(mat, "extensions");
            if (const json* coat = extensions ? Member(*extensions, "KHR_materials_clearcoat") : nullptr)
                for (const char* key : {"clearcoatTexture", "clearcoatRoughnessTexture", "clearcoatNormalTexture"})
                    texture(Member(*coat, key), where);
        }
    }
    materials_.assign(materialsByOrder_.size(), nullptr);
}

GltfMatrix GltfImporter::NodeMatrix(const json& node, size_t index) const {
    // As Assimp composes it: the matrix when given, otherwise translation * rotation * scale.
    const std::string where = Numbered("node", index);
    float m[16];
    if (FloatsOf(node, "matrix", m, 16, where)) return GltfMatrix::FromColumns(m);
    GltfMatrix matrix;
    float v[4];
    if (FloatsOf(node, "translation", v, 3, where)) matrix = matrix * GltfMatrix::Translation({v[0], v[1], v[2]});
    if (FloatsOf(node, "rotation", v, 4, where)) matrix = matrix * GltfMatrix::Rotation({v[3], v[0], v[1], v[2]});
    if (FloatsOf(node, "scale", v, 3, where)) matrix = matrix * GltfMatrix::Scaling({v[0], v[1], v[2]});
    return matrix;
}

void GltfImporter::AddNode(size_t rootIndex, HostNode& rootParent) {
    // Depth first with its own stack: a node, then its children in order.
    std::vector<std::pair<size_t, HostNode*>> stack{{rootIndex, &rootParent}};
    while (!stack.empty()) {
        const auto [index, parent] = stack.back();
        stack.pop_back();
        const json& node = doc_.Array("nodes")[index];
        const std::string& name = names_[index];
        HostNode& hostNode = parent->AddChild(name);
        nodes_.emplace(name, &hostNode);
        hostNodes_[index] = &hostNode;

        const Matrix3 local = axes_.Transform(HostMatrix(NodeMatrix(node, index)));
        if (!Finite(local)) throw GltfError("node " + name + " has a transform that is not finite");
        hostNode.Transform(local);
        const auto parentWorld = worlds_.find(parent);
        worlds_[&hostNode] = parentWorld != worlds_.end() ? local * parentWorld->second : local;

        AddGeometry(index, node, hostNode);
        if (!hostNode.object())
            SetEmptyNodeObject(*scene_, hostNode, boneNames_.count(name) > 0, cameraNames_.count(name) > 0,
                               lightNames_.count(name) > 0);
        for (auto child = children_[index].rbegin(); child != children_[index].rend(); ++child)
            stack.push_back({*child, &hostNode});
    }
}

PrimitiveViews GltfImporter::Views(const json& primitive, const std::string& where) {
    PrimitiveViews views;
    const json* attributes = Member(primitive, "attributes");
    const json* position = attributes ? Member(*attributes, "POSITION") : nullptr;
    if (!position) throw GltfError(where + " has no POSITION attribute");
    const auto accessor = [&](const json& value, const char* attribute) {
        return doc_.Accessor(UnsignedOf(value, where + "'s " + attribute), where + "'s " + attribute);
    };
    views.position = accessor(*position, "POSITION");
    views.vertices = views.position.count;
    if (views.position.components != 3) throw GltfError(where + "'s POSITION is not a VEC3 accessor");
    // Attributes whose count differs from the positions' are left out, as Assimp leaves them.
    if (const json* normal = Member(*attributes, "NORMAL")) {
        views.normal = accessor(*normal, "NORMAL");
        views.hasNormal = views.normal.count == views.vertices && views.normal.components == 3;
    }
    for (int k = 0; k < kMaxUvSets; ++k) {
        const std::string key = "TEXCOORD_" + std::to_string(k);
        if (const json* uv = Member(*attributes, key.c_str())) {
            views.uv[k] = accessor(*uv, key.c_str());
            if (views.uv[k].count == views.vertices && views.uv[k].components <= 3) views.uvSets |= 1 << k;
        }
    }
    if (const json* colour = Member(*attributes, "COLOR_0")) {
        views.colour = accessor(*colour, "COLOR_0");
        const int type = views.colour.componentType;
        views.hasColour = views.colour.count == views.vertices && (views.colour.components == 3 || views.colour.components == 4) &&
                          (type == 5126 || type == 5121 || type == 5123);
        // Assimp scales integer colours to 0..1 whether or not the file marks them normalized.
        views.colour.normalized = true;
    }
    // Every set of influences counts (more than four per point come in further sets), as long as
    // the sets run on without a gap.
    for (size_t k = 0;; ++k) {
        const std::string jointsKey = "JOINTS_" + std::to_string(k), weightsKey = "WEIGHTS_" + std::to_string(k);
        const json* joints = Member(*attributes, jointsKey.c_str());
        const json* weights = Member(*attributes, weightsKey.c_str());
        if (!joints || !weights) break;
        const GltfAccessor jointView = accessor(*joints, jointsKey.c_str());
        const GltfAccessor weightView = accessor(*weights, weightsKey.c_str());
        if (jointView.count != weightView.count || jointView.components != 4 || weightView.components != 4) {
            if (k == 0) break;
            continue;
        }
        views.joints.push_back(jointView);
        views.weights.push_back(weightView);
    }
    views.hasSkin = !views.joints.empty();
    if (const json* indices = Member(primitive, "indices")) {
        views.indices = accessor(*indices, "indices");
        views.hasIndices = true;
        if (views.indices.components != 1 || views.indices.IsFloat())
            throw GltfError(where + "'s indices are not whole numbers");
        views.faces = views.indices.count / 3;
    } else {
        views.faces = views.vertices / 3;
    }
    if (const json* material = Member(primitive, "material")) {
        const uint64_t index = UnsignedOf(*material, where + "'s material");
        doc_.Element("materials", index, where);
        views.material = materialOrder_[static_cast<size_t>(index)];
    }
    return views;
}

void GltfImporter::AddGeometry(size_t index, const json& node, HostNode& hostNode) {
    const json* meshValue = Member(node, "mesh");
    if (!meshValue) return;
    const uint64_t meshIndex = UnsignedOf(*meshValue, Numbered("node", index) + "'s mesh");
    const json& mesh = doc_.Element("meshes", meshIndex, Numbered("node", index));
    const json* primitives = Member(mesh, "primitives");
    if (!primitives || !primitives->is_array() || primitives->empty()) return;
    std::string meshName = StringOf(mesh, "name");
    if (meshName.empty()) meshName = "meshes[" + std::to_string(meshIndex) + "]";

    std::vector<PrimitiveViews> parts;
    for (size_t p = 0; p < primitives->size(); ++p) {
        PrimitiveViews views = Views((*primitives)[p], Numbered("mesh", meshIndex) + " primitive " + std::to_string(p));
        views.meshName = primitives->size() > 1 ? meshName + "-" + std::to_string(p) : meshName;
        if (views.faces > 0) parts.push_back(std::move(views));
    }
    if (parts.empty()) return;

    // Materials: the distinct ones in order of first use; a face's id is its material's place.
    std::vector<unsigned> materialIndices;
    std::vector<MtlID> partMaterial;
    MergedMeshShape shape;
    std::vector<uint32_t> bases;
    bool skinned = false;
    const json* skin = Member(node, "skin");
    for (const PrimitiveViews& part : parts) {
        auto it = std::find(materialIndices.begin(), materialIndices.end(), part.material);
        if (it == materialIndices.end()) it = materialIndices.insert(materialIndices.end(), part.material);
        partMaterial.push_back(static_cast<MtlID>(it - materialIndices.begin()));
        bases.push_back(static_cast<uint32_t>(std::min<uint64_t>(shape.vertices, UINT32_MAX)));
        shape.vertices += part.vertices;
        shape.faces += part.faces;
        shape.normalCount += part.hasNormal ? part.vertices : part.faces;
        shape.normals |= part.hasNormal;
        shape.partWithoutNormals |= !part.hasNormal;
        shape.colours |= part.hasColour;
        for (int k = 0; k < kMaxUvSets; ++k)
            if (part.uvSets & (1 << k)) shape.uvSets = std::max(shape.uvSets, k + 1);
    }
    if (skin) {
        const json& skinObject = doc_.Element("skins", UnsignedOf(*skin, Numbered("node", index) + "'s skin"), Numbered("node", index));
        const json* joints = Member(skinObject, "joints");
        skinned = joints && joints->is_array() && !joints->empty();
    }
    Spend(shape.vertices + shape.faces, "node " + hostNode.name() + " makes more geometry");
    ::Mesh out;
    std::string problem;
    if (!PrepareMergedMesh(out, shape, hostNode.name(), problem)) throw GltfError(problem);
    MeshNormalSpec* normals = out.GetSpecifiedNormals();

    uint32_t face = 0;
    for (size_t m = 0; m < parts.size(); ++m) {
        const PrimitiveViews& part = parts[m];
        const uint32_t base = bases[m];
        // Colours without alpha, or whose alpha is zero everywhere, are taken as opaque.
        bool hasAlpha = false;
        if (part.hasColour && part.colour.components == 4)
            for (uint32_t v = 0; v < part.vertices && !hasAlpha; ++v) {
                float c[4];
                part.colour.Read(v, c, 4);
                hasAlpha = c[3] != 0;
            }
        float value[4] = {0, 0, 0, 0};
        for (uint32_t v = 0; v < part.vertices; ++v) {
            part.position.Read(v, value, 3);
            out.verts[base + v] = axes_.Point(Point3(value[0], value[1], value[2]));
        }
        for (int k = 0; k < shape.uvSets; ++k) {
            if (!(part.uvSets & (1 << k))) continue;
            std::vector<Point3>& tv = out.Map(k + 1).tv;
            const GltfAccessor& uv = part.uv[k];
            for (uint32_t v = 0; v < part.vertices; ++v) {
                value[1] = value[2] = 0;
                uv.Read(v, value, 3);
                // Texture space runs down from the image's top in the file, up from its bottom in the host.
                tv[base + v] = Point3(value[0], 1 - value[1], uv.components > 2 ? value[2] : 0.0f);
            }
        }
        if (part.hasColour) {
            std::vector<Point3>& colours = out.Map(kVertexColorChannel).tv;
            std::vector<Point3>& alphas = out.Map(kVertexAlphaChannel).tv;
            for (uint32_t v = 0; v < part.vertices; ++v) {
                value[3] = 0;
                part.colour.Read(v, value, 4);
                colours[base + v] = Point3(value[0], value[1], value[2]);
                const float alpha = hasAlpha ? value[3] : 1.0f;
                alphas[base + v] = Point3(alpha, alpha, alpha);
            }
        }
        const uint32_t normalBase = normals ? static_cast<uint32_t>(normals->normals.size()) : 0;
        if (normals && part.hasNormal)
            for (uint32_t v = 0; v < part.vertices; ++v) {
                part.normal.Read(v, value, 3);
                normals->normals.push_back(axes_.Vector(Point3(value[0], value[1], value[2])));
            }

        for (uint32_t f = 0; f < part.faces; ++f) {
            TVFace corners;
            for (int c = 0; c < 3; ++c) {
                const uint32_t i = part.hasIndices ? part.indices.Index(3 * f + c) : 3 * f + c;
                if (i >= part.vertices)
                    throw GltfError("mesh " + std::to_string(meshIndex) + " primitive " + std::to_string(m) +
                                    " has index " + std::to_string(i) + " at place " + std::to_string(3 * f + c) +
                                    ", but only " + std::to_string(part.vertices) + " vertices");
                corners.t[c] = base + i;
            }
            Face& target = out.faces[face];
            std::copy(corners.t, corners.t + 3, target.v);
            target.setMatID(partMaterial[m]);
            target.smGroup = 0;
            if (normals && !normals->sharesMeshFaces) {
                TVFace& n = normals->faces[face];
                if (part.hasNormal) {
                    for (int c = 0; c < 3; ++c) n.t[c] = normalBase + (corners.t[c] - base);
                } else {
                    const uint32_t at = static_cast<uint32_t>(normals->normals.size());
                    normals->normals.push_back(FlatNormal(out, target));
                    n.t[0] = n.t[1] = n.t[2] = at;
                }
            }
            ++face;
        }
    }
    if (!FinishMergedMesh(*scene_, hostNode, std::move(out), problem)) throw GltfError(problem);
    if (Mtl* material = library_->ForNode(materialIndices, hostNode.name(), [this](unsigned i) { return Material(i); }))
        hostNode.SetMtl(material);
    if (skinned) skinned_.push_back({&hostNode, index, std::move(parts)});
}

// ---------------------------------------------------------------------------------------------
// Materials

// n finite numbers of an array member; false when it is missing or anything else.
bool FiniteFloats(const json& object, const char* key, float* out, size_t n) {
    const json* array = Member(object, key);
    if (!array || !array->is_array() || array->size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (!(*array)[i].is_number()) return false;
        out[i] = (*array)[i].get<float>();
        if (!std::isfinite(out[i])) return false;
    }
    return true;
}

// A material written from an X file (by plover convert) keeps the X material's values in
// extras.xMaterial: the specular colour, which has no place in metallic-roughness, and the
// power and emissive colour, which have only a rounded or clamped one. They come back from
// there, so that X -> glTF -> X keeps them. The power and the emissive colour are taken only
// while the material's own roughness and emissive factor are still those the writer made of
// them; a material edited since keeps what it was edited to. Malformed extras are ignored: they
// are free-form data.
void TakeXMaterialValues(const json& material, float roughness, const float emission[3], ImportedColours& colours) {
    const json* extras = Member(material, "extras");
    const json* x = extras ? Member(*extras, "xMaterial") : nullptr;
    if (!x) return;
    float specular[3], emissive[3];
    const bool hasSpecular = FiniteFloats(*x, "specular", specular, 3);
    if (hasSpecular) {
        colours.hasSpecular = true;
        colours.specular = Color(specular[0], specular[1], specular[2]);
        colours.specularStrength = 1;  // the X file's colour as it is
    }
    if (const json* value = Member(*x, "power"); value && value->is_number()) {
        const float power = value->get<float>();
        // The writer's roughness: 1 - sqrt(min(power, 1000) / 1000), 1 without a highlight.
        const bool dark = hasSpecular && !(specular[0] > 0 || specular[1] > 0 || specular[2] > 0);
        if (std::isfinite(power) && power >= 0) {
            const float written = dark ? 1.0f : 1.0f - std::sqrt(std::min(power, 1000.0f) / 1000.0f);
            if (std::fabs(written - roughness) <= 1e-5f) colours.shininess = power;
        }
    }
    if (FiniteFloats(*x, "emissive", emissive, 3)) {
        bool same = true;
        for (int i = 0; i < 3; ++i) same = same && std::fabs(std::clamp(emissive[i], 0.0f, 1.0f) - emission[i]) <= 1e-6f;
        if (same) colours.emission = Color(emissive[0], emissive[1], emissive[2]);
    }
}

Mtl* GltfImporter::Material(unsigned retrieved) {
    // Primitives without a material get none, as in the file.
    if (retrieved >= materials_.size()) return nullptr;
    if (materials_[retrieved]) return materials_[retrieved];
    const size_t fileIndex = materialsByOrder_[retrieved];
    const json& source = doc_.Array("materials")[fileIndex];
    const std::string where = Numbered("material", fileIndex);

    auto material = std::make_unique<HostStdMaterial>();
    material->name = library_->MaterialName(StringOf(source, "name"), "Material" + std::to_string(retrieved + 1));
    ImportedColours colours;
    float base[4] = {1, 1, 1, 1};
    float roughness = 1;
    const json* pbr = Member(source, "pbrMetallicRoughness");
    if (pbr) {
        FloatsOf(*pbr, "baseColorFactor", base, 4, where);
        if (const json* value = Member(*pbr, "roughnessFactor")) roughness = FloatOf(*value, where + "'s roughnessFactor");
    }
    colours.hasDiffuse = true;
    colours.diffuse = Color(base[0], base[1], base[2]);
    colours.diffuseAlpha = base[3];
    // Assimp's specular exponent for a rough surface: 1000 (1 - roughness)^2.
    float shininess = 1 - roughness;
    shininess *= shininess * 1000;
    colours.hasShininess = true;
    colours.shininess = shininess;
    float emission[3] = {0, 0, 0};
    FloatsOf(source, "emissiveFactor", emission, 3, where);
    colours.emission = Color(emission[0], emission[1], emission[2]);
    TakeXMaterialValues(source, roughness, emission, colours);
    SetMaterialColours(*material, colours);

    if (pbr) AddMap(*material, Member(*pbr, "baseColorTexture"), kMapDiffuse, false, where);
    // The metallic-roughness texture holds roughness, the opposite of glossiness; it is kept in
    // the glossiness slot so that its file travels along.
    if (pbr) AddMap(*material, Member(*pbr, "metallicRoughnessTexture"), kMapGlossiness, false, where);
    AddMap(*material, Member(source, "emissiveTexture"), kMapSelfIllum, false, where);
    AddMap(*material, Member(source, "normalTexture"), kMapBump, true, where);

    Mtl* made = &scene_->materials().AddMaterial(std::move(material));
    materials_[retrieved] = made;
    return made;
}

void GltfImporter::AddMap(HostStdMaterial& material, const json* info, int slot, bool normalMap, const std::string& where) {
    const json* index = info ? Member(*info, "index") : nullptr;
    if (!index) return;
    const json& texture = doc_.Element("textures", UnsignedOf(*index, where + "'s texture"), where);
    const json* source = Member(texture, "source");
    if (!source) return;
    const std::string file = TextureFile(UnsignedOf(*source, "a texture's source"), where);
    if (file.empty()) return;

    int tiling = kUTile | kVTile;
    if (const json* samplerValue = Member(texture, "sampler")) {
        const json& sampler = doc_.Element("samplers", UnsignedOf(*samplerValue, "a texture's sampler"), "a texture");
        tiling = 0;
        for (int axis = 0; axis < 2; ++axis) {
            const json* wrap = Member(sampler, axis == 0 ? "wrapS" : "wrapT");
            const int64_t mode = wrap && wrap->is_number_integer() ? wrap->get<int64_t>() : 10497;
            if (mode == 33648) tiling |= axis == 0 ? kUMirror : kVMirror;
            else if (mode != 33071) tiling |= axis == 0 ? kUTile : kVTile;
        }
    }
    Matrix3 uvTransform;
    const json* extensions = Member(*info, "extensions");
    if (const json* transform = textureTransforms_ && extensions ? Member(*extensions, "KHR_texture_transform") : nullptr) {
        // As Assimp maps it: rotation about the image's centre instead of its top-left corner,
        // made up for by the translation.
        float offset[2] = {0, 0}, scale[2] = {1, 1}, rotation = 0;
        FloatsOf(*transform, "offset", offset, 2, where);
        FloatsOf(*transform, "scale", scale, 2, where);
        if (const json* value = Member(*transform, "rotation")) rotation = FloatOf(*value, where + "'s rotation");
        const float angle = -rotation;
        const float rcos = float(std::cos(-double(angle))), rsin = float(std::sin(-double(angle)));
        const float tx = (0.5f * scale[0]) * (-rcos + rsin + 1) + offset[0];
        const float ty = ((0.5f * scale[1]) * (rsin + rcos - 1)) + 1 - scale[1] - offset[1];
        const Matrix3 m = MakeHostUvTransform(Point2(tx, ty), Point2(scale[0], scale[1]), angle * 180.0f / 3.14159265358979f);
        if (Finite(m)) uvTransform = m;
    }
    const json* texCoord = Member(*info, "texCoord");
    const uint64_t uvIndex = texCoord ? UnsignedOf(*texCoord, where + "'s texCoord") : 0;
    const int channel = static_cast<int>(std::min<uint64_t>(uvIndex, kMaxUvSets - 1)) + 1;
    library_->AddMap(material, slot, file, channel, tiling, uvTransform, normalMap);
}

// The file an image is: a file beside the model, or, for an image stored in the file, the image
// file it is written to.
std::string GltfImporter::TextureFile(uint64_t index, const std::string& where) {
    const json& image = doc_.Element("images", index, where);
    const std::string uri = StringOf(image, "uri");
    const bool dataUri = uri.compare(0, 5, "data:") == 0;
    if (!uri.empty() && !dataUri) return ModelTextureFile(path_, uri, options_);
    auto written = writtenImages_.find(index);
    if (written != writtenImages_.end()) return written->second;

    std::string mediaType;
    std::vector<uint8_t> decoded;
    std::string_view bytes;
    const std::string imageWhere = Numbered("image", index);
    if (dataUri) {
        if (!ParseDataUri(uri, mediaType, decoded)) throw GltfError(imageWhere + " has a data URI that is not base64");
        bytes = std::string_view(reinterpret_cast<const char*>(decoded.data()), decoded.size());
    } else if (const json* view = Member(image, "bufferView")) {
        mediaType = StringOf(image, "mimeType");
        if (mediaType.empty()) throw GltfError(imageWhere + " is stored in the file without a mimeType");
        bytes = doc_.BufferView(UnsignedOf(*view, imageWhere + "'s bufferView"), imageWhere);
    } else {
        throw GltfError(imageWhere + " has neither a uri nor a bufferView");
    }
    std::string problem;
    const size_t place = embeddedIndex_[index] >= 0 ? static_cast<size_t>(embeddedIndex_[index]) : 0;
    const std::string result = images_.Write(bytes, StringOf(image, "name"), place, problem);
    if (result.empty()) throw GltfError(problem);
    writtenImages_.emplace(index, result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Skins

void GltfImporter::AddSkin(HostNode& hostNode, size_t nodeIndex, const std::vector<PrimitiveViews>& parts) {
    const json& node = doc_.Array("nodes")[nodeIndex];
    const std::string where = Numbered("node", nodeIndex) + "'s skin";
    const uint64_t skinIndex = UnsignedOf(*Member(node, "skin"), where);
    const json& skinObject = doc_.Element("skins", skinIndex, Numbered("node", nodeIndex));
    const json& joints = *Member(skinObject, "joints");
    const size_t jointCount = joints.size();
    GltfAccessor inverseBind;
    const json* inverseBindValue = Member(skinObject, "inverseBindMatrices");
    if (inverseBindValue) {
        inverseBind = doc_.Accessor(UnsignedOf(*inverseBindValue, where), Numbered("skin", skinIndex));
        if (inverseBind.components != 16 || inverseBind.count < jointCount)
            throw GltfError(Numbered("skin", skinIndex) + " has " + std::to_string(inverseBind.count) +
                            " inverse bind matrices for " + std::to_string(jointCount) + " joints");
    }

    HostSkinDeformer& skin = AddSkinDeformer(*scene_, hostNode);
    const Matrix3 meshPose = worlds_[&hostNode];
    skin.initTM = meshPose;
    // Each joint is its own node, even where nodes share a name (a joint outside the scene is the
    // scene's node of that name, as Assimp binds bones by name); a node listed twice is one bone.
    // Bones in order of first use.
    std::map<const HostNode*, int32_t> boneIndex;
    std::vector<int32_t> jointBone(jointCount);
    for (size_t j = 0; j < jointCount; ++j) {
        const size_t jointIndex = static_cast<size_t>(UnsignedOf(joints[j], where));
        const std::string& name = names_[jointIndex];
        HostNode* jointNode = hostNodes_[jointIndex];
        if (!jointNode) {
            auto named = nodes_.find(name);
            if (named == nodes_.end())
                throw GltfError("bone " + name + " of mesh " + parts[0].meshName + " is not a node of the scene");
            jointNode = named->second;
        }
        auto found = boneIndex.find(jointNode);
        if (found == boneIndex.end()) {
            float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            if (inverseBindValue) inverseBind.Read(static_cast<uint32_t>(j), m, 16);
            const GltfMatrix offset = GltfMatrix::FromColumns(m);
            HostDeformerBone entry;
            if (!SkinBoneFromOffset(entry, *jointNode, axes_.Transform(HostMatrix(offset)), meshPose))
                throw GltfError("bone " + name + " has an offset matrix that is not finite");
            found = boneIndex.emplace(jointNode, static_cast<int32_t>(skin.bones.size())).first;
            skin.bones.push_back(entry);
        }
        jointBone[j] = found->second;
    }

    // Each point's weights ordered by joint (as Assimp lists them bone by bone); a joint that
    // weighs no point of a primitive still gets a zero weight on its first point.
    std::vector<HostSkinAssignment> first;
    for (const PrimitiveViews& part : parts) {
        std::vector<bool> used(jointCount, false);
        const bool weighted = part.hasSkin;
        const size_t sets = part.joints.size();
        Spend(uint64_t(part.vertices) * sets, "mesh " + part.meshName + " makes more skin weights");
        // Calls take(joint, weight) for each influence of point v with a positive weight.
        const auto influences = [&](uint32_t v, auto&& take) {
            if (!weighted) return;
            for (size_t set = 0; set < sets; ++set) {
                if (v >= part.weights[set].count) continue;
                float w[4];
                part.weights[set].Read(v, w, 4);
                for (int j = 0; j < 4; ++j) {
                    const uint32_t joint = part.joints[set].Index(v, j);
                    if (w[j] > 0 && joint < jointCount) take(joint, w[j]);
                }
            }
        };
        const auto gather = [&](uint32_t v, std::pair<uint32_t, float>* out) {
            int n = 0;
            influences(v, [&](uint32_t joint, float weight) {
                if (std::isfinite(weight)) out[n++] = {joint, weight};
            });
            // By joint, influences of one joint in the order read (at most a few: sorted in place).
            for (int i = 1; i < n; ++i)
                for (int k = i; k > 0 && out[k].first < out[k - 1].first; --k) std::swap(out[k], out[k - 1]);
            return n;
        };
        // The first point lists every joint that no point uses, with weight zero.
        size_t influenceCount = 0;
        for (uint32_t v = 0; v < part.vertices; ++v)
            influences(v, [&](uint32_t joint, float) {
                used[joint] = true;
                ++influenceCount;
            });
        // The part's points and influences get their room at once (at most this many) instead of
        // the lists growing, and being copied, point by point.
        const auto makeRoom = [](auto& list, size_t more) {
            if (list.size() + more > list.capacity()) list.reserve(std::max(list.size() + more, 2 * list.capacity()));
        };
        makeRoom(skin.assignments, influenceCount + jointCount);
        makeRoom(skin.pointFirst, part.vertices);
        std::vector<std::pair<uint32_t, float>> entries(4 * sets);
        std::vector<HostSkinAssignment> point(4 * sets);
        for (uint32_t v = 0; v < part.vertices; ++v) {
            const int n = gather(v, entries.data());
            if (v == 0) {
                first.clear();
                int e = 0;
                for (uint32_t j = 0; j < jointCount; ++j) {
                    while (e < n && entries[e].first == j) first.push_back({jointBone[j], entries[e++].second});
                    if (!used[j]) first.push_back({jointBone[j], 0.0f});
                }
                skin.AddPoint(first.data(), first.size());
                continue;
            }
            for (int e = 0; e < n; ++e) point[e] = {jointBone[entries[e].first], entries[e].second};
            skin.AddPoint(point.data(), static_cast<size_t>(n));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Animation

// A key of a node's translation (slot 0), rotation (1, x y z w) or scale (2) in host axes; keys
// that are not finite are left out and counted.
void GltfImporter::PushKey(ImportedNodeKeys& keys, int slot, TimeValue tick, const float* v) const {
    if (slot == 0) {
        const Point3 p = axes_.Point(Point3(v[0], v[1], v[2]));
        keys.position.Push(tick, p, Finite(p));
    } else if (slot == 1) {
        const Matrix3 r = axes_.Transform(HostMatrix(GltfMatrix::Rotation(GltfQuaternion{v[3], v[0], v[1], v[2]}.Normalized())));
        keys.rotation.Push(tick, Quat(r), Finite(r));
    } else {
        const Point3 s = axes_.Scale(Point3(v[0], v[1], v[2]));
        keys.scale.Push(tick, s, Finite(s));
    }
}

void GltfImporter::AddAnimations(std::vector<ImportedClip>& clips) {
    const json& list = doc_.Array("animations");
    std::vector<ImportedAnimation> animations(list.size());
    // The parts of a node's own transform, for the channels animations leave alone (decomposed
    // once per node).
    struct RestParts {
        GltfVector scaling, position;
        GltfQuaternion rotation;
    };
    std::unordered_map<uint64_t, RestParts> restParts;
    for (size_t a = 0; a < list.size(); ++a) {
        const json& animation = list[a];
        const std::string where = Numbered("animation", a);
        ImportedAnimation& imported = animations[a];
        imported.name = StringOf(animation, "name");
        const json* samplers = Member(animation, "samplers");
        const json* channels = Member(animation, "channels");
        if (!samplers || !samplers->is_array() || !channels || !channels->is_array()) continue;
        // Per target node, the sampler of each path (a later channel replaces an earlier one).
        struct Targets {
            const json* path[4] = {nullptr, nullptr, nullptr, nullptr};  // translation, rotation, scale, weights
        };
        std::map<uint64_t, Targets> targets;
        std::vector<uint64_t> order;
        for (size_t c = 0; c < channels->size(); ++c) {
            const json& channel = (*channels)[c];
            const json* samplerValue = Member(channel, "sampler");
            const json* target = Member(channel, "target");
            const json* nodeValue = target ? Member(*target, "node") : nullptr;
            if (!samplerValue || !nodeValue) continue;
            const auto channelWhere = [&] { return where + " channel " + std::to_string(c); };
            const uint64_t s = UnsignedNamed(*samplerValue, [&] { return channelWhere() + "'s sampler"; });
            if (s >= samplers->size()) continue;
            const uint64_t node = UnsignedNamed(*nodeValue, [&] { return channelWhere() + "'s node"; });
            doc_.Element("nodes", node, channelWhere);
            const std::string path = StringOf(*target, "path");
            const int slot = path == "translation" ? 0 : path == "rotation" ? 1 : path == "scale" ? 2 : path == "weights" ? 3 : -1;
            if (slot < 0) continue;
            if (!targets.count(node)) order.push_back(node);
            targets[node].path[slot] = &(*samplers)[static_cast<size_t>(s)];
        }
        double duration = 0;  // in milliseconds, Assimp's animation time
        for (uint64_t nodeIndex : order) {
            const Targets& t = targets[nodeIndex];
            const json& node = doc_.Array("nodes")[nodeIndex];
            // The keys go to the channel's own node (not to another of the same name); a node
            // outside the scene takes none.
            HostNode* hostNode = hostNodes_[static_cast<size_t>(nodeIndex)];
            ImportedNodeKeys* keys = nullptr;
            const bool moves = t.path[0] || t.path[1] || t.path[2];
            if (moves && hostNode) keys = &imported.nodes[hostNode];
            for (int slot = 0; slot < 4; ++slot) {
                const json* sampler = t.path[slot];
                if (!sampler) {
                    // A channel the animation leaves alone holds the node's own value in a single
                    // key, as Assimp makes it: the value the file gives, or else the part of the
                    // node's transform that stands for it.
                    if (!moves || slot == 3) continue;
                    float v[4];
                    const char* key = slot == 0 ? "translation" : slot == 1 ? "rotation" : "scale";
                    if (!FloatsOf(node, key, v, slot == 1 ? 4 : 3, Numbered("node", nodeIndex))) {
                        const auto [found, made] = restParts.try_emplace(nodeIndex);
                        RestParts& rest = found->second;
                        if (made) NodeMatrix(node, nodeIndex).Decompose(rest.scaling, rest.rotation, rest.position);
                        const GltfVector& part = slot == 0 ? rest.position : rest.scaling;
                        const GltfQuaternion& rotation = rest.rotation;
                        if (slot == 1) v[0] = rotation.x, v[1] = rotation.y, v[2] = rotation.z, v[3] = rotation.w;
                        else v[0] = part.x, v[1] = part.y, v[2] = part.z;
                    }
                    if (keys && imported.fits) PushKey(*keys, slot, 0, v);
                    continue;
                }
                const auto samplerWhere = [&] { return where + "'s sampler"; };
                const json* inputValue = Member(*sampler, "input");
                const json* outputValue = Member(*sampler, "output");
                if (!inputValue || !outputValue) throw GltfError(samplerWhere() + " lacks its input or output");
                const GltfAccessor input =
                    doc_.Accessor(UnsignedNamed(*inputValue, samplerWhere), [&] { return samplerWhere() + "'s input"; });
                const GltfAccessor output =
                    doc_.Accessor(UnsignedNamed(*outputValue, samplerWhere), [&] { return samplerWhere() + "'s output"; });
                const bool cubic = StringOf(*sampler, "interpolation") == "CUBICSPLINE";
                // Cubic spline keys hold an in-tangent, the value and an out-tangent: the value is kept.
                const uint64_t needed = uint64_t(input.count) * (cubic ? 3 : 1);
                if (input.components != 1) throw GltfError(samplerWhere() + "'s input is not a SCALAR accessor");
                const int dimension = slot == 1 ? 4 : 3;
                if (slot == 3) {
                    if (input.count > 0) {
                        float last;
                        input.Read(input.count - 1, &last, 1);
                        duration = std::max(duration, double(last * 1000.f));
                    }
                    continue;
                }
                if (output.count < needed || output.components != dimension)
                    throw GltfError(samplerWhere() + " has " + std::to_string(output.count) + " output values for " +
                                    std::to_string(input.count) + " key times");
                if (keys) {
                    Spend(input.count, where + " makes more keys");
                    keys->Reserve(slot, input.count);
                }
                for (uint32_t k = 0; k < input.count; ++k) {
                    float time, v[4];
                    input.Read(k, &time, 1);
                    output.Read(cubic ? 3 * k + 1 : k, v, dimension);
                    const double ms = double(time * 1000.f);
                    if (k + 1 == input.count) duration = std::max(duration, ms);
                    if (!keys || !imported.fits) continue;
                    TimeValue tick = 0;
                    imported.fits = KeyTick(ms, 1000.0, tick);
                    if (!imported.fits) break;
                    PushKey(*keys, slot, tick, v);
                }
            }
        }
        // The clip lasts as long as the animation's latest channel, whether or not its node is in
        // the scene, morph weights included.
        imported.last = LastKey(imported);
        TimeValue tick = 0;
        if (imported.fits && std::isfinite(duration) && KeyTick(duration, 1000.0, tick)) imported.last = std::max(imported.last, tick);
    }
    std::string error;
    if (!LayOutAnimations(*scene_, animations, options_.frameRate, &clips, path_, error))
        throw GltfError(error.substr(path_.size() + 2));
}

}  // namespace

bool IsGltfFileName(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".gltf" || extension == ".glb";
}

GltfReadResult ImportGltfFile(const std::string& path, const ImportOptions& options, std::unique_ptr<HostScene>& scene,
                              std::vector<ImportedClip>& clips, std::string& error) {
    try {
        GltfImporter importer(path, options);
        scene = importer.Run(clips);
        scene->SetClips(clips);
        return GltfReadResult::Read;
    } catch (const GltfUnsupported& e) {
        error = path + ": needs " + e.what() + ", which the glTF reader leaves to Assimp";
        return GltfReadResult::Unsupported;
    } catch (const GltfError& e) {
        error = path + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = path + ": not enough memory to read the file";
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
    }
    scene.reset();
    clips.clear();
    return GltfReadResult::Failed;
}
