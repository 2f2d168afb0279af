// What the interchange importers (Assimp's scenes, and glTF read directly) share: the change of
// axes, unique names, embedded images written out as files, bitmap maps shared between
// materials, the multi-material of a node, skin bones from offset matrices, and the layout of
// animations as clips one after another on the timeline.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>


#include "host/import/interchange_import.h"
#include "host/objects/host_deformers.h"
#include "host/objects/host_materials.h"
#include "host/objects/host_scene.h"

// The file's axes in the host's: a rotation that takes the file's up axis to Z. Points become
// p * axes; transforms T become Inverse(axes) * T * axes, which keeps every product of
// transforms consistent (a node's world transform turns the same way as its local one).
struct AxisChange {
    Matrix3 axes;     // file -> host
    Matrix3 inverse;  // host -> file

    Point3 Point(const Point3& p) const { return axes.PointTransform(p); }
    Point3 Vector(const Point3& v) const { return axes.VectorTransform(v); }
    Matrix3 Transform(const Matrix3& m) const { return inverse * m * axes; }
    // A scale turns with the axes: its factors change places.
    Point3 Scale(const Point3& s) const;
};

// Exact rotations (no rounding from sin and cos) of the file's up axis (0 X, 1 Y, 2 Z; sign
// negative for a downward axis) onto the host's Z.
AxisChange MakeAxisChange(int upAxis, int upSign);

bool Finite(const Matrix3& m);
bool Finite(const Point3& p);

// Makes names unique within one family (materials, maps) by a numeric suffix.
class UniqueNames {
public:
    std::string Make(std::string name, const std::string& fallback);

private:
    std::set<std::string> used_;
};

// The absolute, normal form of a texture file a model names; a relative name is taken from the
// model's folder.
std::string ModelRelativeFile(const std::string& modelPath, const std::string& reference);

// The texture file a model names (ModelRelativeFile), kept inside the model's folder tree
// unless options.allowOutsideFiles: a reference that leads out of it (an absolute path, "..",
// a symbolic link) becomes its file name in the model's folder, where the exporter's search
// looks, and options.warnings gets a line naming the reference.
std::string ModelTextureFile(const std::string& modelPath, const std::string& reference, const ImportOptions& options);

// Why a data file (a buffer) that a model names may not be read: empty when it may; otherwise
// "<reference> is outside the model's folder <folder> (--allow-outside-files reads it)" or
// "<file> is not a regular file" and the like.
std::string ModelDataFileProblem(const std::string& modelPath, const std::string& file, const std::string& reference,
                                 bool allowOutsideFiles);

// Writes the images stored inside a model as image files (see ImportOptions for where).
class EmbeddedImages {
public:
    EmbeddedImages(const std::string& modelPath, const ImportOptions& options) : path_(modelPath), options_(options) {}

    // Writes bytes as an image file and returns its absolute path; empty with problem set when it
    // cannot be written. The image keeps its own name (`nameInFile`: its name in the file, or its
    // original file's); an image without one is named after the model and its place (`index`)
    // among the model's images. The extension is the image format the bytes are (see
    // ImageExtensionOfBytes; "bin" for none), whatever the file says. Names are made unique
    // ignoring letter case, as the exported files may land on a file system that ignores it.
    // Outside a private folder an existing file is replaced only when it is an image of the kind
    // its name says and not the model itself; otherwise the image takes the next free name.
    std::string Write(std::string_view bytes, const std::string& nameInFile, size_t index, std::string& problem);

private:
    const std::string& path_;
    const ImportOptions& options_;
    std::set<std::string> names_;  // written image file names, lower case
};

// The materials of one import: unique material and map names, one bitmap map per file and
// mapping, one multi-material per set of materials.
class ImportedMaterials {
public:
    explicit ImportedMaterials(HostScene& scene) : scene_(scene) {}

    std::string MaterialName(const std::string& name, const std::string& fallback) {
        return materialNames_.Make(name, fallback);
    }
    // Puts the bitmap of `file` in the material's slot (through a normal-bump map for a normal map)
    // and enables the slot.
    void AddMap(HostStdMaterial& material, int slot, const std::string& file, int channel, int tiling,
                const Matrix3& uvTransform, bool normalMap);
    // The node's material: the one material it uses, or a multi-material (named after the node)
    // of the materials it uses, in their order.
    Mtl* ForNode(const std::vector<unsigned>& indices, const std::string& nodeName,
                 const std::function<Mtl*(unsigned)>& material);

private:
    HostScene& scene_;
    UniqueNames materialNames_, mapNames_;
    std::map<std::string, Texmap*> bitmaps_;  // by file and mapping
    std::map<std::vector<unsigned>, Mtl*> multiMaterials_;
};

// The host material of a standard material described by its colours: diffuse (alpha is the
// opacity, lowered further by `opacity` when given), the specular colour and strength when
// given, the specular exponent when given, and the emission.
struct ImportedColours {
    Color diffuse;
    float diffuseAlpha = 1;
    bool hasDiffuse = false;
    float opacity = 1;
    bool hasOpacity = false;
    Color specular;
    bool hasSpecular = false;
    float specularStrength = 1;
    float shininess = 0;
    bool hasShininess = false;
    Color emission;
};
void SetMaterialColours(HostStdMaterial& material, const ImportedColours& colours);

// A bone of a skin whose bind pose comes from the file's offset matrix (mesh space to bone space
// at bind time, in host axes): the exporter's bone offsets, the mesh pose times the inverse bone
// pose, give the file's offsets back. False when the matrix gives no finite pose.
bool SkinBoneFromOffset(HostDeformerBone& bone, HostNode& node, const Matrix3& offset, const Matrix3& meshPose);

// What one node's merged mesh holds: all its parts' vertices and triangles; a channel present
// in any part is given to all.
struct MergedMeshShape {
    uint64_t vertices = 0, faces = 0;
    uint64_t normalCount = 0;  // specified normals: a part's vertices when it has normals, else its faces
    bool normals = false, colours = false;
    bool partWithoutNormals = false;  // some part has none: its faces get flat normals
    int uvSets = 0;
};

// Sizes the mesh's arrays for the shape: positions, faces, texture channels 1..uvSets (zero),
// colour and alpha channels (white), specified normals (appended by the caller). Every
// attribute is indexed by the vertex, so the channels share the mesh's faces, and so do the
// normals when every part has them (a normal per vertex, appended in vertex order); otherwise
// the normals get faces of their own, sized here. False with problem set when the shape is more
// than the host takes.
bool PrepareMergedMesh(::Mesh& out, const MergedMeshShape& shape, const std::string& nodeName, std::string& problem);

// The normal of a face without specified normals: its plane's.
inline Point3 FlatNormal(const ::Mesh& mesh, const Face& face) {
    const Point3& a = mesh.verts[face.v[0]];
    return Normalize((mesh.verts[face.v[1]] - a) ^ (mesh.verts[face.v[2]] - a));
}

// Checks the mesh's vertices, zeroes normals that are not finite, and makes the mesh the node's
// object. False with problem set when a vertex is not finite.
bool FinishMergedMesh(HostScene& scene, HostNode& node, ::Mesh&& mesh, std::string& problem);

// Gives a node without geometry its object: a bone when a skin uses it as a joint, a camera or a
// light when the file says so (a light wins), a dummy otherwise.
void SetEmptyNodeObject(HostScene& scene, HostNode& node, bool bone, bool camera, bool light);

// ---------------------------------------------------------------------------------------------
// Animation

// The keys of one node's channel in one animation, in host values and ticks from its start.
template <class Value>
struct ImportedKeys {
    std::vector<TimeValue> times;
    std::vector<Value> values;
    uint32_t notAfter = 0;   // keys left out: at or before the key kept before them
    uint32_t notFinite = 0;  // keys left out: a value that is not finite in the host's axes

    // A key at or before the last one kept is left out (of keys that land on one tick, the
    // first is kept), and so is a key whose value is not finite; both are counted, so that the
    // user is told (LayOutAnimations).
    void Push(TimeValue tick, const Value& value, bool finite = true) {
        if (!finite) {
            ++notFinite;
        } else if (!times.empty() && tick <= times.back()) {
            ++notAfter;
        } else {
            times.push_back(tick);
            values.push_back(value);
        }
    }
    void Reserve(size_t more) {
        times.reserve(times.size() + more);
        values.reserve(values.size() + more);
    }
};

struct ImportedNodeKeys {
    ImportedKeys<Point3> position;
    ImportedKeys<Quat> rotation;
    ImportedKeys<Point3> scale;

    // Room for more keys of the translation (slot 0), rotation (1) or scale (2).
    void Reserve(int slot, size_t more) {
        if (slot == 0) position.Reserve(more);
        else if (slot == 1) rotation.Reserve(more);
        else if (slot == 2) scale.Reserve(more);
    }
};

// One animation of the file: its name, the keys of every node it moves, and its length in ticks
// (its last key, or its duration when that comes later). `fits` is false when a key or the
// length does not fit the timeline.
struct ImportedAnimation {
    std::string name;
    std::map<HostNode*, ImportedNodeKeys> nodes;
    TimeValue last = 0;
    bool fits = true;
};

// Ticks from a key time in the animation's own units; false when it does not fit the timeline.
bool KeyTick(double time, double ticksPerSecond, TimeValue& tick);

// The latest key of the animation's channels.
TimeValue LastKey(const ImportedAnimation& animation);

// The frame rate whose frames hold every key time and length of the animations exactly: 30 when
// it does, else the lowest rate from 24 to 120 that divides the ticks per second and does, else
// (times between the frames of all of them) 30.
int FrameRateOfKeys(const std::vector<ImportedAnimation>& animations);

// Lays the animations out one after another on the scene's timeline (one free frame between
// clips), gives every node they move keyed position, rotation and scale tracks (a clip that leaves
// a channel alone holds the node's rest value), and sets the scene's animation range. `clips`
// receives one clip per animation. Each channel that left keys out gets an import warning naming
// the animation, the node and the channel. False with error set (naming path) when an animation is too
// long for the timeline.
// A frameRate of 0 takes FrameRateOfKeys and sets the scene's timeline to it.
bool LayOutAnimations(HostScene& scene, std::vector<ImportedAnimation>& animations, int frameRate,
                      std::vector<ImportedClip>* clips, const std::string& path, std::string& error);

// Checks the frame rate and sets the scene's timeline and file path as every import starts. A
// frameRate of 0 (chosen from the key times once they are read) starts the timeline at 30.
bool StartImportedScene(HostScene& scene, const std::string& path, int frameRate, std::string& error);
