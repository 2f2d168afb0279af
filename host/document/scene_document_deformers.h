// The scene document form of the two deformers (a node's stack entries of type "skin" and
// "linkDeformer", see docs/scene-format.md): reading with validation, and writing back.
//
// Bones are referenced by node name. Names can only be resolved once every node exists, so the
// reader keeps the references of each deformer it makes and resolves them, together with the
// deformer's owner (the node whose stack holds it), after the whole document was read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/objects/host_deformers.h"

class SceneDeformerReader {
public:
    // Reads the modifier object at path whose "type" is "skin" or "linkDeformer". Null on a
    // problem (see errorPath and errorProblem).
    std::unique_ptr<HostModifier> Read(const nlohmann::json& v, const std::string& path, const std::string& type);
    // Sets the owners of the deformers read and resolves their bone names in scene. False on an
    // unknown or ambiguous name, or a deformer that no node's stack holds.
    bool Resolve(HostScene& scene);

    const std::string& errorPath() const { return errorPath_; }
    const std::string& errorProblem() const { return errorProblem_; }

private:
    friend class DeformerJsonReader;
    struct BoneReference {
        HostModifier* deformer;
        size_t bone;         // index into the deformer's bones
        std::string name;
        std::string path;    // where the name was given
    };
    bool Fail(const std::string& path, const std::string& problem);

    std::vector<BoneReference> references_;
    std::vector<std::pair<HostModifier*, std::string>> deformers_;  // with the path of each
    std::string errorPath_, errorProblem_;
};

// The deformer's own fields, added to the modifier's JSON object m (nothing for a deformer that
// has no bones, points, vertices or initial transform).
void AddDeformerJson(const HostModifier& modifier, nlohmann::ordered_json& m);
