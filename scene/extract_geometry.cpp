#include "scene/extract_geometry.h"

#include "scene/xnode.h"
#include "sdk/node.h"
#include "sdk/object.h"

namespace {

// Mesh channels the copy keeps: every map channel, normals and selections.
constexpr uint64_t kMeshCopyChannels = 0x800027FFull;

bool IsDeformer(const Modifier& modifier) {
    const Class_ID id = modifier.ClassID();
    return id == kSkinClassId || id == kLinkDeformerClassId;
}

// Walks the node's stack from the top, level by level, and returns the first enabled modifier
// of class `wanted` (its level in *level), or null when the walk leaves the derived objects.
Modifier* FindModifier(INode* hostNode, bool (*wanted)(const Modifier&), IDerivedObject** level) {
    if (!hostNode) return nullptr;
    Object* object = hostNode->GetObjectRef();
    while (object && object->IsDerived()) {
        auto* derived = static_cast<IDerivedObject*>(object);
        const int count = derived->NumModifiers();
        for (int i = 0; i < count; ++i) {
            Modifier* modifier = derived->GetModifier(i);
            if (!modifier || !modifier->IsEnabled()) continue;
            if (wanted(*modifier)) {
                if (level) *level = derived;
                return modifier;
            }
        }
        object = derived->GetObjRef();
    }
    return nullptr;
}

}  // namespace

Object* FindUndeformedObject(INode* hostNode) {
    if (!hostNode) return nullptr;
    Object* top = hostNode->GetObjectRef();
    if (!top) return nullptr;
    IDerivedObject* level = nullptr;
    if (FindModifier(hostNode, IsDeformer, &level)) return level->GetObjRef();
    return top;
}

Modifier* FindSkinModifier(INode* hostNode) {
    return FindModifier(hostNode, [](const Modifier& m) { return m.ClassID() == kSkinClassId; }, nullptr);
}

Modifier* FindLinkModifier(INode* hostNode) {
    return FindModifier(hostNode, [](const Modifier& m) { return m.ClassID() == kLinkDeformerClassId; }, nullptr);
}

bool XRenderableNode::ExtractGeometry(TimeValue t) {
    if (!hostNode) return false;
    if (mesh) return true;
    ownsConvertedObject = false;

    Object* object = FindUndeformedObject(hostNode);
    if (!object) return false;
    Object* evaluated = object->Eval(t).obj;
    if (!evaluated) return false;

    // The deformers' points: always the evaluated object's own, so that the skin remapping can
    // rely on every entry having a source.
    const int pointCount = evaluated->NumPoints() > 0 ? evaluated->NumPoints() : 0;
    objectPoints.clear();
    objectPoints.reserve(static_cast<size_t>(pointCount));
    for (int i = 0; i < pointCount; ++i) objectPoints.push_back(evaluated->GetPoint(i));

    // Patches are tessellated by the host with a table of the patch each face came from. An
    // evaluated object that is no longer a patch (a modifier above turned it into something
    // else) takes the ordinary conversion.
    if (kind == PatchObjectKind) {
        auto* patch = evaluated->ClassID() == kPatchObjectClassId ? dynamic_cast<PatchObject*>(evaluated) : nullptr;
        if (patch) {
            patchMesh = &patch->GetPatchMesh(t);
            patchTable.clear();
            if (patch->ConvertToMeshWithTable(meshCopy, patchTable)) mesh = &meshCopy;
        }
        if (!mesh) {
            kind = MeshObject;  // the node continues as an ordinary mesh
            patchTable.clear();
        }
    }

    if (!mesh) {
        if (!evaluated->CanConvertToType(kTriObjectClassId)) return false;
        convertedObject = evaluated->ConvertToType(t, kTriObjectClassId);
        if (!convertedObject) return false;
        if (convertedObject != evaluated) ownsConvertedObject = true;
        auto* tri = dynamic_cast<TriObject*>(convertedObject);
        if (tri) {
            meshCopy.DeepCopy(tri->GetMesh(), kMeshCopyChannels);
            mesh = &meshCopy;
        }
    }

    if (mesh && mesh->getNumFaces() >= 1 && mesh->getNumVerts() >= 1) {
        if (objectPoints.size() != static_cast<size_t>(mesh->getNumVerts())) topologyChanged = true;
        return true;
    }

    if (ownsConvertedObject && convertedObject) convertedObject->DeleteMe();
    convertedObject = nullptr;
    ownsConvertedObject = false;
    mesh = nullptr;
    return false;
}
