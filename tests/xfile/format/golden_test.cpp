// Sample trees written in text are compared byte for byte with golden files; the same trees
// in every other format read back to the same objects and payload bytes.
#include <gtest/gtest.h>

#include "xfile/format/xreader.h"
#include "common/test_files.h"
#include "common/xfile_samples.h"

using namespace xfile;
using namespace xfile_test;

namespace {

// Same objects, names, structure; payload bytes too unless the encoding was text, whose
// six-decimal floats are compared through the golden text instead.
void ExpectSameTree(const XDocument& a, const XDocument& b, bool exactPayloads) {
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        const XNode& x = a.nodes[i];
        const XNode& y = b.nodes[i];
        SCOPED_TRACE("node " + std::to_string(i) + " " + std::string(a.Name(x)));
        EXPECT_EQ(x.isReference, y.isReference);
        EXPECT_EQ(a.Name(x), b.Name(y));
        EXPECT_EQ(x.depth, y.depth);
        EXPECT_EQ(x.end, y.end);
        if (!x.isReference && exactPayloads) {
            EXPECT_EQ(a.TemplateOf(x).name, b.TemplateOf(y).name);
            std::span<const uint8_t> px = a.Payload(x), py = b.Payload(y);
            EXPECT_TRUE(std::equal(px.begin(), px.end(), py.begin(), py.end()));
        }
    }
}

struct Sample {
    const char* golden;
    SampleWriter writer;
};
const Sample kSamples[] = {{"scene.x", WriteSampleScene}, {"edges.x", WriteSampleEdges}};

TEST(Golden, TextMatchesAndEveryFormatReadsBackTheSameTree) {
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.golden);
        std::vector<uint8_t> text = SaveSample(s.writer, XFileFormat::Text);
        ExpectGolden(text, std::string("xfile/format/golden/") + s.golden);
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
                std::vector<uint8_t> again;
                XFile file;
                ASSERT_TRUE(file.RegisterPublishedTemplates().ok());
                std::unique_ptr<XSaveObject> save;
                ASSERT_TRUE(file.CreateMemorySaveObject(&again, XFileFormat::Text, &save).ok());
                ASSERT_TRUE(WriteDocument(doc, *save).ok());
                ASSERT_TRUE(save->Save().ok());
                EXPECT_TRUE(again == text);
            }
        }
    }
}

}  // namespace
