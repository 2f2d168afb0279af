// The payloads of the animation objects: AnimationKey in its four forms and AnimationOptions.
//
// Every AnimationKey is keyType (DWORD), nKeys (DWORD), then per key its time (DWORD), the
// number of values (DWORD) and the values (floats):
//   matrix   keyType 4, 16 values: the key's matrix as a Matrix4x4, already in output coordinates
//   scale    keyType 1,  3 values: x, y, z
//   rotation keyType 0,  4 values: w, x, y, z of the stored host quaternion (the conjugate of
//            the D3DX quaternion of the frame matrix, which is what X file readers expect)
//   position keyType 2,  3 values: x, y, z
#pragma once

#include <span>

#include "anim/anim_track.h"
#include "xfile/write_context.h"
#include "xformat/xpayload.h"

// The file's key types; the matrix key's in-memory kind is 3, the file's code is 4.
inline constexpr uint32_t kXRotationKeyType = 0;
inline constexpr uint32_t kXScaleKeyType = 1;
inline constexpr uint32_t kXPositionKeyType = 2;
inline constexpr uint32_t kXMatrixKeyType = 4;

xfile::XPayload MatrixKeysPayload(std::span<const MatrixKey> keys);
xfile::XPayload VectorKeysPayload(uint32_t keyType, std::span<const VectorKey> keys);
xfile::XPayload QuatKeysPayload(std::span<const QuatKey> keys);
// openclosed, positionquality.
xfile::XPayload AnimationOptionsPayload(uint32_t openClosed, uint32_t positionQuality);

// One AnimationSet named clipName with the Animation objects of every node's track clipIndex.
void WriteAnimationSet(XWriteContext& context, const std::string& clipName, size_t clipIndex);
// The templates WriteAnimationSet uses for the export's clips.
void ListAnimationTemplates(const XFileRecords& records, XTemplateList& list);
// The Animation objects of node and its subtree for one clip.
void WriteAnimation(XWriteContext& context, const xfile::XSaveData& animationSet, XNode* node, size_t clipIndex);
