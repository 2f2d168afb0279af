// Internal: binary token values and the encoders of template definitions, shared by the
// writer (templates carried in each file) and the published template sets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xformat/xtemplates.h"

namespace xfile {

enum BinaryToken : uint16_t {
    kTokName = 1,
    kTokString = 2,
    kTokInteger = 3,
    kTokGuid = 5,
    kTokIntegerList = 6,
    kTokFloatList = 7,
    kTokOBrace = 10,
    kTokCBrace = 11,
    kTokOParen = 12,
    kTokCParen = 13,
    kTokOBracket = 14,
    kTokCBracket = 15,
    kTokOAngle = 16,
    kTokCAngle = 17,
    kTokDot = 18,
    kTokComma = 19,
    kTokSemicolon = 20,
    kTokTemplate = 31,
    kTokWord = 40,
    kTokDword = 41,
    kTokFloat = 42,
    kTokDouble = 43,
    kTokChar = 44,
    kTokUchar = 45,
    kTokSword = 46,
    kTokSdword = 47,
    kTokVoid = 48,
    kTokLpstr = 49,
    kTokUnicode = 50,
    kTokCstring = 51,
    kTokArray = 52,
};

// Appends the tokenised definition of registry template `index`. Restriction entries carry
// a GUID when the definition gave one, and also when `resolvedGuids` is set and the named
// template is known.
void AppendTemplateBinary(const XTemplateRegistry& registry, size_t index, bool resolvedGuids,
                          std::vector<uint8_t>* out);

// Appends the text definition in the layout D3DX writes: one-space indentation, lower-case
// GUID, upper-case keywords, "[...]" for open templates, restrictions with GUIDs; followed
// by a blank line.
void AppendTemplateText(const XTemplateRegistry& registry, size_t index, std::string* out);

inline void PutU16(std::vector<uint8_t>* out, uint16_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace xfile
