#include "host/document/host_controllers_document.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "host/document/json_document.h"
#include "host/document/scene_document.h"

namespace {

using json_document::Element;
using json_document::Json;
using json_document::Number;
using json_document::OrderedJson;

constexpr const char* kInterpolationNames[] = {"step", "linear", "bezier"};

// Walks one controller object; the first problem found is kept.
class ControlReader : public json_document::FirstProblem {
public:
    ControlReader(std::string& errorPath, std::string& problem)
        : FirstProblem(errorPath, problem, json_document::TopLevelMember::Dotted) {}

    bool ReadTimes(const Json& v, const std::string& path, std::vector<TimeValue>& out) {
        if (!ReadArray(v, path, "an array of tick counts", kMaxSceneArrayElements)) return false;
        if (v.empty()) return Fail(path, "a track needs at least one key");
        out.resize(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            const std::string at = Element(path, i);
            int64_t tick = 0;
            if (!ReadInt(v[i], at, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), tick))
                return false;
            out[i] = static_cast<TimeValue>(tick);
            if (i > 0 && out[i] <= out[i - 1]) return Fail(at, "key times must be strictly ascending");
        }
        return true;
    }

    // A track of keys: "times", "values" (dimension per key), "interpolation", slopes.
    std::unique_ptr<HostKeyTrack> ReadTrack(const Json& v, const std::string& path, int dimension, bool rotation) {
        if (!v.is_object()) return Fail(path, "expected an object"), nullptr;
        if (!OnlyKnownKeys(v, path, {"times", "values", "interpolation", "inSlopes", "outSlopes"})) return nullptr;
        HostKeyData d;
        d.dimension = dimension;
        if (!v.contains("times")) return Fail(Member(path, "times"), "missing field"), nullptr;
        if (!ReadTimes(v["times"], Member(path, "times"), d.times)) return nullptr;
        const size_t count = d.times.size() * size_t(dimension);
        if (!v.contains("values")) return Fail(Member(path, "values"), "missing field"), nullptr;
        if (!ReadFloats(v["values"], Member(path, "values"), count, 1, d.values)) return nullptr;
        if (rotation)
            for (size_t k = 0; k < d.times.size(); ++k) {
                const float* q = &d.values[k * 4];
                if (!(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3] > 0))
                    return Fail(Element(Member(path, "values"), k * 4), "quaternion of zero length"), nullptr;
            }
        if (v.contains("interpolation")) {
            const std::string at = Member(path, "interpolation");
            if (!v["interpolation"].is_string()) return Fail(at, "expected \"step\", \"linear\" or \"bezier\""), nullptr;
            const std::string name = v["interpolation"].get<std::string>();
            bool known = false;
            for (int i = 0; i < 3; ++i)
                if (name == kInterpolationNames[i]) {
                    d.interpolation = static_cast<HostInterpolation>(i);
                    known = true;
                }
            if (!known) return Fail(at, "unknown interpolation \"" + name + "\" (step, linear or bezier)"), nullptr;
            if (rotation && d.interpolation == HostInterpolation::Bezier)
                return Fail(at, "rotation keys interpolate \"step\" or \"linear\"; use per-axis angles for curves"),
                       nullptr;
        }
        for (auto [key, slopes] : {std::pair{"inSlopes", &d.inSlopes}, std::pair{"outSlopes", &d.outSlopes}}) {
            if (!v.contains(key)) continue;
            if (d.interpolation != HostInterpolation::Bezier)
                return Fail(Member(path, key), "slopes need \"interpolation\": \"bezier\""), nullptr;
            if (!ReadFloats(v[key], Member(path, key), count, 1, *slopes)) return nullptr;
        }
        return std::make_unique<HostKeyTrack>(std::move(d));
    }

    // A channel: keys of its own ("times" present) or one float track per axis.
    std::unique_ptr<Control> ReadChannel(const Json& v, const std::string& path, bool rotation) {
        if (!v.is_object()) return Fail(path, "expected an object"), nullptr;
        if (v.contains("times")) return ReadTrack(v, path, rotation ? 4 : 3, rotation);
        if (!OnlyKnownKeys(v, path, {"x", "y", "z"})) return nullptr;
        if (v.empty()) return Fail(path, "expected \"times\" and \"values\", or per-axis tracks \"x\", \"y\", \"z\""), nullptr;
        std::array<std::unique_ptr<HostKeyTrack>, 3> axes;
        const char* names[] = {"x", "y", "z"};
        for (int i = 0; i < 3; ++i) {
            if (!v.contains(names[i])) continue;
            axes[i] = ReadTrack(v[names[i]], Member(path, names[i]), 1, false);
            if (!axes[i]) return nullptr;
        }
        return std::make_unique<HostAxisControl>(std::move(axes));
    }
};

OrderedJson FloatsJson(const std::vector<float>& values) {
    OrderedJson a = OrderedJson::array();
    for (float f : values) a.push_back(Number(f));
    return a;
}

OrderedJson TrackJson(const HostKeyData& d) {
    OrderedJson t;
    t["times"] = d.times;
    t["values"] = FloatsJson(d.values);
    t["interpolation"] = kInterpolationNames[static_cast<int>(d.interpolation)];
    if (!d.inSlopes.empty()) t["inSlopes"] = FloatsJson(d.inSlopes);
    if (!d.outSlopes.empty()) t["outSlopes"] = FloatsJson(d.outSlopes);
    return t;
}

OrderedJson ChannelJson(const Control* c) {
    if (auto* track = dynamic_cast<const HostKeyTrack*>(c)) return TrackJson(track->data());
    OrderedJson axes = OrderedJson::object();
    if (auto* axis = dynamic_cast<const HostAxisControl*>(c)) {
        const char* names[] = {"x", "y", "z"};
        for (int i = 0; i < 3; ++i)
            if (axis->axis(i)) axes[names[i]] = TrackJson(axis->axis(i)->data());
    }
    return axes;
}

}  // namespace

std::unique_ptr<HostTransformControl> ReadTransformControlJson(const nlohmann::json& v, const std::string& path,
                                                               std::string& errorPath, std::string& problem) {
    std::string readerPath, readerProblem;
    ControlReader reader(readerPath, readerProblem);
    auto control = std::make_unique<HostTransformControl>();
    bool ok = reader.OnlyKnownKeys(v, path, {"type", "position", "rotation", "scale"});
    if (ok && v.contains("position")) {
        control->SetPosition(reader.ReadChannel(v["position"], path + ".position", false));
        ok = control->position() != nullptr;
    }
    if (ok && v.contains("rotation")) {
        control->SetRotation(reader.ReadChannel(v["rotation"], path + ".rotation", true));
        ok = control->rotation() != nullptr;
    }
    if (ok && v.contains("scale")) {
        control->SetScale(reader.ReadChannel(v["scale"], path + ".scale", false));
        ok = control->scale() != nullptr;
    }
    if (ok) return control;
    errorPath = readerPath;
    problem = readerProblem;
    return nullptr;
}

nlohmann::ordered_json TransformControlJson(const HostTransformControl& control) {
    OrderedJson c;
    c["type"] = "transform";
    if (control.position()) c["position"] = ChannelJson(control.position());
    if (control.rotation()) c["rotation"] = ChannelJson(control.rotation());
    if (control.scale()) c["scale"] = ChannelJson(control.scale());
    return c;
}
