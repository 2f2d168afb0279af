// Writing a host scene as glTF 2.0. See gltf_writer.h for what is written; docs/usage.md
// ("plover convert") for how host data maps to glTF.
//
// One pass over the node tree numbers the nodes and gathers the mesh nodes; each mesh is then
// laid into the binary buffer (one set of vertex attributes per mesh, one primitive per
// material), followed by skins, animations and images. The JSON is built last, once every
// buffer view is known.
#include "host/writers/gltf_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include <nlohmann/json.hpp>

#include "core/staged_files.h"
#include "host/document/json_document.h"
#include "host/objects/host_controllers.h"
#include "host/objects/host_deformers.h"
#include "host/objects/host_materials.h"
#include "host/objects/host_scene.h"
#include "sdk/mesh.h"
#include "sdk/object.h"

namespace fs = std::filesystem;

namespace {

using Json = nlohmann::ordered_json;
using json_document::Number;

constexpr int kUnsignedByte = 5121, kUnsignedShort = 5123, kUnsignedInt = 5125, kFloat = 5126;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr double kTicksPerSecond = 4800.0;
// An image larger than this is not read (a texture is never this big; a device or a huge file
// named by a hostile model could be).
constexpr uintmax_t kMaxImageBytes = uintmax_t(1) << 30;

class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The host is Z-up, the file Y-up: the rotation an import applies (file -> host) and its inverse.
const Matrix3 kToHost(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, -1, 0), Point3(0, 0, 0));
const Matrix3 kToFile(Point3(1, 0, 0), Point3(0, 0, -1), Point3(0, 1, 0), Point3(0, 0, 0));

Point3 FilePoint(const Point3& p) { return kToFile.PointTransform(p); }
Point3 FileVector(const Point3& v) { return kToFile.VectorTransform(v); }
// A host transform (row vectors) in file axes: points go p * toFile, so T becomes toHost * T * toFile.
Matrix3 FileTransform(const Matrix3& m) { return kToHost * m * kToFile; }

// The 16 numbers of glTF's column-major matrix for a row-vector transform.
void ColumnMajor(const Matrix3& m, float out[16]) {
    for (int r = 0; r < 4; ++r) {
        out[4 * r] = m[r].x;
        out[4 * r + 1] = m[r].y;
        out[4 * r + 2] = m[r].z;
        out[4 * r + 3] = r == 3 ? 1.0f : 0.0f;
    }
}

// Translation, rotation (glTF's x, y, z, w) and scale of a file-axes transform. The rotation is
// made from the axes' orthonormal frame, so a sheared transform loses its shear (sheared is
// set); a mirroring one gets a negative X scale.
struct Trs {
    double t[3] = {0, 0, 0};
    double r[4] = {0, 0, 0, 1};
    double s[3] = {1, 1, 1};
    bool sheared = false;
};

Trs Decompose(const Matrix3& m) {
    Trs out;
    double a[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[i][j] = m[i][j];
    const auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    const auto len = [&](const double* x) { return std::sqrt(dot(x, x)); };
    for (int i = 0; i < 3; ++i) out.t[i] = m[3][i];
    double e[3][3];
    const double sx = len(a[0]);
    for (int j = 0; j < 3; ++j) e[0][j] = sx > 0 ? a[0][j] / sx : (j == 0);
    const double d01 = dot(a[1], e[0]);
    double y[3];
    for (int j = 0; j < 3; ++j) y[j] = a[1][j] - d01 * e[0][j];
    const double sy = len(y);
    for (int j = 0; j < 3; ++j) e[1][j] = sy > 0 ? y[j] / sy : (j == 1);
    if (sy == 0 || sx == 0) {
        // A degenerate axis: any frame that completes the one kept.
        e[1][0] = -e[0][1]; e[1][1] = e[0][0]; e[1][2] = 0;
        if (len(e[1]) < 1e-6) { e[1][0] = 0; e[1][1] = -e[0][2]; e[1][2] = e[0][1]; }
        const double l = len(e[1]);
        for (double& v : e[1]) v /= l;
    }
    e[2][0] = e[0][1] * e[1][2] - e[0][2] * e[1][1];
    e[2][1] = e[0][2] * e[1][0] - e[0][0] * e[1][2];
    e[2][2] = e[0][0] * e[1][1] - e[0][1] * e[1][0];
    double sz = dot(a[2], e[2]);
    const double rest = std::fabs(dot(a[2], e[0])) + std::fabs(dot(a[2], e[1])) + std::fabs(d01);
    const double size = std::max({sx, sy, std::fabs(sz), 1e-30});
    out.sheared = rest > 1e-5 * size;
    double scale[3] = {sx, sy, sz};
    if (sz < 0) {
        // Mirrored: a negative X scale, and the frame's X axis turned round to keep it a rotation.
        scale[0] = -sx;
        scale[2] = -sz;
        for (int j = 0; j < 3; ++j) e[0][j] = -e[0][j], e[2][j] = -e[2][j];
        // e is still right-handed: (-e0) x e1 = -(e0 x e1) = -e2.
    }
    for (int i = 0; i < 3; ++i) out.s[i] = scale[i];
    // Column-vector rotation matrix R[row][col] = e[col][row].
    const auto R = [&](int row, int col) { return e[col][row]; };
    const double trace = R(0, 0) + R(1, 1) + R(2, 2);
    double x, yq, z, w;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1) * 2;
        w = 0.25 * s; x = (R(2, 1) - R(1, 2)) / s; yq = (R(0, 2) - R(2, 0)) / s; z = (R(1, 0) - R(0, 1)) / s;
    } else if (R(0, 0) > R(1, 1) && R(0, 0) > R(2, 2)) {
        const double s = std::sqrt(1 + R(0, 0) - R(1, 1) - R(2, 2)) * 2;
        w = (R(2, 1) - R(1, 2)) / s; x = 0.25 * s; yq = (R(0, 1) + R(1, 0)) / s; z = (R(0, 2) + R(2, 0)) / s;
    } else if (R(1, 1) > R(2, 2)) {
        const double s = std::sqrt(1 + R(1, 1) - R(0, 0) - R(2, 2)) * 2;
        w = (R(0, 2) - R(2, 0)) / s; x = (R(0, 1) + R(1, 0)) / s; yq = 0.25 * s; z = (R(1, 2) + R(2, 1)) / s;
    } else {
        const double s = std::sqrt(1 + R(2, 2) - R(0, 0) - R(1, 1)) * 2;
        w = (R(1, 0) - R(0, 1)) / s; x = (R(0, 2) + R(2, 0)) / s; yq = (R(1, 2) + R(2, 1)) / s; z = 0.25 * s;
    }
    const double n = std::sqrt(x * x + yq * yq + z * z + w * w);
    if (w < 0) x = -x, yq = -yq, z = -z, w = -w;
    out.r[0] = x / n; out.r[1] = yq / n; out.r[2] = z / n; out.r[3] = w / n;
    return out;
}

bool Finite(const Matrix3& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (!std::isfinite(m[r][c])) return false;
    return true;
}

Json Floats(const float* values, size_t count) {
    Json a = Json::array();
    for (size_t i = 0; i < count; ++i) a.push_back(Number(values[i]));
    return a;
}

Json Colour(float r, float g, float b) {
    const float v[3] = {r, g, b};
    return Floats(v, 3);
}

float Clamp01(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; }

// A file name that needs no escaping in a URI and is safe on every file system: letters,
// digits, '_', '-' and '.'; anything else becomes '_'.
std::string SafeFileName(const std::string& name) {
    std::string out;
    for (unsigned char c : name)
        out.push_back(std::isalnum(c) || c == '_' || c == '-' || c == '.' ? static_cast<char>(c) : '_');
    if (out.empty() || out[0] == '.') out.insert(out.begin(), '_');
    return out;
}

std::string PercentEncoded(const std::string& name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

// Per-vertex tangents (x, y, z, handedness w) from the triangles' texture-coordinate gradients,
// summed over the triangles of each vertex and made perpendicular to its normal. A vertex whose
// triangles give no gradient gets any unit vector perpendicular to its normal.
std::vector<float> Tangents(const std::vector<float>& positions, const std::vector<float>& normals,
                            const std::vector<float>& uv, const std::vector<uint32_t>& corners) {
    const size_t count = positions.size() / 3;
    std::vector<double> tan(3 * count, 0.0), bit(3 * count, 0.0);
    for (size_t f = 0; f + 2 < corners.size(); f += 3) {
        const uint32_t i0 = corners[f], i1 = corners[f + 1], i2 = corners[f + 2];
        double e1[3], e2[3];
        for (int k = 0; k < 3; ++k) {
            e1[k] = double(positions[3 * i1 + k]) - positions[3 * i0 + k];
            e2[k] = double(positions[3 * i2 + k]) - positions[3 * i0 + k];
        }
        const double du1 = double(uv[2 * i1]) - uv[2 * i0], dv1 = double(uv[2 * i1 + 1]) - uv[2 * i0 + 1];
        const double du2 = double(uv[2 * i2]) - uv[2 * i0], dv2 = double(uv[2 * i2 + 1]) - uv[2 * i0 + 1];
        const double det = du1 * dv2 - du2 * dv1;
        if (!(std::fabs(det) > 1e-20) || !std::isfinite(det)) continue;
        const double r = 1.0 / det;
        for (uint32_t i : {i0, i1, i2})
            for (int k = 0; k < 3; ++k) {
                tan[3 * i + k] += (e1[k] * dv2 - e2[k] * dv1) * r;
                bit[3 * i + k] += (e2[k] * du1 - e1[k] * du2) * r;
            }
    }
    std::vector<float> out(4 * count);
    for (size_t v = 0; v < count; ++v) {
        const double n[3] = {normals[3 * v], normals[3 * v + 1], normals[3 * v + 2]};
        double* t = &tan[3 * v];
        const double d = t[0] * n[0] + t[1] * n[1] + t[2] * n[2];
        for (int k = 0; k < 3; ++k) t[k] -= d * n[k];
        double length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        if (!(length > 1e-12) || !std::isfinite(length)) {
            // Any perpendicular: the normal crossed with the axis it is least along.
            const int axis = std::fabs(n[0]) < 0.6 ? 0 : std::fabs(n[1]) < 0.6 ? 1 : 2;
            double a[3] = {0, 0, 0};
            a[axis] = 1;
            t[0] = n[1] * a[2] - n[2] * a[1];
            t[1] = n[2] * a[0] - n[0] * a[2];
            t[2] = n[0] * a[1] - n[1] * a[0];
            length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        }
        const double c[3] = {n[1] * t[2] - n[2] * t[1], n[2] * t[0] - n[0] * t[2], n[0] * t[1] - n[1] * t[0]};
        const double* b = &bit[3 * v];
        out[4 * v] = float(t[0] / length);
        out[4 * v + 1] = float(t[1] / length);
        out[4 * v + 2] = float(t[2] / length);
        out[4 * v + 3] = c[0] * b[0] + c[1] * b[1] + c[2] * b[2] < 0 ? -1.0f : 1.0f;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

class GltfWriter {
public:
    GltfWriter(HostScene& scene, const std::string& path, const GltfWriteOptions& options, StagedFiles& staged,
               GltfWriteReport& report)
        : scene_(scene), path_(path), options_(options), staged_(staged), report_(report) {
        std::string extension = fs::path(path).extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        binary_ = extension == ".glb";
        for (const std::string& folder : options.textureFolders) {
            std::error_code ec;
            const fs::path canonical = fs::weakly_canonical(fs::absolute(folder), ec);
            if (!ec) folders_.push_back(canonical);
        }
    }

    void Write();

private:
    struct NodeOut {
        HostNode* node = nullptr;
        Json json;
        std::vector<int> children;
        bool animated = false;
    };
    struct Accessor {
        int view;
        int componentType;
        size_t count;
        const char* type;
        bool normalized = false;
        Json min, max;
    };

    // Appends bytes to the buffer as a view (4-byte aligned); returns the view's index.
    int AddView(const void* data, size_t size, int target) {
        while (buffer_.size() % 4) buffer_.push_back(0);
        Json v;
        v["buffer"] = 0;
        if (!buffer_.empty()) v["byteOffset"] = buffer_.size();
        v["byteLength"] = size;
        if (target) v["target"] = target;
        const auto* bytes = static_cast<const uint8_t*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        views_.push_back(std::move(v));
        return static_cast<int>(views_.size()) - 1;
    }
    int AddAccessor(Accessor a) {
        Json j;
        j["bufferView"] = a.view;
        j["componentType"] = a.componentType;
        if (a.normalized) j["normalized"] = true;
        j["count"] = a.count;
        j["type"] = a.type;
        if (!a.min.is_null()) j["min"] = std::move(a.min);
        if (!a.max.is_null()) j["max"] = std::move(a.max);
        accessors_.push_back(std::move(j));
        return static_cast<int>(accessors_.size()) - 1;
    }
    template <class T>
    int AddArray(const std::vector<T>& values, int componentType, size_t components, const char* type, int target,
                 bool normalized = false) {
        const int view = AddView(values.data(), values.size() * sizeof(T), target);
        return AddAccessor({view, componentType, values.size() / components, type, normalized, {}, {}});
    }
    int AddFloats(const std::vector<float>& values, size_t components, const char* type, bool withBounds, int target) {
        const int view = AddView(values.data(), values.size() * sizeof(float), target);
        Accessor a{view, kFloat, values.size() / components, type, false, {}, {}};
        if (withBounds && !values.empty()) {
            std::vector<float> lo(values.begin(), values.begin() + components), hi = lo;
            for (size_t i = components; i < values.size(); i += components)
                for (size_t c = 0; c < components; ++c) {
                    lo[c] = std::min(lo[c], values[i + c]);
                    hi[c] = std::max(hi[c], values[i + c]);
                }
            a.min = Floats(lo.data(), components);
            a.max = Floats(hi.data(), components);
        }
        return AddAccessor(std::move(a));
    }

    int AddNode(HostNode& node, std::vector<int>& siblings);
    void AddMesh(HostNode& node, int nodeIndex);
    int MaterialIndex(Mtl* material);
    Json TextureInfo(Texmap* map, const char* slot, Json& missing);
    int ImageIndex(const std::string& file, const char* slot);
    bool ImageAllowed(const fs::path& file) const;
    void AddAnimations();
    void AddClip(const std::string& name, TimeValue start, TimeValue end);
    std::string Finish();
    void Commit(const std::string& json);

    HostScene& scene_;
    const std::string& path_;
    const GltfWriteOptions& options_;
    StagedFiles& staged_;
    GltfWriteReport& report_;
    bool binary_ = false;
    std::vector<fs::path> folders_;

    std::vector<uint8_t> buffer_;
    Json views_ = Json::array(), accessors_ = Json::array(), meshes_ = Json::array(), materials_ = Json::array(),
         textures_ = Json::array(), images_ = Json::array(), samplers_ = Json::array(), skins_ = Json::array(),
         animations_ = Json::array();
    std::vector<NodeOut> nodes_;
    std::vector<int> sceneNodes_;
    std::map<HostNode*, int> nodeIndex_;
    std::set<HostNode*> joints_;
    std::map<Mtl*, int> materialIndex_;
    std::map<std::string, int> imageIndex_;       // by source file
    std::map<std::pair<int, int>, int> textureIndex_;  // by (image, sampler)
    std::map<std::pair<int, int>, int> samplerIndex_;  // by (wrapS, wrapT)
    std::vector<std::pair<HostNode*, int>> meshNodes_;   // host node and its glTF node
    // Images beside a .gltf: target path by source file, and the bytes to stage.
    struct ImageFile {
        std::string target;
        std::vector<uint8_t> bytes;
    };
    std::vector<ImageFile> imageFiles_;
    std::set<std::string> imageNames_;  // lower case, beside a .gltf
};

// The skin deformer on a node's stack (the top enabled one), or null.
HostSkinDeformer* SkinOf(const HostNode& node) {
    Object* object = node.object();
    while (auto* level = dynamic_cast<HostDerivedObject*>(object)) {
        for (auto it = level->modifiers().rbegin(); it != level->modifiers().rend(); ++it)
            if (auto* skin = dynamic_cast<HostSkinDeformer*>(it->get()); skin && skin->IsEnabled()) return skin;
        object = level->GetObjRef();
    }
    return nullptr;
}

Object* BaseObject(Object* object) {
    while (auto* level = dynamic_cast<HostDerivedObject*>(object)) object = level->GetObjRef();
    return object;
}

int GltfWriter::AddNode(HostNode& node, std::vector<int>& siblings) {
    const int index = static_cast<int>(nodes_.size());
    nodes_.push_back({});
    nodeIndex_[&node] = index;
    nodes_[index].node = &node;
    siblings.push_back(index);
    std::vector<int> children;
    for (const auto& child : node.children()) AddNode(*child, children);
    nodes_[index].children = std::move(children);
    return index;
}

void GltfWriter::Write() {
    // Joints first: a node a skin moves is a bone, not a mesh to write.
    std::vector<HostNode*> stack{&scene_.root()};
    while (!stack.empty()) {
        HostNode* node = stack.back();
        stack.pop_back();
        if (HostSkinDeformer* skin = SkinOf(*node))
            for (const HostDeformerBone& bone : skin->bones)
                if (bone.node) joints_.insert(bone.node);
        for (const auto& child : node->children()) stack.push_back(child.get());
    }
    for (const auto& child : scene_.root().children()) AddNode(*child, sceneNodes_);
    // Node transforms (static ones; an animated node gets its animation's first pose from the
    // channels, but keeps its rest transform here).
    for (NodeOut& out : nodes_) {
        HostNode& node = *out.node;
        out.json["name"] = node.name();
        const Matrix3 local = FileTransform(node.localTransform());
        if (!Finite(local)) throw WriteError("node " + node.name() + " has a transform that is not finite");
        const HostControl* control = node.controller();
        out.animated = dynamic_cast<const HostTransformControl*>(control) != nullptr;
        const Trs trs = Decompose(local);
        if (trs.sheared && !out.animated) {
            float m[16];
            ColumnMajor(local, m);
            out.json["matrix"] = Floats(m, 16);
        } else {
            if (trs.t[0] != 0 || trs.t[1] != 0 || trs.t[2] != 0)
                out.json["translation"] = Colour(float(trs.t[0]), float(trs.t[1]), float(trs.t[2]));
            if (trs.r[3] < 1) {
                const float q[4] = {float(trs.r[0]), float(trs.r[1]), float(trs.r[2]), float(trs.r[3])};
                out.json["rotation"] = Floats(q, 4);
            }
            if (trs.s[0] != 1 || trs.s[1] != 1 || trs.s[2] != 1)
                out.json["scale"] = Colour(float(trs.s[0]), float(trs.s[1]), float(trs.s[2]));
        }
    }
    const size_t hostNodes = nodes_.size();
    // A joint's own mesh is left out (a bone's display shape), unless a skin deforms it: a skinned
    // mesh whose node is one of its own joints is the model's geometry.
    for (size_t i = 0; i < hostNodes; ++i)
        if (!joints_.count(nodes_[i].node) || SkinOf(*nodes_[i].node)) AddMesh(*nodes_[i].node, static_cast<int>(i));
    AddAnimations();
    Commit(Finish());
}

// ---------------------------------------------------------------------------------------------
// Meshes

void GltfWriter::AddMesh(HostNode& node, int nodeIndex) {
    Object* object = node.object();
    if (!object) return;
    HostSkinDeformer* skin = SkinOf(node);
    const TimeValue t0 = scene_.animRange().Start();
    // A skinned mesh is written as it lies beneath its skin, in the bind pose.
    Object* source = skin ? BaseObject(object) : object->Eval(t0).obj;
    if (!source || source->SuperClassID() != kGeomObjectClassId) return;
    Object* converted = nullptr;
    const Mesh* meshPtr = nullptr;
    if (auto* tri = dynamic_cast<TriObject*>(source)) {
        meshPtr = &tri->GetMesh();
    } else if (source->CanConvertToType(kTriObjectClassId)) {
        converted = source->ConvertToType(t0, kTriObjectClassId);
        if (auto* made = dynamic_cast<TriObject*>(converted)) meshPtr = &made->GetMesh();
    }
    struct Release {
        Object* object;
        Object* source;
        ~Release() { if (object && object != source) object->DeleteMe(); }
    } release{converted, source};
    if (!meshPtr || meshPtr->faces.empty()) return;
    const Mesh& mesh = *meshPtr;
    const std::string where = "node " + node.name();
    const size_t faceCount = mesh.faces.size();
    const size_t positionCount = mesh.verts.size();
    if (faceCount > (size_t(1) << 31) / 3 || positionCount > (size_t(1) << 31))
        throw WriteError(where + " has more faces or vertices than a glTF file holds");
    for (const Face& f : mesh.faces)
        for (uint32_t v : f.v)
            if (v >= positionCount) throw WriteError(where + "'s mesh has a face with a vertex out of range");

    // The attributes indexed by face corner, beside the position: normals, every texture
    // coordinate set up to the highest one (missing sets in between are zero), colour, alpha.
    struct Attribute {
        FaceCorners corners;      // empty: zero values (a missing set)
        const Point3* values = nullptr;
        size_t valueCount = 0;
        bool sharesPositions = false;
    };
    std::vector<Attribute> attributes;
    // Normals: the given ones, else those the smoothing groups make.
    std::vector<Point3> builtValues;
    std::vector<TVFace> builtFaces;
    if (const MeshNormalSpec* spec = mesh.GetSpecifiedNormals(); spec && spec->CheckNormals(mesh)) {
        const FaceCorners corners = spec->Faces(mesh);
        attributes.push_back({corners, spec->normals.data(), spec->normals.size(), spec->sharesMeshFaces});
    } else {
        MeshRenderNormals built;
        BuildRenderNormals(mesh, built);
        builtValues.reserve(built.renderNormals.size() + built.faceNormals.size());
        for (const RNormal& n : built.renderNormals) builtValues.push_back(n.normal);
        const uint32_t faceBase = static_cast<uint32_t>(builtValues.size());
        builtValues.insert(builtValues.end(), built.faceNormals.begin(), built.faceNormals.end());
        builtFaces.resize(faceCount);
        for (size_t f = 0; f < faceCount; ++f) {
            const Face& face = mesh.faces[f];
            for (int c = 0; c < 3; ++c) {
                uint32_t index = faceBase + static_cast<uint32_t>(f);
                if (face.smGroup != 0 && face.v[c] < built.renderVerts.size()) {
                    const RVertex& rv = built.renderVerts[face.v[c]];
                    for (uint32_t k = 0; k < rv.normalCount; ++k)
                        if (rv.normalCount == 1 || (built.renderNormals[rv.firstNormal + k].smGroup & face.smGroup)) {
                            index = rv.firstNormal + k;
                            break;
                        }
                }
                builtFaces[f].t[c] = index;
            }
        }
        attributes.push_back({FaceCorners(builtFaces), builtValues.data(), builtValues.size(), false});
    }
    int uvSets = 0;
    for (int channel = 1; channel <= kMapChannelMax; ++channel)
        if (mesh.mapSupport(channel) && !mesh.mapFaces(channel).empty()) uvSets = channel;
    const auto channelAttribute = [&](int channel) {
        Attribute a;
        if (mesh.mapSupport(channel)) {
            const FaceCorners corners = mesh.mapFaces(channel);
            if (corners.size() == faceCount) {
                a.corners = corners;
                a.values = mesh.mapVerts(channel);
                a.valueCount = static_cast<size_t>(mesh.getNumMapVerts(channel));
                a.sharesPositions = mesh.Map(channel).sharesMeshFaces;
            }
        }
        return a;
    };
    for (int channel = 1; channel <= uvSets; ++channel) attributes.push_back(channelAttribute(channel));
    const bool hasColour = mesh.mapSupport(kVertexColorChannel) && mesh.mapFaces(kVertexColorChannel).size() == faceCount;
    const bool hasAlpha = hasColour && mesh.mapSupport(kVertexAlphaChannel) &&
                          mesh.mapFaces(kVertexAlphaChannel).size() == faceCount;
    const size_t colourAttribute = attributes.size();
    if (hasColour) attributes.push_back(channelAttribute(kVertexColorChannel));
    if (hasAlpha) attributes.push_back(channelAttribute(kVertexAlphaChannel));
    for (Attribute& a : attributes) {
        if (a.corners.empty()) continue;
        for (size_t f = 0; f < faceCount; ++f)
            for (int c = 0; c < 3; ++c)
                if (a.corners[f][c] >= a.valueCount) throw WriteError(where + "'s mesh has a corner index out of range");
    }

    // Vertices: one per distinct combination of position and attribute indices. Attributes
    // indexed like the positions add nothing to the combination.
    std::vector<size_t> keyed;
    for (size_t i = 0; i < attributes.size(); ++i)
        if (!attributes[i].corners.empty() && !attributes[i].sharesPositions) keyed.push_back(i);
    const size_t keyWidth = keyed.size();
    std::vector<uint32_t> vertexPosition;   // per vertex
    std::vector<uint32_t> vertexKeys;       // keyWidth per vertex
    std::vector<uint32_t> cornerVertex(3 * faceCount);
    if (keyWidth == 0) {
        vertexPosition.resize(positionCount);
        for (size_t v = 0; v < positionCount; ++v) vertexPosition[v] = static_cast<uint32_t>(v);
        for (size_t f = 0; f < faceCount; ++f)
            for (int c = 0; c < 3; ++c) cornerVertex[3 * f + c] = mesh.faces[f].v[c];
    } else {
        constexpr uint32_t kNone = UINT32_MAX;
        std::vector<uint32_t> first(positionCount, kNone), next;
        vertexPosition.reserve(positionCount);
        vertexKeys.reserve(positionCount * keyWidth);
        uint32_t key[kMapChannelCount + 2];
        for (size_t f = 0; f < faceCount; ++f)
            for (int c = 0; c < 3; ++c) {
                const uint32_t p = mesh.faces[f].v[c];
                for (size_t k = 0; k < keyWidth; ++k) key[k] = attributes[keyed[k]].corners[f][c];
                uint32_t v = first[p];
                for (; v != kNone; v = next[v])
                    if (std::equal(key, key + keyWidth, vertexKeys.begin() + v * keyWidth)) break;
                if (v == kNone) {
                    v = static_cast<uint32_t>(vertexPosition.size());
                    vertexPosition.push_back(p);
                    vertexKeys.insert(vertexKeys.end(), key, key + keyWidth);
                    next.push_back(first[p]);
                    first[p] = v;
                }
                cornerVertex[3 * f + c] = v;
            }
    }
    const size_t vertexCount = vertexPosition.size();
    // The attribute's value index of every vertex: found through one corner that made it.
    std::vector<uint32_t> vertexCorner(vertexCount, UINT32_MAX);
    for (size_t corner = 0; corner < cornerVertex.size(); ++corner)
        if (vertexCorner[cornerVertex[corner]] == UINT32_MAX) vertexCorner[cornerVertex[corner]] = static_cast<uint32_t>(corner);
    const auto valueOf = [&](const Attribute& a, size_t v) -> const Point3* {
        const uint32_t corner = vertexCorner[v];
        if (a.corners.empty() || corner == UINT32_MAX) return nullptr;
        return &a.values[a.corners[corner / 3][corner % 3]];
    };

    // Primitives: one per material, faces in their order.
    Mtl* nodeMaterial = node.GetMtl();
    const int subCount = nodeMaterial ? nodeMaterial->NumSubMtls() : 0;
    std::vector<Mtl*> order;
    std::map<Mtl*, std::vector<uint32_t>> indices;
    for (size_t f = 0; f < faceCount; ++f) {
        Mtl* material = subCount > 0 ? nodeMaterial->GetSubMtl(mesh.faces[f].getMatID() % subCount) : nodeMaterial;
        auto [it, added] = indices.try_emplace(material);
        if (added) order.push_back(material);
        it->second.insert(it->second.end(), cornerVertex.begin() + 3 * f, cornerVertex.begin() + 3 * f + 3);
    }
    // The materials of the primitives; one with a normal map needs tangents, made from the
    // normal map's texture coordinates.
    std::vector<int> materialIndices;
    int tangentSet = -1;
    for (Mtl* material : order) {
        materialIndices.push_back(MaterialIndex(material));
        const int m = materialIndices.back();
        if (m >= 0 && tangentSet < 0 && materials_[m].contains("normalTexture"))
            tangentSet = materials_[m]["normalTexture"].value("texCoord", 0);
    }
    if (tangentSet >= uvSets) tangentSet = -1;

    // The buffer grows by this mesh at once: positions, normals, tangents, texture coordinates,
    // colours, joints and weights per vertex, indices per corner (an estimate from above).
    buffer_.reserve(buffer_.size() + vertexCount * (12 + 12 + 16 + 8 * size_t(uvSets) + 16 + 40) +
                    12 * faceCount + 64);
    const Matrix3& offset = node.objectOffset();
    const bool hasOffset = !(offset == Matrix3());
    Json attributesJson;
    std::vector<float> positions(3 * vertexCount), normals(3 * vertexCount), tangentUv;
    {
        for (size_t v = 0; v < vertexCount; ++v) {
            Point3 p = mesh.verts[vertexPosition[v]];
            if (hasOffset) p = offset.PointTransform(p);
            p = FilePoint(p);
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                throw WriteError(where + "'s mesh has a vertex that is not finite");
            positions[3 * v] = p.x;
            positions[3 * v + 1] = p.y;
            positions[3 * v + 2] = p.z;
        }
        attributesJson["POSITION"] = AddFloats(positions, 3, "VEC3", true, kArrayBuffer);
    }
    {
        for (size_t v = 0; v < vertexCount; ++v) {
            const Point3* given = valueOf(attributes[0], v);
            Point3 n = given ? *given : Point3(0, 0, 0);
            if (hasOffset) n = offset.VectorTransform(n);
            n = FileVector(n);
            double length = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
            if (!(length > 1e-20) || !std::isfinite(length)) {
                // glTF wants unit normals: a missing one becomes the face's.
                const uint32_t corner = vertexCorner[v];
                const Face& face = mesh.faces[corner / 3];
                Point3 a = mesh.verts[face.v[0]], b = mesh.verts[face.v[1]], c = mesh.verts[face.v[2]];
                if (hasOffset) a = offset.PointTransform(a), b = offset.PointTransform(b), c = offset.PointTransform(c);
                n = FileVector((b - a) ^ (c - a));
                length = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
                if (!(length > 1e-20) || !std::isfinite(length)) n = Point3(0, 1, 0), length = 1;
            }
            normals[3 * v] = float(n.x / length);
            normals[3 * v + 1] = float(n.y / length);
            normals[3 * v + 2] = float(n.z / length);
        }
        attributesJson["NORMAL"] = AddFloats(normals, 3, "VEC3", false, kArrayBuffer);
    }
    for (int set = 0; set < uvSets; ++set) {
        const Attribute& a = attributes[1 + set];
        std::vector<float> uv(2 * vertexCount, 0.0f);
        for (size_t v = 0; v < vertexCount; ++v)
            if (const Point3* value = valueOf(a, v)) {
                uv[2 * v] = std::isfinite(value->x) ? value->x : 0.0f;
                // Texture space runs up from the image's bottom in the host, down from its top in the file.
                uv[2 * v + 1] = std::isfinite(value->y) ? 1.0f - value->y : 0.0f;
            }
        attributesJson["TEXCOORD_" + std::to_string(set)] = AddFloats(uv, 2, "VEC2", false, kArrayBuffer);
        if (set == tangentSet) tangentUv = std::move(uv);
    }
    if (!tangentUv.empty()) {
        const std::vector<float> tangents = Tangents(positions, normals, tangentUv, cornerVertex);
        attributesJson["TANGENT"] = AddFloats(tangents, 4, "VEC4", false, kArrayBuffer);
    }
    std::vector<float>().swap(positions);
    std::vector<float>().swap(normals);
    if (hasColour) {
        const size_t components = hasAlpha ? 4 : 3;
        std::vector<float> colours(components * vertexCount, 1.0f);
        for (size_t v = 0; v < vertexCount; ++v) {
            if (const Point3* c = valueOf(attributes[colourAttribute], v)) {
                colours[components * v] = Clamp01(c->x);
                colours[components * v + 1] = Clamp01(c->y);
                colours[components * v + 2] = Clamp01(c->z);
            }
            if (hasAlpha)
                if (const Point3* alpha = valueOf(attributes[colourAttribute + 1], v)) colours[4 * v + 3] = Clamp01(alpha->x);
        }
        attributesJson["COLOR_0"] = AddFloats(colours, components, hasAlpha ? "VEC4" : "VEC3", false, kArrayBuffer);
    }

    // Skin: joints and weights per position, four to a set, strongest first.
    int skinIndex = -1;
    if (skin) {
        std::vector<int> jointOfBone(skin->bones.size(), -1);
        std::vector<int> joints;  // glTF node of each joint
        std::vector<Matrix3> binds;
        Matrix3 ownerBind;
        skin->GetSkinInitTM(&node, ownerBind, false);
        for (size_t b = 0; b < skin->bones.size(); ++b) {
            HostNode* bone = skin->bones[b].node;
            if (!bone) continue;
            Matrix3 boneBind;
            if (!skin->GetBoneInitTM(bone, boneBind, false)) boneBind = bone->GetNodeTM(t0);
            jointOfBone[b] = static_cast<int>(joints.size());
            joints.push_back(nodeIndex_.at(bone));
            binds.push_back(boneBind);
        }
        // The influences of each position, strongest first, over the present bones.
        struct Influence {
            uint32_t joint;
            float weight;
        };
        std::vector<uint32_t> first(positionCount + 1, 0);
        std::vector<Influence> influences;
        bool unweighted = false;
        size_t widest = 0;
        for (size_t p = 0; p < positionCount; ++p) {
            first[p] = static_cast<uint32_t>(influences.size());
            if (p < skin->PointCount()) {
                const auto [list, count] = skin->Point(p);
                for (size_t k = 0; k < count; ++k) {
                    const HostSkinAssignment& a = list[k];
                    if (a.bone < 0 || size_t(a.bone) >= jointOfBone.size() || jointOfBone[a.bone] < 0) continue;
                    if (!(a.weight > 0) || !std::isfinite(a.weight)) continue;
                    const uint32_t joint = static_cast<uint32_t>(jointOfBone[a.bone]);
                    auto same = std::find_if(influences.begin() + first[p], influences.end(),
                                             [&](const Influence& i) { return i.joint == joint; });
                    if (same != influences.end()) same->weight += a.weight;
                    else influences.push_back({joint, a.weight});
                }
            }
            if (influences.size() == first[p]) unweighted = true;
            std::sort(influences.begin() + first[p], influences.end(),
                      [](const Influence& a, const Influence& b) { return a.weight > b.weight || (a.weight == b.weight && a.joint < b.joint); });
            widest = std::max(widest, influences.size() - first[p]);
        }
        first[positionCount] = static_cast<uint32_t>(influences.size());
        // A point without weights stays put on its mesh: the mesh node itself is its joint.
        uint32_t ownerJoint = 0;
        if (unweighted) {
            ownerJoint = static_cast<uint32_t>(joints.size());
            joints.push_back(nodeIndex);
            binds.push_back(ownerBind);
            widest = std::max<size_t>(widest, 1);
        }
        if (!joints.empty()) {
            const size_t sets = (widest + 3) / 4;
            const bool wide = joints.size() > 255;
            for (size_t set = 0; set < sets; ++set) {
                std::vector<uint8_t> joints8;
                std::vector<uint16_t> joints16;
                (wide ? joints16.resize(4 * vertexCount) : joints8.resize(4 * vertexCount));
                std::vector<float> weights(4 * vertexCount, 0.0f);
                for (size_t v = 0; v < vertexCount; ++v) {
                    const uint32_t p = vertexPosition[v];
                    const size_t count = first[p + 1] - first[p];
                    double total = 0;
                    for (size_t k = 0; k < count; ++k) total += influences[first[p] + k].weight;
                    for (size_t k = 0; k < 4; ++k) {
                        const size_t at = 4 * set + k;
                        uint32_t joint = 0;
                        float weight = 0;
                        if (count == 0 && at == 0) {
                            joint = ownerJoint;
                            weight = 1;
                        } else if (at < count) {
                            joint = influences[first[p] + at].joint;
                            weight = float(influences[first[p] + at].weight / total);
                        }
                        if (wide) joints16[4 * v + k] = static_cast<uint16_t>(joint);
                        else joints8[4 * v + k] = static_cast<uint8_t>(joint);
                        weights[4 * v + k] = weight;
                    }
                }
                const std::string n = std::to_string(set);
                attributesJson["JOINTS_" + n] = wide ? AddArray(joints16, kUnsignedShort, 4, "VEC4", kArrayBuffer)
                                                     : AddArray(joints8, kUnsignedByte, 4, "VEC4", kArrayBuffer);
                attributesJson["WEIGHTS_" + n] = AddFloats(weights, 4, "VEC4", false, kArrayBuffer);
            }
            // Inverse bind matrices: vertex space (the mesh at its bind pose) to each joint's space.
            std::vector<float> inverseBinds(16 * joints.size());
            for (size_t j = 0; j < joints.size(); ++j) {
                const Matrix3 ibm = FileTransform(ownerBind * Inverse(binds[j]));
                if (!Finite(ibm)) throw WriteError(where + "'s skin has a bone whose bind pose cannot be inverted");
                ColumnMajor(ibm, &inverseBinds[16 * j]);
            }
            Json skinJson;
            skinJson["name"] = node.name();
            skinJson["inverseBindMatrices"] = AddFloats(inverseBinds, 16, "MAT4", false, 0);
            skinJson["joints"] = joints;
            skins_.push_back(std::move(skinJson));
            skinIndex = static_cast<int>(skins_.size()) - 1;
        }
    }

    Json primitives = Json::array();
    for (Mtl*& material : order) {
        const std::vector<uint32_t>& list = indices[material];
        Json primitive;
        primitive["attributes"] = attributesJson;
        if (vertexCount <= 0xFFFF) {
            std::vector<uint16_t> small(list.begin(), list.end());
            primitive["indices"] = AddArray(small, kUnsignedShort, 1, "SCALAR", kElementArrayBuffer);
        } else {
            primitive["indices"] = AddArray(list, kUnsignedInt, 1, "SCALAR", kElementArrayBuffer);
        }
        const int materialIndex = materialIndices[&material - order.data()];
        if (materialIndex >= 0) primitive["material"] = materialIndex;
        primitives.push_back(std::move(primitive));
    }
    Json meshJson;
    meshJson["name"] = node.name();
    meshJson["primitives"] = std::move(primitives);
    meshes_.push_back(std::move(meshJson));
    const int meshIndex = static_cast<int>(meshes_.size()) - 1;
    report_.triangles += faceCount;

    if (skinIndex < 0) {
        nodes_[nodeIndex].json["mesh"] = meshIndex;
        return;
    }
    // A skinned mesh is placed by its joints alone: it goes on a node at the top of the scene,
    // with no transform, as glTF recommends. A node without children moves there (its transform
    // and animation moved nothing but the mesh), and so does an unmoved node at the top; one
    // with children, or a joint, stays where it is for them, and the mesh goes on a node of the
    // same name at the top.
    const Json& placed = nodes_[nodeIndex].json;
    const bool unmovedAtTop = node.parent() == &scene_.root() && !nodes_[nodeIndex].animated &&
                              !placed.contains("translation") && !placed.contains("rotation") &&
                              !placed.contains("scale") && !placed.contains("matrix");
    // A joint keeps its transform for the skin: its mesh goes on a node of its own.
    if (!joints_.count(&node) && (node.children().empty() || unmovedAtTop)) {
        NodeOut& out = nodes_[nodeIndex];
        for (const char* key : {"translation", "rotation", "scale", "matrix"}) out.json.erase(key);
        out.animated = false;
        out.json["mesh"] = meshIndex;
        out.json["skin"] = skinIndex;
        if (node.parent() && node.parent() != &scene_.root()) {
            std::vector<int>& siblings = nodes_[nodeIndex_.at(const_cast<HostNode*>(node.parent()))].children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), nodeIndex), siblings.end());
            sceneNodes_.push_back(nodeIndex);
        }
        return;
    }
    NodeOut out;
    out.node = &node;
    out.json["name"] = node.name();
    out.json["mesh"] = meshIndex;
    out.json["skin"] = skinIndex;
    nodes_.push_back(std::move(out));
    sceneNodes_.push_back(static_cast<int>(nodes_.size()) - 1);
}

// ---------------------------------------------------------------------------------------------
// Materials and images

float ExponentOf(Mtl& material) { return material.GetShininess() * 100.0f; }

int GltfWriter::MaterialIndex(Mtl* material) {
    if (!material) return -1;
    if (auto found = materialIndex_.find(material); found != materialIndex_.end()) return found->second;
    Json m;
    m["name"] = material->GetName();
    // The values the X file holds for this material, as the exporter writes them.
    const Color diffuse = material->GetDiffuse();
    const float alpha = Clamp01(1.0f - material->GetXParency());
    const float power = ExponentOf(*material);
    const Color specularColour = material->GetSpecular();
    const float strength = material->GetShinStr() * 0.1f;
    const Color specular(specularColour.r * strength, specularColour.g * strength, specularColour.b * strength);
    const Color emissive = material->GetSelfIllumColorOn() ? material->GetSelfIllumColor() : Color(0, 0, 0);

    Json pbr;
    const float base[4] = {Clamp01(diffuse.r), Clamp01(diffuse.g), Clamp01(diffuse.b), alpha};
    pbr["baseColorFactor"] = Floats(base, 4);
    pbr["metallicFactor"] = 0;
    // No highlight at all reads as fully rough.
    const bool dark = !(specular.r > 0 || specular.g > 0 || specular.b > 0);
    pbr["roughnessFactor"] = Number(dark ? 1.0f : RoughnessFromPower(power));
    Json missing = Json::object();
    Texmap* diffuseMap = nullptr;
    Texmap* bumpMap = nullptr;
    Texmap* selfIllumMap = nullptr;
    if (auto* standard = dynamic_cast<StdMat2*>(material)) {
        const auto slot = [&](int i) { return standard->MapEnabled(i) ? standard->GetSubTexmap(i) : nullptr; };
        diffuseMap = slot(kMapDiffuse);
        bumpMap = slot(kMapBump);
        selfIllumMap = slot(kMapSelfIllum);
    } else if (material->NumSubTexmaps() > 0) {
        diffuseMap = material->GetSubTexmap(0);
    }
    if (diffuseMap) {
        Json info = TextureInfo(diffuseMap, "diffuse", missing);
        if (!info.is_null()) pbr["baseColorTexture"] = std::move(info);
    }
    m["pbrMetallicRoughness"] = std::move(pbr);
    if (bumpMap) {
        // A normal map comes through a normal-bump map; a plain bump (height) map has no place in glTF.
        if (bumpMap->ClassID() == kNormalBumpClassId && bumpMap->NumSubTexmaps() > 0 && bumpMap->GetSubTexmap(0)) {
            Json info = TextureInfo(bumpMap->GetSubTexmap(0), "normal", missing);
            if (!info.is_null()) m["normalTexture"] = std::move(info);
        } else if (auto* bitmap = dynamic_cast<BitmapTex*>(bumpMap)) {
            missing["bump"] = bitmap->GetMapName();
        }
    }
    if (emissive.r > 0 || emissive.g > 0 || emissive.b > 0)
        m["emissiveFactor"] = Colour(Clamp01(emissive.r), Clamp01(emissive.g), Clamp01(emissive.b));
    if (selfIllumMap) {
        Json info = TextureInfo(selfIllumMap, "emissive", missing);
        if (!info.is_null()) {
            m["emissiveTexture"] = std::move(info);
            if (!m.contains("emissiveFactor")) m["emissiveFactor"] = Colour(1, 1, 1);
        }
    }
    if (alpha < 1) m["alphaMode"] = "BLEND";
    Json x;
    const float diffuseValues[4] = {diffuse.r, diffuse.g, diffuse.b, 1.0f - material->GetXParency()};
    x["diffuse"] = Floats(diffuseValues, 4);
    x["power"] = Number(power);
    x["specular"] = Colour(specular.r, specular.g, specular.b);
    x["emissive"] = Colour(emissive.r, emissive.g, emissive.b);
    Json extras;
    extras["xMaterial"] = std::move(x);
    if (!missing.empty()) extras["texturesLeftOut"] = std::move(missing);
    m["extras"] = std::move(extras);
    materials_.push_back(std::move(m));
    const int index = static_cast<int>(materials_.size()) - 1;
    materialIndex_[material] = index;
    return index;
}

Json GltfWriter::TextureInfo(Texmap* map, const char* slot, Json& missing) {
    auto* bitmap = dynamic_cast<BitmapTex*>(map);
    if (!bitmap || !bitmap->GetMapName() || !*bitmap->GetMapName()) return nullptr;
    const std::string file = bitmap->GetMapName();
    const int image = ImageIndex(file, slot);
    if (image < 0) {
        missing[slot] = file;
        return nullptr;
    }
    const int tiling = bitmap->GetTextureTiling();
    const auto wrap = [](int mirror, int tile, int t) { return (t & mirror) ? 33648 : (t & tile) ? 10497 : 33071; };
    const std::pair<int, int> modes{wrap(kUMirror, kUTile, tiling), wrap(kVMirror, kVTile, tiling)};
    auto [samplerIt, newSampler] = samplerIndex_.try_emplace(modes, static_cast<int>(samplers_.size()));
    if (newSampler) samplers_.push_back({{"wrapS", modes.first}, {"wrapT", modes.second}});
    auto [textureIt, newTexture] = textureIndex_.try_emplace({image, samplerIt->second}, static_cast<int>(textures_.size()));
    if (newTexture) textures_.push_back({{"sampler", samplerIt->second}, {"source", image}});
    Json info;
    info["index"] = textureIt->second;
    const int set = std::max(1, map->GetMapChannel()) - 1;
    if (set > 0) info["texCoord"] = set;
    return info;
}

bool GltfWriter::ImageAllowed(const fs::path& file) const {
    if (options_.texturesAnywhere) return true;
    for (const fs::path& folder : folders_) {
        auto f = file.begin();
        auto d = folder.begin();
        for (; d != folder.end() && f != file.end() && *d == *f; ++d, ++f) {}
        if (d == folder.end() || (std::next(d) == folder.end() && d->empty())) return true;
    }
    return false;
}

int GltfWriter::ImageIndex(const std::string& file, const char* slot) {
    if (auto found = imageIndex_.find(file); found != imageIndex_.end()) return found->second;
    int& index = imageIndex_[file];
    index = -1;
    std::error_code ec;
    const fs::path source = fs::weakly_canonical(fs::absolute(file), ec);
    const auto warn = [&](const std::string& why) {
        report_.warnings.push_back(file + ": the " + std::string(slot) + " texture was left out: " + why);
    };
    if (ec || !fs::exists(source, ec)) {
        warn("the file does not exist");
        return index;
    }
    if (!ImageAllowed(source)) {
        warn("it lies outside the model's folder (--allow-outside-files reads it)");
        return index;
    }
    if (!fs::is_regular_file(source, ec)) {
        warn("it is not a regular file");
        return index;
    }
    const uintmax_t size = fs::file_size(source, ec);
    if (ec || size > kMaxImageBytes) {
        warn(ec ? "its size cannot be read" : "it is larger than 1 GiB");
        return index;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    std::ifstream in(source, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
        warn("it cannot be read");
        return index;
    }
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const char* mime = nullptr;
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPng, 8) == 0) mime = "image/png";
    else if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) mime = "image/jpeg";
    if (!mime) {
        warn("glTF takes PNG and JPEG images only");
        return index;
    }
    Json image;
    const std::string stem = fs::path(file).stem().string();
    image["name"] = stem;
    if (binary_) {
        image["bufferView"] = AddView(bytes.data(), bytes.size(), 0);
        image["mimeType"] = mime;
    } else {
        // Beside the .gltf under the source's own name; a different file of that name already
        // there is not replaced: the copy takes the next free name instead.
        const fs::path folder = fs::absolute(fs::path(path_)).parent_path();
        std::string name = SafeFileName(fs::path(file).filename().string());
        const std::string extension = fs::path(name).extension().string();
        const std::string base = name.substr(0, name.size() - extension.size());
        for (int n = 2;; ++n) {
            std::string folded = name;
            std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            const fs::path target = folder / name;
            bool usable = !imageNames_.count(folded);
            bool same = false;
            if (usable && fs::exists(target, ec)) {
                same = fs::equivalent(target, source, ec);
                if (!same && fs::is_regular_file(target, ec) && fs::file_size(target, ec) == bytes.size()) {
                    std::vector<uint8_t> there(bytes.size());
                    std::ifstream existing(target, std::ios::binary);
                    existing.read(reinterpret_cast<char*>(there.data()), static_cast<std::streamsize>(there.size()));
                    same = existing.gcount() == static_cast<std::streamsize>(there.size()) && there == bytes;
                }
                usable = same;
            }
            if (usable) {
                imageNames_.insert(folded);
                if (!same) imageFiles_.push_back({target.string(), std::move(bytes)});
                break;
            }
            name = base + "_" + std::to_string(n) + extension;
        }
        image["uri"] = name;
    }
    images_.push_back(std::move(image));
    index = static_cast<int>(images_.size()) - 1;
    return index;
}

// ---------------------------------------------------------------------------------------------
// Animations

void GltfWriter::AddAnimations() {
    const int ticksPerFrame = std::max(1, scene_.ticksPerFrame());
    bool anyAnimated = false;
    for (const NodeOut& out : nodes_) anyAnimated = anyAnimated || out.animated;
    if (!anyAnimated) return;
    if (const auto& clips = scene_.clips()) {
        for (const HostClip& clip : *clips)
            AddClip(clip.name, clip.startFrame * ticksPerFrame, std::max(clip.startFrame, clip.endFrame) * ticksPerFrame);
    } else {
        AddClip("Anim1", scene_.animRange().Start(), scene_.animRange().End());
    }
}

// Key times of one controller within [start, end]: its keys, and every frame where it does not
// interpolate linearly between them (Bezier or step keys, Euler angles).
void KeyTimes(const HostTransformControl& control, TimeValue start, TimeValue end, int ticksPerFrame,
              std::vector<TimeValue>& times) {
    bool everyFrame = false;
    const auto track = [&](const Control* c) {
        if (!c) return;
        const auto add = [&](const HostKeyTrack* keys) {
            if (!keys) return;
            const HostKeyData& d = keys->data();
            if (d.interpolation != HostInterpolation::Linear) everyFrame = true;
            for (TimeValue t : d.times)
                if (t > start && t < end) times.push_back(t);
        };
        if (auto* keys = dynamic_cast<const HostKeyTrack*>(c)) {
            add(keys);
        } else if (auto* axes = dynamic_cast<const HostAxisControl*>(c)) {
            for (int i = 0; i < 3; ++i) add(axes->axis(i));
            if (c == control.rotation()) everyFrame = true;
        } else {
            everyFrame = true;
        }
    };
    track(control.position());
    track(control.rotation());
    track(control.scale());
    times.push_back(start);
    times.push_back(end);
    if (everyFrame)
        for (TimeValue t = start; t < end; t += ticksPerFrame) times.push_back(t);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
}

void GltfWriter::AddClip(const std::string& name, TimeValue start, TimeValue end) {
    Json channels = Json::array(), samplers = Json::array();
    const int ticksPerFrame = std::max(1, scene_.ticksPerFrame());
    std::vector<TimeValue> times;
    for (size_t n = 0; n < nodes_.size(); ++n) {
        const NodeOut& out = nodes_[n];
        if (!out.animated || out.json.contains("skin")) continue;
        const auto& control = static_cast<const HostTransformControl&>(*out.node->controller());
        times.clear();
        KeyTimes(control, start, end, ticksPerFrame, times);
        std::vector<float> input, translation, rotation, scale;
        input.reserve(times.size());
        double previous[4] = {0, 0, 0, 1};
        for (TimeValue t : times) {
            const Matrix3 local = FileTransform(control.LocalTM(t, out.node->localTransform()));
            if (!Finite(local)) throw WriteError("node " + out.node->name() + " has a key that is not finite");
            const Trs trs = Decompose(local);
            double q[4] = {trs.r[0], trs.r[1], trs.r[2], trs.r[3]};
            // The shorter way from the previous key.
            if (!input.empty() && q[0] * previous[0] + q[1] * previous[1] + q[2] * previous[2] + q[3] * previous[3] < 0)
                for (double& v : q) v = -v;
            std::copy(q, q + 4, previous);
            input.push_back(static_cast<float>((t - start) / kTicksPerSecond));
            for (int i = 0; i < 3; ++i) translation.push_back(float(trs.t[i]));
            for (int i = 0; i < 4; ++i) rotation.push_back(float(q[i]));
            for (int i = 0; i < 3; ++i) scale.push_back(float(trs.s[i]));
        }
        // Two keys of one float time would not increase: keep the first.
        const int inputAccessor = AddFloats(input, 1, "SCALAR", true, 0);
        const auto channel = [&](const std::vector<float>& values, size_t components, const char* type, const char* path) {
            const int output = AddFloats(values, components, type, false, 0);
            samplers.push_back({{"input", inputAccessor}, {"interpolation", "LINEAR"}, {"output", output}});
            channels.push_back({{"sampler", samplers.size() - 1}, {"target", {{"node", n}, {"path", path}}}});
        };
        channel(translation, 3, "VEC3", "translation");
        channel(rotation, 4, "VEC4", "rotation");
        channel(scale, 3, "VEC3", "scale");
    }
    if (channels.empty()) return;
    Json animation;
    animation["name"] = name;
    animation["channels"] = std::move(channels);
    animation["samplers"] = std::move(samplers);
    animations_.push_back(std::move(animation));
}

// ---------------------------------------------------------------------------------------------
// The file

std::string GltfWriter::Finish() {
    Json doc;
    doc["asset"] = {{"version", "2.0"}, {"generator", "plover convert"}};
    doc["scene"] = 0;
    // A scene without nodes lists none (glTF wants no empty arrays).
    Json scene = Json::object();
    if (!sceneNodes_.empty()) scene["nodes"] = sceneNodes_;
    doc["scenes"] = Json::array({std::move(scene)});
    Json nodes = Json::array();
    for (NodeOut& out : nodes_) {
        if (!out.children.empty()) out.json["children"] = out.children;
        nodes.push_back(std::move(out.json));
    }
    if (!nodes.empty()) doc["nodes"] = std::move(nodes);
    const auto put = [&](const char* key, Json& list) {
        if (!list.empty()) doc[key] = std::move(list);
    };
    put("meshes", meshes_);
    put("materials", materials_);
    put("textures", textures_);
    put("samplers", samplers_);
    put("images", images_);
    put("skins", skins_);
    put("animations", animations_);
    put("accessors", accessors_);
    put("bufferViews", views_);
    if (!buffer_.empty()) {
        Json buffer;
        buffer["byteLength"] = buffer_.size();
        if (!binary_) buffer["uri"] = PercentEncoded(fs::path(path_).stem().string() + ".bin");
        doc["buffers"] = Json::array({std::move(buffer)});
    }
    report_.nodes = doc.contains("nodes") ? doc["nodes"].size() : 0;
    report_.meshes = doc.contains("meshes") ? doc["meshes"].size() : 0;
    report_.materials = doc.contains("materials") ? doc["materials"].size() : 0;
    report_.images = doc.contains("images") ? doc["images"].size() : 0;
    report_.skins = doc.contains("skins") ? doc["skins"].size() : 0;
    report_.animations = doc.contains("animations") ? doc["animations"].size() : 0;
    // Names are written as UTF-8; bytes that are not UTF-8 become U+FFFD instead of failing.
    return doc.dump(binary_ ? -1 : 1, ' ', false, Json::error_handler_t::replace);
}

void WriteBytes(StagedFiles& staged, const std::string& target, const std::vector<std::pair<const void*, size_t>>& parts) {
    const std::string temp = staged.Stage(target, StagedFiles::Existing::Replace);
    if (temp.empty()) throw WriteError("cannot write " + target + ": it cannot be staged");
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    for (const auto& [data, size] : parts) out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (out.fail()) {
        std::error_code ec;
        const auto space = fs::space(fs::path(temp).parent_path(), ec);
        throw WriteError("cannot write " + target + (!ec && space.available < (1u << 20) ? ": no space left on the device" : ""));
    }
}

void GltfWriter::Commit(const std::string& json) {
    for (const ImageFile& image : imageFiles_) WriteBytes(staged_, image.target, {{image.bytes.data(), image.bytes.size()}});
    if (binary_) {
        const auto padded = [](size_t n) { return (n + 3) & ~size_t(3); };
        const size_t jsonLength = padded(json.size());
        const size_t binLength = padded(buffer_.size());
        const uint64_t total = 12 + 8 + jsonLength + (buffer_.empty() ? 0 : 8 + binLength);
        if (total > UINT32_MAX) throw WriteError("the scene needs " + std::to_string(total) + " bytes, more than a .glb file holds (4 GiB)");
        const auto word = [](uint32_t v) {
            std::array<uint8_t, 4> b{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
            return b;
        };
        const auto header = word(0x46546C67), version = word(2), length = word(uint32_t(total));
        const auto jsonHeader = word(uint32_t(jsonLength)), jsonType = word(0x4E4F534A);
        const auto binHeader = word(uint32_t(binLength)), binType = word(0x004E4942);
        static const char spaces[4] = {' ', ' ', ' ', ' '};
        static const char zeros[4] = {0, 0, 0, 0};
        std::vector<std::pair<const void*, size_t>> parts = {
            {header.data(), 4}, {version.data(), 4}, {length.data(), 4}, {jsonHeader.data(), 4}, {jsonType.data(), 4},
            {json.data(), json.size()}, {spaces, jsonLength - json.size()}};
        if (!buffer_.empty()) {
            parts.insert(parts.end(), {{binHeader.data(), 4}, {binType.data(), 4}, {buffer_.data(), buffer_.size()},
                                       {zeros, binLength - buffer_.size()}});
        }
        WriteBytes(staged_, path_, parts);
    } else {
        if (!buffer_.empty()) {
            const fs::path bin = fs::path(path_).parent_path() / (fs::path(path_).stem().string() + ".bin");
            WriteBytes(staged_, bin.string(), {{buffer_.data(), buffer_.size()}});
        }
        WriteBytes(staged_, path_, {{json.data(), json.size()}, {"\n", 1}});
    }
}

}  // namespace

float RoughnessFromPower(float power) {
    if (!(power > 0)) return 1.0f;
    return 1.0f - std::sqrt(std::min(power, 1000.0f) / 1000.0f);
}

bool WriteGltf(HostScene& scene, const std::string& path, const GltfWriteOptions& options, StagedFiles& staged,
               GltfWriteReport& report, std::string& error) {
    report = GltfWriteReport{};
    try {
        GltfWriter(scene, path, options, staged, report).Write();
        return true;
    } catch (const WriteError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "the scene does not fit in memory as a glTF file";
    } catch (const std::exception& e) {
        error = e.what();
    }
    return false;
}
