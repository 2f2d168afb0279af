// Shared set-up of the skin tests: the export fixture's skin options, and small builders for
// meshes and skin records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host_deformers.h"
#include "mesh/mesh_data.h"
#include "scene/export_fixture.h"
#include "skin/skin_info.h"

namespace skin_test {

// Meshes, bones and skin; no materials, no animation, text output.
inline ExportOptions SkinOptions() {
    ExportOptions o;
    o.Meshs = 1;
    o.Bones = 1;
    o.Dummy = 1;
    o.OTHER = 0;
    o.BoneMesh = 0;
    o.Skin = 1;
    o.Mtl = 0;
    o.Animation = 0;
    o.SampleRate = 30;
    o.XFileType = 0;
    return o;
}

// A triangle mesh from flat vertex and face lists.
inline Mesh MakeMesh(std::vector<Point3> verts, std::vector<std::array<uint32_t, 3>> faces) {
    Mesh mesh;
    mesh.verts = std::move(verts);
    mesh.setNumFaces(static_cast<int>(faces.size()));
    for (size_t f = 0; f < faces.size(); ++f) {
        std::copy(faces[f].begin(), faces[f].end(), mesh.faces[f].v);
        mesh.faces[f].smGroup = 1;
    }
    return mesh;
}

// The weight of a bone on a point, or -1 when the bone is not in the record or the entry is
// not used.
inline float WeightOf(const XSkinInfo& skin, INode* bone, size_t point) {
    const SkinBone* b = skin.Find(bone);
    const SkinWeight* e = b ? b->Weight(static_cast<uint32_t>(point)) : nullptr;
    return e ? e->weight : -1.0f;
}

}  // namespace skin_test
