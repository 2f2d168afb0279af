#include "core/messages.h"

void ExportMessages::Show(const std::string& text, const char* caption, unsigned style) {
    if (ip_) ip_->MessageBox(ip_->GetMAXHWnd(), text.c_str(), caption ? caption : "", style);
}

void ExportMessages::Fail(const std::string& text) {
    if (failure_.empty()) failure_ = text;
    if (ip_) ip_->MessageBox(ip_->GetMAXHWnd(), text.c_str(), "Plover", kMbOk | kMbIconStop);
}
