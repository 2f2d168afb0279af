#include "xfile/write_material.h"
#include "xfile/write_xfile.h"

void WriteSharedMaterials(XWriteContext& context) {
    // Each record of the material table becomes a named top-level Material, in table order.
    for (const std::unique_ptr<XMaterial>& record : context.records.materials)
        if (record) WriteMaterial(context, nullptr, record.get());
}
