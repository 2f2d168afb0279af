#include "material/material_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/platform.h"
#include "core/staged_files.h"
#include "effect/effect_file.h"
#include "material/bake_texmap.h"
#include "material/file_output.h"
#include "options/export_options.h"
#include "core/paths.h"

namespace fs = std::filesystem;

namespace {

struct Output {
    const MaterialOutputContext& context;
    MaterialOutputResult result;

    const ExportOptions& options() const { return context.options; }
    StagedFiles::Existing TextureRule() const {
        return options().OverwriteTexture ? StagedFiles::Existing::Replace : StagedFiles::Existing::Keep;
    }
    bool Fail(const std::string& kind, const std::string& target, const std::string& cause) {
        result.ok = false;
        result.error = "The " + kind + " " + target + " could not be written: " + cause + ".";
        return false;
    }
};

// Stages target unless something that is not a regular file (a folder, a pipe) is in the way:
// that file is left alone with a warning, and the X file still names the target.
std::string StageUnlessBlocked(Output& out, const std::string& kind, const std::string& target,
                               StagedFiles::Existing rule) {
    std::string cause;
    if (!StagedFiles::CheckTarget(target, &cause)) {
        out.result.warnings.push_back("The " + kind + " " + target + " was not written: " + cause + ".");
        return {};
    }
    return out.context.staged.Stage(target, rule);
}

// Why the file at target may not be replaced by a file of this kind made from source (empty
// when it may, or when nothing is there).
std::string ReplaceProblem(const Output& out, const std::string& kind, const std::string& target,
                           const std::string& source) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(fs::path(target), ec);
    if (!fs::exists(status)) return {};
    if (fs::is_symlink(status) && IsLinkOutOfFolder(target, out.context.outputDirectory))
        return "it is a symbolic link that leads out of the folder";
    if (!source.empty() && fs::equivalent(fs::path(source), fs::path(target), ec) && !ec) return {};  // in place
    if (const KeptFiles* kept = out.context.kept) {
        if (kept->reads.Contains(target)) return "it is a file that the export reads";
        if (!kept->sceneFile.empty() && fs::equivalent(fs::path(kept->sceneFile), fs::path(target), ec) && !ec)
            return "it is the scene file being exported";
        if (!kept->optionsFile.empty() && fs::equivalent(fs::path(kept->optionsFile), fs::path(target), ec) && !ec)
            return "it is the options file";
    }
    // Something that is no regular file (a folder, a pipe) is never written to; staging says so.
    if (!fs::is_regular_file(fs::status(fs::path(target), ec))) return {};
    // A copy made by an earlier export of the same source is replaced whatever its format.
    if ((kind == "texture file" || kind == "baked map") && !IsImageOfItsName(target) &&
        !(!source.empty() && SameContent(source, target)))
        return "it is not an image of the kind its name says";
    return {};
}

// A file name in the output directory for a file of this kind made from sourceKey's content:
// fileName, or the next free name when another source has it or the file there may not be
// replaced (with a warning). source is the file copied, if any.
std::string ClaimFileName(Output& out, const std::string& kind, const std::string& fileName,
                          const std::string& sourceKey, const std::string& source) {
    const std::string& directory = out.context.outputDirectory;
    std::string refused, reason;
    const auto usable = [&](const std::string& name) {
        const std::string target = FileInDirectory(directory, name);
        if (target.empty()) return true;
        std::string problem;
        if (const KeptFiles* kept = out.context.kept; kept && !kept->xFile.empty()) {
            std::error_code ec;
            const fs::path a = fs::absolute(fs::path(target), ec).lexically_normal();
            const fs::path b = fs::absolute(fs::path(kept->xFile), ec).lexically_normal();
            if (a == b || (fs::equivalent(a, b, ec) && !ec)) problem = "it is the X file's name";
        }
        if (problem.empty()) problem = ReplaceProblem(out, kind, target, source);
        if (problem.empty()) return true;
        if (refused.empty()) {
            refused = target;
            reason = problem;
        }
        return false;
    };
    const std::string name = out.context.staged.ClaimName(directory, fileName, sourceKey, usable);
    if (!refused.empty())
        out.result.warnings.push_back("The " + kind + " " + refused + " was not replaced (" + reason + "): the " +
                                      kind + " is written as " + FileInDirectory(directory, name) + " instead.");
    return name;
}

// The identity of a source file for name claims: its absolute path with "." and ".." removed.
std::string SourceKey(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::weakly_canonical(platform::PathOf(path), ec);
    return "file:" + (ec ? path : platform::Utf8Of(absolute));
}

bool IsReadableRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(platform::PathOf(path), ec) && !ec;
}

// Copies source into the staged temporary temp. A source that cannot be opened or read is
// dropped quietly (as a missing one is); a temporary that cannot be written fails the export.
bool CopyIntoStage(Output& out, const std::string& kind, const std::string& source, const std::string& target,
                   const std::string& temp) {
    std::FILE* in = platform::OpenFile(source, "rb");
    if (in == nullptr) {
        out.context.staged.Drop(target);
        return true;
    }
    std::FILE* file = platform::OpenCopyOf(temp, in);
    if (file == nullptr) {
        const int error = errno;
        std::fclose(in);
        out.context.staged.Drop(target);
        return out.Fail(kind, target, DescribeFileError(error));
    }
    std::vector<char> buffer(size_t(1) << 16);
    int writeError = 0;
    bool readFailed = false;
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got > 0 && std::fwrite(buffer.data(), 1, got, file) != got) {
            writeError = errno ? errno : EIO;
            break;
        }
        if (got < buffer.size()) {
            readFailed = std::ferror(in) != 0;
            break;
        }
    }
    std::fclose(in);
    if (std::fclose(file) != 0 && writeError == 0) writeError = errno ? errno : EIO;
    if (writeError != 0 || readFailed) out.context.staged.Drop(target);
    if (writeError != 0) return out.Fail(kind, target, DescribeFileError(writeError));
    return true;
}

bool WriteIntoStage(Output& out, const std::string& kind, const std::string& target, const std::string& temp,
                    const std::string& text) {
    std::FILE* file = platform::OpenFile(temp, "wb");
    int error = file == nullptr ? errno : 0;
    if (file != nullptr) {
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) error = errno ? errno : EIO;
        if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
    }
    if (error == 0) return true;
    out.context.staged.Drop(target);
    return out.Fail(kind, target, DescribeFileError(error));
}

// Copies a texture or effect file into the output directory under fileName (claimed for the
// source). Returns false only when the export must stop; *name receives the file name used.
bool StageCopy(Output& out, const std::string& kind, const std::string& source, const std::string& fileName,
               StagedFiles::Existing rule, std::string* name) {
    *name = ClaimFileName(out, kind, fileName, SourceKey(source), source);
    const std::string target = FileInDirectory(out.context.outputDirectory, *name);
    if (target.empty() || !IsReadableRegularFile(source)) return true;
    std::error_code ec;
    if (fs::equivalent(platform::PathOf(source), platform::PathOf(target), ec) && !ec) return true;  // already in place
    const std::string temp = StageUnlessBlocked(out, kind, target, rule);
    if (temp.empty()) return true;
    return CopyIntoStage(out, kind, source, target, temp);
}

bool StageBake(Output& out, XTextureSlot& slot) {
    StagedFiles& staged = out.context.staged;
    const std::string stem = slot.textureName.empty() ? std::string("Map") : slot.textureName;
    char key[64];
    std::snprintf(key, sizeof key, "map:%p", static_cast<const void*>(slot.procMap));
    slot.fileName = ClaimFileName(out, "baked map", stem + ".bmp", key, {});
    const std::string target = FileInDirectory(out.context.outputDirectory, slot.fileName);
    if (target.empty()) return true;
    const std::string temp = StageUnlessBlocked(out, "baked map", target, out.TextureRule());
    if (temp.empty()) return true;

    const int width = out.options().ProcMapX;
    const int height = out.options().ProcMapY;
    const auto warn = [&](const std::string& cause) {
        staged.Drop(target);
        out.result.warnings.push_back("The procedural map " + slot.textureName + " was not baked into " + target +
                                      ": " + cause + ". The X file names the file all the same.");
        return true;
    };
    if (width < 1 || height < 1 || width > kMaxBakeSide || height > kMaxBakeSide ||
        int64_t(width) * int64_t(height) > kMaxBakePixels)
        return warn("the size " + std::to_string(width) + " x " + std::to_string(height) + " is not between 1 and " +
                    std::to_string(kMaxBakeSide) + " pixels a side (at most " + std::to_string(kMaxBakePixels) +
                    " pixels)");
    if (out.context.bitmaps == nullptr) return warn("the host offers no bitmaps");
    errno = 0;
    if (!BakeTexmap(out.context.bitmaps, slot.procMap, width, height, temp)) {
        const int error = errno;
        staged.Drop(target);
        // The host's bitmap writer failed; a full or read-only folder stops the export, anything
        // else only loses this map.
        if (error == ENOSPC || error == EACCES || error == EPERM || error == EROFS || error == EIO)
            return out.Fail("baked map", target, DescribeFileError(error));
        return warn("the host could not make or write the bitmap");
    }
    return true;
}

// Bakes and copies the used slots' files. Returns the number of used slots through *used.
bool StageTextures(Output& out, XMaterial& record, int* used) {
    *used = 0;
    for (XTextureSlot& slot : record.slots) {
        if (!slot.used()) continue;
        ++*used;
        if (!out.options().TextureFiles) continue;
        if (slot.procMap) {
            if (!StageBake(out, slot)) return false;
        } else if (!slot.sourcePath.empty()) {
            std::string name;
            if (!StageCopy(out, "texture file", slot.sourcePath, slot.fileName, out.TextureRule(), &name))
                return false;
            slot.fileName = name;
        }
    }
    return true;
}

bool IsEffect(const XMaterialEntry& entry) { return entry.kind == kEffectMaterial; }

bool GenerateEffect(Output& out, XEffectMaterial& record, const MaterialNodeView* node) {
    const ExportOptions& options = out.options();
    XEffectFile effect;
    effect.diffuse = record.diffuse;
    effect.power = record.power;
    effect.specular = record.specular;
    effect.emissive = record.emissive;
    effect.normal = options.Normal;
    effect.tangent = options.Tangent;
    effect.bitangent = options.BiTangent;
    effect.vertexColor = options.VertexColor;
    effect.diffuseMapColor = options.DiffuseMapColor;

    for (const XTextureSlot& slot : record.slots) {
        if (!node || !slot.used()) continue;
        const int32_t set = TexCoordSetOfChannel(slot.mapChannel, node->channels, node->channelMap);
        if (set < 0) continue;
        effect.AddTexture(slot.usage, set, slot.addressU, slot.addressV, slot.textureName);
        record.stringParams.push_back({slot.textureName, slot.fileName});
    }

    // One effect file per node, or per node and material when the node has several.
    size_t effectCount = 0;
    if (node && node->materials)
        effectCount = static_cast<size_t>(std::count_if(node->materials->begin(), node->materials->end(),
                                                        [](const auto& entry) { return entry && IsEffect(*entry); }));
    const std::string wanted =
        node ? std::string(node->name) + (effectCount > 1 ? "_" + record.name : std::string()) + ".fx"
             : record.name + ".fx";  // a shared record has no node to name it
    const std::string text = effect.GenerateText(options);
    record.effectFile = ClaimFileName(out, "effect file", wanted, "fx:" + text, {});
    if (!options.TextureFiles) return true;

    const std::string target = FileInDirectory(out.context.outputDirectory, record.effectFile);
    if (target.empty()) return true;
    const std::string temp = StageUnlessBlocked(out, "effect file", target, out.TextureRule());
    if (temp.empty()) return true;
    return WriteIntoStage(out, "effect file", target, temp, text);
}

bool OutputRecord(Output& out, XMaterialEntry* entry, const MaterialNodeView* node) {
    if (entry == nullptr || entry->kind == kMaterialRef) return true;
    auto& record = static_cast<XMaterial&>(*entry);
    int used = 0;
    if (!StageTextures(out, record, &used)) return false;
    if (used == 0 || !IsEffect(record)) return true;

    auto& effect = static_cast<XEffectMaterial&>(record);
    if (!effect.effectValid) return GenerateEffect(out, effect, node);
    if (!out.options().DxFx || effect.effectFile.empty()) return true;
    const StagedFiles::Existing rule =
        out.options().OverwriteFX ? StagedFiles::Existing::Replace : StagedFiles::Existing::Keep;
    std::string name;
    if (!StageCopy(out, "effect file", effect.effectFile, FileNameOf(effect.effectFile), rule, &name)) return false;
    // The EffectInstance names the file by its name alone; a renamed copy is named as copied.
    if (name != FileNameOf(effect.effectFile)) effect.effectFile = name;
    return true;
}

}  // namespace

int32_t TexCoordSetOfChannel(int32_t mapChannel, std::span<const int32_t> channels,
                             std::span<const int32_t> channelMap) {
    const auto found = std::find(channels.begin(), channels.end(), mapChannel);
    if (found == channels.end()) return -1;
    const size_t position = static_cast<size_t>(found - channels.begin());
    if (position >= channelMap.size()) return -1;
    const int32_t shared = channelMap[position];
    if (shared < 0 || static_cast<size_t>(shared) >= channelMap.size()) return -1;
    int32_t own = 0;
    for (int32_t i = 0; i <= shared; ++i) own += channelMap[static_cast<size_t>(i)] == i ? 1 : 0;
    return own - 1;
}

bool OutputMaterialRecord(const MaterialOutputContext& context, XMaterialEntry* entry, const MaterialNodeView* node,
                          MaterialOutputResult* result) {
    Output out{context, std::move(*result)};
    const bool ok = OutputRecord(out, entry, node);
    *result = std::move(out.result);
    return ok;
}

MaterialOutputResult OutputMaterialFiles(const MaterialOutputContext& context, XMaterialTable& table,
                                         std::span<const MaterialNodeView> nodes) {
    Output out{context, {}};
    for (const std::unique_ptr<XMaterial>& record : table)
        if (!OutputRecord(out, record.get(), nullptr)) return out.result;
    for (const MaterialNodeView& node : nodes) {
        if (node.materials == nullptr) continue;
        for (const std::unique_ptr<XMaterialEntry>& entry : *node.materials)
            if (!OutputRecord(out, entry.get(), &node)) return out.result;
    }
    return out.result;
}
