// Reads text, binary and compressed X files into a flat object tree whose payloads use the
// packed layout the save layer takes (see xsave.h), so that write -> read gives back the
// same objects and bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xformat/xfile_format.h"
#include "xformat/xresult.h"
#include "xformat/xtemplates.h"

namespace xfile {

struct XDocument;
struct XNode;

// Limits on what one read may take. Each one exceeded fails the read with XStatus::LimitExceeded
// and a message naming the place in the file.
struct XReadOptions {
    size_t maxDecompressedBytes = size_t(1) << 30;  // largest file, and largest body of a compressed one
    // A compressed body larger than this may be at most maxExpansion times its compressed size
    // (counted as it is decompressed, so a decompression bomb stops early).
    size_t expansionCheckedAfter = size_t(64) << 20;
    uint32_t maxExpansion = 256;
    uint32_t maxDepth = 1024;                       // deepest nesting of data objects
    uint32_t maxObjects = 1u << 22;                 // data objects plus references
    size_t maxDocumentBytes = size_t(1) << 30;      // memory of the parsed tree: nodes, names and payloads
    // Templates known before the file's own definitions; null means the three published sets.
    const XTemplateRegistry* templates = nullptr;
    // When set, called for every data object as soon as its own members are read (before its
    // children), with its node (template, name, parent and depth; not yet its end) and its
    // payload. The payload is then dropped: the document keeps only the nodes and names, so that
    // a pass over a file of any size holds little more than the file.
    std::function<void(const XDocument&, const XNode&, std::span<const uint8_t> payload)> onObject;
};

inline constexpr uint32_t kNoNode = 0xFFFFFFFFu;

// One data object or data reference. Nodes are stored depth first: an object's subtree is
// the nodes [index + 1, end).
struct XNode {
    bool isReference = false;
    bool hasGuid = false;        // object: instance GUID given; reference: the "{ name <guid> }" form
    XGuid guid{};
    uint32_t templateIndex = 0;  // objects: index into XDocument::templates
    uint32_t nameOffset = 0;     // into XDocument::names; nameSize 0 = unnamed
    uint32_t nameSize = 0;
    uint64_t payloadOffset = 0;  // into XDocument::payloads
    uint64_t payloadSize = 0;
    uint32_t parent = kNoNode;
    uint32_t end = 0;            // one past the last node of this subtree
    uint32_t depth = 0;          // 0 for top-level nodes
    uint64_t sourceOffset = 0;   // byte offset of the node in the (decompressed) file
};

struct XDocument {
    XFileFormat format = XFileFormat::Text;
    bool floatSize64 = false;               // header said "0064"
    XTemplateRegistry templates;            // the known templates followed by the file's own
    std::vector<uint32_t> definedTemplates; // registry indices of the templates the file defines
    std::vector<XNode> nodes;
    std::string names;
    std::vector<uint8_t> payloads;

    std::string_view Name(const XNode& n) const { return std::string_view(names).substr(n.nameOffset, n.nameSize); }
    std::span<const uint8_t> Payload(const XNode& n) const {
        return std::span<const uint8_t>(payloads).subspan(n.payloadOffset, n.payloadSize);
    }
    const XTemplate& TemplateOf(const XNode& n) const { return templates.at(n.templateIndex); }
    // Indices of the top-level nodes, or of the direct children of node `index`.
    std::vector<uint32_t> Roots() const;
    std::vector<uint32_t> Children(uint32_t index) const;
};

XResult ReadXFile(std::span<const uint8_t> data, XDocument* document, const XReadOptions& options = {});
XResult ReadXFileFromPath(const std::string& path, XDocument* document, const XReadOptions& options = {});

// `text` with its control bytes (below 0x20, and 0x7F) written as \xNN, so that names taken
// from a file are safe to print on a terminal.
std::string PrintableText(std::string_view text);

// Parses an X file image that holds only template definitions (text, binary or compressed)
// and adds them to `registry`. On failure the registry is left unchanged.
XResult RegisterTemplateImage(std::span<const uint8_t> image, XTemplateRegistry* registry);

}  // namespace xfile
