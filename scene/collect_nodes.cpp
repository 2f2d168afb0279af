#include "scene/collect_nodes.h"

#include <memory>
#include <vector>

#include "anim/transforms.h"
#include "plugin/exporter.h"
#include "core/names.h"
#include "scene/extract_geometry.h"
#include "scene/xnode.h"
#include "sdk/control.h"
#include "sdk/node.h"
#include "sdk/object.h"
#include "skin/skin_info.h"

namespace {

bool IsNurbsClass(const Class_ID& id) {
    return id == kNurbsClassId1 || id == kNurbsClassId2 || id == kNurbsClassId3 || id == kNurbsClassId4 ||
           id == kNurbsClassId5;
}

// Every export node, in node-map order. The passes below work on this copy so that a pass
// may look nodes up in the map while it walks.
std::vector<XNode*> NodesInMapOrder(const XExporter& exporter) {
    std::vector<XNode*> nodes;
    nodes.reserve(exporter.nodeMap.size());
    for (const auto& [hostNode, node] : exporter.nodeMap)
        if (node) nodes.push_back(node);
    return nodes;
}

}  // namespace

NodeCollection::NodeCollection(XExporter& owner) : exporter(owner) {
    for (const auto& [hostNode, node] : exporter.nodeMap)
        if (node) names.insert(node->name);
}

void XExporter::CollectNodes(INode* rootNode) {
    if (!rootNode) return;
    rootTransform = RemoveMirroring(rootNode->GetNodeTM(animStart));

    NodeCollection collection(*this);
    const int childCount = rootNode->NumberOfChildren();
    for (int i = 0; i < childCount; ++i) CollectNode(collection, nullptr, rootNode->GetChildNode(i));

    const std::vector<XNode*> nodes = NodesInMapOrder(*this);

    // Bones of the skin and vertex-link deformers of geometry nodes.
    for (XNode* node : nodes) {
        if (!node->hostNode || node->renderable != 1 || node->isBone != 0 || IsBoneKind(node->kind)) continue;
        if (Modifier* skin = FindSkinModifier(node->hostNode))
            MarkSkinBones(*this, *node, skin);
        else if (Modifier* link = FindLinkModifier(node->hostNode))
            MarkLinkBones(*this, *node, link);
    }

    for (XNode* node : nodes) PropagateExportFlag(*this, node, node->exported);

    for (XNode* node : nodes)
        if (node->exported == 1) EstimateWork(*this, node);
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
    XExporter& exporter = collection.exporter;
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
    exporter.nodeMap[hostNode] = raw;
    collection.names.insert(raw->name);
    return raw;
}

std::string MakeUniqueName(NodeCollection& collection, std::string_view hostName) {
    std::string name = SanitizeXName(hostName);
    if (collection.exporter.options().DuplicateNodeName) return name;
    while (collection.names.count(name)) name += '_';
    return name;
}
