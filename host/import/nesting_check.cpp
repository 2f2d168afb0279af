#include "host/import/nesting_check.h"

#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "core/nesting_scan.h"
#include "core/platform.h"
#include "host/import/byte_order.h"
#include "xformat/mszip.h"

namespace {

std::string TooDeep(int limit, const std::string& where) {
    return "nested more than " + std::to_string(limit) + " levels deep (" + where + "); no model nests that deep";
}

// Binary FBX: each node record holds its end offset; children follow its properties and end with
// a null record. The walk keeps the open records' ends instead of recursing.
std::string ScanBinaryFbx(std::span<const uint8_t> file, int limit) {
    constexpr size_t kMagicSize = 27;  // "Kaydara FBX Binary  \0", 0x1A 0x00, version
    if (file.size() < kMagicSize) return {};
    const bool wide = Le32(file.data() + 23) >= 7500;  // 64-bit offsets from version 7.5
    const uint64_t header = wide ? 25 : 13;
    std::vector<uint64_t> ends;
    uint64_t pos = kMagicSize;
    while (true) {
        const uint64_t levelEnd = ends.empty() ? file.size() : ends.back();
        if (pos + header > levelEnd) {
            if (ends.empty()) return {};
            pos = ends.back();
            ends.pop_back();
            continue;
        }
        const uint8_t* p = file.data() + pos;
        const uint64_t end = wide ? Le64(p) : Le32(p);
        const uint64_t propertyBytes = wide ? Le64(p + 16) : Le32(p + 8);
        const uint64_t nameLength = p[header - 1];
        if (end == 0) {  // null record: the end of this level's list
            if (ends.empty()) return {};
            pos = ends.back();
            ends.pop_back();
            continue;
        }
        // A record that does not move forward or leaves its parent is malformed: Assimp refuses it.
        if (end <= pos || end > levelEnd || propertyBytes > end) return {};
        const uint64_t children = pos + header + nameLength + propertyBytes;
        if (children < end) {
            ends.push_back(end);
            if (ends.size() > static_cast<size_t>(limit)) return TooDeep(limit, "node record at byte " + std::to_string(pos));
            pos = children;
        } else {
            pos = end;
        }
    }
}

// Binary X tokens: only the braces nest; the other records are stepped over by their sizes.
std::string ScanBinaryX(std::span<const uint8_t> body, size_t floatSize, const std::string& of, int limit) {
    int depth = 0;
    size_t pos = 0;
    const size_t n = body.size();
    auto count = [&](size_t at) -> uint64_t { return at + 6 <= n ? Le32(body.data() + at + 2) : n; };
    while (pos + 2 <= n) {
        const uint16_t token = uint16_t(body[pos] | body[pos + 1] << 8);
        uint64_t step = 2;
        switch (token) {
            case 1: case 2: step = 6 + count(pos); break;               // name, string: DWORD count + bytes
            case 3: step = 6; break;                                      // integer
            case 5: step = 18; break;                                     // GUID
            case 6: step = 6 + 4 * count(pos); break;                     // integer list
            case 7: step = 6 + floatSize * count(pos); break;             // float list
            case 0x0A:
                if (++depth > limit) return TooDeep(limit, "brace at byte " + std::to_string(pos) + of);
                break;
            case 0x0B: depth -= depth > 0; break;
            default: break;
        }
        if (step > n - pos) return {};
        pos += static_cast<size_t>(step);
    }
    return {};
}

bool LooksBinary(std::span<const uint8_t> head) {
    return std::memchr(head.data(), 0, head.size()) != nullptr;
}

NestingScan::Kind TextKindOf(std::span<const uint8_t> file) {
    std::string_view text(reinterpret_cast<const char*>(file.data()), std::min<size_t>(file.size(), 4096));
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '<') return NestingScan::Kind::Xml;
    if (text.starts_with("xof ")) return NestingScan::Kind::XText;
    if (text.find("FBXHeaderExtension") != std::string_view::npos || text.starts_with("; FBX"))
        return NestingScan::Kind::FbxAscii;
    return NestingScan::Kind::Braces;
}

std::string ScanText(std::span<const uint8_t> text, NestingScan::Kind kind, const std::string& of, int limit) {
    NestingScan scan(kind, limit);
    if (scan.Feed({reinterpret_cast<const char*>(text.data()), text.size()})) return {};
    return TooDeep(limit, "line " + std::to_string(scan.line()) + ", column " + std::to_string(scan.column()) + of);
}

// An X file: 16-byte header "xof 0303" + format + float size, then text, binary or MSZIP data.
std::string ScanXFile(std::span<const uint8_t> file, int limit) {
    if (file.size() < 16) return {};
    const std::string_view format(reinterpret_cast<const char*>(file.data()) + 8, 4);
    const size_t floatSize = std::memcmp(file.data() + 12, "0064", 4) == 0 ? 8 : 4;
    if (format == "txt ") return ScanText(file.subspan(16), NestingScan::Kind::XText, "", limit);
    if (format == "bin ") return ScanBinaryX(file.subspan(16), floatSize, " after the header", limit);
    if (format != "tzip" && format != "bzip") return {};
    // Compressed: a DWORD total size (header included), then the blocks.
    if (file.size() < 20 || Le32(file.data() + 16) < 16) return {};
    std::vector<uint8_t> body;
    constexpr size_t kMaxBody = size_t(1) << 31;
    xfile::MszipLimits limits;
    limits.maxBytes = kMaxBody;
    const xfile::XResult inflated =
        xfile::DecompressMszip(file.data() + 20, file.size() - 20, Le32(file.data() + 16) - 16, limits, 20, &body);
    // A decompression bomb is refused here, before the model reader spends its time on it; other
    // faults are the reader's to report.
    if (!inflated.ok()) return inflated.status == xfile::XStatus::LimitExceeded ? inflated.message : std::string();
    return format == "tzip" ? ScanText(body, NestingScan::Kind::XText, " of the decompressed data", limit)
                            : ScanBinaryX(body, floatSize, " of the decompressed data", limit);
}

}  // namespace

std::string FindDeepModelNesting(const std::string& path, int limit) {
    platform::MappedFile mapped;
    std::string problem;
    if (!mapped.Open(path, problem)) return {};
    const std::span<const uint8_t> file(mapped.data(), static_cast<size_t>(mapped.size()));
    if (file.empty()) return {};
    static constexpr char kFbxMagic[] = "Kaydara FBX Binary  ";
    if (file.size() >= sizeof kFbxMagic && std::memcmp(file.data(), kFbxMagic, sizeof kFbxMagic) == 0)
        return ScanBinaryFbx(file, limit);
    if (file.size() >= 16 && std::memcmp(file.data(), "xof ", 4) == 0) return ScanXFile(file, limit);
    if (LooksBinary(file.first(std::min<size_t>(file.size(), 4096)))) return {};
    return ScanText(file, TextKindOf(file), "", limit);
}
