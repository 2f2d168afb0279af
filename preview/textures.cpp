#include "preview/textures.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // third-party code
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "xformat/xreader.h"

namespace fs = std::filesystem;

namespace preview {
namespace {

constexpr uint64_t kMaxTextureFileBytes = uint64_t(256) << 20;
constexpr int kMaxTextureSide = 8192;

// True when `path` (made absolute and free of links) lies in `root`'s tree.
bool Inside(const fs::path& path, const fs::path& root) {
    auto r = root.begin();
    auto p = path.begin();
    for (; r != root.end(); ++r, ++p) {
        if (r->empty()) continue;  // a trailing separator
        if (p == path.end() || *p != *r) return false;
    }
    return true;
}

// Why a texture cannot be drawn, or empty with `image` filled.
std::string Decode(const fs::path& path, Image* image) {
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec) return "cannot be read (" + ec.message() + ")";
    if (size > kMaxTextureFileBytes) return "is larger than 256 MB";
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes(size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return "cannot be read";
    int w = 0, h = 0, channels = 0;
    if (size > uint64_t(INT32_MAX) || !stbi_info_from_memory(bytes.data(), static_cast<int>(size), &w, &h, &channels))
        return "is not an image this preview reads (PNG, JPEG, BMP, TGA, GIF, PSD, HDR, PNM)";
    if (w <= 0 || h <= 0 || w > kMaxTextureSide || h > kMaxTextureSide)
        return "is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, more than 8192 a side";
    unsigned char* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(size), &w, &h, &channels, 4);
    if (!pixels) return std::string("cannot be decoded (") + stbi_failure_reason() + ")";
    image->width = w;
    image->height = h;
    image->rgba.assign(pixels, pixels + size_t(w) * h * 4);
    stbi_image_free(pixels);
    for (size_t i = 3; i < image->rgba.size() && !image->translucent; i += 4) image->translucent = image->rgba[i] < 255;
    return {};
}

}  // namespace

TextureSet LoadTextures(const DrawModel& model, const std::string& folder, bool allowOutside,
                        std::vector<std::string>* warnings) {
    TextureSet set;
    set.perMaterial.assign(model.materials.size(), nullptr);
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder)), ec);
    std::map<std::string, const Image*> byName;  // as written
    std::map<fs::path, const Image*> byPath;
    const Image* flat = nullptr;
    for (size_t m = 0; m < model.materials.size(); ++m) {
        const std::string& name = model.materials[m].texture;
        if (name.empty()) continue;
        if (auto it = byName.find(name); it != byName.end()) {
            set.perMaterial[m] = it->second;
            continue;
        }
        std::string written = name;
        for (char& c : written)
            if (c == '\\') c = '/';
        const fs::path asWritten(written);
        std::vector<fs::path> candidates;
        candidates.push_back(asWritten.is_absolute() ? asWritten : root / asWritten);
        if (asWritten.has_filename() && asWritten.filename() != asWritten) candidates.push_back(root / asWritten.filename());
        std::string problem = "not found in " + root.string();
        const Image* image = nullptr;
        for (const fs::path& candidate : candidates) {
            const fs::path real = fs::weakly_canonical(candidate, ec);
            if (ec) continue;
            if (!allowOutside && !Inside(real, root)) {
                problem = "outside the X file's folder (--allow-outside-files reads it)";
                continue;
            }
            if (!fs::is_regular_file(real, ec)) continue;
            if (auto it = byPath.find(real); it != byPath.end()) {
                image = it->second;
                break;
            }
            auto decoded = std::make_unique<Image>();
            problem = Decode(real, decoded.get());
            if (!problem.empty()) break;
            image = decoded.get();
            byPath.emplace(real, image);
            set.images.push_back(std::move(decoded));
            break;
        }
        if (!image) {
            if (!flat) {
                auto magenta = std::make_unique<Image>();
                magenta->width = magenta->height = 1;
                magenta->rgba = {255, 0, 255, 255};
                flat = magenta.get();
                set.images.push_back(std::move(magenta));
            }
            image = flat;
            warnings->push_back("texture " + xfile::PrintableText(name) + ": " + problem + "; drawn in flat magenta");
        }
        byName.emplace(name, image);
        set.perMaterial[m] = image;
    }
    return set;
}

}  // namespace preview
