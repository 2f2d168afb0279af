#include "xformat/xtemplates.h"

#include <algorithm>

namespace xfile {

std::string GuidToString(const XGuid& g, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string s(36, '-');
    auto put = [&](size_t at, uint64_t value, int hexDigits) {
        for (int i = hexDigits - 1; i >= 0; --i, value >>= 4) s[at + i] = digits[value & 15];
    };
    put(0, g.data1, 8);
    put(9, g.data2, 4);
    put(14, g.data3, 4);
    put(19, uint64_t(g.data4[0]) << 8 | g.data4[1], 4);
    for (int i = 0; i < 6; ++i) put(24 + 2 * i, g.data4[2 + i], 2);
    return s;
}

std::array<uint8_t, 16> GuidToBytes(const XGuid& g) {
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(g.data1 >> (8 * i));
    b[4] = static_cast<uint8_t>(g.data2);
    b[5] = static_cast<uint8_t>(g.data2 >> 8);
    b[6] = static_cast<uint8_t>(g.data3);
    b[7] = static_cast<uint8_t>(g.data3 >> 8);
    for (int i = 0; i < 8; ++i) b[8 + i] = g.data4[i];
    return b;
}

XGuid GuidFromBytes(const uint8_t* b) {
    XGuid g;
    g.data1 = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    g.data2 = static_cast<uint16_t>(b[4] | b[5] << 8);
    g.data3 = static_cast<uint16_t>(b[6] | b[7] << 8);
    for (int i = 0; i < 8; ++i) g.data4[i] = b[8 + i];
    return g;
}

std::string_view TypeKeyword(XType type) {
    switch (type) {
        case XType::Word: return "WORD";
        case XType::Dword: return "DWORD";
        case XType::Float: return "FLOAT";
        case XType::Double: return "DOUBLE";
        case XType::Char: return "CHAR";
        case XType::Uchar: return "UCHAR";
        case XType::Sword: return "SWORD";
        case XType::Sdword: return "SDWORD";
        case XType::String: return "STRING";
        case XType::Unicode: return "UNICODE";
        case XType::Cstring: return "CSTRING";
        case XType::Template: return "";
    }
    return "";
}

namespace {

bool SameDefinition(const XTemplate& a, const XTemplate& b) {
    if (a.guid != b.guid || a.restriction != b.restriction || a.members.size() != b.members.size() ||
        a.allowed.size() != b.allowed.size())
        return false;
    for (size_t i = 0; i < a.members.size(); ++i) {
        const XMember& x = a.members[i];
        const XMember& y = b.members[i];
        if (x.name != y.name || x.type != y.type || x.isArray != y.isArray || x.dimensionCount != y.dimensionCount)
            return false;
        if (x.type == XType::Template && x.templateIndex != y.templateIndex) return false;
        for (int d = 0; d < x.dimensionCount; ++d)
            if (x.dimensions[d].size != y.dimensions[d].size ||
                x.dimensions[d].memberIndex != y.dimensions[d].memberIndex)
                return false;
    }
    for (size_t i = 0; i < a.allowed.size(); ++i)
        if (a.allowed[i].name != b.allowed[i].name) return false;
    return true;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

constexpr uint64_t kSaturated = uint64_t(1) << 62;
// Largest fixed instance size a template may have: a DWORD count of bytes. Anything larger
// could never be read or written, and its arithmetic would overflow.
constexpr int64_t kMaxFixedSize = 0xFFFFFFFFll;

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
    if (a == 0 || b == 0) return 0;
    if (a > kSaturated / b) return kSaturated;
    return a * b;
}

}  // namespace

namespace {

// The value runs of a fixed-size template (see XTemplate::valueRuns); empty when a value is
// neither a 32-bit integer nor a FLOAT, or the runs would be many.
std::vector<XValueRun> ValueRuns(const XTemplate& t, const std::vector<XTemplate>& templates) {
    constexpr size_t kMostRuns = 64;
    std::vector<XValueRun> runs;
    auto add = [&](uint8_t kind, uint64_t count) {
        if (!runs.empty() && runs.back().kind == kind)
            runs.back().count += static_cast<uint32_t>(count);
        else
            runs.push_back({kind, static_cast<uint32_t>(count)});
        return runs.size() <= kMostRuns;
    };
    for (const XMember& m : t.members) {
        uint64_t count = 1;
        for (int d = 0; m.isArray && d < m.dimensionCount; ++d) count *= m.dimensions[d].size;
        bool ok = true;
        if (m.type == XType::Template) {
            const std::vector<XValueRun>& sub = templates[m.templateIndex].valueRuns;
            const uint8_t uniform = templates[m.templateIndex].uniformKind;
            if (uniform != 0) ok = add(uniform, count * static_cast<uint64_t>(templates[m.templateIndex].fixedSize) / 4);
            ok = ok && (uniform != 0 || !sub.empty());
            for (uint64_t k = 0; ok && uniform == 0 && k < count; ++k)
                for (const XValueRun& r : sub) ok = ok && add(r.kind, r.count);
        } else if (m.type == XType::Dword || m.type == XType::Sdword || m.type == XType::Float) {
            ok = add(m.type == XType::Float ? 2 : 1, count);
        } else {
            ok = false;
        }
        if (!ok) return {};
    }
    return runs;
}

}  // namespace

XResult XTemplateRegistry::Add(XTemplate t, uint32_t* indexOut) {
    auto fail = [&](const std::string& what) {
        return XResult::Error(XStatus::InvalidArgument, "template '" + t.name + "': " + what);
    };
    if (t.name.empty()) return XResult::Error(XStatus::InvalidArgument, "template without a name");
    if (templates_.size() >= kMaxTemplates) return fail("more than " + std::to_string(kMaxTemplates) + " templates");
    if (t.members.size() > kMaxMembersPerTemplate)
        return fail("more than " + std::to_string(kMaxMembersPerTemplate) + " members");

    int64_t fixedSize = 0;
    uint64_t minValues = 0;
    int uniform = -1;  // -1 undecided, 0 mixed, 1 int32, 2 float
    uint8_t depth = 1;
    auto mergeUniform = [&](int kind) { uniform = (uniform == -1 || uniform == kind) ? kind : 0; };

    for (size_t i = 0; i < t.members.size(); ++i) {
        XMember& m = t.members[i];
        const std::string label = "member " + std::to_string(i) + (m.name.empty() ? "" : " '" + m.name + "'");
        int64_t elemSize = 0;
        uint64_t elemMin = 1;
        if (m.type == XType::Template) {
            if (m.templateIndex >= templates_.size()) return fail(label + " uses an unknown template");
            const XTemplate& sub = templates_[m.templateIndex];
            if (sub.nestingDepth >= kMaxTemplateNesting) return fail(label + " nests templates too deeply");
            depth = std::max<uint8_t>(depth, static_cast<uint8_t>(sub.nestingDepth + 1));
            elemSize = sub.fixedSize;
            elemMin = sub.minValues;
            mergeUniform(sub.uniformKind);
        } else {
            elemSize = PrimitiveSize(m.type);
            if (elemSize == 0) elemSize = -1;  // strings
            mergeUniform(m.type == XType::Dword || m.type == XType::Sdword ? 1 : m.type == XType::Float ? 2 : 0);
        }
        if (!m.isArray) {
            if (m.dimensionCount != 0) return fail(label + " has dimensions but is not an array");
            fixedSize = (fixedSize < 0 || elemSize < 0) ? -1 : fixedSize + elemSize;
            if (fixedSize > kMaxFixedSize) return fail(label + " makes every instance larger than 4294967295 bytes");
            minValues = std::min(kSaturated, minValues + elemMin);
            continue;
        }
        if (m.dimensionCount < 1 || m.dimensionCount > 4) return fail(label + " needs 1 to 4 dimensions");
        if (elemMin == 0) return fail(label + " is an array of a template whose instances can be empty");
        uint64_t literalCount = 1;
        bool literal = true;
        for (int d = 0; d < m.dimensionCount; ++d) {
            const XDimension& dim = m.dimensions[d];
            if (dim.memberIndex >= 0) {
                if (static_cast<size_t>(dim.memberIndex) >= i)
                    return fail(label + " has a dimension that is not an earlier member");
                const XMember& ref = t.members[dim.memberIndex];
                if (ref.isArray || !IsIntegerType(ref.type))
                    return fail(label + " has a dimension that is not a non-array integer member");
                literal = false;
            } else {
                literalCount = SaturatingMul(literalCount, dim.size);
            }
        }
        if (literal) {
            minValues = std::min(kSaturated, minValues + SaturatingMul(literalCount, elemMin));
            if (fixedSize >= 0 && elemSize >= 0) {
                uint64_t bytes = SaturatingMul(literalCount, static_cast<uint64_t>(elemSize));
                if (bytes > static_cast<uint64_t>(kMaxFixedSize - fixedSize))
                    return fail(label + " makes every instance larger than 4294967295 bytes");
                fixedSize += static_cast<int64_t>(bytes);
            } else {
                fixedSize = -1;
            }
        } else {
            fixedSize = -1;
        }
    }
    t.fixedSize = fixedSize;
    t.minValues = minValues;
    t.uniformKind = static_cast<uint8_t>(uniform < 0 ? 0 : uniform);
    t.nestingDepth = depth;
    t.valueRuns = uniform == 0 && fixedSize > 0 ? ValueRuns(t, templates_) : std::vector<XValueRun>();
    t.countedDwords = t.members.size() == 2 && !t.members[0].isArray && t.members[0].type == XType::Dword &&
                      t.members[1].isArray && t.members[1].type == XType::Dword && t.members[1].dimensionCount == 1 &&
                      t.members[1].dimensions[0].memberIndex == 0;

    int existing = FindByName(t.name);
    if (existing >= 0 && SameDefinition(templates_[existing], t)) {
        if (indexOut) *indexOut = static_cast<uint32_t>(existing);
        return XResult::Success();
    }
    uint32_t index = static_cast<uint32_t>(templates_.size());
    byName_[t.name] = index;
    byLowerName_[LowerAscii(t.name)] = index;
    byGuid_.emplace_back(t.guid, index);
    templates_.push_back(std::move(t));
    if (indexOut) *indexOut = index;
    return XResult::Success();
}

int XTemplateRegistry::FindByName(std::string_view name) const {
    auto it = byName_.find(std::string(name));
    if (it != byName_.end()) return static_cast<int>(it->second);
    // A hash lookup rather than a scan: a file may name thousands of objects this way.
    auto lower = byLowerName_.find(LowerAscii(name));
    return lower != byLowerName_.end() ? static_cast<int>(lower->second) : -1;
}

int XTemplateRegistry::FindByGuid(const XGuid& guid) const {
    for (size_t i = byGuid_.size(); i-- > 0;)
        if (byGuid_[i].first == guid) return static_cast<int>(byGuid_[i].second);
    return -1;
}

int XTemplateRegistry::ResolveRestriction(const XRestrictionEntry& entry) const {
    if (entry.hasGuid) {
        int byGuid = FindByGuid(entry.guid);
        if (byGuid >= 0) return byGuid;
    }
    return FindByName(entry.name);
}

}  // namespace xfile
