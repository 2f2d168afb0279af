#include "plugin/exporter.h"

// The X file writer arrives with the export tree; until then nothing is written.
void XExporter::WriteXFile(const std::string& /*path*/) {}
