#include "host/import/import_shared.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numeric>
#include <system_error>

#include "core/atomic_write.h"
#include "core/file_guards.h"
#include "core/platform.h"
#include "host/objects/host_controllers.h"
#include "host/objects/host_objects.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Coordinates and names

Point3 AxisChange::Scale(const Point3& s) const {
    const Matrix3 m = Transform(ScaleMatrix(s));
    return Point3(m[0].x + m[0].y + m[0].z, m[1].x + m[1].y + m[1].z, m[2].x + m[2].y + m[2].z);
}

AxisChange MakeAxisChange(int upAxis, int upSign) {
    AxisChange change;
    const float s = upSign < 0 ? -1.0f : 1.0f;
    if (upAxis == 1) {
        // Y up: (x, y, z) -> (x, -z, y), a quarter turn about X (the other way for -Y).
        change.axes = Matrix3(Point3(1, 0, 0), Point3(0, 0, s), Point3(0, -s, 0), Point3(0, 0, 0));
    } else if (upAxis == 0) {
        // X up: (x, y, z) -> (-z, y, x), a quarter turn about Y (the other way for -X).
        change.axes = Matrix3(Point3(0, 0, s), Point3(0, 1, 0), Point3(-s, 0, 0), Point3(0, 0, 0));
    } else if (s < 0) {
        // -Z up: half a turn about X.
        change.axes = Matrix3(Point3(1, 0, 0), Point3(0, -1, 0), Point3(0, 0, -1), Point3(0, 0, 0));
    }
    change.inverse = Inverse(change.axes);
    return change;
}

bool Finite(const Matrix3& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (!std::isfinite(m[r][c])) return false;
    return true;
}

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

std::string UniqueNames::Make(std::string name, const std::string& fallback) {
    if (name.empty()) name = fallback;
    std::string candidate = name;
    for (int n = 2; !used_.insert(candidate).second; ++n) candidate = name + "_" + std::to_string(n);
    return candidate;
}

bool StartImportedScene(HostScene& scene, const std::string& path, int frameRate, std::string& error) {
    if (frameRate == 0) frameRate = kDefaultFrameRate;
    if (frameRate < 1 || frameRate > kTicksPerSecond || kTicksPerSecond % frameRate != 0) {
        error = path + ": frame rate " + std::to_string(frameRate) + " does not divide " +
                std::to_string(kTicksPerSecond) + " ticks per second";
        return false;
    }
    scene.SetFrameRate(frameRate);
    scene.SetTicksPerFrame(kTicksPerSecond / frameRate);
    // The exporter looks for textures beside the scene file: the model's folder, whichever
    // folder the command runs from.
    std::error_code ec;
    const fs::path file = platform::PathOf(path);
    const fs::path absolute = fs::absolute(file, ec);
    scene.SetCurFilePath(platform::Utf8Of((ec ? file : absolute).lexically_normal()));
    scene.SetAnimRange(Interval(0, 0));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Images and maps

namespace {

bool WriteWholeFile(const std::string& path, std::string_view bytes) { return platform::WriteWholeFile(path, bytes); }

// True when the file at path holds exactly bytes (an image an earlier import wrote).
bool FileHolds(const fs::path& path, std::string_view bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) != bytes.size() || ec) return false;
    std::ifstream in(path, std::ios::binary);
    std::string held(bytes.size(), '\0');
    return in.read(held.data(), static_cast<std::streamsize>(held.size())) && held == bytes;
}

}  // namespace

std::string ModelRelativeFile(const std::string& modelPath, const std::string& reference) {
    fs::path file = platform::PathOf(reference);
    if (file.is_relative()) file = platform::PathOf(modelPath).parent_path() / file;
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    return platform::Utf8Of((ec ? file : absolute).lexically_normal());
}

namespace {

// The model's folder, absolute, as messages name it.
std::string ModelFolder(const std::string& modelPath) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::path(modelPath), ec);
    const fs::path folder = (ec ? fs::path(modelPath) : absolute).lexically_normal().parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

}  // namespace

std::string ModelTextureFile(const std::string& modelPath, const std::string& reference, const ImportOptions& options) {
    const std::string file = ModelRelativeFile(modelPath, reference);
    const std::string folder = ModelFolder(modelPath);
    if (options.allowOutsideFiles || IsInsideFolderTree(file, folder)) return file;
    const std::string name = fs::path(file).filename().string();
    const std::string instead = ModelRelativeFile(modelPath, name.empty() ? std::string("_") : name);
    if (options.warnings)
        options.warnings->push_back(modelPath + ": the texture " + reference + " is outside the model's folder " +
                                    folder + " and was not read (--allow-outside-files reads it); the scene names " +
                                    instead + " instead");
    return instead;
}

std::string ModelDataFileProblem(const std::string& modelPath, const std::string& file, const std::string& reference,
                                 bool allowOutsideFiles) {
    const std::string folder = ModelFolder(modelPath);
    if (!allowOutsideFiles && !IsInsideFolderTree(file, folder))
        return reference + " is outside the model's folder " + folder + " (--allow-outside-files reads it)";
    std::string cause;
    if (!IsRegularFileToRead(file, &cause)) return file + " " + cause;
    return {};
}

std::string EmbeddedImages::Write(std::string_view content, const std::string& nameInFile, size_t index,
                                  std::string& problem) {
    // Made of the model's file name, legal like the image names.
    const std::string fallback =
        LegalImageName(fs::path(path_).filename().string(), "model") + "_texture" + std::to_string(index);
    const std::string stem = LegalImageName(nameInFile, fallback);
    std::string extension = ImageExtensionOfBytes(content.substr(0, 32));
    if (extension.empty()) extension = "bin";
    std::string name = stem + "." + extension;
    const auto folded = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const fs::path folder = options_.textureDirectory.empty() ? fs::path(".") : platform::PathOf(options_.textureDirectory);
    // A name taken by a file the model may not replace (not an image of its name's kind, the
    // model, a link out of the folder) is passed over like a name another image has.
    const auto replaceable = [&](const std::string& candidate) {
        if (options_.privateFolder) return true;
        const fs::path file = folder / candidate;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(file, ec);
        if (!fs::exists(status)) return true;
        if (IsLinkOutOfFolder(file.string(), folder.string())) return false;
        if (fs::equivalent(file, fs::path(path_), ec) && !ec) return false;
        return IsImageOfItsName(file.string()) || FileHolds(file, content);
    };
    for (int n = 2; !names_.insert(folded(name)).second || !replaceable(name); ++n)
        name = stem + "_" + std::to_string(n) + "." + extension;
    const fs::path& directory = folder;
    const fs::path target = directory / platform::PathOf(name);
    std::error_code ec;
    fs::create_directories(directory, ec);
    std::error_code absoluteError;
    const fs::path absolute = fs::absolute(target, absoluteError);
    const std::string result = platform::Utf8Of((absoluteError ? target : absolute).lexically_normal());
    const auto writePlainly = [&content](const std::string& file) { return WriteWholeFile(file, content); };
    bool saved = false;
    if (options_.staged) {
        // Staged under the name the scene gives it; the caller puts it in place with its other files.
        const std::string temp = options_.staged->Stage(result, StagedFiles::Existing::Replace);
        if (!temp.empty()) {
            saved = writePlainly(temp);
            if (!saved) options_.staged->Drop(result);
        }
    } else if (options_.privateFolder) {
        saved = writePlainly(target.string());
    } else {
        saved = WriteFileAtomically(target.string(), content);
    }
    if (!saved) {
        problem = "cannot write the embedded texture " + target.string();
        return {};
    }
    return result;
}

void ImportedMaterials::AddMap(HostStdMaterial& material, int slot, const std::string& file, int channel, int tiling,
                               const Matrix3& uvTransform, bool normalMap) {
    // One bitmap map per file and mapping, shared by the materials that use it alike.
    const std::string key = file + "|" + std::to_string(channel) + "|" + std::to_string(tiling) + "|" +
                            std::to_string(uvTransform[0].x) + "," + std::to_string(uvTransform[0].y) + "," +
                            std::to_string(uvTransform[1].x) + "," + std::to_string(uvTransform[1].y) + "," +
                            std::to_string(uvTransform[3].x) + "," + std::to_string(uvTransform[3].y);
    Texmap*& bitmap = bitmaps_[key];
    if (!bitmap) {
        auto map = std::make_unique<HostBitmapTex>();
        map->name = mapNames_.Make(fs::path(file).stem().string(), "Map");
        map->fileName = file;
        map->mapChannel = channel;
        map->tiling = tiling;
        map->uvTransform = uvTransform;
        bitmap = &scene_.materials().AddTexmap(std::move(map));
    }
    Texmap* map = bitmap;
    if (normalMap) {
        auto bump = std::make_unique<HostNormalBump>();
        bump->name = mapNames_.Make(std::string(bitmap->GetName()) + "_normal", "Normal");
        bump->normalMap = bitmap;
        bump->mapChannel = channel;
        map = &scene_.materials().AddTexmap(std::move(bump));
    }
    material.maps[slot] = map;
    material.mapEnabled[slot] = true;
}

Mtl* ImportedMaterials::ForNode(const std::vector<unsigned>& indices, const std::string& nodeName,
                                const std::function<Mtl*(unsigned)>& material) {
    if (indices.size() == 1) return material(indices[0]);
    auto found = multiMaterials_.find(indices);
    if (found != multiMaterials_.end()) return found->second;
    auto multi = std::make_unique<HostMultiMaterial>();
    multi->name = materialNames_.Make(nodeName + "_materials", "Materials");
    for (unsigned index : indices) multi->subMaterials.push_back(material(index));
    Mtl* made = &scene_.materials().AddMaterial(std::move(multi));
    multiMaterials_.emplace(indices, made);
    return made;
}

void SetMaterialColours(HostStdMaterial& material, const ImportedColours& colours) {
    float opacity = 1;
    if (colours.hasDiffuse) {
        material.diffuse = colours.diffuse;
        material.ambient = material.diffuse;
        opacity = colours.diffuseAlpha;
    }
    if (colours.hasOpacity) opacity = std::min(opacity, colours.opacity);
    material.transparency = std::clamp(1.0f - opacity, 0.0f, 1.0f);

    // The X file's specular colour is specular * strength / 10: a strength of 10 carries the
    // file's colour unchanged (times its own strength factor, when it gives one).
    if (colours.hasSpecular) {
        material.specular = colours.specular;
        const float strength = colours.specularStrength;
        material.shininessStrength = std::isfinite(strength) ? std::max(0.0f, strength) * 10.0f : 10.0f;
    }
    // Shininess is the specular exponent; the host keeps a hundredth of it.
    if (colours.hasShininess && std::isfinite(colours.shininess))
        material.shininess = std::max(0.0f, colours.shininess) / 100.0f;
    else
        material.shininess = 0;
    const Color& e = colours.emission;
    if (e.r > 0 || e.g > 0 || e.b > 0) {
        material.selfIllumColorOn = true;
        material.selfIllumColor = e;
    }
}

bool SkinBoneFromOffset(HostDeformerBone& bone, HostNode& node, const Matrix3& offset, const Matrix3& meshPose) {
    bone.node = &node;
    const Matrix3 pose = Inverse(offset) * meshPose;
    if (!Finite(offset) || !Finite(pose)) return false;
    bone.initTM = pose;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Meshes and nodes

bool PrepareMergedMesh(::Mesh& out, const MergedMeshShape& shape, const std::string& nodeName, std::string& problem) {
    // The merged mesh must stay within what a scene document can hold, so that a dump of the
    // scene loads again (and far from the 32-bit index range).
    if (shape.vertices > kMaxImportArrayElements / 3 || shape.faces > kMaxImportArrayElements / 3) {
        problem = "node " + nodeName + " has more geometry than the host takes (" + std::to_string(shape.vertices) +
                  " vertices, " + std::to_string(shape.faces) + " triangles)";
        return false;
    }
    const uint32_t vertexCount = static_cast<uint32_t>(shape.vertices);
    const uint32_t faceCount = static_cast<uint32_t>(shape.faces);
    out.setNumVerts(static_cast<int>(vertexCount));
    out.setNumFaces(static_cast<int>(faceCount));
    if (shape.normals) {
        MeshNormalSpec& normals = out.SpecifyNormals();
        normals.normals.reserve(static_cast<size_t>(shape.normalCount));
        if (shape.partWithoutNormals)
            normals.faces.resize(faceCount);
        else
            normals.ShareMeshFaces();
    }
    for (int k = 0; k < shape.uvSets; ++k) {
        out.setMapSupport(k + 1, true);
        out.Map(k + 1).tv.assign(vertexCount, Point3());
        out.Map(k + 1).ShareMeshFaces();
    }
    if (shape.colours) {
        for (int channel : {kVertexColorChannel, kVertexAlphaChannel}) {
            out.setMapSupport(channel, true);
            out.Map(channel).tv.assign(vertexCount, Point3(1, 1, 1));
            out.Map(channel).ShareMeshFaces();
        }
    }
    return true;
}

bool FinishMergedMesh(HostScene& scene, HostNode& node, ::Mesh&& mesh, std::string& problem) {
    for (const Point3& p : mesh.verts)
        if (!Finite(p)) {
            problem = "mesh of node " + node.name() + " has a vertex that is not finite";
            return false;
        }
    if (MeshNormalSpec* normals = mesh.GetSpecifiedNormals())
        for (Point3& n : normals->normals)
            if (!Finite(n)) n = Point3(0, 0, 0);
    // A texture coordinate or colour that is not finite would make the X file unwritable; the
    // rest of the channel is sound, so the value becomes 0 and the user is told.
    for (int channel = kMapChannelMin; channel <= kMapChannelMax; ++channel) {
        if (!mesh.mapSupport(channel)) continue;
        size_t bad = 0;
        for (Point3& p : mesh.Map(channel).tv)
            if (!Finite(p)) {
                p = Point3(0, 0, 0);
                ++bad;
            }
        if (bad == 0) continue;
        const std::string what = channel == kVertexColorChannel ? "vertex colours"
                                 : channel == kVertexAlphaChannel
                                     ? "vertex alphas"
                                     : "texture coordinate set " + std::to_string(channel - 1);
        scene.AddImportWarning(scene.filePath() + ": mesh of node " + node.name() + ": " + std::to_string(bad) +
                               " of its " + what + (bad == 1 ? " is" : " are") +
                               " not finite (NaN or infinite) and written as 0");
    }
    Object& object = scene.AddObject(std::make_unique<HostTriObject>(std::move(mesh)));
    node.SetObject(&object);
    return true;
}

void SetEmptyNodeObject(HostScene& scene, HostNode& node, bool bone, bool camera, bool light) {
    Class_ID classId = kDummyClassId;
    SClass_ID superClassId = kHelperClassId;
    if (bone) {
        classId = kBoneObjectClassId;
        superClassId = kGeomObjectClassId;
    }
    if (camera) classId = Class_ID(0x1001, 0), superClassId = kCameraClassId;
    if (light) classId = Class_ID(0x1011, 0), superClassId = kLightClassId;
    Object& object = scene.AddObject(std::make_unique<HostClassedObject>(classId, superClassId));
    node.SetObject(&object);
}

// ---------------------------------------------------------------------------------------------
// Animation

bool KeyTick(double time, double ticksPerSecond, TimeValue& tick) {
    const double seconds = std::max(0.0, time) / ticksPerSecond;
    const double ticks = std::round(seconds * kTicksPerSecond);
    if (!std::isfinite(ticks) || ticks > double(std::numeric_limits<TimeValue>::max() / 2)) return false;
    tick = static_cast<TimeValue>(ticks);
    return true;
}

TimeValue LastKey(const ImportedAnimation& animation) {
    TimeValue last = 0;
    for (const auto& entry : animation.nodes) {
        const ImportedNodeKeys& keys = entry.second;
        for (const auto* times : {&keys.position.times, &keys.rotation.times, &keys.scale.times})
            if (!times->empty()) last = std::max(last, times->back());
    }
    return last;
}

namespace {

void AppendClipKeys(std::vector<TimeValue>& times, std::vector<float>& values, const std::vector<TimeValue>& keyTimes,
                    const float* keyValues, int dimension, TimeValue start, TimeValue end) {
    // The clip's keys on the timeline, held flat to the clip's first and last frame, so that no
    // clip reads into its neighbours.
    auto push = [&](TimeValue t, const float* v) {
        times.push_back(t);
        values.insert(values.end(), v, v + dimension);
    };
    if (keyTimes.front() + start > start) push(start, keyValues);
    for (size_t i = 0; i < keyTimes.size(); ++i) push(start + keyTimes[i], keyValues + i * dimension);
    if (keyTimes.back() + start < end) push(end, keyValues + (keyTimes.size() - 1) * dimension);
}

}  // namespace

int FrameRateOfKeys(const std::vector<ImportedAnimation>& animations) {
    // A rate holds every time when its ticks per frame divide the greatest common divisor of the
    // times (and of the ticks per second, so that the divisor of no time at all is the whole second).
    TimeValue common = kTicksPerSecond;
    for (const ImportedAnimation& animation : animations) {
        common = std::gcd(common, animation.last);
        for (const auto& entry : animation.nodes) {
            const ImportedNodeKeys& keys = entry.second;
            for (const auto* times : {&keys.position.times, &keys.rotation.times, &keys.scale.times})
                for (TimeValue time : *times) common = std::gcd(common, time);
        }
    }
    const auto holds = [common](int rate) { return common % (kTicksPerSecond / rate) == 0; };
    if (holds(kDefaultFrameRate)) return kDefaultFrameRate;
    for (int rate = 24; rate <= 120; ++rate)
        if (kTicksPerSecond % rate == 0 && holds(rate)) return rate;
    return kDefaultFrameRate;
}

bool LayOutAnimations(HostScene& scene, std::vector<ImportedAnimation>& animations, int frameRate,
                      std::vector<ImportedClip>* clips, const std::string& path, std::string& error) {
    if (clips) clips->clear();
    if (animations.empty()) return true;
    if (frameRate == 0) {
        frameRate = FrameRateOfKeys(animations);
        scene.SetFrameRate(frameRate);
        scene.SetTicksPerFrame(kTicksPerSecond / frameRate);
    }
    const TimeValue ticksPerFrame = kTicksPerSecond / frameRate;
    for (const ImportedAnimation& animation : animations) {
        for (const auto& [node, keys] : animation.nodes) {
            const std::string nodeName = node->name();  // (clang before 16 cannot capture a structured binding)
            const auto warn = [&](const char* channel, uint32_t count, const char* why) {
                if (count == 0) return;
                const std::string name = animation.name.empty() ? std::string("(unnamed)") : animation.name;
                scene.AddImportWarning(path + ": animation " + name + ", node " + nodeName + ", " + channel +
                                       ": " + std::to_string(count) + (count == 1 ? " key " : " keys ") + why +
                                       (count == 1 ? " was" : " were") + " left out");
            };
            const char* behind = "at or before the time of the key before it";
            const char* notFinite = "not finite (NaN or infinite, also once turned to the scene's axes)";
            warn("translation", keys.position.notAfter, behind);
            warn("rotation", keys.rotation.notAfter, behind);
            warn("scale", keys.scale.notAfter, behind);
            warn("translation", keys.position.notFinite, notFinite);
            warn("rotation", keys.rotation.notFinite, notFinite);
            warn("scale", keys.scale.notFinite, notFinite);
        }
    }

    struct Clip {
        ImportedClip clip;
        TimeValue start = 0, end = 0;
    };
    std::vector<Clip> timeline;
    std::set<std::string> clipNames;
    int32_t nextFrame = 0;
    for (size_t a = 0; a < animations.size(); ++a) {
        const ImportedAnimation& animation = animations[a];
        const int64_t frames = (int64_t(animation.last) + ticksPerFrame - 1) / ticksPerFrame;
        if (!animation.fits ||
            int64_t(nextFrame) + frames + 1 > int64_t(std::numeric_limits<TimeValue>::max() / ticksPerFrame / 2)) {
            error = path + ": animation " + animation.name + " is too long for the timeline";
            return false;
        }
        std::string name = LegalClipName(animation.name, a);
        const std::string base = name;
        for (int n = 2; !clipNames.insert(name).second; ++n) {
            const std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, 31 - suffix.size()) + suffix;
        }
        Clip clip;
        clip.clip = ImportedClip{name, nextFrame, nextFrame + static_cast<int32_t>(frames)};
        clip.start = clip.clip.startFrame * ticksPerFrame;
        clip.end = clip.clip.endFrame * ticksPerFrame;
        // One free frame between clips keeps each clip's first and last keys apart.
        nextFrame = clip.clip.endFrame + 1;
        timeline.push_back(std::move(clip));
    }
    scene.SetAnimRange(Interval(0, timeline.back().end));
    if (clips)
        for (const Clip& clip : timeline) clips->push_back(clip.clip);

    // Every moved node gets one track per moved channel over the whole timeline. A clip that
    // leaves the channel alone holds the node's rest value through its frames.
    std::vector<HostNode*> moved;
    for (const ImportedAnimation& animation : animations)
        for (const auto& entry : animation.nodes)
            if (std::find(moved.begin(), moved.end(), entry.first) == moved.end()) moved.push_back(entry.first);
    for (HostNode* node : moved) {
        Point3 restPosition, restScale;
        Quat restRotation;
        DecomposeMatrix(node->localTransform(), restPosition, restRotation, restScale);

        HostKeyData position{3, HostInterpolation::Linear, {}, {}, {}, {}};
        HostKeyData rotation{4, HostInterpolation::Linear, {}, {}, {}, {}};
        HostKeyData scale{3, HostInterpolation::Linear, {}, {}, {}, {}};
        bool anyPosition = false, anyRotation = false, anyScale = false;
        // Keys per channel over all clips, at most: each clip's own (or one) and its two ends.
        size_t positions = 0, rotations = 0, scales = 0;
        for (const ImportedAnimation& animation : animations) {
            positions += 3, rotations += 3, scales += 3;
            auto it = animation.nodes.find(node);
            if (it == animation.nodes.end()) continue;
            anyPosition |= !it->second.position.times.empty();
            anyRotation |= !it->second.rotation.times.empty();
            anyScale |= !it->second.scale.times.empty();
            positions += it->second.position.times.size();
            rotations += it->second.rotation.times.size();
            scales += it->second.scale.times.size();
        }
        const auto reserve = [](HostKeyData& track, bool any, size_t keys) {
            if (!any) return;
            track.times.reserve(keys);
            track.values.reserve(keys * size_t(track.dimension));
        };
        reserve(position, anyPosition, positions);
        reserve(rotation, anyRotation, rotations);
        reserve(scale, anyScale, scales);
        for (size_t a = 0; a < animations.size(); ++a) {
            const Clip& clip = timeline[a];
            auto it = animations[a].nodes.find(node);
            const ImportedNodeKeys* keys = it != animations[a].nodes.end() ? &it->second : nullptr;
            const std::vector<TimeValue> restTime{0};
            if (anyPosition) {
                const bool own = keys && !keys->position.times.empty();
                AppendClipKeys(position.times, position.values, own ? keys->position.times : restTime,
                               own ? &keys->position.values[0].x : &restPosition.x, 3, clip.start, clip.end);
            }
            if (anyRotation) {
                const bool own = keys && !keys->rotation.times.empty();
                AppendClipKeys(rotation.times, rotation.values, own ? keys->rotation.times : restTime,
                               own ? &keys->rotation.values[0].x : &restRotation.x, 4, clip.start, clip.end);
            }
            if (anyScale) {
                const bool own = keys && !keys->scale.times.empty();
                AppendClipKeys(scale.times, scale.values, own ? keys->scale.times : restTime,
                               own ? &keys->scale.values[0].x : &restScale.x, 3, clip.start, clip.end);
            }
        }
        auto control = std::make_unique<HostTransformControl>();
        if (anyPosition) control->SetPosition(std::make_unique<HostKeyTrack>(std::move(position)));
        if (anyRotation) control->SetRotation(std::make_unique<HostKeyTrack>(std::move(rotation)));
        if (anyScale) control->SetScale(std::make_unique<HostKeyTrack>(std::move(scale)));
        node->SetController(std::move(control));
    }
    return true;
}
