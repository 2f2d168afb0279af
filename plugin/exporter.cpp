#include "plugin/exporter.h"

#include "options/options_file.h"
#include "scene/xnode.h"

XExporter::XExporter(ModuleState& state) : state_(state) { state_.options = ExportOptions{}; }

XExporter::~XExporter() {
    // The node map owns nothing; the top-level list owns the tree.
    nodeMap.clear();
    topLevelNodes.clear();
}

std::string XExporter::ConfigPath() const {
    if (!ip) return {};
    return ConfigFilePath(ip->GetDir(kDirPlugCfg));
}

void XExporter::LoadOptions() {
    OptionsTime time;
    time.animStart = animStart;
    time.animEnd = animEnd;
    time.ticksPerFrame = ticksPerFrame;
    time.frameRate = ip ? ip->GetFrameRate() : 30;
    ::LoadOptions(ConfigPath(), time, state_.options, state_.sceneRootName, state_.clips);
}

void XExporter::SaveOptions() {
    const std::string path = ConfigPath();
    if (path.empty()) return;
    ::SaveOptions(path, state_.options, state_.sceneRootName, state_.clips);
}

