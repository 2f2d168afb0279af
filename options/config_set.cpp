#include "options/config_set.h"

#include <bit>
#include <cctype>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "options/number_text.h"
#include "options/option_keys.h"
#include "options/profile.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

// Calls changed(key, old, now) for every line of FormatOptions(after) whose value is not the
// same key's in FormatOptions(before) ("(none)" when before has no such key), in the file's
// order. Only values whose fields differ are formatted: equal fields format alike.
template <class Changed>
void ForEachChange(const ExportOptions& before, const std::string& beforeRoot, const AnimClipList& beforeClips,
                   const ExportOptions& after, const std::string& afterRoot, const AnimClipList& afterClips,
                   Changed changed) {
    const auto compare = [&](const std::string& key, const std::string& old, const std::string& now) {
        if (old != now) changed(key, old, now);
    };
    for (const OptionKey& key : OptionKeyTable()) {
        const bool same = key.type == OptionType::Int
                              ? before.*key.intField == after.*key.intField
                              : std::bit_cast<uint32_t>(before.*key.floatField) ==
                                    std::bit_cast<uint32_t>(after.*key.floatField);
        if (!same) compare(key.name, FormatOptionValue(before, key), FormatOptionValue(after, key));
    }
    if (beforeRoot != afterRoot) changed(kSceneRootNameKey, beforeRoot, afterRoot);
    if (beforeClips.size() != afterClips.size())
        changed(kAnimationCountKey, std::to_string(beforeClips.size()), std::to_string(afterClips.size()));
    const std::string none = "(none)";
    for (size_t i = 0; i < afterClips.size(); ++i) {
        const AnimClip& now = afterClips[i];
        const AnimClip* old = i < beforeClips.size() ? &beforeClips[i] : nullptr;
        if (!old || old->name != now.name) compare(ClipKeyName(i, ClipField::Name), old ? old->name : none, now.name);
        if (!old || old->start != now.start)
            changed(ClipKeyName(i, ClipField::StartKey), old ? std::to_string(old->start) : none,
                    std::to_string(now.start));
        if (!old || old->end != now.end)
            changed(ClipKeyName(i, ClipField::EndKey), old ? std::to_string(old->end) : none, std::to_string(now.end));
    }
}

// The key as the file spells it ("mtl" -> "Mtl", "animation01_name" -> "Animation1_Name").
std::string CanonicalKey(std::string_view key) {
    if (const OptionKey* option = FindOptionKey(key)) return option->name;
    int32_t index = 0;
    ClipField field = ClipField::Name;
    if (SplitClipKey(key, index, field)) return ClipKeyName(static_cast<size_t>(index), field);
    auto equal = [&](const char* name) {
        const std::string_view n(name);
        if (n.size() != key.size()) return false;
        for (size_t i = 0; i < n.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(n[i])) != std::tolower(static_cast<unsigned char>(key[i]))) {
                return false;
            }
        }
        return true;
    };
    if (equal(kSceneRootNameKey)) return kSceneRootNameKey;
    if (equal(kAnimationCountKey)) return kAnimationCountKey;
    return std::string(key);
}

AnimClip MissingKeysClip() { return AnimClip{"Anim1", 0, 999999}; }

// An exclusive lock on the directory that holds a file, held while the object lives. Locking
// the directory rather than the file survives the rename that replaces the file, and leaves
// nothing on disk. Without POSIX locks (the Windows build, which only shows the dialog) it does
// nothing.
class DirectoryLock {
public:
    DirectoryLock() = default;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
#ifndef _WIN32
    ~DirectoryLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    bool Acquire(const std::string& filePath, std::string& error) {
        namespace fs = std::filesystem;
        fs::path dir = fs::path(filePath).parent_path();
        if (dir.empty()) dir = ".";
        std::error_code ec;
        fs::create_directories(dir, ec);
        fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) {
            error = "cannot lock the configuration directory " + dir.string();
            return false;
        }
        return true;
    }

private:
    int fd_ = -1;
#else
    bool Acquire(const std::string&, std::string&) { return true; }
#endif
};

// Why the clip list refuses a value typed into the cell of a clip key.
std::string ClipRefusal(std::string_view key) {
    int32_t index = 0;
    ClipField field = ClipField::Name;
    SplitClipKey(key, index, field);
    const std::string longest = std::to_string(ClipListModel::kMaxEditLength);
    if (field == ClipField::Name) {
        return "a clip name is 1 to " + longest +
               " letters, digits and _ and does not start with a digit";
    }
    return "a clip frame is a whole number of 0 or more, at most " + longest + " digits";
}

// The options that unchecking Mtl in the dialog turns off, from the defaults, in the file's order.
std::vector<const OptionKey*> OptionsOffWithoutMaterials(const DialogContext& context) {
    ExportOptions on;
    {
        std::string root;
        AnimClipList clips;
        LoadOptions(ProfileFile(), OptionsTime{}, on, root, clips);  // the defaults
    }
    OptionsDialogModel dialog;
    dialog.Initialise(on, "", {}, context);
    dialog.Click(dlg::kMaterial);
    ExportOptions off;
    std::string root;
    AnimClipList clips;
    dialog.Accept(off, root, clips);
    std::vector<const OptionKey*> keys;
    for (const OptionKey& key : OptionKeyTable()) {
        if (key.type == OptionType::Int && key.intField != &ExportOptions::Mtl && on.*key.intField != 0 &&
            off.*key.intField == 0) {
            keys.push_back(&key);
        }
    }
    return keys;
}

// "A", "A and B", "A, B and C".
std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i != 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

// A line saying what switching materials off turned off with them, or which of those options stay
// off when materials are switched on again; empty when neither happened.
std::string MaterialSwitchNote(const ExportOptions& before, const ExportOptions& after,
                               const std::map<std::string, std::string>& typed, const DialogContext& context) {
    if (typed.count("Mtl") == 0 || (before.Mtl != 0) == (after.Mtl != 0)) return {};
    std::vector<std::string> names;
    for (const OptionKey* key : OptionsOffWithoutMaterials(context)) {
        const bool wasOn = before.*key->intField != 0, isOn = after.*key->intField != 0;
        if (typed.count(key->name) == 0 && !isOn && (wasOn || after.Mtl != 0)) names.push_back(key->name);
    }
    if (names.empty()) return {};
    const bool one = names.size() == 1;
    if (after.Mtl == 0) {
        return "Mtl=0 also turned off " + JoinNames(names) + "; Mtl=1 does not turn " + (one ? "it" : "them") +
               " back on";
    }
    return "Mtl=1 leaves " + JoinNames(names) + " off; set " + (one ? "it" : "them") + " to 1 as well to turn " +
           (one ? "it" : "them") + " back on";
}

// Types one setting into the dialog. False when the clip list refused the text.
bool TypeIntoDialog(OptionsDialogModel& dialog, const ConfigSetting& setting) {
    int32_t index = 0;
    ClipField clipField = ClipField::Name;
    if (SplitClipKey(setting.key, index, clipField)) {
        ClipListModel& clips = dialog.clips();
        clips.SetCurrentCell(index, clipField == ClipField::Name ? ClipListModel::kNameColumn
                                                                 : (clipField == ClipField::StartKey ? ClipListModel::kStartColumn
                                                                                             : ClipListModel::kEndColumn));
        std::string_view text = setting.value;
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        return clips.EndLabelEdit(text);
    }
    const std::string key = CanonicalKey(setting.key);
    if (key == kSceneRootNameKey) {
        dialog.SetText(dlg::kSceneRootName, setting.value);
        return true;
    }
    if (key == kAnimationCountKey) return true;  // rows were added or removed before the dialog opened

    const OptionKey* option = FindOptionKey(key);
    if (option == nullptr) return true;
    if (option->type == OptionType::Float) {
        dialog.SetText(option->floatField == &ExportOptions::SpaceScale
                           ? dlg::kScale
                           : (option->floatField == &ExportOptions::ZRot ? dlg::kZRot : dlg::kXRot),
                       setting.value);
        return true;
    }
    int32_t v = 0;
    ParseWholeInt(setting.value, v);  // validated before
    const auto field = option->intField;
    if (const int box = CheckBoxOfOption(field); box != 0) {
        if (dialog.IsChecked(box) != (v != 0)) dialog.Click(box);
    } else if (field == &ExportOptions::Timeline) {
        const int radio = v != 0 ? dlg::kTimelineCustom : dlg::kTimelineMax;
        if (!dialog.IsChecked(radio)) dialog.Click(radio);
    } else if (field == &ExportOptions::KeyType) {
        const int radio = v != 0 ? dlg::kKeysSrt : dlg::kKeysMatrix;
        if (!dialog.IsChecked(radio)) dialog.Click(radio);
    } else if (field == &ExportOptions::XFileType) {
        dialog.SetSelection(dlg::kXFileType, v);
    } else if (field == &ExportOptions::TextureFormat) {
        dialog.SetSelection(dlg::kTextureFormat, v);
    } else if (field == &ExportOptions::AnimationOptions) {
        dialog.SetChecked(dlg::kAnimOptionsType, v != 0);
    } else if (field == &ExportOptions::AnimationOpenClose) {
        dialog.SetSelection(dlg::kAnimOpenClose, v != 0 ? 1 : 0);
    } else if (field == &ExportOptions::AnimationQuality) {
        dialog.SetSelection(dlg::kAnimQuality, v != 0 ? 1 : 0);
    } else if (field == &ExportOptions::Precision) {
        dialog.SetSpinnerValue(dlg::kPrecisionSpinner, static_cast<double>(static_cast<float>(v) * 0.1f));
    } else if (field == &ExportOptions::TimelineCustom) {
        dialog.SetSpinnerValue(dlg::kCustomSpinner, v);
    } else if (field == &ExportOptions::KeyOptimizeLevel) {
        dialog.SetSpinnerValue(dlg::kOptimizeSpinner, v);
    } else if (field == &ExportOptions::SampleRate) {
        dialog.SetText(dlg::kSampleRate, std::to_string(v));
    } else if (field == &ExportOptions::ProcMapX) {
        dialog.SetText(dlg::kProcMapX, std::to_string(v));
    } else if (field == &ExportOptions::ProcMapY) {
        dialog.SetText(dlg::kProcMapY, std::to_string(v));
    }
    return true;
}

}  // namespace

bool ParseConfigAssignment(std::string_view text, ConfigSetting& setting, std::string& error) {
    const size_t eq = text.find('=');
    std::string_view key = text.substr(0, eq);
    while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.remove_prefix(1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    if (eq == std::string_view::npos || key.empty()) {
        error = "'" + std::string(text) + "' is not of the form KEY=VALUE";
        return false;
    }
    setting.key = std::string(key);
    setting.value = std::string(text.substr(eq + 1));
    return true;
}

bool SettingsDefineClips(const std::vector<ConfigSetting>& settings) {
    for (const ConfigSetting& setting : settings) {
        int32_t index = 0;
        ClipField field{};
        if (SplitClipKey(setting.key, index, field) || CanonicalKey(setting.key) == kAnimationCountKey) return true;
    }
    return false;
}

bool ApplyConfigSettings(const std::vector<ConfigSetting>& settings, const DialogContext& context,
                         ExportOptions& options, std::string& sceneRootName, AnimClipList& clips,
                         std::vector<std::string>& corrections, std::string& error) {
    // What was asked, taken literally; this also checks every key and value before anything changes.
    ExportOptions requested = options;
    std::string requestedRoot = sceneRootName;
    AnimClipList requestedClips = clips;
    for (const ConfigSetting& setting : settings) {
        if (!SetConfigValue(requested, requestedRoot, requestedClips, setting.key, setting.value, error)) return false;
    }

    // Rows are added or removed first, in the order of the settings, keeping the current values.
    AnimClipList rows = clips;
    for (const ConfigSetting& setting : settings) {
        int32_t index = 0;
        ClipField field = ClipField::Name;
        if (CanonicalKey(setting.key) == kAnimationCountKey) {
            int32_t count = 0;
            ParseWholeInt(setting.value, count);
            rows.resize(static_cast<size_t>(count), MissingKeysClip());
        } else if (SplitClipKey(setting.key, index, field) && rows.size() <= static_cast<size_t>(index)) {
            rows.resize(static_cast<size_t>(index) + 1, MissingKeysClip());
        }
    }

    OptionsDialogModel dialog;
    dialog.Initialise(options, sceneRootName, rows, context);
    for (const ConfigSetting& setting : settings) {
        if (!TypeIntoDialog(dialog, setting)) {
            error = CanonicalKey(setting.key) + "=" + setting.value + " is refused: " + ClipRefusal(setting.key) +
                    "; nothing was changed";
            return false;
        }
    }
    ExportOptions accepted = options;
    std::string acceptedRoot;
    AnimClipList acceptedClips;
    dialog.Accept(accepted, acceptedRoot, acceptedClips);

    std::map<std::string, std::string> typed;  // key -> the text given last for it
    for (const ConfigSetting& setting : settings) typed[CanonicalKey(setting.key)] = setting.value;
    corrections.clear();
    std::set<size_t> clipsSet;
    for (const ConfigSetting& setting : settings) {
        int32_t index = 0;
        ClipField field{};
        if (SplitClipKey(setting.key, index, field)) clipsSet.insert(static_cast<size_t>(index));
    }
    for (size_t index : clipsSet) {
        if (index >= requestedClips.size()) continue;
        const AnimClip& clip = requestedClips[index];
        if (clip.start > clip.end) {
            corrections.push_back("clip " + std::to_string(index) + " (" + clip.name + ") ends at frame " +
                                  std::to_string(clip.end) + ", before it starts at frame " +
                                  std::to_string(clip.start));
        }
    }
    ForEachChange(requested, requestedRoot, requestedClips, accepted, acceptedRoot, acceptedClips,
                  [&](const std::string& key, const std::string& old, const std::string& value) {
                      auto given = typed.find(key);
                      if (given != typed.end()) {
                          corrections.push_back(key + "=" + given->second + " was corrected to " + value);
                      } else {
                          corrections.push_back(key + " changed from " + old + " to " + value);
                      }
                  });

    if (std::string note = MaterialSwitchNote(options, accepted, typed, context); !note.empty())
        corrections.push_back(std::move(note));

    options = accepted;
    sceneRootName = std::move(acceptedRoot);
    clips = std::move(acceptedClips);
    return true;
}

bool ConfigSet(const std::string& path, const std::vector<ConfigSetting>& settings, int32_t frameRate,
               int32_t ticksPerFrame, std::vector<std::string>& corrections, std::string& error) {
    DirectoryLock lock;
    if (!lock.Acquire(path, error)) return false;
    ProfileFile file;
    std::string why;
    if (!file.Load(path, why)) {
        error = "the options file " + path + " " + why;
        return false;
    }
    // No scene: the whole frame range, so that no stored clip is pulled into some default range.
    constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
    constexpr int32_t kHighest = std::numeric_limits<int32_t>::max();
    const OptionsTime time{kLowest, kHighest, 1, frameRate};
    ExportOptions options;
    std::string sceneRootName;
    AnimClipList clips;
    LoadOptions(file, time, options, sceneRootName, clips);

    DialogContext context;
    context.range = RangeFrames(time);
    context.frameRate = frameRate;
    context.ticksPerFrame = ticksPerFrame;
    if (!ApplyConfigSettings(settings, context, options, sceneRootName, clips, corrections, error)) return false;
    const bool writeClips = DefinesClips(file) || SettingsDefineClips(settings);
    if (!SaveOptions(path, options, sceneRootName, clips, writeClips)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool ConfigUnset(const std::string& path, const std::vector<std::string>& keys, std::string& error) {
    bool wholeClipList = false;
    for (const std::string& key : keys) {
        int32_t index = 0;
        ClipField field{};
        const std::string canonical = CanonicalKey(key);
        if (canonical == kAnimationCountKey) {
            wholeClipList = true;
        } else if (FindOptionKey(key) == nullptr && canonical != kSceneRootNameKey && !SplitClipKey(key, index, field)) {
            error = "unknown option key '" + key + "'";
            return false;
        }
    }
    DirectoryLock lock;
    if (!lock.Acquire(path, error)) return false;
    ProfileFile file;
    std::string why;
    if (!file.Load(path, why)) {
        error = "the options file " + path + " " + why;
        return false;
    }
    std::set<std::string> named;
    for (const std::string& key : keys) named.insert(CanonicalKey(key));
    const size_t removed = file.RemoveKeys(kOptionSection, [&](std::string_view key) {
        int32_t index = 0;
        ClipField field{};
        const std::string canonical = CanonicalKey(key);
        return named.count(canonical) != 0 ||
               (wholeClipList && (canonical == kAnimationCountKey || SplitClipKey(key, index, field)));
    });
    if (removed != 0 && !file.Save(path)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool ConfigReset(const std::string& path, std::string& error) {
    DirectoryLock lock;
    if (!lock.Acquire(path, error)) return false;
    ProfileFile file;
    std::string why;
    if (!file.Load(path, why)) {
        error = "the options file " + path + " " + why;
        return false;
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) {
        error = "cannot remove " + path + ": " + ec.message();
        return false;
    }
    return true;
}
