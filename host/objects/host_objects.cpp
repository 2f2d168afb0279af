#include "host/objects/host_objects.h"

#include <algorithm>

#include "host/objects/tessellation.h"

namespace {

// Hands out a converted object: marked temporary so that its receiver's DeleteMe() frees it.
Object* Temporary(std::unique_ptr<Object> object) {
    if (HostObject* host = AsHostObject(object.get())) host->SetTemporary(true);
    return object.release();
}

// Removes the listed faces from the mesh, with their map channel faces and specified normals
// (channels and normals that share the mesh's faces lose them with the mesh).
void DeleteMeshFaces(Mesh& mesh, const std::vector<uint32_t>& faceList) {
    const size_t faceCount = mesh.faces.size();
    std::vector<bool> doomed(faceCount, false);
    for (uint32_t f : faceList)
        if (f < faceCount) doomed[f] = true;
    auto keepFaces = [&](auto& faces) {
        if (faces.size() != faceCount) return;
        size_t out = 0;
        for (size_t f = 0; f < faceCount; ++f)
            if (!doomed[f]) faces[out++] = faces[f];
        faces.resize(out);
    };
    keepFaces(mesh.faces);
    for (int channel = kMapChannelMin; channel <= kMapChannelMax; ++channel)
        if (mesh.mapSupport(channel)) keepFaces(mesh.Map(channel).tf);
    if (MeshNormalSpec* normals = mesh.GetSpecifiedNormals()) keepFaces(normals->faces);
    mesh.setNumFaces(mesh.getNumFaces());  // marks the built normals out of date
}

template <class T>
void DeleteIfTemporary(T* object) {
    if (object->IsTemporary()) delete object;
}

}  // namespace

HostObject* AsHostObject(Object* obj) { return dynamic_cast<HostObject*>(obj); }
const HostObject* AsHostObject(const Object* obj) { return dynamic_cast<const HostObject*>(obj); }

// --- triangle mesh ---

void HostTriObject::DeleteMe() { DeleteIfTemporary(this); }

Point3 HostTriObject::GetPoint(int i) {
    return i >= 0 && i < mesh_.getNumVerts() ? mesh_.verts[i] : Point3{};
}

Object* HostTriObject::ConvertToType(TimeValue, Class_ID type) {
    return type == kTriObjectClassId ? this : nullptr;
}

void HostTriObject::SetPoint(int i, const Point3& p) {
    if (i >= 0 && i < mesh_.getNumVerts()) mesh_.verts[i] = p;
}

// --- shape ---

void HostShapeObject::DeleteMe() { DeleteIfTemporary(this); }

Point3 HostShapeObject::GetPoint(int i) {
    return i >= 0 && i < NumPoints() ? points_[i] : Point3{};
}

bool HostShapeObject::CanConvertToType(Class_ID type) {
    return type == kTriObjectClassId && closed_ && points_.size() >= 3;
}

Object* HostShapeObject::ConvertToType(TimeValue, Class_ID type) {
    if (!CanConvertToType(type)) return nullptr;
    Mesh mesh;
    mesh.verts = points_;
    mesh.setNumFaces(static_cast<int>(points_.size()) - 2);
    for (size_t i = 0; i + 2 < points_.size(); ++i) {
        Face& face = mesh.faces[i];
        face.v[0] = 0;
        face.v[1] = static_cast<uint32_t>(i + 1);
        face.v[2] = static_cast<uint32_t>(i + 2);
        face.smGroup = 1;
    }
    return Temporary(std::make_unique<HostTriObject>(std::move(mesh)));
}

std::unique_ptr<Object> HostShapeObject::Clone() const {
    auto copy = std::make_unique<HostShapeObject>(points_, closed_);
    copy->classId_ = classId_;
    return copy;
}

void HostShapeObject::SetPoint(int i, const Point3& p) {
    if (i >= 0 && i < NumPoints()) points_[i] = p;
}

// --- classed objects ---

void HostClassedObject::DeleteMe() { DeleteIfTemporary(this); }

Point3 HostClassedObject::GetPoint(int i) {
    return mesh_ && i >= 0 && i < mesh_->getNumVerts() ? mesh_->verts[i] : Point3{};
}

bool HostClassedObject::CanConvertToType(Class_ID type) {
    return type == kTriObjectClassId && mesh_ &&
           (superClassId_ == kGeomObjectClassId || superClassId_ == kShapeClassId);
}

Object* HostClassedObject::ConvertToType(TimeValue, Class_ID type) {
    if (!CanConvertToType(type)) return nullptr;
    return Temporary(std::make_unique<HostTriObject>(*mesh_));
}

std::unique_ptr<Object> HostClassedObject::Clone() const {
    auto copy = std::make_unique<HostClassedObject>(classId_, superClassId_);
    if (mesh_) copy->SetMesh(*mesh_);
    return copy;
}

void HostClassedObject::SetPoint(int i, const Point3& p) {
    if (mesh_ && i >= 0 && i < mesh_->getNumVerts()) mesh_->verts[i] = p;
}

// --- patches ---

void HostPatchObject::DeleteMe() { DeleteIfTemporary(this); }

int HostPatchObject::NumPoints() {
    return static_cast<int>(patchMesh_.verts.size() + patchMesh_.vecs.size());
}

Point3 HostPatchObject::GetPoint(int i) {
    const int cornerCount = patchMesh_.getNumVerts();
    if (i < 0 || i >= NumPoints()) return {};
    return i < cornerCount ? patchMesh_.verts[i].p : patchMesh_.vecs[i - cornerCount];
}

void HostPatchObject::SetPoint(int i, const Point3& p) {
    const int cornerCount = patchMesh_.getNumVerts();
    if (i < 0 || i >= NumPoints()) return;
    if (i < cornerCount)
        patchMesh_.verts[i].p = p;
    else
        patchMesh_.vecs[i - cornerCount] = p;
}

Object* HostPatchObject::ConvertToType(TimeValue, Class_ID type) {
    if (type != kTriObjectClassId) return nullptr;
    auto tri = std::make_unique<HostTriObject>();
    std::vector<int> table;
    if (!TessellatePatchMesh(patchMesh_, handles_, steps_, tri->GetMesh(), table)) return nullptr;
    return Temporary(std::move(tri));
}

bool HostPatchObject::ConvertToMeshWithTable(Mesh& mesh, std::vector<int>& patchTable) {
    return TessellatePatchMesh(patchMesh_, handles_, steps_, mesh, patchTable);
}

std::unique_ptr<Object> HostPatchObject::Clone() const {
    auto copy = std::make_unique<HostPatchObject>();
    copy->patchMesh_ = patchMesh_;
    copy->handles_ = handles_;
    copy->steps_ = steps_;
    return copy;
}

uint32_t HostPatchObject::AddVertex(const Point3& p) {
    patchMesh_.verts.push_back({p});
    return static_cast<uint32_t>(patchMesh_.verts.size() - 1);
}

uint32_t HostPatchObject::AddVector(const Point3& p) {
    patchMesh_.vecs.push_back(p);
    return static_cast<uint32_t>(patchMesh_.vecs.size() - 1);
}

void HostPatchObject::AddPatch(int type, const uint32_t corners[4], const PatchHandles& handles) {
    Patch patch;
    patch.type = type;
    std::copy(corners, corners + 4, patch.v);
    if (type == 3) patch.v[3] = 0;
    patchMesh_.patches.push_back(patch);
    handles_.push_back(handles);
}

void HostPatchObject::AddFlatPatch(int type, const uint32_t corners[4]) {
    const int n = type == 3 ? 3 : 4;
    Point3 c[4];
    for (int k = 0; k < n; ++k) c[k] = patchMesh_.verts[corners[k]].p;
    PatchHandles handles;
    for (int k = 0; k < n; ++k) {
        const Point3 a = c[k], b = c[(k + 1) % n];
        handles.vec[2 * k] = AddVector(a + (b - a) / 3.0f);
        handles.vec[2 * k + 1] = AddVector(a + (b - a) * (2.0f / 3.0f));
    }
    if (n == 3) {
        handles.interior[0] = AddVector((c[0] + c[1] + c[2]) / 3.0f);
    } else {
        // Bilinear surface through the corners: (u, v) with c0 at (0,0), c1 (1,0), c2 (1,1), c3 (0,1).
        auto bilinear = [&](float u, float v) {
            return c[0] * ((1 - u) * (1 - v)) + c[1] * (u * (1 - v)) + c[2] * (u * v) + c[3] * ((1 - u) * v);
        };
        handles.interior[0] = AddVector(bilinear(1.0f / 3, 1.0f / 3));
        handles.interior[1] = AddVector(bilinear(2.0f / 3, 1.0f / 3));
        handles.interior[2] = AddVector(bilinear(2.0f / 3, 2.0f / 3));
        handles.interior[3] = AddVector(bilinear(1.0f / 3, 2.0f / 3));
    }
    AddPatch(type, corners, handles);
}

// --- NURBS ---

void HostNurbsObject::DeleteMe() { DeleteIfTemporary(this); }

Point3 HostNurbsObject::GetPoint(int i) {
    return i >= 0 && i < NumPoints() ? surface_.points[i] : Point3{};
}

Object* HostNurbsObject::ConvertToType(TimeValue, Class_ID type) {
    if (type != kTriObjectClassId) return nullptr;
    auto tri = std::make_unique<HostTriObject>();
    if (!TessellateNurbsSurface(surface_, tri->GetMesh())) return nullptr;
    return Temporary(std::move(tri));
}

std::unique_ptr<Object> HostNurbsObject::Clone() const {
    auto copy = std::make_unique<HostNurbsObject>(surface_);
    copy->classId_ = classId_;
    return copy;
}

void HostNurbsObject::SetPoint(int i, const Point3& p) {
    if (i >= 0 && i < NumPoints()) surface_.points[i] = p;
}

// --- modifiers ---

void HostModifier::SetEnabled(bool enabled) {
    flags_ = enabled ? flags_ & ~kModifierDisabledFlag : flags_ | kModifierDisabledFlag;
}

std::unique_ptr<Object> HostModifier::Apply(Object&, TimeValue) const { return nullptr; }

std::unique_ptr<Object> HostEditModifier::Apply(Object& input, TimeValue t) const {
    const HostObject* host = AsHostObject(&input);
    if (!host) return nullptr;
    std::unique_ptr<Object> result = host->Clone();
    HostObject* out = AsHostObject(result.get());
    const int pointCount = result->NumPoints();
    if (points.empty()) {
        for (int i = 0; i < pointCount; ++i) out->SetPoint(i, result->GetPoint(i) + translation);
    } else {
        for (uint32_t i : points)
            if (i < static_cast<uint32_t>(pointCount))
                out->SetPoint(static_cast<int>(i), result->GetPoint(static_cast<int>(i)) + translation);
    }
    if (deleteFaces.empty()) return result;

    // Deleting faces needs a triangle mesh: convert, keeping the converted temporary if one was made.
    if (!result->CanConvertToType(kTriObjectClassId)) return result;
    Object* converted = result->ConvertToType(t, kTriObjectClassId);
    if (!converted) return result;
    std::unique_ptr<Object> tri;
    if (converted == result.get()) {
        tri = std::move(result);
    } else {
        tri.reset(converted);  // a temporary of ours: owned by this evaluation from now on
        if (HostObject* h = AsHostObject(converted)) h->SetTemporary(false);
    }
    DeleteMeshFaces(static_cast<HostTriObject&>(*tri).GetMesh(), deleteFaces);
    return tri;
}

// --- stack levels ---

HostModifier& HostDerivedObject::AddModifier(std::unique_ptr<HostModifier> modifier) {
    cache_.clear();
    modifiers_.push_back(std::move(modifier));
    return *modifiers_.back();
}

Modifier* HostDerivedObject::GetModifier(int i) {
    return i >= 0 && i < NumModifiers() ? modifiers_[i].get() : nullptr;
}

ObjectState HostDerivedObject::Eval(TimeValue t) {
    auto found = cache_.find(t);
    if (found != cache_.end()) return {found->second.result};
    if (!objRef_) return {};
    Evaluation evaluation;
    Object* current = objRef_->Eval(t).obj;
    if (!current) return {};
    for (const auto& modifier : modifiers_) {
        if (!modifier->IsEnabled()) continue;
        std::unique_ptr<Object> out = modifier->Apply(*current, t);
        if (!out) continue;
        current = out.get();
        evaluation.owned.push_back(std::move(out));
    }
    evaluation.result = current;
    cache_.emplace(t, std::move(evaluation));
    return {current};
}

Object* HostDerivedObject::FindBaseObject() { return objRef_ ? objRef_->FindBaseObject() : nullptr; }

int HostDerivedObject::NumPoints() {
    Object* evaluated = Eval(0).obj;
    return evaluated ? evaluated->NumPoints() : 0;
}

Point3 HostDerivedObject::GetPoint(int i) {
    Object* evaluated = Eval(0).obj;
    return evaluated ? evaluated->GetPoint(i) : Point3{};
}

bool HostDerivedObject::CanConvertToType(Class_ID type) {
    Object* evaluated = Eval(0).obj;
    return evaluated && evaluated->CanConvertToType(type);
}

Object* HostDerivedObject::ConvertToType(TimeValue t, Class_ID type) {
    Object* evaluated = Eval(t).obj;
    return evaluated ? evaluated->ConvertToType(t, type) : nullptr;
}

// --- helpers ---

Mesh MakeBoxMesh(float width, float length, float height) {
    const float x = width / 2, y = length / 2, z = height / 2;
    Mesh mesh;
    mesh.verts = {{-x, -y, -z}, {x, -y, -z}, {-x, y, -z}, {x, y, -z},
                  {-x, -y, z},  {x, -y, z},  {-x, y, z},  {x, y, z}};
    // Two triangles per side, counter-clockwise seen from outside: bottom, top, front, right, back, left.
    static const uint32_t kFaces[12][3] = {{0, 2, 3}, {3, 1, 0}, {4, 5, 7}, {7, 6, 4}, {0, 1, 5}, {5, 4, 0},
                                           {1, 3, 7}, {7, 5, 1}, {3, 2, 6}, {6, 7, 3}, {2, 0, 4}, {4, 6, 2}};
    mesh.setNumFaces(12);
    for (int f = 0; f < 12; ++f) {
        Face& face = mesh.faces[f];
        std::copy(kFaces[f], kFaces[f] + 3, face.v);
        face.smGroup = 1u << (f / 2);
        face.setMatID(static_cast<MtlID>(f / 2));
    }
    return mesh;
}
