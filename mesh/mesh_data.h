// Mesh data: the X file vertex and face model of one geometry node.
//
// XMeshData and its generator arrive with the mesh issue. Until then GenMeshData
// (mesh/gen_mesh_data.cpp) accepts every node without making data, so the node keeps an empty
// meshData and the writer gives it a frame without a Mesh.
#pragma once

class XExporter;
class XRenderableNode;

// The generated vertices, faces and per-vertex channels of one node; shared-owned by the node.
struct XMeshData;

// Builds node.meshData from node.mesh, placed by node.objectTM and node.frameTM.
// Returns false, with node.meshData empty, when the node has no usable mesh.
bool GenMeshData(XExporter& exporter, XRenderableNode& node);
