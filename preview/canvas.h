// The offscreen picture: Mesa's software OpenGL drawing into memory, set up as the
// fixed-function Direct3D 9 pipeline draws: left-handed view space, clockwise front faces,
// back faces culled, Gouraud lighting with material diffuse (or vertex colour), specular added
// after the texture, emissive, and textures modulated by the lit colour.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "preview/draw_model.h"

namespace preview {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // rows top to bottom
    bool translucent = false;   // some texel has alpha below 255
};

// A camera in the file's left-handed space.
struct Camera {
    Mat4 view = kIdentity;  // world to view: x right, y up, z away from the viewer
    float fovY = 0.7f;      // radians
    float aspect = 1;
    float nearZ = 0.1f;
    float farZ = 100;
};

// One mesh to draw: positions and normals 3 floats per draw vertex, placed by `world`.
struct DrawItem {
    const DrawMesh* mesh = nullptr;
    const float* positions = nullptr;
    const float* normals = nullptr;
    Mat4 world = kIdentity;
};

// Coloured line segments in world space: 6 floats per segment, one colour for all.
struct LineSet {
    std::vector<float> points;
    std::array<float, 4> color{1, 1, 1, 1};
    bool onTop = false;  // drawn over everything (no depth test)
};

class Canvas {
public:
    // A picture of width x height pixels. Null, with error, when Mesa cannot make one.
    static std::unique_ptr<Canvas> Create(int width, int height, std::string* error);
    virtual ~Canvas() = default;

    // One texture per material (null: none); kept for every later Draw.
    virtual void SetTextures(const std::vector<const Image*>& perMaterial) = 0;
    virtual void Clear(const std::array<uint8_t, 4>& rgba) = 0;
    // Draws into the cell at (x, y) of the picture (y from the top).
    virtual void Draw(int x, int y, int width, int height, const Camera& camera, const std::vector<DrawItem>& items,
                      const std::vector<DrawMaterial>& materials, bool wireframe, const std::vector<LineSet>& lines) = 0;
    // Finishes drawing and gives the picture, rows top to bottom, 4 bytes a pixel.
    virtual const uint8_t* Pixels() = 0;

    // A canvas draws on the thread that made it or last attached it: Detach on that thread
    // lets another Attach it (false: Mesa could not).
    virtual void Detach() = 0;
    virtual bool Attach() = 0;
};

}  // namespace preview
