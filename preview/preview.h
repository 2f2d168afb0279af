// `plover preview`: a picture of an X file as a DirectX-era engine draws it, made offscreen on
// the CPU with Mesa's software OpenGL and returned as PNG bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/canvas.h"
#include "preview/draw_model.h"
#include "preview/pose.h"

namespace preview {

struct PreviewOptions {
    int width = 0;   // whole picture; 0: 640 x 480, or 256 x 256 a cell for a sheet or turntable
    int height = 0;
    std::string clip;       // animation set to pose; empty: the first one when a time or sheet asks for one
    bool hasTime = false;   // pose the clip at `seconds` after its first key (else the bind pose)
    double seconds = 0;
    int sheetColumns = 0;   // contact sheet of one clip at evenly spaced times (0: none)
    int sheetRows = 0;
    int turntable = 0;      // N views around the model (0: one view)
    std::string view;       // "", "front", "back", "left", "right", "top", "bottom"
    bool wireframe = false;
    bool bones = false;     // the frame hierarchy as lines
    bool grid = false;      // a ground grid under the model
    bool axes = false;      // an axis tripod in each view's corner
    std::array<uint8_t, 4> background{58, 62, 70, 255};
    bool allowOutsideFiles = false;  // textures may be read from outside the X file's folder tree
};

inline constexpr int kMaxPictureSide = 8192;

// What became of a picture (the values are the command's exit codes).
enum class PreviewStatus : int {
    Drawn = 0,
    NotDrawn = 1,  // nothing to draw, or Mesa could not draw
    Unusable = 2,  // the file cannot be read, or the options do not fit it (unknown clip, size)
};

// A picture of the X file at `path`. On failure, error is one line naming the file and the
// cause; warnings name what is drawn other than the file says (missing textures, unknown
// bones, ...).
PreviewStatus PreviewXFile(const std::string& path, const PreviewOptions& options, std::vector<uint8_t>* png,
                           std::vector<std::string>* warnings, std::string* error);

// The same for a draw model already built, with its textures resolved beside `folder`.
PreviewStatus PreviewModel(const DrawModel& model, const std::string& folder, const PreviewOptions& options,
                           std::vector<uint8_t>* png, std::vector<std::string>* warnings, std::string* error);

// The camera of one view: looking at the centre of `bounds` from yaw degrees around the
// vertical axis (0: from the front, -z; 90: from +x) and pitch degrees above it, far enough
// back that the bounds' corners fill at most 90 % of the view. (A picture is framed the same
// way on its vertices rather than the corners of their bounds.)
Camera FrameBounds(const Bounds& bounds, float yawDegrees, float pitchDegrees, float aspect);

// The yaw and pitch of a named view ("" is three-quarter, from front right and above).
bool ViewAngles(const std::string& view, float* yawDegrees, float* pitchDegrees);

// PNG bytes of an RGBA picture, rows top to bottom.
std::vector<uint8_t> EncodePng(const uint8_t* rgba, int width, int height);

}  // namespace preview
