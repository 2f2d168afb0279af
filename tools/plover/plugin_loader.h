// Loads the exporter module the way the host application does: by its entry points.
#pragma once

#include <memory>
#include <string>

#include "plugin/entry_points.h"

// The module plover.dle beside the running executable.
std::string DefaultPluginPath();

class PluginModule {
public:
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Opens the module at path and checks it: the five entry points, the SDK version, at
    // least one class, a descriptor of the scene-exporter super class whose exporter offers
    // the "X" extension. Null, with error naming the path and the problem, when any check fails.
    static std::unique_ptr<PluginModule> Load(const std::string& path, std::string& error);

    const std::string& path() const { return path_; }
    const char* Description() const { return description_(); }
    int NumberOfClasses() const { return numberClasses_(); }
    unsigned long Version() const { return version_(); }
    // The descriptor of the exporter class.
    ClassDesc& ExporterClass() const { return *exporterClass_; }
    // A new exporter, deleted by the host through its virtual destructor.
    std::unique_ptr<SceneExport> CreateExporter() const;

private:
    PluginModule() = default;
    void* handle_ = nullptr;
    std::string path_;
    LibDescriptionFn description_ = nullptr;
    LibNumberClassesFn numberClasses_ = nullptr;
    LibClassDescFn classDesc_ = nullptr;
    LibVersionFn version_ = nullptr;
    ClassDesc* exporterClass_ = nullptr;
};
