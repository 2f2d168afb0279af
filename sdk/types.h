// Basic host types: time, class identifiers, handles.
#pragma once

#include <cstdint>

// Time in host ticks (4800 per second).
using TimeValue = int32_t;
inline constexpr TimeValue kTicksPerSecond = 4800;

struct Interval {
    TimeValue start = 0;
    TimeValue end = 0;
    constexpr Interval() = default;
    constexpr Interval(TimeValue s, TimeValue e) : start(s), end(e) {}
    TimeValue Start() const { return start; }
    TimeValue End() const { return end; }
};

// A class identifier: two 32-bit words.
struct Class_ID {
    uint32_t a = 0, b = 0;
    constexpr Class_ID() = default;
    constexpr Class_ID(uint32_t aa, uint32_t bb) : a(aa), b(bb) {}
    constexpr uint32_t PartA() const { return a; }
    constexpr uint32_t PartB() const { return b; }
    friend constexpr bool operator==(const Class_ID&, const Class_ID&) = default;
    friend constexpr bool operator<(const Class_ID& x, const Class_ID& y) {
        return x.a < y.a || (x.a == y.a && x.b < y.b);
    }
};

// A super class identifier.
using SClass_ID = uint32_t;

// An interface identifier for GetInterface queries.
using Interface_ID = Class_ID;

// An opaque window handle (the host's main window; null without a window system).
using HostWindow = void*;

// Super classes the exporter tests.
inline constexpr SClass_ID kGenDerivObjClassId = 0x0002;   // derived object (modifier stack level)
inline constexpr SClass_ID kDerivObjClassId = 0x0003;      // world-space derived object
inline constexpr SClass_ID kGeomObjectClassId = 0x0010;
inline constexpr SClass_ID kShapeClassId = 0x0040;
inline constexpr SClass_ID kHelperClassId = 0x0050;
inline constexpr SClass_ID kCameraClassId = 0x0020;
inline constexpr SClass_ID kLightClassId = 0x0030;
inline constexpr SClass_ID kModifierClassId = 0x0810;
inline constexpr SClass_ID kOsmClassId = 0x0810;
inline constexpr SClass_ID kMaterialClassId = 0x0C00;
inline constexpr SClass_ID kTexmapClassId = 0x0C10;
inline constexpr SClass_ID kCtrlMatrix3ClassId = 0x9008;
inline constexpr SClass_ID kSceneExportClassId = 0x0A20;

// Class identifiers of the host's objects that the exporter recognises.
inline constexpr Class_ID kTriObjectClassId{9, 0};
inline constexpr Class_ID kPatchObjectClassId{0x1030, 0};
inline constexpr Class_ID kTargetClassId{0x1020, 0};
inline constexpr Class_ID kDummyClassId{0x876234, 0};
inline constexpr Class_ID kBoneObjectClassId{0x28BF6E8D, 0x2ECCA840};
inline constexpr Class_ID kBoneLikeClassId1{0x2E6A0C09, 0x43D5C9C0};
inline constexpr Class_ID kBoneLikeClassId2{0x73DC4833, 0x65C93CAA};
inline constexpr Class_ID kBipedObjectClassId{0x9125, 0};
inline constexpr Class_ID kFootstepControlClassId{0x3011, 0};
inline constexpr Class_ID kNurbsClassId1{0x4135, 0};
inline constexpr Class_ID kNurbsClassId2{0x76A11646, 0x12A822FB};
inline constexpr Class_ID kNurbsClassId3{0x76A11646, 0x0BADBEFF};
inline constexpr Class_ID kNurbsClassId4{0x76A11646, 0x12A83145};
inline constexpr Class_ID kNurbsClassId5{0x76A11646, 0x12A92143};
inline constexpr Class_ID kSkinClassId{0x95C723, 0x15666};
inline constexpr Class_ID kLinkDeformerClassId{0x100, 0};

// Modifier flag bit: the modifier is disabled.
inline constexpr uint32_t kModifierDisabledFlag = 0x20;
