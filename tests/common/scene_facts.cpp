#include "common/scene_facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "host/objects/host_deformers.h"

namespace fs = std::filesystem;

namespace scene_facts {

std::unique_ptr<HostScene> ImportModel(const fs::path& file, const fs::path& textures) {
    ImportOptions options;
    options.textureDirectory = textures.string();
    options.gltfReader = ImportOptions::GltfReader::NativeOnly;
    options.frameRate = 0;  // the rate that holds the key times, as the commands read files
    std::string error;
    auto scene = ImportInterchangeFile(file.string(), options, error);
    EXPECT_TRUE(scene) << file << ": " << error;
    return scene;
}

// What a round trip must keep, read from a host scene.




namespace {
const Mesh* MeshOf(HostNode& node, TimeValue t, std::unique_ptr<Object>& holder) {
    Object* object = node.object();
    if (!object) return nullptr;
    Object* evaluated = object->Eval(t).obj;
    if (!evaluated || evaluated->SuperClassID() != kGeomObjectClassId || !evaluated->CanConvertToType(kTriObjectClassId))
        return nullptr;
    Object* tri = evaluated->ConvertToType(t, kTriObjectClassId);
    if (tri != evaluated) holder.reset(tri);
    return &static_cast<TriObject*>(tri)->GetMesh();
}

void Walk(HostNode& node, const std::function<void(HostNode&)>& visit) {
    visit(node);
    for (const auto& child : node.children()) Walk(*child, visit);
}

}  // namespace

Facts FactsOf(HostScene& scene) {
    Facts facts;
    Point3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (const auto& top : scene.root().children())
        Walk(*top, [&](HostNode& node) {
            facts.names.insert(node.name());
            std::unique_ptr<Object> holder;
            const Mesh* mesh = MeshOf(node, scene.animRange().Start(), holder);
            if (!mesh || mesh->faces.empty()) return;
            MeshFacts& m = facts.meshes[node.name()];
            m.triangles += mesh->faces.size();
            for (int c = 1; c <= kMapChannelMax; ++c)
                if (mesh->mapSupport(c)) m.uvSets = c;
            m.colours = mesh->mapSupport(kVertexColorChannel);
            const Matrix3 tm = node.GetObjectTM(scene.animRange().Start());
            for (const Point3& p : mesh->verts) {
                const Point3 w = tm.PointTransform(p);
                for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], w[i]), hi[i] = std::max(hi[i], w[i]);
            }
        });
    facts.size = (hi - lo).Length();
    if (scene.clips()) facts.clips = *scene.clips();
    return facts;
}



std::vector<Corner> Corners(HostScene& scene, TimeValue t) {
    std::vector<Corner> corners;
    for (const auto& top : scene.root().children())
        Walk(*top, [&](HostNode& node) {
            std::unique_ptr<Object> holder;
            const Mesh* mesh = MeshOf(node, t, holder);
            if (!mesh) return;
            HostSkinDeformer* skin = nullptr;
            for (Object* o = node.object(); auto* level = dynamic_cast<HostDerivedObject*>(o); o = level->GetObjRef())
                for (const auto& m : level->modifiers())
                    if (auto* s = dynamic_cast<HostSkinDeformer*>(m.get())) skin = s;
            const Matrix3 tm = node.GetObjectTM(t);
            const FaceCorners colours = mesh->mapFaces(kVertexColorChannel);
            const FaceCorners uvs = mesh->mapFaces(1);
            for (size_t f = 0; f < mesh->faces.size(); ++f)
                for (int c = 0; c < 3; ++c) {
                    Corner corner;
                    const uint32_t v = mesh->faces[f].v[c];
                    corner.position = tm.PointTransform(mesh->verts[v]);
                    if (!colours.empty()) corner.colour = mesh->mapVerts(kVertexColorChannel)[colours[f][c]];
                    if (!uvs.empty()) corner.uv = mesh->mapVerts(1)[uvs[f][c]];
                    if (skin && v < skin->PointCount()) {
                        const auto [list, count] = skin->Point(v);
                        float total = 0;
                        for (size_t k = 0; k < count; ++k) total += std::max(0.0f, list[k].weight);
                        for (size_t k = 0; k < count; ++k)
                            if (list[k].weight / total > corner.weight + 1e-6f) {
                                corner.weight = list[k].weight / total;
                                corner.joint = skin->bones[list[k].bone].node->name();
                            }
                    }
                    corners.push_back(corner);
                }
        });
    return corners;
}

// Every corner of a has a corner of b at the same place (within tolerance) with the same
// colour, UV and strongest joint and weight; and the other way round, counted.
void ExpectSameCorners(std::vector<Corner> a, std::vector<Corner> b, float tolerance, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    const auto byX = [](const Corner& l, const Corner& r) { return l.position.x < r.position.x; };
    std::sort(a.begin(), a.end(), byX);
    std::sort(b.begin(), b.end(), byX);
    std::vector<bool> used(b.size(), false);
    size_t misses = 0;
    size_t start = 0;
    for (const Corner& corner : a) {
        while (start < b.size() && b[start].position.x < corner.position.x - tolerance) ++start;
        bool found = false;
        for (size_t j = start; j < b.size() && b[j].position.x <= corner.position.x + tolerance; ++j) {
            if (used[j] || (b[j].position - corner.position).Length() > tolerance) continue;
            if ((b[j].colour - corner.colour).Length() > 1e-5f || (b[j].uv - corner.uv).Length() > 1e-5f) continue;
            if (b[j].joint != corner.joint || std::fabs(b[j].weight - corner.weight) > 1e-5f) continue;
            used[j] = found = true;
            break;
        }
        if (!found && ++misses <= 3)
            ADD_FAILURE() << what << ": no match for the corner at " << corner.position.x << " " << corner.position.y
                          << " " << corner.position.z << " (joint " << corner.joint << ")";
    }
    EXPECT_EQ(misses, 0u) << what;
}

void ExpectSameScenes(HostScene& first, HostScene& second, const std::string& what,
                      const std::function<std::string(std::string)>& rename) {
    Facts a = FactsOf(first);
    const Facts b = FactsOf(second);
    if (rename) {
        std::multiset<std::string> names;
        for (const std::string& name : a.names) names.insert(rename(name));
        a.names = std::move(names);
        std::map<std::string, MeshFacts> meshes;
        for (const auto& [name, mesh] : a.meshes) meshes[rename(name)] = mesh;
        a.meshes = std::move(meshes);
    }
    EXPECT_EQ(a.names, b.names) << what;
    ASSERT_EQ(a.meshes.size(), b.meshes.size()) << what;
    for (const auto& [name, mesh] : a.meshes) {
        ASSERT_TRUE(b.meshes.count(name)) << what << " " << name;
        EXPECT_EQ(mesh.triangles, b.meshes.at(name).triangles) << what << " " << name;
        EXPECT_EQ(mesh.uvSets, b.meshes.at(name).uvSets) << what << " " << name;
        EXPECT_EQ(mesh.colours, b.meshes.at(name).colours) << what << " " << name;
    }
    ASSERT_EQ(a.clips.size(), b.clips.size()) << what;
    for (size_t i = 0; i < a.clips.size(); ++i) {
        EXPECT_EQ(a.clips[i].name, b.clips[i].name);
        EXPECT_EQ(a.clips[i].endFrame - a.clips[i].startFrame, b.clips[i].endFrame - b.clips[i].startFrame)
            << a.clips[i].name;
    }
    // Rest pose, and three times in the first clip (skinned meshes follow their joints).
    const float tolerance = 1e-4f * std::max(a.size, 1e-3f);
    std::vector<TimeValue> times{first.animRange().Start()};
    if (!a.clips.empty()) {
        const int tpf = first.ticksPerFrame();
        const TimeValue s = a.clips[0].startFrame * tpf, e = a.clips[0].endFrame * tpf;
        times.insert(times.end(), {s + (e - s) / 4, s + (e - s) / 2, e - (e - s) / 5});
    }
    for (TimeValue t : times) {
        const TimeValue t2 = t - first.animRange().Start() + second.animRange().Start();
        ExpectSameCorners(Corners(first, t), Corners(second, t2), tolerance,
                          what + " at tick " + std::to_string(t));
    }
}

}  // namespace scene_facts
