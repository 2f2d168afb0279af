#include "host/objects/bitmap_writer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "core/atomic_write.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // third-party code
#pragma GCC diagnostic ignored "-Wshadow"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

uint8_t ToByte(float value) {
    if (!(value > 0)) return 0;  // also NaN
    if (value >= 1) return 255;
    return static_cast<uint8_t>(std::lround(value * 255.0f));
}

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

HostBitmap::HostBitmap(int width, int height)
    : width_(width), height_(height), rgba_(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0) {}

bool HostBitmap::PutPixels(int x, int y, int count, const BMM_Color_fl* pixels) {
    if (pixels == nullptr || count < 0 || x < 0 || y < 0 || y >= height_ || x > width_ - count) return false;
    uint8_t* out = rgba_.data() + (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4;
    for (int i = 0; i < count; ++i) {
        out[0] = ToByte(pixels[i].r);
        out[1] = ToByte(pixels[i].g);
        out[2] = ToByte(pixels[i].b);
        out[3] = ToByte(pixels[i].a);
        out += 4;
    }
    return true;
}

bool HostBitmap::OpenOutput(const BitmapInfo& info) {
    outputPath_ = info.name;
    return !outputPath_.empty();
}

bool HostBitmap::Write(const BitmapInfo& /*info*/) {
    if (outputPath_.empty()) return false;
    const std::vector<uint8_t> bytes = EncodeBmp32(width_, height_, rgba_);
    if (bytes.empty()) return false;

    // Written into an existing folder only, as the host's bitmap writer does.
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(outputPath_).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) return false;
    return WriteFileAtomically(outputPath_,
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void HostBitmap::Close(const BitmapInfo& /*info*/) { outputPath_.clear(); }

std::unique_ptr<Bitmap> HostBitmapManager::Create(const BitmapInfo& info) {
    if (info.width < 1 || info.height < 1 || info.width > kMaxBitmapSide || info.height > kMaxBitmapSide ||
        int64_t(info.width) * int64_t(info.height) > kMaxBitmapPixels)
        return nullptr;
    return std::make_unique<HostBitmap>(info.width, info.height);
}

std::vector<uint8_t> EncodeBmp32(int width, int height, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> bytes;
    if (width < 1 || height < 1 || rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4)
        return bytes;
    if (stbi_write_bmp_to_func(AppendBytes, &bytes, width, height, 4, rgba.data()) == 0) bytes.clear();
    return bytes;
}
