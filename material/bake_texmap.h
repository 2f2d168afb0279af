// Rendering a procedural texture map into a bitmap file.
#pragma once

#include <string>

#include "sdk/material.h"

class BitmapManager;

// What a shading call fills in: the colour and transparency of the sample.
struct ShadeOutput {
    Color color;
    Color transparency;
    float alpha = 1;
    void Reset() { *this = ShadeOutput{}; }
};

// The shading context of one bake sample: a flat square facing the viewer, texture coordinate
// (u, v, 0) on every channel, point (u, v, 0) scaled to 100 units. Derivatives and other
// geometric queries are zero.
class ShaderContextTex : public ShadeContext {
public:
    ShaderContextTex(int width, int height);
    // Moves the context to pixel (column, row), row 0 at the top, and resets the output.
    void SetPixel(int column, int row);

    Point3 UVW(int channel) override;
    Point3 DUVW(int channel) override;
    Point3 P() override { return point_; }
    Point3 Normal() override { return {0, 0, 1}; }
    TimeValue CurTime() override { return 0; }

    Point2 ScreenUV() const { return {uvw_.x, uvw_.y}; }
    Point2 ScreenStep() const { return step_; }  // one pixel in screen coordinates
    Point3 V() const { return {0, 0, -1}; }      // view direction

    ShadeOutput out;

private:
    int width_;
    int height_;
    Point2 step_;
    Point3 uvw_;
    Point3 point_;
};

// Renders texmap into a width x height 32-bit bitmap through the host's bitmap manager and
// writes it to outputPath. Nothing happens for a null map or manager, an empty path or a size
// below one pixel; a bitmap that cannot be made or written is dropped without a report.
// Returns true when the file was written.
bool BakeTexmap(BitmapManager* manager, Texmap* texmap, int width, int height, const std::string& outputPath);
