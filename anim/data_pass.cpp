#include "plugin/exporter.h"

// The per-node data pass arrives with the export tree; until then nothing is processed.
void XExporter::RunDataPass() { ProgressStep(); }
