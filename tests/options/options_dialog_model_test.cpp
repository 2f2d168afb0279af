// The options dialog: initialisation, the command rules, reading back on OK and the clip dialog.
// The edit filters' typed characters, and the cases the test over the real controls
// (options/win32/test) drives, are left to it.
#include <gtest/gtest.h>

#include <filesystem>

#include "options/option_keys.h"
#include "options/options_dialog_model.h"
#include "options/options_file.h"

namespace {

ExportOptions Defaults() {
    ExportOptions options;
    std::string root;
    AnimClipList clips;
    LoadOptions("/nonexistent/plover_max_config.ini", OptionsTime{0, 16000, 160, 30}, options, root, clips);
    return options;
}

DialogContext Context() {
    DialogContext context;
    context.range = FrameRange{0, 100};
    context.frameRate = 30;
    context.ticksPerFrame = 160;
    context.sceneRootName = "SceneRootFromHost";
    return context;
}

struct Accepted {
    ExportOptions options;
    std::string root;
    AnimClipList clips;
};

Accepted Accept(const OptionsDialogModel& dialog) {
    Accepted result;
    dialog.Accept(result.options, result.root, result.clips);
    return result;
}

class DialogTest : public ::testing::Test {
protected:
    void Open(const ExportOptions& options, const std::string& root = "", const AnimClipList& clips = {{"Anim1", 0, 100}}) {
        dialog.Initialise(options, root, clips, Context());
    }
    void ExpectChecked(std::initializer_list<int> ids, bool checked) {
        for (int id : ids) EXPECT_EQ(dialog.IsChecked(id), checked) << "control " << id;
    }
    void ExpectEnabled(std::initializer_list<int> ids, bool enabled) {
        for (int id : ids) EXPECT_EQ(dialog.IsEnabled(id), enabled) << "control " << id;
    }
    OptionsDialogModel dialog;
};

}  // namespace

TEST_F(DialogTest, OkWithoutChangesKeepsValidOptions) {
    ExportOptions options = Defaults();
    options.SpaceScale = 0.25f;
    options.ZRot = -90.0f;
    options.XRot = 12.5f;
    options.Precision = 7;
    options.Timeline = 0;
    options.SampleRate = 24;
    options.TimelineCustom = 480;
    options.KeyOptimizeLevel = 2;
    options.XFileType = 2;
    options.TextureFormat = 4;
    options.AnimationOpenClose = 1;
    options.DeclData = 1;
    options.Tangent = 1;
    Open(options, "Top", {{"Walk", 0, 10}, {"Run", 5, 100}});
    EXPECT_EQ(dialog.Text(dlg::kSceneRootName), "Top");
    EXPECT_EQ(dialog.Text(dlg::kPrecisionEdit), "0.7");
    const Accepted result = Accept(dialog);
    EXPECT_EQ(FormatOptions(result.options, result.root, result.clips),
              FormatOptions(options, "Top", {{"Walk", 0, 10}, {"Run", 5, 100}}));

    // Precision tenths survive the float spinner.
    for (int32_t precision = 0; precision <= 10; ++precision) {
        options.Precision = precision;
        Open(options);
        EXPECT_EQ(Accept(dialog).options.Precision, precision);
        // Stepping down to 0 and back up lands on the same tenth.
        dialog.StepSpinner(dlg::kPrecisionSpinner, -20);
        dialog.StepSpinner(dlg::kPrecisionSpinner, precision);
        EXPECT_EQ(Accept(dialog).options.Precision, precision);
    }
}

TEST_F(DialogTest, InitialisationShowsOutOfRangeValuesCorrected) {
    ExportOptions options = Defaults();
    options.XFileType = 7;
    options.TextureFormat = -1;
    options.Precision = 50;
    options.TimelineCustom = 0;
    options.KeyOptimizeLevel = 9;
    options.AnimationOptions = 1;
    options.SpaceScale = 0.00001f;
    options.ZRot = 0.000001f;
    Open(options);
    EXPECT_EQ(dialog.Selection(dlg::kXFileType), 0);
    EXPECT_EQ(dialog.Selection(dlg::kTextureFormat), 0);
    EXPECT_EQ(dialog.Text(dlg::kPrecisionEdit), "1.0");
    EXPECT_EQ(dialog.Text(dlg::kCustomEdit), "1");
    EXPECT_EQ(dialog.Text(dlg::kOptimizeEdit), "3");
    EXPECT_EQ(dialog.Text(dlg::kScale), "0.00001");
    EXPECT_EQ(dialog.Text(dlg::kZRot), "0");
    EXPECT_EQ(dialog.Control(dlg::kXFileType).items, (std::vector<std::string>{"Text", "Binary", "Compress"}));
    const Accepted result = Accept(dialog);
    EXPECT_EQ(result.options.XFileType, 0);
    EXPECT_EQ(result.options.Precision, 10);
    EXPECT_EQ(result.options.AnimationOptions, 0);  // the hidden box is never read
    EXPECT_EQ(result.options.SpaceScale, 0.00001f);
    options.Precision = -3;  // compared as unsigned: shown as 10
    Open(options);
    EXPECT_EQ(dialog.Text(dlg::kPrecisionEdit), "1.0");
}

// (Normal map checking what it needs, and Tangent unchecking it, are tested over the real
// controls.)
TEST_F(DialogTest, NormalDeclDataAndTexCoordsRules) {
    // Normal: unchecking it clears the normal map; checking any of the three checks Mesh.
    ExportOptions options = Defaults();
    options.NormalMapCode = options.DeclData = 1;
    Open(options);
    dialog.Click(dlg::kNormal);
    ExpectChecked({dlg::kNormalMap}, false);
    dialog.SetChecked(dlg::kMesh, false);
    dialog.Click(dlg::kBitangent);
    dialog.Click(dlg::kBitangent);
    ExpectChecked({dlg::kMesh}, true);

    options = Defaults();
    options.DeclData = 1;
    options.FX = options.NormalMapCode = 1;
    options.Tangent = options.BiTangent = 1;
    options.Meshs = options.Mtl = 0;
    Open(options);
    dialog.Click(dlg::kDeclData);
    ExpectEnabled({dlg::kTangent, dlg::kBitangent}, false);
    ExpectChecked({dlg::kCreateShader, dlg::kNormalMap}, false);
    ExpectChecked({dlg::kMesh, dlg::kMaterial}, true);  // TexCoords is checked

    // Without TexCoords, Mesh and Material stay as they are.
    options.TexCoords = 0;
    options.NormalMapCode = 0;  // it would check TexCoords at initialisation
    Open(options);
    dialog.Click(dlg::kDeclData);
    ExpectChecked({dlg::kMesh, dlg::kMaterial}, false);

    // Unchecking TexCoords drops the shader; checking it needs Mesh and Material.
    options = Defaults();
    options.DeclData = options.FX = 1;
    Open(options);
    dialog.Click(dlg::kTexCoords);
    ExpectChecked({dlg::kCreateShader}, false);
    dialog.SetChecked(dlg::kMesh, false);
    dialog.SetChecked(dlg::kMaterial, false);
    dialog.Click(dlg::kTexCoords);
    ExpectChecked({dlg::kMesh, dlg::kMaterial}, true);

    // Create Shader turns declared data on, with what a shader needs.
    options = Defaults();
    options.Meshs = options.TexCoords = options.Mtl = options.MultiTextures = 0;
    Open(options);
    dialog.Click(dlg::kCreateShader);
    ExpectChecked({dlg::kDeclData, dlg::kMesh, dlg::kTexCoords, dlg::kMaterial, dlg::kMultiTextures}, true);
    ExpectEnabled({dlg::kTangent, dlg::kBitangent}, true);
    dialog.Click(dlg::kNormalMap);
    dialog.Click(dlg::kCreateShader);
    ExpectChecked({dlg::kNormalMap}, false);
    dialog.Click(dlg::kCreateShader);
    dialog.Click(dlg::kMultiTextures);
    ExpectChecked({dlg::kCreateShader, dlg::kNormalMap}, false);
}

TEST_F(DialogTest, SmallerRules) {
    ExportOptions options = Defaults();
    options.BoneMesh = 1;
    options.TextureConvert = options.PowerOf2 = 1;
    options.Meshs = 0;
    Open(options);
    dialog.Click(dlg::kBone);
    ExpectChecked({dlg::kBoneMesh}, false);
    dialog.Click(dlg::kConvertTo);
    ExpectChecked({dlg::kPowerOf2}, false);
    dialog.Click(dlg::kVertexColor);
    ExpectChecked({dlg::kMesh}, true);
    ExpectEnabled({dlg::kSkin}, false);  // checking Mesh through a rule does not run Mesh's own rule
    dialog.Click(dlg::kMesh);
    dialog.Click(dlg::kMesh);
    ExpectEnabled({dlg::kWeightFix, dlg::kPrecisionEdit}, true);  // (Skin and the spinner: the real controls' test)
    dialog.Click(dlg::kAnimation);
    ExpectEnabled({dlg::kOnlyAnimationSet}, false);
    dialog.Click(dlg::kFx);
    ExpectEnabled({dlg::kFxOverwrite}, false);
    dialog.Click(dlg::kFx);
    ExpectEnabled({dlg::kFxOverwrite}, true);
    dialog.SetText(dlg::kSampleRate, "12");
    dialog.Click(dlg::kTimelineCustom);
    EXPECT_EQ(dialog.Text(dlg::kSampleRate), "30");
    ExpectChecked({dlg::kTimelineMax}, false);
    EXPECT_EQ(dialog.Click(dlg::kAdd), DialogAction::OpenClipDialog);
}

TEST_F(DialogTest, ReadBackCorrectsTypedValues) {
    Open(Defaults());
    auto accepted = [&](int id, const char* text) {
        dialog.SetText(id, text);
        return Accept(dialog);
    };
    EXPECT_EQ(accepted(dlg::kSampleRate, "0").options.SampleRate, 30);
    EXPECT_EQ(accepted(dlg::kProcMapX, "12345").options.ProcMapX, 1234);  // four characters
    EXPECT_EQ(accepted(dlg::kScale, "1e300").options.SpaceScale, 999999.0f);
    EXPECT_EQ(accepted(dlg::kZRot, "0.0000005").options.ZRot, 0.0f);
    EXPECT_EQ(accepted(dlg::kXRot, "-1e300").options.XRot, 0.0f);  // beyond float: no number
    // The root frame name is cleaned, or replaced by the host's when it cannot be.
    EXPECT_EQ(accepted(dlg::kSceneRootName, "1Root").root, "SceneRootFromHost");
    EXPECT_EQ(accepted(dlg::kSceneRootName, "caf\xC3\xA9").root, "SceneRootFromHost");
    EXPECT_EQ(accepted(dlg::kSceneRootName, std::string(70, 'r').c_str()).root, std::string(63, 'r'));
    EXPECT_EQ(accepted(dlg::kSceneRootName, "").root, "");

    // With the custom timeline the rate is the frame rate whatever is typed.
    dialog.Click(dlg::kTimelineCustom);
    EXPECT_EQ(accepted(dlg::kSampleRate, "60").options.SampleRate, 30);
    EXPECT_EQ(Accept(dialog).options.Timeline, 1);

    // A rate above one sample per tick is the frame rate.
    DialogContext coarse = Context();
    coarse.ticksPerFrame = 1;
    dialog.Initialise(Defaults(), "", {}, coarse);
    dialog.SetText(dlg::kSampleRate, "31");
    EXPECT_EQ(Accept(dialog).options.SampleRate, 30);

    // Spinner edits take typed numbers within their limits and ignore other text.
    Open(Defaults());
    dialog.SetText(dlg::kCustomEdit, "2000000");
    dialog.SetText(dlg::kOptimizeEdit, "two");
    dialog.SetText(dlg::kPrecisionEdit, "0.35");
    const Accepted result = Accept(dialog);
    EXPECT_EQ(result.options.TimelineCustom, 999999);
    EXPECT_EQ(result.options.KeyOptimizeLevel, 3);
    EXPECT_EQ(result.options.Precision, 3);  // truncated toward zero
}

TEST(ClipDialog, AddsTheTypedClipUnchecked) {
    ClipListModel list;
    list.Reset(10, 50);
    list.AddClip("Anims_2", 10, 20);
    ClipDialogModel clipDialog;
    clipDialog.Initialise(list);
    EXPECT_EQ(clipDialog.name(), "Anims_2_");
    EXPECT_EQ(clipDialog.FrameText(dlg::kClipStartEdit), "10");
    EXPECT_EQ(clipDialog.FrameText(dlg::kClipEndEdit), "50");
    clipDialog.SetName("9 lives and a name longer than sixty-three characters, which is cut there");
    clipDialog.SetText(dlg::kClipStartEdit, "5");   // below the limits: the first frame
    clipDialog.StepSpinner(dlg::kClipStartSpinner, 3);
    clipDialog.SetText(dlg::kClipEndEdit, "junk");  // not a number: unchanged
    clipDialog.StepSpinner(dlg::kClipEndSpinner, 5);  // at the limit already
    clipDialog.Accept(list);
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.CellText(1, 0), "9 lives and a name longer than sixty-three characters, which is");
    EXPECT_EQ(list.CellText(1, 1), "13");
    EXPECT_EQ(list.CellText(1, 2), "50");
    EXPECT_EQ(list.ReadClips()[1].name, "9 lives and a name longer than ");  // 31 characters on OK

    clipDialog.SetName("");
    clipDialog.Accept(list);
    EXPECT_EQ(list.CellText(2, 0), "Anims_3");
}
