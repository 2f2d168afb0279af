// GUIDs as used by X files: template identifiers and optional object identifiers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace xfile {

struct XGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    friend constexpr bool operator==(const XGuid&, const XGuid&) = default;
};

namespace detail {
constexpr int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}
}  // namespace detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (36 characters, either letter case).
// Returns false for anything else.
constexpr bool ParseGuid(std::string_view text, XGuid* out) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return false;
    uint8_t bytes[16] = {};
    int n = 0;
    for (size_t i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) continue;
        int hi = detail::HexDigit(text[i]);
        int lo = detail::HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[n++] = static_cast<uint8_t>(hi * 16 + lo);
        ++i;
    }
    XGuid g;
    g.data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    g.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
    *out = g;
    return true;
}

// A GUID constant from its canonical text; a malformed literal fails to compile.
consteval XGuid MakeGuid(const char* text) {
    std::string_view view(text);
    XGuid g;
    if (!ParseGuid(view, &g)) throw "malformed GUID literal";
    return g;
}

// Canonical text, 36 characters, hexadecimal digits in the given case.
std::string GuidToString(const XGuid& guid, bool upperCase = true);

// The 16-byte in-memory layout used in binary files (data1..data3 little-endian).
std::array<uint8_t, 16> GuidToBytes(const XGuid& guid);
XGuid GuidFromBytes(const uint8_t* bytes);

}  // namespace xfile
