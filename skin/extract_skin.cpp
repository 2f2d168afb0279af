#include "skin/skin_info.h"

// Skin extraction arrives with the skin issue: until then no node is skinned.
void ExtractSkin(XExporter& /*exporter*/, XRenderableNode& /*node*/) {}
