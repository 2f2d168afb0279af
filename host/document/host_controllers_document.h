// The scene document form of keyed transform controllers ("tmController" of type "transform",
// see docs/scene-format.md): reading with validation, and writing back.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "host/objects/host_controllers.h"

// Reads the controller object at `path` (its "type" already checked to be "transform"). On a
// problem returns null and sets errorPath (the JSON path of the offending value) and problem.
std::unique_ptr<HostTransformControl> ReadTransformControlJson(const nlohmann::json& v, const std::string& path,
                                                               std::string& errorPath, std::string& problem);

// The document form of the controller; floats in the shortest form that reads back exactly.
nlohmann::ordered_json TransformControlJson(const HostTransformControl& control);
