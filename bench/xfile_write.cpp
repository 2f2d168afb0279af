// Save-layer throughput: a Mesh of 1M vertices and 2M faces with MeshNormals and
// MeshTextureCoords, written in each format, to memory and to a file.
// Reports payload MB/s (bytes handed to the layer) and output MB/s (bytes produced).
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "xformat/xpayload.h"
#include "xformat/xsave.h"

using namespace xfile;

namespace {

constexpr uint32_t kVertices = 1000000;
constexpr uint32_t kFaces = 2000000;

struct Payloads {
    XPayload mesh, normals, uvs;
};

Payloads Build() {
    Payloads p;
    p.mesh.Reserve(8 + 12 * size_t(kVertices) + 16 * size_t(kFaces));
    p.normals.Reserve(8 + 12 * size_t(kVertices) + 16 * size_t(kFaces));
    p.uvs.Reserve(4 + 8 * size_t(kVertices));
    uint32_t state = 12345;
    auto next = [&] {  // deterministic values with a realistic spread of digits
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f * 200.0f - 100.0f;
    };
    p.mesh.Dword(kVertices);
    p.normals.Dword(kVertices);
    p.uvs.Dword(kVertices);
    for (uint32_t i = 0; i < kVertices; ++i) {
        p.mesh.Float(next()).Float(next()).Float(next());
        p.normals.Float(next() / 100).Float(next() / 100).Float(next() / 100);
        p.uvs.Float(next() / 100).Float(next() / 100);
    }
    p.mesh.Dword(kFaces);
    p.normals.Dword(kFaces);
    for (uint32_t f = 0; f < kFaces; ++f) {
        uint32_t a = (f / 2) % kVertices, b = (a + 1) % kVertices, c = (a + 2) % kVertices;
        p.mesh.Dword(3).Dword(a).Dword(b).Dword(c);
        p.normals.Dword(3).Dword(a).Dword(b).Dword(c);
    }
    return p;
}

bool Write(const XFile& file, const Payloads& p, XFileFormat format, const std::string& path, size_t* outBytes) {
    std::vector<uint8_t> memory;
    std::unique_ptr<XSaveObject> save;
    XResult r = path.empty() ? file.CreateMemorySaveObject(&memory, format, &save)
                             : file.CreateSaveObject(path, format, &save);
    XSaveData frame, mesh;
    if (r.ok()) r = save->AddDataObject(kTidFrame, "Root", {}, &frame);
    if (r.ok()) r = frame.AddDataObject(kTidMesh, "Big", p.mesh.bytes(), &mesh);
    if (r.ok()) r = mesh.AddDataObject(kTidMeshNormals, "", p.normals.bytes());
    if (r.ok()) r = mesh.AddDataObject(kTidMeshTextureCoords, "", p.uvs.bytes());
    if (r.ok()) r = save->Save();
    if (!r.ok()) {
        std::fprintf(stderr, "error: %s\n", r.message.c_str());
        return false;
    }
    *outBytes = path.empty() ? memory.size() : static_cast<size_t>(std::filesystem::file_size(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Arguments: [directory for the file runs] [format to run: binary, text, "compressed binary", ...]
    std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    std::string only = argc > 2 ? argv[2] : "";
    Payloads p = Build();
    double payloadMb = double(p.mesh.size() + p.normals.size() + p.uvs.size()) / 1e6;
    XFile file;
    if (!file.RegisterPublishedTemplates().ok()) return 1;
    std::printf("payload: %.1f MB (Mesh %u vertices, %u faces; MeshNormals; MeshTextureCoords)\n", payloadMb,
                kVertices, kFaces);
    // CPU time (all threads) is reported beside wall time: on a shared machine it is the
    // steadier figure; MB/s are computed from CPU time for the single-threaded formats.
    std::printf("%-18s %-7s %10s %8s %8s %14s %13s\n", "format", "target", "output MB", "wall s", "cpu s",
                "payload MB/s", "output MB/s");
    for (XFileFormat f : {XFileFormat::Binary, XFileFormat::Text, XFileFormat::CompressedBinary,
                          XFileFormat::CompressedText}) {
        if (!only.empty() && only != FormatName(f)) continue;
        for (bool toFile : {false, true}) {
            std::string path = toFile ? (std::filesystem::path(dir) / "bench_xfile_write.x").string() : "";
            double bestWall = 1e30, bestCpu = 1e30;
            size_t bytes = 0;
            for (int rep = 0; rep < 3; ++rep) {
                auto t0 = std::chrono::steady_clock::now();
                std::clock_t c0 = std::clock();
                if (!Write(file, p, f, path, &bytes)) return 1;
                bestCpu = std::min(bestCpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
                bestWall = std::min(bestWall, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            }
            double rateTime = IsCompressedFormat(f) ? bestWall : bestCpu;
            std::printf("%-18s %-7s %10.1f %8.3f %8.3f %14.0f %13.0f\n", std::string(FormatName(f)).c_str(),
                        toFile ? "file" : "memory", bytes / 1e6, bestWall, bestCpu, payloadMb / rateTime,
                        bytes / 1e6 / rateTime);
            if (toFile) std::filesystem::remove(path);
        }
    }
    return 0;
}
