// Skin export: a skinned grid of about 200k triangles on 30 bones with 4 weights per vertex,
// and a NURBS surface whose tessellation (about 180k triangles) takes its weights from the
// control points by the tessellated remapping; both through the whole plug-in path (node
// collection, data pass with mesh data and skin, writer) into a binary X file.
//
// Each case runs in a child process so that its peak resident memory is its own, once with Skin
// off and once with Skin on; the difference of the data pass times is the cost of skinning.
//
// Run: build/bench/bench_skin_export [dir]   (default /tmp)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/conversion.h"
#include "host/objects/host_deformers.h"
#include "host/objects/scene_builder.h"
#include "mesh/mesh_data.h"
#include "plugin/data_pass.h"
#include "plugin/export_files.h"
#include "scene/export_context.h"
#include "scene/xnode.h"
#include "skin/skin_info.h"
#include "xfile/write_xfile.h"

namespace {

constexpr int kBoneCount = 30;
constexpr int kWeightsPerPoint = 4;

Mesh GridMesh(uint32_t w, uint32_t h) {
    Mesh mesh;
    const uint32_t vw = w + 1;
    mesh.verts.resize(size_t(vw) * (h + 1));
    for (uint32_t y = 0; y <= h; ++y)
        for (uint32_t x = 0; x <= w; ++x)
            mesh.verts[size_t(y) * vw + x] = {float(x), float(y), std::sin(x * 0.05f) * 4.0f};
    mesh.setNumFaces(static_cast<int>(2 * w * h));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t q = y * w + x, a = y * vw + x, b = a + 1, c = a + vw, d = c + 1;
            const uint32_t faces[2][3] = {{a, b, d}, {a, d, c}};
            for (int k = 0; k < 2; ++k) {
                std::copy(faces[k], faces[k] + 3, mesh.faces[2 * q + k].v);
                mesh.faces[2 * q + k].smGroup = 1;
            }
        }
    return mesh;
}

// 30 bones along the diagonal of the extent; every point weighs on its 4 nearest bones by
// inverse distance, normalised.
void Bind(SceneBuilder& b, HostNode& node, const std::vector<Point3>& points, float extent) {
    HostSkinDeformer& skin = AddSkinDeformer(b.scene(), node);
    std::vector<Point3> joints;
    HostNode* parent = nullptr;
    for (int i = 0; i < kBoneCount; ++i) {
        const Point3 at{extent * i / kBoneCount, extent * i / kBoneCount, 0};
        HostNode& bone = b.Bone("Bone" + std::to_string(i), parent).Translate(i ? Point3(extent / kBoneCount, extent / kBoneCount, 0) : at);
        skin.bones.push_back({&bone, {}});
        joints.push_back(at);
        parent = &bone;
    }
    std::vector<std::pair<float, int>> near(kBoneCount);
    HostSkinAssignment list[kWeightsPerPoint];
    for (const Point3& p : points) {
        for (int i = 0; i < kBoneCount; ++i) near[i] = {(p - joints[i]).Length(), i};
        std::partial_sort(near.begin(), near.begin() + kWeightsPerPoint, near.end());
        float sum = 0;
        for (int k = 0; k < kWeightsPerPoint; ++k) sum += list[k].weight = 1.0f / (near[k].first + 1.0f);
        for (int k = 0; k < kWeightsPerPoint; ++k) {
            list[k].bone = near[k].second;
            list[k].weight /= sum;
        }
        skin.AddPoint(list, kWeightsPerPoint);
    }
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

struct Case {
    const char* name;
    bool nurbs;
    bool skin;
};

void RunCase(const Case& c, const std::string& dir) {
    SceneBuilder b;
    if (c.nurbs) {
        NurbsSurface surface;
        surface.uCount = surface.vCount = 40;
        surface.uSegments = surface.vSegments = 300;
        for (int j = 0; j < 40; ++j)
            for (int i = 0; i < 40; ++i) surface.points.push_back({i * 8.0f, j * 8.0f, std::sin(i * 0.4f) * 6.0f});
        std::vector<Point3> points = surface.points;
        HostNode& node = b.Nurbs("Surface", std::move(surface));
        Bind(b, node, points, 312.0f);
    } else {
        Mesh grid = GridMesh(316, 317);
        std::vector<Point3> points = grid.verts;
        HostNode& node = b.Mesh("Grid", grid);
        Bind(b, node, points, 316.0f);
    }
    std::unique_ptr<HostScene> scene = b.Take();

    ExportSettings state;
    ExportContext exporter(state);
    ExportOptions& o = state.options;
    o.Meshs = o.Bones = o.Normal = 1;
    o.Skin = c.skin ? 1 : 0;
    o.SkinFix = 1;
    o.Precision = 10;
    o.XFileType = 1;
    o.SampleRate = 30;
    state.conversion = BuildConversionMatrix(false, 1.0f, 0.0f, 0.0f);
    exporter.ip = scene.get();
    exporter.animStart = scene->GetAnimRange().Start();
    exporter.animEnd = scene->GetAnimRange().End();
    exporter.ticksPerFrame = exporter.ticksPerSample = scene->GetTicksPerFrame();
    exporter.frameRate = scene->GetFrameRate();
    exporter.rootFrameName = "Scene_Root";

    const auto t0 = std::chrono::steady_clock::now();
    CollectStage(exporter, scene->GetRootNode());
    exporter.meter.BeginStage(exporter.stage1Work, 95.0f, 95.0f);
    RunDataPass(exporter);
    const auto t1 = std::chrono::steady_clock::now();
    exporter.meter.BeginStage(exporter.stage2Work, 5.0f, 100.0f);
    const std::string path = dir + "/skin_export_" + c.name + ".x";
    WriteXFile(WriterRecords(exporter), exporter.meter, path);
    const auto t2 = std::chrono::steady_clock::now();

    size_t faces = 0, positions = 0, points = 0, bones = 0;
    for (XNode* n : exporter.meshNodes) {
        const XRenderableNode* r = AsRenderable(n);
        if (!r || !r->hasGeometry || !IsMeshNode(*r)) continue;
        faces += r->faceCount;
        positions += r->vertCount;
        points += r->pointCount;
        if (r->skinned && r->meshSkin) bones += r->meshSkin->bones.size();
    }
    const double fileMiB = std::filesystem::exists(path) ? std::filesystem::file_size(path) / (1024.0 * 1024.0) : 0;
    std::filesystem::remove(path);
    std::printf("| %s | %s | %zu | %zu | %zu | %zu | %.1f | %.2f | %.2f | %.1f |\n", c.name, c.skin ? "on" : "off", faces,
                positions, points, bones, PeakMiB(), std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t2 - t1).count(), fileMiB);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const Case cases[] = {{"grid", false, false}, {"grid", false, true}, {"nurbs", true, false}, {"nurbs", true, true}};
    std::printf("| case | Skin | faces | positions | deformer points | bones written | peak RSS MiB | "
                "collection + data pass s | writer s | file MiB |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    for (const Case& c : cases) {
        const pid_t child = fork();
        if (child == 0) {
            RunCase(c, dir);
            std::_Exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("| %s | failed |\n", c.name);
    }
    return 0;
}
