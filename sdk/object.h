// Scene objects: base objects, the modifier stack, triangle-mesh and patch objects.
#pragma once

#include "sdk/anim.h"
#include "sdk/math.h"
#include "sdk/mesh.h"

class Object;

// The result of evaluating an object's stack at a time; only the object is used.
struct ObjectState {
    Object* obj = nullptr;
};

class Object : public Animatable {
public:
    // Evaluates the object (and for a derived object its modifier stack) at time t.
    virtual ObjectState Eval(TimeValue t) = 0;
    // The object at the bottom of the modifier stack; the object itself when it has no stack.
    virtual Object* FindBaseObject() { return this; }
    virtual int NumPoints() { return 0; }
    virtual Point3 GetPoint(int /*i*/) { return {}; }
    virtual bool CanConvertToType(Class_ID /*type*/) { return false; }
    // The object converted at t: this object itself, or a new temporary that the caller frees
    // with DeleteMe(). Null when it cannot be converted.
    virtual Object* ConvertToType(TimeValue /*t*/, Class_ID /*type*/) { return nullptr; }
    // True when this object is a derived object (a modifier stack level).
    bool IsDerived() { auto s = SuperClassID(); return s == kGenDerivObjClassId || s == kDerivObjClassId; }
};

// An object holding a triangle mesh (class kTriObjectClassId).
class TriObject : public Object {
public:
    virtual Mesh& GetMesh() = 0;
};

// A patch object (class kPatchObjectClassId).
class PatchObject : public Object {
public:
    virtual PatchMesh& GetPatchMesh(TimeValue t) = 0;
    // Tessellates the patch surface into mesh; patchTable receives, for each face of mesh,
    // the index of the patch it came from. Returns false when the host cannot convert.
    virtual bool ConvertToMeshWithTable(Mesh& mesh, std::vector<int>& patchTable) = 0;
};

class Modifier : public Animatable {
public:
    // The modifier's flag word; kModifierDisabledFlag marks a disabled modifier.
    virtual uint32_t GetFlags() const { return 0; }
    bool IsEnabled() const { return (GetFlags() & kModifierDisabledFlag) == 0; }
    // Interface queries (skin deformer, vertex-link deformer); null when absent.
    virtual void* GetInterface(Interface_ID /*id*/) { return nullptr; }
};

// One level of a modifier stack: modifiers applied to the object beneath.
class IDerivedObject : public Object {
public:
    virtual int NumModifiers() = 0;
    virtual Modifier* GetModifier(int i) = 0;
    // The object this level is applied to (the next level down); may be null.
    virtual Object* GetObjRef() = 0;
};
