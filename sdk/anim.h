// The base of everything that can be animated or referenced in the host scene.
#pragma once

#include "sdk/types.h"

class IKeyControl;

// Something with sub-animatables (tracks), a class and possibly keys.
class Animatable {
public:
    virtual ~Animatable() = default;
    virtual Class_ID ClassID() const { return {}; }
    virtual SClass_ID SuperClassID() const { return 0; }
    virtual int NumSubs() const { return 0; }
    virtual Animatable* SubAnim(int /*i*/) { return nullptr; }
    // The key interface of a keyed track; null when the track has no keys of its own.
    virtual IKeyControl* GetKeyControlInterface() { return nullptr; }
    // Frees a temporary object that the host handed out (converted objects).
    virtual void DeleteMe() {}
};
