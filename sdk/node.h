// Scene nodes.
#pragma once

#include <string>

#include "sdk/math.h"
#include "sdk/types.h"

class Object;
class Control;
class Mtl;

class INode {
public:
    virtual ~INode() = default;
    virtual const char* GetName() = 0;
    virtual int NumberOfChildren() = 0;
    virtual INode* GetChildNode(int i) = 0;
    virtual INode* GetParentNode() = 0;
    virtual bool IsRootNode() = 0;
    // World transform of the node's pivot at t (mirroring included).
    virtual Matrix3 GetNodeTM(TimeValue t) = 0;
    // World transform of the node's geometry at t: the object offset, then the node transform.
    virtual Matrix3 GetObjectTM(TimeValue t) = 0;
    // The top of the node's modifier stack; null when the node has no object.
    virtual Object* GetObjectRef() = 0;
    // The transform controller; null when the node has none.
    virtual Control* GetTMController() = 0;
    virtual Mtl* GetMtl() = 0;
    // Wire colour, 0x00BBGGRR.
    virtual uint32_t GetWireColor() = 0;
    virtual bool Renderable() = 0;
    virtual bool Selected() = 0;
    virtual bool IsNodeHidden() = 0;
};
