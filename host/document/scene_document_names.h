// Names shared by the scene document reader and writer: object and modifier types, directories.
#pragma once

#include <string_view>

#include "host/objects/host_objects.h"
#include "sdk/host.h"

// The object "type" names and the class and super class each one defaults to.
struct SceneObjectType {
    std::string_view name;
    Class_ID classId;
    SClass_ID superClassId;
    bool classIdRequired;  // "classId" must be given (no meaningful default)
    bool mayHaveMesh;      // a "mesh" member is allowed (converts to a triangle mesh)
};

inline constexpr SceneObjectType kSceneObjectTypes[] = {
    {"mesh", kTriObjectClassId, kGeomObjectClassId, false, true},
    {"shape", Class_ID(0x0A, 0), kShapeClassId, false, false},
    {"dummy", kDummyClassId, kHelperClassId, false, false},
    {"helper", Class_ID(0x2060, 0), kHelperClassId, false, false},
    {"bone", kBoneObjectClassId, kGeomObjectClassId, false, true},
    {"biped", kBipedObjectClassId, kGeomObjectClassId, false, true},
    {"target", kTargetClassId, kGeomObjectClassId, false, false},
    {"camera", Class_ID(0x1001, 0), kCameraClassId, false, false},
    {"light", Class_ID(0x1011, 0), kLightClassId, false, false},
    {"geometry", Class_ID(0, 0), kGeomObjectClassId, true, true},
    {"patch", kPatchObjectClassId, kGeomObjectClassId, false, false},
    {"nurbs", kNurbsClassId1, kGeomObjectClassId, false, false},
};

// Directory kinds with names in the document's "directories".
struct SceneDirectoryName {
    std::string_view name;
    int kind;
};

inline constexpr SceneDirectoryName kSceneDirectoryNames[] = {
    {"maps", kDirMaps},
    {"pluginConfig", kDirPlugCfg},
    {"data", kDirMaxData},
};
