#include "scene/extract_geometry.h"

#include "scene/xnode.h"
#include "sdk/node.h"
#include "sdk/object.h"

namespace {

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

// The evaluated object's triangle mesh: its own when it is a triangle-mesh object, else that of
// the conversion's temporary, which the node then owns until ReleaseMesh.
const Mesh* XRenderableNode::ConvertedMesh(Object* evaluated, TimeValue t) {
    if (ownsConvertedObject) {
        auto* tri = dynamic_cast<TriObject*>(convertedObject);
        return tri ? &tri->GetMesh() : nullptr;
    }
    if (!evaluated->CanConvertToType(kTriObjectClassId)) return nullptr;
    Object* converted = evaluated->ConvertToType(t, kTriObjectClassId);
    if (!converted) return nullptr;
    if (converted != evaluated) {
        convertedObject = converted;
        ownsConvertedObject = true;
    }
    auto* tri = dynamic_cast<TriObject*>(converted);
    return tri ? &tri->GetMesh() : nullptr;
}

bool XRenderableNode::ExtractGeometry(TimeValue t) {
    if (!hostNode) return false;
    if (hasGeometry) return true;

    Object* object = FindUndeformedObject(hostNode);
    if (!object) return false;
    Object* evaluated = object->Eval(t).obj;
    if (!evaluated) return false;
    // The deformers' points are always the evaluated object's own, so that the skin remapping
    // can rely on every entry having a source; they are read in the data pass.
    pointCount = evaluated->NumPoints() > 0 ? static_cast<uint32_t>(evaluated->NumPoints()) : 0;

    // Patches are tessellated by the host with a table of the patch each face came from. An
    // evaluated object that is no longer a patch (a modifier above turned it into something
    // else) takes the ordinary conversion.
    if (kind == PatchObjectKind) {
        auto* patch = evaluated->ClassID() == kPatchObjectClassId ? dynamic_cast<PatchObject*>(evaluated) : nullptr;
        if (patch) {
            patchTable.clear();
            if (patch->ConvertToMeshWithTable(meshCopy, patchTable)) mesh = &meshCopy;
        }
        if (!mesh) {
            kind = MeshObject;  // the node continues as an ordinary mesh
            patchTable.clear();
        }
    }
    if (!mesh) mesh = ConvertedMesh(evaluated, t);

    if (mesh && mesh->getNumFaces() >= 1 && mesh->getNumVerts() >= 1) {
        faceCount = static_cast<uint32_t>(mesh->getNumFaces());
        vertCount = static_cast<uint32_t>(mesh->getNumVerts());
        hasColorChannel = mesh->mapSupport(kVertexColorChannel) && mesh->getNumMapVerts(kVertexColorChannel) > 0;
        hasSecondUvChannel = mesh->mapSupport(2) && mesh->getNumMapVerts(2) > 0;
        if (pointCount != vertCount) topologyChanged = true;
        hasGeometry = true;
        // A mesh the node does not own is evaluated again when it is read.
        mesh = nullptr;
        return true;
    }
    ReleaseMesh();
    return false;
}

bool XRenderableNode::AcquireMesh(TimeValue t, bool withPoints) {
    if (mesh) return true;
    if (!hasGeometry || !hostNode) return false;
    Object* object = FindUndeformedObject(hostNode);
    if (!object) return false;
    Object* evaluated = object->Eval(t).obj;
    if (!evaluated) return false;

    if (kind == PatchObjectKind) {
        auto* patch = evaluated->ClassID() == kPatchObjectClassId ? dynamic_cast<PatchObject*>(evaluated) : nullptr;
        if (!patch) return false;
        patchMesh = &patch->GetPatchMesh(t);
        mesh = &meshCopy;
    } else {
        mesh = ConvertedMesh(evaluated, t);
        if (!mesh) return false;
    }
    pointCount = evaluated->NumPoints() > 0 ? static_cast<uint32_t>(evaluated->NumPoints()) : 0;
    if (pointCount != static_cast<uint32_t>(mesh->verts.size())) topologyChanged = true;
    // Only the remappings compare the points with the mesh; a mesh that is the point list one to
    // one needs just their count.
    if (withPoints && topologyChanged) {
        objectPoints.clear();
        objectPoints.reserve(pointCount);
        for (uint32_t i = 0; i < pointCount; ++i) objectPoints.push_back(evaluated->GetPoint(static_cast<int>(i)));
    }
    return true;
}

void XRenderableNode::ReleaseMesh() {
    mesh = nullptr;
    patchMesh = nullptr;
    if (ownsConvertedObject && convertedObject) convertedObject->DeleteMe();
    convertedObject = nullptr;
    ownsConvertedObject = false;
    meshCopy = Mesh();
    std::vector<int>().swap(patchTable);
    std::vector<Point3>().swap(objectPoints);
}
