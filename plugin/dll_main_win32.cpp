// The DLL's attach routine: the module's instance handle (whose resources hold the dialog
// templates) and the common controls the options dialog uses.
#include <windows.h>

#include "options/win32/module_attach.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) return PloverModuleAttach(instance);
    return TRUE;
}
