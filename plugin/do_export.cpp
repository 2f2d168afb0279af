#include "plugin/do_export.h"

#include <exception>
#include <string>

#include "plugin/export_files.h"
#include "plugin/exporter.h"
#include "core/names.h"
#include "plugin/options_dialog.h"
#include "core/paths.h"
#include "sdk/plugin.h"
#include "scene/xnode.h"

namespace {

// Everything the driver does once the context exists and the host interface is known.
void RunExport(XExporter& exporter, const char* name, Interface* ip, int suppressPrompts,
               unsigned long optionBits) {
    ModuleState& state = exporter.module();
    ExportOptions& options = exporter.options();

    exporter.ip = ip;
    exporter.meter = ProgressMeter(ip);
    exporter.messages = ExportMessages(ip);
    const Interval range = ip->GetAnimRange();
    exporter.animStart = range.Start();
    exporter.animEnd = range.End();
    exporter.ticksPerFrame = ip->GetTicksPerFrame();
    exporter.ticksPerSample = exporter.ticksPerFrame;

    INode* root = ip->GetRootNode();
    if (!root || root->NumberOfChildren() <= 0) {
        exporter.messages.Show(kNoNodeText, "");
        return;
    }
    exporter.sceneRootName = SceneRootNameFor(root->GetName() ? root->GetName() : "");
    exporter.selectedOnly = (optionBits & kSceneExportSelected) != 0;

    const std::string outputPath = LongPathName(name ? name : "");
    exporter.outputDirectory = DirectoryOf(outputPath);

    state.hostDirectory1 = WithTrailingSeparator(ip->GetDir(kDirMaps));
    state.hostDirectory2 = WithTrailingSeparator(ip->GetDir(kDirMaxData));
    state.sceneDirectory = SceneDirectoryOf(ip->GetCurFilePath());

    if (!CheckOutputTarget(exporter, outputPath)) return;

    exporter.LoadOptions();
    if (!suppressPrompts && !ShowOptionsDialog(exporter)) return;

    state.conversion = BuildConversionMatrix(options.RightHand != 0,
                                             options.SpaceScaleEnable ? options.SpaceScale : 1.0f,
                                             options.XRotEnable ? options.XRot : 0.0f,
                                             options.ZRotEnable ? options.ZRot : 0.0f);

    exporter.ticksPerSample = SampleStep(ip->GetFrameRate(), exporter.ticksPerFrame, options);

    exporter.rootFrameName = state.sceneRootName.empty() ? exporter.sceneRootName : state.sceneRootName;

    exporter.meter.Start(kProgressTitle);
    exporter.stage1Work = 1;
    exporter.CollectNodes(root);

    if (exporter.topLevelNodes.empty()) {
        if (!(options.Dummy && options.OTHER)) exporter.messages.Show(kNothingCollectedText, "");
    } else {
        exporter.meter.ResetSteps();
        if (exporter.meter.BeginStage(exporter.stage1Work, 95.0f, 95.0f, kDataPassTitle)) {
            exporter.stage2Work = 2;
            exporter.RunDataPass();
            exporter.meter.ShowStageEnd();

            bool anyProcessed = false;
            for (const auto& [hostNode, node] : exporter.nodeMap)
                if (node && node->processed) { anyProcessed = true; break; }
            if (!anyProcessed) {
                exporter.messages.Show(kNothingProcessedText, kWarningCaption);
            } else if (exporter.meter.BeginStage(exporter.stage2Work, 5.0f, 100.0f, kWriteTitle)) {
                WriteAndCommit(exporter, outputPath);
            }
        }
    }

    if (!suppressPrompts) exporter.SaveOptions();
    exporter.meter.End();
}

}  // namespace

std::string SceneRootNameFor(std::string_view rootName) {
    std::string name = RemoveSpaces(rootName);
    return SanitizeXName(name) != name ? std::string("SceneRoot") : name;
}

int32_t SampleStep(int frameRate, int ticksPerFrame, ExportOptions& options) {
    int rate = options.Timeline ? frameRate : options.SampleRate;
    const int ticksPerSecond = ticksPerFrame * frameRate;
    if (rate <= 0 || rate > ticksPerSecond) {
        rate = frameRate;
        options.SampleRate = frameRate;
    }
    // A host without a frame rate cannot sample; one frame per sample keeps the step positive.
    if (rate <= 0) return ticksPerFrame > 0 ? ticksPerFrame : 1;
    return ticksPerSecond / rate;
}

std::string SceneDirectoryOf(const std::string& sceneFile) {
    size_t pos = sceneFile.rfind('\\');
    if (pos == std::string::npos) pos = sceneFile.rfind('/');
    if (pos == std::string::npos) return "./";
    return sceneFile.substr(0, pos + 1);
}

extern "C" int XDoExport(const char* name, ExpInterface* /*ei*/, Interface* ip, int suppressPrompts,
                         unsigned long options) {
    XExporter exporter(TheModuleState());
    if (!ip) return 1;
    exporter.messages = ExportMessages(ip);
    try {
        RunExport(exporter, name, ip, suppressPrompts, options);
    } catch (const ExportCancelled&) {
        // The host asked to stop: the staged files are gone with the stage that threw, and
        // nothing in the output folder changed.
        exporter.meter.End();
    } catch (const std::exception& e) {
        // Nothing may cross the module boundary: report and give up this export.
        exporter.messages.Fail(std::string("The export failed: ") + e.what());
    } catch (...) {
        exporter.messages.Fail("The export failed.");
    }
    return 1;
}
