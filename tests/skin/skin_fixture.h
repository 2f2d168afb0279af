// Shared helpers of the skin tests: the mesh builder and the weights of a skin record.
#pragma once

#include "host/objects/host_deformers.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_test_util.h"
#include "scene/export_fixture.h"
#include "skin/skin_info.h"

namespace skin_test {

using mesh_test::MakeMesh;

// The weight of a bone on a point, or -1 when the bone is not in the record or the entry is
// not used.
inline float WeightOf(const XSkinInfo& skin, INode* bone, size_t point) {
    const SkinBone* b = skin.Find(bone);
    const SkinWeight* e = b ? b->Weight(static_cast<uint32_t>(point)) : nullptr;
    return e ? e->weight : -1.0f;
}

}  // namespace skin_test
