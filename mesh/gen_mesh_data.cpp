#include "mesh/mesh_data.h"

#include "scene/xnode.h"

// Mesh data generation arrives with the mesh issue. Until then a node with a mesh is accepted
// without data: it stays renderable, and the writer gives it a frame without a Mesh.
bool GenMeshData(XExporter& /*exporter*/, XRenderableNode& node) { return node.mesh != nullptr; }
