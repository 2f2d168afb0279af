// The reader on files written by other programs, and on malformed or hostile input.
#include <gtest/gtest.h>

#include <cstring>

#include "common/xfile_samples.h"
#include "xformat/mszip.h"
#include "xformat/xreader.h"
#include "xformat/xtemplates.h"

using namespace xfile;

namespace {

std::span<const uint8_t> Span(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

XDocument MustRead(const std::string& bytes) {
    XDocument doc;
    XResult r = ReadXFile(Span(bytes), &doc);
    EXPECT_TRUE(r.ok()) << r.message;
    return doc;
}

void ExpectReadError(const std::string& bytes, XStatus status, const std::string& fragment,
                     const XReadOptions& options = {}) {
    XDocument doc;
    XResult r = ReadXFile(Span(bytes), &doc, options);
    EXPECT_EQ(r.status, status) << r.message;
    EXPECT_NE(r.message.find(fragment), std::string::npos) << r.message;
}

template <typename T>
T At(std::span<const uint8_t> p, size_t offset) {
    T v;
    std::memcpy(&v, p.data() + offset, sizeof v);
    return v;
}

// Little binary-token writer for hand-made files.
struct Bin {
    std::string s;
    explicit Bin(const char* header) : s(header) {}
    Bin& W(uint16_t v) { return Raw(&v, 2); }
    Bin& D(uint32_t v) { return Raw(&v, 4); }
    Bin& Raw(const void* p, size_t n) {
        s.append(static_cast<const char*>(p), n);
        return *this;
    }
    Bin& Name(const std::string& n) { return W(1).D(static_cast<uint32_t>(n.size())).Raw(n.data(), n.size()); }
    Bin& Str(const std::string& n, uint16_t terminator) {
        return W(2).D(static_cast<uint32_t>(n.size())).Raw(n.data(), n.size()).W(terminator);
    }
};

TEST(Reader, ForeignTextFileWithCommentsGuidsAndLooseSeparators) {
    const std::string file =
        "xof 0302txt 0064\r\n"
        "# written by another program\r\n"
        "template Pair { <AAAAAAAA-0000-0000-0000-000000000001> // a custom template\r\n"
        "  word a; array float grid[2][a]; string label; [ Material <3D82AB4D-62DA-11CF-AB39-0020AF71E433>, Frame ] }\r\n"
        "Material Mat { <11112222-3333-4444-5555-666677778888>\r\n"
        "  1.0;0.5;0.25;1;;; 2e1; 0;0;0;; -0;0;0;;\r\n"
        "}\r\n"
        "Frame Box01.Mesh {\r\n"
        "  Pair { 2; 1,2,3,4.5; \"a;b\"; { Mat } { Mat <3D82AB4D-62DA-11CF-AB39-0020AF71E433> } {<3D82AB4D-62DA-11CF-AB39-0020AF71E433>} }\r\n"
        "}\r\n";
    XDocument doc = MustRead(file);
    EXPECT_EQ(doc.format, XFileFormat::Text);
    EXPECT_TRUE(doc.floatSize64);
    EXPECT_EQ(doc.definedTemplates.size(), 1u);
    EXPECT_EQ(doc.Roots(), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(xfile_test::Outline(Span(file), {"Material", "Pair"}),
              "Material Mat <11112222-3333-4444-5555-666677778888> faceColor=(1, 0.5, 0.25, 1) power=20 "
              "specularColor=(0, 0, 0) emissiveColor=(-0, 0, 0)\n"
              "Frame Box01.Mesh\n"
              "  Pair a=2 grid=[1, 2, 3, 4.5] label=\"a;b\"\n"
              "    { Mat }\n    { Mat <3D82AB4D-62DA-11CF-AB39-0020AF71E433> }\n    {  <3D82AB4D-62DA-11CF-AB39-0020AF71E433> }\n");

    // Number arrays with signs, exponents and comments between values; a value that is not a
    // number is named with the member of the element it is in.
    XDocument mesh = MustRead("xof 0303txt 0032\nMesh { 2; +1.5;2e0;3;, # c\n -0.25 ; 4;+5;; 1; 3;0,1,1;; }");
    std::span<const uint8_t> p = mesh.Payload(mesh.nodes[0]);
    ASSERT_EQ(p.size(), 48u);
    EXPECT_EQ(At<float>(p, 4), 1.5f);
    EXPECT_EQ(At<float>(p, 16), -0.25f);
    EXPECT_EQ(At<float>(p, 24), 5.0f);
    EXPECT_EQ(At<uint32_t>(p, 44), 1u);
    ExpectReadError("xof 0303txt 0032\nMesh { 2; 1;2;3;, 4;x;6;; 0;; }", XStatus::ParseError,
                    "line 2 (byte 37), in Mesh: 'x' is not a number ('y' of 'Vector')");
}

TEST(Reader, ForeignBinaryFiles) {
    // The unmerged style of other writers: one TOKEN_INTEGER per value with separators,
    // 64-bit floats, a string ended by a comma.
    Bin b("xof 0303bin 0064");
    b.Name("Mesh").W(10).W(3).D(3).W(20);
    double v[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0.5};
    b.W(7).D(9).Raw(v, sizeof v).W(6).D(5).D(1).D(3).D(0).D(1).D(2);
    b.Name("TextureFilename").W(10).Str("t.png", 19).W(11).W(11);
    XDocument doc = MustRead(b.s);
    ASSERT_EQ(doc.nodes.size(), 2u);
    std::span<const uint8_t> mesh = doc.Payload(doc.nodes[0]);
    ASSERT_EQ(mesh.size(), 4u + 36u + 4u + 16u);
    EXPECT_EQ(At<float>(mesh, 4 + 32), 0.5f);
    EXPECT_EQ(At<uint32_t>(mesh, 56), 2u);
    EXPECT_EQ(doc.Payload(doc.nodes[1]).size(), 6u);

    // Microsoft's compressed-text sample: a stored deflate block.
    std::string body = "Header Object\n{\n1; 2; 3;\n}\n\n";
    Bin z("xof 0302tzip0064");
    z.D(16 + 28).W(28).W(2 + 5 + 28).Raw("CK", 2);
    uint8_t stored[5] = {1, 28, 0, 0xE3, 0xFF};
    z.Raw(stored, 5).Raw(body.data(), body.size());
    EXPECT_EQ(xfile_test::Outline(Span(z.s), {"Header"}), "Header Object major=1 minor=2 flags=3\n");
}

TEST(Reader, MalformedTextAndTemplatesThatCouldNeverBeReadNameTheLine) {
    const std::string head = "xof 0303txt 0032\n";
    ExpectReadError("xof 0303txt 003", XStatus::ParseError, "shorter than the 16-byte header");
    ExpectReadError(head + "Frame A {\n Frame B {\n }\n", XStatus::ParseError, "line 5 (byte 41), in Frame 'A': the data ends before this object is closed (it starts at byte 17)");
    ExpectReadError(head + "\nWidget W {\n}\n", XStatus::UnknownTemplate, "line 3 (byte 18): unknown template 'Widget'");
    ExpectReadError(head + "AnimTicksPerSecond {\n 4294967296;\n}\n", XStatus::ParseError, "out of range for DWORD");
    ExpectReadError(head + "TextureFilename {\n \"open\n}\n", XStatus::ParseError, "line 3 (byte 36): string is not closed");
    ExpectReadError(head + "Frame A {\n <12-34>\n}\n", XStatus::ParseError, "malformed GUID");
    ExpectReadError(head + "MeshTextureCoords {\n 4000000000;\n 0;0;;\n}\n", XStatus::LimitExceeded,
                    "declares 4000000000 elements");
    ExpectReadError(head + "template T { <AAAAAAAA-0000-0000-0000-000000000001> Missing m; }", XStatus::ParseError,
                    "'Missing' is not a known template");
    // A control byte in a restriction list once made an empty token that was never consumed.
    ExpectReadError(head + "template T { <AAAAAAAA-0000-0000-0000-000000000001> [ .\x01 ] }", XStatus::ParseError,
                    "line 2 (byte 72): unexpected control byte 0x01 in text data");
    ExpectReadError(head + "Frame A {\x1b}", XStatus::ParseError, "unexpected control byte 0x1B");
    // Fixed sizes past a DWORD of bytes, by a sum of members and by a product of dimensions.
    const std::string big = "template Big { <AAAAAAAA-0000-0000-0000-000000000001> array DWORD a[1000000000]; }\n";
    ExpectReadError(head + big + "template Two { <AAAAAAAA-0000-0000-0000-000000000002> Big x; Big y; }",
                    XStatus::ParseError, "template 'Two': member 1 'y' makes every instance larger than 4294967295 bytes");
    ExpectReadError(head + big + "template Many { <AAAAAAAA-0000-0000-0000-000000000002> array Big b[4000000000][4]; }",
                    XStatus::ParseError, "member 0 'b' makes every instance larger than 4294967295 bytes");
    MustRead(head + big);
}

TEST(Reader, HostileInputStaysWithinLimits) {
    std::string deep = "xof 0303txt 0032\n";
    for (int i = 0; i < 100000; ++i) deep += "Frame{";
    XReadOptions options;
    options.maxDepth = 64;
    ExpectReadError(deep, XStatus::LimitExceeded, "nested deeper than 64", options);
    ExpectReadError(deep, XStatus::LimitExceeded, "nested deeper than 1024");

    // A list announcing more elements than the file holds.
    Bin list("xof 0303bin 0032");
    list.Name("AnimTicksPerSecond").W(10).W(6).D(0x40000000);
    ExpectReadError(list.s, XStatus::ParseError, "byte 42: list of 1073741824 elements runs past the end");
    Bin token("xof 0303bin 0032");
    token.W(99);
    ExpectReadError(token.s, XStatus::ParseError, "byte 16: unknown binary token 99");
    Bin escape("xof 0303bin 0032");  // names reach messages with their control bytes spelled out
    escape.Name("\x1b[2J").W(10);
    ExpectReadError(escape.s, XStatus::UnknownTemplate, "byte 16: unknown template '\\x1B[2J'");

    // Compression: bad signature, a block larger than announced, and a small file that
    // announces more than the limit allows.
    Bin ck("xof 0303bzip0032");
    ck.D(40).W(24).W(10).Raw("CX", 2).D(0).D(0);
    ExpectReadError(ck.s, XStatus::ParseError, "byte 24: block signature");
    Bin bomb("xof 0303bzip0032");
    bomb.D(0xFFFFFFFFu).W(8).W(2 + 5 + 8).Raw("CK", 2);
    uint8_t stored[5] = {1, 8, 0, 0xF7, 0xFF};
    bomb.Raw(stored, 5).Raw("01234567", 8);
    options = {};
    options.maxDecompressedBytes = 1 << 20;
    ExpectReadError(bomb.s, XStatus::LimitExceeded, "more than the limit", options);
    Bin mismatch("xof 0303bzip0032");
    mismatch.D(16 + 4).W(8).W(2 + 5 + 8).Raw("CK", 2).Raw(stored, 5).Raw("01234567", 8);
    ExpectReadError(mismatch.s, XStatus::ParseError, "blocks decompress to 8 bytes, the header announces 4");
    // A compressed size without the 2 "CK" bytes, as one writer made them: named as such.
    Bin noCk("xof 0303bzip0032");
    noCk.D(16 + 16).W(8).W(5 + 8).Raw("CK", 2).Raw(stored, 5).Raw("01234567", 8);
    noCk.W(8).W(5 + 8).Raw("CK", 2).Raw(stored, 5).Raw("01234567", 8);
    ExpectReadError(noCk.s, XStatus::ParseError,
                    "byte 26: block does not decompress to its announced 8 bytes; its compressed size leaves out the 2 \"CK\" bytes");
}

TEST(Reader, ObjectCountAndMemoryAreBoundedEvenWhenCompressed) {
    // 6 bytes of text per object; deflate makes 400000 of them a few kilobytes.
    std::string body;
    for (int i = 0; i < 400000; ++i) body += "Frame{";
    std::string file = "xof 0303tzip0032";
    uint32_t total = static_cast<uint32_t>(16 + body.size());
    file.append(reinterpret_cast<const char*>(&total), 4);
    std::vector<uint8_t> blocks;
    ASSERT_TRUE(MszipCompressor(6).Compress(reinterpret_cast<const uint8_t*>(body.data()), body.size(), &blocks).ok());
    file.append(reinterpret_cast<const char*>(blocks.data()), blocks.size());
    ASSERT_LT(file.size(), 20000u);
    XReadOptions options;
    options.maxDepth = 1000000;
    options.maxObjects = 1000;
    ExpectReadError(file, XStatus::LimitExceeded,
                    "line 1 (byte 6016) of the decompressed data, in ... > Frame > Frame > Frame > Frame > Frame > Frame: "
                    "more than 1000 objects and references, the reader's limit", options);
    options.maxObjects = 1u << 22;
    options.maxDocumentBytes = 1 << 20;
    ExpectReadError(file, XStatus::LimitExceeded, "bytes of memory, the reader's limit", options);

    // Payload bytes count too, and the message names the object being read.
    std::string floats = "xof 0303txt 0032\nFrame Root { Mesh Box { 100000;";
    for (int i = 0; i < 100000; ++i) floats += "1;2;3;,";
    options = {};
    options.maxDocumentBytes = 100000;
    ExpectReadError(floats, XStatus::LimitExceeded, "in Frame 'Root' > Mesh 'Box': the objects read so far take more than 100000", options);
}

// A compressed X file of `body`.
std::string Compressed(const std::string& body) {
    std::string file = "xof 0303tzip0032";
    const uint32_t total = static_cast<uint32_t>(16 + body.size());
    file.append(reinterpret_cast<const char*>(&total), 4);
    std::vector<uint8_t> blocks;
    EXPECT_TRUE(MszipCompressor(6).Compress(reinterpret_cast<const uint8_t*>(body.data()), body.size(), &blocks).ok());
    file.append(reinterpret_cast<const char*>(blocks.data()), blocks.size());
    return file;
}

TEST(Reader, DecompressionBombsAreRefusedAsTheyExpand) {
    // 8 MiB of blanks in 8 KB: refused once the bytes made pass the check's start (lowered from
    // 64 MiB), long before the body is whole.
    const std::string bomb = Compressed(std::string(size_t(8) << 20, ' '));
    ASSERT_LT(bomb.size(), 20000u);
    XReadOptions options;
    options.expansionCheckedAfter = size_t(1) << 20;
    ExpectReadError(bomb, XStatus::LimitExceeded,
                    "more than 256 times as many; no model compresses like that (a decompression bomb)", options);
    // A model's numbers compress a few times: the same size is read on.
    std::string mesh = "Mesh M { 100000;";
    uint32_t seed = 1;
    for (int i = 0; i < 300000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        mesh += std::to_string(seed % 100000) + "." + std::to_string(seed % 997) + (i % 3 == 2 ? ";," : ";");
    }
    mesh.back() = ';';
    mesh += "0;; }";
    ASSERT_GT(mesh.size(), options.expansionCheckedAfter);
    XDocument doc;
    const XResult read = ReadXFile(Span(Compressed(mesh)), &doc, options);
    EXPECT_TRUE(read.ok()) << read.message;
}

}  // namespace
