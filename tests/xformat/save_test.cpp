// The save layer's contract: refused payloads and calls, streaming order, names, output
// files written whole or not at all.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/test_files.h"
#include "common/xfile_samples.h"
#include "xformat/payload_codec.h"
#include "xformat/xpayload.h"
#include "xformat/xreader.h"
#include "xformat/xsave.h"

using namespace xfile;
using namespace xfile_test;

namespace {

struct Memory {
    XFile file;
    std::vector<uint8_t> bytes;
    std::unique_ptr<XSaveObject> save;
    explicit Memory(XFileFormat f = XFileFormat::Text) {
        EXPECT_TRUE(file.RegisterPublishedTemplates().ok());
        EXPECT_TRUE(file.CreateMemorySaveObject(&bytes, f, &save).ok());
    }
};

// A mesh of n vertices and n triangles; 200,000 make a text body of about 12 MB.
XPayload BigMesh(uint32_t n) {
    XPayload p;
    p.Reserve(8 + 12 * size_t(n) + 16 * size_t(n));
    p.Dword(n);
    for (uint32_t i = 0; i < 3 * n; ++i) p.Float(static_cast<float>(i % 1000) * 0.25f - 7.125f);
    p.Dword(n);
    for (uint32_t i = 0; i < n; ++i) p.Dword(3).Dword(i).Dword((i + 1) % n).Dword((i + 2) % n);
    return p;
}

// The same mesh laid out on demand, in elements that the layer's chunk ends cut.
XStreamedPayload BigMeshSource(uint32_t n) {
    XStreamedPayload p;
    p.Dword(n).Elements(n, 12, [](uint64_t first, size_t count, uint8_t* out) {
        for (size_t i = 0; i < 3 * count; ++i)
            XPacker{out + 4 * i}.Float(static_cast<float>((3 * first + i) % 1000) * 0.25f - 7.125f);
    });
    p.Dword(n).Elements(n, 16, [n](uint64_t first, size_t count, uint8_t* out) {
        for (uint32_t i = static_cast<uint32_t>(first); i < first + count; ++i, out += 16)
            XPacker{out}.Dword(3).Dword(i).Dword((i + 1) % n).Dword((i + 2) % n);
    });
    return p;
}

// The templates WriteBigMesh uses, in the order of first use.
const XGuid kBigMeshTemplates[] = {kTidFrame, kTidMesh, kTidAnimTicksPerSecond};

XResult WriteBigMesh(XSaveObject& save, const XPayload& mesh) {
    XSaveData frame;
    XResult r = save.AddDataObject(kTidFrame, "Root", {}, &frame);
    if (r.ok()) r = frame.AddDataObject(kTidMesh, "Big", mesh.bytes());
    if (r.ok()) r = save.AddDataObject(kTidAnimTicksPerSecond, "", std::vector<uint8_t>{160, 15, 0, 0});
    return r;
}

size_t FilesIn(const std::filesystem::path& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

void ExpectError(const XResult& r, XStatus status, const std::string& fragment) {
    EXPECT_EQ(r.status, status) << r.message;
    EXPECT_NE(r.message.find(fragment), std::string::npos) << r.message;
}

TEST(Save, MismatchedPayloadsAndCallsOutOfOrderAreRefused) {
    Memory m;
    XSaveData frame;
    ASSERT_TRUE(m.save->AddDataObject(kTidFrame, "F", {}, &frame).ok());
    XPayload p;
    p.Floats(std::vector<float>(15, 1.0f));
    ExpectError(frame.AddDataObject(kTidFrameTransformMatrix, "", p.bytes()), XStatus::BadPayload,
                "'matrix' of 'Matrix4x4' at byte 0: needs 64 bytes");
    p.Clear();  // a count larger than the data that follows
    p.Dword(1000).Floats(std::vector<float>{0, 0, 0});
    ExpectError(frame.AddDataObject(kTidMesh, "M", p.bytes()), XStatus::BadPayload, "'vertices' of 'Mesh'");
    p.Clear();
    p.Dword(0xFFFFFFFFu);  // a huge count is caught before any work is done
    ExpectError(frame.AddDataObject(kTidMeshTextureCoords, "", p.bytes()), XStatus::BadPayload, "cannot fit");
    const char unterminated[] = {'r', 'e', 'd'};
    ExpectError(frame.AddDataObject(kTidTextureFilename, "", std::span(reinterpret_cast<const uint8_t*>(unterminated), 3)),
                XStatus::BadPayload, "no terminating NUL");
    p.Clear();
    p.Floats(std::vector<float>(16, 0.0f));
    float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(const_cast<uint8_t*>(p.bytes().data()) + 20, &nan, 4);
    ExpectError(frame.AddDataObject(kTidFrameTransformMatrix, "", p.bytes()), XStatus::BadPayload, "not a finite number");
    p.Clear();  // a colour's NaN: vertex colours are checked by runs, and reported member by member
    p.Dword(1).Dword(0).Float(1).Float(nan).Float(1).Float(1);
    ExpectError(frame.AddDataObject(kTidMeshVertexColors, "", p.bytes()), XStatus::BadPayload,
                "'green' of 'ColorRGBA' at byte 12: value is not a finite number");
    p.Clear();  // animation keys are checked a key at a time, and reported member by member
    p.Dword(0).Dword(2).Dword(0).Dword(1).Float(0).Dword(1).Dword(2).Float(1).Float(nan);
    ExpectError(frame.AddDataObject(kTidAnimationKey, "", p.bytes()), XStatus::BadPayload,
                "'values' of 'FloatKeys' at byte 32: value is not a finite number");
    p.Clear();
    p.Dword(0).Dword(2).Dword(0).Dword(1).Float(0).Dword(1).Dword(2).Float(1);
    ExpectError(frame.AddDataObject(kTidAnimationKey, "", p.bytes()), XStatus::BadPayload,
                "'values' of 'FloatKeys' at byte 28: needs 8 bytes");
    XStreamedPayload source;  // read in chunks: the bad value is found at its place, past the first
    source.Dword(100000).Elements(100000, 12, [nan](uint64_t first, size_t n, uint8_t* out) {
        for (size_t i = 0; i < n; ++i) XPacker{out + 12 * i}.Float(0).Float(first + i == 90000 ? nan : 1).Float(0);
    });
    ExpectError(frame.AddDataObject(kTidMesh, "M", source), XStatus::BadPayload,
                "'vertices' of 'Mesh' at byte 1080008: value is not a finite number");
    ExpectError(m.save->AddDataObject(XGuid{1, 2, 3, {}}, "", {}), XStatus::UnknownTemplate, "00000001-0002-0003");

    // Streaming order and the templates' restrictions.
    XSaveData a, b, matrix, invalid;
    ASSERT_TRUE(m.save->AddDataObject(kTidFrame, "A", {}, &a).ok());
    ASSERT_TRUE(m.save->AddDataObject(kTidFrame, "B", {}, &b).ok());
    ExpectError(a.AddDataObject(kTidFrame, "Late", {}), XStatus::BadState, "already closed");
    ExpectError(a.AddDataReference("B"), XStatus::BadState, "already closed");
    ExpectError(invalid.AddDataObject(kTidFrame, "X", {}), XStatus::InvalidArgument, "not created");
    XPayload identity;
    identity.Floats(std::vector<float>(16, 0.0f));
    ASSERT_TRUE(b.AddDataObject(kTidFrameTransformMatrix, "", identity.bytes(), &matrix).ok());
    ExpectError(matrix.AddDataObject(kTidFrame, "C", {}), XStatus::InvalidArgument, "does not take 'Frame' children");
    ExpectError(matrix.AddDataReference("A"), XStatus::InvalidArgument, "takes no references");
    XSaveData set;
    ASSERT_TRUE(m.save->AddDataObject(kTidAnimationSet, "S", {}, &set).ok());
    ExpectError(set.AddDataObject(kTidFrame, "F", {}), XStatus::InvalidArgument, "'AnimationSet' does not take");
    EXPECT_TRUE(set.AddDataObject(kTidAnimation, "", {}).ok());

    // Nothing of the refused objects reached the output, and Save refuses to write a file
    // that would silently lack them.
    ExpectError(m.save->Save(), XStatus::BadPayload, "nothing written");
    EXPECT_TRUE(m.bytes.empty());
}

TEST(Save, TextFloatsAreTheLibrarysFixedSixDecimals) {
    // Bit patterns across every exponent, both signs and all mantissa ranges. From 2^64 on the
    // whole part would not fit a reader's 64-bit integer: the largest float below 2^64 is
    // written instead (Assimp stops at "100000000000000000000.000000" with "Separator
    // character expected").
    constexpr float kLargest = 18446742974197923840.0f;
    char mine[64], library[64];
    for (const float huge : {1e20f, 0x1p64f, 3.4e38f}) {
        EXPECT_EQ(std::string_view(mine, static_cast<size_t>(FormatFloat(mine, huge) - mine)),
                  "18446742974197923840.000000");
        EXPECT_EQ(std::string_view(mine, static_cast<size_t>(FormatFloat(mine, -huge) - mine)),
                  "-18446742974197923840.000000");
    }
    for (uint64_t pattern = 0; pattern < (uint64_t(1) << 32); pattern += 4099) {
        const uint32_t bits = static_cast<uint32_t>(pattern);
        float f;
        std::memcpy(&f, &bits, 4);
        if (!std::isfinite(f)) continue;
        if (std::fabs(f) >= 0x1p64f) f = std::copysign(kLargest, f);
        const std::string_view a(mine, static_cast<size_t>(FormatFloat(mine, f) - mine));
        const std::string_view b(library, static_cast<size_t>(
                                              std::to_chars(library, library + 64, f, std::chars_format::fixed, 6).ptr -
                                              library));
        ASSERT_EQ(a, b) << bits;
    }
}

TEST(Save, TextListsOfNumbersAndTimedKeysKeepTheirTypesAndSeparators) {
    // Lists of numbers of every integer size and sign, and timed keys with no, one and
    // several values, each on a line of its own.
    const std::string_view numbers =
        "xof 0303txt 0032\n"
        "template Numbers { <11111111-2222-3333-4444-555555555555> DWORD n; array WORD w[n]; array SWORD s[n];"
        " array CHAR c[n]; array UCHAR u[n]; array SDWORD d[n]; array FLOAT f[n]; }\n";
    Memory m;
    ASSERT_TRUE(m.file.RegisterTemplates(std::span(reinterpret_cast<const uint8_t*>(numbers.data()), numbers.size())).ok());
    EXPECT_EQ(PublishedTemplates().FindByName("Numbers"), -1) << "the file's registry is its own once added to";
    ASSERT_TRUE(m.file.CreateMemorySaveObject(&m.bytes, XFileFormat::Text, &m.save).ok());
    XPayload p;
    p.Dword(2).Word(65535).Word(7).Word(0xFFFF).Word(2);
    const uint8_t chars[] = {0x80, 5, 200, 0};
    p.Bytes(chars).Dword(0x80000000u).Dword(12).Float(-0.5f).Float(3);
    ASSERT_TRUE(m.save->AddDataObject(m.file.templates().at(m.file.templates().FindByName("Numbers")).guid, "N",
                                      p.bytes()).ok());
    XSaveData set, animation;
    ASSERT_TRUE(m.save->AddDataObject(kTidAnimationSet, "S", {}, &set).ok());
    ASSERT_TRUE(set.AddDataObject(kTidAnimation, "", {}, &animation).ok());
    p.Clear();
    p.Dword(0).Dword(3).Dword(0).Dword(0).Dword(160).Dword(1).Float(1.25f).Dword(4294967295u).Dword(3).Floats(
        std::vector<float>{1, -2, 0.5f});
    ASSERT_TRUE(animation.AddDataObject(kTidAnimationKey, "", p.bytes()).ok());
    ASSERT_TRUE(m.save->Save().ok());
    const std::string text(m.bytes.begin(), m.bytes.end());
    EXPECT_NE(text.find("Numbers N {\n 2;\n 65535,\n 7;\n -1,\n 2;\n -128,\n 5;\n 200,\n 0;\n -2147483648,\n 12;\n"
                        " -0.500000,\n 3.000000;\n}\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  AnimationKey {\n   0;\n   3;\n   0;0;;,\n   160;1;1.250000;;,\n"
                        "   4294967295;3;1.000000,-2.000000,0.500000;;;\n  }\n"),
              std::string::npos)
        << text;
}

// (Spaces, dots, leading digits, keywords and references to mapped names are in the edges golden.)
TEST(Save, LegalNamesPassUnchangedOthersAreMapped) {
    for (const char* legal : {"Box01", "_2Box", "Anim-Bone01", "a_b-c", "Floats"}) {
        EXPECT_TRUE(IsLegalName(legal)) << legal;
        EXPECT_EQ(LegalName(legal), legal);
    }
    EXPECT_EQ(LegalName("-x"), "_-x");
    EXPECT_EQ(LegalName("Bo'ne\xC3\xA9"), "Bo_ne__");
    EXPECT_EQ(LegalName(""), "");
}

// Saves into a scratch folder; the big mesh takes every format past the in-memory body limit.
class SaveToFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(file.RegisterPublishedTemplates().ok()); }
    const ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    const std::string target = (dir / "out.x").string();
    XFile file;
    const XPayload mesh = BigMesh(400000);
};

TEST_F(SaveToFile, FileIsWrittenWholeByRenameOrNotAtAll) {
    // A small scene stays in memory until Save; the big mesh's body goes to the file while it
    // is added (compressed or not), behind room for the templates expected: none, the right
    // ones (Save writes them in front), or wrong ones (Save copies the body behind the right).
    auto expecting = [&](std::vector<XGuid> templates) {
        return [&, templates](XSaveObject& save) {
            EXPECT_TRUE(save.ExpectTemplates(templates).ok());
            return WriteBigMesh(save, mesh);
        };
    };
    SampleWriter writers[] = {WriteSampleScene, [&](XSaveObject& save) { return WriteBigMesh(save, mesh); },
                              expecting({std::begin(kBigMeshTemplates), std::end(kBigMeshTemplates)}),
                              expecting({kTidFrame, kTidAnimTicksPerSecond})};
    // In place, the target is the caller's temporary: written directly, removed on failure.
    for (const bool inPlace : {false, true})
    for (XFileFormat f : {XFileFormat::Text, XFileFormat::Binary, XFileFormat::CompressedBinary}) {
        XSaveOptions options;
        options.inPlace = inPlace;
        for (const auto& write : writers) {
            // A failed save leaves the previous file and no temporary files.
            std::ofstream(target) << "previous";
            {
                std::unique_ptr<XSaveObject> save;
                ASSERT_TRUE(file.CreateSaveObject(target, f, &save, options).ok());
                ASSERT_TRUE(write(*save).ok());
                EXPECT_FALSE(save->AddDataObject(kTidMaterial, "Bad", {}).ok());
                EXPECT_FALSE(save->Save().ok());
            }
            if (!inPlace) {
                EXPECT_EQ(ReadFileBytes(target), std::vector<uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
            }
            EXPECT_EQ(FilesIn(dir), inPlace ? 0u : 1u);
            // A good save replaces it with exactly what the memory variant produces.
            std::unique_ptr<XSaveObject> save;
            ASSERT_TRUE(file.CreateSaveObject(target, f, &save, options).ok());
            ASSERT_TRUE(write(*save).ok());
            ASSERT_TRUE(save->Save().ok());
            EXPECT_EQ(save->Save().status, XStatus::BadState);
            save.reset();
            EXPECT_TRUE(ReadFileBytes(target) == SaveSample(write, f)) << FormatName(f);
            EXPECT_EQ(FilesIn(dir), 1u);
        }
    }
    std::unique_ptr<XSaveObject> save;
    ExpectError(file.CreateSaveObject((dir / "missing" / "x.x").string(), XFileFormat::Text, &save), XStatus::IoError,
                "cannot create");
}

TEST_F(SaveToFile, ProgressReachesTheTotalAndARefusalCancelsWithoutAFile) {
    for (XFileFormat f : {XFileFormat::Text, XFileFormat::Binary, XFileFormat::CompressedBinary}) {
        SCOPED_TRACE(FormatName(f));
        // Every call: body bytes growing while objects are added (total unknown), then the
        // file's bytes up to its size.
        struct Call {
            uint64_t done, total;
        };
        std::vector<Call> calls;
        XSaveOptions options;
        options.progress = [&](uint64_t done, uint64_t total) {
            calls.push_back({done, total});
            return true;
        };
        // Binary copies the body behind the templates at Save, the others write them in front.
        auto open = [&](std::unique_ptr<XSaveObject>* save) {
            ASSERT_TRUE(file.CreateSaveObject(target, f, save, options).ok());
            if (f != XFileFormat::Binary) {
                ASSERT_TRUE((*save)->ExpectTemplates(kBigMeshTemplates).ok());
            }
        };
        std::unique_ptr<XSaveObject> save;
        open(&save);
        ASSERT_TRUE(WriteBigMesh(*save, mesh).ok());
        size_t whileAdding = calls.size();
        EXPECT_GE(whileAdding, 2u);
        ASSERT_TRUE(save->Save().ok());
        ASSERT_GT(calls.size(), whileAdding);
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].total == 0, i < whileAdding) << i;
            if (i > 0 && i != whileAdding) {
                EXPECT_GE(calls[i].done, calls[i - 1].done) << i;
            }
            if (calls[i].total > 0) {
                EXPECT_LE(calls[i].done, calls[i].total) << i;
            }
        }
        EXPECT_EQ(calls.back().done, calls.back().total);
        EXPECT_EQ(calls.back().total, std::filesystem::file_size(target));

        // Refusing at the first call, or at the last (once all bytes are written): the call
        // under way reports the cancellation, later calls are refused, and no file is left.
        for (size_t refuseAt : {size_t(1), calls.size()}) {
            std::filesystem::remove(target);
            size_t count = 0;
            options.progress = [&](uint64_t, uint64_t) { return ++count < refuseAt; };
            open(&save);
            XResult added = WriteBigMesh(*save, mesh);
            XResult saved = save->Save();
            EXPECT_EQ((refuseAt <= whileAdding ? added : saved).status, XStatus::Cancelled) << refuseAt;
            EXPECT_FALSE(saved.ok());
            if (refuseAt <= whileAdding) {
                EXPECT_EQ(save->AddDataObject(kTidFrame, "After", {}).status, XStatus::Cancelled);
            }
            save.reset();
            EXPECT_EQ(FilesIn(dir), 0u) << refuseAt;
        }
    }
}

TEST(Save, LargeObjectsStreamAndSplitIntoBlocksAndListsAndAFinalArrayReadsBack) {
    // A mesh bigger than the flush thresholds and the list length: several MSZIP blocks,
    // several float lists, and all of it reads back exactly. The file then ends in a frame's
    // matrix, an array in a list the reader has already looked ahead over. The mesh given as
    // a source, read in chunks that end inside elements, writes the same bytes.
    XPayload p = BigMesh(100000);
    const XStreamedPayload source = BigMeshSource(100000);
    XPayload matrix;
    for (int i = 0; i < 16; ++i) matrix.Float(i % 5 == 0 ? 1.0f : 0.0f);
    for (XFileFormat f : {XFileFormat::Text, XFileFormat::Binary, XFileFormat::CompressedBinary,
                          XFileFormat::CompressedText}) {
        Memory m(f), fromSource(f);
        for (Memory* out : {&m, &fromSource}) {
            XSaveData frame;
            ASSERT_TRUE((out == &m ? out->save->AddDataObject(kTidMesh, "Big", p.bytes())
                                   : out->save->AddDataObject(kTidMesh, "Big", source))
                            .ok());
            ASSERT_TRUE(out->save->AddDataObject(kTidFrame, "Only", {}, &frame).ok());
            ASSERT_TRUE(frame.AddDataObject(kTidFrameTransformMatrix, "", matrix.bytes()).ok());
            ASSERT_TRUE(out->save->Save().ok());
        }
        EXPECT_TRUE(m.bytes == fromSource.bytes) << FormatName(f);
        if (f == XFileFormat::Text) continue;
        XDocument doc;
        XResult r = ReadXFile(m.bytes, &doc);
        ASSERT_TRUE(r.ok()) << r.message;
        ASSERT_EQ(doc.nodes.size(), 3u);
        std::span<const uint8_t> back = doc.Payload(doc.nodes[0]);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), p.bytes().begin(), p.bytes().end())) << FormatName(f);
        back = doc.Payload(doc.nodes[2]);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), matrix.bytes().begin(), matrix.bytes().end())) << FormatName(f);
    }
}

}  // namespace
