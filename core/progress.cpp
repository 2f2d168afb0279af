#include "core/progress.h"

namespace {
unsigned long IdleProgress(void*) { return 0; }
}  // namespace

void ProgressMeter::Start(const char* title) {
    if (!ip_) return;
    ip_->ProgressStart(title, true, IdleProgress, nullptr);
    started_ = true;
}

void ProgressMeter::End() {
    if (!ip_ || !started_) return;
    ShowStageEnd();
    ip_->ProgressEnd();
    started_ = false;
}

bool ProgressMeter::BeginStage(uint32_t workCount, float span, float limit, const char* title) {
    const float n = static_cast<float>(workCount);
    float k = span;
    if (n < span) {
        if (workCount == 0) return false;
        k = n;
    }
    title_ = title ? title : "";
    stageLimit_ = limit;
    percentIncrement_ = span / k;
    stepsPerIncrement_ = n / k;
    nextPercent_ = (limit - span) + span / k;
    nextThreshold_ = static_cast<float>(stepsDone_) + n / k;
    return true;
}

void ProgressMeter::Step() {
    ++stepsDone_;
    if (static_cast<float>(stepsDone_) >= nextThreshold_) {
        if (nextPercent_ - stageLimit_ <= 0.01f && ip_) {
            shownPercent_ = static_cast<int>(nextPercent_);
            ip_->ProgressUpdate(shownPercent_, true, title_.empty() ? nullptr : title_.c_str());
        }
        nextPercent_ += percentIncrement_;
        nextThreshold_ += stepsPerIncrement_;
    }
    CheckCancel();
}

void ProgressMeter::CheckCancel() {
    if (ip_ && ip_->GetCancel()) throw ExportCancelled{};
}

void ProgressMeter::ShowStageEnd() {
    if (ip_ && started_) {
        shownPercent_ = static_cast<int>(stageLimit_);
        ip_->ProgressUpdate(shownPercent_, true, title_.empty() ? nullptr : title_.c_str());
    }
}

bool ProgressMeter::ShowDetail(const std::string& detail) {
    if (!ip_) return true;
    if (started_ && !detail.empty()) {
        const std::string text = title_.empty() ? detail : title_ + ": " + detail;
        ip_->ProgressUpdate(shownPercent_, true, text.c_str());
    }
    return !ip_->GetCancel();
}
