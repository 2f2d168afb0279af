// The host interface: what the host application offers the exporter during one export.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/types.h"

class INode;
class BitmapManager;

// Message box styles and results (the subset the exporter uses).
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbIconStop = 0x10;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr int kIdOk = 1;

// Directory kinds of GetDir.
inline constexpr int kDirMaps = 7;         // the host's map (texture) directory
inline constexpr int kDirPlugCfg = 9;      // the host's plug-in configuration directory
inline constexpr int kDirMaxData = 32;     // a second host directory searched for textures

// What one export did, handed to the host once when the export ends (Interface::ExportFinished).
struct ExportReport {
    bool written = false;         // every file of the export was put in place
    std::string outputPath;       // the X file as the host named it
    std::string failure;          // why nothing was written, in plain words; empty when the export
                                  // ended without writing and without an error (dialog cancelled)
    bool cancelled = false;       // the host asked to stop (GetCancel) and nothing was written
    uint32_t frameCount = 0;      // Frame objects written
    uint32_t meshCount = 0;
    uint32_t triangleCount = 0;   // faces of every written mesh
    uint32_t boneCount = 0;       // distinct bones named by skin weights
    uint32_t clipCount = 0;       // AnimationSet objects
    uint32_t materialCount = 0;   // distinct materials written, a mesh's default material included
    uint32_t fileCount = 0;       // files put in place, the X file included
    uint32_t unnamedImageCount = 0;  // of those, images copied beside the X file that it does not
                                     // name (textures of other map slots without Multi-Textures)
    uint64_t byteCount = 0;       // their size
    double seconds = 0;           // wall time of the export
    // One line per kind of data the scene holds that the options left out, naming the option that
    // would keep it (for example "vertex colours left out: set VertexColor=1").
    std::vector<std::string> leftOut;
};

// The work routine of the progress display; the exporter's does nothing and returns 0.
using ProgressFunction = unsigned long (*)(void* arg);

class Interface {
public:
    virtual ~Interface() = default;

    virtual HostWindow GetMAXHWnd() = 0;
    virtual Interval GetAnimRange() = 0;
    virtual INode* GetRootNode() = 0;
    // Strings cross the boundary between the host and the plug-in module only as views of the
    // host's own storage: each side allocates and frees its own memory (the module may carry a
    // runtime of its own), so the exporter copies what it keeps.

    // A directory of the host by kind; may be empty. Valid until the host's directories change.
    virtual const std::string& GetDir(int kind) = 0;
    // Full path of the scene file currently open; may be empty.
    virtual const std::string& GetCurFilePath() = 0;

    virtual int GetTicksPerFrame() = 0;
    virtual int GetFrameRate() = 0;

    virtual void ProgressStart(const char* title, bool showBar, ProgressFunction fn, void* arg) = 0;
    virtual void ProgressUpdate(int percent, bool showPercent, const char* title) = 0;
    virtual void ProgressEnd() = 0;

    // A modal message box; returns the button pressed (kIdOk).
    virtual int MessageBox(HostWindow owner, const char* text, const char* caption, unsigned style) = 0;

    // The host's bitmap manager, for baking procedural maps.
    virtual BitmapManager* GetBitmapManager() = 0;

    // Services of newer hosts; the defaults are those of a host without them.

    // Option settings "KEY=VALUE" for this export only, applied over the initialisation file
    // with the same checks as the options dialog; the file itself is not changed.
    virtual const std::vector<std::string>& GetExportOverrides() {
        static const std::vector<std::string> none;
        return none;
    }
    // True once the user asked to stop the running export (a cancel button, an interrupt).
    // The exporter polls it between units of work and then abandons the export.
    virtual bool GetCancel() { return false; }
    // Called once at the end of every export call with what it did.
    virtual void ExportFinished(const ExportReport& /*report*/) {}
};

// The host's export interface handed to exporters; the exporter does not use it.
class ExpInterface {
public:
    virtual ~ExpInterface() = default;
};
