// Controllers and keys.
#pragma once

#include "sdk/anim.h"
#include "sdk/math.h"

// The common head of every key record: its time.
struct IKey {
    TimeValue time = 0;
    uint32_t flags = 0;
};

// The key interface of a keyed track.
class IKeyControl {
public:
    virtual ~IKeyControl() = default;
    virtual int GetNumKeys() = 0;
    // Size in bytes of one key record of this track (at least sizeof(IKey)).
    virtual int GetKeySize() = 0;
    // Copies key i into the buffer, which holds GetKeySize() bytes; the record starts with IKey.
    virtual void GetKey(int i, IKey* key) = 0;
};

// A controller. A transform controller has position, rotation and scale sub-controllers.
class Control : public Animatable {
public:
    virtual Control* GetPositionController() { return nullptr; }
    virtual Control* GetRotationController() { return nullptr; }
    virtual Control* GetScaleController() { return nullptr; }
    // Whether the controller carries keys (the controller query the exporter asks).
    virtual bool IsKeyable() { return false; }
};
