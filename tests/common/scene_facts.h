// Facts of a host scene that a round trip through another format must keep (node names,
// triangles, UV sets, colours, clips, and every triangle corner's position, colour, first UV and
// strongest joint), and their comparison, shared by the round-trip tests of the writers.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/import/interchange_import.h"
#include "host/objects/host_objects.h"

namespace scene_facts {

// A glTF (or any interchange file) read by the native reader, its images unpacked into textures.
std::unique_ptr<HostScene> ImportModel(const std::filesystem::path& file, const std::filesystem::path& textures);

struct MeshFacts {
    size_t triangles = 0;
    int uvSets = 0;
    bool colours = false;
};

struct Facts {
    std::multiset<std::string> names;
    std::map<std::string, MeshFacts> meshes;  // by node name
    std::vector<HostClip> clips;
    float size = 0;                           // the diagonal of the rest pose's bounds
};

Facts FactsOf(HostScene& scene);

struct Corner {
    Point3 position;
    Point3 colour;
    Point3 uv;
    std::string joint;
    float weight = 0;
};

// The world positions of every triangle corner of every mesh at t, with the corner's colour and
// first UV and its strongest skin joint's name.
std::vector<Corner> Corners(HostScene& scene, TimeValue t);

// Every corner of a has a corner of b at the same place (within tolerance) with the same
// colour, UV and strongest joint and weight, regardless of order; misses are counted.
void ExpectSameCorners(std::vector<Corner> a, std::vector<Corner> b, float tolerance, const std::string& what);

// The facts of two scenes agree: names, meshes, clips, and the corners at rest and at three
// times of the first clip, to 1e-4 of the first scene's size. rename, if given, maps the first
// scene's node names to those the second should hold (a format with fewer characters for names).
void ExpectSameScenes(HostScene& first, HostScene& second, const std::string& what,
                      const std::function<std::string(std::string)>& rename = {});

}  // namespace scene_facts
