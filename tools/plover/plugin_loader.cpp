#include "tools/plover/plugin_loader.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/platform.h"

namespace fs = std::filesystem;

std::string DefaultPluginPath() { return platform::FindProgramFile("plover.dle"); }

PluginModule::~PluginModule() { platform::UnloadModule(handle_); }

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
    std::unique_ptr<PluginModule> module(new PluginModule());
    module->path_ = path;
    std::error_code ec;
    const fs::path file = platform::PathOf(path);
    if (!fs::exists(file, ec)) {
        error = "plug-in module " + path + " not found";
        return nullptr;
    }
    if (fs::is_directory(file, ec)) {
        error = "plug-in module " + path + " is a folder";
        return nullptr;
    }
    // A name without a slash would make the system search its library path instead of the
    // folder the user means: load the module by its absolute path.
    const fs::path absolute = fs::absolute(file, ec);
    std::string why;
    module->handle_ = platform::LoadModule(ec ? path : platform::Utf8Of(absolute), false, why);
    if (!module->handle_) {
        error = "cannot load plug-in module " + path + ": " + why;
        return nullptr;
    }
    auto resolve = [&](const char* name) -> void* {
        void* symbol = platform::ModuleSymbol(module->handle_, name);
        if (!symbol) error = "plug-in module " + path + " does not export " + name;
        return symbol;
    };
    module->description_ = reinterpret_cast<LibDescriptionFn>(resolve("LibDescription"));
    if (!module->description_) return nullptr;
    module->numberClasses_ = reinterpret_cast<LibNumberClassesFn>(resolve("LibNumberClasses"));
    if (!module->numberClasses_) return nullptr;
    module->classDesc_ = reinterpret_cast<LibClassDescFn>(resolve("LibClassDesc"));
    if (!module->classDesc_) return nullptr;
    module->version_ = reinterpret_cast<LibVersionFn>(resolve("LibVersion"));
    if (!module->version_) return nullptr;
    if (!resolve("XDoExport")) return nullptr;

    if (module->version_() != kMaxApiVersion) {
        char text[64];
        std::snprintf(text, sizeof text, "0x%08lX (this host needs 0x%08lX)", module->version_(), kMaxApiVersion);
        error = "plug-in module " + path + " was built for another SDK version: " + text;
        return nullptr;
    }
    const int classCount = module->numberClasses_();
    for (int i = 0; i < classCount && !module->exporterClass_; ++i) {
        ClassDesc* desc = module->classDesc_(i);
        if (desc && desc->SuperClassID() == kSceneExportClassId) module->exporterClass_ = desc;
    }
    if (!module->exporterClass_) {
        error = "plug-in module " + path + " holds no scene exporter class";
        return nullptr;
    }
    std::unique_ptr<SceneExport> probe = module->CreateExporter();
    bool offersX = false;
    for (int i = 0; probe && i < probe->ExtCount(); ++i) {
        const char* ext = probe->Ext(i);
        if (ext && (ext[0] == 'X' || ext[0] == 'x') && ext[1] == '\0') offersX = true;
    }
    if (!offersX) {
        error = "plug-in module " + path + " does not export the X file type";
        return nullptr;
    }
    return module;
}

std::unique_ptr<SceneExport> PluginModule::CreateExporter() const {
    return std::unique_ptr<SceneExport>(static_cast<SceneExport*>(exporterClass_->Create(false)));
}
