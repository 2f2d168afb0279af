// The options dialog (template 102) and the clip dialog (template 103) as Win32 dialogs over
// OptionsDialogModel and ClipDialogModel.
#pragma once

#include <windows.h>

#include <string>

#include "options/options_dialog_model.h"

// Shows the options dialog modally over parent, filled from options, sceneRootName and clips.
// On OK the values are read back into them and the result is 1; Cancel or closing the window
// gives 0 and leaves them as they were.
INT_PTR RunOptionsDialog(HINSTANCE instance, HWND parent, const DialogContext& context, ExportOptions& options,
                         std::string& sceneRootName, AnimClipList& clips);

// Called once a dialog has been initialised and shown, from inside its modal loop; lets a test
// drive the live dialog by messages. dialogTemplate is 102 or 103.
using DialogTestHook = void (*)(HWND dialog, int dialogTemplate);
void SetDialogTestHook(DialogTestHook hook);

// The model behind the options dialog while it is open, for tests; null otherwise.
OptionsDialogModel* CurrentOptionsDialogModel();
