// libFuzzer target for the X file reader: any input must give a document or an error,
// never a crash, a hang or an unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <span>

#include "xformat/xreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xfile::XReadOptions options;
    options.maxDecompressedBytes = size_t(64) << 20;
    options.maxDepth = 256;
    options.maxObjects = 1u << 18;
    options.maxDocumentBytes = size_t(256) << 20;
    xfile::XDocument doc;
    std::span<const uint8_t> input(data, size);
    if (xfile::ReadXFile(input, &doc, options).ok()) {
        // Touch every node the way consumers do.
        size_t total = 0;
        for (const xfile::XNode& n : doc.nodes) total += doc.Name(n).size() + doc.Payload(n).size();
        (void)total;
    }
    xfile::XTemplateRegistry registry;
    (void)xfile::RegisterTemplateImage(input, &registry);
    return 0;
}
