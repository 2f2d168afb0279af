// The records of one export: its settings, the export tree that the stages fill, and the
// progress meter and message sink they report through.
//
// The driver (plugin/do_export) owns one ExportContext per XDoExport call and hands it to the
// stages in order: collection (scene/) builds the tree, the data pass (plugin/data_pass) has
// mesh/, skin/, anim/ and material/ fill it in export coordinates, and the writer (xfile/) lays
// it out. Stages reach the host only through the handles kept here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/conversion.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/progress.h"
#include "material/texture_paths.h"
#include "material/xmaterial.h"
#include "options/export_options.h"
#include "sdk/host.h"
#include "sdk/math.h"

class INode;
class XNode;

// The settings one export runs with, read before collection starts.
struct ExportSettings {
    ExportOptions options;
    std::string sceneRootName;  // the SceneRootName option: names the root frame when not empty
    AnimClipList clips;
    TextureSearchDirectories directories;
    Conversion conversion;      // host to export coordinates
};

class ExportContext {
public:
    explicit ExportContext(ExportSettings& settings);
    ~ExportContext();
    ExportContext(const ExportContext&) = delete;
    ExportContext& operator=(const ExportContext&) = delete;

    ExportSettings& settings() { return settings_; }
    const ExportSettings& settings() const { return settings_; }
    ExportOptions& options() { return settings_.options; }
    const ExportOptions& options() const { return settings_.options; }
    const Conversion& conversion() const { return settings_.conversion; }
    const AnimClipList& clips() const { return settings_.clips; }

    // The export node of a host node; null when it was not collected.
    XNode* FindNode(INode* hostNode) const;
    // Records a new export node: appended to the host-order list and indexed by its host node.
    void AddNode(INode* hostNode, XNode* node);

    Interface* ip = nullptr;
    ProgressMeter meter;                // the export's one progress meter
    ExportMessages messages;            // the export's one way to the user
    uint32_t stage1Work = 0;            // estimated units of work of the data pass
    uint32_t stage2Work = 0;            // units of work of the writer, counted by the data pass

    int32_t ticksPerFrame = 0;
    int32_t ticksPerSample = 0;         // time step of sampled animation, ticks
    int32_t animStart = 0, animEnd = 0; // animation range, ticks
    int frameRate = 0;                  // the host's frames per second
    uint32_t ticksPerSecond = 0;        // the host's ticks per second: the file's animation time unit
    bool selectedOnly = false;
    std::string outputDirectory;        // directory of the output file, ending in a separator
    std::string sceneRootName;          // the scene root's name made legal
    std::string rootFrameName;          // the name of the scene root frame in the file
    Matrix3 rootTransform;              // the scene root's world transform, host coordinates
    Matrix3 rootFrameMatrix;            // the scene-root Frame's matrix, set at the end of the data pass

    // The export tree. topLevelNodes owns it; nodes lists every export node in host order
    // (depth first, children in the host's order), so every pass over it, and so the file,
    // is the same for the same scene whatever the memory layout.
    std::vector<std::unique_ptr<XNode>> topLevelNodes;
    std::vector<XNode*> nodes;
    std::vector<XNode*> meshNodes;      // export nodes whose mesh data was generated
    XMaterialTable materialTable;       // shared material records, written as top-level Materials
    TexturePathCache texturePaths;      // texture and effect files found so far

private:
    ExportSettings& settings_;
    std::unordered_map<INode*, XNode*> byHost_;
};
