// X files (text, binary and MSZIP-compressed) read through our own reader into the stand-in
// host's scene, as a DCC application would hold the scene the file describes:
//  - every Frame is a node with its FrameTransformMatrix as its local transform; a file whose
//    only top-level frame holds the rest (the scene-root frame the exporter writes) gives that
//    frame's name and matrix to the scene root instead; frames without geometry are dummies, or
//    bones when a skin names them;
//  - a Mesh is the triangle-mesh object of its frame's node (a frame with several meshes gets one
//    child node per mesh; a top-level mesh a node of its own). Each X vertex is a host vertex;
//    polygons are cut into a fan of triangles from their first corner; MeshNormals (with their
//    own face indices) are the specified normals; MeshTextureCoords set k, or a DeclData/FVFData
//    TEXCOORD k, is map channel k + 1 with v turned upward (1 - v); MeshVertexColors (or a COLOR
//    element) are channel 0 and their alpha channel -2; DeclData NORMAL gives normals where no
//    MeshNormals does. Tangents and binormals are dropped: the exporter computes its own from the
//    normals and texture coordinates. VertexDuplicationIndices is ignored (the vertices stay as
//    the file has them);
//  - MeshMaterialList: the node's material, a multi-material when the mesh uses several; each
//    Material (inline, or a reference to a named one, shared between meshes) a standard
//    material with the file's colours and its TextureFilename files in map slots (the first
//    diffuse, a normal-map name the bump slot through a normal-bump map, others the following
//    slots); a Material with an EffectInstance a DirectX shader material holding the effect
//    file and every parameter, so that the export writes them back;
//  - XSkinMeshHeader and SkinWeights a skin deformer whose bones are the frames it names, with
//    the offset matrices as the bind pose;
//  - every AnimationSet a clip (laid out one after another on the timeline, as other imports
//    do), with the keys of its AnimationKeys (rotation, scale, position and matrix keys) at
//    AnimTicksPerSecond (4800 when the file gives none). AnimationOptions is read and left to
//    the export's own options.
// Positions, directions and transforms are turned from the file's axes into the host's by the
// inverse of the exporter's default conversion (left-handed, Y up), or of the one the options'
// fromRightHanded and fromZUp name; a mirroring conversion reverses the faces' winding.
// Objects of templates the importer does not use are skipped, with one warning naming them.
// Texture and effect files are found beside the X file; a name that leads outside the X file's
// folder tree is taken by its file name alone unless allowOutsideFiles is set.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/import/interchange_import.h"

// True when the file starts with the X file magic "xof ".
bool IsXFile(const std::string& path);

// Reads the X file at path into a new scene. Null on failure, with error holding one line that
// names the file, the place and the problem. clips receives one clip per animation set.
std::unique_ptr<HostScene> ImportXFile(const std::string& path, const ImportOptions& options,
                                       std::vector<ImportedClip>& clips, std::string& error);
