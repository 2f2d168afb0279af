#include "mesh/mesh_data.h"
#include "scene/xnode.h"

Matrix3 VertexTransform(const XRenderableNode& node, bool worldSpace) {
    if (worldSpace && IsMeshNode(node)) return node.objectTM;
    return node.objectTM * Inverse(node.frameTM);
}

Matrix3 NormalTransform(const Matrix3& m) {
    Matrix3 linear = m;
    linear.NoTrans();
    const Matrix3 inverse = Inverse(linear);
    return Matrix3(Point3(inverse[0].x, inverse[1].x, inverse[2].x), Point3(inverse[0].y, inverse[1].y, inverse[2].y),
                   Point3(inverse[0].z, inverse[1].z, inverse[2].z), Point3(0, 0, 0));
}
