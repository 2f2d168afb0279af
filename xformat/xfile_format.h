// The four encodings of an X file.
#pragma once

#include <cstdint>
#include <string_view>

namespace xfile {

// Values follow D3DX's format flags: bit 0 = text, bit 1 = compressed.
enum class XFileFormat : uint8_t { Binary = 0, Text = 1, CompressedBinary = 2, CompressedText = 3 };

// The exporter's XFileType option: 0 text, 1 binary, any other value compressed binary.
constexpr XFileFormat FormatFromXFileType(int xFileType) {
    return xFileType == 0 ? XFileFormat::Text : xFileType == 1 ? XFileFormat::Binary : XFileFormat::CompressedBinary;
}

constexpr bool IsTextFormat(XFileFormat f) { return (static_cast<uint8_t>(f) & 1) != 0; }
constexpr bool IsCompressedFormat(XFileFormat f) { return (static_cast<uint8_t>(f) & 2) != 0; }

// "text", "binary", "compressed binary", "compressed text".
constexpr std::string_view FormatName(XFileFormat f) {
    switch (f) {
        case XFileFormat::Binary: return "binary";
        case XFileFormat::Text: return "text";
        case XFileFormat::CompressedBinary: return "compressed binary";
        case XFileFormat::CompressedText: return "compressed text";
    }
    return "";
}

}  // namespace xfile
