// The material output step: the files that the materials name, made before the X file is
// written and staged for the commit point.
//
// For every material record that the writer will write, in the writer's order (the export's
// material table, then each written mesh's material list): with TextureFiles on, bitmap
// textures are copied and procedural maps baked into the output directory, the effect files of
// DirectX shader materials copied (DxFx), and effect files generated for effect materials that
// bring none. Nothing is put in place here: every file goes into the StagedFiles set, which the
// driver commits once the X file is written too.
//
// The records are completed for the writer: a procedural slot's fileName is its baked file, a
// generated effect's effectFile and stringParams are set, and a file name that another source
// of the same export already has gets "_2", "_3", ... before its extension, so two different
// maps or textures never share one file. Records are only prepared when they have a used slot
// (a material without one gets neither textures nor an effect).
//
// Existing files: OverwriteTexture off keeps every existing texture, baked map and generated
// effect file; OverwriteFX off keeps every existing copied effect file. A source that is
// missing or cannot be read is skipped quietly (the X file still names the file).
//
// Files a model must not reach: a name whose existing file is one of the kept files (the scene
// file, the options file, a file the export reads, the X file's own name), a texture or baked
// map name whose existing file is not an image of the kind its name says (nor a copy of the
// same source, which an earlier export made), and a symbolic link
// that leads out of the output folder, are never written to: the file gets the next free name
// ("_2", "_3", ... before its extension) and a warning names both.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_guards.h"
#include "material/xmaterial.h"

class BitmapManager;
class StagedFiles;
struct ExportOptions;

// What the material output reads of a geometry node whose material list the writer writes.
struct MaterialNodeView {
    std::string_view name;                // the node's export name
    XMaterialList* materials = nullptr;   // the node's material list
    std::span<const int32_t> channels;    // XMeshData::channels: host mapping channels, ascending
    std::span<const int32_t> channelMap;  // XMeshData::channelMap: the position each channel shares
};

struct MaterialOutputResult {
    bool ok = true;
    // Why the export cannot go on, naming the user's file and the cause; empty when ok.
    std::string error;
    // One line per file that could not be made while the X file still names it (a map that
    // cannot be baked at the chosen size, for example).
    std::vector<std::string> warnings;
};

// What no file of the material output may replace.
struct KeptFiles {
    std::string sceneFile;    // the scene file being exported
    std::string optionsFile;  // the initialisation file
    std::string xFile;        // the X file being written (it may not exist yet)
    FileSet reads;            // every texture and effect file the export reads
};

struct MaterialOutputContext {
    const ExportOptions& options;
    BitmapManager* bitmaps = nullptr;  // the host's, for baking; null bakes nothing
    std::string outputDirectory;       // ends in a separator
    StagedFiles& staged;
    const KeptFiles* kept = nullptr;   // null: only the image and link checks
};

// Prepares and stages the files of the table's records and of every node's list, in that
// order. Stops at the first file that cannot be written into the output directory.
MaterialOutputResult OutputMaterialFiles(const MaterialOutputContext& context, XMaterialTable& table,
                                         std::span<const MaterialNodeView> nodes);

// The same for one record: a table record when node is null, else an entry of node's list.
// Adds to *result; false when the export must stop.
bool OutputMaterialRecord(const MaterialOutputContext& context, XMaterialEntry* entry, const MaterialNodeView* node,
                          MaterialOutputResult* result);

// The 0-based texture coordinate set that carries a host mapping channel in the written mesh:
// the number of own channels (channelMap[c] == c) among positions 0 to channelMap[c] of the
// channel's position c, minus one. -1 when the mesh does not carry the channel.
int32_t TexCoordSetOfChannel(int32_t mapChannel, std::span<const int32_t> channels,
                             std::span<const int32_t> channelMap);

// Largest baked map side and pixel count; larger maps are not baked (and warned about).
inline constexpr int kMaxBakeSide = 16384;
inline constexpr int64_t kMaxBakePixels = int64_t(1) << 26;
