// The stand-in host's scene objects: triangle meshes, shapes, helpers and other classed objects,
// Bezier patches, NURBS surfaces, and modifier stacks (derived objects holding modifiers).
//
// Every object the host makes also derives from HostObject, which gives the host (and the scene
// document writer) the operations the SDK surface does not: its kind, a copy, and point edits.
// Objects that belong to a scene are owned by the HostScene; objects handed out by
// ConvertToType are temporaries that their receiver frees with DeleteMe().
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdk/object.h"

// What kind of host object this is. Decides the document's "type" and the default class ids.
enum class HostObjectKind {
    Mesh,      // triangle-mesh object, class (9, 0), super class 0x10
    Shape,     // polyline shape, super class 0x40; a closed one converts to a filled polygon
    Helper,    // helper object, super class 0x50 (the dummy is a helper with the dummy class)
    Classed,   // any other object given by class and super class (bones, biped, target, camera,
               // light, generic geometry); may carry a mesh it converts to
    Patch,     // Bezier patch object, class (0x1030, 0)
    Nurbs,     // NURBS surface, class (0x4135, 0) unless given
};

// Host-side operations shared by all host objects (mixin next to the SDK base class).
class HostObject {
public:
    virtual ~HostObject() = default;
    virtual HostObjectKind Kind() const = 0;
    // A new, independent copy with the same class ids and data.
    virtual std::unique_ptr<Object> Clone() const = 0;
    // Moves point i (same numbering as Object::GetPoint); out-of-range indices are ignored.
    virtual void SetPoint(int i, const Point3& p) = 0;
    // A temporary is deleted by DeleteMe(); scene-owned objects ignore DeleteMe().
    bool IsTemporary() const { return temporary_; }
    void SetTemporary(bool on) { temporary_ = on; }

private:
    bool temporary_ = false;
};

// The HostObject side of an SDK object, or null when obj is not a host object.
HostObject* AsHostObject(Object* obj);
const HostObject* AsHostObject(const Object* obj);

// A triangle-mesh object. ConvertToType(t, (9, 0)) returns the object itself.
class HostTriObject final : public TriObject, public HostObject {
public:
    HostTriObject() = default;
    explicit HostTriObject(const Mesh& mesh) : mesh_(mesh) {}
    explicit HostTriObject(Mesh&& mesh) : mesh_(std::move(mesh)) {}

    Class_ID ClassID() const override { return kTriObjectClassId; }
    SClass_ID SuperClassID() const override { return kGeomObjectClassId; }
    void DeleteMe() override;
    ObjectState Eval(TimeValue) override { return {this}; }
    int NumPoints() override { return mesh_.getNumVerts(); }
    Point3 GetPoint(int i) override;
    bool CanConvertToType(Class_ID type) override { return type == kTriObjectClassId; }
    Object* ConvertToType(TimeValue t, Class_ID type) override;
    Mesh& GetMesh() override { return mesh_; }
    const Mesh& mesh() const { return mesh_; }

    HostObjectKind Kind() const override { return HostObjectKind::Mesh; }
    std::unique_ptr<Object> Clone() const override { return std::make_unique<HostTriObject>(mesh_); }
    void SetPoint(int i, const Point3& p) override;

private:
    Mesh mesh_;
};

// A polyline in the object's space. A closed shape with three or more points converts to a
// triangle fan around its first point; an open shape does not convert.
class HostShapeObject final : public Object, public HostObject {
public:
    HostShapeObject() = default;
    HostShapeObject(std::vector<Point3> points, bool closed) : points_(std::move(points)), closed_(closed) {}

    Class_ID ClassID() const override { return classId_; }
    SClass_ID SuperClassID() const override { return kShapeClassId; }
    void DeleteMe() override;
    ObjectState Eval(TimeValue) override { return {this}; }
    int NumPoints() override { return static_cast<int>(points_.size()); }
    Point3 GetPoint(int i) override;
    bool CanConvertToType(Class_ID type) override;
    Object* ConvertToType(TimeValue t, Class_ID type) override;

    HostObjectKind Kind() const override { return HostObjectKind::Shape; }
    std::unique_ptr<Object> Clone() const override;
    void SetPoint(int i, const Point3& p) override;

    const std::vector<Point3>& points() const { return points_; }
    bool closed() const { return closed_; }
    void SetClassId(Class_ID id) { classId_ = id; }

private:
    std::vector<Point3> points_;
    bool closed_ = true;
    Class_ID classId_{0x0A, 0};  // the host's line shape
};

// An object known only by its class and super class: helpers, the dummy, bones and bone-like
// objects, biped parts, targets, cameras, lights, generic geometry. When it carries a mesh and
// its super class is geometry (0x10) or shape (0x40), it converts to a new triangle-mesh
// temporary holding that mesh; its points are the mesh's vertices.
class HostClassedObject final : public Object, public HostObject {
public:
    HostClassedObject(Class_ID classId, SClass_ID superClassId) : classId_(classId), superClassId_(superClassId) {}

    Class_ID ClassID() const override { return classId_; }
    SClass_ID SuperClassID() const override { return superClassId_; }
    void DeleteMe() override;
    ObjectState Eval(TimeValue) override { return {this}; }
    int NumPoints() override { return mesh_ ? mesh_->getNumVerts() : 0; }
    Point3 GetPoint(int i) override;
    bool CanConvertToType(Class_ID type) override;
    Object* ConvertToType(TimeValue t, Class_ID type) override;

    HostObjectKind Kind() const override {
        return superClassId_ == kHelperClassId ? HostObjectKind::Helper : HostObjectKind::Classed;
    }
    std::unique_ptr<Object> Clone() const override;
    void SetPoint(int i, const Point3& p) override;

    void SetMesh(const Mesh& mesh) { mesh_ = std::make_unique<Mesh>(mesh); }
    const Mesh* mesh() const { return mesh_.get(); }

private:
    Class_ID classId_;
    SClass_ID superClassId_;
    std::unique_ptr<Mesh> mesh_;
};

// The handles of one Bezier patch, indices into PatchMesh::vecs.
// Quad patch with corners c0 c1 c2 c3 (in order around the patch): edge k runs from corner k to
// corner k+1 (mod 4); vec[2k] is its handle next to corner k, vec[2k+1] the one next to corner
// k+1; interior[k] is the interior point next to corner k.
// Triangle patch with corners c0 c1 c2: edges as above over three corners (vec[0..5]); one
// interior point interior[0] (the centre control point of the cubic triangle).
struct PatchHandles {
    uint32_t vec[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint32_t interior[4] = {0, 0, 0, 0};
};

// Patch object: Bezier patches over corner vertices and handle vectors. Its points are the
// corner vertices followed by the handle and interior vectors. Tessellation evaluates every
// patch at `steps` subdivisions per edge (see patch_tessellation.h).
class HostPatchObject final : public PatchObject, public HostObject {
public:
    HostPatchObject() = default;

    Class_ID ClassID() const override { return kPatchObjectClassId; }
    SClass_ID SuperClassID() const override { return kGeomObjectClassId; }
    void DeleteMe() override;
    ObjectState Eval(TimeValue) override { return {this}; }
    int NumPoints() override;
    Point3 GetPoint(int i) override;
    bool CanConvertToType(Class_ID type) override { return type == kTriObjectClassId; }
    Object* ConvertToType(TimeValue t, Class_ID type) override;
    PatchMesh& GetPatchMesh(TimeValue) override { return patchMesh_; }
    bool ConvertToMeshWithTable(Mesh& mesh, std::vector<int>& patchTable) override;

    HostObjectKind Kind() const override { return HostObjectKind::Patch; }
    std::unique_ptr<Object> Clone() const override;
    void SetPoint(int i, const Point3& p) override;

    // Adds a corner vertex; returns its index.
    uint32_t AddVertex(const Point3& p);
    // Adds a handle or interior vector; returns its index.
    uint32_t AddVector(const Point3& p);
    // Adds a patch (type 3 or 4) with explicit handles. Indices are the caller's to check.
    void AddPatch(int type, const uint32_t corners[4], const PatchHandles& handles);
    // Adds a patch whose handles make it flat: edge handles at thirds of the edges and interior
    // points on the bilinear (quad) or planar (triangle) surface through the corners.
    void AddFlatPatch(int type, const uint32_t corners[4]);

    const PatchMesh& patchMesh() const { return patchMesh_; }
    const std::vector<PatchHandles>& handles() const { return handles_; }
    int steps() const { return steps_; }
    void SetSteps(int steps) { steps_ = steps; }

private:
    PatchMesh patchMesh_;
    std::vector<PatchHandles> handles_;  // one per patch
    int steps_ = 2;
};

// A rational B-spline surface with clamped uniform knots, tessellated on a regular grid.
struct NurbsSurface {
    int uCount = 0, vCount = 0;    // control points per direction; point (i, j) is points[j * uCount + i]
    int uDegree = 3, vDegree = 3;  // 1 <= degree < count
    std::vector<Point3> points;
    std::vector<float> weights;    // one per point, > 0; empty means all 1
    int uSegments = 0, vSegments = 0;  // grid cells per direction; 0 means 2 * (count - 1)
};

// NURBS surface object. Its points are the control points; its triangle mesh is the
// tessellation, which has (uSegments + 1) * (vSegments + 1) vertices.
class HostNurbsObject final : public Object, public HostObject {
public:
    explicit HostNurbsObject(NurbsSurface surface) : surface_(std::move(surface)) {}

    Class_ID ClassID() const override { return classId_; }
    SClass_ID SuperClassID() const override { return kGeomObjectClassId; }
    void DeleteMe() override;
    ObjectState Eval(TimeValue) override { return {this}; }
    int NumPoints() override { return static_cast<int>(surface_.points.size()); }
    Point3 GetPoint(int i) override;
    bool CanConvertToType(Class_ID type) override { return type == kTriObjectClassId; }
    Object* ConvertToType(TimeValue t, Class_ID type) override;

    HostObjectKind Kind() const override { return HostObjectKind::Nurbs; }
    std::unique_ptr<Object> Clone() const override;
    void SetPoint(int i, const Point3& p) override;

    const NurbsSurface& surface() const { return surface_; }
    void SetClassId(Class_ID id) { classId_ = id; }

private:
    NurbsSurface surface_;
    Class_ID classId_ = kNurbsClassId1;
};

// What a modifier is in the stand-in host.
enum class HostModifierKind {
    Edit,          // changes geometry (translate points, delete faces)
    Skin,          // the skin deformer, class (0x95C723, 0x15666)
    LinkDeformer,  // the vertex-link deformer, class (0x100, 0)
    Generic,       // any other modifier by class id; leaves the geometry unchanged
};

// A modifier on a stack level. Apply returns the modified object, or null when it passes its
// input through unchanged. Deformer interfaces are not offered yet: GetInterface gives null.
class HostModifier : public Modifier {
public:
    HostModifier(HostModifierKind kind, Class_ID classId) : kind_(kind), classId_(classId) {}

    Class_ID ClassID() const override { return classId_; }
    SClass_ID SuperClassID() const override { return kOsmClassId; }
    uint32_t GetFlags() const override { return flags_; }

    HostModifierKind Kind() const { return kind_; }
    void SetEnabled(bool enabled);
    void SetFlags(uint32_t flags) { flags_ = flags; }
    virtual std::unique_ptr<Object> Apply(Object& input, TimeValue t) const;
    virtual std::unique_ptr<HostModifier> Clone() const { return std::make_unique<HostModifier>(*this); }

private:
    HostModifierKind kind_;
    Class_ID classId_;
    uint32_t flags_ = 0;
};

// The host's private class id of the edit modifier.
inline constexpr Class_ID kHostEditModifierClassId{0x504C4F56, 0x45444954};

// The edit modifier: first moves points by `translation` (all points, or only those listed),
// then deletes the listed faces. Deleting faces turns the input into a triangle mesh.
// Indices that are out of range for the input are ignored.
class HostEditModifier final : public HostModifier {
public:
    HostEditModifier() : HostModifier(HostModifierKind::Edit, kHostEditModifierClassId) {}

    Point3 translation;
    std::vector<uint32_t> points;       // points to move; empty means every point
    std::vector<uint32_t> deleteFaces;  // faces of the (converted) mesh to remove

    std::unique_ptr<Object> Apply(Object& input, TimeValue t) const override;
    std::unique_ptr<HostModifier> Clone() const override { return std::make_unique<HostEditModifier>(*this); }
};

// One level of a modifier stack. Modifier 0 is applied first (bottom of the level), the last
// one last. Eval applies the enabled modifiers to the evaluated object beneath; the result is
// kept per time for the life of the level, so pointers from Eval stay valid.
class HostDerivedObject final : public IDerivedObject {
public:
    explicit HostDerivedObject(Object* objRef) : objRef_(objRef) {}

    Class_ID ClassID() const override { return {kGenDerivObjClassId, 0}; }
    SClass_ID SuperClassID() const override { return kGenDerivObjClassId; }
    ObjectState Eval(TimeValue t) override;
    Object* FindBaseObject() override;
    int NumPoints() override;
    Point3 GetPoint(int i) override;
    bool CanConvertToType(Class_ID type) override;
    Object* ConvertToType(TimeValue t, Class_ID type) override;

    int NumModifiers() override { return static_cast<int>(modifiers_.size()); }
    Modifier* GetModifier(int i) override;
    Object* GetObjRef() override { return objRef_; }

    HostModifier& AddModifier(std::unique_ptr<HostModifier> modifier);
    const std::vector<std::unique_ptr<HostModifier>>& modifiers() const { return modifiers_; }
    // Drops cached evaluations (after the stack or the object beneath was edited).
    void Invalidate() { cache_.clear(); }

private:
    struct Evaluation {
        std::vector<std::unique_ptr<Object>> owned;  // intermediate and final results
        Object* result = nullptr;
    };
    Object* objRef_;
    std::vector<std::unique_ptr<HostModifier>> modifiers_;
    std::map<TimeValue, Evaluation> cache_;
};

// A box mesh centred on the origin: 8 vertices, 12 faces, smoothing group 1 per side pair,
// material ids 0 to 5 by side.
Mesh MakeBoxMesh(float width, float length, float height);
