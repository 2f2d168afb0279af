// Control identifiers of the options dialog (template 102) and the clip dialog (template 103).
// The resource script options/win32/plover.rc uses the same numbers.
#pragma once

namespace dlg {

inline constexpr int kOptionsTemplate = 102;
inline constexpr int kClipTemplate = 103;

// Options dialog, "General".
inline constexpr int kSceneRoot = 1003;         // SceneRoot
inline constexpr int kSceneRootName = 1025;     // edit: SceneRootName
inline constexpr int kMaterial = 1004;          // Mtl
inline constexpr int kInline = 1007;            // InlineMtl
inline constexpr int kBone = 1012;              // Bones
inline constexpr int kBoneMesh = 1033;          // BoneMesh
inline constexpr int kMesh = 1002;              // Meshs
inline constexpr int kSkin = 1005;              // Skin
inline constexpr int kWeightFix = 1041;         // SkinFix
inline constexpr int kPrecisionEdit = 1163;     // edit of the Precision spinner
inline constexpr int kPrecisionSpinner = 1164;  // Precision / 10, 0.0 to 1.0
inline constexpr int kAnimation = 1010;         // Animation
inline constexpr int kOnlyAnimationSet = 1050;  // OnlyAnimationSet
inline constexpr int kDummy = 1020;             // Dummy
inline constexpr int kOtherNodes = 1018;        // OTHER
inline constexpr int kDuplicateName = 1049;     // DuplicateNodeName
inline constexpr int kVertexDup = 1013;         // VertexDup
// Vertex data.
inline constexpr int kDeclData = 1178;     // DeclData
inline constexpr int kNormal = 1006;       // Normal
inline constexpr int kTangent = 1008;      // Tangent
inline constexpr int kBitangent = 1021;    // BiTangent
inline constexpr int kVertexColor = 1032;  // VertexColor
inline constexpr int kTexCoords = 1034;    // TexCoords
// Hidden animation options.
inline constexpr int kAnimOptionsType = 1028;  // AnimationOptions (never read back)
inline constexpr int kAnimOpenClose = 1029;    // list: AnimationOpenClose
inline constexpr int kAnimQuality = 1031;      // list: AnimationQuality
// Textures.
inline constexpr int kTextures = 1176;          // TextureFiles
inline constexpr int kTextureOverwrite = 1171;  // OverwriteTexture
inline constexpr int kMultiTextures = 1179;     // Multi-Textures
inline constexpr int kConvertTo = 1173;         // TextureConvert
inline constexpr int kTextureFormat = 1017;     // list: TextureFormat
inline constexpr int kPowerOf2 = 1030;          // PowerOf2
inline constexpr int kRemoveDuplicates = 1042;  // MultiTexCoordsOptimize
inline constexpr int kCreateShader = 1023;      // FX
inline constexpr int kNormalMap = 1026;         // NormalMapCode
inline constexpr int kProcTextureLabel = 1047;  // static "Procedural Texture Size:"
inline constexpr int kProcMapX = 1036;          // number edit: ProcMapX
inline constexpr int kProcTimes = 1048;         // static
inline constexpr int kProcMapY = 1039;          // number edit: ProcMapY
// Animation clips and sampling.
inline constexpr int kClipList = 1014;
inline constexpr int kAdd = 1015;
inline constexpr int kInsert = 1019;
inline constexpr int kDelete = 1016;
inline constexpr int kSamplingLabel = 1043;
inline constexpr int kSampleRate = 1011;        // number edit: SampleRate
inline constexpr int kKeyFrames = 1044;         // KeyFrames
inline constexpr int kTimelineMax = 1037;       // radio: Timeline = 0
inline constexpr int kTimelineCustom = 1038;    // radio: Timeline = 1
inline constexpr int kCustomEdit = 1166;        // edit of the TimelineCustom spinner
inline constexpr int kCustomSpinner = 1167;     // TimelineCustom, 1 to 999999
inline constexpr int kKeysMatrix = 1045;        // radio: KeyType = 0
inline constexpr int kKeysSrt = 1046;           // radio: KeyType = 1
inline constexpr int kOptimizeLabel = 1040;
inline constexpr int kOptimizeEdit = 1174;      // edit of the KeyOptimizeLevel spinner
inline constexpr int kOptimizeSpinner = 1175;   // KeyOptimizeLevel, 1 to 3
// Materials.
inline constexpr int kDiffuseMapColor = 1027;   // DiffuseMapColor
inline constexpr int kEffectParams = 1022;      // EffectParam
inline constexpr int kFx = 1177;                // DxFx
inline constexpr int kFxOverwrite = 1172;       // OverwriteFX
// Coordinate system.
inline constexpr int kXRotEnable = 1169;        // XRotEnable
inline constexpr int kXRot = 1182;              // edit: XRot
inline constexpr int kZRotEnable = 1181;        // ZRotEnable
inline constexpr int kZRot = 1180;              // edit: ZRot
inline constexpr int kScaleEnable = 1170;       // SpaceScaleEnable
inline constexpr int kScale = 1168;             // edit: SpaceScale
inline constexpr int kRightHanded = 1165;       // RightHand
inline constexpr int kWorldSpace = 1001;        // WorldSpace
inline constexpr int kXFileType = 1009;         // list: XFileType
// Buttons and status.
inline constexpr int kOk = 1035;
inline constexpr int kCancel = 2;
inline constexpr int kStatus = 1024;

// Clip dialog.
inline constexpr int kClipOk = 1;
inline constexpr int kClipCancel = 2;
inline constexpr int kClipName = 1170;
inline constexpr int kClipStartEdit = 1169;
inline constexpr int kClipStartSpinner = 1168;
inline constexpr int kClipEndEdit = 1166;
inline constexpr int kClipEndSpinner = 1167;

}  // namespace dlg
