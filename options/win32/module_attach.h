// The module's instance handle and the one-time set-up of the system's common controls.
#pragma once

#include <windows.h>

// The module attach routine's work, for every attach and detach notification: remembers the
// instance handle (whose resources hold the dialog templates) and, on the first call only,
// initialises the common controls. Always succeeds.
BOOL PloverModuleAttach(HINSTANCE instance);

// The instance handle stored by the last PloverModuleAttach, or null.
HINSTANCE PloverModuleInstance();
