// Shared set-up for the export tree, data pass and writer tests: an in-memory scene with its
// own module state (options, clips, conversion) and an exporter over them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/mesh_invariants.h"
#include "host/document/scene_document.h"
#include "host/objects/host_controllers.h"
#include "host/objects/scene_builder.h"
#include "plugin/data_pass.h"
#include "scene/export_context.h"
#include "scene/xnode.h"

// Meshes, bones, dummies and skins on; other nodes, materials and animation off; text output.
inline ExportOptions TreeTestOptions() {
    ExportOptions o;
    o.Meshs = o.Bones = o.Dummy = o.Skin = 1;
    o.SampleRate = 30;
    return o;
}

// A scene document of the source tree, by its path relative to the tree; fails the test when it
// cannot be loaded.
inline std::unique_ptr<HostScene> LoadSourceScene(const std::string& relative) {
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocument(std::string(PLOVER_SOURCE_DIR) + "/" + relative, error);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
}

// The tree tests' options with animation on: scale, rotation and translation keys at the given
// reduction level, the custom timeline at one unit per tick.
inline ExportOptions AnimTestOptions(int keyOptimizeLevel) {
    ExportOptions o = TreeTestOptions();
    o.Animation = o.KeyType = o.TimelineCustom = 1;
    o.KeyOptimizeLevel = keyOptimizeLevel;
    return o;
}

// Moves along X from 0 at tick 0 to 100 at tick 1600.
inline std::unique_ptr<HostTransformControl> Slide() {
    auto c = std::make_unique<HostTransformControl>();
    c->SetPosition(PointKeys({0, 1600}, {{0, 0, 0}, {100, 0, 0}}));
    return c;
}

// The times of a list of keys.
inline std::vector<int32_t> Times(const auto& keys) {
    std::vector<int32_t> times;
    for (const auto& key : keys) times.push_back(key.time);
    return times;
}

class ExportFixture {
public:
    explicit ExportFixture(std::unique_ptr<HostScene> hostScene, const ExportOptions& options = TreeTestOptions())
        : scene(std::move(hostScene)), exporter(std::make_unique<ExportContext>(state)) {
        state.options = options;  // after the exporter, which resets them
        exporter->ip = scene.get();
        exporter->messages = ExportMessages(scene.get());
        exporter->animStart = scene->GetAnimRange().Start();
        exporter->animEnd = scene->GetAnimRange().End();
        exporter->ticksPerFrame = exporter->ticksPerSample = scene->GetTicksPerFrame();
        exporter->frameRate = scene->GetFrameRate();
        exporter->ticksPerSecond = static_cast<uint32_t>(exporter->frameRate * exporter->ticksPerFrame);
        exporter->rootFrameName = "Scene_Root";
        exporter->stage1Work = 1;
        Reconvert();
    }

    // Rebuilds the conversion matrix from the current options.
    void Reconvert() {
        const ExportOptions& o = state.options;
        state.conversion = BuildConversionMatrix(o.RightHand != 0, o.SpaceScaleEnable ? o.SpaceScale : 1.0f,
                                                 o.XRotEnable ? o.XRot : 0.0f, o.ZRotEnable ? o.ZRot : 0.0f);
    }
    ExportOptions& options() { return state.options; }
    void Collect() { CollectStage(*exporter, scene->GetRootNode()); }
    void Pass() {
        exporter->stage2Work = 2;
        exporter->meter.BeginStage(exporter->stage1Work > 0 ? exporter->stage1Work : 1, 95.0f, 95.0f);
        RunDataPass(*exporter);
        for (XNode* node : exporter->nodes)
            if (XRenderableNode* geometry = AsRenderable(node); geometry && geometry->meshData)
                mesh_invariants::ExpectMeshDataInvariants(*geometry->meshData);
    }
    void CollectAndPass() { Collect(), Pass(); }

    // The export node of the host node with that name; null when it was not collected.
    XNode* Node(const std::string& hostName) const {
        for (XNode* node : exporter->nodes)
            if (node->hostNode && hostName == node->hostNode->GetName()) return node;
        return nullptr;
    }
    XRenderableNode* Geometry(const std::string& hostName) const { return AsRenderable(Node(hostName)); }

    ExportSettings state;
    std::unique_ptr<HostScene> scene;  // outlives the exporter, which frees converted objects
    std::unique_ptr<ExportContext> exporter;
};
