#include "plugin/exporter.h"
#include "xfile/write_xfile.h"

// CALL SITE for the material serialiser (xfile/write_material.h, in progress): each record of
// the export's material table becomes a named top-level Material, in table order, with no
// parent and no node:
//
//     for (const std::unique_ptr<XMaterial>& record : context.exporter.materialTable)
//         WriteMaterial(context, nullptr, record.get(), nullptr);
//
// Until it lands, no material is written.
void WriteSharedMaterials(XWriteContext& /*context*/) {}
