#include "scene/node_transforms.h"

#include "scene/extract_geometry.h"
#include "sdk/deformer.h"
#include "sdk/node.h"
#include "sdk/object.h"

namespace {

ISkin* SkinInterface(Modifier* skin) {
    return skin ? static_cast<ISkin*>(skin->GetInterface(kSkinInterfaceId)) : nullptr;
}

ILinkDeformer* LinkInterface(Modifier* link) {
    return link ? static_cast<ILinkDeformer*>(link->GetInterface(kLinkDeformerInterfaceId)) : nullptr;
}

}  // namespace

Matrix3 RemoveMirroring(const Matrix3& m) {
    if (AffineMirrorSign(m) >= 0) return m;
    AffineParts parts;
    decomp_affine(m, &parts);
    if (parts.f >= 0) return m;

    Matrix3 t;  // identity with the translation row set
    t.SetTrans(parts.t);
    Matrix3 q, u;
    parts.q.MakeMatrix(q);
    parts.u.MakeMatrix(u);
    const Matrix3 k = ScaleMatrix(parts.k);
    const Matrix3 f = ScaleMatrix(Point3(-parts.f, -parts.f, -parts.f));  // the identity: f is -1
    return Inverse(u) * k * u * q * f * t;
}

Matrix3 NodeWorldTransform(INode* hostNode, TimeValue t) {
    if (!hostNode) return Matrix3();
    return RemoveMirroring(hostNode->GetNodeTM(t));
}

Matrix3 RenderableFrameTransform(INode* hostNode, TimeValue t) {
    if (!hostNode) return Matrix3();
    Modifier* skin = FindSkinModifier(hostNode);
    if (skin) {
        Matrix3 pose;
        if (ISkin* iskin = SkinInterface(skin); iskin && iskin->GetSkinInitTM(hostNode, pose, false))
            return RemoveMirroring(pose);
    } else if (Modifier* link = FindLinkModifier(hostNode)) {
        Matrix3 pose;
        if (ILinkDeformer* ilink = LinkInterface(link); ilink && ilink->GetInitNodeTM(hostNode, pose) == 0)
            return RemoveMirroring(pose);
    }
    return NodeWorldTransform(hostNode, t);
}

Matrix3 RenderableObjectTransform(INode* hostNode, TimeValue t) {
    if (!hostNode) return Matrix3();
    Modifier* skin = FindSkinModifier(hostNode);
    if (skin) {
        Matrix3 pose;
        if (ISkin* iskin = SkinInterface(skin); iskin && iskin->GetSkinInitTM(hostNode, pose, true)) return pose;
    } else if (Modifier* link = FindLinkModifier(hostNode)) {
        Matrix3 pose;
        if (ILinkDeformer* ilink = LinkInterface(link); ilink && ilink->GetInitNodeTM(hostNode, pose) == 0)
            return pose;
    }
    return hostNode->GetObjectTM(t);
}
