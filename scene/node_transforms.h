// Node transforms shared by the data pass, animation and skin extraction.
//
// Matrices are host Matrix3 in world space, row-vector convention (A * B applies A first).
#pragma once

#include "sdk/math.h"
#include "sdk/types.h"

class INode;

// M without its reflection: keeps the stretch, rotation and translation. A matrix that does
// not mirror comes back unchanged, flag word included.
Matrix3 RemoveMirroring(const Matrix3& m);

// The host node's world transform at t with mirroring removed; the identity without a node.
Matrix3 NodeWorldTransform(INode* hostNode, TimeValue t);

// The frameTM of a geometry node: the skin deformer's initial pose of the node (without the
// object offset), else the vertex-link deformer's initial node transform when the node has no
// skin deformer, else the node's world transform at t; mirroring removed in every case.
Matrix3 RenderableFrameTransform(INode* hostNode, TimeValue t);

// The objectTM of a geometry node: the skin deformer's initial pose with the object offset,
// else the vertex-link deformer's initial node transform, else the node's object transform at
// t. Mirroring is kept: it ends up in the vertex positions.
Matrix3 RenderableObjectTransform(INode* hostNode, TimeValue t);
