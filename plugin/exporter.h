// The export context of one XDoExport call.
//
// XExporter owns the export tree for the call and is the way every stage reaches the host,
// the options and the tree. Node collection, the data pass, the writer and option load and
// save are its operations; each lives in the folder of its stage.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/progress.h"
#include "material/xmaterial.h"
#include "plugin/module_state.h"
#include "sdk/host.h"
#include "sdk/math.h"
#include "sdk/node.h"

class XNode;

class XExporter {
public:
    explicit XExporter(ModuleState& state);
    ~XExporter();
    XExporter(const XExporter&) = delete;
    XExporter& operator=(const XExporter&) = delete;

    ModuleState& module() { return state_; }
    ExportOptions& options() { return state_.options; }
    const ExportOptions& options() const { return state_.options; }
    const Conversion& conversion() const { return state_.conversion; }

    // Loads the option set, SceneRootName and the clip list from the initialisation file.
    void LoadOptions();
    // Rewrites the initialisation file from the current values.
    void SaveOptions();
    // Path of the initialisation file in the host's plug-in configuration directory.
    std::string ConfigPath() const;

    // Stages; each is defined in the folder of its stage.
    void CollectNodes(INode* rootNode);
    void RunDataPass();
    // Writes the X file to path. False, with *cause in plain words (empty when the message was
    // shown already), when no complete file was written.
    bool WriteXFile(const std::string& path, std::string* cause = nullptr);

    // Fields, in the order of the design; later stages add theirs.
    std::vector<XNode*> meshNodes;      // export nodes whose mesh data was generated
    int32_t ticksPerFrame = 0;
    int32_t ticksPerSample = 0;         // time step of sampled animation, ticks
    int32_t animStart = 0, animEnd = 0; // animation range, ticks
    Interface* ip = nullptr;
    bool selectedOnly = false;
    std::string outputDirectory;        // directory of the output file, ending in a separator
    ProgressMeter meter;                // the export's one progress meter
    ExportMessages messages;               // the export's one way to the user
    uint32_t stage1Work = 0;            // estimated units of work of the data pass
    uint32_t stage2Work = 0;            // units of work of the writer, counted by the data pass
    std::string sceneRootName;          // the scene root's name made legal
    std::string rootFrameName;          // the name of the scene root frame in the file
    Matrix3 rootTransform;
    std::map<INode*, XNode*> nodeMap;   // every export node by host node; owns nothing
    std::vector<std::unique_ptr<XNode>> topLevelNodes;
    XMaterialTable materialTable;       // shared material records, written as top-level Materials

private:
    ModuleState& state_;
};
