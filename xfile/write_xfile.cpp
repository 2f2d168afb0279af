#include "xfile/write_xfile.h"

#include <functional>
#include <memory>

#include "plugin/exporter.h"
#include "scene/xnode.h"
#include "sdk/host.h"
#include "xfile/format/xfile_format.h"

namespace {

using xfile::XResult;
using xfile::XSaveObject;

inline constexpr const char* kNothingToWriteText = "No node will be export.";

// Opens a save object with the published templates, writes the content and saves. The
// progress meter is stepped once at the end whatever happened, as the estimate expects.
XResult WriteThrough(XExporter& exporter,
                     const std::function<XResult(const xfile::XFile&, xfile::XFileFormat,
                                                 std::unique_ptr<XSaveObject>*)>& create) {
    xfile::XFile file;
    XResult result = file.RegisterPublishedTemplates();
    std::unique_ptr<XSaveObject> save;
    if (result) result = create(file, xfile::FormatFromXFileType(exporter.options().XFileType), &save);
    if (result) {
        XWriteContext context{exporter, *save, {}};
        WriteXFileContent(context);
        result = save->Save();
    }
    exporter.ProgressStep();
    return result;
}

}  // namespace

void XExporter::WriteXFile(const std::string& path) {
    if (topLevelNodes.empty()) {
        ShowMessage(kNothingToWriteText, "");
        return;
    }
    const XResult result = WriteThrough(*this, [&](const xfile::XFile& file, xfile::XFileFormat format,
                                                   std::unique_ptr<XSaveObject>* save) {
        return file.CreateSaveObject(path, format, save);
    });
    // The file is written to a temporary and renamed into place, so a failure leaves the
    // previous file as it was; say so instead of looking like success.
    if (!result) {
        const std::string text = "The X file " + path + " could not be written: " + result.message;
        if (ip) ip->MessageBox(ip->GetMAXHWnd(), text.c_str(), "Plover", kMbOk | kMbIconStop);
    }
}

bool WriteXFileBytes(XExporter& exporter, std::vector<uint8_t>& bytes, std::string* error) {
    bytes.clear();
    if (exporter.topLevelNodes.empty()) {
        if (error) *error = kNothingToWriteText;
        return false;
    }
    const XResult result = WriteThrough(exporter, [&](const xfile::XFile& file, xfile::XFileFormat format,
                                                      std::unique_ptr<XSaveObject>* save) {
        return file.CreateMemorySaveObject(&bytes, format, save);
    });
    if (!result && error) *error = result.message;
    return result.ok();
}

void WriteXFileContent(XWriteContext& context) {
    XExporter& exporter = context.exporter;
    const ExportOptions& options = exporter.options();

    if (!(options.Animation && options.OnlyAnimationSet)) {
        if (options.Mtl) WriteSharedMaterials(context);
        exporter.ProgressStep();

        context.sceneRootFrame = {};
        if (options.SceneRoot) {
            context.sceneRootFrame = AddObject(context, nullptr, xfile::kTidFrame, exporter.rootFrameName, {});
            if (context.sceneRootFrame.valid())
                AddFrameTransform(context, context.sceneRootFrame,
                                  MatrixToFrameMatrix(ConvertTransform(exporter.conversion(), exporter.rootTransform)));
        }
        const xfile::XSaveData* parent = context.sceneRootFrame.valid() ? &context.sceneRootFrame : nullptr;
        for (const std::unique_ptr<XNode>& node : exporter.topLevelNodes) {
            if (!node) continue;
            XRenderableNode* geometry = node->renderable == 1 ? AsRenderable(node.get()) : nullptr;
            if (geometry)
                WriteMeshFrame(context, parent, geometry);
            else
                WriteFrame(context, parent, node.get());
        }
    }

    if (options.Animation) {
        const AnimClipList& clips = exporter.module().clips;
        if (!clips.empty() && options.Timeline == 0) {
            const int frameRate = exporter.ip ? exporter.ip->GetFrameRate() : 0;
            xfile::XPayload ticks;
            ticks.Dword(static_cast<uint32_t>(frameRate * exporter.ticksPerFrame));
            AddObject(context, nullptr, xfile::kTidAnimTicksPerSecond, "", ticks.bytes());
        }
        for (size_t i = 0; i < clips.size(); ++i) WriteAnimationSet(context, clips[i].name, i);
    }
}

xfile::XSaveData AddObject(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                           std::string_view name, std::span<const uint8_t> payload) {
    xfile::XSaveData child;
    if (parent)
        xfile::XSaveData(*parent).AddDataObject(templateId, name, payload, &child);
    else
        context.save.AddDataObject(templateId, name, payload, &child);
    return child;
}

std::array<float, 16> MatrixToFrameMatrix(const Matrix3& m) {
    std::array<float, 16> out{};
    for (int row = 0; row < 4; ++row) {
        const Point3 r = m.GetRow(row);
        out[row * 4 + 0] = r.x;
        out[row * 4 + 1] = r.y;
        out[row * 4 + 2] = r.z;
        out[row * 4 + 3] = row == 3 ? 1.0f : 0.0f;
    }
    return out;
}

void AddFrameTransform(XWriteContext& context, const xfile::XSaveData& frame, const std::array<float, 16>& matrix) {
    xfile::XPayload payload;
    payload.Reserve(sizeof(float) * 16);
    payload.Floats(matrix);
    AddObject(context, &frame, xfile::kTidFrameTransformMatrix, "", payload.bytes());
}
