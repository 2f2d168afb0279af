#include "host/objects/host_controllers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

// The slope of component c at key k in value units per second, as given or, when the track
// gives none, from its neighbours (one-sided at the ends).
float Slope(const HostKeyData& d, const std::vector<float>& given, size_t k, int c) {
    const size_t n = d.times.size();
    const int dim = d.dimension;
    if (!given.empty()) return given[k * dim + c];
    const size_t a = k > 0 ? k - 1 : k;
    const size_t b = k + 1 < n ? k + 1 : k;
    if (a == b) return 0;
    const float seconds = float(d.times[b] - d.times[a]) / float(kTicksPerSecond);
    return (d.values[b * dim + c] - d.values[a * dim + c]) / seconds;
}

std::unique_ptr<Control> CloneSub(const Control* c) {
    if (!c) return nullptr;
    if (auto* track = dynamic_cast<const HostKeyTrack*>(c)) return std::make_unique<HostKeyTrack>(track->data());
    if (auto* axes = dynamic_cast<const HostAxisControl*>(c)) {
        std::array<std::unique_ptr<HostKeyTrack>, 3> copy;
        for (int i = 0; i < 3; ++i)
            if (axes->axis(i)) copy[i] = std::make_unique<HostKeyTrack>(axes->axis(i)->data());
        return std::make_unique<HostAxisControl>(std::move(copy));
    }
    return nullptr;
}

Point3 EvaluatePoint(const HostTransformControl::Sub& c, TimeValue t, const Point3& rest) {
    if (const HostKeyTrack* track = c.track) {
        float v[3] = {rest.x, rest.y, rest.z};
        if (track->data().dimension == 3) track->Evaluate(t, v);
        return {v[0], v[1], v[2]};
    }
    if (c.axes) return c.axes->Evaluate(t, rest);
    return rest;
}

Matrix3 EvaluateRotation(const HostTransformControl::Sub& c, TimeValue t, const Quat& rest) {
    Matrix3 m;
    if (const HostKeyTrack* track = c.track; track && track->data().dimension == 4) {
        float v[4] = {rest.x, rest.y, rest.z, rest.w};
        track->Evaluate(t, v);
        Quat(v[0], v[1], v[2], v[3]).MakeMatrix(m);
    } else if (const HostAxisControl* axes = c.axes) {
        const Point3 degrees = axes->Evaluate(t, Point3(0, 0, 0));
        m = RotateXMatrix(degrees.x * kDegreesToRadians) * RotateYMatrix(degrees.y * kDegreesToRadians) *
            RotateZMatrix(degrees.z * kDegreesToRadians);
    } else {
        rest.MakeMatrix(m);
    }
    return m;
}

}  // namespace

HostKeyTrack::HostKeyTrack(HostKeyData data) : data_(std::move(data)) {
    // Quaternion keys are unit length. Values already within rounding of unit length stay as
    // given, so that a written document reads back bit for bit.
    if (data_.dimension == 4)
        for (size_t k = 0; k + 3 < data_.values.size(); k += 4) {
            const Quat q(data_.values[k], data_.values[k + 1], data_.values[k + 2], data_.values[k + 3]);
            if (std::abs(q % q - 1.0f) <= 1e-6f) continue;
            const Quat unit = q.Normalized();
            for (int c = 0; c < 4; ++c) data_.values[k + c] = unit[c];
        }
}

int HostKeyTrack::GetKeySize() {
    const int floats = data_.interpolation == HostInterpolation::Bezier ? 3 * data_.dimension : data_.dimension;
    return static_cast<int>(sizeof(IKey) + sizeof(float) * floats);
}

void HostKeyTrack::GetKey(int i, IKey* key) {
    if (!key || i < 0 || i >= GetNumKeys()) return;
    const size_t dim = size_t(data_.dimension);
    IKey head;
    head.time = data_.times[i];
    auto* out = reinterpret_cast<unsigned char*>(key);
    std::memcpy(out, &head, sizeof head);
    out += sizeof head;
    std::memcpy(out, &data_.values[i * dim], dim * sizeof(float));
    if (data_.interpolation != HostInterpolation::Bezier) return;
    out += dim * sizeof(float);
    for (const std::vector<float>* slopes : {&data_.inSlopes, &data_.outSlopes}) {
        for (size_t c = 0; c < dim; ++c) {
            const float s = Slope(data_, *slopes, size_t(i), int(c));
            std::memcpy(out, &s, sizeof s);
            out += sizeof s;
        }
    }
}

size_t HostKeyTrack::NextKey(TimeValue t) const {
    const std::vector<TimeValue>& times = data_.times;
    const size_t n = times.size();
    // The answer is i when the key before i is at or before t and key i (if any) after it.
    const auto answers = [&](size_t i) { return (i == 0 || times[i - 1] <= t) && (i == n || times[i] > t); };
    size_t i = nextKey_;
    if (!answers(i)) {
        if (i < n && answers(i + 1))
            ++i;
        else
            i = size_t(std::upper_bound(times.begin(), times.end(), t) - times.begin());
    }
    nextKey_ = i;
    return i;
}

void HostKeyTrack::Evaluate(TimeValue t, float* out) const {
    const size_t n = data_.times.size();
    const int dim = data_.dimension;
    if (n == 0) return;
    const size_t i1 = NextKey(t);
    if (i1 == 0 || i1 == n) {
        const size_t k = i1 == 0 ? 0 : n - 1;
        std::copy_n(&data_.values[k * dim], dim, out);
        return;
    }
    const size_t i0 = i1 - 1;
    const float* v0 = &data_.values[i0 * dim];
    const float* v1 = &data_.values[i1 * dim];
    const float u = float(t - data_.times[i0]) / float(data_.times[i1] - data_.times[i0]);
    switch (data_.interpolation) {
        case HostInterpolation::Step:
            std::copy_n(v0, dim, out);
            return;
        case HostInterpolation::Linear:
            if (dim == 4) {
                const Quat q = Slerp(Quat(v0[0], v0[1], v0[2], v0[3]), Quat(v1[0], v1[1], v1[2], v1[3]), u);
                for (int c = 0; c < 4; ++c) out[c] = q[c];
            } else {
                for (int c = 0; c < dim; ++c) out[c] = v0[c] + (v1[c] - v0[c]) * u;
            }
            return;
        case HostInterpolation::Bezier: {
            const float h = float(data_.times[i1] - data_.times[i0]) / float(kTicksPerSecond);
            const float u2 = u * u, u3 = u2 * u;
            const float h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
            for (int c = 0; c < dim; ++c) {
                const float m0 = Slope(data_, data_.outSlopes, i0, c);
                const float m1 = Slope(data_, data_.inSlopes, i1, c);
                out[c] = h00 * v0[c] + h10 * h * m0 + h01 * v1[c] + h11 * h * m1;
            }
            return;
        }
    }
}

bool HostAxisControl::IsKeyable() {
    for (auto& axis : axes_)
        if (axis && axis->IsKeyable()) return true;
    return false;
}

Point3 HostAxisControl::Evaluate(TimeValue t, const Point3& rest) const {
    Point3 p = rest;
    for (int i = 0; i < 3; ++i)
        if (axes_[i] && axes_[i]->data().dimension == 1) axes_[i]->Evaluate(t, &p[i]);
    return p;
}

void HostTransformControl::Sub::Set(std::unique_ptr<Control> c) {
    control = std::move(c);
    track = dynamic_cast<const HostKeyTrack*>(control.get());
    axes = dynamic_cast<const HostAxisControl*>(control.get());
}

HostTransformControl::HostTransformControl(const HostTransformControl& other) : HostControl(other) {
    position_.Set(CloneSub(other.position()));
    rotation_.Set(CloneSub(other.rotation()));
    scale_.Set(CloneSub(other.scale()));
}

bool HostTransformControl::IsKeyable() {
    return (position_ && position_.control->IsKeyable()) || (rotation_ && rotation_.control->IsKeyable()) ||
           (scale_ && scale_.control->IsKeyable());
}

Animatable* HostTransformControl::SubAnim(int i) {
    switch (i) {
        case 0: return position_.control.get();
        case 1: return rotation_.control.get();
        case 2: return scale_.control.get();
        default: return nullptr;
    }
}

Matrix3 HostTransformControl::LocalTM(TimeValue t, const Matrix3& rest) const {
    if (!position_ && !rotation_ && !scale_) return rest;
    RestParts& parts = restParts_;
    if (!parts.valid || !(parts.rest == rest)) {
        DecomposeMatrix(rest, parts.position, parts.rotation, parts.scale);
        parts.rest = rest;
        parts.valid = true;
    }
    return ScaleMatrix(EvaluatePoint(scale_, t, parts.scale)) * EvaluateRotation(rotation_, t, parts.rotation) *
           TransMatrix(EvaluatePoint(position_, t, parts.position));
}

namespace {

std::unique_ptr<HostKeyTrack> MakeTrack(int dimension, std::vector<TimeValue> times, std::vector<float> values,
                                        HostInterpolation interpolation) {
    HostKeyData d;
    d.dimension = dimension;
    d.interpolation = interpolation;
    d.times = std::move(times);
    d.values = std::move(values);
    return std::make_unique<HostKeyTrack>(std::move(d));
}

}  // namespace

std::unique_ptr<HostKeyTrack> PointKeys(std::vector<TimeValue> times, const std::vector<Point3>& values,
                                        HostInterpolation interpolation) {
    std::vector<float> flat;
    for (const Point3& p : values) flat.insert(flat.end(), {p.x, p.y, p.z});
    return MakeTrack(3, std::move(times), std::move(flat), interpolation);
}

std::unique_ptr<HostKeyTrack> QuatKeys(std::vector<TimeValue> times, const std::vector<Quat>& values,
                                       HostInterpolation interpolation) {
    std::vector<float> flat;
    for (const Quat& q : values) flat.insert(flat.end(), {q.x, q.y, q.z, q.w});
    return MakeTrack(4, std::move(times), std::move(flat), interpolation);
}

std::unique_ptr<HostKeyTrack> FloatKeys(std::vector<TimeValue> times, std::vector<float> values,
                                        HostInterpolation interpolation) {
    return MakeTrack(1, std::move(times), std::move(values), interpolation);
}
