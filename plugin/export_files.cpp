#include "plugin/export_files.h"

#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/paths.h"
#include "core/staged_files.h"
#include "material/material_output.h"
#include "options/options_file.h"
#include "mesh/mesh_data.h"
#include "plugin/driver_texts.h"
#include "scene/export_context.h"
#include "scene/xnode.h"
#include "xfile/write_xfile.h"

namespace fs = std::filesystem;

namespace {

void ShowFailure(ExportContext& exporter, const std::string& text) { exporter.messages.Fail(text); }

void ShowXFileFailure(ExportContext& exporter, const std::string& outputPath, const std::string& cause) {
    ShowFailure(exporter, "The X file " + outputPath + " could not be written: " + cause + ".");
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    return fs::equivalent(fs::path(a), fs::path(b), ec) && !ec;
}

// A stop request ends the export through the meter (the staged files are discarded on the way).
bool Cancelled(ExportContext& exporter) {
    exporter.meter.CheckCancel();
    return false;
}

// The staged files that are images the X file does not name: without Multi-Textures a plain
// material names only its main texture, while the textures of its other slots are copied too.
// Effect materials name theirs through their effect.
uint32_t CountUnnamedImages(const ExportOptions& options, const XMaterialTable& table,
                            const std::vector<MaterialNodeView>& views, const std::vector<std::string>& targets,
                            const std::string& outputPath) {
    if (options.MultiTextures) return 0;
    std::unordered_set<std::string> named;
    std::unordered_set<const XMaterial*> seen;
    const auto name = [&](const XMaterial* record) {
        if (record == nullptr || !seen.insert(record).second) return;
        const int main = record->MainSlot();
        for (int i = 0; i < kTextureSlotCount; ++i)
            if (record->slots[i].used() && (record->kind == kEffectMaterial || i == main))
                named.insert(record->slots[i].fileName);
    };
    for (const std::unique_ptr<XMaterial>& record : table) name(record.get());
    for (const MaterialNodeView& view : views)
        for (const std::unique_ptr<XMaterialEntry>& entry : *view.materials) name(ResolveMaterialEntry(entry.get(), table));
    uint32_t unnamed = 0;
    for (const std::string& target : targets) {
        const fs::path path(target);
        if (target != outputPath && path.extension() != ".fx" && named.count(path.filename().string()) == 0) ++unnamed;
    }
    return unnamed;
}

}  // namespace

XFileRecords WriterRecords(const ExportContext& exporter) {
    return XFileRecords{exporter.options(), exporter.topLevelNodes, exporter.materialTable, exporter.clips(),
                        exporter.rootFrameName, exporter.rootFrameMatrix, exporter.ticksPerSecond};
}

bool CheckOutputTarget(ExportContext& exporter, const std::string& outputPath) {
    std::string cause;
    if (!StagedFiles::CheckTarget(outputPath, &cause) || !StagedFiles::CanCreateBeside(outputPath, &cause)) {
        ShowXFileFailure(exporter, outputPath, cause);
        return false;
    }
    const std::string scene = exporter.ip ? exporter.ip->GetCurFilePath() : std::string();
    if (SameFile(outputPath, scene)) {
        ShowXFileFailure(exporter, outputPath, "it is the scene file being exported");
        return false;
    }
    return true;
}

bool WriteAndCommit(ExportContext& exporter, const std::string& outputPath, uint32_t* files, uint64_t* bytes,
                    uint32_t* unnamed) {
    RemoveStaleTemporaries(exporter.outputDirectory);

    const ExportOptions& options = exporter.options();
    const bool materialsWritten = options.Mtl && !(options.Animation && options.OnlyAnimationSet);
    XMaterialTable noTable;
    XMaterialTable& table = materialsWritten ? exporter.materialTable : noTable;
    const XFileRecords records = WriterRecords(exporter);
    std::vector<MaterialNodeView> views;
    for (XRenderableNode* node : WrittenMaterialNodes(records))
        views.push_back({node->name, &node->materials, node->meshData->channels, node->meshData->channelMap});

    // The files the export reads must not be replaced by the file it writes, nor by the files
    // the materials make. Many nodes share a record and many records a file, so each record
    // and each file is looked at once.
    KeptFiles kept;
    kept.sceneFile = exporter.ip ? exporter.ip->GetCurFilePath() : std::string();
    kept.optionsFile = exporter.ip ? ConfigFilePath(exporter.ip->GetDir(kDirPlugCfg)) : std::string();
    kept.xFile = outputPath;
    std::unordered_set<const XMaterial*> seenRecords;
    std::unordered_set<std::string> seenFiles;
    const auto isOutput = [&](const std::string& file) {
        if (!seenFiles.insert(file).second) return false;
        kept.reads.Add(file);
        return SameFile(outputPath, file);
    };
    const auto readsOutput = [&](const XMaterial* record) {
        if (record == nullptr || !seenRecords.insert(record).second) return false;
        for (const XTextureSlot& slot : record->slots)
            if (slot.used() && !slot.procMap && isOutput(slot.sourcePath)) return true;
        const auto* effect = record->kind == kEffectMaterial ? static_cast<const XEffectMaterial*>(record) : nullptr;
        return effect && effect->effectValid && isOutput(effect->effectFile);
    };
    bool reads = false;
    for (const std::unique_ptr<XMaterial>& record : table) reads = reads || readsOutput(record.get());
    for (const MaterialNodeView& view : views)
        for (const std::unique_ptr<XMaterialEntry>& entry : *view.materials)
            reads = reads || readsOutput(ResolveMaterialEntry(entry.get(), exporter.materialTable));
    if (reads) {
        ShowXFileFailure(exporter, outputPath, "it is a texture or effect file that the export reads");
        return false;
    }

    StagedFiles staged;
    // The X file's name is taken first: a texture or effect file that would have it gets a name
    // of its own.
    staged.ClaimName(exporter.outputDirectory, FileNameOf(outputPath), "x:" + outputPath);
    const MaterialOutputContext context{options, exporter.ip ? exporter.ip->GetBitmapManager() : nullptr,
                                        exporter.outputDirectory, staged, &kept};
    const MaterialOutputResult materials = OutputMaterialFiles(context, table, views);
    for (const std::string& warning : materials.warnings) exporter.messages.Show(warning, kWarningCaption);
    if (!materials.ok) {
        ShowFailure(exporter, materials.error);
        return false;
    }
    if (Cancelled(exporter)) return false;
    staged.StartSync();  // the material files are complete: to the disk while the X file is written

    std::string cause;
    const std::string temp = staged.Stage(outputPath, StagedFiles::Existing::Replace);
    if (temp.empty()) {
        ShowXFileFailure(exporter, outputPath, "it names no file");
        return false;
    }
    if (!WriteXFile(records, exporter.meter, temp, &cause)) {
        if (!cause.empty()) ShowXFileFailure(exporter, outputPath, cause);
        return false;
    }
    if (Cancelled(exporter)) return false;

    const uint32_t unnamedImages = CountUnnamedImages(options, table, views, staged.Targets(), outputPath);
    std::string failed;
    if (!staged.Commit(&failed, &cause)) {
        const std::string kind = failed == outputPath ? "The X file " : "The file ";
        ShowFailure(exporter, kind + failed + " could not be written: " + cause + ".");
        return false;
    }
    if (unnamed) *unnamed = unnamedImages;
    if (files) *files = staged.committedFiles();
    if (bytes) *bytes = staged.committedBytes();
    return true;
}
