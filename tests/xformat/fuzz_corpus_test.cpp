// The reader's fuzz seed corpus as an ordinary test: every seed file (the samples in each format
// among them) and its prefixes give a document or an error with a message, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/xfile_samples.h"
#include "xformat/xreader.h"

using namespace xfile;
using namespace xfile_test;

namespace {

const std::filesystem::path kCorpus = std::filesystem::path(PLOVER_TEST_DATA_DIR) / "fuzz/corpus/xfile_reader";

void ReadAllPrefixes(const std::vector<uint8_t>& bytes) {
    XReadOptions options;
    options.maxDepth = 256;
    // Every prefix of small files; a spread of prefixes plus both ends of larger ones.
    size_t step = std::max<size_t>(1, bytes.size() / 1500);
    for (size_t n = 0; n < bytes.size(); ++n) {
        if (n > 256 && n + 256 < bytes.size() && n % step != 0) continue;
        XDocument doc;
        XResult r = ReadXFile(std::span(bytes.data(), n), &doc, options);
        EXPECT_TRUE(r.ok() || !r.message.empty()) << "prefix of " << n << " bytes";
    }
}

// The samples are seeds too: PLOVER_UPDATE_GOLDEN=1 writes them again in every format.
TEST(FuzzCorpus, EverySeedFileAndItsPrefixes) {
    if (const char* update = std::getenv("PLOVER_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        const std::pair<const char*, SampleWriter> samples[] = {{"scene", WriteSampleScene}, {"edges", WriteSampleEdges}};
        const char* extensions[] = {"bin", "txt", "bzip", "tzip"};
        for (auto [name, writer] : samples)
            for (int f = 0; f < 4; ++f) {
                const std::vector<uint8_t> bytes = SaveSample(writer, static_cast<XFileFormat>(f));
                std::ofstream(kCorpus / (std::string(name) + "." + extensions[f] + ".x"), std::ios::binary)
                    .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            }
    }
    size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
        XDocument doc;
        XResult r = ReadXFile(bytes, &doc);
        EXPECT_TRUE(r.ok() || !r.message.empty());
        ReadAllPrefixes(bytes);
        ++seeds;
    }
    EXPECT_GE(seeds, 8u);
}

}  // namespace
