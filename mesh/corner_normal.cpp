#include "mesh/mesh_data.h"
#include "sdk/mesh.h"

namespace {

Point3 FaceNormal(const MeshRenderNormals& built, int face) {
    const std::vector<Point3>& normals = built.faceNormals;
    return static_cast<size_t>(face) < normals.size() ? normals[static_cast<size_t>(face)] : Point3{};
}

}  // namespace

Point3 CornerNormal(const Mesh& mesh, const MeshRenderNormals& built, int face, int corner,
                    const MeshNormalSpec* specified) {
    if (specified) return Normalize(specified->GetNormal(mesh, face, corner));

    const Face& f = mesh.faces[static_cast<size_t>(face)];
    const uint32_t group = f.getSmGroup();
    const uint32_t vertex = f.v[corner];
    if (vertex >= built.renderVerts.size()) return FaceNormal(built, face);
    const RVertex& rv = built.renderVerts[vertex];
    const uint32_t n = rv.normalCount;
    const std::vector<RNormal>& normals = built.renderNormals;
    if ((rv.rFlags & kRVertexSpecifiedNormal) && n >= 1) return normals[rv.firstNormal].normal;
    if (n == 0 || group == 0) return FaceNormal(built, face);
    if (n == 1) return normals[rv.firstNormal].normal;
    for (uint32_t i = 0; i < n; ++i) {
        const RNormal& candidate = normals[rv.firstNormal + i];
        if (candidate.smGroup & group) return candidate.normal;
    }
    return FaceNormal(built, face);
}

Point3 CornerNormal(const Mesh& mesh, int face, int corner, const MeshNormalSpec* specified) {
    return CornerNormal(mesh, mesh.builtNormals(), face, corner, specified);
}
