#include "host/objects/scene_builder.h"

HostNode& SceneBuilder::Node(const std::string& name, HostNode* parent) { return Parent(parent).AddChild(name); }

HostNode& SceneBuilder::Mesh(const std::string& name, HostNode* parent) {
    return Mesh(name, MakeBoxMesh(1, 1, 1), parent);
}

HostNode& SceneBuilder::Mesh(const std::string& name, const ::Mesh& mesh, HostNode* parent) {
    return WithObject(name, std::make_unique<HostTriObject>(mesh), parent);
}

HostNode& SceneBuilder::Dummy(const std::string& name, HostNode* parent) {
    return Helper(name, kDummyClassId, parent);
}

HostNode& SceneBuilder::Helper(const std::string& name, Class_ID classId, HostNode* parent) {
    return Classed(name, classId, kHelperClassId, nullptr, parent);
}

HostNode& SceneBuilder::Bone(const std::string& name, HostNode* parent, Class_ID classId) {
    return Classed(name, classId, kGeomObjectClassId, nullptr, parent);
}

HostNode& SceneBuilder::Bone(const std::string& name, const ::Mesh& mesh, HostNode* parent, Class_ID classId) {
    return Classed(name, classId, kGeomObjectClassId, &mesh, parent);
}

HostNode& SceneBuilder::Biped(const std::string& name, HostNode* parent, bool footstep) {
    HostNode& node = Classed(name, kBipedObjectClassId, kGeomObjectClassId, nullptr, parent);
    if (footstep) node.SetController(std::make_unique<HostControl>(kFootstepControlClassId));
    return node;
}

HostNode& SceneBuilder::Target(const std::string& name, HostNode* parent) {
    return Classed(name, kTargetClassId, kGeomObjectClassId, nullptr, parent);
}

HostNode& SceneBuilder::Camera(const std::string& name, HostNode* parent) {
    return Classed(name, Class_ID(0x1001, 0), kCameraClassId, nullptr, parent);
}

HostNode& SceneBuilder::Light(const std::string& name, HostNode* parent) {
    return Classed(name, Class_ID(0x1011, 0), kLightClassId, nullptr, parent);
}

HostNode& SceneBuilder::Classed(const std::string& name, Class_ID classId, SClass_ID superClassId,
                                const ::Mesh* mesh, HostNode* parent) {
    auto object = std::make_unique<HostClassedObject>(classId, superClassId);
    if (mesh) object->SetMesh(*mesh);
    return WithObject(name, std::move(object), parent);
}

HostNode& SceneBuilder::Shape(const std::string& name, std::vector<Point3> points, bool closed, HostNode* parent) {
    return WithObject(name, std::make_unique<HostShapeObject>(std::move(points), closed), parent);
}

HostNode& SceneBuilder::Patch(const std::string& name, HostNode* parent) {
    return WithObject(name, std::make_unique<HostPatchObject>(), parent);
}

HostNode& SceneBuilder::QuadPatch(const std::string& name, const Point3 corners[4], int steps, HostNode* parent) {
    HostNode& node = Patch(name, parent);
    HostPatchObject& patch = *PatchOf(node);
    uint32_t index[4];
    for (int k = 0; k < 4; ++k) index[k] = patch.AddVertex(corners[k]);
    patch.AddFlatPatch(4, index);
    patch.SetSteps(steps);
    return node;
}

HostNode& SceneBuilder::Nurbs(const std::string& name, NurbsSurface surface, HostNode* parent) {
    return WithObject(name, std::make_unique<HostNurbsObject>(std::move(surface)), parent);
}

HostNode& SceneBuilder::WithObject(const std::string& name, std::unique_ptr<Object> object, HostNode* parent) {
    Object& owned = scene_->AddObject(std::move(object));
    return Node(name, parent).SetObject(&owned);
}

HostModifier& SceneBuilder::Skin(HostNode& node, bool enabled) {
    HostModifier& m = scene_->AddModifier(node, std::make_unique<HostModifier>(HostModifierKind::Skin, kSkinClassId));
    m.SetEnabled(enabled);
    return m;
}

HostModifier& SceneBuilder::LinkDeformer(HostNode& node, bool enabled) {
    HostModifier& m = scene_->AddModifier(
        node, std::make_unique<HostModifier>(HostModifierKind::LinkDeformer, kLinkDeformerClassId));
    m.SetEnabled(enabled);
    return m;
}

HostEditModifier& SceneBuilder::Edit(HostNode& node, bool enabled) {
    auto& m = static_cast<HostEditModifier&>(scene_->AddModifier(node, std::make_unique<HostEditModifier>()));
    m.SetEnabled(enabled);
    return m;
}

HostPatchObject* PatchOf(HostNode& node) { return dynamic_cast<HostPatchObject*>(node.object()); }
