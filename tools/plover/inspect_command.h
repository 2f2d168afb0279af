// `plover inspect`: prints the object tree of an X file, or a summary of what it holds.
#pragma once

#include <ostream>
#include <string>

namespace xfile {

// Prints each object's template, name, payload size and a summary of its main fields
// (indented by depth), or with `summary` only the counts of SummariseXFile; with `json` either
// as one JSON document for scripts. On a file that cannot be read, prints the reader's error to
// `err` and returns 1; returns 0 otherwise.
int RunInspect(const std::string& path, bool json, std::ostream& out, std::ostream& err, bool summary = false);

}  // namespace xfile

using xfile::RunInspect;
