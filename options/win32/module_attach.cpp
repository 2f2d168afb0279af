#include "options/win32/module_attach.h"

#include <commctrl.h>

namespace {
HINSTANCE gInstance = nullptr;
bool gControlsInitialised = false;
}  // namespace

BOOL PloverModuleAttach(HINSTANCE instance) {
    gInstance = instance;
    if (!gControlsInitialised) {
        InitCommonControls();
        gControlsInitialised = true;
    }
    return TRUE;
}

HINSTANCE PloverModuleInstance() { return gInstance; }
