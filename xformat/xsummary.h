// What an X file holds, counted: frames, meshes, faces, materials, textures, bones and animation
// sets, from a document read whole or object by object while it is read.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "xformat/xreader.h"

namespace xfile {

// One animation set: its name and the span of its key times.
struct XClipSummary {
    std::string name;
    uint64_t keyCount = 0;
    uint32_t firstTick = 0;  // earliest key time of the set (0 without keys)
    uint32_t lastTick = 0;   // latest key time
};

// The counts a user checks a file by. Objects are recognised by their template's name or GUID,
// so files whose templates redefine the published ones are read as long as the members keep
// their published names.
struct XFileSummary {
    uint64_t frames = 0;     // Frame objects
    uint64_t meshes = 0;     // Mesh objects
    uint64_t faces = 0;      // the meshes' faces
    uint64_t triangles = 0;  // the same faces cut into triangles (a polygon of n corners gives n - 2)
    uint64_t vertices = 0;   // the meshes' vertices
    uint64_t materials = 0;  // distinct names of Material objects, and each unnamed one (a mesh's
                             // default material); references not counted
    uint64_t textures = 0;   // distinct file names of TextureFilename objects
    uint64_t bones = 0;      // distinct bone names of SkinWeights objects
    uint32_t ticksPerSecond = 4800;  // AnimTicksPerSecond, else the format's default
    std::vector<XClipSummary> clips;  // AnimationSet objects in file order
};

XFileSummary SummariseXFile(const XDocument& doc);

// The same counts object by object, as a read hands them over (XReadOptions::onObject): each
// object comes with its payload, after its parents and before its children.
class XFileSummaryBuilder {
public:
    void Add(const XDocument& doc, const XNode& node, std::span<const uint8_t> payload);
    XFileSummary Finish();

private:
    XFileSummary summary_;
    std::set<std::string> textures_, bones_, materials_;
    uint64_t unnamedMaterials_ = 0;
    uint32_t clipNode_ = kNoNode;  // the last AnimationSet begun
};

}  // namespace xfile
