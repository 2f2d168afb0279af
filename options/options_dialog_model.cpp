#include "options/options_dialog_model.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "options/number_text.h"
#include "options/option_keys.h"
#include "core/names.h"

namespace {

using E = ExportOptions;

struct CheckBinding {
    int id;
    int32_t ExportOptions::*field;
};

// Every visible check box and the option it edits.
constexpr std::array<CheckBinding, 38> kChecks = {{
    {dlg::kSceneRoot, &E::SceneRoot},
    {dlg::kMaterial, &E::Mtl},
    {dlg::kInline, &E::InlineMtl},
    {dlg::kBone, &E::Bones},
    {dlg::kBoneMesh, &E::BoneMesh},
    {dlg::kMesh, &E::Meshs},
    {dlg::kSkin, &E::Skin},
    {dlg::kWeightFix, &E::SkinFix},
    {dlg::kAnimation, &E::Animation},
    {dlg::kOnlyAnimationSet, &E::OnlyAnimationSet},
    {dlg::kDummy, &E::Dummy},
    {dlg::kOtherNodes, &E::OTHER},
    {dlg::kDuplicateName, &E::DuplicateNodeName},
    {dlg::kVertexDup, &E::VertexDup},
    {dlg::kDeclData, &E::DeclData},
    {dlg::kNormal, &E::Normal},
    {dlg::kTangent, &E::Tangent},
    {dlg::kBitangent, &E::BiTangent},
    {dlg::kVertexColor, &E::VertexColor},
    {dlg::kTexCoords, &E::TexCoords},
    {dlg::kTextures, &E::TextureFiles},
    {dlg::kTextureOverwrite, &E::OverwriteTexture},
    {dlg::kMultiTextures, &E::MultiTextures},
    {dlg::kConvertTo, &E::TextureConvert},
    {dlg::kPowerOf2, &E::PowerOf2},
    {dlg::kRemoveDuplicates, &E::MultiTexCoordsOptimize},
    {dlg::kCreateShader, &E::FX},
    {dlg::kNormalMap, &E::NormalMapCode},
    {dlg::kKeyFrames, &E::KeyFrames},
    {dlg::kDiffuseMapColor, &E::DiffuseMapColor},
    {dlg::kEffectParams, &E::EffectParam},
    {dlg::kFx, &E::DxFx},
    {dlg::kFxOverwrite, &E::OverwriteFX},
    {dlg::kXRotEnable, &E::XRotEnable},
    {dlg::kZRotEnable, &E::ZRotEnable},
    {dlg::kScaleEnable, &E::SpaceScaleEnable},
    {dlg::kRightHanded, &E::RightHand},
    {dlg::kWorldSpace, &E::WorldSpace},
}};

constexpr std::array<int, 9> kTextureControls = {dlg::kConvertTo,   dlg::kTextureFormat,     dlg::kTextureOverwrite,
                                                 dlg::kProcMapX,    dlg::kProcMapY,          dlg::kRemoveDuplicates,
                                                 dlg::kCreateShader, dlg::kNormalMap,        dlg::kMultiTextures};

// Controls that only show text; they take part in the model so the view can find them.
constexpr std::array<int, 6> kStatics = {dlg::kProcTextureLabel, dlg::kProcTimes, dlg::kSamplingLabel,
                                         dlg::kOptimizeLabel,    dlg::kStatus,    dlg::kClipList};
constexpr std::array<int, 6> kButtons = {dlg::kAdd, dlg::kInsert, dlg::kDelete, dlg::kOk, dlg::kCancel, dlg::kAnimOptionsType};
constexpr std::array<int, 7> kEdits = {dlg::kSceneRootName, dlg::kScale, dlg::kXRot, dlg::kZRot,
                                       dlg::kSampleRate,    dlg::kProcMapX, dlg::kProcMapY};

const CheckBinding* FindCheck(int id) {
    for (const CheckBinding& check : kChecks) {
        if (check.id == id) return &check;
    }
    return nullptr;
}

bool IsRadio(int id) {
    return id == dlg::kTimelineMax || id == dlg::kTimelineCustom || id == dlg::kKeysMatrix || id == dlg::kKeysSrt;
}

// "%g" of value, with a magnitude of at most 0.00001 shown as 0.
std::string RotationText(float value) {
    return std::fabs(static_cast<double>(value)) <= 0.00001 ? std::string("0") : FormatG(value);
}

// The scale as the dialog shows it: below 1, the digits of 1 + value with the leading "1"
// replaced by "0", so small scales appear as plain decimals instead of in exponent form.
std::string ScaleText(float value) {
    if (value >= 1.0f) return FormatG(value);
    std::string text = FormatG(static_cast<double>(value) + 1.0);
    if (!text.empty()) text[0] = '0';
    return text;
}

std::string SpinnerText(const SpinnerState& spinner) {
    if (!spinner.isFloat) return std::to_string(static_cast<int64_t>(spinner.value));
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, spinner.value, std::chars_format::fixed, 1);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0.0");
}

double ClampToLimits(const SpinnerState& spinner, double value) {
    if (!spinner.isFloat) value = std::trunc(value);
    value = value < spinner.minimum ? spinner.minimum : (value > spinner.maximum ? spinner.maximum : value);
    return spinner.isFloat ? static_cast<double>(static_cast<float>(value)) : value;
}

// A spinner's edit text as a number: the whole text (blanks around it allowed) must be one.
bool ParseSpinnerText(std::string_view text, double& value) {
    float parsed = 0;
    if (!ParseWholeFloat(text, parsed)) return false;
    value = parsed;
    return true;
}

void StepSpinnerState(SpinnerState& spinner, int steps) {
    // Count in whole steps from the minimum, so that repeated clicks land on exact step values
    // (0.7 and not 0.70000005) and read back as the expected tenths.
    const double position = std::round((spinner.value - spinner.minimum) / spinner.step) + steps;
    spinner.value = ClampToLimits(spinner, spinner.minimum + position * spinner.step);
}

SpinnerState MakeSpinner(int editId, bool isFloat, double minimum, double maximum, double step, double value) {
    SpinnerState spinner{editId, isFloat, minimum, maximum, step, 0};
    spinner.value = ClampToLimits(spinner, value);
    return spinner;
}

}  // namespace

int CheckBoxOfOption(int32_t ExportOptions::*field) {
    for (const CheckBinding& check : kChecks) {
        if (check.field == field) return check.id;
    }
    return 0;
}

bool EditFilterAccepts(EditFilter filter, std::string_view text, size_t selStart, size_t selLength, char ch) {
    if (filter == EditFilter::None || ch == '\b') return true;
    text = text.substr(0, std::min<size_t>(text.size(), 30));
    size_t digits = 0;
    for (char c : text) {
        if (c != '.') ++digits;  // a leading '-' counts as a digit
    }
    const size_t limit = (!text.empty() && text.front() == '.') ? 5 : 6;
    const bool full = digits >= limit;
    if (ch == '.') {
        return !(text.find('.') != std::string_view::npos || (full && selLength == 0));
    }
    if (ch >= '0' && ch <= '9') {
        if (!full) return true;
        if (selLength == 0) return false;
        // Replacing the '.' alone would add a digit without removing one.
        const bool onlyDotSelected = selLength == 1 && selStart < text.size() && text[selStart] == '.' && selStart < digits;
        return !onlyDotSelected;
    }
    if (ch == '-' && filter == EditFilter::Signed) {
        return !(!text.empty() && text.front() == '-') && selStart == 0;
    }
    return false;
}

void OptionsDialogModel::Enable(int id, bool enabled) { State(id).enabled = enabled; }

void OptionsDialogModel::TextureControlsSwitch(bool enable) {
    for (int id : kTextureControls) Enable(id, enable);
}

void OptionsDialogModel::DeclDataSwitch(bool flag) {
    Enable(dlg::kTangent, flag);
    Enable(dlg::kBitangent, flag);
    if (!flag) {
        Check(dlg::kCreateShader, false);
        Check(dlg::kNormalMap, false);
    } else {
        Check(dlg::kDeclData, true);
    }
}

void OptionsDialogModel::TexCoordsRule() {
    if (IsChecked(dlg::kTexCoords)) {
        Check(dlg::kMesh, true);
        Check(dlg::kMaterial, true);
    } else {
        Check(dlg::kCreateShader, false);
        Check(dlg::kNormalMap, false);
    }
}

void OptionsDialogModel::Initialise(const ExportOptions& o, const std::string& sceneRootName,
                                    const AnimClipList& clips, const DialogContext& context) {
    controls_.clear();
    spinners_.clear();
    context_ = context;
    initialised_ = true;
    for (const CheckBinding& check : kChecks) State(check.id);
    for (int id : kStatics) State(id);
    for (int id : kButtons) State(id);
    for (int id : kEdits) State(id);
    for (int id : {dlg::kTimelineMax, dlg::kTimelineCustom, dlg::kKeysMatrix, dlg::kKeysSrt}) State(id);
    State(dlg::kProcTextureLabel).text = "Procedural Texture Size:";
    State(dlg::kProcTimes).text = "\xC3\x97";  // the multiplication sign, UTF-8
    State(dlg::kSamplingLabel).text = "Sampling Rate";
    State(dlg::kOptimizeLabel).text = "Optimize";
    for (int id : {dlg::kAnimOptionsType, dlg::kAnimOpenClose, dlg::kAnimQuality}) State(id).visible = false;

    // 3. The clip list over the scene's frame range.
    clips_.Reset(context.range.first, context.range.last);
    clips_.AddColumn("Name", 90);
    clips_.AddColumn("Start", 45);
    clips_.AddColumn("End", 45);
    for (const AnimClip& clip : clips) clips_.AddClip(clip.name, clip.start, clip.end);

    // 4, 5. Root frame name, scale and rotations.
    if (!sceneRootName.empty()) State(dlg::kSceneRootName).text = sceneRootName;
    State(dlg::kScale).text = ScaleText(o.SpaceScale);
    State(dlg::kZRot).text = RotationText(o.ZRot);
    State(dlg::kXRot).text = RotationText(o.XRot);

    // 6. Lists. A value outside the items (negative ones included) shows the first item.
    State(dlg::kXFileType).items = {"Text", "Binary", "Compress"};
    State(dlg::kXFileType).selection = (o.XFileType < 0 || o.XFileType > 2) ? 0 : o.XFileType;
    State(dlg::kTextureFormat).items = {"dds", "png", "tga", "jpg", "bmp"};
    State(dlg::kTextureFormat).selection = (o.TextureFormat < 0 || o.TextureFormat > 4) ? 0 : o.TextureFormat;

    // 7. Check boxes, radio buttons and the states that follow from them.
    for (const CheckBinding& check : kChecks) Check(check.id, o.*check.field != 0);
    Check(dlg::kAnimOptionsType, o.AnimationOptions != 0);
    Check(dlg::kTimelineCustom, o.Timeline != 0);
    Check(dlg::kTimelineMax, o.Timeline == 0);
    Check(dlg::kKeysSrt, o.KeyType != 0);
    Check(dlg::kKeysMatrix, o.KeyType == 0);
    Enable(dlg::kFxOverwrite, o.DxFx != 0);
    for (int id : {dlg::kSkin, dlg::kWeightFix, dlg::kPrecisionEdit}) Enable(id, o.Meshs != 0);
    if (o.NormalMapCode != 0) {
        for (int id : {dlg::kCreateShader, dlg::kTexCoords, dlg::kNormal, dlg::kTangent, dlg::kBitangent}) Check(id, true);
    }
    TextureControlsSwitch(o.TextureFiles != 0);
    Enable(dlg::kTangent, o.DeclData != 0);
    Enable(dlg::kBitangent, o.DeclData != 0);
    if (o.DeclData == 0) {
        Check(dlg::kCreateShader, false);
        Check(dlg::kNormalMap, false);
    }
    Enable(dlg::kOnlyAnimationSet, o.Animation != 0);

    // 8. Hidden lists.
    State(dlg::kAnimOpenClose).items = {"Closed", "Open"};
    State(dlg::kAnimOpenClose).selection = o.AnimationOpenClose != 0 ? 1 : 0;
    State(dlg::kAnimQuality).items = {"Spline", "Linear"};
    State(dlg::kAnimQuality).selection = o.AnimationQuality != 0 ? 1 : 0;

    // 10-12. Spinners. Precision is compared as an unsigned number, so negative values show as 10.
    const int32_t precision = static_cast<uint32_t>(o.Precision) > 10u ? 10 : o.Precision;
    spinners_[dlg::kPrecisionSpinner] =
        MakeSpinner(dlg::kPrecisionEdit, true, 0.0, 1.0, 0.1, static_cast<float>(precision) * 0.1f);
    spinners_[dlg::kCustomSpinner] = MakeSpinner(dlg::kCustomEdit, false, 1, 999999, 1, o.TimelineCustom);
    spinners_[dlg::kOptimizeSpinner] = MakeSpinner(dlg::kOptimizeEdit, false, 1, 3, 1, o.KeyOptimizeLevel);
    for (const auto& [id, spinner] : spinners_) {
        State(spinner.editId).text = SpinnerText(spinner);
        State(id).enabled = IsEnabled(spinner.editId);
    }

    // 13, 14. Status line and number fields.
    State(dlg::kStatus).text = kStatusText;
    State(dlg::kSampleRate).text = std::to_string(o.SampleRate);
    State(dlg::kProcMapX).text = std::to_string(o.ProcMapX);
    State(dlg::kProcMapY).text = std::to_string(o.ProcMapY);
}

std::vector<int> OptionsDialogModel::ControlIds() const {
    std::vector<int> ids;
    for (const auto& entry : controls_) ids.push_back(entry.first);
    return ids;
}

const ControlState& OptionsDialogModel::Control(int id) const {
    static const ControlState kNone;
    auto it = controls_.find(id);
    return it != controls_.end() ? it->second : kNone;
}

void OptionsDialogModel::SetChecked(int id, bool checked) { Check(id, checked); }

void OptionsDialogModel::SetText(int id, std::string_view text) {
    State(id).text = std::string(text);
    const int spinnerId = SpinnerOfEdit(id);
    double value = 0;
    if (spinnerId != 0 && ParseSpinnerText(text, value)) {
        SpinnerState& spinner = spinners_[spinnerId];
        spinner.value = ClampToLimits(spinner, value);
    }
}

void OptionsDialogModel::SetSelection(int id, int32_t selection) {
    ControlState& state = State(id);
    state.selection = (selection >= 0 && static_cast<size_t>(selection) < state.items.size()) ? selection : -1;
}

DialogAction OptionsDialogModel::Click(int id) {
    if (FindCheck(id) != nullptr) {
        Check(id, !IsChecked(id));
    } else if (IsRadio(id)) {
        const bool timeline = id == dlg::kTimelineMax || id == dlg::kTimelineCustom;
        Check(timeline ? dlg::kTimelineMax : dlg::kKeysMatrix, false);
        Check(timeline ? dlg::kTimelineCustom : dlg::kKeysSrt, false);
        Check(id, true);
    }
    return Command(id);
}

DialogAction OptionsDialogModel::Command(int id) {
    const bool on = IsChecked(id);
    switch (id) {
        case dlg::kMesh:
            for (int target : {dlg::kSkin, dlg::kWeightFix, dlg::kPrecisionEdit}) Enable(target, on);
            Enable(dlg::kPrecisionSpinner, on);
            break;
        case dlg::kMaterial:
            if (!on) {
                Enable(dlg::kFxOverwrite, false);
                for (int target : {dlg::kFx, dlg::kEffectParams, dlg::kInline, dlg::kCreateShader, dlg::kNormalMap,
                                   dlg::kTextures, dlg::kPowerOf2}) {
                    Check(target, false);
                }
                TextureControlsSwitch(false);
            }
            break;
        case dlg::kInline:
        case dlg::kEffectParams:
            if (on) Check(dlg::kMaterial, true);
            break;
        case dlg::kNormal:
        case dlg::kTangent:
        case dlg::kBitangent:
            if (on) Check(dlg::kMesh, true);
            if (id == dlg::kNormal && !on) Check(dlg::kNormalMap, false);
            if (!(IsChecked(dlg::kNormal) && IsChecked(dlg::kTangent) && IsChecked(dlg::kBitangent))) {
                Check(dlg::kNormalMap, false);
            }
            break;
        case dlg::kAnimation:
            Enable(dlg::kOnlyAnimationSet, on);
            break;
        case dlg::kBone:
            if (!on) Check(dlg::kBoneMesh, false);
            break;
        case dlg::kAdd:
            return initialised_ ? DialogAction::OpenClipDialog : DialogAction::None;
        case dlg::kDelete:
            clips_.DeleteRow(clips_.currentRow() >= 0 ? clips_.currentRow() : clips_.rowCount() - 1);
            break;
        case dlg::kInsert:
            clips_.InsertClip();
            break;
        case dlg::kCreateShader:
            if (on) {
                DeclDataSwitch(true);
                for (int target : {dlg::kMesh, dlg::kTexCoords, dlg::kMaterial, dlg::kMultiTextures}) Check(target, true);
            } else {
                Check(dlg::kNormalMap, false);
            }
            break;
        case dlg::kNormalMap:
            if (on) {
                DeclDataSwitch(true);
                for (int target : {dlg::kMesh, dlg::kCreateShader, dlg::kTexCoords, dlg::kNormal, dlg::kTangent,
                                   dlg::kBitangent, dlg::kMaterial, dlg::kMultiTextures}) {
                    Check(target, true);
                }
            }
            break;
        case dlg::kVertexColor:
            if (on) Check(dlg::kMesh, true);
            break;
        case dlg::kTexCoords:
            TexCoordsRule();
            break;
        case dlg::kOk:
            return DialogAction::EndOk;
        case dlg::kCancel:
            return DialogAction::EndCancel;
        case dlg::kTimelineCustom:
            State(dlg::kSampleRate).text = std::to_string(context_.frameRate);
            break;
        case dlg::kConvertTo:
            if (!on) Check(dlg::kPowerOf2, false);
            break;
        case dlg::kTextures:
            TextureControlsSwitch(on);
            if (on) Check(dlg::kMaterial, true);
            break;
        case dlg::kFx:
            Enable(dlg::kFxOverwrite, on);
            if (on) Check(dlg::kMaterial, true);
            break;
        case dlg::kDeclData:
            DeclDataSwitch(on);
            TexCoordsRule();
            break;
        case dlg::kMultiTextures:
            if (on) {
                Check(dlg::kMaterial, true);
            } else {
                Check(dlg::kCreateShader, false);
                Check(dlg::kNormalMap, false);
            }
            break;
        default:
            break;
    }
    return DialogAction::None;
}

const SpinnerState& OptionsDialogModel::Spinner(int spinnerId) const {
    static const SpinnerState kNone;
    auto it = spinners_.find(spinnerId);
    return it != spinners_.end() ? it->second : kNone;
}

void OptionsDialogModel::SetSpinnerValue(int spinnerId, double value) {
    auto it = spinners_.find(spinnerId);
    if (it == spinners_.end()) return;
    it->second.value = ClampToLimits(it->second, value);
    State(it->second.editId).text = SpinnerText(it->second);
}

void OptionsDialogModel::StepSpinner(int spinnerId, int steps) {
    auto it = spinners_.find(spinnerId);
    if (it == spinners_.end()) return;
    StepSpinnerState(it->second, steps);
    State(it->second.editId).text = SpinnerText(it->second);
}

int OptionsDialogModel::SpinnerOfEdit(int editId) const {
    for (const auto& [id, spinner] : spinners_) {
        if (spinner.editId == editId) return id;
    }
    return 0;
}

EditFilter OptionsDialogModel::FilterOf(int id) const {
    if (id == dlg::kScale) return EditFilter::Unsigned;
    if (id == dlg::kZRot || id == dlg::kXRot) return EditFilter::Signed;
    return EditFilter::None;
}

void OptionsDialogModel::Accept(ExportOptions& o, std::string& sceneRootName, AnimClipList& clips) const {
    if (!initialised_) return;
    // 1. Spinners. The float is multiplied in single precision: 0.7f * 10 gives exactly 7.
    const float precision = static_cast<float>(Spinner(dlg::kPrecisionSpinner).value) * 10.0f;
    o.Precision = static_cast<int32_t>(precision);
    o.TimelineCustom = static_cast<int32_t>(Spinner(dlg::kCustomSpinner).value);
    o.KeyOptimizeLevel = static_cast<int32_t>(Spinner(dlg::kOptimizeSpinner).value);

    // 2. Check boxes, radio buttons and hidden controls.
    for (const CheckBinding& check : kChecks) o.*check.field = IsChecked(check.id) ? 1 : 0;
    o.Timeline = IsChecked(dlg::kTimelineCustom) ? 1 : 0;
    o.KeyType = IsChecked(dlg::kKeysSrt) ? 1 : 0;
    o.AnimationOptions = 0;
    o.AnimationOpenClose = Selection(dlg::kAnimOpenClose) > 0 ? 1 : 0;
    o.AnimationQuality = Selection(dlg::kAnimQuality) > 0 ? 1 : 0;

    // 3. Lists.
    const int32_t fileType = Selection(dlg::kXFileType);
    o.XFileType = (fileType >= 0 && fileType <= 2) ? fileType : 0;
    const int32_t textureFormat = Selection(dlg::kTextureFormat);
    o.TextureFormat = (textureFormat >= 0 && textureFormat <= 4) ? textureFormat : 0;

    // 4. Procedural map size: the first four characters, at least 1.
    o.ProcMapX = std::max(1, ParseLeadingInt(std::string_view(Text(dlg::kProcMapX)).substr(0, 4)));
    o.ProcMapY = std::max(1, ParseLeadingInt(std::string_view(Text(dlg::kProcMapY)).substr(0, 4)));

    // 5. Sampling rate: the first three characters, within 1 to one sample per tick.
    int32_t rate = ParseLeadingInt(std::string_view(Text(dlg::kSampleRate)).substr(0, 3));
    const int64_t ticksPerSecond = int64_t{context_.ticksPerFrame} * context_.frameRate;
    if (rate < 1 || rate > ticksPerSecond) rate = context_.frameRate;
    o.SampleRate = o.Timeline == 1 ? context_.frameRate : rate;

    // 6. Clips, in row order, not clamped.
    clips = clips_.ReadClips();

    // 7, 8. Scale and rotations: at most 63 characters of text. A rotation that does not fit a
    // float (below about -3.4e38; larger ones are already capped) counts as no number, i.e. 0.
    const double scale = ParseLeadingDouble(std::string_view(Text(dlg::kScale)).substr(0, 63));
    o.SpaceScale = scale <= 0 ? 0.00001f : (scale > 999999 ? 999999.0f : static_cast<float>(scale));
    auto rotation = [](const std::string& text) {
        double value = ParseLeadingDouble(std::string_view(text).substr(0, 63));
        if (std::fabs(value) <= 0.000001) return 0.0f;
        if (value > 999999) return 999999.0f;
        if (value < -static_cast<double>(std::numeric_limits<float>::max())) return 0.0f;
        return static_cast<float>(value);
    };
    o.ZRot = rotation(Text(dlg::kZRot));
    o.XRot = rotation(Text(dlg::kXRot));

    // 9. Root frame name: blanks removed; a name that is not a legal frame name falls back to
    // the scene's root name.
    const std::string name = RemoveSpaces(std::string_view(Text(dlg::kSceneRootName)).substr(0, 63));
    sceneRootName = SanitizeXName(name) != name ? context_.sceneRootName : name;
}

// ---------------------------------------------------------------------------------------------
// Clip dialog

void ClipDialogModel::Initialise(const ClipListModel& clips) {
    name_ = clips.MakeUniqueClipName("Anims_" + std::to_string(clips.rowCount() + 1));
    start_ = MakeSpinner(dlg::kClipStartEdit, false, clips.firstFrame(), clips.lastFrame(), 1, clips.firstFrame());
    end_ = MakeSpinner(dlg::kClipEndEdit, false, clips.firstFrame(), clips.lastFrame(), 1, clips.lastFrame());
}

void ClipDialogModel::SetText(int editId, std::string_view text) {
    double value = 0;
    if (!ParseSpinnerText(text, value)) return;
    if (editId == dlg::kClipStartEdit) start_.value = ClampToLimits(start_, value);
    if (editId == dlg::kClipEndEdit) end_.value = ClampToLimits(end_, value);
}

void ClipDialogModel::StepSpinner(int spinnerId, int steps) {
    if (spinnerId == dlg::kClipStartSpinner) StepSpinnerState(start_, steps);
    if (spinnerId == dlg::kClipEndSpinner) StepSpinnerState(end_, steps);
}

std::string ClipDialogModel::FrameText(int editId) const {
    return SpinnerText(editId == dlg::kClipStartEdit ? start_ : end_);
}

void ClipDialogModel::Accept(ClipListModel& clips) const {
    clips.AddClip(std::string_view(name_).substr(0, kMaxNameLength), static_cast<int32_t>(start_.value),
                  static_cast<int32_t>(end_.value));
}
