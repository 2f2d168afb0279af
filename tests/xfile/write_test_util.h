// Shared helpers of the writer tests: export into bytes, read back, look at frames.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/mesh_invariants.h"
#include "common/test_files.h"
#include "common/xfile_samples.h"
#include "plugin/export_files.h"
#include "scene/export_fixture.h"
#include "xfile/write_xfile.h"
#include "xformat/xreader.h"

namespace write_test {

// Writes the fixture's records as they stand into memory and checks its meshes.
inline std::vector<uint8_t> WriteBytes(ExportFixture& f) {
    f.exporter->meter.BeginStage(f.exporter->stage2Work, 5.0f, 100.0f);
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(WriteXFileBytes(WriterRecords(*f.exporter), f.exporter->meter, bytes, &error)) << error;
    xfile::XDocument doc;
    if (xfile::ReadXFile(bytes, &doc).ok()) mesh_invariants::ExpectMeshObjectsValid(doc);
    return bytes;
}

// Collects, runs the data pass and writes the file into memory.
inline std::vector<uint8_t> ExportBytes(ExportFixture& f) {
    f.CollectAndPass();
    return WriteBytes(f);
}

inline xfile::XDocument Read(const std::vector<uint8_t>& bytes) {
    xfile::XDocument doc;
    const xfile::XResult result = xfile::ReadXFile(bytes, &doc);
    EXPECT_TRUE(result.ok()) << result.message;
    return doc;
}

}  // namespace write_test
