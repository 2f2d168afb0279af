// The end of an export: the material output step, the X file and the commit point.
//
// Every file an export makes is staged under a temporary name beside its target and put in
// place only when all of them were made (core/staged_files.h): a failed, cancelled or
// interrupted export leaves the output folder as it was. A symbolic link as the output stays
// a link; the file it leads to is replaced.
#pragma once

#include <cstdint>
#include <string>

#include "xfile/write_xfile.h"

class ExportContext;

// The records the writer takes from an export whose data pass has ended.
XFileRecords WriterRecords(const ExportContext& exporter);

// Whether the X file can be written at outputPath at all: its folder exists and takes new
// files, it is not a folder or another kind of file than a regular file, and it is not the
// scene file. Shows the
// message and returns false otherwise.
bool CheckOutputTarget(ExportContext& exporter, const std::string& outputPath);

// Makes the material files, writes the X file and puts everything in place. Shows one message
// for a failure (naming the user's file and the cause) and returns false; a cancel request
// from the host also returns false, without a message. Temporaries that a killed export left
// in the output folder are removed first.
// *files and *bytes (when given) receive what was put in place, the X file included; *unnamed
// how many of those files are images that the X file does not name.
bool WriteAndCommit(ExportContext& exporter, const std::string& outputPath, uint32_t* files = nullptr,
                    uint64_t* bytes = nullptr, uint32_t* unnamed = nullptr);
