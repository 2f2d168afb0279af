#include "plugin/plover_exp.h"

#include "core/platform.h"
#include "plugin/do_export.h"

namespace {

void* g_instance = nullptr;
bool g_attached = false;

// The attach routine: stores the module's instance handle when the module is loaded. The
// windowed build also initialises the system's common controls here, once.
__attribute__((constructor)) void ModuleAttach() {
    g_instance = platform::ModuleOfAddress(reinterpret_cast<const void*>(&ModuleAttach));
    g_attached = true;
}

}  // namespace

void* ModuleInstanceHandle() { return g_instance; }

void* PloverExpClassDesc::Create(bool /*loading*/) { return new PloverExp(); }

void* PloverExpClassDesc::HInstance() { return ModuleInstanceHandle(); }

int PloverExp::DoExport(const char* name, ExpInterface* ei, Interface* i, int suppressPrompts, unsigned long options) {
    return XDoExport(name, ei, i, suppressPrompts, options);
}

PloverExpClassDesc& ThePloverClassDesc() {
    static PloverExpClassDesc desc;
    return desc;
}
