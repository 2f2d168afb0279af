// The host interface: what the host application offers the exporter during one export.
#pragma once

#include <string>

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

// The work routine of the progress display; the exporter's does nothing and returns 0.
using ProgressFunction = unsigned long (*)(void* arg);

class Interface {
public:
    virtual ~Interface() = default;

    virtual HostWindow GetMAXHWnd() = 0;
    virtual Interval GetAnimRange() = 0;
    virtual INode* GetRootNode() = 0;
    // A directory of the host by kind; may be empty.
    virtual std::string GetDir(int kind) = 0;
    // Full path of the scene file currently open; may be empty.
    virtual std::string GetCurFilePath() = 0;

    virtual int GetTicksPerFrame() = 0;
    virtual int GetFrameRate() = 0;

    virtual void ProgressStart(const char* title, bool showBar, ProgressFunction fn, void* arg) = 0;
    virtual void ProgressUpdate(int percent, bool showPercent, const char* title) = 0;
    virtual void ProgressEnd() = 0;

    // A modal message box; returns the button pressed (kIdOk).
    virtual int MessageBox(HostWindow owner, const char* text, const char* caption, unsigned style) = 0;

    // The host's bitmap manager, for baking procedural maps.
    virtual BitmapManager* GetBitmapManager() = 0;
};

// The host's export interface handed to exporters; the exporter does not use it.
class ExpInterface {
public:
    virtual ~ExpInterface() = default;
};
