// Writes the glTF binaries the export benchmark (bench/export.sh) runs on. Deterministic: the
// same command always writes the same bytes.
//
//   bench_make_inputs DIR
//
// mesh100k.glb, mesh1m.glb, mesh4m.glb: one gently curved grid of about 100k, 1M and 4M
//     triangles with normals and one texture coordinate set, textured (texture.png beside them).
// skinned1m.glb: a grid of 1M triangles with normals, tangents, two texture coordinate sets,
//     vertex colours and 4 weights per vertex over a chain of 32 bones, with two animations of
//     120 frames that rotate and move every bone.
// nodes10k.glb: 10,000 small textured boxes, each its own node and mesh, under 100 group nodes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

struct Glb {
    std::vector<uint8_t> bin;
    std::string views, accessors;
    int viewCount = 0, accessorCount = 0;

    // Appends `bytes` as a buffer view and an accessor over it; returns the accessor index.
    int Add(const void* bytes, size_t size, int componentType, const char* type, size_t count,
            const std::string& extra = "") {
        while (bin.size() % 4) bin.push_back(0);
        size_t offset = bin.size();
        bin.insert(bin.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
        if (viewCount) views += ",";
        views += "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) + ",\"byteLength\":" + std::to_string(size) +
                 "}";
        if (accessorCount) accessors += ",";
        accessors += "{\"bufferView\":" + std::to_string(viewCount++) + ",\"componentType\":" +
                     std::to_string(componentType) + ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type +
                     "\"" + extra + "}";
        return accessorCount++;
    }
    int Floats(const std::vector<float>& v, const char* type, int width, const std::string& extra = "") {
        return Add(v.data(), v.size() * 4, 5126, type, v.size() / width, extra);
    }
    int Indices(const std::vector<uint32_t>& v) { return Add(v.data(), v.size() * 4, 5125, "SCALAR", v.size()); }

    bool Write(const std::filesystem::path& path, const std::string& rest) const {
        std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"plover bench\"},\"buffers\":[{\"byteLength\":" +
                           std::to_string(bin.size()) + "}],\"bufferViews\":[" + views + "],\"accessors\":[" +
                           accessors + "]," + rest + "}";
        while (json.size() % 4) json.push_back(' ');
        std::vector<uint8_t> binChunk = bin;
        while (binChunk.size() % 4) binChunk.push_back(0);
        std::FILE* f = std::fopen(path.string().c_str(), "wb");
        if (!f) return false;
        auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
        u32(0x46546C67);
        u32(2);
        u32(static_cast<uint32_t>(12 + 8 + json.size() + 8 + binChunk.size()));
        u32(static_cast<uint32_t>(json.size()));
        u32(0x4E4F534A);
        std::fwrite(json.data(), 1, json.size(), f);
        u32(static_cast<uint32_t>(binChunk.size()));
        u32(0x004E4942);
        std::fwrite(binChunk.data(), 1, binChunk.size(), f);
        return std::fclose(f) == 0;
    }
};

std::string MinMax(const std::vector<float>& p) {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (size_t i = 0; i < p.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], p[i]);
        hi[i % 3] = std::max(hi[i % 3], p[i]);
    }
    char s[200];
    std::snprintf(s, sizeof s, ",\"min\":[%g,%g,%g],\"max\":[%g,%g,%g]", lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    return s;
}

const char* kMaterial =
    "\"materials\":[{\"name\":\"Skin\",\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0},"
    "\"metallicFactor\":0}}],\"textures\":[{\"source\":0}],\"images\":[{\"uri\":\"texture.png\"}]";

// A grid of q x q quads over [0, 10] x [0, 10], gently curved. `extra` adds tangents, a second
// texture set and colours.
struct Grid {
    std::vector<float> pos, nrm, uv, tan, uv2, col;
    std::vector<uint32_t> idx;
};

Grid MakeGrid(int q, bool extra) {
    Grid g;
    size_t n = size_t(q + 1) * (q + 1);
    g.pos.reserve(3 * n);
    g.nrm.reserve(3 * n);
    g.uv.reserve(2 * n);
    for (int j = 0; j <= q; ++j)
        for (int i = 0; i <= q; ++i) {
            float x = 10.0f * i / q, z = 10.0f * j / q;
            float y = 0.3f * std::sin(x) * std::cos(z);
            float dx = 0.3f * std::cos(x) * std::cos(z), dz = -0.3f * std::sin(x) * std::sin(z);
            float len = std::sqrt(dx * dx + 1 + dz * dz);
            g.pos.insert(g.pos.end(), {x, y, z});
            g.nrm.insert(g.nrm.end(), {-dx / len, 1 / len, -dz / len});
            g.uv.insert(g.uv.end(), {float(i) / q, float(j) / q});
            if (extra) {
                float tl = std::sqrt(1 + dx * dx);
                g.tan.insert(g.tan.end(), {1 / tl, dx / tl, 0, 1});
                g.uv2.insert(g.uv2.end(), {float(i % 16) / 16, float(j % 16) / 16});
                g.col.insert(g.col.end(), {float(i % 7) / 7, float(j % 5) / 5, float((i + j) % 3) / 3, 1});
            }
        }
    g.idx.reserve(size_t(q) * q * 6);
    for (int j = 0; j < q; ++j)
        for (int i = 0; i < q; ++i) {
            uint32_t a = j * (q + 1) + i, b = a + 1, c = a + q + 1, d = c + 1;
            g.idx.insert(g.idx.end(), {a, c, b, b, c, d});
        }
    return g;
}

bool MeshScene(const std::filesystem::path& path, int q) {
    Grid g = MakeGrid(q, false);
    Glb glb;
    int p = glb.Floats(g.pos, "VEC3", 3, MinMax(g.pos)), n = glb.Floats(g.nrm, "VEC3", 3), t = glb.Floats(g.uv, "VEC2", 2);
    int i = glb.Indices(g.idx);
    char mesh[300];
    std::snprintf(mesh, sizeof mesh,
                  "\"meshes\":[{\"name\":\"Grid\",\"primitives\":[{\"attributes\":{\"POSITION\":%d,\"NORMAL\":%d,"
                  "\"TEXCOORD_0\":%d},\"indices\":%d,\"material\":0}]}],",
                  p, n, t, i);
    return glb.Write(path, std::string(mesh) + kMaterial +
                               ",\"nodes\":[{\"name\":\"Grid\",\"mesh\":0}],\"scenes\":[{\"nodes\":[0]}],\"scene\":0");
}

bool SkinnedScene(const std::filesystem::path& path) {
    constexpr int kBones = 32, kFrames = 120;
    const int q = 707;
    Grid g = MakeGrid(q, true);
    size_t n = g.pos.size() / 3;
    // Bones sit along x at 10 * b / 31; each vertex takes the 4 nearest, weighted by distance.
    std::vector<uint8_t> joints(4 * n);
    std::vector<float> weights(4 * n);
    for (size_t v = 0; v < n; ++v) {
        float at = g.pos[3 * v] / 10.0f * (kBones - 1);
        int first = std::clamp(static_cast<int>(std::floor(at)) - 1, 0, kBones - 4);
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
            float w = 1.0f / (0.25f + std::fabs(at - (first + k)));
            joints[4 * v + k] = static_cast<uint8_t>(first + k);
            weights[4 * v + k] = w;
            sum += w;
        }
        for (int k = 0; k < 4; ++k) weights[4 * v + k] /= sum;
    }
    Glb glb;
    int p = glb.Floats(g.pos, "VEC3", 3, MinMax(g.pos)), nr = glb.Floats(g.nrm, "VEC3", 3);
    int ta = glb.Floats(g.tan, "VEC4", 4), t0 = glb.Floats(g.uv, "VEC2", 2), t1 = glb.Floats(g.uv2, "VEC2", 2);
    int c = glb.Floats(g.col, "VEC4", 4);
    int j = glb.Add(joints.data(), joints.size(), 5121, "VEC4", n);
    int w = glb.Floats(weights, "VEC4", 4);
    int idx = glb.Indices(g.idx);
    // Bone b is node 1 + b, a chain along x: each is 10/31 from its parent.
    const float step = 10.0f / (kBones - 1);
    std::vector<float> ibm;
    for (int b = 0; b < kBones; ++b) {
        float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -step * b, 0, 0, 1};
        ibm.insert(ibm.end(), m, m + 16);
    }
    int ibmAcc = glb.Add(ibm.data(), ibm.size() * 4, 5126, "MAT4", kBones);
    std::vector<float> times(kFrames);
    for (int f = 0; f < kFrames; ++f) times[f] = f / 30.0f;
    char tmm[120];
    std::snprintf(tmm, sizeof tmm, ",\"min\":[0],\"max\":[%g]", times.back());
    int timeAcc = glb.Floats(times, "SCALAR", 1, tmm);
    std::string anims = "\"animations\":[";
    for (int clip = 0; clip < 2; ++clip) {
        std::string channels, samplers;
        for (int b = 0; b < kBones; ++b) {
            std::vector<float> rot, tr;
            for (int f = 0; f < kFrames; ++f) {
                float a = 0.02f * (clip + 1) * std::sin(f * 0.1f + b * 0.3f) * (1 + b % 3) / 2;
                rot.insert(rot.end(), {0, 0, std::sin(a), std::cos(a)});
                tr.insert(tr.end(), {b ? step : 0, 0.01f * clip * std::cos(f * 0.05f + b), 0});
            }
            int ra = glb.Floats(rot, "VEC4", 4), tra = glb.Floats(tr, "VEC3", 3);
            int s = 2 * b;
            if (b) channels += ",", samplers += ",";
            channels += "{\"sampler\":" + std::to_string(s) + ",\"target\":{\"node\":" + std::to_string(1 + b) +
                        ",\"path\":\"rotation\"}},{\"sampler\":" + std::to_string(s + 1) + ",\"target\":{\"node\":" +
                        std::to_string(1 + b) + ",\"path\":\"translation\"}}";
            samplers += "{\"input\":" + std::to_string(timeAcc) + ",\"output\":" + std::to_string(ra) +
                        "},{\"input\":" + std::to_string(timeAcc) + ",\"output\":" + std::to_string(tra) + "}";
        }
        if (clip) anims += ",";
        anims += "{\"name\":\"Clip" + std::to_string(clip + 1) + "\",\"channels\":[" + channels + "],\"samplers\":[" +
                 samplers + "]}";
    }
    anims += "]";
    std::string nodes = "\"nodes\":[{\"name\":\"Body\",\"mesh\":0,\"skin\":0}";
    std::string jointList;
    for (int b = 0; b < kBones; ++b) {
        nodes += ",{\"name\":\"Bone" + std::to_string(b) + "\",\"translation\":[" + (b ? std::to_string(step) : "0") +
                 ",0,0]";
        if (b + 1 < kBones) nodes += ",\"children\":[" + std::to_string(b + 2) + "]";
        nodes += "}";
        jointList += (b ? "," : "") + std::to_string(1 + b);
    }
    nodes += "]";
    char mesh[400];
    std::snprintf(mesh, sizeof mesh,
                  "\"meshes\":[{\"name\":\"Body\",\"primitives\":[{\"attributes\":{\"POSITION\":%d,\"NORMAL\":%d,"
                  "\"TANGENT\":%d,\"TEXCOORD_0\":%d,\"TEXCOORD_1\":%d,\"COLOR_0\":%d,\"JOINTS_0\":%d,\"WEIGHTS_0\":%d},"
                  "\"indices\":%d,\"material\":0}]}],",
                  p, nr, ta, t0, t1, c, j, w, idx);
    return glb.Write(path, std::string(mesh) + kMaterial + ",\"skins\":[{\"inverseBindMatrices\":" +
                               std::to_string(ibmAcc) + ",\"skeleton\":1,\"joints\":[" + jointList + "]}]," + nodes +
                               "," + anims + ",\"scenes\":[{\"nodes\":[0,1]}],\"scene\":0");
}

bool NodesScene(const std::filesystem::path& path) {
    constexpr int kGroups = 100, kPerGroup = 100;
    Glb glb;
    std::string meshes = "\"meshes\":[", nodes = "\"nodes\":[", roots;
    // Box corners per face: 6 faces x 4 vertices.
    static const float kFace[6][3][3] = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                                         {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
                                         {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}};
    std::vector<uint32_t> idx;
    for (uint32_t f = 0; f < 6; ++f) idx.insert(idx.end(), {4 * f, 4 * f + 1, 4 * f + 2, 4 * f, 4 * f + 2, 4 * f + 3});
    int idxAcc = glb.Indices(idx);
    for (int m = 0; m < kGroups * kPerGroup; ++m) {
        float size = 0.2f + 0.05f * (m % 7);
        std::vector<float> pos, nrm, uv;
        for (const auto& face : kFace)
            for (int c = 0; c < 4; ++c) {
                float su = (c == 1 || c == 2) ? 1.0f : -1.0f, sv = (c >= 2) ? 1.0f : -1.0f;
                for (int k = 0; k < 3; ++k) {
                    pos.push_back(size * (face[0][k] + su * face[1][k] + sv * face[2][k]));
                    nrm.push_back(face[0][k]);
                }
                uv.insert(uv.end(), {(su + 1) / 2, (sv + 1) / 2});
            }
        int p = glb.Floats(pos, "VEC3", 3, MinMax(pos)), n = glb.Floats(nrm, "VEC3", 3), t = glb.Floats(uv, "VEC2", 2);
        if (m) meshes += ",";
        meshes += "{\"name\":\"Box" + std::to_string(m) + "\",\"primitives\":[{\"attributes\":{\"POSITION\":" +
                  std::to_string(p) + ",\"NORMAL\":" + std::to_string(n) + ",\"TEXCOORD_0\":" + std::to_string(t) +
                  "},\"indices\":" + std::to_string(idxAcc) + ",\"material\":0}]}";
    }
    for (int gi = 0; gi < kGroups; ++gi) {
        std::string children;
        for (int k = 0; k < kPerGroup; ++k) children += (k ? "," : "") + std::to_string(kGroups + gi * kPerGroup + k);
        nodes += (gi ? ",{" : "{") + std::string("\"name\":\"Group") + std::to_string(gi) + "\",\"translation\":[" +
                 std::to_string(gi % 10 * 12) + ",0," + std::to_string(gi / 10 * 12) + "],\"children\":[" + children +
                 "]}";
        roots += (gi ? "," : "") + std::to_string(gi);
    }
    for (int m = 0; m < kGroups * kPerGroup; ++m)
        nodes += ",{\"name\":\"Box" + std::to_string(m) + "\",\"mesh\":" + std::to_string(m) + ",\"translation\":[" +
                 std::to_string(m % 10) + "," + std::to_string(m % 3 * 0.5) + "," + std::to_string(m / 10 % 10) +
                 "],\"rotation\":[0," + std::to_string(std::sin(m * 0.01)) + ",0," + std::to_string(std::cos(m * 0.01)) +
                 "]}";
    return glb.Write(path, meshes + "]," + kMaterial + "," + nodes + "],\"scenes\":[{\"nodes\":[" + roots +
                               "]}],\"scene\":0");
}

// An 8 x 8 checker PNG.
bool Texture(const std::filesystem::path& path) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < 8; ++y) {
        raw.push_back(0);
        for (int x = 0; x < 8; ++x) {
            uint8_t v = ((x ^ y) & 1) ? 230 : 40;
            raw.insert(raw.end(), {v, v, v});
        }
    }
    uLongf zsize = compressBound(raw.size());
    std::vector<uint8_t> z(zsize);
    compress(z.data(), &zsize, raw.data(), raw.size());
    z.resize(zsize);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        uint32_t len = static_cast<uint32_t>(data.size());
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(len >> s));
        size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start)));
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(crc >> s));
    };
    chunk("IHDR", {0, 0, 0, 8, 0, 0, 0, 8, 8, 2, 0, 0, 0});
    chunk("IDAT", z);
    chunk("IEND", {});
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) return false;
    std::fwrite(png.data(), 1, png.size(), f);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    bool ok = Texture(dir / "texture.png") && MeshScene(dir / "mesh100k.glb", 224) &&
              MeshScene(dir / "mesh1m.glb", 707) && MeshScene(dir / "mesh4m.glb", 1414) &&
              SkinnedScene(dir / "skinned1m.glb") && NodesScene(dir / "nodes10k.glb");
    if (!ok) {
        std::fprintf(stderr, "cannot write the inputs in %s\n", dir.string().c_str());
        return 1;
    }
    return 0;
}
