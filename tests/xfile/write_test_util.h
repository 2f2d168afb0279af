// Shared helpers of the writer tests: export a scene into bytes, read the bytes back into a
// readable tree, and compare with golden files under tests/xfile/golden/.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scene/export_fixture.h"
#include "xfile/format/xreader.h"
#include "xfile/write_xfile.h"

namespace write_test {

// Collects, runs the data pass and writes the file into memory; fails the test when nothing
// could be written.
inline std::vector<uint8_t> ExportBytes(ExportFixture& f) {
    f.CollectAndPass();
    f.exporter->BeginStage(f.exporter->stage2Work, 5.0f, 100.0f);
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(WriteXFileBytes(*f.exporter, bytes, &error)) << error;
    return bytes;
}

inline xfile::XDocument Read(const std::vector<uint8_t>& bytes) {
    xfile::XDocument doc;
    const xfile::XResult result = xfile::ReadXFile(bytes, &doc);
    EXPECT_TRUE(result.ok()) << result.message;
    return doc;
}

// One line per object: indentation by depth, template, name, and the payload (floats for a
// FrameTransformMatrix, DWORDs for AnimTicksPerSecond, bytes in hex otherwise).
inline std::string Dump(const xfile::XDocument& doc) {
    std::ostringstream out;
    for (const xfile::XNode& node : doc.nodes) {
        out << std::string(node.depth * 2, ' ');
        if (node.isReference) {
            out << "{ " << doc.Name(node) << " }\n";
            continue;
        }
        const std::string& tmpl = doc.TemplateOf(node).name;
        out << tmpl;
        if (node.nameSize) out << " " << doc.Name(node);
        const std::span<const uint8_t> payload = doc.Payload(node);
        if (tmpl == "FrameTransformMatrix" && payload.size() == 64) {
            float m[16];
            std::memcpy(m, payload.data(), 64);
            out << " [";
            for (int i = 0; i < 16; ++i) out << (i ? (i % 4 ? " " : " | ") : "") << m[i];
            out << "]";
        } else if (tmpl == "AnimTicksPerSecond" && payload.size() == 4) {
            uint32_t v;
            std::memcpy(&v, payload.data(), 4);
            out << " " << v;
        } else if (!payload.empty()) {
            out << " <";
            static const char kHex[] = "0123456789abcdef";
            for (uint8_t b : payload) out << kHex[b >> 4] << kHex[b & 15];
            out << ">";
        }
        out << "\n";
    }
    return out.str();
}

inline std::string DumpBytes(const std::vector<uint8_t>& bytes) { return Dump(Read(bytes)); }

// The same objects, names, nesting and payloads; the floats of frame matrices may differ by
// tolerance.
inline void ExpectSameTree(const xfile::XDocument& actual, const xfile::XDocument& expected, float tolerance) {
    ASSERT_EQ(actual.nodes.size(), expected.nodes.size()) << Dump(actual) << "\nexpected\n" << Dump(expected);
    for (size_t i = 0; i < actual.nodes.size(); ++i) {
        const xfile::XNode& a = actual.nodes[i];
        const xfile::XNode& e = expected.nodes[i];
        SCOPED_TRACE("object " + std::to_string(i) + " " + std::string(expected.Name(e)));
        ASSERT_EQ(a.isReference, e.isReference);
        EXPECT_EQ(a.depth, e.depth);
        EXPECT_EQ(a.parent, e.parent);
        EXPECT_EQ(actual.Name(a), expected.Name(e));
        if (a.isReference) continue;
        const std::string& tmpl = actual.TemplateOf(a).name;
        EXPECT_EQ(tmpl, expected.TemplateOf(e).name);
        const std::span<const uint8_t> pa = actual.Payload(a), pe = expected.Payload(e);
        ASSERT_EQ(pa.size(), pe.size());
        if (tmpl == "FrameTransformMatrix") {
            for (size_t k = 0; k + 4 <= pa.size(); k += 4) {
                float fa, fe;
                std::memcpy(&fa, pa.data() + k, 4);
                std::memcpy(&fe, pe.data() + k, 4);
                EXPECT_NEAR(fa, fe, tolerance) << "float " << k / 4;
            }
        } else {
            EXPECT_TRUE(std::equal(pa.begin(), pa.end(), pe.begin()));
        }
    }
}

// The Frame objects only, one line each, indented by nesting: "Top\n  Child\n".
inline std::string FrameTree(const xfile::XDocument& doc) {
    std::string out;
    for (const xfile::XNode& node : doc.nodes) {
        if (node.isReference || doc.TemplateOf(node).name != "Frame") continue;
        out += std::string(node.depth * 2, ' ') + std::string(doc.Name(node)) + "\n";
    }
    return out;
}

// The frame matrix of the Frame called name, as its 16 floats; empty when there is none.
inline std::vector<float> FrameMatrixOf(const xfile::XDocument& doc, const std::string& name) {
    for (uint32_t i = 0; i < doc.nodes.size(); ++i) {
        const xfile::XNode& node = doc.nodes[i];
        if (node.isReference || doc.TemplateOf(node).name != "Frame" || doc.Name(node) != name) continue;
        for (uint32_t child : doc.Children(i)) {
            const xfile::XNode& c = doc.nodes[child];
            if (!c.isReference && doc.TemplateOf(c).name == "FrameTransformMatrix") {
                std::vector<float> m(16);
                std::memcpy(m.data(), doc.Payload(c).data(), 64);
                return m;
            }
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

// Compares bytes with tests/xfile/golden/<name>; PLOVER_UPDATE_GOLDEN=1 rewrites the file. A
// mismatch names the first differing line and saves the actual bytes in the build tree.
inline void ExpectGolden(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::filesystem::path golden = std::filesystem::path(PLOVER_TEST_DATA_DIR) / "xfile" / "golden" / name;
    const char* update = std::getenv("PLOVER_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        std::filesystem::create_directories(golden.parent_path());
        std::ofstream(golden, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
        return;
    }
    std::ifstream in(golden, std::ios::binary);
    ASSERT_TRUE(in) << "missing golden file " << golden << " (PLOVER_UPDATE_GOLDEN=1 creates it)";
    const std::string expected((std::istreambuf_iterator<char>(in)), {});
    const std::string actual(bytes.begin(), bytes.end());
    if (actual == expected) return;

    const std::filesystem::path saved = std::filesystem::path(PLOVER_BINARY_DIR) / "golden-actual" / name;
    std::filesystem::create_directories(saved.parent_path());
    std::ofstream(saved, std::ios::binary) << actual;
    std::istringstream a(actual), e(expected);
    std::string la, le;
    for (int line = 1;; ++line) {
        const bool ga = static_cast<bool>(std::getline(a, la));
        const bool ge = static_cast<bool>(std::getline(e, le));
        if (!ga && !ge) break;
        if (la != le || ga != ge) {
            ADD_FAILURE() << name << " differs at line " << line << "\n  expected: " << le << "\n  actual:   " << la
                          << "\n  actual file saved as " << saved;
            return;
        }
    }
    ADD_FAILURE() << name << " differs (line ends); actual file saved as " << saved;
}

}  // namespace write_test
