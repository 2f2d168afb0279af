#include "tools/plover/console.h"

#include <algorithm>

#include "core/platform.h"

std::string FormatMessageBox(const HostMessage& message) {
    if (message.caption.empty()) return message.text;
    std::string line = message.caption;
    line.append(": ").append(message.text);
    return line;
}

void ConsoleProgress::Start(const std::string& title, bool showBar) {
    if (!enabled_) return;
    title_ = title;
    showBar_ = showBar;
    percent_ = 0;
    Draw();
}

void ConsoleProgress::Update(int percent, bool, const std::string& title) {
    if (!enabled_) return;
    percent = std::clamp(percent, 0, 100);
    // Redraw only what a user can see change: exports report far more often than that.
    if (visible_ && percent == percent_ && (title.empty() || title == title_)) return;
    percent_ = percent;
    if (!title.empty()) title_ = title;
    Draw();
}

void ConsoleProgress::End() {
    if (!enabled_ || !visible_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    visible_ = false;
}

void ConsoleProgress::ClearLine() {
    if (!enabled_ || !visible_) return;
    std::fputs("\r\033[K", out_);
    visible_ = false;
}

void ConsoleProgress::Draw() {
    constexpr int kWidth = 30;
    std::string line = "\r";
    line.append(title_);
    if (showBar_) {
        const int filled = percent_ * kWidth / 100;
        line.append(" [").append(static_cast<size_t>(filled), '#').append(static_cast<size_t>(kWidth - filled), '.');
        line.push_back(']');
    }
    line.push_back(' ');
    line.append(std::to_string(percent_)).append("%\033[K");
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    visible_ = true;
}

ConsoleProgress MakeStderrProgress(bool quiet) {
    return ConsoleProgress(stderr, !quiet && platform::IsTerminal(stderr));
}

void AttachConsole(HostScene& scene, ConsoleProgress& progress) {
    scene.SetProgressSink(&progress);
    scene.SetMessageSink([&progress](const HostMessage& message) {
        progress.ClearLine();
        std::fprintf(stderr, "%s\n", FormatMessageBox(message).c_str());
        std::fflush(stderr);
        return kIdOk;
    });
}
