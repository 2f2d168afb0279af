// Shared helpers of the writer tests: export into bytes, read back, look at frames, compare
// with golden files under tests/xfile/golden/ (PLOVER_UPDATE_GOLDEN=1 rewrites them).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/mesh_invariants.h"
#include "scene/export_fixture.h"
#include "xfile/format/xreader.h"
#include "plugin/export_files.h"
#include "xfile/write_xfile.h"

namespace write_test {

// Collects, runs the data pass and writes the file into memory.
inline std::vector<uint8_t> ExportBytes(ExportFixture& f) {
    f.CollectAndPass();
    f.exporter->meter.BeginStage(f.exporter->stage2Work, 5.0f, 100.0f);
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(WriteXFileBytes(WriterRecords(*f.exporter), f.exporter->meter, bytes, &error)) << error;
    xfile::XDocument doc;
    if (xfile::ReadXFile(bytes, &doc).ok()) mesh_invariants::ExpectMeshObjectsValid(doc);
    return bytes;
}

inline xfile::XDocument Read(const std::vector<uint8_t>& bytes) {
    xfile::XDocument doc;
    const xfile::XResult result = xfile::ReadXFile(bytes, &doc);
    EXPECT_TRUE(result.ok()) << result.message;
    return doc;
}

// The Frame objects, one line each, indented by nesting: "Top\n  Child\n".
inline std::string FrameTree(const xfile::XDocument& doc) {
    std::string out;
    for (const xfile::XNode& node : doc.nodes)
        if (!node.isReference && doc.TemplateOf(node).name == "Frame")
            out += std::string(node.depth * 2, ' ') + std::string(doc.Name(node)) + "\n";
    return out;
}

// The 16 floats of the FrameTransformMatrix of the Frame called name; empty when none.
inline std::vector<float> FrameMatrixOf(const xfile::XDocument& doc, const std::string& name) {
    for (uint32_t i = 0; i < doc.nodes.size(); ++i) {
        const xfile::XNode& node = doc.nodes[i];
        if (node.isReference || doc.TemplateOf(node).name != "Frame" || doc.Name(node) != name) continue;
        for (uint32_t child : doc.Children(i)) {
            if (doc.nodes[child].isReference || doc.TemplateOf(doc.nodes[child]).name != "FrameTransformMatrix")
                continue;
            std::vector<float> m(16);
            std::memcpy(m.data(), doc.Payload(doc.nodes[child]).data(), 64);
            return m;
        }
    }
    return {};
}

inline std::vector<float> Floats(const Matrix3& m) {
    const std::array<float, 16> a = MatrixToFrameMatrix(m);
    return {a.begin(), a.end()};
}

inline void ExpectFloatsNear(const std::vector<float>& actual, const std::vector<float>& expected,
                             float epsilon = 1e-5f) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], epsilon) << "element " << i;
}

// The same objects, names, nesting and payload bytes.
inline void ExpectSameTree(const xfile::XDocument& a, const xfile::XDocument& e) {
    ASSERT_EQ(a.nodes.size(), e.nodes.size());
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        const xfile::XNode &x = a.nodes[i], &y = e.nodes[i];
        ASSERT_EQ(x.isReference, y.isReference) << i;
        EXPECT_EQ(x.parent, y.parent) << i;
        EXPECT_EQ(a.Name(x), e.Name(y)) << i;
        if (x.isReference) continue;
        EXPECT_EQ(a.TemplateOf(x).name, e.TemplateOf(y).name) << i;
        EXPECT_TRUE(std::ranges::equal(a.Payload(x), e.Payload(y))) << i << " " << e.Name(y);
    }
}

// A mismatch names the first differing line and saves the actual bytes in the build tree.
inline void ExpectGolden(const std::vector<uint8_t>& bytes, const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path golden = fs::path(PLOVER_TEST_DATA_DIR) / "xfile" / "golden" / name;
    const std::string actual(bytes.begin(), bytes.end());
    if (const char* update = std::getenv("PLOVER_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary) << actual;
        return;
    }
    std::ifstream in(golden, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << golden << " (PLOVER_UPDATE_GOLDEN=1 creates it)";
    const std::string expected((std::istreambuf_iterator<char>(in)), {});
    if (actual == expected) return;
    const fs::path saved = fs::path(PLOVER_BINARY_DIR) / "golden-actual" / name;
    fs::create_directories(saved.parent_path());
    std::ofstream(saved, std::ios::binary) << actual;
    std::istringstream a(actual), e(expected);
    std::string la, le;
    int line = 1;
    while (std::getline(a, la) && std::getline(e, le) && la == le) ++line;
    ADD_FAILURE() << name << " differs at line " << line << "\n  expected: " << le << "\n  actual:   " << la
                  << "\n  actual file saved as " << saved;
}

}  // namespace write_test
