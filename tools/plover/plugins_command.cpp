#include <iostream>

#include "tools/plover/commands.h"
#include "tools/plover/plugin_loader.h"

int RunPluginsCommand(const std::string& pluginPath) {
    std::string error;
    std::unique_ptr<PluginModule> module =
        PluginModule::Load(pluginPath.empty() ? DefaultPluginPath() : pluginPath, error);
    if (!module) {
        std::cerr << "plover: " << error << "\n";
        return 2;
    }
    char version[16];
    std::snprintf(version, sizeof version, "0x%08lX", module->Version());
    std::cout << module->path() << "\n"
              << "  description:  " << module->Description() << "\n"
              << "  SDK version:  " << version << "\n"
              << "  classes:      " << module->NumberOfClasses() << "\n";
    ClassDesc& desc = module->ExporterClass();
    const Class_ID id = desc.ClassID();
    char idText[32];
    std::snprintf(idText, sizeof idText, "(0x%08X, 0x%08X)", id.PartA(), id.PartB());
    std::cout << "  class name:   " << desc.ClassName() << "\n"
              << "  class id:     " << idText << "\n"
              << "  category:     " << desc.Category() << "\n";
    std::unique_ptr<SceneExport> exporter = module->CreateExporter();
    std::cout << "  exporter:     " << exporter->LongDesc() << "\n"
              << "  short:        " << exporter->ShortDesc() << "\n"
              << "  author:       " << exporter->AuthorName() << "\n"
              << "  exporter version: " << exporter->Version() / 100 << "." << exporter->Version() / 10 % 10
              << exporter->Version() % 10 << " (what the plug-in reports to the host; plover --version is the command's)\n"
              << "  extensions:  ";
    for (int i = 0; i < exporter->ExtCount(); ++i) std::cout << " " << exporter->Ext(i);
    std::cout << "\n";
    return 0;
}
