// The one way the export speaks to the user: message boxes over the host's main window. A
// failure shown through Fail() is also kept as the text of the export report.
#pragma once

#include <string>

#include "sdk/host.h"

class ExportMessages {
public:
    explicit ExportMessages(Interface* ip = nullptr) : ip_(ip) {}

    // A message box with the given style (a plain one by default).
    void Show(const std::string& text, const char* caption = "", unsigned style = kMbOk);
    // A stop message box captioned "Plover"; the first such text becomes the report's failure.
    void Fail(const std::string& text);

    // The first failure shown, or empty.
    const std::string& failure() const { return failure_; }

private:
    Interface* ip_;
    std::string failure_;
};
