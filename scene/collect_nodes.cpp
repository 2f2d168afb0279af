#include "plugin/exporter.h"
#include "scene/xnode.h"

// Node collection arrives with the export tree; until then nothing is collected.
void XExporter::CollectNodes(INode* /*rootNode*/) {}
