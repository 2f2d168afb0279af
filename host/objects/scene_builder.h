// Builds in-memory scenes in a few lines, for tests and loaders.
//
//   SceneBuilder b;
//   HostNode& box = b.Mesh("Box").Translate({0, 0, 10});
//   HostNode& dummy = b.Dummy("Handle", &box);
//   b.Mesh("Lid", MakeBoxMesh(1, 1, 0.2f), &dummy).SetHidden(true);
//   b.Skin(box);                           // a skin deformer on the box's stack
//   std::unique_ptr<HostScene> scene = b.Take();
//
// Nodes without a parent go under the scene root. Every object belongs to the scene.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/objects/host_scene.h"

class SceneBuilder {
public:
    explicit SceneBuilder(std::string rootName = "Scene Root")
        : scene_(std::make_unique<HostScene>(std::move(rootName))) {}

    HostScene& scene() { return *scene_; }
    HostNode& root() { return scene_->root(); }
    // Hands the scene over; the builder is empty afterwards.
    std::unique_ptr<HostScene> Take() { return std::move(scene_); }

    // A node without an object.
    HostNode& Node(const std::string& name, HostNode* parent = nullptr);
    // A node with a triangle-mesh object (a unit box unless a mesh is given).
    HostNode& Mesh(const std::string& name, HostNode* parent = nullptr);
    HostNode& Mesh(const std::string& name, const ::Mesh& mesh, HostNode* parent = nullptr);
    // Helpers: the dummy, or any helper class.
    HostNode& Dummy(const std::string& name, HostNode* parent = nullptr);
    HostNode& Helper(const std::string& name, Class_ID classId, HostNode* parent = nullptr);
    // A bone (or bone-like / biped class) object; with a mesh it converts to a triangle mesh.
    HostNode& Bone(const std::string& name, HostNode* parent = nullptr, Class_ID classId = kBoneObjectClassId);
    HostNode& Bone(const std::string& name, const ::Mesh& mesh, HostNode* parent = nullptr,
                   Class_ID classId = kBoneObjectClassId);
    // A biped part; `footstep` gives its node the footstep transform controller.
    HostNode& Biped(const std::string& name, HostNode* parent = nullptr, bool footstep = false);
    HostNode& Target(const std::string& name, HostNode* parent = nullptr);
    HostNode& Camera(const std::string& name, HostNode* parent = nullptr);
    HostNode& Light(const std::string& name, HostNode* parent = nullptr);
    // Any object by class and super class, optionally with a mesh.
    HostNode& Classed(const std::string& name, Class_ID classId, SClass_ID superClassId,
                      const ::Mesh* mesh = nullptr, HostNode* parent = nullptr);
    HostNode& Shape(const std::string& name, std::vector<Point3> points, bool closed, HostNode* parent = nullptr);
    // A patch object; fill it through the returned node's object (HostPatchObject).
    HostNode& Patch(const std::string& name, HostNode* parent = nullptr);
    // One flat quad patch over the four corners (in order), tessellated at `steps`.
    HostNode& QuadPatch(const std::string& name, const Point3 corners[4], int steps = 2, HostNode* parent = nullptr);
    HostNode& Nurbs(const std::string& name, NurbsSurface surface, HostNode* parent = nullptr);
    // A node for an object made elsewhere; the scene takes it.
    HostNode& WithObject(const std::string& name, std::unique_ptr<Object> object, HostNode* parent = nullptr);

    // Modifiers on the node's top stack level (a level is made when the node has none).
    HostModifier& Skin(HostNode& node, bool enabled = true);
    HostModifier& LinkDeformer(HostNode& node, bool enabled = true);
    HostEditModifier& Edit(HostNode& node, bool enabled = true);
    // A new stack level on top of the node's stack; later modifiers go there.
    HostDerivedObject& NewStackLevel(HostNode& node) { return scene_->AddStackLevel(node); }

private:
    HostNode& Parent(HostNode* parent) { return parent ? *parent : scene_->root(); }
    std::unique_ptr<HostScene> scene_;
};

// The patch object of a node made by SceneBuilder::Patch (null otherwise).
HostPatchObject* PatchOf(HostNode& node);
