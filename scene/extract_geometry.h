// Geometry extraction: the modifier-stack look-ups that find where a node's geometry is
// evaluated from and which deformers act on it. XRenderableNode::ExtractGeometry, AcquireMesh
// and ReleaseMesh (declared in scene/xnode.h) are defined with them in scene/extract_geometry.cpp.
//
// A disabled modifier (kModifierDisabledFlag) is never found.
#pragma once

class INode;
class Modifier;
class Object;

// The object the node's geometry is evaluated from: the level beneath the stack level that
// holds the first enabled skin or vertex-link deformer; the top of the stack when there is none.
// Null when the node has no object.
Object* FindUndeformedObject(INode* hostNode);

// The first enabled skin deformer of the node's stack, or null.
Modifier* FindSkinModifier(INode* hostNode);
// The first enabled vertex-link deformer of the node's stack, or null.
Modifier* FindLinkModifier(INode* hostNode);
