// The three published template sets, stored as data and rebuilt byte for byte.
//
// The skinning and vertex-data sets are single-line text strings: the header, then each line
// of the definitions without indentation, preceded by 8 spaces (lines starting with
// "template", "{" or "}") or 12 spaces (other lines) and followed by one space.
// The standard set is the binary tokenisation of its text definitions. The registry of all
// three (PublishedTemplates) is made from a table of the same definitions, without parsing.
#include <cstdlib>
#include <string>
#include <vector>

#include "xformat/template_codec.h"
#include "xformat/xreader.h"
#include "xformat/xtemplates.h"

namespace xfile {
namespace {

constexpr std::string_view kStandardText = R"XT(xof 0302txt 0064
template Header
{
    <3D82AB43-62DA-11CF-AB39-0020AF71E433>
    WORD major;
    WORD minor;
    DWORD flags;
}

template Vector
{
    <3D82AB5E-62DA-11CF-AB39-0020AF71E433>
    FLOAT x;
    FLOAT y;
    FLOAT z;
}

template Coords2d
{
    <F6F23F44-7686-11CF-8F52-0040333594A3>
    FLOAT u;
    FLOAT v;
}

template Matrix4x4
{
    <F6F23F45-7686-11CF-8F52-0040333594A3>
    array FLOAT matrix[16];
}

template ColorRGBA
{
    <35FF44E0-6C7C-11CF-8F52-0040333594A3>
    FLOAT red;
    FLOAT green;
    FLOAT blue;
    FLOAT alpha;
}

template ColorRGB
{
    <D3E16E81-7835-11CF-8F52-0040333594A3>
    FLOAT red;
    FLOAT green;
    FLOAT blue;
}

template IndexedColor
{
    <1630B820-7842-11CF-8F52-0040333594A3>
    DWORD index;
    ColorRGBA indexColor;
}

template Boolean
{
    <537DA6A0-CA37-11D0-941C-0080C80CFA7B>
    DWORD truefalse;
}

template Boolean2d
{
    <4885AE63-78E8-11CF-8F52-0040333594A3>
    Boolean u;
    Boolean v;
}

template MaterialWrap
{
    <4885AE60-78E8-11CF-8F52-0040333594A3>
    Boolean u;
    Boolean v;
}

template TextureFilename
{
    <A42790E1-7810-11CF-8F52-0040333594A3>
    STRING filename;
}

template Material
{
    <3D82AB4D-62DA-11CF-AB39-0020AF71E433>
    ColorRGBA faceColor;
    FLOAT power;
    ColorRGB specularColor;
    ColorRGB emissiveColor;
    [ ... ]
}

template MeshFace
{
    <3D82AB5F-62DA-11CF-AB39-0020AF71E433>
    DWORD nFaceVertexIndices;
    array DWORD faceVertexIndices[nFaceVertexIndices];
}

template MeshFaceWraps
{
    <ED1EC5C0-C0A8-11D0-941C-0080C80CFA7B>
    DWORD nFaceWrapValues;
    array Boolean2d faceWrapValues[nFaceWrapValues];
}

template MeshTextureCoords
{
    <F6F23F40-7686-11CF-8F52-0040333594A3>
    DWORD nTextureCoords;
    array Coords2d textureCoords[nTextureCoords];
}

template MeshMaterialList
{
    <F6F23F42-7686-11CF-8F52-0040333594A3>
    DWORD nMaterials;
    DWORD nFaceIndexes;
    array DWORD faceIndexes[nFaceIndexes];
    [ Material ]
}

template MeshNormals
{
    <F6F23F43-7686-11CF-8F52-0040333594A3>
    DWORD nNormals;
    array Vector normals[nNormals];
    DWORD nFaceNormals;
    array MeshFace faceNormals[nFaceNormals];
}

template MeshVertexColors
{
    <1630B821-7842-11CF-8F52-0040333594A3>
    DWORD nVertexColors;
    array IndexedColor vertexColors[nVertexColors];
}

template Mesh
{
    <3D82AB44-62DA-11CF-AB39-0020AF71E433>
    DWORD nVertices;
    array Vector vertices[nVertices];
    DWORD nFaces;
    array MeshFace faces[nFaces];
    [ ... ]
}

template FrameTransformMatrix
{
    <F6F23F41-7686-11CF-8F52-0040333594A3>
    Matrix4x4 frameMatrix;
}

template Frame
{
    <3D82AB46-62DA-11CF-AB39-0020AF71E433>
    [ ... ]
}

template FloatKeys
{
    <10DD46A9-775B-11CF-8F52-0040333594A3>
    DWORD nValues;
    array FLOAT values[nValues];
}

template TimedFloatKeys
{
    <F406B180-7B3B-11CF-8F52-0040333594A3>
    DWORD time;
    FloatKeys tfkeys;
}

template AnimationKey
{
    <10DD46A8-775B-11CF-8F52-0040333594A3>
    DWORD keyType;
    DWORD nKeys;
    array TimedFloatKeys keys[nKeys];
}

template AnimationOptions
{
    <E2BF56C0-840F-11CF-8F52-0040333594A3>
    DWORD openclosed;
    DWORD positionquality;
}

template Animation
{
    <3D82AB4F-62DA-11CF-AB39-0020AF71E433>
    [ ... ]
}

template AnimationSet
{
    <3D82AB50-62DA-11CF-AB39-0020AF71E433>
    [ Animation ]
}

template InlineData
{
    <3A23EEA0-94B1-11D0-AB39-0020AF71E433>
    [ BINARY ]
}

template Url
{
    <3A23EEA1-94B1-11D0-AB39-0020AF71E433>
    DWORD nUrls;
    array STRING urls[nUrls];
}

template ProgressiveMesh
{
    <8A63C360-997D-11D0-941C-0080C80CFA7B>
    [ Url, InlineData ]
}

template Guid
{
    <A42790E0-7810-11CF-8F52-0040333594A3>
    DWORD data1;
    WORD data2;
    WORD data3;
    array UCHAR data4[8];
}

template StringProperty
{
    <7F0F21E0-BFE1-11D1-82C0-00A0C9697271>
    STRING key;
    STRING value;
}

template PropertyBag
{
    <7F0F21E1-BFE1-11D1-82C0-00A0C9697271>
    [ StringProperty ]
}

template ExternalVisual
{
    <98116AA0-BDBA-11D1-82C0-00A0C9697271>
    Guid guidExternalVisual;
    [ ... ]
}

template RightHanded
{
    <7F5D5EA0-D53A-11D1-82C0-00A0C9697271>
    DWORD bRightHanded;
})XT";

constexpr std::string_view kSkinLines[] = {
    "template XSkinMeshHeader",
    "{",
    "<3CF169CE-FF7C-44ab-93C0-F78F62D172E2>",
    "WORD nMaxSkinWeightsPerVertex;",
    "WORD nMaxSkinWeightsPerFace;",
    "WORD nBones;",
    "}",
    "template VertexDuplicationIndices",
    "{",
    "<B8D65549-D7C9-4995-89CF-53A9A8B031E3>",
    "DWORD nIndices;",
    "DWORD nOriginalVertices;",
    "array DWORD indices[nIndices];",
    "}",
    "template FaceAdjacency",
    "{",
    "<A64C844A-E282-4756-8B80-250CDE04398C>",
    "DWORD nIndices;",
    "array DWORD indices[nIndices];",
    "}",
    "template SkinWeights",
    "{",
    "<6F0D123B-BAD2-4167-A0D0-80224F25FABB>",
    "STRING transformNodeName;",
    "DWORD nWeights;",
    "array DWORD vertexIndices[nWeights];",
    "array float weights[nWeights];",
    "Matrix4x4 matrixOffset;",
    "}",
    "template Patch",
    "{",
    "<A3EB5D44-FC22-429D-9AFB-3221CB9719A6>",
    "DWORD nControlIndices;",
    "array DWORD controlIndices[nControlIndices];",
    "}",
    "template PatchMesh",
    "{",
    "<D02C95CC-EDBA-4305-9B5D-1820D7704BBF>",
    "DWORD nVertices;",
    "array Vector vertices[nVertices];",
    "DWORD nPatches;",
    "array Patch patches[nPatches];",
    "[ ... ]",
    "}",
    "template PatchMesh9",
    "{",
    "<B9EC94E1-B9A6-4251-BA18-94893F02C0EA>",
    "DWORD Type;",
    "DWORD Degree;",
    "DWORD Basis;",
    "DWORD nVertices;",
    "array Vector vertices[nVertices];",
    "DWORD nPatches;",
    "array Patch patches[nPatches];",
    "[ ... ]",
    "} template EffectFloats",
    "{",
    "<F1CFE2B3-0DE3-4e28-AFA1-155A750A282D>",
    "DWORD nFloats;",
    "array float Floats[nFloats];",
    "}",
    "template EffectString",
    "{",
    "<D55B097E-BDB6-4c52-B03D-6051C89D0E42>",
    "STRING Value;",
    "}",
    "template EffectDWord",
    "{",
    "<622C0ED0-956E-4da9-908A-2AF94F3CE716>",
    "DWORD Value;",
    "} template EffectParamFloats",
    "{",
    "<3014B9A0-62F5-478c-9B86-E4AC9F4E418B>",
    "STRING ParamName;",
    "DWORD nFloats;",
    "array float Floats[nFloats];",
    "} template EffectParamString",
    "{",
    "<1DBC4C88-94C1-46ee-9076-2C28818C9481>",
    "STRING ParamName;",
    "STRING Value;",
    "}",
    "template EffectParamDWord",
    "{",
    "<E13963BC-AE51-4c5d-B00F-CFA3A9D97CE5>",
    "STRING ParamName;",
    "DWORD Value;",
    "}",
    "template EffectInstance",
    "{",
    "<E331F7E4-0559-4cc2-8E99-1CEC1657928F>",
    "STRING EffectFilename;",
    "[ ... ]",
    "} template AnimTicksPerSecond",
    "{",
    "<9E415A43-7BA6-4a73-8743-B73D47E88476>",
    "DWORD AnimTicksPerSecond;",
    "}",
    "template CompressedAnimationSet",
    "{",
    "<7F9B00B3-F125-4890-876E-1C42BF697C4D>",
    "DWORD CompressedBlockSize;",
    "FLOAT TicksPerSec;",
    "DWORD PlaybackType;",
    "DWORD BufferLength;",
    "array DWORD CompressedData[BufferLength];",
    "}",
};

constexpr std::string_view kExtensionLines[] = {
    "template FVFData",
    "{",
    "<B6E70A0E-8EF9-4e83-94AD-ECC8B0C04897>",
    "DWORD dwFVF;",
    "DWORD nDWords;",
    "array DWORD data[nDWords];",
    "}",
    "template VertexElement",
    "{",
    "<F752461C-1E23-48f6-B9F8-8350850F336F>",
    "DWORD Type;",
    "DWORD Method;",
    "DWORD Usage;",
    "DWORD UsageIndex;",
    "}",
    "template DeclData",
    "{",
    "<BF22E553-292C-4781-9FEA-62BD554BDD93>",
    "DWORD nElements;",
    "array VertexElement Elements[nElements];",
    "DWORD nDWords;",
    "array DWORD data[nDWords];",
    "}",
    "template PMAttributeRange",
    "{",
    "<917E0427-C61E-4a14-9C64-AFE65F9E9844>",
    "DWORD iFaceOffset;",
    "DWORD nFacesMin;",
    "DWORD nFacesMax;",
    "DWORD iVertexOffset;",
    "DWORD nVerticesMin;",
    "DWORD nVerticesMax;",
    "}",
    "template PMVSplitRecord",
    "{",
    "<574CCC14-F0B3-4333-822D-93E8A8A08E4C>",
    "DWORD iFaceCLW;",
    "DWORD iVlrOffset;",
    "DWORD iCode;",
    "}",
    "template PMInfo",
    "{",
    "<B6C3E656-EC8B-4b92-9B62-681659522947>",
    "DWORD nAttributes;",
    "array PMAttributeRange attributeRanges[nAttributes];",
    "DWORD nMaxValence;",
    "DWORD nMinLogicalVertices;",
    "DWORD nMaxLogicalVertices;",
    "DWORD nVSplits;",
    "array PMVSplitRecord splitRecords[nVSplits];",
    "DWORD nAttributeMispredicts;",
    "array DWORD attributeMispredicts[nAttributeMispredicts];",
    "}",
};

std::span<const uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

template <size_t N>
std::vector<uint8_t> BuildTextSet(const std::string_view (&lines)[N]) {
    std::string text = "xof 0303txt 0032";
    for (std::string_view line : lines) {
        bool outer = line.starts_with("template") || line.starts_with("{") || line.starts_with("}");
        text.append(outer ? 8 : 12, ' ');
        text.append(line);
        text.push_back(' ');
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The published templates as data, so that registering them parses nothing: the three sets'
// definitions above, in order, as the reader registers them (a test checks that registering
// the sets gives the same templates). A member's template is named; an array's dimension is
// a count or an earlier member's name.
struct TableMember {
    const char* name;
    XType type;
    const char* templateName;  // for XType::Template
    const char* dimension;     // arrays only
};
struct TableTemplate {
    const char* name;
    XGuid guid;
    XRestriction restriction;
    uint8_t members;  // its rows in kMembers, after those of the templates before it
    uint8_t allowed;  // its names in kAllowed, likewise
};

constexpr TableMember kMembers[] = {
    // Header
    {"major", XType::Word, nullptr, nullptr},
    {"minor", XType::Word, nullptr, nullptr},
    {"flags", XType::Dword, nullptr, nullptr},
    // Vector
    {"x", XType::Float, nullptr, nullptr},
    {"y", XType::Float, nullptr, nullptr},
    {"z", XType::Float, nullptr, nullptr},
    // Coords2d
    {"u", XType::Float, nullptr, nullptr},
    {"v", XType::Float, nullptr, nullptr},
    // Matrix4x4
    {"matrix", XType::Float, nullptr, "16"},
    // ColorRGBA
    {"red", XType::Float, nullptr, nullptr},
    {"green", XType::Float, nullptr, nullptr},
    {"blue", XType::Float, nullptr, nullptr},
    {"alpha", XType::Float, nullptr, nullptr},
    // ColorRGB
    {"red", XType::Float, nullptr, nullptr},
    {"green", XType::Float, nullptr, nullptr},
    {"blue", XType::Float, nullptr, nullptr},
    // IndexedColor
    {"index", XType::Dword, nullptr, nullptr},
    {"indexColor", XType::Template, "ColorRGBA", nullptr},
    // Boolean
    {"truefalse", XType::Dword, nullptr, nullptr},
    // Boolean2d
    {"u", XType::Template, "Boolean", nullptr},
    {"v", XType::Template, "Boolean", nullptr},
    // MaterialWrap
    {"u", XType::Template, "Boolean", nullptr},
    {"v", XType::Template, "Boolean", nullptr},
    // TextureFilename
    {"filename", XType::String, nullptr, nullptr},
    // Material
    {"faceColor", XType::Template, "ColorRGBA", nullptr},
    {"power", XType::Float, nullptr, nullptr},
    {"specularColor", XType::Template, "ColorRGB", nullptr},
    {"emissiveColor", XType::Template, "ColorRGB", nullptr},
    // MeshFace
    {"nFaceVertexIndices", XType::Dword, nullptr, nullptr},
    {"faceVertexIndices", XType::Dword, nullptr, "nFaceVertexIndices"},
    // MeshFaceWraps
    {"nFaceWrapValues", XType::Dword, nullptr, nullptr},
    {"faceWrapValues", XType::Template, "Boolean2d", "nFaceWrapValues"},
    // MeshTextureCoords
    {"nTextureCoords", XType::Dword, nullptr, nullptr},
    {"textureCoords", XType::Template, "Coords2d", "nTextureCoords"},
    // MeshMaterialList
    {"nMaterials", XType::Dword, nullptr, nullptr},
    {"nFaceIndexes", XType::Dword, nullptr, nullptr},
    {"faceIndexes", XType::Dword, nullptr, "nFaceIndexes"},
    // MeshNormals
    {"nNormals", XType::Dword, nullptr, nullptr},
    {"normals", XType::Template, "Vector", "nNormals"},
    {"nFaceNormals", XType::Dword, nullptr, nullptr},
    {"faceNormals", XType::Template, "MeshFace", "nFaceNormals"},
    // MeshVertexColors
    {"nVertexColors", XType::Dword, nullptr, nullptr},
    {"vertexColors", XType::Template, "IndexedColor", "nVertexColors"},
    // Mesh
    {"nVertices", XType::Dword, nullptr, nullptr},
    {"vertices", XType::Template, "Vector", "nVertices"},
    {"nFaces", XType::Dword, nullptr, nullptr},
    {"faces", XType::Template, "MeshFace", "nFaces"},
    // FrameTransformMatrix
    {"frameMatrix", XType::Template, "Matrix4x4", nullptr},
    // Frame
    // FloatKeys
    {"nValues", XType::Dword, nullptr, nullptr},
    {"values", XType::Float, nullptr, "nValues"},
    // TimedFloatKeys
    {"time", XType::Dword, nullptr, nullptr},
    {"tfkeys", XType::Template, "FloatKeys", nullptr},
    // AnimationKey
    {"keyType", XType::Dword, nullptr, nullptr},
    {"nKeys", XType::Dword, nullptr, nullptr},
    {"keys", XType::Template, "TimedFloatKeys", "nKeys"},
    // AnimationOptions
    {"openclosed", XType::Dword, nullptr, nullptr},
    {"positionquality", XType::Dword, nullptr, nullptr},
    // Animation
    // AnimationSet
    // InlineData
    // Url
    {"nUrls", XType::Dword, nullptr, nullptr},
    {"urls", XType::String, nullptr, "nUrls"},
    // ProgressiveMesh
    // Guid
    {"data1", XType::Dword, nullptr, nullptr},
    {"data2", XType::Word, nullptr, nullptr},
    {"data3", XType::Word, nullptr, nullptr},
    {"data4", XType::Uchar, nullptr, "8"},
    // StringProperty
    {"key", XType::String, nullptr, nullptr},
    {"value", XType::String, nullptr, nullptr},
    // PropertyBag
    // ExternalVisual
    {"guidExternalVisual", XType::Template, "Guid", nullptr},
    // RightHanded
    {"bRightHanded", XType::Dword, nullptr, nullptr},
    // XSkinMeshHeader
    {"nMaxSkinWeightsPerVertex", XType::Word, nullptr, nullptr},
    {"nMaxSkinWeightsPerFace", XType::Word, nullptr, nullptr},
    {"nBones", XType::Word, nullptr, nullptr},
    // VertexDuplicationIndices
    {"nIndices", XType::Dword, nullptr, nullptr},
    {"nOriginalVertices", XType::Dword, nullptr, nullptr},
    {"indices", XType::Dword, nullptr, "nIndices"},
    // FaceAdjacency
    {"nIndices", XType::Dword, nullptr, nullptr},
    {"indices", XType::Dword, nullptr, "nIndices"},
    // SkinWeights
    {"transformNodeName", XType::String, nullptr, nullptr},
    {"nWeights", XType::Dword, nullptr, nullptr},
    {"vertexIndices", XType::Dword, nullptr, "nWeights"},
    {"weights", XType::Float, nullptr, "nWeights"},
    {"matrixOffset", XType::Template, "Matrix4x4", nullptr},
    // Patch
    {"nControlIndices", XType::Dword, nullptr, nullptr},
    {"controlIndices", XType::Dword, nullptr, "nControlIndices"},
    // PatchMesh
    {"nVertices", XType::Dword, nullptr, nullptr},
    {"vertices", XType::Template, "Vector", "nVertices"},
    {"nPatches", XType::Dword, nullptr, nullptr},
    {"patches", XType::Template, "Patch", "nPatches"},
    // PatchMesh9
    {"Type", XType::Dword, nullptr, nullptr},
    {"Degree", XType::Dword, nullptr, nullptr},
    {"Basis", XType::Dword, nullptr, nullptr},
    {"nVertices", XType::Dword, nullptr, nullptr},
    {"vertices", XType::Template, "Vector", "nVertices"},
    {"nPatches", XType::Dword, nullptr, nullptr},
    {"patches", XType::Template, "Patch", "nPatches"},
    // EffectFloats
    {"nFloats", XType::Dword, nullptr, nullptr},
    {"Floats", XType::Float, nullptr, "nFloats"},
    // EffectString
    {"Value", XType::String, nullptr, nullptr},
    // EffectDWord
    {"Value", XType::Dword, nullptr, nullptr},
    // EffectParamFloats
    {"ParamName", XType::String, nullptr, nullptr},
    {"nFloats", XType::Dword, nullptr, nullptr},
    {"Floats", XType::Float, nullptr, "nFloats"},
    // EffectParamString
    {"ParamName", XType::String, nullptr, nullptr},
    {"Value", XType::String, nullptr, nullptr},
    // EffectParamDWord
    {"ParamName", XType::String, nullptr, nullptr},
    {"Value", XType::Dword, nullptr, nullptr},
    // EffectInstance
    {"EffectFilename", XType::String, nullptr, nullptr},
    // AnimTicksPerSecond
    {"AnimTicksPerSecond", XType::Dword, nullptr, nullptr},
    // CompressedAnimationSet
    {"CompressedBlockSize", XType::Dword, nullptr, nullptr},
    {"TicksPerSec", XType::Float, nullptr, nullptr},
    {"PlaybackType", XType::Dword, nullptr, nullptr},
    {"BufferLength", XType::Dword, nullptr, nullptr},
    {"CompressedData", XType::Dword, nullptr, "BufferLength"},
    // FVFData
    {"dwFVF", XType::Dword, nullptr, nullptr},
    {"nDWords", XType::Dword, nullptr, nullptr},
    {"data", XType::Dword, nullptr, "nDWords"},
    // VertexElement
    {"Type", XType::Dword, nullptr, nullptr},
    {"Method", XType::Dword, nullptr, nullptr},
    {"Usage", XType::Dword, nullptr, nullptr},
    {"UsageIndex", XType::Dword, nullptr, nullptr},
    // DeclData
    {"nElements", XType::Dword, nullptr, nullptr},
    {"Elements", XType::Template, "VertexElement", "nElements"},
    {"nDWords", XType::Dword, nullptr, nullptr},
    {"data", XType::Dword, nullptr, "nDWords"},
    // PMAttributeRange
    {"iFaceOffset", XType::Dword, nullptr, nullptr},
    {"nFacesMin", XType::Dword, nullptr, nullptr},
    {"nFacesMax", XType::Dword, nullptr, nullptr},
    {"iVertexOffset", XType::Dword, nullptr, nullptr},
    {"nVerticesMin", XType::Dword, nullptr, nullptr},
    {"nVerticesMax", XType::Dword, nullptr, nullptr},
    // PMVSplitRecord
    {"iFaceCLW", XType::Dword, nullptr, nullptr},
    {"iVlrOffset", XType::Dword, nullptr, nullptr},
    {"iCode", XType::Dword, nullptr, nullptr},
    // PMInfo
    {"nAttributes", XType::Dword, nullptr, nullptr},
    {"attributeRanges", XType::Template, "PMAttributeRange", "nAttributes"},
    {"nMaxValence", XType::Dword, nullptr, nullptr},
    {"nMinLogicalVertices", XType::Dword, nullptr, nullptr},
    {"nMaxLogicalVertices", XType::Dword, nullptr, nullptr},
    {"nVSplits", XType::Dword, nullptr, nullptr},
    {"splitRecords", XType::Template, "PMVSplitRecord", "nVSplits"},
    {"nAttributeMispredicts", XType::Dword, nullptr, nullptr},
    {"attributeMispredicts", XType::Dword, nullptr, "nAttributeMispredicts"},
};

constexpr const char* kAllowed[] = {
    "Material",  // MeshMaterialList
    "Animation",  // AnimationSet
    "BINARY",  // InlineData
    "Url",  // ProgressiveMesh
    "InlineData",  // ProgressiveMesh
    "StringProperty",  // PropertyBag
};

constexpr TableTemplate kTemplates[] = {
    {"Header", MakeGuid("3D82AB43-62DA-11CF-AB39-0020AF71E433"), XRestriction::Closed, 3, 0},
    {"Vector", MakeGuid("3D82AB5E-62DA-11CF-AB39-0020AF71E433"), XRestriction::Closed, 3, 0},
    {"Coords2d", MakeGuid("F6F23F44-7686-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"Matrix4x4", MakeGuid("F6F23F45-7686-11CF-8F52-0040333594A3"), XRestriction::Closed, 1, 0},
    {"ColorRGBA", MakeGuid("35FF44E0-6C7C-11CF-8F52-0040333594A3"), XRestriction::Closed, 4, 0},
    {"ColorRGB", MakeGuid("D3E16E81-7835-11CF-8F52-0040333594A3"), XRestriction::Closed, 3, 0},
    {"IndexedColor", MakeGuid("1630B820-7842-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"Boolean", MakeGuid("537DA6A0-CA37-11D0-941C-0080C80CFA7B"), XRestriction::Closed, 1, 0},
    {"Boolean2d", MakeGuid("4885AE63-78E8-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"MaterialWrap", MakeGuid("4885AE60-78E8-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"TextureFilename", MakeGuid("A42790E1-7810-11CF-8F52-0040333594A3"), XRestriction::Closed, 1, 0},
    {"Material", MakeGuid("3D82AB4D-62DA-11CF-AB39-0020AF71E433"), XRestriction::Open, 4, 0},
    {"MeshFace", MakeGuid("3D82AB5F-62DA-11CF-AB39-0020AF71E433"), XRestriction::Closed, 2, 0},
    {"MeshFaceWraps", MakeGuid("ED1EC5C0-C0A8-11D0-941C-0080C80CFA7B"), XRestriction::Closed, 2, 0},
    {"MeshTextureCoords", MakeGuid("F6F23F40-7686-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"MeshMaterialList", MakeGuid("F6F23F42-7686-11CF-8F52-0040333594A3"), XRestriction::Restricted, 3, 1},
    {"MeshNormals", MakeGuid("F6F23F43-7686-11CF-8F52-0040333594A3"), XRestriction::Closed, 4, 0},
    {"MeshVertexColors", MakeGuid("1630B821-7842-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"Mesh", MakeGuid("3D82AB44-62DA-11CF-AB39-0020AF71E433"), XRestriction::Open, 4, 0},
    {"FrameTransformMatrix", MakeGuid("F6F23F41-7686-11CF-8F52-0040333594A3"), XRestriction::Closed, 1, 0},
    {"Frame", MakeGuid("3D82AB46-62DA-11CF-AB39-0020AF71E433"), XRestriction::Open, 0, 0},
    {"FloatKeys", MakeGuid("10DD46A9-775B-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"TimedFloatKeys", MakeGuid("F406B180-7B3B-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"AnimationKey", MakeGuid("10DD46A8-775B-11CF-8F52-0040333594A3"), XRestriction::Closed, 3, 0},
    {"AnimationOptions", MakeGuid("E2BF56C0-840F-11CF-8F52-0040333594A3"), XRestriction::Closed, 2, 0},
    {"Animation", MakeGuid("3D82AB4F-62DA-11CF-AB39-0020AF71E433"), XRestriction::Open, 0, 0},
    {"AnimationSet", MakeGuid("3D82AB50-62DA-11CF-AB39-0020AF71E433"), XRestriction::Restricted, 0, 1},
    {"InlineData", MakeGuid("3A23EEA0-94B1-11D0-AB39-0020AF71E433"), XRestriction::Restricted, 0, 1},
    {"Url", MakeGuid("3A23EEA1-94B1-11D0-AB39-0020AF71E433"), XRestriction::Closed, 2, 0},
    {"ProgressiveMesh", MakeGuid("8A63C360-997D-11D0-941C-0080C80CFA7B"), XRestriction::Restricted, 0, 2},
    {"Guid", MakeGuid("A42790E0-7810-11CF-8F52-0040333594A3"), XRestriction::Closed, 4, 0},
    {"StringProperty", MakeGuid("7F0F21E0-BFE1-11D1-82C0-00A0C9697271"), XRestriction::Closed, 2, 0},
    {"PropertyBag", MakeGuid("7F0F21E1-BFE1-11D1-82C0-00A0C9697271"), XRestriction::Restricted, 0, 1},
    {"ExternalVisual", MakeGuid("98116AA0-BDBA-11D1-82C0-00A0C9697271"), XRestriction::Open, 1, 0},
    {"RightHanded", MakeGuid("7F5D5EA0-D53A-11D1-82C0-00A0C9697271"), XRestriction::Closed, 1, 0},
    {"XSkinMeshHeader", MakeGuid("3CF169CE-FF7C-44AB-93C0-F78F62D172E2"), XRestriction::Closed, 3, 0},
    {"VertexDuplicationIndices", MakeGuid("B8D65549-D7C9-4995-89CF-53A9A8B031E3"), XRestriction::Closed, 3, 0},
    {"FaceAdjacency", MakeGuid("A64C844A-E282-4756-8B80-250CDE04398C"), XRestriction::Closed, 2, 0},
    {"SkinWeights", MakeGuid("6F0D123B-BAD2-4167-A0D0-80224F25FABB"), XRestriction::Closed, 5, 0},
    {"Patch", MakeGuid("A3EB5D44-FC22-429D-9AFB-3221CB9719A6"), XRestriction::Closed, 2, 0},
    {"PatchMesh", MakeGuid("D02C95CC-EDBA-4305-9B5D-1820D7704BBF"), XRestriction::Open, 4, 0},
    {"PatchMesh9", MakeGuid("B9EC94E1-B9A6-4251-BA18-94893F02C0EA"), XRestriction::Open, 7, 0},
    {"EffectFloats", MakeGuid("F1CFE2B3-0DE3-4E28-AFA1-155A750A282D"), XRestriction::Closed, 2, 0},
    {"EffectString", MakeGuid("D55B097E-BDB6-4C52-B03D-6051C89D0E42"), XRestriction::Closed, 1, 0},
    {"EffectDWord", MakeGuid("622C0ED0-956E-4DA9-908A-2AF94F3CE716"), XRestriction::Closed, 1, 0},
    {"EffectParamFloats", MakeGuid("3014B9A0-62F5-478C-9B86-E4AC9F4E418B"), XRestriction::Closed, 3, 0},
    {"EffectParamString", MakeGuid("1DBC4C88-94C1-46EE-9076-2C28818C9481"), XRestriction::Closed, 2, 0},
    {"EffectParamDWord", MakeGuid("E13963BC-AE51-4C5D-B00F-CFA3A9D97CE5"), XRestriction::Closed, 2, 0},
    {"EffectInstance", MakeGuid("E331F7E4-0559-4CC2-8E99-1CEC1657928F"), XRestriction::Open, 1, 0},
    {"AnimTicksPerSecond", MakeGuid("9E415A43-7BA6-4A73-8743-B73D47E88476"), XRestriction::Closed, 1, 0},
    {"CompressedAnimationSet", MakeGuid("7F9B00B3-F125-4890-876E-1C42BF697C4D"), XRestriction::Closed, 5, 0},
    {"FVFData", MakeGuid("B6E70A0E-8EF9-4E83-94AD-ECC8B0C04897"), XRestriction::Closed, 3, 0},
    {"VertexElement", MakeGuid("F752461C-1E23-48F6-B9F8-8350850F336F"), XRestriction::Closed, 4, 0},
    {"DeclData", MakeGuid("BF22E553-292C-4781-9FEA-62BD554BDD93"), XRestriction::Closed, 4, 0},
    {"PMAttributeRange", MakeGuid("917E0427-C61E-4A14-9C64-AFE65F9E9844"), XRestriction::Closed, 6, 0},
    {"PMVSplitRecord", MakeGuid("574CCC14-F0B3-4333-822D-93E8A8A08E4C"), XRestriction::Closed, 3, 0},
    {"PMInfo", MakeGuid("B6C3E656-EC8B-4B92-9B62-681659522947"), XRestriction::Closed, 9, 0},
};

void RegisterTable(XTemplateRegistry* registry) {
    const TableMember* row = kMembers;
    const char* const* allowed = kAllowed;
    for (const TableTemplate& table : kTemplates) {
        XTemplate t;
        t.name = table.name;
        t.guid = table.guid;
        t.restriction = table.restriction;
        t.members.reserve(table.members);
        for (const TableMember* end = row + table.members; row != end; ++row) {
            XMember& m = t.members.emplace_back();
            m.name = row->name;
            m.type = row->type;
            if (row->templateName) m.templateIndex = static_cast<uint32_t>(registry->FindByName(row->templateName));
            if (!row->dimension) continue;
            m.isArray = true;
            m.dimensionCount = 1;
            XDimension& d = m.dimensions[0];
            if (row->dimension[0] >= '0' && row->dimension[0] <= '9')
                d.size = static_cast<uint32_t>(std::strtoul(row->dimension, nullptr, 10));
            for (size_t i = 0; i + 1 < t.members.size(); ++i)
                if (t.members[i].name == row->dimension) d.memberIndex = static_cast<int32_t>(i);
        }
        for (const char* const* end = allowed + table.allowed; allowed != end; ++allowed)
            t.allowed.push_back({*allowed, false, {}});
        // The rows always make valid definitions; a failure here is a defect caught by the tests.
        (void)registry->Add(std::move(t));
    }
}

const XTemplateRegistry& Registry() {
    static const XTemplateRegistry registry = [] {
        XTemplateRegistry r;
        RegisterTable(&r);
        return r;
    }();
    return registry;
}

// The standard set in the binary form it is published in: its definitions tokenised. Made
// only when asked for; registering the published templates does not need it.
std::vector<uint8_t> BuildStandardSet() {
    XTemplateRegistry registry;
    std::vector<uint8_t> blob;
    if (!RegisterTemplateImage(AsBytes(kStandardText), &registry).ok()) return blob;  // a defect the tests catch
    const char header[] = "xof 0302bin 0064";
    blob.assign(header, header + 16);
    for (size_t i = 0; i < registry.size(); ++i) AppendTemplateBinary(registry, i, false, &blob);
    return blob;
}

}  // namespace

std::span<const uint8_t> StandardTemplateSet() {
    static const std::vector<uint8_t> standard = BuildStandardSet();
    return standard;
}
std::span<const uint8_t> SkinTemplateSet() {
    static const std::vector<uint8_t> skin = BuildTextSet(kSkinLines);
    return skin;
}
std::span<const uint8_t> ExtensionTemplateSet() {
    static const std::vector<uint8_t> extension = BuildTextSet(kExtensionLines);
    return extension;
}
const XTemplateRegistry& PublishedTemplates() { return Registry(); }

}  // namespace xfile
