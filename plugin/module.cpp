// The plug-in module's own translation unit. The exporter, its descriptor and the entry points
// come from the plover_plugin library, linked in whole; the version script leaves only
// LibDescription, LibNumberClasses, LibClassDesc, LibVersion and XDoExport visible.
#include "plugin/entry_points.h"
