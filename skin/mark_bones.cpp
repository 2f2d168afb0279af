#include "skin/skin_info.h"

// Bone marking arrives with the skin issue: until then collection marks no bones.
void MarkSkinBones(XExporter& /*exporter*/, XNode& /*node*/, Modifier* /*deformer*/) {}
void MarkLinkBones(XExporter& /*exporter*/, XNode& /*node*/, Modifier* /*deformer*/) {}
