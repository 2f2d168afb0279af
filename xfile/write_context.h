// What the X file serialisers share: the records of one export, the file being written, and
// the two helpers every serialiser uses to add objects.
//
// Every serialiser takes the XWriteContext of the file being written and a parent data object:
// null means the top level of the file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/progress.h"
#include "material/xmaterial.h"
#include "options/export_options.h"
#include "sdk/math.h"
#include "xformat/xpayload.h"
#include "xformat/xsave.h"

class XNode;
class XRenderableNode;

// What the writer lays out: the records of one export once the data pass has ended, every one
// in export coordinates, and the options that decide what is written.
struct XFileRecords {
    const ExportOptions& options;
    const std::vector<std::unique_ptr<XNode>>& topLevelNodes;  // the export tree
    const XMaterialTable& materials;   // the shared material records (top-level Materials)
    const AnimClipList& clips;         // one AnimationSet each
    std::string rootFrameName;         // the scene-root Frame (SceneRoot)
    Matrix3 rootFrameMatrix;
    uint32_t ticksPerSecond = 0;       // AnimTicksPerSecond
};

// What the serialisers share while one file is written.
struct XWriteContext {
    const XFileRecords& records;
    ProgressMeter& meter;  // stepped as the driver's estimate of the writer's work expects
    xfile::XSaveObject& save;
    // The scene-root Frame that the root nodes' frames go into; invalid when SceneRoot is off
    // (or before it is written).
    xfile::XSaveData sceneRootFrame;
};

// The templates a file will use, in the order of their first use, which the writer works out
// from the records before writing (see XSaveObject::ExpectTemplates). Each writer's List...
// function follows the order of its Write... function.
struct XTemplateList {
    std::vector<xfile::XGuid> ids;
    void Use(const xfile::XGuid& id) {
        for (const xfile::XGuid& known : ids)
            if (known == id) return;
        ids.push_back(id);
    }
};

// The 16 floats of a Matrix4x4, row by row, with 0, 0, 0, 1 as the fourth column.
std::array<float, 16> MatrixToFrameMatrix(const Matrix3& m);

// Adds a data object under parent, or at the top level when parent is null.
xfile::XSaveData AddObject(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                           std::string_view name, std::span<const uint8_t> payload);
// The same with a payload the save layer reads in chunks (large per-vertex and per-face data).
xfile::XSaveData AddObject(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                           std::string_view name, const xfile::XPayloadSource& payload);
// Adds a FrameTransformMatrix holding the 16 floats to frame.
void AddFrameTransform(XWriteContext& context, const xfile::XSaveData& frame, const std::array<float, 16>& matrix);
