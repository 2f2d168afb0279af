// Shared set-up of the skin tests: an in-memory scene with its own module state and exporter,
// with the stages run one at a time, and small builders for skin records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host_deformers.h"
#include "host/scene_builder.h"
#include "mesh/mesh_data.h"
#include "core/conversion.h"
#include "scene/export_context.h"
#include "plugin/data_pass.h"
#include "scene/xnode.h"
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

class SkinFixture {
public:
    explicit SkinFixture(std::unique_ptr<HostScene> hostScene, const ExportOptions& options = SkinOptions())
        : scene(std::move(hostScene)) {
        exporter = std::make_unique<ExportContext>(state);  // resets the options
        state.options = options;
        exporter->ip = scene.get();
        exporter->messages = ExportMessages(scene.get());
        exporter->animStart = scene->GetAnimRange().Start();
        exporter->animEnd = scene->GetAnimRange().End();
        exporter->ticksPerFrame = scene->GetTicksPerFrame();
        exporter->frameRate = scene->GetFrameRate();
        exporter->ticksPerSample = exporter->ticksPerFrame;
        exporter->rootFrameName = "Scene_Root";
        exporter->stage1Work = 1;
        const ExportOptions& o = state.options;
        state.conversion = BuildConversionMatrix(o.RightHand != 0, o.SpaceScaleEnable ? o.SpaceScale : 1.0f,
                                                 o.XRotEnable ? o.XRot : 0.0f, o.ZRotEnable ? o.ZRot : 0.0f);
    }

    ExportOptions& options() { return state.options; }
    void Collect() { CollectStage(*exporter, scene->GetRootNode()); }
    void CollectAndPass() {
        Collect();
        exporter->stage2Work = 2;
        exporter->meter.BeginStage(exporter->stage1Work > 0 ? exporter->stage1Work : 1, 95.0f, 95.0f);
        RunDataPass(*exporter);
    }
    XNode* Node(const std::string& hostName) const {
        for (XNode* node : exporter->nodes)
            if (node->hostNode && hostName == node->hostNode->GetName()) return node;
        return nullptr;
    }
    XRenderableNode* Geometry(const std::string& hostName) const { return AsRenderable(Node(hostName)); }

    ExportSettings state;
    std::unique_ptr<HostScene> scene;
    std::unique_ptr<ExportContext> exporter;
};

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
    if (!b || point >= b->weights.size() || !b->weights[point].used) return -1.0f;
    return b->weights[point].weight;
}

}  // namespace skin_test
