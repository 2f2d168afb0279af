// Mesh export: a grid mesh of about 100k or 1M triangles with normals, two texture coordinate
// sets (the second with a seam at every quad), vertex colours and tangents, exported through the
// whole plug-in path (node collection, data pass with mesh data generation, writer) into a
// binary or text X file.
//
// Each case runs in a child process of its own so that its peak resident memory (getrusage)
// is its own. Reported: the host mesh's own size, the resident size before the export and
// after the data pass, the peak, and the time of the data pass and of the writer.
//
// Run: build/bench/bench_mesh_export [dir] [small|large]   (default: both sizes, in /tmp)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/conversion.h"
#include "host/objects/host_scene.h"
#include "host/objects/scene_builder.h"
#include "mesh/mesh_data.h"
#include "plugin/data_pass.h"
#include "plugin/export_files.h"
#include "scene/export_context.h"
#include "scene/xnode.h"
#include "xfile/write_xfile.h"

namespace {

// A w x h grid of quads, two triangles each, gently curved so that normals and tangents vary.
// Channel 1: one texture vertex per mesh vertex; channel 2: four texture vertices per quad (a
// seam everywhere, so the corners split); channel 0: a colour per vertex.
Mesh GridMesh(uint32_t w, uint32_t h) {
    Mesh mesh;
    const uint32_t vw = w + 1, vh = h + 1;
    mesh.verts.resize(size_t(vw) * vh);
    for (uint32_t y = 0; y < vh; ++y)
        for (uint32_t x = 0; x < vw; ++x)
            mesh.verts[size_t(y) * vw + x] = {float(x), float(y), std::sin(x * 0.05f) * std::cos(y * 0.05f) * 4.0f};
    mesh.setNumFaces(static_cast<int>(2 * w * h));
    mesh.setMapSupport(1);
    mesh.setMapSupport(2);
    mesh.setMapSupport(0);
    MeshMap& uv1 = mesh.Map(1);
    MeshMap& uv2 = mesh.Map(2);
    MeshMap& colors = mesh.Map(0);
    uv1.tv.resize(mesh.verts.size());
    colors.tv.resize(mesh.verts.size());
    for (size_t i = 0; i < mesh.verts.size(); ++i) {
        const Point3 p = mesh.verts[i];
        uv1.tv[i] = {p.x / float(w), p.y / float(h), 0};
        colors.tv[i] = {p.x / float(w), p.y / float(h), 0.5f};
    }
    uv2.tv.resize(size_t(4) * w * h);
    uv1.tf.resize(mesh.faces.size());
    uv2.tf.resize(mesh.faces.size());
    colors.tf.resize(mesh.faces.size());
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t q = y * w + x;
            const uint32_t a = y * vw + x, b = a + 1, c = a + vw, d = c + 1;
            const uint32_t t = 4 * q;
            uv2.tv[t] = {0, 0, 0}, uv2.tv[t + 1] = {1, 0, 0}, uv2.tv[t + 2] = {0, 1, 0}, uv2.tv[t + 3] = {1, 1, 0};
            const uint32_t faces[2][3] = {{a, b, d}, {a, d, c}};
            const uint32_t seams[2][3] = {{t, t + 1, t + 3}, {t, t + 3, t + 2}};
            for (int k = 0; k < 2; ++k) {
                Face& face = mesh.faces[2 * q + k];
                std::memcpy(face.v, faces[k], sizeof face.v);
                face.smGroup = 1;
                std::memcpy(uv1.tf[2 * q + k].t, faces[k], sizeof face.v);
                std::memcpy(colors.tf[2 * q + k].t, faces[k], sizeof face.v);
                std::memcpy(uv2.tf[2 * q + k].t, seams[k], sizeof face.v);
            }
        }
    }
    return mesh;
}

size_t MeshBytes(const Mesh& mesh) {
    size_t bytes = mesh.verts.size() * sizeof(Point3) + mesh.faces.size() * sizeof(Face);
    for (int channel = kMapChannelMin; channel <= kMapChannelMax; ++channel)
        if (mesh.mapSupport(channel))
            bytes += mesh.Map(channel).tv.size() * sizeof(Point3) + mesh.Map(channel).tf.size() * sizeof(TVFace);
    return bytes;
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

double CurrentMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Case {
    const char* size;
    uint32_t w, h;
    int fileType;  // 0 text, 1 binary
    bool declData;
};

void RunCase(const Case& c, const std::string& dir) {
    SceneBuilder b;
    b.Mesh("Grid", GridMesh(c.w, c.h));
    std::unique_ptr<HostScene> scene = b.Take();

    ExportSettings state;
    ExportContext exporter(state);
    ExportOptions& o = state.options;
    o.Meshs = 1;
    o.Normal = o.TexCoords = o.VertexColor = o.Tangent = o.BiTangent = o.Mtl = 1;
    o.DeclData = c.declData ? 1 : 0;
    o.XFileType = c.fileType;
    o.SampleRate = 30;
    state.conversion = BuildConversionMatrix(false, 1.0f, 0.0f, 0.0f);
    exporter.ip = scene.get();
    exporter.animStart = scene->GetAnimRange().Start();
    exporter.animEnd = scene->GetAnimRange().End();
    exporter.ticksPerFrame = exporter.ticksPerSample = scene->GetTicksPerFrame();
    exporter.frameRate = scene->GetFrameRate();
    exporter.rootFrameName = "Scene_Root";

    const double before = CurrentMiB();
    const auto t0 = std::chrono::steady_clock::now();
    CollectStage(exporter, scene->GetRootNode());
    exporter.meter.BeginStage(exporter.stage1Work, 95.0f, 95.0f);
    RunDataPass(exporter);
    const auto t1 = std::chrono::steady_clock::now();
    const double afterPass = CurrentMiB();
    exporter.meter.BeginStage(exporter.stage2Work, 5.0f, 100.0f);
    const std::string path = dir + "/mesh_export_" + c.size + (c.fileType ? "_bin" : "_txt") + ".x";
    WriteXFile(WriterRecords(exporter), exporter.meter, path);
    const auto t2 = std::chrono::steady_clock::now();

    size_t faces = 0, vertices = 0, meshBytes = 0;
    for (XNode* n : exporter.meshNodes) {
        XRenderableNode* r = AsRenderable(n);
        if (!r || !r->AcquireMesh(exporter.animStart, false)) continue;  // the host's mesh, read again
        faces += r->mesh->faces.size();
        meshBytes += MeshBytes(*r->mesh);
        r->ReleaseMesh();
        if (r->meshData) vertices += r->meshData->vertices.size();
    }
    const double fileMiB = std::filesystem::exists(path) ? std::filesystem::file_size(path) / (1024.0 * 1024.0) : 0;
    std::filesystem::remove(path);
    std::printf("| %s | %zu | %zu | %s | %s | %.1f | %.1f | %.1f | %.1f | %.2f | %.2f | %.1f |\n", c.size, faces,
                vertices, c.fileType ? "binary" : "text", c.declData ? "DeclData" : "objects",
                meshBytes / (1024.0 * 1024.0), before, afterPass, PeakMiB(), std::chrono::duration<double>(t1 - t0).count(),
                std::chrono::duration<double>(t2 - t1).count(), fileMiB);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const std::string only = argc > 2 ? argv[2] : "";
    const Case cases[] = {
        {"small", 224, 224, 1, true},  {"small", 224, 224, 0, true}, {"small", 224, 224, 1, false},
        {"large", 707, 707, 1, true},  {"large", 707, 707, 0, true}, {"large", 707, 707, 1, false},
    };
    std::printf("| size | faces | export vertices | format | per-vertex data | mesh MiB | RSS before MiB | "
                "RSS after pass MiB | peak RSS MiB | data pass s | writer s | file MiB |\n");
    std::printf("|---|---:|---:|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    for (const Case& c : cases) {
        if (!only.empty() && only != c.size) continue;
        const pid_t child = fork();
        if (child == 0) {
            RunCase(c, dir);
            std::_Exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("| %s | failed |\n", c.size);
    }
    return 0;
}
