// Text drawn into a picture with a tiny built-in bitmap font: digits, '.', '-', ':', 's',
// 'X', 'Y', 'Z' and '*' (a degree sign). Other characters leave a gap.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace preview {

// Pixels a label spans across; glyphs are 5 x 7 pixels (times scale) with one pixel between.
int LabelWidth(std::string_view text, int scale);

// Draws `text` with its top left corner at (x, y) of an RGBA picture (rows top to bottom),
// clipped to the picture, over a box of `backing` colour when given.
void DrawLabel(uint8_t* rgba, int width, int height, int x, int y, std::string_view text, int scale,
               const std::array<uint8_t, 4>& color, const std::array<uint8_t, 4>* backing = nullptr);

}  // namespace preview
