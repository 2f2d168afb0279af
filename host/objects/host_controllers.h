// Keyed transform controllers of the stand-in host.
//
// A HostTransformControl is a node's transform controller made of three optional
// sub-controllers: position, rotation and scale. Each sub-controller is either
//  - a HostKeyTrack: keys of its own in flat arrays (times, values, optional tangents), read by
//    the exporter through IKeyControl, or
//  - a HostAxisControl: one float HostKeyTrack per axis as its sub-animatables (position and
//    scale per component; rotation as Euler angles in degrees applied about X, then Y, then Z).
// The node's local transform at t is ScaleMatrix(scale) * rotation * TransMatrix(position);
// a missing sub-controller (or axis of a position or scale HostAxisControl) keeps that part of
// the node's static transform, a missing rotation axis is 0 degrees.
//
// Interpolation between keys: step (hold the earlier key), linear (spherical for rotation
// quaternions), or cubic Hermite with slopes given per key in value units per second (Bezier
// form; slopes left out are chosen Catmull-Rom style from the neighbouring keys). Quaternion
// tracks interpolate step or linear only. Before the first key the first value holds, after the
// last key the last one.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "host/objects/host_scene.h"
#include "sdk/control.h"

// The class of the stand-in host's keyed transform controller.
inline constexpr Class_ID kHostTransformControlClassId{0x504C5643, 0x0001};

enum class HostInterpolation { Step, Linear, Bezier };

// Flat key data of one channel: `dimension` floats per key (1 float, 3 point, 4 quaternion x, y,
// z, w in the host convention). times strictly ascending; inSlopes/outSlopes empty or, with
// Bezier, `dimension` floats per key each.
struct HostKeyData {
    int dimension = 3;
    HostInterpolation interpolation = HostInterpolation::Linear;
    std::vector<TimeValue> times;
    std::vector<float> values;
    std::vector<float> inSlopes;
    std::vector<float> outSlopes;
};

// The key record GetKey writes: the IKey head, then `dimension` floats of value, then (Bezier
// tracks only) the in and out slopes. GetKeySize reports exactly that many bytes.
class HostKeyTrack final : public Control, public IKeyControl {
public:
    explicit HostKeyTrack(HostKeyData data);

    // Control / Animatable
    IKeyControl* GetKeyControlInterface() override { return this; }
    bool IsKeyable() override { return !data_.times.empty(); }
    // IKeyControl
    int GetNumKeys() override { return static_cast<int>(data_.times.size()); }
    int GetKeySize() override;
    void GetKey(int i, IKey* key) override;

    // The value at t into out[0 .. dimension); nothing is written when the track has no keys.
    void Evaluate(TimeValue t, float* out) const;
    const HostKeyData& data() const { return data_; }

private:
    // The index of the first key after t (the number of keys when none is).
    size_t NextKey(TimeValue t) const;

    HostKeyData data_;
    // NextKey's last answer: the exporter asks for increasing times, so the answer is mostly the
    // same key or the one after it.
    mutable size_t nextKey_ = 0;
};

// One float track per axis (each may be absent).
class HostAxisControl final : public Control {
public:
    explicit HostAxisControl(std::array<std::unique_ptr<HostKeyTrack>, 3> axes) : axes_(std::move(axes)) {}
    int NumSubs() const override { return 3; }
    Animatable* SubAnim(int i) override { return i >= 0 && i < 3 ? axes_[i].get() : nullptr; }
    bool IsKeyable() override;
    // Each present axis with keys replaces that component of `rest`.
    Point3 Evaluate(TimeValue t, const Point3& rest) const;
    const HostKeyTrack* axis(int i) const { return axes_[i].get(); }

private:
    std::array<std::unique_ptr<HostKeyTrack>, 3> axes_;
};

class HostTransformControl final : public HostControl {
public:
    HostTransformControl() : HostControl(kHostTransformControlClassId) {}
    HostTransformControl(const HostTransformControl& other);

    // Each takes a HostKeyTrack (dimension 3, or 4 for rotation) or a HostAxisControl; null
    // removes the sub-controller.
    HostTransformControl& SetPosition(std::unique_ptr<Control> c) { position_.Set(std::move(c)); return *this; }
    HostTransformControl& SetRotation(std::unique_ptr<Control> c) { rotation_.Set(std::move(c)); return *this; }
    HostTransformControl& SetScale(std::unique_ptr<Control> c) { scale_.Set(std::move(c)); return *this; }

    Control* GetPositionController() override { return position_.control.get(); }
    Control* GetRotationController() override { return rotation_.control.get(); }
    Control* GetScaleController() override { return scale_.control.get(); }
    bool IsKeyable() override;
    int NumSubs() const override { return 3; }
    Animatable* SubAnim(int i) override;

    Matrix3 LocalTM(TimeValue t, const Matrix3& rest) const override;
    std::unique_ptr<HostControl> Clone() const override { return std::make_unique<HostTransformControl>(*this); }

    const Control* position() const { return position_.control.get(); }
    const Control* rotation() const { return rotation_.control.get(); }
    const Control* scale() const { return scale_.control.get(); }

    // A sub-controller and what kind it is, found once when it is set.
    struct Sub {
        std::unique_ptr<Control> control;
        const HostKeyTrack* track = nullptr;
        const HostAxisControl* axes = nullptr;
        void Set(std::unique_ptr<Control> c);
        explicit operator bool() const { return control != nullptr; }
    };

private:
    Sub position_, rotation_, scale_;
    // The rest transform's parts from the last call: the exporter asks for the same node at
    // many times, and the decomposition costs more than the key evaluation.
    struct RestParts {
        bool valid = false;
        Matrix3 rest;
        Point3 position, scale;
        Quat rotation;
    };
    mutable RestParts restParts_;
};

// Builders for tests: keys at the given ticks with 3 floats (points) or 4 (quaternions) each.
std::unique_ptr<HostKeyTrack> PointKeys(std::vector<TimeValue> times, const std::vector<Point3>& values,
                                        HostInterpolation interpolation = HostInterpolation::Linear);
std::unique_ptr<HostKeyTrack> QuatKeys(std::vector<TimeValue> times, const std::vector<Quat>& values,
                                       HostInterpolation interpolation = HostInterpolation::Linear);
std::unique_ptr<HostKeyTrack> FloatKeys(std::vector<TimeValue> times, std::vector<float> values,
                                        HostInterpolation interpolation = HostInterpolation::Linear);
