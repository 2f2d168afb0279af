#include "material/bake_texmap.h"

#include <vector>

#include "sdk/bitmap.h"

ShaderContextTex::ShaderContextTex(int width, int height)
    : width_(width),
      height_(height),
      step_(1.0f / static_cast<float>(width), 1.0f / static_cast<float>(height)) {}

void ShaderContextTex::SetPixel(int column, int row) {
    // Written in this form, in single precision, so that every platform samples the same
    // positions: u = column / W, v = (H - row) / H.
    const float w = static_cast<float>(width_);
    const float h = static_cast<float>(height_);
    const float c = static_cast<float>(column);
    const float flippedRow = static_cast<float>(height_ - row);
    const float u = ((c - w / 2) / (w / 2) + 1) * 0.5f;
    const float v = ((flippedRow - h / 2) / (h / 2) + 1) * 0.5f;
    uvw_ = Point3(u, v, 0);
    point_ = Point3(c * 100 / w, flippedRow * 100 / h, 0);
    out.Reset();
}

Point3 ShaderContextTex::UVW(int /*channel*/) { return uvw_; }

Point3 ShaderContextTex::DUVW(int /*channel*/) { return {}; }

bool BakeTexmap(BitmapManager* manager, Texmap* texmap, int width, int height, const std::string& outputPath) {
    if (manager == nullptr || texmap == nullptr || outputPath.empty() || width < 1 || height < 1)
        return false;
    BitmapInfo info;
    info.name = outputPath;
    info.width = width;
    info.height = height;
    std::unique_ptr<Bitmap> bitmap = manager->Create(info);
    if (!bitmap) return false;

    ShaderContextTex context(width, height);
    std::vector<BMM_Color_fl> row(static_cast<size_t>(width));
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            context.SetPixel(c, r);
            const AColor colour = texmap->EvalColor(context);
            row[static_cast<size_t>(c)] = BMM_Color_fl{colour.r, colour.g, colour.b, colour.a};
        }
        bitmap->PutPixels(0, r, width, row.data());
    }
    bool written = bitmap->OpenOutput(info);
    written = written && bitmap->Write(info);
    bitmap->Close(info);
    return written;
}
