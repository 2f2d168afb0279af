// The materials and texture maps of a scene document (docs/scene-format.md, "Materials and
// maps"): the top-level "maps" and "materials" lists and a node's "material", read and written.
//
// The document loader owns one SceneMaterialReader per document. Every value is checked before
// it is used; on a problem the reader returns false and names the JSON path and the problem,
// which the loader reports like its own. References by name go to earlier entries of the
// lists only, so material and map graphs never have cycles.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

class HostMaterialLibrary;
class HostNode;
class HostScene;
class Mtl;
class Texmap;

class SceneMaterialReader {
public:
    explicit SceneMaterialReader(HostMaterialLibrary& library) : library_(library) {}

    // Reads doc["maps"], then doc["materials"], when present.
    bool ReadLists(const nlohmann::json& doc);
    // Reads a node's "material" (the name of an entry of "materials" or an inline material)
    // and gives it to node.
    bool ReadNodeMaterial(const nlohmann::json& v, const std::string& path, HostNode& node);

    // Where and what the first problem was.
    const std::string& errorPath() const { return errorPath_; }
    const std::string& errorProblem() const { return errorProblem_; }

private:
    friend class MaterialJsonReader;
    HostMaterialLibrary& library_;
    std::map<std::string, Texmap*> maps_;
    std::map<std::string, Mtl*> materials_;
    std::string errorPath_;
    std::string errorProblem_;
};

// Writes the materials of a scene's nodes. Materials and maps referred to more than once (by
// nodes, map slots, sub-material slots or texmap parameters) go to the top-level lists, once
// each, under names made unique in their list, after everything they refer to; all others are
// written inline where they are used. Values the loader would reject as out of range are
// clamped into range.
class SceneMaterialWriter {
public:
    explicit SceneMaterialWriter(const HostScene& scene);

    // Adds "maps" and "materials" to doc when the scene shares any.
    void AddLists(nlohmann::ordered_json& doc) const;
    // Adds "material" to the node's object n when the node has one.
    void AddNodeMaterial(const HostNode& node, nlohmann::ordered_json& n) const;

private:
    friend class MaterialJsonWriter;
    std::vector<Texmap*> sharedMaps_;           // in list order
    std::vector<Mtl*> sharedMaterials_;         // in list order
    std::map<const void*, std::string> names_;  // list names of the shared entries
};
