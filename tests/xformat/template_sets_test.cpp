#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "xformat/template_codec.h"
#include "xformat/xreader.h"
#include "xformat/xtemplates.h"

using namespace xfile;

namespace {

uint32_t Crc(std::span<const uint8_t> b) {
    return static_cast<uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

TEST(TemplateSets, PublishedBlobsAreByteExact) {
    EXPECT_EQ(StandardTemplateSet().size(), 3278u);
    EXPECT_EQ(Crc(StandardTemplateSet()), 0x2409f63bu);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(StandardTemplateSet().data()), 16), "xof 0302bin 0064");
    EXPECT_EQ(SkinTemplateSet().size(), 3224u);
    EXPECT_EQ(Crc(SkinTemplateSet()), 0xf723c4bdu);
    EXPECT_EQ(ExtensionTemplateSet().size(), 1627u);
    EXPECT_EQ(Crc(ExtensionTemplateSet()), 0xf7d93640u);
}

TEST(TemplateSets, TheRegistryHoldsTheSetsAsPublished) {
    // PublishedTemplates is made from a table of the definitions; registering the published
    // blobs, made from their text, gives the same templates.
    XTemplateRegistry fromSets;
    for (std::span<const uint8_t> set : {StandardTemplateSet(), SkinTemplateSet(), ExtensionTemplateSet()})
        ASSERT_TRUE(RegisterTemplateImage(set, &fromSets).ok());
    const XTemplateRegistry& published = PublishedTemplates();
    ASSERT_EQ(published.size(), fromSets.size());
    for (size_t i = 0; i < published.size(); ++i) {
        std::string a, b;
        AppendTemplateText(published, i, &a);
        AppendTemplateText(fromSets, i, &b);
        EXPECT_EQ(a, b);
        std::vector<uint8_t> x, y;
        AppendTemplateBinary(published, i, true, &x);
        AppendTemplateBinary(fromSets, i, true, &y);
        EXPECT_EQ(x, y) << a;
    }
}

TEST(TemplateSets, DefinitionsAreValidated) {
    XTemplateRegistry r = PublishedTemplates();
    XTemplate bad;
    bad.name = "Bad";
    XMember m;
    m.name = "values";
    m.type = XType::Dword;
    m.isArray = true;
    m.dimensionCount = 1;
    m.dimensions[0].memberIndex = 0;  // refers to itself, not an earlier member
    bad.members.push_back(m);
    XResult res = r.Add(bad);
    EXPECT_FALSE(res.ok());
    EXPECT_NE(res.message.find("not an earlier member"), std::string::npos) << res.message;

    // An array of a template whose instances can be empty would let a count spin forever.
    const char* text =
        "xof 0303txt 0032\n"
        "template Empty { <11111111-2222-3333-4444-555555555555> array DWORD a[0]; }\n"
        "template Spin { <11111111-2222-3333-4444-555555555556> DWORD n; array Empty e[n]; }\n";
    std::span<const uint8_t> image(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    res = RegisterTemplateImage(image, &r);
    EXPECT_FALSE(res.ok());
    EXPECT_NE(res.message.find("line 3"), std::string::npos) << res.message;
    EXPECT_EQ(r.FindByName("Empty"), -1) << "a failed registration leaves the registry unchanged";
}

}  // namespace
