// `plover inspect`: prints the object tree of an X file.
#pragma once

#include <ostream>
#include <string>

namespace xfile {

// Prints each object's template, name, payload size and a summary of its main fields
// (indented by depth), or with `json` one JSON document for scripts. On a file that cannot
// be read, prints the reader's error to `err` and returns 1; returns 0 otherwise.
int RunInspect(const std::string& path, bool json, std::ostream& out, std::ostream& err);

}  // namespace xfile

// The name the plover command calls.
using xfile::RunInspect;
