// The options dialog on Windows: the Win32 dialog over the same models the headless build
// accepts at once (plugin/options_dialog.cpp), owned by the host's main window.
#include "plugin/options_dialog.h"

#include <windows.h>

#include "options/options_dialog_model.h"
#include "options/win32/module_attach.h"
#include "options/win32/options_dialog_win32.h"
#include "scene/export_context.h"
#include "sdk/host.h"

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

    HWND owner = exporter.ip ? static_cast<HWND>(exporter.ip->GetMAXHWnd()) : nullptr;
    return RunOptionsDialog(PloverModuleInstance(), owner, context, state.options, state.sceneRootName, state.clips) == 1;
}
