// Tessellation of the host's curved surfaces into triangle meshes.
#pragma once

#include <vector>

#include "host/objects/host_objects.h"
#include "sdk/mesh.h"

// Patch tessellation limits: subdivisions per patch edge.
inline constexpr int kMinPatchSteps = 1;
inline constexpr int kMaxPatchSteps = 32;

// Evaluates every Bezier patch at `steps` subdivisions per edge (clamped to the limits above).
// Mesh vertices: the patch mesh's corner vertices first, in their order (vertex i of the mesh is
// corner vertex i); then the inner points of each edge, shared by the patches that use the same
// two corners; then each patch's interior points. A quad patch gives steps * steps * 2 faces,
// a triangle patch steps * steps. patchTable receives, per face, the index of its patch.
// Returns false (mesh and table emptied) when an index is out of range or a patch type is not 3 or 4.
bool TessellatePatchMesh(const PatchMesh& patchMesh, const std::vector<PatchHandles>& handles, int steps,
                         Mesh& mesh, std::vector<int>& patchTable);

// Limits of a NURBS surface that the host accepts.
inline constexpr int kMaxNurbsCount = 256;      // control points per direction
inline constexpr int kMaxNurbsSegments = 512;   // grid cells per direction
inline constexpr int kMaxNurbsDegree = 15;

// The effective segment counts of a surface (0 replaced by 2 * (count - 1)).
int NurbsUSegments(const NurbsSurface& surface);
int NurbsVSegments(const NurbsSurface& surface);
// True when counts, degrees, point and weight arrays and segments are consistent and in range.
bool IsValidNurbsSurface(const NurbsSurface& surface);

// Evaluates the surface on a (uSegments + 1) x (vSegments + 1) grid; vertex (i, j) is
// j * (uSegments + 1) + i; two faces per cell. Returns false (mesh emptied) for an invalid surface.
bool TessellateNurbsSurface(const NurbsSurface& surface, Mesh& mesh);
