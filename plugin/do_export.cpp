#include "plugin/do_export.h"

#include <array>
#include <chrono>
#include <cmath>
#include <exception>
#include <string>
#include <unordered_set>
#include <vector>

#include "options/config_set.h"
#include "options/export_settings.h"
#include "options/number_text.h"
#include "options/options_file.h"
#include "mesh/mesh_data.h"
#include "plugin/data_pass.h"
#include "plugin/driver_texts.h"
#include "scene/collect_nodes.h"
#include "scene/extract_geometry.h"
#include "sdk/control.h"
#include "sdk/node.h"
#include "skin/skin_info.h"

#include "plugin/export_files.h"
#include "scene/export_context.h"
#include "core/names.h"
#include "plugin/options_dialog.h"
#include "core/paths.h"
#include "sdk/plugin.h"
#include "scene/xnode.h"

namespace {

std::string ConfigPath(const ExportContext& exporter) {
    if (!exporter.ip) return {};
    return ConfigFilePath(exporter.ip->GetDir(kDirPlugCfg));
}

OptionsTime TimeOf(const ExportContext& exporter) {
    OptionsTime time;
    time.animStart = exporter.animStart;
    time.animEnd = exporter.animEnd;
    time.ticksPerFrame = exporter.ticksPerFrame;
    time.frameRate = exporter.frameRate;
    return time;
}

// The option set of this export: the initialisation file, then the host's overrides for this
// export only (the file is not written). A silent export uses both as they are: the stages decide
// what an unusual value means, and only the dialog corrects what it shows. Clips given as
// overrides are pulled into the animation range as a load pulls the file's. False after a
// message naming the refused override.
bool LoadExportSettings(ExportContext& exporter) {
    ExportSettings& settings = exporter.settings();
    LoadOptions(ConfigPath(exporter), TimeOf(exporter), settings.options, settings.sceneRootName, settings.clips);
    const std::vector<std::string> overrides = exporter.ip->GetExportOverrides();
    if (overrides.empty()) return true;
    std::vector<ConfigSetting> parsed;
    std::string error;
    for (const std::string& text : overrides) {
        ConfigSetting setting;
        if (!ParseConfigAssignment(text, setting, error)) {
            exporter.messages.Fail("The export setting " + text + " was refused: " + error);
            return false;
        }
        parsed.push_back(std::move(setting));
    }
    if (!ApplyExportSettings(parsed, settings.options, settings.sceneRootName, settings.clips, error)) {
        exporter.messages.Fail("An export setting was refused: " + error);
        return false;
    }
    PullClipsIntoRange(settings.clips, RangeFrames(TimeOf(exporter)));
    return true;
}

bool HasKeys(Animatable* anim) {
    IKeyControl* keys = anim ? anim->GetKeyControlInterface() : nullptr;
    return keys && keys->GetNumKeys() > 0;
}

// Whether the host node's transform controller or its position, rotation or scale
// controllers carry keys.
bool HasKeys(INode* hostNode) {
    Control* tm = hostNode ? hostNode->GetTMController() : nullptr;
    if (!tm) return false;
    return HasKeys(static_cast<Animatable*>(tm)) || HasKeys(tm->GetPositionController()) ||
           HasKeys(tm->GetRotationController()) || HasKeys(tm->GetScaleController());
}

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
bool Finite(const Quat& q) {
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
bool Finite(const Matrix3& m) {
    return Finite(m.GetRow(0)) && Finite(m.GetRow(1)) && Finite(m.GetRow(2)) && Finite(m.GetRow(3));
}

// Values that were finite in the scene may overflow once converted to the output's coordinates
// (SpaceScale): such a node is refused with its name and what overflowed, before anything is
// written, instead of the X file's save failing on a value it cannot hold.
bool CheckConvertedValues(ExportContext& exporter) {
    const ExportOptions& options = exporter.options();
    std::string what;
    for (const XNode* node : exporter.nodes) {
        if (!node->processed) continue;
        if (!Finite(node->frameMatrix)) what = "its transform";
        const XRenderableNode* geometry = node->renderable == 1 ? AsRenderable(node) : nullptr;
        if (what.empty() && geometry && geometry->meshData)
            for (const XMeshPosition& p : geometry->meshData->positions)
                if (!Finite(p.position)) {
                    what = "its mesh's vertices";
                    break;
                }
        for (size_t c = 0; what.empty() && c < node->tracks.size(); ++c) {
            const AnimTrack& track = node->tracks[c];
            const auto clip = [&](const char* channel) {
                const std::string name = c < exporter.clips().size() ? exporter.clips()[c].name : std::to_string(c);
                return std::string("its ") + channel + " keys in clip " + name;
            };
            const auto check = [&](const auto& keys, const char* channel) {
                for (const auto& key : keys)
                    if (what.empty() && !Finite(key.value)) what = clip(channel);
            };
            check(track.positionKeys, "position");
            check(track.rotationKeys, "rotation");
            check(track.scaleKeys, "scale");
            check(track.matrixKeys, "matrix");
        }
        if (!what.empty()) {
            const float scale = options.SpaceScaleEnable ? options.SpaceScale : 1.0f;
            exporter.messages.Fail("The node " + node->name + " cannot be exported: " + what +
                                   " are beyond the range of a float once converted to the output's coordinates "
                                   "(scaled by " + FormatG(scale) + "). Nothing was written.");
            return false;
        }
    }
    return true;
}

uint32_t Clamp32(size_t n) { return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n); }

// What the written file holds, counted from the records the writer laid out.
void CountWritten(const ExportContext& exporter, ExportReport& report) {
    const ExportOptions& options = exporter.options();
    const bool onlyAnimation = options.Animation && options.OnlyAnimationSet;
    std::unordered_set<const INode*> bones;
    std::unordered_set<const void*> materials;
    size_t defaultMaterials = 0;
    for (const XNode* node : exporter.nodes) {
        if (!node->processed) continue;
        if (!onlyAnimation) ++report.frameCount;
        const XRenderableNode* geometry = node->renderable == 1 ? AsRenderable(node) : nullptr;
        if (!geometry || !geometry->meshData || onlyAnimation) continue;
        ++report.meshCount;
        report.triangleCount += geometry->meshData->faceCount;
        // A mesh without materials gets a default material of its own colour.
        if (options.Mtl && geometry->materials.empty()) ++defaultMaterials;
        if (options.Mtl)
            for (const auto& entry : geometry->materials)
                materials.insert(ResolveMaterialEntry(entry.get(), exporter.materialTable));
        if (geometry->meshSkin && options.Skin && options.Bones)
            VisitSkinBones(*geometry->meshSkin, [&](INode* bone) { bones.insert(bone); });
    }
    materials.erase(nullptr);
    report.boneCount = Clamp32(bones.size());
    report.materialCount = Clamp32(materials.size() + defaultMaterials);
    report.clipCount = options.Animation ? Clamp32(exporter.clips().size()) : 0;
}

// What a standard material's texture slots hold, in slot order, as a user knows the maps.
constexpr std::array<const char*, kTextureSlotCount> kSlotMapNames = {
    "diffuse", "specular",      "specular level", "shininess",  "emission",    "opacity",
    "filter colour", "normal or bump", "reflection", "refraction", "displacement"};

// One line per kind of data the scene holds that the options left out.
void ListLeftOut(const ExportContext& exporter, ExportReport& report) {
    const ExportOptions& options = exporter.options();
    bool colours = false, secondUv = false, skins = false, animated = false;
    // Slots whose textures plain materials do not name without Multi-Textures (only the main one).
    std::array<bool, kTextureSlotCount> mapsLeftOut{};
    for (const XNode* node : exporter.nodes) {
        const XRenderableNode* geometry = AsRenderable(node);
        if (geometry && geometry->hasGeometry) {
            colours = colours || geometry->hasColorChannel;
            secondUv = secondUv || geometry->hasSecondUvChannel;
            skins = skins || geometry->skinned ||
                    (node->hostNode && (FindSkinModifier(node->hostNode) || FindLinkModifier(node->hostNode)));
            for (const auto& entry : geometry->materials) {
                const XMaterial* record = ResolveMaterialEntry(entry.get(), exporter.materialTable);
                if (!record || record->kind == kEffectMaterial) continue;
                const int main = record->MainSlot();
                for (int i = 0; i < kTextureSlotCount; ++i)
                    mapsLeftOut[i] = mapsLeftOut[i] || (record->slots[i].used() && i != main);
            }
        }
        animated = animated || HasKeys(node->hostNode);
    }
    if (colours && !options.VertexColor) report.leftOut.push_back("vertex colours left out: set VertexColor=1");
    if ((options.Tangent || options.BiTangent) && !options.DeclData)
        report.leftOut.push_back("tangents left out: set DeclData=1");
    // A scale or rotation given without its switch does nothing.
    const auto unapplied = [&report](const char* key, float value, bool applied, float neutral) {
        if (!applied && value != neutral)
            report.leftOut.push_back(std::string(key) + "=" + FormatG(value) + " not applied: set " + key + "Enable=1");
    };
    unapplied("SpaceScale", options.SpaceScale, options.SpaceScaleEnable != 0, 1.0f);
    unapplied("ZRot", options.ZRot, options.ZRotEnable != 0, 0.0f);
    unapplied("XRot", options.XRot, options.XRotEnable != 0, 0.0f);
    std::vector<const char*> maps;
    for (int i = 0; i < kTextureSlotCount; ++i)
        if (mapsLeftOut[i]) maps.push_back(kSlotMapNames[i]);
    if (!maps.empty() && options.Mtl && !options.MultiTextures) {
        std::string line = "textures of the ";
        for (size_t i = 0; i < maps.size(); ++i)
            line.append(i == 0 ? "" : (i + 1 == maps.size() ? " and " : ", ")).append(maps[i]);
        report.leftOut.push_back(line + (maps.size() == 1 ? " map" : " maps") + " left out: set Multi-Textures=1");
    }
    if (skins && (!options.Skin || !options.Bones))
        report.leftOut.push_back(std::string("skin weights left out: set ") + (!options.Skin ? "Skin=1" : "Bones=1"));
    if (!options.Animation && animated) report.leftOut.push_back("animation left out: set Animation=1");
    if (secondUv && !options.MultiTextures)
        report.leftOut.push_back("second texture coordinate sets left out: set Multi-Textures=1");
}

// Everything the driver does once the context exists and the host interface is known. True
// when the files were put in place.
bool RunExport(ExportContext& exporter, const std::string& outputPath, Interface* ip, int suppressPrompts,
               unsigned long optionBits, ExportReport& report) {
    ExportSettings& settings = exporter.settings();
    ExportOptions& options = exporter.options();

    const Interval range = ip->GetAnimRange();
    exporter.animStart = range.Start();
    exporter.animEnd = range.End();
    exporter.ticksPerFrame = ip->GetTicksPerFrame();
    exporter.ticksPerSample = exporter.ticksPerFrame;
    exporter.frameRate = ip->GetFrameRate();
    exporter.ticksPerSecond = static_cast<uint32_t>(exporter.frameRate * exporter.ticksPerFrame);

    INode* root = ip->GetRootNode();
    if (!root || root->NumberOfChildren() <= 0) {
        exporter.messages.Show(kNoNodeText, "");
        return false;
    }
    exporter.sceneRootName = SceneRootNameFor(root->GetName() ? root->GetName() : "");
    exporter.selectedOnly = (optionBits & kSceneExportSelected) != 0;
    exporter.outputDirectory = DirectoryOf(outputPath);

    settings.directories.hostDirectory1 = WithTrailingSeparator(ip->GetDir(kDirMaps));
    settings.directories.hostDirectory2 = WithTrailingSeparator(ip->GetDir(kDirMaxData));
    settings.directories.sceneDirectory = DirectoryOf(ip->GetCurFilePath());

    if (!CheckOutputTarget(exporter, outputPath)) return false;

    if (!LoadExportSettings(exporter)) return false;
    if (!suppressPrompts && !ShowOptionsDialog(exporter)) return false;

    settings.conversion = BuildConversionMatrix(options.RightHand != 0,
                                                options.SpaceScaleEnable ? options.SpaceScale : 1.0f,
                                                options.XRotEnable ? options.XRot : 0.0f,
                                                options.ZRotEnable ? options.ZRot : 0.0f);

    exporter.ticksPerSample = SampleStep(exporter.frameRate, exporter.ticksPerFrame, options);

    exporter.rootFrameName = settings.sceneRootName.empty() ? exporter.sceneRootName : settings.sceneRootName;

    exporter.meter.Start(kProgressTitle);
    exporter.meter.BeginStage(1, 0.0f, 0.0f, kCollectTitle);
    exporter.stage1Work = 1;
    CollectStage(exporter, root);
    exporter.meter.CheckCancel();

    bool written = false;
    if (exporter.topLevelNodes.empty()) {
        if (!(options.Dummy && options.OTHER)) exporter.messages.Show(kNothingCollectedText, "");
    } else {
        exporter.meter.ResetSteps();
        if (exporter.meter.BeginStage(exporter.stage1Work, 95.0f, 95.0f, kDataPassTitle)) {
            exporter.stage2Work = 2;
            RunDataPass(exporter);
            exporter.meter.ShowStageEnd();

            bool anyProcessed = false;
            for (const XNode* node : exporter.nodes)
                if (node->processed) { anyProcessed = true; break; }
            if (!anyProcessed) {
                exporter.messages.Show(kNothingProcessedText, kWarningCaption);
            } else if (CheckConvertedValues(exporter) && exporter.meter.BeginStage(exporter.stage2Work, 5.0f, 100.0f, kWriteTitle)) {
                written = WriteAndCommit(exporter, outputPath, &report.fileCount, &report.byteCount,
                                         &report.unnamedImageCount);
            }
        }
    }

    // Overrides hold for this export only: a prompted export with overrides keeps the file as it is.
    if (!suppressPrompts && ip->GetExportOverrides().empty())
        SaveOptions(ConfigPath(exporter), settings.options, settings.sceneRootName, settings.clips);
    exporter.meter.End();
    return written;
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

extern "C" int XDoExport(const char* name, ExpInterface* /*ei*/, Interface* ip, int suppressPrompts,
                         unsigned long options) {
    if (!ip) return 1;
    const auto started = std::chrono::steady_clock::now();
    ExportSettings settings;
    ExportContext exporter(settings);
    exporter.ip = ip;
    exporter.meter = ProgressMeter(ip);
    exporter.messages = ExportMessages(ip);

    ExportReport report;
    report.outputPath = name ? name : "";
    try {
        const std::string outputPath = LongPathName(report.outputPath);
        report.written = RunExport(exporter, outputPath, ip, suppressPrompts, options, report);
        if (report.written) CountWritten(exporter, report);
        ListLeftOut(exporter, report);
    } catch (const ExportCancelled&) {
        // The host asked to stop: the staged files are gone with the stage that threw, and
        // nothing in the output folder changed.
        exporter.meter.End();
        report.cancelled = true;
    } catch (const std::exception& e) {
        // Nothing may cross the module boundary: report and give up this export.
        exporter.messages.Fail(std::string("The export failed: ") + e.what());
    } catch (...) {
        exporter.messages.Fail("The export failed.");
    }
    if (!report.written) report.failure = exporter.messages.failure();
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ip->ExportFinished(report);
    return 1;
}
