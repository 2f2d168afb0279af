// The export's one progress meter.
//
// The export runs in stages, each given a number of units of work (its estimate), a span of
// the bar and the percentage it ends at. Every unit done is one Step(): the meter moves the
// bar in whole increments and asks the host whether the user wants to stop. A stop request
// ends the export by throwing ExportCancelled from the step that saw it.
#pragma once

#include <cstdint>
#include <string>

#include "sdk/host.h"

// Thrown by ProgressMeter::Step() when the host asks to stop; the driver catches it.
struct ExportCancelled {};

class ProgressMeter {
public:
    explicit ProgressMeter(Interface* ip = nullptr) : ip_(ip) {}

    // Opens the host's progress display.
    void Start(const char* title);
    // Closes it after showing the current stage's end.
    void End();

    // Sets up a stage of workCount units spanning span percent and ending at limit, with the
    // stage's title. False when the stage has no work.
    bool BeginStage(uint32_t workCount, float span, float limit, const char* title = nullptr);
    // One unit of work done; throws ExportCancelled when the host asks to stop.
    void Step();
    // Shows the end of the current stage.
    void ShowStageEnd();
    // Asks the host whether to stop, as Step() does, without doing a unit of work.
    void CheckCancel();
    // Shows how far a long unit of work has come ("compressing, 12 MB") beside the stage's title,
    // at the current percentage; an empty detail only asks the host. False when the host asks to stop; unlike Step() it does not
    // throw, for callers that must unwind through code of their own first.
    bool ShowDetail(const std::string& detail);

    uint32_t stepsDone() const { return stepsDone_; }
    void ResetSteps() { stepsDone_ = 0; }
    float stageLimit() const { return stageLimit_; }

private:
    Interface* ip_;
    std::string title_;
    uint32_t stepsDone_ = 0;
    float nextThreshold_ = 0;
    float nextPercent_ = 0;
    float stageLimit_ = 100.0f;
    int shownPercent_ = 0;
    float stepsPerIncrement_ = 0;
    float percentIncrement_ = 10.0f;
    bool started_ = false;
};
