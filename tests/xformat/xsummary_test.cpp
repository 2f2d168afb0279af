#include <gtest/gtest.h>

#include <span>
#include <tuple>

#include "common/xfile_samples.h"
#include "xformat/xsummary.h"

using namespace xfile;
using namespace xfile_test;

namespace {

// The summary counted while the file is read equals the one of the whole tree, and a read that
// hands objects over keeps no payload.
TEST(Inspect, TheStreamedSummaryIsTheTreesSummary) {
    const std::vector<uint8_t> bytes = SaveSample(WriteSampleScene, XFileFormat::Binary);
    XDocument whole;
    ASSERT_TRUE(ReadXFile(bytes, &whole).ok());
    XFileSummaryBuilder builder;
    XReadOptions options;
    options.onObject = [&builder](const XDocument& d, const XNode& n, std::span<const uint8_t> payload) {
        builder.Add(d, n, payload);
    };
    XDocument streamed;
    ASSERT_TRUE(ReadXFile(bytes, &streamed, options).ok());
    EXPECT_TRUE(streamed.payloads.empty());
    const XFileSummary a = SummariseXFile(whole), b = builder.Finish();
    EXPECT_EQ(std::tie(a.frames, a.meshes, a.faces, a.triangles, a.vertices, a.materials, a.textures, a.bones),
              std::tie(b.frames, b.meshes, b.faces, b.triangles, b.vertices, b.materials, b.textures, b.bones));
    ASSERT_EQ(b.clips.size(), a.clips.size());
    EXPECT_EQ(b.clips[0].keyCount, a.clips[0].keyCount);
    EXPECT_EQ(b.clips[0].lastTick, a.clips[0].lastTick);
}

}  // namespace
