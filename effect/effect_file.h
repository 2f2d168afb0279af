// Generated HLSL effect files for effect materials that bring no effect file of their own.
//
// The material output step fills one XEffectFile per material (colours, vertex channel
// flags), adds the material's textures with the texture coordinate set that carries each one
// in the written mesh, and stages GenerateText as the effect file. The text is a starting point for the user: material
// colours, one texture and sampler per texture, vertex input and output structures matching
// the exported vertex channels, a vertex shader with simple directional lighting, a pixel
// shader (diffuse texture, optional normal map, emissive colour, vertex colours) and one
// shader model 3.0 technique.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "sdk/math.h"

struct ExportOptions;

struct XEffectTexture {
    std::string name;           // texture variable name; the sampler is name + "Sampler"
    int32_t usage = 0;          // 0 ordinary, 1 main diffuse texture, 2 normal map
    int32_t texCoordIndex = 0;  // texture coordinate set in the written mesh, 0-based
    int32_t addressU = 0;       // 0 clamp, 1 wrap, 2 mirror
    int32_t addressV = 0;       // same
};

class XEffectFile {
public:
    XEffectFile() { Reset(); }

    // Puts every field back to its starting value, except texCoordSets, which only a new
    // record starts empty.
    void Reset();
    // Appends a texture and notes its coordinate set; an empty name adds nothing.
    void AddTexture(int32_t usage, int32_t texCoordIndex, int32_t addressU, int32_t addressV,
                    const std::string& name);

    // The effect text for these fields. RightHand chooses the light direction and the
    // normal map's green channel; NormalMapCode whether a normal map is sampled at all.
    std::string GenerateText(const ExportOptions& options) const;

    AColor diffuse;           // red, green, blue, alpha
    float power = 0;          // specular power
    Color specular;           // specular colour
    Color emissive;           // emissive colour
    int32_t normal = 0;       // the mesh carries normals
    int32_t tangent = 0;      // ... tangents
    int32_t bitangent = 0;    // ... bitangents
    int32_t vertexColor = 0;  // ... vertex colours
    int32_t diffuseMapColor = 0;  // the diffuse colour tints the diffuse texture
    std::vector<XEffectTexture> textures;  // in the order added
    std::set<int32_t> texCoordSets;        // coordinate sets of the textures, ascending

    // The company named in the effect's global annotation block.
    static constexpr const char* kCompanyText = "Plover";
};
