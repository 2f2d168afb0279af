// Procedural texture maps of the stand-in host, each with a real evaluator: checker, gradient
// and noise.
//
// The evaluators read the shading context's texture coordinate on the map's channel (checker,
// gradient) or its point (noise, in scene units), in the map's own space: the map's UV transform
// is carried by the mesh's texture coordinates, not applied again here, so a baked map shows one
// unit square of the pattern.
#pragma once

#include "host/objects/host_materials.h"

// Two colours in a 2 x 2 board over the unit square: color1 where floor(2u) + floor(2v) is even
// (the lower left square), color2 elsewhere.
class HostCheckerMap final : public HostTexmapBase<Texmap> {
public:
    HostCheckerMap() { classId = kCheckerClassId; }
    AColor EvalColor(ShadeContext& sc) override;

    AColor color1{0, 0, 0, 1};
    AColor color2{1, 1, 1, 1};
};

// Three colours along v (linear: color3 at v = 0, color2 at v = middle, color1 at v = 1) or
// outward from the centre (radial: color1 at the centre, color3 at distance 0.5 and beyond).
class HostGradientMap final : public HostTexmapBase<Texmap> {
public:
    HostGradientMap() { classId = kGradientClassId; }
    AColor EvalColor(ShadeContext& sc) override;

    enum class Type { Linear, Radial };
    Type type = Type::Linear;
    AColor color1{0, 0, 0, 1};
    AColor color2{0.5f, 0.5f, 0.5f, 1};
    AColor color3{1, 1, 1, 1};
    float middle = 0.5f;  // position of color2, 0 to 1
};

// Gradient noise of the shading point, blended from color1 (low) to color2 (high).
class HostNoiseMap final : public HostTexmapBase<Texmap> {
public:
    HostNoiseMap() { classId = kNoiseClassId; }
    AColor EvalColor(ShadeContext& sc) override;
    // The noise value in [0, 1] at p (scene units).
    float Value(const Point3& p) const;

    enum class Type { Regular, Fractal, Turbulence };
    Type type = Type::Regular;
    float size = 25;    // feature size in scene units, > 0
    int levels = 3;     // octaves of fractal and turbulence noise, 1 to 10
    float phase = 0;    // moves the pattern through the fourth dimension (here: along z)
    AColor color1{0, 0, 0, 1};
    AColor color2{1, 1, 1, 1};
};

// Improved gradient noise in [-1, 1] at p, with a fixed permutation so that every platform
// bakes the same image.
float GradientNoise(const Point3& p);
