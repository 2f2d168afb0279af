#include "options/export_settings.h"

#include <map>

#include "options/number_text.h"
#include "options/option_keys.h"
#include "options/options_file.h"

namespace {

using E = ExportOptions;

std::string Int(int32_t v) { return std::to_string(v); }

// What the export does with the value of one option that the dialog would not hold, or "" when
// the dialog holds it as it is.
std::string NoteFor(const OptionKey& key, const ExportOptions& o, const ExportTime& time) {
    const std::string given = std::string(key.name) + "=" + FormatOptionValue(o, key);
    const auto note = [&](const std::string& range, const std::string& effect) {
        return given + " is outside the dialog's range (" + range + "); " + effect + " (the value is kept)";
    };
    if (key.type == OptionType::Float) {
        const float v = o.*key.floatField;
        if (key.floatField == &E::SpaceScale) {
            if (v > 0 && v <= 999999) return {};
            const std::string effect = !o.SpaceScaleEnable ? "SpaceScaleEnable is 0, so the export does not scale"
                                       : v <= 0            ? "the export leaves the scene unscaled"
                                                           : "the export scales the scene by " + FormatG(v);
            return note("above 0, at most 999999", effect);
        }
        if (v <= 999999) return {};
        const bool enabled = key.floatField == &E::ZRot ? o.ZRotEnable != 0 : o.XRotEnable != 0;
        return note("at most 999999", enabled ? "the export turns the scene by " + FormatG(v) + " degrees"
                                              : std::string(key.floatField == &E::ZRot ? "ZRotEnable" : "XRotEnable") +
                                                    " is 0, so the export does not turn the scene");
    }
    const auto field = key.intField;
    const int32_t v = o.*field;
    if (field == &E::XFileType) {
        if (v >= 0 && v <= 2) return {};
        return note("0 text, 1 binary, 2 compressed", "the export writes a compressed binary file");
    }
    if (field == &E::TextureFormat) {
        if (v >= 0 && v <= 4) return {};
        return note("0 to 4", "no export step reads it");
    }
    if (field == &E::Precision) {
        if (v >= 0 && v <= 10) return {};
        return note("0 to 10", "the weight fix uses a precision of " + FormatG(static_cast<float>(v) * 0.1f));
    }
    if (field == &E::TimelineCustom) {
        if (v >= 1 && v <= 999999) return {};
        return note("1 to 999999", "with Timeline=1 the key times are frames times " + Int(v));
    }
    if (field == &E::KeyOptimizeLevel) {
        if (v >= 1 && v <= 3) return {};
        return note("1 to 3", v == 0 ? "the export keeps every key" : "the export reduces keys as level 3 does");
    }
    if (field == &E::SampleRate) {
        const int64_t ticksPerSecond = int64_t(time.frameRate) * time.ticksPerFrame;
        const std::string range = "1 to " + std::to_string(ticksPerSecond < 999 ? ticksPerSecond : 999);
        if (v < 1 || v > ticksPerSecond)
            return note(range, "the export samples at the frame rate, " + Int(time.frameRate) + " times a second");
        if (v > 999) return note(range, "the export samples " + Int(v) + " times a second");
        return {};
    }
    if (field == &E::ProcMapX || field == &E::ProcMapY) {
        if (v >= 1 && v <= 9999) return {};
        return note("1 to 9999", v < 1 ? "procedural maps are not baked, with a warning for each"
                                       : "the export bakes maps of " + Int(v) + " pixels a side where it can");
    }
    if (field == &E::AnimationOpenClose || field == &E::AnimationQuality) {
        if (v == 0 || v == 1) return {};
        return note("0 or 1", "the export writes it into the AnimationOptions object as given");
    }
    // Every other integer is a switch, a check box or a pair of radio buttons.
    if (v == 0 || v == 1) return {};
    return note("0 or 1", "the export takes any value other than 0 as 1");
}

}  // namespace

bool ApplyExportSettings(const std::vector<ConfigSetting>& settings, ExportOptions& options,
                         std::string& sceneRootName, AnimClipList& clips, std::string& error) {
    ExportOptions o = options;
    std::string root = sceneRootName;
    AnimClipList c = clips;
    for (const ConfigSetting& setting : settings) {
        if (!SetConfigValue(o, root, c, setting.key, setting.value, error)) return false;
    }
    ApplyDependencyRules(o);
    options = o;
    sceneRootName = std::move(root);
    clips = std::move(c);
    return true;
}

std::vector<std::string> OutOfRangeNotes(const std::vector<ConfigSetting>& settings, const ExportOptions& options,
                                         const ExportTime& time) {
    std::map<const OptionKey*, size_t> last;  // key -> index of its last setting, for the order
    for (size_t i = 0; i < settings.size(); ++i) {
        if (const OptionKey* key = FindOptionKey(settings[i].key)) last[key] = i;
    }
    std::map<size_t, std::string> byOrder;
    for (const auto& [key, index] : last) {
        std::string line = NoteFor(*key, options, time);
        if (!line.empty()) byOrder.emplace(index, std::move(line));
    }
    std::vector<std::string> notes;
    for (auto& [index, line] : byOrder) notes.push_back(std::move(line));
    return notes;
}
