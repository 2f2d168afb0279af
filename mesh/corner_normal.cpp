#include "mesh/mesh_data.h"
#include "sdk/mesh.h"

namespace {

Point3 FaceNormal(const Mesh& mesh, int face) {
    const std::vector<Point3>& normals = mesh.faceNormals();
    return static_cast<size_t>(face) < normals.size() ? normals[static_cast<size_t>(face)] : Point3{};
}

}  // namespace

Point3 CornerNormal(const Mesh& mesh, int face, int corner, const MeshNormalSpec* specified) {
    if (specified) return specified->GetNormal(face, corner);

    const Face& f = mesh.faces[static_cast<size_t>(face)];
    const uint32_t group = f.getSmGroup();
    const RVertex* rv = mesh.getRVertPtr(static_cast<int>(f.v[corner]));
    if (!rv) return FaceNormal(mesh, face);
    const uint32_t n = rv->normalCount;
    if ((rv->rFlags & kRVertexSpecifiedNormal) && n >= 1) return mesh.renderNormal(rv->firstNormal).normal;
    if (n == 0 || group == 0) return FaceNormal(mesh, face);
    if (n == 1) return mesh.renderNormal(rv->firstNormal).normal;
    for (uint32_t i = 0; i < n; ++i) {
        const RNormal& candidate = mesh.renderNormal(rv->firstNormal + i);
        if (candidate.smGroup & group) return candidate.normal;
    }
    return FaceNormal(mesh, face);
}
