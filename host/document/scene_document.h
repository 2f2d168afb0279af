// The scene document: a versioned JSON description of a whole host scene (see
// docs/scene-format.md), loaded into a HostScene and written back from one.
//
// Loading validates everything before the scene exists: on any problem the result is null and
// `error` holds one line naming the file, the JSON path of the offending value (such as
// `nodes[3].children[0].transform`) and the problem. No input makes the loader crash.
#pragma once

#include <memory>
#include <string>

#include "host/objects/host_scene.h"

// The document version this host reads and writes ("plover_scene": 1).
inline constexpr int kSceneDocumentVersion = 1;

// Size limits: documents beyond them are rejected as absurd.
inline constexpr size_t kMaxSceneDocumentBytes = size_t(1) << 30;  // 1 GiB
inline constexpr size_t kMaxSceneArrayElements = size_t(1) << 26;  // per vertex, face, point array (elements)
inline constexpr size_t kMaxSceneNodes = 1000000;
inline constexpr int kMaxSceneNodeDepth = 256;                       // nesting of "children"
inline constexpr int kMaxSceneInlineDepth = 64;                      // maps and materials written inside others
inline constexpr int kMaxSceneJsonDepth = 1024;                      // nesting of JSON arrays and objects
inline constexpr int kMaxSceneStackLevels = 1024;
inline constexpr size_t kMaxSceneClips = 10000;                    // entries of "clips"

// Reads and loads the file at `path`. The file's name, as given, names it in error messages.
std::unique_ptr<HostScene> LoadSceneDocument(const std::string& path, std::string& error);

// Loads a document held in memory; `displayName` names it in error messages.
std::unique_ptr<HostScene> LoadSceneDocumentFromString(const std::string& json, const std::string& displayName,
                                                       std::string& error);

// The document of a scene, as indented JSON text ending in a newline. Loading the result gives a
// scene with the same settings, clips, nodes, objects, stacks, materials and maps (floats
// round-trip exactly).
std::string SaveSceneDocument(const HostScene& scene);
