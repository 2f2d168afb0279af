#ifndef _WIN32
#include <dlfcn.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/atomic_write.h"
#include "core/platform.h"
#include "host/import/unpack_folder.h"
#include "tools/plover/arguments.h"
#include "tools/plover/commands.h"

namespace fs = std::filesystem;

// The preview library's entry: linked into test programs, else loaded from plover_preview.so.
// The Windows build has no Mesa: there the command says so.
#ifndef _WIN32
extern "C" int PloverPreviewXFile(const char* path, const preview::PreviewOptions* options, std::vector<uint8_t>* png,
                                  std::vector<std::string>* warnings, std::string* error) __attribute__((weak));
#else
static constexpr int (*PloverPreviewXFile)(const char*, const preview::PreviewOptions*, std::vector<uint8_t>*,
                                           std::vector<std::string>*, std::string*) = nullptr;
#endif

namespace {

using PreviewFn = int (*)(const char*, const preview::PreviewOptions*, std::vector<uint8_t>*,
                          std::vector<std::string>*, std::string*);

inline constexpr const char* kPreviewModuleName = "plover_preview.so";

// The module, beside the program or in its library folder, loaded on first use and never closed.
PreviewFn LoadPreviewModule(std::string& problem) {
    static std::once_flag once;
    static PreviewFn function = nullptr;
    static std::string loadProblem;
    std::call_once(once, [] {
#ifdef _WIN32
        loadProblem = "plover preview is not part of the Windows build (it draws with Mesa's software OpenGL on Linux)";
#else
        // Beside the program, else in the library folder a package installs it in.
        const fs::path module = platform::FindProgramFile(kPreviewModuleName);
        void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle) function = reinterpret_cast<PreviewFn>(dlsym(handle, "PloverPreviewXFile"));
        if (!function) {
            const char* why = dlerror();
            loadProblem = "cannot load the preview module " + module.string() + (why ? std::string(" (") + why + ")" : "");
        }
#endif
    });
    problem = loadProblem;
    return function;
}

int Fail(const std::string& error, int code) {
    std::cerr << "plover: " << error << "\n";
    return code;
}

// A picture of a large model reads, builds and draws several arrays of its size one after the
// other: each freed before the next is made. The C library would give each large one back to
// the system and map fresh pages for the next, and a page fault per 4 KiB page cost more than
// the work done on it (half the CPU time of a 1M-triangle picture). So the process keeps
// what it frees for reuse (large blocks from the heap, which is not trimmed), and the heap it
// grows first is marked for the kernel's 2 MiB pages: room of `bytes`, which costs nothing
// until it is written. Memory goes back to the system when the command ends, moments later.
void KeepMemoryForReuse(uint64_t bytes) {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    constexpr int kLarge = 1 << 30;
    if (!mallopt(M_MMAP_THRESHOLD, kLarge) || !mallopt(M_TRIM_THRESHOLD, kLarge)) return;
    bytes = std::min<uint64_t>(bytes, uint64_t(4) << 30);
    const size_t huge = size_t(2) << 20;
    if (bytes < 4 * huge) return;
    mallopt(M_TOP_PAD, static_cast<int>(std::min<uint64_t>(bytes, kLarge)));
    void* room = std::malloc(huge);  // grows the heap by the pad
    if (!room) return;
    auto* from = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(room) + huge - 1) & ~(huge - 1));
    // Only the heap just grown: a C library that took the block from elsewhere is left alone.
    auto* to = static_cast<uint8_t*>(sbrk(0));
    if (to > from && uint64_t(to - from) <= bytes + 2 * huge)
        madvise(from, static_cast<size_t>(to - from) & ~(huge - 1), MADV_HUGEPAGE);
    std::free(room);
    mallopt(M_TOP_PAD, 0);
#else
    (void)bytes;
#endif
}

}  // namespace

namespace {

// "640x480" (or with 'X' or a multiplication sign): two whole numbers from 1 to `most`.
bool ParsePair(const std::string& text, int most, int* a, int* b) {
    std::string t = text;
    for (const char* sign : {"\xC3\x97", "X"})  // the multiplication sign in UTF-8, and capital X
        for (size_t at = t.find(sign); at != std::string::npos; at = t.find(sign)) t.replace(at, std::strlen(sign), "x");
    const size_t x = t.find('x');
    if (x == std::string::npos || x == 0 || x + 1 == t.size()) return false;
    auto number = [most](const std::string& digits, int* out) {
        if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
        *out = std::stoi(digits);
        return *out >= 1 && *out <= most;
    };
    return number(t.substr(0, x), a) && number(t.substr(x + 1), b);
}

bool ParseColor(std::string text, std::array<uint8_t, 4>* rgba) {
    if (text == "transparent") {
        *rgba = {0, 0, 0, 0};
        return true;
    }
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if ((text.size() != 6 && text.size() != 8) || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    for (size_t i = 0; i < 4; ++i)
        (*rgba)[i] = i * 2 < text.size() ? static_cast<uint8_t>(std::stoi(text.substr(i * 2, 2), nullptr, 16)) : 255;
    return true;
}

}  // namespace

bool SettlePreviewFlags(const PreviewFlags& flags, preview::PreviewOptions* options, std::string& error) {
    if (!flags.size.empty() && !ParsePair(flags.size, preview::kMaxPictureSide, &options->width, &options->height)) {
        error = "--size " + flags.size + ": give WIDTHxHEIGHT in pixels, each from 1 to 8192";
        return false;
    }
    if (!flags.sheet.empty() && !ParsePair(flags.sheet, 64, &options->sheetColumns, &options->sheetRows)) {
        error = "--sheet " + flags.sheet + ": give COLUMNSxROWS, each from 1 to 64";
        return false;
    }
    if (!flags.background.empty() && !ParseColor(flags.background, &options->background)) {
        error = "--background " + flags.background + ": give a colour as #RRGGBB or #RRGGBBAA, or transparent";
        return false;
    }
    if (options->sheetColumns > 0 && options->turntable > 0) {
        error = "--sheet and --turntable cannot be combined: give one";
        return false;
    }
    if (options->sheetColumns > 0 && options->hasTime) {
        error = "--sheet shows the whole clip: --time does not go with it";
        return false;
    }
    if (options->hasTime && !(options->seconds >= 0 && options->seconds < 1e7)) {
        error = "--time must be a number of seconds from 0";
        return false;
    }
    // The names preview::ViewAngles takes (the module is not loaded yet).
    static const char* const kViews[] = {"", "front", "back", "left", "right", "top", "bottom"};
    if (std::find(std::begin(kViews), std::end(kViews), options->view) == std::end(kViews)) {
        error = "--view " + options->view + ": give front, back, left, right, top or bottom";
        return false;
    }
    return true;
}

bool IsXFilePath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    return in.gcount() == 4 && std::memcmp(magic, "xof ", 4) == 0;
}

int DrawXFile(const std::string& xPath, const std::string& pngPath, const preview::PreviewOptions& options,
              bool quiet, const std::string& shownPath) {
    PreviewFn function = PloverPreviewXFile;
    if (!function) {
        std::string problem;
        function = LoadPreviewModule(problem);
        if (!function) return Fail(problem, kExitUsage);
    }
    std::vector<uint8_t> png;
    std::vector<std::string> warnings;
    std::string error;
    const int status = function(xPath.c_str(), &options, &png, &warnings, &error);
    // A file exported for the picture is named as the user's input.
    auto shown = [&](std::string text) {
        if (!shownPath.empty())
            for (size_t at = text.find(xPath); at != std::string::npos; at = text.find(xPath, at + shownPath.size()))
                text.replace(at, xPath.size(), shownPath);
        return text;
    };
    for (const std::string& warning : warnings) std::cerr << "plover: warning: " << shown(warning) << "\n";
    if (status != 0) return Fail(shown(error) + "; no picture written", status);
    std::string writeError;
    if (!WriteFileAtomically(pngPath, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()),
                             &writeError))
        return Fail(pngPath + ": " + writeError, kExitNotWritten);
    if (!quiet) std::cerr << "plover: wrote " << pngPath << "\n";
    return kExitOk;
}

int RunPreviewCommand(const PreviewCommand& command) {
    std::string error;
    if (!CheckInputPath(command.inputPath, error) || !CheckOutputPath(command.outputPath, error))
        return Fail(error, kExitUsage);
    std::error_code sizeError;
    const uintmax_t inputSize = fs::file_size(command.inputPath, sizeError);
    KeepMemoryForReuse(std::max<uint64_t>(sizeError ? 0 : uint64_t(inputSize) * 8, uint64_t(64) << 20));
    if (IsXFilePath(command.inputPath))
        return DrawXFile(command.inputPath, command.outputPath, command.options, command.quiet, "");

    // Any other input is exported, as `plover export` would, to a private folder whose X file is
    // then drawn; the folder goes when the picture is made. The file is binary, the fastest to
    // write and read: the picture does not depend on the format.
    // Mesa and its compiler load on a second thread while the export runs.
    struct Loader {
        std::thread thread;
        ~Loader() {
            if (thread.joinable()) thread.join();
        }
    } loader;
    if (!PloverPreviewXFile) loader.thread = std::thread([] {
        std::string ignored;  // a failure is reported when the module is used
        LoadPreviewModule(ignored);
    });
    std::unique_ptr<UnpackFolder> folder = UnpackFolder::Create(error);
    if (!folder) return Fail(error, kExitNotWritten);
    const std::string stem = fs::path(command.inputPath).stem().string();
    const std::string xPath = (fs::path(folder->path()) / ((stem.empty() ? std::string("model") : stem) + ".x")).string();
    ExportCommand exportCommand;
    exportCommand.scenePath = command.inputPath;
    exportCommand.outputPath = xPath;
    exportCommand.configDir = command.configDir;
    exportCommand.settings = command.settings;
    exportCommand.settings.push_back("XFileType=1");
    exportCommand.pluginPath = command.pluginPath;
    exportCommand.frameRate = command.frameRate;
    exportCommand.quiet = true;
    const int exported = RunExportCommand(exportCommand);
    if (exported != kExitOk) return exported;
    return DrawXFile(xPath, command.outputPath, command.options, command.quiet, command.inputPath);
}
