// The materials and texture maps of a scene document (docs/scene-format.md, "Materials and
// maps"): the top-level "maps" and "materials" lists and a node's "material".
//
// The document loader owns one SceneMaterialReader per document. Every value is checked before
// it is used; on a problem the reader returns false and names the JSON path and the problem,
// which the loader reports like its own. References by name go to earlier entries of the
// lists only, so material and map graphs never have cycles.
#pragma once

#include <map>
#include <string>

#include <nlohmann/json_fwd.hpp>

class HostMaterialLibrary;
class HostNode;
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
