#include "scene/xnode.h"
#include "xfile/write_xfile.h"

// The Animation serialiser arrives with the animation issue; until then no node has tracks
// and the animation sets stay empty.
void WriteAnimation(XWriteContext& /*context*/, const xfile::XSaveData& /*animationSet*/, XNode* /*node*/,
                    size_t /*clipIndex*/) {}
