#include "scene/collect_nodes.h"

#include <memory>
#include <vector>

#include "scene/node_transforms.h"
#include "scene/export_context.h"
#include "core/names.h"
#include "scene/xnode.h"
#include "sdk/control.h"
#include "sdk/node.h"
#include "sdk/object.h"

namespace {

bool IsNurbsClass(const Class_ID& id) {
    return id == kNurbsClassId1 || id == kNurbsClassId2 || id == kNurbsClassId3 || id == kNurbsClassId4 ||
           id == kNurbsClassId5;
}

}  // namespace

NodeCollection::NodeCollection(ExportContext& owner) : exporter(owner) {
    for (const XNode* node : exporter.nodes) names.insert(node->name);
}

void CollectNodes(ExportContext& exporter, INode* rootNode) {
    if (!rootNode) return;
    exporter.rootTransform = RemoveMirroring(rootNode->GetNodeTM(exporter.animStart));
    NodeCollection collection(exporter);
    const int childCount = rootNode->NumberOfChildren();
    for (int i = 0; i < childCount; ++i) CollectNode(collection, nullptr, rootNode->GetChildNode(i));
}

void SettleExportFlags(ExportContext& exporter) {
    // A copy: settling never adds nodes, but the walk must not depend on that.
    const std::vector<XNode*> nodes = exporter.nodes;
    for (XNode* node : nodes) PropagateExportFlag(exporter, node, node->exported);
}

void CollectNode(NodeCollection& collection, XNode* parent, INode* hostNode) {
    if (!hostNode) return;
    const ExportOptions& options = collection.exporter.options();

    int32_t kind = OtherObject;
    bool geometry = false;
    Object* object = hostNode->GetObjectRef();
    Object* base = object ? object->FindBaseObject() : nullptr;
    if (base) {
        const SClass_ID superClass = base->SuperClassID();
        const Class_ID classId = base->ClassID();
        if (superClass == kHelperClassId) {
            kind = classId == kDummyClassId ? DummyHelper : OtherHelper;
        } else if (superClass == kGeomObjectClassId || superClass == kShapeClassId) {
            // Camera and light targets are not part of the export, nor is anything beneath them.
            if (classId == kTargetClassId) return;
            const bool convertible = hostNode->Renderable() && base->CanConvertToType(kTriObjectClassId);
            if (classId == kBoneObjectClassId || classId == kBoneLikeClassId1 || classId == kBoneLikeClassId2 ||
                classId == kBipedObjectClassId) {
                if (classId == kBipedObjectClassId) {
                    // Biped footsteps are dropped with their subtrees.
                    Control* controller = hostNode->GetTMController();
                    if (controller && controller->ClassID() == kFootstepControlClassId) return;
                    kind = BipedBone;
                } else {
                    kind = classId == kBoneObjectClassId ? BoneObject : OtherBone;
                }
                geometry = convertible && options.BoneMesh != 0;
            } else if (classId == kPatchObjectClassId) {
                kind = PatchObjectKind;
                geometry = convertible;
            } else if (IsNurbsClass(classId)) {
                kind = NurbsObject;
                geometry = convertible;
            } else {
                kind = convertible ? MeshObject : OtherObject;
                geometry = convertible;
            }
        }
    }

    XNode* node = CreateExportNode(collection, parent, hostNode, kind, geometry);
    const int childCount = hostNode->NumberOfChildren();
    for (int i = 0; i < childCount; ++i) CollectNode(collection, node, hostNode->GetChildNode(i));
}

XNode* CreateExportNode(NodeCollection& collection, XNode* parent, INode* hostNode, int32_t kind, bool geometry) {
    ExportContext& exporter = collection.exporter;
    const char* hostName = hostNode->GetName();
    std::string name = MakeUniqueName(collection, hostName ? hostName : "");

    std::unique_ptr<XNode> node;
    if (geometry) {
        auto renderable = std::make_unique<XRenderableNode>();
        renderable->kind = kind;
        renderable->renderable = 1;
        renderable->hostNode = hostNode;
        renderable->parent = parent;
        if (renderable->ExtractGeometry(exporter.animStart)) {
            if (kind == PatchObjectKind || kind == NurbsObject) renderable->topologyChanged = true;
            node = std::move(renderable);
        } else {
            kind = OtherObject;
        }
    }
    if (!node) {
        node = std::make_unique<XNode>();
        node->kind = kind;
        node->renderable = 0;
        node->hostNode = hostNode;
        node->parent = parent;
    }
    node->name = std::move(name);
    node->frameTM = RemoveMirroring(hostNode->GetNodeTM(exporter.animStart));

    XNode* raw = node.get();
    if (parent)
        parent->children.push_back(std::move(node));
    else
        exporter.topLevelNodes.push_back(std::move(node));
    exporter.AddNode(hostNode, raw);
    collection.names.insert(raw->name);
    return raw;
}

std::string MakeUniqueName(NodeCollection& collection, std::string_view hostName) {
    std::string name = SanitizeXName(hostName);
    // A frame without a name cannot be referred to, and the save layer refuses it: a node the
    // host left unnamed gets a legal name of its own.
    if (name.empty()) name = "Unnamed";
    if (collection.exporter.options().DuplicateNodeName) return name;
    while (collection.names.count(name)) name += '_';
    return name;
}
