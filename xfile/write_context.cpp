#include "xfile/write_context.h"

#include "xformat/xtemplates.h"

namespace {

// A child of `parent`, or a top-level object when there is none; the payload whole or as a source.
template <class Payload>
xfile::XSaveData AddChild(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                          std::string_view name, const Payload& payload) {
    xfile::XSaveData child;
    if (parent)
        xfile::XSaveData(*parent).AddDataObject(templateId, name, payload, &child);
    else
        context.save.AddDataObject(templateId, name, payload, &child);
    return child;
}

}  // namespace

xfile::XSaveData AddObject(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                           std::string_view name, std::span<const uint8_t> payload) {
    return AddChild(context, parent, templateId, name, payload);
}

xfile::XSaveData AddObject(XWriteContext& context, const xfile::XSaveData* parent, const xfile::XGuid& templateId,
                           std::string_view name, const xfile::XPayloadSource& payload) {
    return AddChild(context, parent, templateId, name, payload);
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
