#include "options/option_keys.h"

#include <array>
#include <charconv>

#include "options/number_text.h"

namespace {

constexpr OptionKey Int(const char* name, int32_t ExportOptions::*field, int32_t defaultValue) {
    return OptionKey{name, OptionType::Int, field, nullptr, defaultValue, nullptr, false};
}
constexpr OptionKey Float(const char* name, float ExportOptions::*field, const char* defaultText) {
    return OptionKey{name, OptionType::Float, nullptr, field, 0, defaultText, false};
}

using E = ExportOptions;

// The order in which a save writes the keys.
constexpr std::array<OptionKey, 54> kOptionKeys = {
    Int("SceneRoot", &E::SceneRoot, 0),
    Int("Meshs", &E::Meshs, 1),
    Int("Mtl", &E::Mtl, 1),
    Int("OTHER", &E::OTHER, 0),
    Int("Normal", &E::Normal, 1),
    Int("Tangent", &E::Tangent, 0),
    Int("BiTangent", &E::BiTangent, 0),
    Int("InlineMtl", &E::InlineMtl, 0),
    Int("PowerOf2", &E::PowerOf2, 0),
    Int("Bones", &E::Bones, 1),
    Int("Precision", &E::Precision, 10),
    Int("WorldSpace", &E::WorldSpace, 0),
    Int("MultiTexCoordsOptimize", &E::MultiTexCoordsOptimize, 0),
    Int("XFileType", &E::XFileType, 1),
    Int("Animation", &E::Animation, 1),
    Int("Dummy", &E::Dummy, 0),
    Int("FX", &E::FX, 0),
    Int("VertexDup", &E::VertexDup, 0),
    Int("EffectParam", &E::EffectParam, 1),
    Int("NormalMapCode", &E::NormalMapCode, 0),
    Int("DiffuseMapColor", &E::DiffuseMapColor, 0),
    Int("AnimationOptions", &E::AnimationOptions, 0),
    Int("AnimationOpenClose", &E::AnimationOpenClose, 0),
    Int("AnimationQuality", &E::AnimationQuality, 0),
    Int("VertexColor", &E::VertexColor, 0),
    Int("OverwriteFX", &E::OverwriteFX, 1),
    Int("OverwriteTexture", &E::OverwriteTexture, 1),
    Int("BoneMesh", &E::BoneMesh, 0),
    Int("TexCoords", &E::TexCoords, 1),
    Int("TextureFormat", &E::TextureFormat, 0),
    Int("TextureConvert", &E::TextureConvert, 0),
    Int("SkinFix", &E::SkinFix, 0),
    OptionKey{"SampleRate", OptionType::Int, &E::SampleRate, nullptr, 0, nullptr, true},
    Int("Timeline", &E::Timeline, 0),
    Int("TimelineCustom", &E::TimelineCustom, 1),
    Int("KeyType", &E::KeyType, 1),
    Int("KeyFrames", &E::KeyFrames, 0),
    Int("KeyOptimizeLevel", &E::KeyOptimizeLevel, 3),
    Int("SpaceScaleEnable", &E::SpaceScaleEnable, 0),
    Int("RightHand", &E::RightHand, 0),
    Int("DuplicateNodeName", &E::DuplicateNodeName, 0),
    Int("DxFx", &E::DxFx, 1),
    Int("TextureFiles", &E::TextureFiles, 1),
    Int("ProcMapX", &E::ProcMapX, 256),
    Int("ProcMapY", &E::ProcMapY, 256),
    Int("Skin", &E::Skin, 1),
    Int("DeclData", &E::DeclData, 0),
    Int("OnlyAnimationSet", &E::OnlyAnimationSet, 0),
    Int("Multi-Textures", &E::MultiTextures, 0),
    Int("ZRotEnable", &E::ZRotEnable, 0),
    Int("XRotEnable", &E::XRotEnable, 0),
    Float("SpaceScale", &E::SpaceScale, "1.0"),
    Float("ZRot", &E::ZRot, "0"),
    Float("XRot", &E::XRot, "0"),
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

std::string Quote(std::string_view s) { return "'" + std::string(s) + "'"; }

AnimClip MissingKeysClip() { return AnimClip{"Anim1", 0, 999999}; }

}  // namespace

bool SplitClipKey(std::string_view key, int32_t& index, ClipField& field) {
    constexpr std::string_view kPrefix = "Animation";
    if (!StartsWithNoCase(key, kPrefix)) return false;
    key.remove_prefix(kPrefix.size());
    size_t digits = 0;
    while (digits < key.size() && key[digits] >= '0' && key[digits] <= '9') ++digits;
    // At most 9 digits: the number always fits, and larger ones are beyond kMaxClipCount anyway.
    if (digits == 0 || digits > 9 || digits >= key.size() || key[digits] != '_') return false;
    int32_t number = 0;
    std::from_chars(key.data(), key.data() + digits, number);
    const std::string_view name = key.substr(digits + 1);
    if (EqualNoCase(name, "Name")) {
        field = ClipField::Name;
    } else if (EqualNoCase(name, "StartKey")) {
        field = ClipField::StartKey;
    } else if (EqualNoCase(name, "EndKey")) {
        field = ClipField::EndKey;
    } else {
        return false;
    }
    index = number;
    return true;
}

std::string ClipKeyName(size_t index, ClipField field) {
    const char* suffix = field == ClipField::Name ? "_Name" : (field == ClipField::StartKey ? "_StartKey" : "_EndKey");
    return "Animation" + std::to_string(index) + suffix;
}

std::span<const OptionKey> OptionKeyTable() { return kOptionKeys; }

const OptionKey* FindOptionKey(std::string_view key) {
    for (const OptionKey& option : kOptionKeys) {
        if (EqualNoCase(option.name, key)) return &option;
    }
    return nullptr;
}

std::string FormatOptionValue(const ExportOptions& options, const OptionKey& key) {
    if (key.type == OptionType::Int) return std::to_string(options.*key.intField);
    return FormatG(static_cast<double>(options.*key.floatField));
}

bool SetOptionByKey(ExportOptions& options, std::string_view key, std::string_view value, std::string& error) {
    const OptionKey* option = FindOptionKey(key);
    if (option == nullptr) {
        error = "unknown option key " + Quote(key);
        return false;
    }
    if (option->type == OptionType::Int) {
        int32_t parsed = 0;
        if (!ParseWholeInt(value, parsed)) {
            error = "option " + Quote(option->name) + ": " + Quote(value) + " is not a 32-bit integer";
            return false;
        }
        options.*option->intField = parsed;
    } else {
        float parsed = 0;
        if (!ParseWholeFloat(value, parsed)) {
            error = "option " + Quote(option->name) + ": " + Quote(value) + " is not a finite number";
            return false;
        }
        options.*option->floatField = parsed;
    }
    return true;
}

bool SetConfigValue(ExportOptions& options, std::string& sceneRootName, AnimClipList& clips, std::string_view key,
                    std::string_view value, std::string& error) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        error = "option " + Quote(key) + ": the value must be a single line of text";
        return false;
    }
    if (EqualNoCase(key, kSceneRootNameKey)) {
        sceneRootName = std::string(value);
        return true;
    }
    if (EqualNoCase(key, kAnimationCountKey)) {
        int32_t count = 0;
        if (!ParseWholeInt(value, count) || count < 0 || count > kMaxClipCount) {
            error = "option 'AnimationCount': " + Quote(value) + " is not a clip count from 0 to " +
                    std::to_string(kMaxClipCount);
            return false;
        }
        clips.resize(static_cast<size_t>(count), MissingKeysClip());
        return true;
    }
    int32_t index = 0;
    ClipField field = ClipField::Name;
    if (SplitClipKey(key, index, field)) {
        if (index >= kMaxClipCount) {
            error = "option " + Quote(key) + ": clip numbers go from 0 to " + std::to_string(kMaxClipCount - 1);
            return false;
        }
        int32_t frame = 0;
        if (field != ClipField::Name && !ParseWholeInt(value, frame)) {
            error = "option " + Quote(key) + ": " + Quote(value) + " is not a 32-bit integer";
            return false;
        }
        if (clips.size() <= static_cast<size_t>(index)) clips.resize(static_cast<size_t>(index) + 1, MissingKeysClip());
        AnimClip& clip = clips[static_cast<size_t>(index)];
        if (field == ClipField::Name) {
            clip.name = std::string(value);
        } else if (field == ClipField::StartKey) {
            clip.start = frame;
        } else {
            clip.end = frame;
        }
        return true;
    }
    return SetOptionByKey(options, key, value, error);
}

std::string FormatOptions(const ExportOptions& options, const std::string& sceneRootName, const AnimClipList& clips) {
    std::string text;
    for (const OptionKey& option : kOptionKeys) {
        text += option.name;
        text += '=';
        text += FormatOptionValue(options, option);
        text += '\n';
    }
    text += std::string(kSceneRootNameKey) + "=" + sceneRootName + "\n";
    text += std::string(kAnimationCountKey) + "=" + std::to_string(clips.size()) + "\n";
    for (size_t i = 0; i < clips.size(); ++i) {
        text += ClipKeyName(i, ClipField::Name) + "=" + clips[i].name + "\n";
        text += ClipKeyName(i, ClipField::StartKey) + "=" + std::to_string(clips[i].start) + "\n";
        text += ClipKeyName(i, ClipField::EndKey) + "=" + std::to_string(clips[i].end) + "\n";
    }
    return text;
}
