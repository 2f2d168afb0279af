#include "plugin/options_dialog.h"

#include "options/options_dialog_model.h"
#include "options/options_file.h"
#include "scene/export_context.h"

// Without a window system the dialog cannot be shown: it is opened over the loaded options
// and accepted at once, as if the user pressed OK without changing anything, so the
// read-back corrections of the dialog apply exactly as in the windowed build.
bool ShowOptionsDialog(ExportContext& exporter) {
    ExportSettings& state = exporter.settings();
    OptionsTime time;
    time.animStart = exporter.animStart;
    time.animEnd = exporter.animEnd;
    time.ticksPerFrame = exporter.ticksPerFrame;

    DialogContext context;
    context.range = RangeFrames(time);
    context.frameRate = exporter.frameRate;
    context.ticksPerFrame = exporter.ticksPerFrame;
    context.sceneRootName = exporter.sceneRootName;

    OptionsDialogModel dialog;
    dialog.Initialise(state.options, state.sceneRootName, state.clips, context);
    dialog.Accept(state.options, state.sceneRootName, state.clips);
    return true;
}
