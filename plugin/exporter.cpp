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

bool XExporter::BeginStage(uint32_t workCount, float span, float limit) {
    const float n = static_cast<float>(workCount);
    float k = span;
    if (n < span) {
        if (workCount == 0) return false;
        k = n;
    }
    stageLimit = limit;
    percentIncrement = span / k;
    stepsPerIncrement = n / k;
    nextPercent = (limit - span) + span / k;
    nextThreshold = static_cast<float>(stepsDone) + n / k;
    return true;
}

void XExporter::ProgressStep() {
    ++stepsDone;
    if (static_cast<float>(stepsDone) >= nextThreshold) {
        if (nextPercent - stageLimit <= 0.01f && ip)
            ip->ProgressUpdate(static_cast<int>(nextPercent), true, nullptr);
        nextPercent += percentIncrement;
        nextThreshold += stepsPerIncrement;
    }
}

void XExporter::ShowMessage(const char* text, const char* caption) {
    if (ip) ip->MessageBox(ip->GetMAXHWnd(), text, caption, kMbOk);
}
