// Templates: the member layout of X file data objects, the registry that holds them,
// the GUID constants of every published template and the three published template sets.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xformat/xguid.h"
#include "xformat/xresult.h"

namespace xfile {

// Member types. Word..Sdword and String are the primitive keywords of the format;
// Template means a nested template (XMember::templateIndex).
enum class XType : uint8_t { Word, Dword, Float, Double, Char, Uchar, Sword, Sdword, String, Unicode, Cstring, Template };

// The keyword of a primitive type as written in text templates ("DWORD", "STRING", ...).
std::string_view TypeKeyword(XType type);
// Payload bytes of one value of a fixed-size primitive type; 0 for strings and templates.
inline uint32_t PrimitiveSize(XType type) {
    switch (type) {
        case XType::Char:
        case XType::Uchar: return 1;
        case XType::Word:
        case XType::Sword: return 2;
        case XType::Dword:
        case XType::Sdword:
        case XType::Float: return 4;
        case XType::Double: return 8;
        default: return 0;
    }
}
inline bool IsIntegerType(XType type) {
    return type == XType::Word || type == XType::Dword || type == XType::Char || type == XType::Uchar ||
           type == XType::Sword || type == XType::Sdword;
}

struct XDimension {
    uint32_t size = 0;         // literal dimension, used when memberIndex < 0
    int32_t memberIndex = -1;  // index of an earlier integer member of the same template
};

struct XMember {
    std::string name;            // may be empty (unnamed member)
    XType type = XType::Dword;
    uint32_t templateIndex = 0;  // registry index of the member's template when type == Template
    bool isArray = false;
    uint8_t dimensionCount = 0;  // 1..4 for arrays
    std::array<XDimension, 4> dimensions{};
};

enum class XRestriction : uint8_t { Closed, Open, Restricted };

struct XRestrictionEntry {
    std::string name;      // template name as written ("Material", or "BINARY")
    bool hasGuid = false;  // the definition gave the GUID explicitly
    XGuid guid{};
};

// A run of values of one kind in a template's instances (see XTemplate::valueRuns).
struct XValueRun {
    uint8_t kind;  // 1: 32-bit integers, 2: FLOATs
    uint32_t count;
};

struct XTemplate {
    std::string name;
    XGuid guid{};
    std::vector<XMember> members;
    XRestriction restriction = XRestriction::Closed;
    std::vector<XRestrictionEntry> allowed;  // Restricted only

    // Derived by XTemplateRegistry::Add.
    int64_t fixedSize = -1;     // payload bytes when independent of the values, else -1
    uint64_t minValues = 0;     // fewest values an instance encodes (0: an instance can be empty)
    uint8_t uniformKind = 0;    // 1: every value is a 32-bit integer, 2: every value a FLOAT, 0: mixed
    uint8_t nestingDepth = 0;   // 1 + deepest nested member template
    // The template is a counted list of 32-bit integers, { DWORD n; array DWORD v[n]; } (like
    // MeshFace): an instance is 4 + 4n bytes, walked without looking at its members.
    bool countedDwords = false;
    // A fixed-size template whose values are all DWORD, SDWORD or FLOAT, of both kinds (like
    // IndexedColor): its values in order as runs of one kind, each run of the other kind than
    // the one before. Empty for any other template.
    std::vector<XValueRun> valueRuns;
};

// Limits applied to every template definition, whatever its source.
inline constexpr size_t kMaxTemplates = 4096;
inline constexpr size_t kMaxMembersPerTemplate = 256;
inline constexpr uint8_t kMaxTemplateNesting = 32;

// Templates by registry index. Entries never change once added; a later definition with
// the name or GUID of an earlier one takes over the lookups, earlier dependants keep theirs.
class XTemplateRegistry {
public:
    // Validates the definition (member types, dimensions, limits), derives its sizes and adds it.
    // A definition identical to the current one of that name is accepted and not duplicated.
    XResult Add(XTemplate definition, uint32_t* indexOut = nullptr);

    size_t size() const { return templates_.size(); }
    const XTemplate& at(size_t index) const { return templates_[index]; }

    // Index or -1. Names are matched exactly first, then ignoring letter case.
    int FindByName(std::string_view name) const;
    int FindByGuid(const XGuid& guid) const;
    // Registry index of a restriction entry's template, or -1 ("BINARY", unknown names).
    int ResolveRestriction(const XRestrictionEntry& entry) const;

private:
    std::vector<XTemplate> templates_;
    std::unordered_map<std::string, uint32_t> byName_;
    std::unordered_map<std::string, uint32_t> byLowerName_;  // latest template of each name, lower case
    std::vector<std::pair<XGuid, uint32_t>> byGuid_;
};

// The published template sets, byte for byte, in the form they are registered:
// the retained-mode standard set (binary, 3278 bytes), the skinning and effect set
// (text, 3224 bytes) and the vertex-data set (text, 1627 bytes).
std::span<const uint8_t> StandardTemplateSet();
std::span<const uint8_t> SkinTemplateSet();
std::span<const uint8_t> ExtensionTemplateSet();

// A registry holding the three sets, registered in that order. Built once.
const XTemplateRegistry& PublishedTemplates();

// GUIDs of the published templates.
// Standard set.
inline constexpr XGuid kTidHeader = MakeGuid("3D82AB43-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidVector = MakeGuid("3D82AB5E-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidCoords2d = MakeGuid("F6F23F44-7686-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMatrix4x4 = MakeGuid("F6F23F45-7686-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidColorRGBA = MakeGuid("35FF44E0-6C7C-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidColorRGB = MakeGuid("D3E16E81-7835-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidIndexedColor = MakeGuid("1630B820-7842-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidBoolean = MakeGuid("537DA6A0-CA37-11D0-941C-0080C80CFA7B");
inline constexpr XGuid kTidBoolean2d = MakeGuid("4885AE63-78E8-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMaterialWrap = MakeGuid("4885AE60-78E8-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidTextureFilename = MakeGuid("A42790E1-7810-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMaterial = MakeGuid("3D82AB4D-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidMeshFace = MakeGuid("3D82AB5F-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidMeshFaceWraps = MakeGuid("ED1EC5C0-C0A8-11D0-941C-0080C80CFA7B");
inline constexpr XGuid kTidMeshTextureCoords = MakeGuid("F6F23F40-7686-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMeshMaterialList = MakeGuid("F6F23F42-7686-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMeshNormals = MakeGuid("F6F23F43-7686-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMeshVertexColors = MakeGuid("1630B821-7842-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidMesh = MakeGuid("3D82AB44-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidFrameTransformMatrix = MakeGuid("F6F23F41-7686-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidFrame = MakeGuid("3D82AB46-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidFloatKeys = MakeGuid("10DD46A9-775B-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidTimedFloatKeys = MakeGuid("F406B180-7B3B-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidAnimationKey = MakeGuid("10DD46A8-775B-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidAnimationOptions = MakeGuid("E2BF56C0-840F-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidAnimation = MakeGuid("3D82AB4F-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidAnimationSet = MakeGuid("3D82AB50-62DA-11CF-AB39-0020AF71E433");
inline constexpr XGuid kTidInlineData = MakeGuid("3A23EEA0-94B1-11D0-AB39-0020AF71E433");
inline constexpr XGuid kTidUrl = MakeGuid("3A23EEA1-94B1-11D0-AB39-0020AF71E433");
inline constexpr XGuid kTidProgressiveMesh = MakeGuid("8A63C360-997D-11D0-941C-0080C80CFA7B");
inline constexpr XGuid kTidGuid = MakeGuid("A42790E0-7810-11CF-8F52-0040333594A3");
inline constexpr XGuid kTidStringProperty = MakeGuid("7F0F21E0-BFE1-11D1-82C0-00A0C9697271");
inline constexpr XGuid kTidPropertyBag = MakeGuid("7F0F21E1-BFE1-11D1-82C0-00A0C9697271");
inline constexpr XGuid kTidExternalVisual = MakeGuid("98116AA0-BDBA-11D1-82C0-00A0C9697271");
inline constexpr XGuid kTidRightHanded = MakeGuid("7F5D5EA0-D53A-11D1-82C0-00A0C9697271");
// Skinning and effect set.
inline constexpr XGuid kTidXSkinMeshHeader = MakeGuid("3CF169CE-FF7C-44AB-93C0-F78F62D172E2");
inline constexpr XGuid kTidVertexDuplicationIndices = MakeGuid("B8D65549-D7C9-4995-89CF-53A9A8B031E3");
inline constexpr XGuid kTidFaceAdjacency = MakeGuid("A64C844A-E282-4756-8B80-250CDE04398C");
inline constexpr XGuid kTidSkinWeights = MakeGuid("6F0D123B-BAD2-4167-A0D0-80224F25FABB");
inline constexpr XGuid kTidPatch = MakeGuid("A3EB5D44-FC22-429D-9AFB-3221CB9719A6");
inline constexpr XGuid kTidPatchMesh = MakeGuid("D02C95CC-EDBA-4305-9B5D-1820D7704BBF");
inline constexpr XGuid kTidPatchMesh9 = MakeGuid("B9EC94E1-B9A6-4251-BA18-94893F02C0EA");
inline constexpr XGuid kTidEffectFloats = MakeGuid("F1CFE2B3-0DE3-4E28-AFA1-155A750A282D");
inline constexpr XGuid kTidEffectString = MakeGuid("D55B097E-BDB6-4C52-B03D-6051C89D0E42");
inline constexpr XGuid kTidEffectDWord = MakeGuid("622C0ED0-956E-4DA9-908A-2AF94F3CE716");
inline constexpr XGuid kTidEffectParamFloats = MakeGuid("3014B9A0-62F5-478C-9B86-E4AC9F4E418B");
inline constexpr XGuid kTidEffectParamString = MakeGuid("1DBC4C88-94C1-46EE-9076-2C28818C9481");
inline constexpr XGuid kTidEffectParamDWord = MakeGuid("E13963BC-AE51-4C5D-B00F-CFA3A9D97CE5");
inline constexpr XGuid kTidEffectInstance = MakeGuid("E331F7E4-0559-4CC2-8E99-1CEC1657928F");
inline constexpr XGuid kTidAnimTicksPerSecond = MakeGuid("9E415A43-7BA6-4A73-8743-B73D47E88476");
inline constexpr XGuid kTidCompressedAnimationSet = MakeGuid("7F9B00B3-F125-4890-876E-1C42BF697C4D");
// Vertex-data set.
inline constexpr XGuid kTidFVFData = MakeGuid("B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897");
inline constexpr XGuid kTidVertexElement = MakeGuid("F752461C-1E23-48F6-B9F8-8350850F336F");
inline constexpr XGuid kTidDeclData = MakeGuid("BF22E553-292C-4781-9FEA-62BD554BDD93");
inline constexpr XGuid kTidPMAttributeRange = MakeGuid("917E0427-C61E-4A14-9C64-AFE65F9E9844");
inline constexpr XGuid kTidPMVSplitRecord = MakeGuid("574CCC14-F0B3-4333-822D-93E8A8A08E4C");
inline constexpr XGuid kTidPMInfo = MakeGuid("B6C3E656-EC8B-4B92-9B62-681659522947");

}  // namespace xfile
