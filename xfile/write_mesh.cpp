#include "scene/xnode.h"
#include "xfile/write_xfile.h"

// The Mesh serialiser arrives with the mesh issue; until then no node has mesh data and
// nothing is written here.
void WriteMesh(XWriteContext& /*context*/, const xfile::XSaveData* /*parent*/, XRenderableNode& node) {
    if (!node.meshData) return;
}
