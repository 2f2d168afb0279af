#include "preview/label.h"

#include <algorithm>
#include <cstring>

namespace preview {
namespace {

// A 5 x 7 pixel font of the characters labels use: each glyph is 7 rows, the high 5 bits of
// each row's byte from left to right.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x70, 0x88, 0x98, 0xA8, 0xC8, 0x88, 0x70}}, {'1', {0x20, 0x60, 0x20, 0x20, 0x20, 0x20, 0x70}},
    {'2', {0x70, 0x88, 0x08, 0x10, 0x20, 0x40, 0xF8}}, {'3', {0xF8, 0x10, 0x20, 0x10, 0x08, 0x88, 0x70}},
    {'4', {0x10, 0x30, 0x50, 0x90, 0xF8, 0x10, 0x10}}, {'5', {0xF8, 0x80, 0xF0, 0x08, 0x08, 0x88, 0x70}},
    {'6', {0x30, 0x40, 0x80, 0xF0, 0x88, 0x88, 0x70}}, {'7', {0xF8, 0x08, 0x10, 0x20, 0x40, 0x40, 0x40}},
    {'8', {0x70, 0x88, 0x88, 0x70, 0x88, 0x88, 0x70}}, {'9', {0x70, 0x88, 0x88, 0x78, 0x08, 0x10, 0x60}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x60}}, {'-', {0x00, 0x00, 0x00, 0xF8, 0x00, 0x00, 0x00}},
    {':', {0x00, 0x60, 0x60, 0x00, 0x60, 0x60, 0x00}}, {'s', {0x00, 0x00, 0x70, 0x80, 0x70, 0x08, 0xF0}},
    {'X', {0x88, 0x88, 0x50, 0x20, 0x50, 0x88, 0x88}}, {'Y', {0x88, 0x88, 0x50, 0x20, 0x20, 0x20, 0x20}},
    {'Z', {0xF8, 0x08, 0x10, 0x20, 0x40, 0x80, 0xF8}}, {'*', {0x60, 0x90, 0x90, 0x60, 0x00, 0x00, 0x00}},  // degree sign
};

const Glyph* Find(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

void Fill(uint8_t* rgba, int width, int height, int x0, int y0, int w, int h, const std::array<uint8_t, 4>& color) {
    const int x1 = std::min(width, x0 + w), y1 = std::min(height, y0 + h);
    for (int y = std::max(0, y0); y < y1; ++y)
        for (int x = std::max(0, x0); x < x1; ++x) std::memcpy(rgba + (size_t(y) * width + x) * 4, color.data(), 4);
}

}  // namespace

int LabelWidth(std::string_view text, int scale) { return static_cast<int>(text.size()) * 6 * scale - scale; }

void DrawLabel(uint8_t* rgba, int width, int height, int x, int y, std::string_view text, int scale,
               const std::array<uint8_t, 4>& color, const std::array<uint8_t, 4>* backing) {
    if (backing) Fill(rgba, width, height, x - 2 * scale, y - 2 * scale, LabelWidth(text, scale) + 4 * scale, 11 * scale, *backing);
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = Find(text[i]);
        if (!g) continue;
        const int gx = x + static_cast<int>(i) * 6 * scale;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g->rows[row] & (0x80 >> col)) Fill(rgba, width, height, gx + col * scale, y + row * scale, scale, scale, color);
    }
}

}  // namespace preview
