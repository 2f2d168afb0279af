#include "host/objects/procedural_maps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

AColor Lerp(const AColor& a, const AColor& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// A permutation of 0..255 made by a fixed linear congruential shuffle.
std::array<uint8_t, 512> MakePermutation() {
    std::array<uint8_t, 256> p{};
    for (int i = 0; i < 256; ++i) p[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    uint32_t state = 0x2545F491u;
    for (int i = 255; i > 0; --i) {
        state = state * 1664525u + 1013904223u;
        const int j = static_cast<int>((state >> 8) % static_cast<uint32_t>(i + 1));
        std::swap(p[static_cast<size_t>(i)], p[static_cast<size_t>(j)]);
    }
    std::array<uint8_t, 512> doubled{};
    for (size_t i = 0; i < 512; ++i) doubled[i] = p[i & 255];
    return doubled;
}

const std::array<uint8_t, 512>& Permutation() {
    static const std::array<uint8_t, 512> permutation = MakePermutation();
    return permutation;
}

float Fade(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }

float Grad(int hash, float x, float y, float z) {
    const int h = hash & 15;
    const float u = h < 8 ? x : y;
    const float v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
    return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
}

float Mix(float a, float b, float t) { return a + (b - a) * t; }

// floor(f) modulo 256, for any finite f (a plain cast of a huge float would be undefined).
int Wrap256(float f) {
    float m = std::fmod(f, 256.0f);
    if (m < 0) m += 256;
    return static_cast<int>(m) & 255;
}

// 1 when floor(f) is odd, else 0; non-finite values count as even.
int FloorParity(float f) {
    if (!std::isfinite(f)) return 0;
    return std::fabs(std::fmod(std::floor(f), 2.0f)) == 1.0f ? 1 : 0;
}

}  // namespace

float GradientNoise(const Point3& p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return 0;
    const auto& perm = Permutation();
    const float fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
    const int X = Wrap256(fx), Y = Wrap256(fy), Z = Wrap256(fz);
    const float x = p.x - fx, y = p.y - fy, z = p.z - fz;
    const float u = Fade(x), v = Fade(y), w = Fade(z);
    const auto P = [&](int i) { return static_cast<int>(perm[static_cast<size_t>(i)]); };
    const int A = P(X) + Y, AA = P(A) + Z, AB = P(A + 1) + Z;
    const int B = P(X + 1) + Y, BA = P(B) + Z, BB = P(B + 1) + Z;
    const float result =
        Mix(Mix(Mix(Grad(P(AA), x, y, z), Grad(P(BA), x - 1, y, z), u),
                Mix(Grad(P(AB), x, y - 1, z), Grad(P(BB), x - 1, y - 1, z), u), v),
            Mix(Mix(Grad(P(AA + 1), x, y, z - 1), Grad(P(BA + 1), x - 1, y, z - 1), u),
                Mix(Grad(P(AB + 1), x, y - 1, z - 1), Grad(P(BB + 1), x - 1, y - 1, z - 1), u), v),
            w);
    return std::clamp(result, -1.0f, 1.0f);
}

AColor HostCheckerMap::EvalColor(ShadeContext& sc) {
    const Point3 uvw = sc.UVW(mapChannel);
    return (FloorParity(uvw.x * 2) + FloorParity(uvw.y * 2)) % 2 == 0 ? color1 : color2;
}

AColor HostGradientMap::EvalColor(ShadeContext& sc) {
    const Point3 uvw = sc.UVW(mapChannel);
    float t;  // 0 at color3, 1 at color1
    if (type == Type::Radial) {
        const float du = uvw.x - 0.5f, dv = uvw.y - 0.5f;
        t = 1 - std::min(1.0f, std::sqrt(du * du + dv * dv) * 2);
    } else {
        t = std::clamp(uvw.y, 0.0f, 1.0f);
    }
    const float m = std::clamp(middle, 0.0f, 1.0f);
    if (t <= m) return m > 0 ? Lerp(color3, color2, t / m) : color2;
    return m < 1 ? Lerp(color2, color1, (t - m) / (1 - m)) : color2;
}

float HostNoiseMap::Value(const Point3& p) const {
    const float scale = size > 0 ? 1 / size : 1;
    const Point3 q(p.x * scale, p.y * scale, p.z * scale + phase);
    switch (type) {
    case Type::Regular:
        return (GradientNoise(q) + 1) * 0.5f;
    case Type::Fractal:
    case Type::Turbulence: {
        const int octaves = std::clamp(levels, 1, 10);
        float sum = 0, amplitude = 1, total = 0, frequency = 1;
        for (int i = 0; i < octaves; ++i) {
            const float n = GradientNoise(q * frequency);
            sum += (type == Type::Turbulence ? std::fabs(n) : n) * amplitude;
            total += amplitude;
            amplitude *= 0.5f;
            frequency *= 2;
        }
        const float n = sum / total;
        return type == Type::Turbulence ? std::clamp(n, 0.0f, 1.0f) : (std::clamp(n, -1.0f, 1.0f) + 1) * 0.5f;
    }
    }
    return 0;
}

AColor HostNoiseMap::EvalColor(ShadeContext& sc) { return Lerp(color1, color2, Value(sc.P())); }
