// Material collection: the export material records of one geometry node.
//
// For every renderable node the data pass turns the node's host material into records, one per
// material slot, in slot order. DirectX shader materials become effect records with their
// parameters and effect bitmaps; standard materials and other materials become records with
// colours and up to eleven texture slots, kept as effect records only when the FX option is on
// and the textures need more than the mesh's single coordinate set. Plain records are shared
// between nodes through the export's material table, keyed by exact name; effect records (or
// every record with InlineMtl) stay in the node's own list.
#pragma once

#include <memory>
#include <string>

#include "material/xmaterial.h"

class Interface;
class Mesh;
class Mtl;
struct ExportOptions;
struct TextureSearchDirectories;
class TexturePathCache;

// What reading one node's materials needs besides the material itself.
struct MaterialReadContext {
    const ExportOptions& options;
    const TextureSearchDirectories& directories;  // texture search directories
    Interface* ip = nullptr;         // for the invalid DirectX material message; may be null
    int meshChannelCount = 0;        // mapping channels 1 to 99 that the node's mesh supports
    TexturePathCache* texturePaths = nullptr;  // the export's resolved file paths; null: none kept
};

// Mapping channels 1 to 99 that mesh supports; 0 for no mesh.
int CountMeshMapChannels(const Mesh* mesh);

// Fills list (the node's material list) from hostMaterial. False only when there is no host
// material; the list then stays as it was.
bool CollectMaterials(const MaterialReadContext& context, const std::string& nodeName, Mtl* hostMaterial,
                      XMaterialList& list, XMaterialTable& table);

// One record from a standard material found in material's sub-material tree; null when the
// tree holds none. An empty slot met on the way gives the record "_ErrorSubMtl".
std::unique_ptr<XMaterial> ReadStandardMaterial(const MaterialReadContext& context, Mtl* material);
// One record from any material through the generic material interface. An empty slot on the
// sub-material 0 chain gives the record "_ErrorOtherSubMtl".
std::unique_ptr<XMaterial> ReadOtherMaterial(const MaterialReadContext& context, Mtl* material);
// One effect record from a DirectX shader material. A material without a first parameter block
// gives the record "_ErrorDxMaterial" and an "Error Material" message box.
std::unique_ptr<XMaterial> ReadEffectMaterial(const MaterialReadContext& context, Mtl* material);

// Names and files one record: a record without a name gets "Material_<n>", a name that no
// record of list or table has; a name equal to the node's gets "Mat_" in front, the name
// "string" gets "_" in front. Effect records, and every record with InlineMtl, go into list
// (made unique among the list's records by trailing underscores); other records are looked up
// in table by exact name and list gets a reference to the existing or newly added record.
void AddNodeMaterial(const ExportOptions& options, const std::string& nodeName, XMaterialList& list,
                     XMaterialTable& table, std::unique_ptr<XMaterial> record);

// The unique texture name of a map within a material: SanitizeXName(mapName) with "_" put at
// its end while any of the material's slots already has it.
std::string UniqueTextureName(const XMaterial& material, const char* mapName);
