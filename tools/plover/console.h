// The console face of the stand-in host: message boxes and the progress display on a stream.
//
// Message boxes are printed as "caption: text" (just the text when the caption is empty), one
// line each. The progress display is a one-line bar redrawn in place; it is shown only when the
// stream is a terminal and quiet mode is off. Messages are printed in quiet mode too.
#pragma once

#include <cstdio>
#include <string>

#include "host/objects/host_scene.h"

// The line printed for a message box (without the newline).
std::string FormatMessageBox(const HostMessage& message);

// A progress bar on a terminal stream.
class ConsoleProgress final : public ProgressSink {
public:
    // `enabled` false makes every call do nothing.
    ConsoleProgress(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

    void Start(const std::string& title, bool showBar) override;
    void Update(int percent, bool showPercent, const std::string& title) override;
    void End() override;
    // Clears the bar's line so that another line can be printed (then redraws nothing).
    void ClearLine();
    bool enabled() const { return enabled_; }

private:
    void Draw();
    std::FILE* out_;
    bool enabled_;
    bool visible_ = false;  // the bar is on the current line
    bool showBar_ = true;
    std::string title_;
    int percent_ = 0;
};

// Connects a scene's sinks to standard error: message boxes printed (after clearing a bar),
// and progress through `progress`, which the caller keeps alive as long as the scene uses it.
// ConsoleProgress for stderr is enabled when stderr is a terminal and `quiet` is false.
void AttachConsole(HostScene& scene, ConsoleProgress& progress);
ConsoleProgress MakeStderrProgress(bool quiet);
