// The plover command: a stand-in host for the exporter plug-in.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"
#include "tools/plover/inspect_command.h"

namespace {

// Ends the process after an export: what is left (the scene, the module, static tables) is the
// system's to reclaim, and destructors would only fault their pages in to free it. Builds with a
// leak checker, which runs at exit, end the usual way.
int EndAfterExport(int code) {
#ifndef __SANITIZE_ADDRESS__
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(code);
#endif
    return code;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Mesa's software OpenGL (loaded by preview) keeps allocations until the process ends; a
// sanitizer build names only leaks of our own.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }
#endif

int main(int argc, char** argv) {
    // Arguments (paths among them) are UTF-8 on every system, and so is what is printed.
    std::vector<std::string> arguments = platform::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(arguments.size());
    argv = pointers.data();
    platform::UseUtf8Console();

    CLI::App app{"plover: exports 3D scenes to DirectX .x files"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("plover ") + PLOVER_VERSION);

    ExportCommand exportCommand;
    CLI::App* exportApp = app.add_subcommand("export", "Export a scene document or a model file to an X file");
    exportApp->add_option("scene", exportCommand.scenePath,
                          "Scene document (.json), an X file, a glTF model (.gltf, .glb; plover's own reader), or "
                          "another model file Assimp reads (.fbx, .dae, .obj, ...)")
        ->required();
    exportApp->add_option("-o,--output", exportCommand.outputPath, "Output X file")->required();
    exportApp->add_option("--config-dir", exportCommand.configDir,
                          "The folder of plover_max_config.ini (default: $XDG_CONFIG_HOME/plover, else "
                          "~/.config/plover)");
    // One KEY=VALUE per --set, so that the input path after it stays the input path.
    exportApp->add_option("--set", exportCommand.settings,
                          "KEY=VALUE: override an option for this run only (repeat --set for each)")
        ->allow_extra_args(false);
    exportApp->add_option("--plugin", exportCommand.pluginPath, "The plug-in module (default: plover.dle beside plover)");
    exportApp->add_option("--fps", exportCommand.frameRate,
                          "Timeline frames per second of an imported model (divides 4800; default: the rate its key "
                          "times fall on, else 30). A scene document keeps its own.")
        ->check(CLI::Range(1, 4800));
    exportApp->add_flag("--from-right-handed", exportCommand.fromRightHanded,
                        "An X file input is right-handed (default: left-handed, as the exporter writes)");
    exportApp->add_flag("--from-z-up", exportCommand.fromZUp, "An X file input has Z up (default: Y up)");
    exportApp->add_flag("--allow-outside-files", exportCommand.allowOutsideFiles,
                        "Read files a model names outside its own folder (default: looked for beside the model)");
    exportApp->add_flag("--selected-only", exportCommand.selectedOnly, "Export the selected nodes only");
    exportApp->add_flag("-q,--quiet", exportCommand.quiet, "No progress bar and no summary");
    exportApp->add_option("--preview", exportCommand.previewPath, "Also write a picture (PNG) of the X file written");

    // Variables and sub-parsers of the other commands. An export, the command run most, builds
    // only its own part of the parser (building all of them costs more than parsing the line);
    // any other first word builds them all, so that help and mistakes read as they always do.
    DumpCommand dumpCommand;
    std::string configDir;
    std::vector<std::string> settings;
    std::string inspectPath;
    bool inspectJson = false, inspectSummary = false;
    std::string pluginPath;
    PreviewCommand previewCommand;
    PreviewFlags previewFlags;
    CLI::App* previewApp = nullptr;
    ConvertCommand convertCommand;
    CLI::App *dumpApp = nullptr, *convertApp = nullptr, *configApp = nullptr, *showApp = nullptr, *setApp = nullptr,
             *unsetApp = nullptr, *resetApp = nullptr, *inspectApp = nullptr, *pluginsApp = nullptr;
    if (argc < 2 || std::string_view(argv[1]) != "export") {
        dumpApp = app.add_subcommand("dump", "Write the scene an export would read as a scene document");
        dumpApp->add_option("input", dumpCommand.inputPath, "X file, glTF model, model file Assimp reads, or a scene document")->required();
        dumpApp->add_option("-o,--output", dumpCommand.outputPath, "Scene document to write (.json)")->required();
        dumpApp->add_option("--fps", dumpCommand.frameRate, "Timeline frames per second of an imported model, as for export")
            ->check(CLI::Range(1, 4800));
        dumpApp->add_flag("--from-right-handed", dumpCommand.fromRightHanded, "An X file input is right-handed");
        dumpApp->add_flag("--from-z-up", dumpCommand.fromZUp, "An X file input has Z up");
        dumpApp->add_flag("--allow-outside-files", dumpCommand.allowOutsideFiles,
                          "Read files a model names outside its own folder");
        dumpApp->add_flag("-q,--quiet", dumpCommand.quiet, "No messages");

        convertApp = app.add_subcommand("convert", "Write the scene an export would read as a glTF 2.0 file");
        convertApp->add_option("input", convertCommand.inputPath,
                               "Scene document (.json), or a model file (.x, .gltf, .glb, .fbx, .dae, .obj, ...)")
            ->required();
        convertApp->add_option("-o,--output", convertCommand.outputPath,
                               "glTF file to write: .glb (binary) or .gltf (with .bin and images beside it)")
            ->required();
        convertApp->add_option("--fps", convertCommand.frameRate, "Timeline frames per second (divides 4800)")
            ->check(CLI::Range(1, 4800));
        convertApp->add_flag("--from-right-handed", convertCommand.fromRightHanded, "An X file input is right-handed");
        convertApp->add_flag("--from-z-up", convertCommand.fromZUp, "An X file input has Z up");
        convertApp->add_flag("--allow-outside-files", convertCommand.allowOutsideFiles,
                             "Read files the input names outside its own folder");
        convertApp->add_flag("-q,--quiet", convertCommand.quiet, "No summary");

        configApp = app.add_subcommand("config", "Show or change the export options");
        configApp->require_subcommand(1);
        configApp->add_option("--config-dir", configDir, "The host's plug-in configuration directory");
        showApp = configApp->add_subcommand("show", "Print every option as an export would load it");
        setApp = configApp->add_subcommand("set", "Change options in the configuration file");
        setApp->add_option("settings", settings, "KEY=VALUE ...")->required();
        unsetApp = configApp->add_subcommand(
            "unset", "Remove options from the configuration file: each reads its default again "
                     "(AnimationCount: the whole clip list)");
        unsetApp->add_option("keys", settings, "KEY ...")->required();
        resetApp = configApp->add_subcommand(
            "reset", "Remove the configuration file: every option reads its default, no clip list");
        for (CLI::App* sub : {showApp, setApp, unsetApp, resetApp})
            sub->add_option("--config-dir", configDir, "The host's plug-in configuration directory");

        inspectApp = app.add_subcommand("inspect", "Print the object tree of an X file");
        inspectApp->add_option("file", inspectPath, "X file")->required();
        inspectApp->add_flag("--json", inspectJson, "Print the tree (or the summary) as JSON");
        inspectApp->add_flag("--summary", inspectSummary,
                             "Print only the counts: frames, meshes, triangles, vertices, bones, clips, materials, textures");

        previewApp = app.add_subcommand("preview", "Draw an X file (or any input export takes) into a PNG picture");
        preview::PreviewOptions& o = previewCommand.options;
        previewApp->add_option("input", previewCommand.inputPath, "X file, scene document or model file")->required();
        previewApp->add_option("-o,--output", previewCommand.outputPath, "PNG file to write")->required();
        previewApp->add_option("--size", previewFlags.size, "WIDTHxHEIGHT of the whole picture (default 640x480, 256x256 a view)");
        previewApp->add_option("--clip", o.clip, "Animation set to pose (default: the first, when a time or sheet asks)");
        previewApp->add_option("--time", o.seconds, "Seconds after the clip's first key (default: the bind pose)")
            ->each([&o](const std::string&) { o.hasTime = true; });
        previewApp->add_option("--sheet", previewFlags.sheet, "COLUMNSxROWS: a contact sheet of the clip at evenly spaced times");
        previewApp->add_option("--turntable", o.turntable, "N views around the model")->check(CLI::Range(1, 360));
        previewApp->add_option("--view", o.view, "front, back, left, right, top or bottom (default: three-quarter)");
        previewApp->add_option("--background", previewFlags.background, "#RRGGBB, #RRGGBBAA or transparent");
        previewApp->add_flag("--wireframe", o.wireframe, "Draw the triangles' edges only");
        previewApp->add_flag("--bones", o.bones, "Draw the frame hierarchy as lines");
        previewApp->add_flag("--grid", o.grid, "Draw a ground grid under the model");
        previewApp->add_flag("--axes", o.axes, "Draw an axis tripod in each view's corner");
        previewApp->add_flag("--allow-outside-files", o.allowOutsideFiles,
                             "Read textures from outside the X file's folder tree too");
        previewApp->add_option("--config-dir", previewCommand.configDir, "Export options of an input that is not an X file");
        previewApp->add_option("--set", previewCommand.settings, "KEY=VALUE: export option for an input that is not an X file");
        previewApp->add_option("--plugin", previewCommand.pluginPath, "The plug-in module (default: plover.dle beside plover)");
        previewApp->add_option("--fps", previewCommand.frameRate, "Timeline frames per second of an imported model, as for export")
            ->check(CLI::Range(1, 4800));
        previewApp->add_flag("-q,--quiet", previewCommand.quiet, "No summary line");

        pluginsApp = app.add_subcommand("plugins", "List what the plug-in module reports");
        pluginsApp->add_option("--plugin", pluginPath, "The plug-in module (default: plover.dle beside plover)");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        // One line, and the documented usage code rather than the parser's own numbers.
        std::cerr << "plover: " << e.what() << " (plover --help lists the commands)\n";
        return kExitUsage;
    }

    if (*exportApp) {
        exportCommand.processEnds = true;
        return EndAfterExport(RunExportCommand(exportCommand));
    }
    const auto chosen = [](const CLI::App* command) { return command && *command; };
    if (chosen(dumpApp)) return RunDumpCommand(dumpCommand);
    if (chosen(convertApp)) return RunConvertCommand(convertCommand);
    if (chosen(showApp)) return RunConfigShow(configDir);
    if (chosen(setApp)) return RunConfigSet(configDir, settings);
    if (chosen(unsetApp)) return RunConfigUnset(configDir, settings);
    if (chosen(resetApp)) return RunConfigReset(configDir);
    if (chosen(pluginsApp)) return RunPluginsCommand(pluginPath);
    if (chosen(previewApp)) {
        std::string error;
        if (!SettlePreviewFlags(previewFlags, &previewCommand.options, error)) {
            std::cerr << "plover: " << error << "\n";
            return kExitUsage;
        }
        return RunPreviewCommand(previewCommand);
    }
    if (chosen(inspectApp)) {
        // A path that names no file is a usage error, worded and coded as for the other commands.
        if (std::string error; !CheckInputPath(inspectPath, error, "an X file")) {
            std::cerr << "plover: " << error << "\n";
            return kExitUsage;
        }
        return xfile::RunInspect(inspectPath, inspectJson, std::cout, std::cerr, inspectSummary);
    }
    return kExitUsage;
}
