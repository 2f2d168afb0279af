#include "xformat/template_codec.h"

namespace xfile {
namespace {

uint16_t TypeToken(XType type) {
    switch (type) {
        case XType::Word: return kTokWord;
        case XType::Dword: return kTokDword;
        case XType::Float: return kTokFloat;
        case XType::Double: return kTokDouble;
        case XType::Char: return kTokChar;
        case XType::Uchar: return kTokUchar;
        case XType::Sword: return kTokSword;
        case XType::Sdword: return kTokSdword;
        case XType::String: return kTokLpstr;
        case XType::Unicode: return kTokUnicode;
        case XType::Cstring: return kTokCstring;
        case XType::Template: return kTokName;
    }
    return kTokName;
}

void PutName(std::vector<uint8_t>* out, std::string_view name) {
    PutU16(out, kTokName);
    PutU32(out, static_cast<uint32_t>(name.size()));
    out->insert(out->end(), name.begin(), name.end());
}

void PutGuid(std::vector<uint8_t>* out, const XGuid& guid) {
    PutU16(out, kTokGuid);
    auto bytes = GuidToBytes(guid);
    out->insert(out->end(), bytes.begin(), bytes.end());
}

bool RestrictionGuid(const XTemplateRegistry& registry, const XRestrictionEntry& entry, bool resolved,
                     XGuid* guid) {
    if (entry.hasGuid) {
        *guid = entry.guid;
        return true;
    }
    if (!resolved) return false;
    int index = registry.ResolveRestriction(entry);
    if (index < 0) return false;
    *guid = registry.at(index).guid;
    return true;
}

}  // namespace

void AppendTemplateBinary(const XTemplateRegistry& registry, size_t index, bool resolvedGuids,
                          std::vector<uint8_t>* out) {
    const XTemplate& t = registry.at(index);
    PutU16(out, kTokTemplate);
    PutName(out, t.name);
    PutU16(out, kTokOBrace);
    PutGuid(out, t.guid);
    for (const XMember& m : t.members) {
        if (m.isArray) PutU16(out, kTokArray);
        if (m.type == XType::Template)
            PutName(out, registry.at(m.templateIndex).name);
        else
            PutU16(out, TypeToken(m.type));
        if (!m.name.empty()) PutName(out, m.name);
        for (int d = 0; d < m.dimensionCount; ++d) {
            PutU16(out, kTokOBracket);
            const XDimension& dim = m.dimensions[d];
            if (dim.memberIndex >= 0) {
                PutName(out, t.members[dim.memberIndex].name);
            } else {
                PutU16(out, kTokInteger);
                PutU32(out, dim.size);
            }
            PutU16(out, kTokCBracket);
        }
        PutU16(out, kTokSemicolon);
    }
    if (t.restriction == XRestriction::Open) {
        for (uint16_t tok : {kTokOBracket, kTokDot, kTokDot, kTokDot, kTokCBracket}) PutU16(out, tok);
    } else if (t.restriction == XRestriction::Restricted) {
        PutU16(out, kTokOBracket);
        for (size_t i = 0; i < t.allowed.size(); ++i) {
            if (i) PutU16(out, kTokComma);
            PutName(out, t.allowed[i].name);
            XGuid guid;
            if (RestrictionGuid(registry, t.allowed[i], resolvedGuids, &guid)) PutGuid(out, guid);
        }
        PutU16(out, kTokCBracket);
    }
    PutU16(out, kTokCBrace);
}

void AppendTemplateText(const XTemplateRegistry& registry, size_t index, std::string* out) {
    const XTemplate& t = registry.at(index);
    out->append("template ").append(t.name).append(" {\n <").append(GuidToString(t.guid, false)).append(">\n");
    for (const XMember& m : t.members) {
        out->push_back(' ');
        if (m.isArray) out->append("array ");
        out->append(m.type == XType::Template ? std::string_view(registry.at(m.templateIndex).name)
                                              : TypeKeyword(m.type));
        if (!m.name.empty()) out->append(" ").append(m.name);
        for (int d = 0; d < m.dimensionCount; ++d) {
            const XDimension& dim = m.dimensions[d];
            out->push_back('[');
            out->append(dim.memberIndex >= 0 ? t.members[dim.memberIndex].name : std::to_string(dim.size));
            out->push_back(']');
        }
        out->append(";\n");
    }
    if (t.restriction == XRestriction::Open) {
        out->append(" [...]\n");
    } else if (t.restriction == XRestriction::Restricted) {
        out->append(" [");
        for (size_t i = 0; i < t.allowed.size(); ++i) {
            if (i) out->append(", ");
            out->append(t.allowed[i].name);
            XGuid guid;
            if (RestrictionGuid(registry, t.allowed[i], true, &guid))
                out->append(" <").append(GuidToString(guid, false)).append(">");
        }
        out->append("]\n");
    }
    out->append("}\n\n");
}

}  // namespace xfile
