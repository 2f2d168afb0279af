// The options dialog and the clip dialog without a window system.
//
// The model holds the state of every control by its identifier (options_dialog_ids.h): checked,
// enabled, visible, text, list items and selection, and the spinners' values and limits. It fills
// them from the option set (Initialise), applies the rule of a clicked control (Command), and on
// OK reads every value back with its corrections (Accept). The Win32 view (options/win32/) copies
// what the user did into the model, runs the rule and copies the states back to the controls;
// `plover config set` drives the same model without a window. The rules live only here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "options/clip_list_model.h"
#include "options/export_options.h"
#include "options/options_dialog_ids.h"
#include "options/options_file.h"

struct ControlState {
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::string text;                // edit or static text
    std::vector<std::string> items;  // drop-down list items
    int32_t selection = -1;          // drop-down list selection, -1 for none
};

// A spinner with its linked edit field. Float spinners hold a single-precision value.
struct SpinnerState {
    int editId = 0;
    bool isFloat = false;
    double minimum = 0;
    double maximum = 0;
    double step = 1;
    double value = 0;
};

// What the dialog needs from the export context.
struct DialogContext {
    FrameRange range;            // the scene's animation range in frames
    int32_t frameRate = 30;      // host frames per second
    int32_t ticksPerFrame = 160; // host ticks per frame
    std::string sceneRootName;   // the root frame name derived from the scene: replaces an illegal typed name
};

enum class DialogAction { None, OpenClipDialog, EndOk, EndCancel };

// Character filters of the scale (unsigned) and rotation (signed) edit fields.
enum class EditFilter { None, Unsigned, Signed };

// Whether a character typed into a filtered edit reaches the edit. text is the field's text,
// selStart and selLength its selection. Backspace always passes; other characters pass by the
// filter's rules (digits, one '.', and for the signed filter one leading '-', with at most six
// digits, five when the text begins with '.').
bool EditFilterAccepts(EditFilter filter, std::string_view text, size_t selStart, size_t selLength, char ch);

class OptionsDialogModel {
public:
    static constexpr const char* kTitle = "PLOVER v2.2.8";
    static constexpr const char* kStatusText = "Plover: export the scene as a DirectX X file.";

    // Initialisation steps of the dialog: fills every control from the option set, the root
    // frame name and the clip list. Out-of-range values are shown corrected (file format and
    // texture format as index 0, precision above 10 as 10, spinner values within their limits).
    void Initialise(const ExportOptions& options, const std::string& sceneRootName, const AnimClipList& clips,
                    const DialogContext& context);

    // Every control identifier the model knows, in ascending order.
    std::vector<int> ControlIds() const;
    // The state of a control; an unknown identifier gives a default (unchecked, enabled) state.
    const ControlState& Control(int id) const;
    bool IsChecked(int id) const { return Control(id).checked; }
    bool IsEnabled(int id) const { return Control(id).enabled; }
    const std::string& Text(int id) const { return Control(id).text; }
    int32_t Selection(int id) const { return Control(id).selection; }

    // The user's own changes, before any rule runs.
    void SetChecked(int id, bool checked);
    // Typing into an edit field. For a spinner's edit, the spinner takes the typed number when
    // it is one (pulled into the limits; integer spinners drop the fraction); other text leaves
    // the spinner's value as it was.
    void SetText(int id, std::string_view text);
    void SetSelection(int id, int32_t selection);

    // A click: a check box toggles, a radio button becomes the checked one of its group, then
    // the control's rule runs. Returns what the view must do next.
    DialogAction Click(int id);
    // The rule of a control that has already changed its own state.
    DialogAction Command(int id);

    const SpinnerState& Spinner(int spinnerId) const;
    // Sets a spinner's value (pulled into its limits) and shows it in its edit field.
    void SetSpinnerValue(int spinnerId, double value);
    // The spinner's arrows: steps up (positive) or down (negative).
    void StepSpinner(int spinnerId, int steps);
    // The spinner whose edit field is editId, or 0.
    int SpinnerOfEdit(int editId) const;

    EditFilter FilterOf(int id) const;

    ClipListModel& clips() { return clips_; }
    const ClipListModel& clips() const { return clips_; }
    const DialogContext& context() const { return context_; }

    // Reading back on OK: every option, the root frame name and the clip list, with the
    // corrections of typed values. Fields are overwritten; nothing is read before Initialise.
    void Accept(ExportOptions& options, std::string& sceneRootName, AnimClipList& clips) const;

private:
    ControlState& State(int id) { return controls_[id]; }
    void Check(int id, bool checked) { State(id).checked = checked; }
    void Enable(int id, bool enabled);
    void TextureControlsSwitch(bool enable);
    void DeclDataSwitch(bool flag);
    void TexCoordsRule();

    std::map<int, ControlState> controls_;
    std::map<int, SpinnerState> spinners_;
    ClipListModel clips_;
    DialogContext context_;
    bool initialised_ = false;
};

// The check box that edits an option field, or 0 when the field has none.
int CheckBoxOfOption(int32_t ExportOptions::*field);

// The clip dialog: a name and two frame spinners limited to the animation range.
class ClipDialogModel {
public:
    static constexpr const char* kTitle = "Animation";
    static constexpr size_t kMaxNameLength = 63;  // the name field's 64-character buffer

    // Name := a unique "Anims_<rows + 1>"; start and end spinners over the range, at its ends.
    void Initialise(const ClipListModel& clips);
    void SetName(std::string_view name) { name_ = std::string(name); }
    const std::string& name() const { return name_; }
    // Typing into a frame field (identifiers of options_dialog_ids.h); other text is ignored.
    void SetText(int editId, std::string_view text);
    void StepSpinner(int spinnerId, int steps);
    const SpinnerState& start() const { return start_; }
    const SpinnerState& end() const { return end_; }
    // The text a frame field shows.
    std::string FrameText(int editId) const;
    // OK: adds the clip to the list (which clamps the frames and names an empty name).
    void Accept(ClipListModel& clips) const;

private:
    std::string name_;
    SpinnerState start_;
    SpinnerState end_;
};
