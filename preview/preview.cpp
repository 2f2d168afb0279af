#include "preview/preview.h"

#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <system_error>

#include "preview/label.h"
#include "preview/textures.h"

// PNG's zlib stream from libdeflate: several times faster than stb's own deflate, and the
// same bytes for the same picture.
static unsigned char* PloverPngDeflate(unsigned char* data, int length, int* outLength, int quality);
#define STBIW_ZLIB_COMPRESS PloverPngDeflate
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // third-party code
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

static unsigned char* PloverPngDeflate(unsigned char* data, int length, int* outLength, int /*quality*/) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    if (!compressor) return nullptr;
    const size_t bound = libdeflate_zlib_compress_bound(compressor, static_cast<size_t>(length));
    auto* out = static_cast<unsigned char*>(std::malloc(bound));  // stb frees it with STBIW_FREE (free)
    const size_t size = out ? libdeflate_zlib_compress(compressor, data, static_cast<size_t>(length), out, bound) : 0;
    libdeflate_free_compressor(compressor);
    if (size == 0) {
        std::free(out);
        return nullptr;
    }
    *outLength = static_cast<int>(size);
    return out;
}

namespace preview {
namespace {

constexpr float kFovY = 0.6981317f;  // 40 degrees
constexpr float kFill = 0.9f;        // share of the view the bounds may fill

struct Vec3 {
    float x, y, z;
};
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 Normalize(Vec3 a) {
    const float len = std::sqrt(Dot(a, a));
    return len > 0 ? Vec3{a.x / len, a.y / len, a.z / len} : a;
}

// The view axes for a yaw and pitch: x right, y up, z away from the viewer (toward the target).
void Axes(float yawDegrees, float pitchDegrees, Vec3* x, Vec3* y, Vec3* z) {
    const float yaw = yawDegrees * 0.017453292f, pitch = pitchDegrees * 0.017453292f;
    const Vec3 toEye{std::sin(yaw) * std::cos(pitch), std::sin(pitch), -std::cos(yaw) * std::cos(pitch)};
    *z = Normalize(Vec3{-toEye.x, -toEye.y, -toEye.z});
    const Vec3 up = std::fabs(pitchDegrees) > 89.0f ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
    *x = Normalize(Cross(up, *z));
    *y = Cross(*z, *x);
}

Vec3 Centre(const Bounds& b) { return {(b.min[0] + b.max[0]) / 2, (b.min[1] + b.max[1]) / 2, (b.min[2] + b.max[2]) / 2}; }
float Radius(const Bounds& b) {
    const Vec3 half{(b.max[0] - b.min[0]) / 2, (b.max[1] - b.min[1]) / 2, (b.max[2] - b.min[2]) / 2};
    const float r = std::sqrt(Dot(half, half));
    return r > 1e-6f ? r : 1.0f;
}

// The distance from `centre` at which every point lies within kFill of the view. The points
// are visited by `each(fn)`, fn taking a pointer to 3 floats.
template <typename EachPoint>
float FitDistance(Vec3 centre, float radius, float yawDegrees, float pitchDegrees, float aspect, EachPoint each) {
    Vec3 x, y, z;
    Axes(yawDegrees, pitchDegrees, &x, &y, &z);
    const float ty = std::tan(kFovY / 2) * kFill, tx = ty * aspect;
    float d = radius * 1.05f;
    each([&](const float* p) {
        const Vec3 r{p[0] - centre.x, p[1] - centre.y, p[2] - centre.z};
        const float rz = Dot(r, z);
        d = std::max(d, std::max(std::fabs(Dot(r, x)) / tx, std::fabs(Dot(r, y)) / ty) - rz);
    });
    return d;
}

float FitDistance(const Bounds& b, float yawDegrees, float pitchDegrees, float aspect) {
    return FitDistance(Centre(b), Radius(b), yawDegrees, pitchDegrees, aspect, [&b](auto fn) {
        for (int corner = 0; corner < 8; ++corner) {
            const float p[3] = {corner & 1 ? b.max[0] : b.min[0], corner & 2 ? b.max[1] : b.min[1],
                                corner & 4 ? b.max[2] : b.min[2]};
            fn(p);
        }
    });
}

Camera LookCamera(const Bounds& b, float yawDegrees, float pitchDegrees, float aspect, float distance) {
    Vec3 x, y, z;
    Axes(yawDegrees, pitchDegrees, &x, &y, &z);
    const Vec3 c = Centre(b);
    const Vec3 eye{c.x - z.x * distance, c.y - z.y * distance, c.z - z.z * distance};
    Camera camera;
    camera.view = Mat4{x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1};
    camera.fovY = kFovY;
    camera.aspect = aspect;
    const float radius = Radius(b);
    camera.nearZ = std::max((distance - radius) * 0.5f, distance * 0.01f);
    camera.farZ = distance + radius * 4;
    return camera;
}

// 1, 2 or 5 times a power of ten, near `value`.
float NiceStep(float value) {
    const float power = std::pow(10.0f, std::floor(std::log10(value)));
    const float f = value / power;
    return (f < 1.5f ? 1 : f < 3.5f ? 2 : f < 7.5f ? 5 : 10) * power;
}

LineSet GridLines(const Bounds& b) {
    LineSet grid;
    grid.color = {0.55f, 0.57f, 0.6f, 1};
    const Vec3 c = Centre(b);
    const float step = NiceStep(Radius(b) / 4);
    const int half = 6;
    const float x0 = std::round(c.x / step) * step, z0 = std::round(c.z / step) * step, y = b.min[1];
    for (int i = -half; i <= half; ++i) {
        const float along = i * step;
        grid.points.insert(grid.points.end(), {x0 + along, y, z0 - half * step, x0 + along, y, z0 + half * step});
        grid.points.insert(grid.points.end(), {x0 - half * step, y, z0 + along, x0 + half * step, y, z0 + along});
    }
    return grid;
}

LineSet BoneLines(const DrawModel& model, const std::vector<Mat4>& worlds) {
    LineSet bones;
    bones.color = {1.0f, 0.85f, 0.2f, 1};
    bones.onTop = true;
    for (size_t f = 0; f < model.frames.size(); ++f) {
        const uint32_t parent = model.frames[f].parent;
        if (parent == kNoFrame) continue;
        const Mat4& a = worlds[parent];
        const Mat4& b = worlds[f];
        bones.points.insert(bones.points.end(), {a[12], a[13], a[14], b[12], b[13], b[14]});
    }
    return bones;
}

// One view of the picture.
struct Cell {
    int x = 0, y = 0, width = 0, height = 0;
    PoseChoice pose;
    float yaw = 0, pitch = 0;
    std::string label;
};

// The posed meshes of one cell, and their bounds.
struct Posed {
    std::vector<Mat4> worlds;
    std::vector<std::vector<float>> positions, normals;  // per mesh; empty for a rigid mesh
    std::vector<DrawItem> items;
    Bounds bounds;
};

// Calls fn with each drawn vertex's world position.
template <typename Fn>
void EachPoint(const Posed& posed, Fn fn) {
    for (const DrawItem& item : posed.items) {
        const size_t count = item.mesh->positions.size();
        if (item.positions != item.mesh->positions.data()) {  // skinned: already in world space
            for (size_t v = 0; v < count; v += 3) fn(item.positions + v);
            continue;
        }
        const Mat4& w = item.world;
        for (size_t v = 0; v < count; v += 3) {
            const float* p = item.positions + v;
            const float q[3] = {p[0] * w[0] + p[1] * w[4] + p[2] * w[8] + w[12], p[0] * w[1] + p[1] * w[5] + p[2] * w[9] + w[13],
                                p[0] * w[2] + p[1] * w[6] + p[2] * w[10] + w[14]};
            fn(q);
        }
    }
}

void PoseCell(const DrawModel& model, const PoseChoice& pose, Posed* out) {
    out->worlds = FrameWorlds(model, pose);
    out->positions.assign(model.meshes.size(), {});
    out->normals.assign(model.meshes.size(), {});
    out->items.clear();
    out->bounds = Bounds{};
    for (size_t m = 0; m < model.meshes.size(); ++m) {
        const DrawMesh& mesh = model.meshes[m];
        if (mesh.indices.empty()) continue;
        DrawItem item;
        item.mesh = &mesh;
        if (!mesh.bones.empty()) {
            SkinMesh(mesh, out->worlds, &out->positions[m], &out->normals[m]);
            item.positions = out->positions[m].data();
            item.normals = out->normals[m].data();
        } else {
            item.world = MeshWorld(mesh, out->worlds);
            item.positions = mesh.positions.data();
            item.normals = mesh.normals.data();
        }
        out->items.push_back(item);
    }
    EachPoint(*out, [out](const float* p) { out->bounds.Add(p); });
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

// The clip to pose, by name or the first; -1 with error when there is none to pose.
int ChooseClip(const DrawModel& model, const std::string& name, std::string* error) {
    if (model.clips.empty()) {
        *error = "it holds no animation set to pose";
        return -1;
    }
    if (name.empty()) return 0;
    for (size_t c = 0; c < model.clips.size(); ++c)
        if (model.clips[c].name == name) return static_cast<int>(c);
    std::string names;
    for (const DrawClip& clip : model.clips)
        names += (names.empty() ? "" : ", ") + (clip.name.empty() ? std::string("(unnamed)") : xfile::PrintableText(clip.name));
    *error = "it holds no animation set named " + xfile::PrintableText(name) + " (it holds " + names + ")";
    return -1;
}

double ClipSeconds(const DrawModel& model, int clip) {
    const DrawClip& c = model.clips[clip];
    return static_cast<double>(c.lastTick - c.firstTick) / model.ticksPerSecond;
}

// The picture's views, as columns and rows, and its size in pixels; false, with error, when
// the size cannot hold them.
bool Layout(const PreviewOptions& options, int* columns, int* rows, int* width, int* height, std::string* error) {
    *columns = *rows = 1;
    if (options.sheetColumns > 0) {
        *columns = options.sheetColumns;
        *rows = options.sheetRows;
    } else if (options.turntable > 0) {
        *columns = static_cast<int>(std::ceil(std::sqrt(double(options.turntable))));
        *rows = (options.turntable + *columns - 1) / *columns;
    }
    const bool many = *columns * *rows > 1 || options.turntable > 0;
    *width = options.width > 0 ? options.width : many ? 256 * *columns : 640;
    *height = options.height > 0 ? options.height : many ? 256 * *rows : 480;
    if (*width > kMaxPictureSide || *height > kMaxPictureSide || *width < *columns * 16 || *height < *rows * 16) {
        *error = "a picture of " + std::to_string(*width) + " x " + std::to_string(*height) + " pixels cannot hold " +
                 std::to_string(*columns * *rows) + (*columns * *rows == 1 ? " view" : " views") +
                 " (at most 8192 a side, at least 16 a view)";
        return false;
    }
    return true;
}

// Mesa's drawing context takes a tenth of a second to make whatever the model: a picture of a
// file makes it on a second thread while the file is read and its draw model built. (Drawing a
// small triangle there as well, to have Mesa compile its shaders early, cost more than it
// saved: the shaders depend on the materials and textures drawn, unknown until the file is read.)
struct EarlyCanvas {
    std::unique_ptr<Canvas> canvas;
    std::string error;
};

PreviewStatus Draw(const DrawModel& model, const std::string& folder, const PreviewOptions& options,
                   std::future<EarlyCanvas>* early, std::vector<uint8_t>* png, std::vector<std::string>* warnings,
                   std::string* error);

}  // namespace

bool ViewAngles(const std::string& view, float* yaw, float* pitch) {
    struct Named {
        const char* name;
        float yaw, pitch;
    };
    static constexpr Named kViews[] = {{"", 30, 20},      {"front", 0, 0},   {"back", 180, 0}, {"left", -90, 0},
                                       {"right", 90, 0},  {"top", 0, 90},    {"bottom", 0, -90}};
    for (const Named& v : kViews) {
        if (view == v.name) {
            *yaw = v.yaw;
            *pitch = v.pitch;
            return true;
        }
    }
    return false;
}

Camera FrameBounds(const Bounds& bounds, float yaw, float pitch, float aspect) {
    return LookCamera(bounds, yaw, pitch, aspect, FitDistance(bounds, yaw, pitch, aspect));
}

std::vector<uint8_t> EncodePng(const uint8_t* rgba, int width, int height) {
    std::vector<uint8_t> png;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            auto* out = static_cast<std::vector<uint8_t>*>(context);
            out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        },
        &png, width, height, 4, rgba, width * 4);
    return png;
}

PreviewStatus PreviewModel(const DrawModel& model, const std::string& folder, const PreviewOptions& options,
                           std::vector<uint8_t>* png, std::vector<std::string>* warnings, std::string* error) {
    return Draw(model, folder, options, nullptr, png, warnings, error);
}

namespace {

PreviewStatus Draw(const DrawModel& model, const std::string& folder, const PreviewOptions& options,
                   std::future<EarlyCanvas>* early, std::vector<uint8_t>* png, std::vector<std::string>* warnings,
                   std::string* error) {
    constexpr PreviewStatus kNotDrawn = PreviewStatus::NotDrawn, kUnusable = PreviewStatus::Unusable;
    if (model.TriangleCount() == 0) {
        *error = "nothing to draw: it holds no mesh with faces";
        return kNotDrawn;
    }
    float baseYaw = 0, basePitch = 0;
    if (!ViewAngles(options.view, &baseYaw, &basePitch)) {
        *error = "unknown view " + options.view + " (front, back, left, right, top, bottom)";
        return kUnusable;
    }

    // The views: one, a sheet of one clip's times, or a turntable.
    int columns = 1, rows = 1, width = 0, height = 0;
    if (!Layout(options, &columns, &rows, &width, &height, error)) return kUnusable;
    PoseChoice single;
    const bool wantsClip = options.sheetColumns > 0 || options.hasTime || !options.clip.empty();
    if (wantsClip) {
        std::string why;
        single.clip = ChooseClip(model, options.clip, &why);
        if (single.clip < 0) {
            *error = why;
            return kUnusable;
        }
        single.seconds = options.hasTime ? options.seconds : 0;
    }
    const int cellWidth = width / columns, cellHeight = height / rows;
    std::vector<Cell> cells;
    const int count = options.sheetColumns > 0 ? columns * rows : options.turntable > 0 ? options.turntable : 1;
    for (int i = 0; i < count; ++i) {
        Cell cell;
        cell.x = (i % columns) * cellWidth;
        cell.y = (i / columns) * cellHeight;
        cell.width = cellWidth;
        cell.height = cellHeight;
        cell.pose = single;
        cell.yaw = baseYaw;
        cell.pitch = basePitch;
        if (options.sheetColumns > 0) {
            const double duration = ClipSeconds(model, single.clip);
            cell.pose.seconds = count > 1 ? duration * i / (count - 1) : 0;
            cell.label = Seconds(cell.pose.seconds);
        } else if (options.turntable > 0) {
            cell.yaw = baseYaw + 360.0f * i / options.turntable;
            cell.label = std::to_string(360 * i / options.turntable) + "*";
        } else if (wantsClip) {
            cell.label = Seconds(single.seconds);
        }
        cells.push_back(cell);
    }

    // One camera distance for every view, from the bounds of every pose shown, so that views
    // compare.
    const bool onePose = options.sheetColumns <= 0;
    Posed posed;
    Bounds all;
    for (size_t i = 0; i < (onePose ? 1 : cells.size()); ++i) {
        PoseCell(model, cells[i].pose, &posed);
        if (posed.bounds.empty) continue;
        all.Add(posed.bounds.min.data());
        all.Add(posed.bounds.max.data());
    }
    if (all.empty) {
        *error = "nothing to draw: no vertex of its meshes has a finite position";
        return kNotDrawn;
    }
    // Fitted to the vertices themselves, about the centre of all of them.
    const float aspect = float(cellWidth) / float(cellHeight);
    float distance = 0;
    for (const Cell& cell : cells) {
        if (!onePose) PoseCell(model, cell.pose, &posed);
        distance = std::max(distance, FitDistance(Centre(all), Radius(all), cell.yaw, cell.pitch, aspect,
                                                  [&posed](auto fn) { EachPoint(posed, fn); }));
    }

    TextureSet textures = LoadTextures(model, folder, options.allowOutsideFiles, warnings);
    std::unique_ptr<Canvas> canvas;
    if (early) {
        EarlyCanvas made = early->get();
        canvas = std::move(made.canvas);
        if (!canvas) *error = made.error;
        if (canvas && !canvas->Attach()) {
            canvas.reset();
            *error = "Mesa's software OpenGL (OSMesa) could not draw on the thread that reads the file";
        }
    } else {
        canvas = Canvas::Create(width, height, error);
    }
    if (!canvas) return kNotDrawn;
    canvas->SetTextures(textures.perMaterial);
    canvas->Clear(options.background);
    for (const Cell& cell : cells) {
        if (!onePose) PoseCell(model, cell.pose, &posed);
        const Camera camera = LookCamera(all, cell.yaw, cell.pitch, aspect, distance);
        std::vector<LineSet> lines;
        if (options.grid) lines.push_back(GridLines(all));
        if (options.bones) lines.push_back(BoneLines(model, posed.worlds));
        canvas->Draw(cell.x, cell.y, cell.width, cell.height, camera, posed.items, model.materials, options.wireframe,
                     lines);
        if (options.axes) {
            const int side = std::max(32, std::min(cell.width, cell.height) / 5);
            Bounds unit;
            const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
            unit.Add(lo);
            unit.Add(hi);
            const Camera tripod = LookCamera(unit, cell.yaw, cell.pitch, 1.0f, 4.5f);
            std::vector<LineSet> axes(3);
            for (int a = 0; a < 3; ++a) {
                axes[a].onTop = true;
                axes[a].color = {a == 0 ? 0.95f : 0.2f, a == 1 ? 0.85f : 0.2f, a == 2 ? 1.0f : 0.25f, 1};
                axes[a].points = {0, 0, 0, a == 0 ? 1.0f : 0.0f, a == 1 ? 1.0f : 0.0f, a == 2 ? 1.0f : 0.0f};
            }
            canvas->Draw(cell.x, cell.y + cell.height - side, side, side, tripod, {}, model.materials, false, axes);
        }
    }
    // Labels over the finished picture.
    uint8_t* pixels = const_cast<uint8_t*>(canvas->Pixels());
    const std::array<uint8_t, 4> ink{235, 235, 235, 255}, backing{20, 22, 26, 255};
    for (const Cell& cell : cells) {
        const int scale = std::min(cell.width, cell.height) >= 320 ? 2 : 1;
        if (!cell.label.empty())
            DrawLabel(pixels, width, height, cell.x + 4 * scale, cell.y + 4 * scale, cell.label, scale, ink, &backing);
        if (options.axes) {
            const int side = std::max(32, std::min(cell.width, cell.height) / 5);
            Vec3 x, y, z;
            Axes(cell.yaw, cell.pitch, &x, &y, &z);
            const float t = std::tan(kFovY / 2);
            const char* names[] = {"X", "Y", "Z"};
            for (int a = 0; a < 3; ++a) {
                const Vec3 tip{a == 0 ? 1.25f : 0.0f, a == 1 ? 1.25f : 0.0f, a == 2 ? 1.25f : 0.0f};
                const float depth = 4.5f + Dot(tip, z);
                const float px = cell.x + side * (0.5f + 0.5f * Dot(tip, x) / (depth * t));
                const float py = cell.y + cell.height - side + side * (0.5f - 0.5f * Dot(tip, y) / (depth * t));
                DrawLabel(pixels, width, height, static_cast<int>(px) - 2, static_cast<int>(py) - 3, names[a], 1, ink);
            }
        }
    }
    *png = EncodePng(pixels, width, height);
    if (png->empty()) {
        *error = "the picture could not be encoded as PNG";
        return kNotDrawn;
    }
    return PreviewStatus::Drawn;
}

}  // namespace

PreviewStatus PreviewXFile(const std::string& path, const PreviewOptions& options, std::vector<uint8_t>* png,
                           std::vector<std::string>* warnings, std::string* error) {
    int columns = 0, rows = 0, width = 0, height = 0;
    std::string why;
    std::future<EarlyCanvas> early;
    if (Layout(options, &columns, &rows, &width, &height, &why)) {
        try {
            early = std::async(std::launch::async, [width, height] {
                EarlyCanvas made;
                made.canvas = Canvas::Create(width, height, &made.error);
                if (made.canvas) made.canvas->Detach();
                return made;
            });
        } catch (const std::system_error&) {
            // No second thread: Mesa starts after the read.
        }
    }
    xfile::XDocument doc;
    xfile::XResult read = xfile::ReadXFileFromPath(path, &doc);
    if (!read.ok()) {
        *error = read.message;
        return PreviewStatus::Unusable;
    }
    DrawModel model;
    if (!BuildDrawModel(doc, &model, &why)) {
        *error = path + ": " + why;
        return PreviewStatus::Unusable;
    }
    doc = xfile::XDocument{};  // the model holds all it needs
    for (const std::string& w : model.warnings) warnings->push_back(path + ": " + w);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const PreviewStatus status = Draw(model, folder, options, early.valid() ? &early : nullptr, png, warnings, &why);
    if (status != PreviewStatus::Drawn) *error = path + ": " + why;
    return status;
}

}  // namespace preview
