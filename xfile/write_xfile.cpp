#include "xfile/write_xfile.h"

#include <cerrno>
#include <functional>
#include <memory>

#include "core/staged_files.h"
#include "scene/xnode.h"
#include "sdk/host.h"
#include "xfile/write_animation.h"
#include "xfile/write_frame.h"
#include "xfile/write_material.h"
#include "xformat/xfile_format.h"

namespace {

using xfile::XResult;
using xfile::XSaveObject;

inline constexpr const char* kNothingToWriteText = "No node will be export.";

using CreateSave = std::function<XResult(const xfile::XFile&, xfile::XFileFormat, const xfile::XSaveOptions&,
                                         std::unique_ptr<XSaveObject>*)>;

// Keeps the host's progress display moving while the save layer encodes, compresses and
// writes, which for a large mesh is most of the export's time, and lets the host stop it.
xfile::XSaveProgress SaveProgress(ProgressMeter& meter, xfile::XFileFormat format) {
    const char* encoding = xfile::IsCompressedFormat(format) ? "compressing" : "encoding";
    return [&meter, encoding, lastShown = uint64_t(0), shownAny = false](uint64_t done, uint64_t total) mutable {
        // One update per 4 MiB encoded, or per percent of the file written.
        const uint64_t mark = total == 0 ? done >> 22 : (done * 100) / total;
        if (shownAny && mark == lastShown && done != total) return meter.ShowDetail({});
        lastShown = mark;
        shownAny = true;
        const std::string detail = total == 0 ? std::string(encoding) + ", " + std::to_string(done >> 20) + " MiB"
                                              : "writing, " + std::to_string(mark) + "%";
        return meter.ShowDetail(detail);
    };
}

// Opens a save object with the published templates, writes the content and saves. The
// progress meter is stepped once at the end whatever happened, as the estimate expects.
XResult WriteThrough(const XFileRecords& records, ProgressMeter& meter, const CreateSave& create,
                     int* fileError = nullptr) {
    errno = 0;
    xfile::XFile file;
    XResult result = file.RegisterPublishedTemplates();
    std::unique_ptr<XSaveObject> save;
    const xfile::XFileFormat format = xfile::FormatFromXFileType(records.options.XFileType);
    xfile::XSaveOptions saveOptions;
    saveOptions.progress = SaveProgress(meter, format);
    saveOptions.inPlace = true;  // the path is the driver's staged temporary
    if (result) result = create(file, format, saveOptions, &save);
    if (result) save->ExpectTemplates(ExpectedTemplates(records));  // lets a large body be written once
    if (result) {
        XWriteContext context{records, meter, *save, {}};
        WriteXFileContent(context);
        result = save->Save();
    }
    if (fileError) *fileError = errno;  // the file system's reason, before anything else runs
    meter.Step();
    return result;
}

}  // namespace

bool WriteXFile(const XFileRecords& records, ProgressMeter& meter, const std::string& path, std::string* cause) {
    if (records.topLevelNodes.empty()) {
        if (cause) *cause = kNothingToWriteText;
        return false;
    }
    int error = 0;
    const XResult result = WriteThrough(
        records, meter,
        [&](const xfile::XFile& file, xfile::XFileFormat format, const xfile::XSaveOptions& saveOptions,
            std::unique_ptr<XSaveObject>* save) { return file.CreateSaveObject(path, format, save, saveOptions);
        },
        &error);
    if (!result && cause) {
        // The save layer names its own temporary files; the user only needs the cause.
        if (result.status == xfile::XStatus::Cancelled)
            cause->clear();  // the host asked to stop: nothing to report
        else if (result.status != xfile::XStatus::IoError)
            *cause = result.message;
        else
            *cause = error != 0 ? DescribeFileError(error) : std::string("the file system refused the file");
    }
    return result.ok();
}

bool WriteXFileBytes(const XFileRecords& records, ProgressMeter& meter, std::vector<uint8_t>& bytes,
                     std::string* error) {
    bytes.clear();
    if (records.topLevelNodes.empty()) {
        if (error) *error = kNothingToWriteText;
        return false;
    }
    const XResult result = WriteThrough(records, meter, [&](const xfile::XFile& file, xfile::XFileFormat format,
                                                      const xfile::XSaveOptions& saveOptions,
                                                      std::unique_ptr<XSaveObject>* save) {
        return file.CreateMemorySaveObject(&bytes, format, save, saveOptions);
    });
    if (!result && error) *error = result.message;
    return result.ok();
}

void WriteXFileContent(XWriteContext& context) {
    const XFileRecords& records = context.records;
    const ExportOptions& options = records.options;

    if (!(options.Animation && options.OnlyAnimationSet)) {
        if (options.Mtl) WriteSharedMaterials(context);
        context.meter.Step();

        context.sceneRootFrame = {};
        if (options.SceneRoot) {
            context.sceneRootFrame = AddObject(context, nullptr, xfile::kTidFrame, records.rootFrameName, std::span<const uint8_t>());
            if (context.sceneRootFrame.valid())
                AddFrameTransform(context, context.sceneRootFrame,
                                  MatrixToFrameMatrix(records.rootFrameMatrix));
        }
        const xfile::XSaveData* parent = context.sceneRootFrame.valid() ? &context.sceneRootFrame : nullptr;
        for (const std::unique_ptr<XNode>& node : records.topLevelNodes) {
            if (!node) continue;
            XRenderableNode* geometry = node->renderable == 1 ? AsRenderable(node.get()) : nullptr;
            if (geometry)
                WriteMeshFrame(context, parent, geometry);
            else
                WriteFrame(context, parent, node.get());
        }
    }

    if (options.Animation) {
        const AnimClipList& clips = records.clips;
        if (!clips.empty() && options.Timeline == 0) {
            xfile::XPayload ticks;
            ticks.Dword(records.ticksPerSecond);
            AddObject(context, nullptr, xfile::kTidAnimTicksPerSecond, "", ticks.bytes());
        }
        for (size_t i = 0; i < clips.size(); ++i) WriteAnimationSet(context, clips[i].name, i);
    }
}

std::vector<xfile::XGuid> ExpectedTemplates(const XFileRecords& records) {
    const ExportOptions& options = records.options;
    XTemplateList list;
    if (!(options.Animation && options.OnlyAnimationSet)) {
        if (options.Mtl)
            for (const std::unique_ptr<XMaterial>& record : records.materials) ListMaterialTemplates(records, record.get(), list);
        if (options.SceneRoot) {
            list.Use(xfile::kTidFrame);
            list.Use(xfile::kTidFrameTransformMatrix);
        }
        for (const std::unique_ptr<XNode>& node : records.topLevelNodes) ListFrameTemplates(records, node.get(), list);
    }
    ListAnimationTemplates(records, list);
    return std::move(list.ids);
}

namespace {

void CollectWrittenMeshes(const ExportOptions& options, XNode* node, std::vector<XRenderableNode*>& out) {
    if (!node) return;
    // The placement rules of WriteFrame and WriteMeshFrame: an unprocessed node hides its
    // subtree unless frames are written flat.
    if (node->processed || options.WorldSpace) {
        XRenderableNode* geometry = node->renderable == 1 ? AsRenderable(node) : nullptr;
        if (geometry && node->processed && geometry->meshData) out.push_back(geometry);
        for (const std::unique_ptr<XNode>& child : node->children) CollectWrittenMeshes(options, child.get(), out);
    }
}

}  // namespace

std::vector<XRenderableNode*> WrittenMaterialNodes(const XFileRecords& records) {
    std::vector<XRenderableNode*> nodes;
    const ExportOptions& options = records.options;
    if (!options.Mtl || (options.Animation && options.OnlyAnimationSet)) return nodes;
    for (const std::unique_ptr<XNode>& node : records.topLevelNodes) CollectWrittenMeshes(options, node.get(), nodes);
    return nodes;
}
