// Files nested deeper than any model are refused before Assimp's recursive readers see them;
// nesting that only looks deep (inside strings, comments, self-closing tags) is not counted.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "host/import/interchange_import.h"
#include "host/import/nesting_check.h"
#include "host/import/stack_guard.h"
#include "xformat/mszip.h"

namespace {

constexpr int kDeep = 100000;  // far beyond what the default stack survives in a recursive reader

std::string Repeat(const std::string& s, int n) {
    std::string out;
    out.reserve(s.size() * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

void Put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void Put64(std::string& out, uint64_t v) { out.append(reinterpret_cast<const char*>(&v), 8); }

std::string BinaryXBody(int depth) {
    std::string frame("\x01\x00", 2);  // name token "Frame", then an opening brace
    Put32(frame, 5);
    frame += std::string("Frame") + std::string("\x0A\x00", 2);
    return Repeat(frame, depth) + Repeat(std::string("\x0B\x00", 2), depth);
}

std::string CompressedX(const std::string& body) {
    std::vector<uint8_t> blocks;
    xfile::MszipCompressor compressor(1);
    EXPECT_TRUE(compressor.Compress(reinterpret_cast<const uint8_t*>(body.data()), body.size(), &blocks).ok());
    std::string out = "xof 0303bzip0032";
    Put32(out, static_cast<uint32_t>(body.size() + 16));
    return out + std::string(blocks.begin(), blocks.end());
}

// Node records nested `depth` deep, each named "N" without properties, in 32- or 64-bit form.
std::string BinaryFbx(int depth, bool wide) {
    std::string out("Kaydara FBX Binary  \0\x1A\0", 23);
    Put32(out, wide ? 7500 : 7400);
    const size_t header = wide ? 25 : 13, record = header + 1;
    for (int k = 0; k < depth; ++k) {
        const uint64_t end = out.size() + record * static_cast<size_t>(depth - k) + header * static_cast<size_t>(depth - k);
        if (wide) Put64(out, end), Put64(out, 0), Put64(out, 0);
        else Put32(out, static_cast<uint32_t>(end)), Put32(out, 0), Put32(out, 0);
        out += std::string("\x01N", 2);
    }
    return out + std::string(header * static_cast<size_t>(depth), '\0');
}

volatile int recursionLimit = 1 << 30;

int Recurse(int n) {
    volatile char frame[512];
    frame[0] = static_cast<char>(n);
    return n < recursionLimit ? Recurse(n + 1) + frame[0] : 0;
}

}  // namespace

// A reader that recurses past its stack ends the process with the message and status 2, not a
// crash; exceptions reach the caller.
TEST(ModelNestingDeathTest, ReaderOutOfStackEndsWithItsMessage) {
    EXPECT_EXIT(RunWithStackGuard([] { Recurse(0); }, "plover: m.ac: too deep"), testing::ExitedWithCode(2),
                "plover: m.ac: too deep");
    EXPECT_THROW(RunWithStackGuard([] { throw std::runtime_error("x"); }, ""), std::runtime_error);
}

TEST(ModelNesting, DeepFilesAreRefusedBeforeAssimpReadsThem) {
    const std::string frames = Repeat("Frame f {\n", kDeep) + Repeat("}\n", kDeep);
    const struct {
        const char* file;
        std::string bytes;
        const char* where;
    } cases[] = {
        // X files are read by plover's own reader, which refuses them itself.
        {"text.x", "xof 0303txt 0032\n" + frames, nullptr},
        {"binary.x", "xof 0303bin 0032" + BinaryXBody(kDeep), nullptr},
        {"compressed.x", CompressedX(BinaryXBody(kDeep)), nullptr},
        {"ascii.fbx", "; FBX 7.4.0 project file\nObjects:  {\n" + frames + "}\n", "(line 1026, column 9)"},
        {"binary.fbx", BinaryFbx(kDeep, false), "(node record at byte"},
        {"binary75.fbx", BinaryFbx(kDeep, true), "(node record at byte"},
        {"deep.dae", "<?xml version=\"1.0\"?>\n<COLLADA><library_visual_scenes><visual_scene id=\"s\">" +
                         Repeat("<node id=\"n\">", kDeep) + Repeat("</node>", kDeep) + "</visual_scene></library_visual_scenes></COLLADA>",
         "(line 2, column 13339)"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (dir.path() / c.file).string();
        std::ofstream(path, std::ios::binary) << c.bytes;
        std::string error;
        EXPECT_EQ(ImportInterchangeFile(path, ImportOptions(), error, nullptr), nullptr);
        const std::string expected = c.where ? ": nested more than 1024 levels deep " + std::string(c.where)
                                             : ": objects nested deeper than 1024";
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.where ? path + expected : expected), std::string::npos) << error;
    }
}

TEST(ModelNesting, OnlyRealNestingCounts) {
    const std::string wide = Repeat("<a/>", 5000);  // siblings, not nesting
    const struct {
        const char* file;
        std::string bytes;
        bool deep;
    } cases[] = {
        {"limit.xml", "<?xml version=\"1.0\"?>" + Repeat("<a>", 1024) + wide + Repeat("</a>", 1024), false},
        {"over.xml", "<?xml version=\"1.0\"?>" + Repeat("<a x='>'>", 1025), true},
        {"hidden.xml", "<r><!--" + Repeat("<a>", 2000) + "--><![CDATA[" + Repeat("<a>", 2000) + "]]>" +
                           "<?pi <a> ?><!DOCTYPE r><b k=\"<a>\"/></r>", false},
        {"strings.x", "xof 0303txt 0032\n" + Repeat("S { \"{{\"; } // {{\n# {{\n", 2000), false},
        {"comments.fbx", "; FBX 7.4.0 project file\n" + Repeat("; {{\nP: \"{\\\"{\" {}\n", 2000), false},
        // A stray quote hides nothing past its line.
        {"stray.x", "xof 0303txt 0032\n\"\n" + Repeat("F {\n", 1025), true},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const std::string path = (dir.path() / c.file).string();
        std::ofstream(path, std::ios::binary) << c.bytes;
        EXPECT_EQ(!FindDeepModelNesting(path).empty(), c.deep) << c.file;
    }
}
