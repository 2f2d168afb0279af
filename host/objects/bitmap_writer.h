// The stand-in host's bitmap manager: bitmaps of float colours written as 32-bit BMP files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/bitmap.h"

// Bitmaps larger than this in either direction, or with more pixels in all, are not made.
inline constexpr int kMaxBitmapSide = 16384;
inline constexpr int64_t kMaxBitmapPixels = int64_t(1) << 26;

class HostBitmap final : public Bitmap {
public:
    HostBitmap(int width, int height);
    int Width() override { return width_; }
    int Height() override { return height_; }
    bool PutPixels(int x, int y, int count, const BMM_Color_fl* pixels) override;
    bool OpenOutput(const BitmapInfo& info) override;
    // Encodes the pixels as a 32-bit BMP (alpha kept) and puts the file in place through a
    // temporary file and a rename. False when the output was not opened or the file cannot be
    // written; an existing file is then left as it was.
    bool Write(const BitmapInfo& info) override;
    void Close(const BitmapInfo& info) override;

    // 8-bit red, green, blue, alpha of every pixel, rows from the top.
    const std::vector<uint8_t>& rgba() const { return rgba_; }

private:
    int width_;
    int height_;
    std::vector<uint8_t> rgba_;
    std::string outputPath_;  // set by OpenOutput
};

class HostBitmapManager final : public BitmapManager {
public:
    // Null for a size below one pixel or beyond the limits above.
    std::unique_ptr<Bitmap> Create(const BitmapInfo& info) override;
};

// The BMP file bytes of a width x height RGBA image (rows from the top).
std::vector<uint8_t> EncodeBmp32(int width, int height, const std::vector<uint8_t>& rgba);
