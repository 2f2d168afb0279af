// Sample trees written in text are compared byte for byte with golden files; the same trees
// in every other format read back to the same objects and payload bytes.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include "common/xfile_samples.h"
#include "xformat/xreader.h"

using namespace xfile;
using namespace xfile_test;

namespace {

struct Sample {
    const char* golden;
    SampleWriter writer;
};
const Sample kSamples[] = {{"scene.x", WriteSampleScene}, {"edges.x", WriteSampleEdges}};

TEST(Golden, TextMatchesAndEveryFormatReadsBackTheSameTree) {
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.golden);
        std::vector<uint8_t> text = SaveSample(s.writer, XFileFormat::Text);
        ExpectGolden(text, std::string("xformat/golden/") + s.golden);
        XDocument reference;  // the binary file: payloads exactly as given
        XResult r = ReadXFile(SaveSample(s.writer, XFileFormat::Binary), &reference);
        ASSERT_TRUE(r.ok()) << r.message;
        for (XFileFormat f : {XFileFormat::Text, XFileFormat::CompressedBinary, XFileFormat::CompressedText}) {
            SCOPED_TRACE(std::string(FormatName(f)));
            std::vector<uint8_t> bytes = f == XFileFormat::Text ? text : SaveSample(s.writer, f);
            XDocument doc;
            r = ReadXFile(bytes, &doc);
            ASSERT_TRUE(r.ok()) << r.message;
            EXPECT_EQ(doc.format, f);
            ExpectSameTree(reference, doc, !IsTextFormat(f));
            if (IsTextFormat(f)) {
                // Written again as text, what was read gives the golden bytes back.
                EXPECT_TRUE(RewriteAsText(doc) == text);
            }
        }
    }
}

}  // namespace
