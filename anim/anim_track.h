// Animation tracks: the keys of one export node for one clip, and the entry points that fill
// them and estimate their work.
//
// AnimateNode builds one AnimTrack per clip, in clip order. With KeyFrames on it keys the node
// at the times where its position, rotation and scale controllers have keys (plus the clip
// ends); when any clip lacks such keys, or with KeyFrames off, it samples every clip at the
// settings' ticks per sample. Each key is the node's transform relative to its parent frame
// (world space with WorldSpace), converted into output coordinates, and keys are reduced while
// they are added: a run of equal values keeps its first and its last key.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/conversion.h"
#include "core/progress.h"
#include "options/export_options.h"
#include "scene/anim_keys.h"
#include "sdk/math.h"
#include "sdk/types.h"

class INode;
class KeyBuilder;
class XNode;

// Key reduction settings of a KeyOptimizeLevel: level 0 keeps every key; 1, 2 and anything
// else (compared as unsigned) reduce with the tolerance 1e-6, 1e-5 and 1e-4.
struct KeyReduction {
    bool reduce = false;
    float tolerance = 0;  // per component
};
KeyReduction KeyReductionFor(int32_t keyOptimizeLevel);

// What the keys of one export are made with, fixed before the data pass (the driver fills it
// from the options, the host's time settings and the conversion).
struct KeySettings {
    std::span<const AnimClip> clips;  // one track per clip, in this order
    Conversion conversion;            // host to export coordinates
    bool worldSpace = false;          // keys hold world transforms instead of parent-relative ones
    int32_t ticksPerFrame = 1;
    int32_t ticksPerSample = 1;       // step of sampled animation, ticks
    bool timeline = false;            // key times in whole frames times timelineCustom, not ticks
    int32_t timelineCustom = 1;
    bool keyFrames = false;           // key at the controllers' key times where every clip has some
    bool separateKeys = false;        // rotation, scale and position keys instead of matrix keys
    KeyReduction reduction;
};

// Appends key to list, unless reduce is set and the last two stored keys and the new one are
// equal within tolerance: then the last key only moves to the new key's time. AddQuatKey
// negates an appended rotation whose dot product with the one before it is negative, so that
// consecutive stored rotations lie in the same hemisphere.
void AddVectorKey(std::vector<VectorKey>& list, const VectorKey& key, bool reduce, float tolerance);
void AddQuatKey(std::vector<QuatKey>& list, const QuatKey& key, bool reduce, float tolerance);
void AddMatrixKey(std::vector<MatrixKey>& list, const MatrixKey& key, bool reduce, float tolerance);

// A node's key transform at tick t, in output coordinates: relative to its parent's world
// transform (WorldSpace off), or its world transform (WorldSpace on; for a mesh node relative to
// its frameTM, in which its world-space vertices were written). Mirroring removed.
//
// It is made in two steps: the host's world transforms at t (the pose), then arithmetic alone,
// which the key builder may do on another thread.
struct KeyPose {
    Matrix3 world;   // the node's GetNodeTM (the identity without a host node)
    Matrix3 parent;  // the parent's, for a key relative to the parent
};
// What turns a node's poses into its key transforms.
struct KeyBasis {
    Conversion conversion;
    INode* parent = nullptr;      // the host node whose world transform the pose's parent holds
    bool parentRelative = false;  // key = world * parent world^-1
    bool fromFrame = false;       // key = inverseFrame * world
    Matrix3 inverseFrame;
};
KeyBasis KeyBasisOf(const KeySettings& settings, const XNode& node);
KeyPose SampleKeyPose(const KeyBasis& basis, const XNode& node, TimeValue t);
Matrix3 KeyTransform(const KeyBasis& basis, const KeyPose& pose);

// The key time of tick t in a track: ticks from the start tick, or with Timeline on whole
// frames from the start tick times TimelineCustom. Saturates at INT32_MAX instead of wrapping.
int32_t KeyTimeOf(const KeySettings& settings, const AnimTrack& track, TimeValue t);

// A clip frame in ticks (frame times ticks per frame), held to the 32-bit tick range.
TimeValue ClipTick(const KeySettings& settings, int32_t frame);

// One key of a track before it is added: its time and the host's pose it is made from.
struct SampledKey {
    int32_t time = 0;
    KeyPose pose;
};

// Adds the keys, in order, to the track's key lists (matrix keys, or rotation, scale and
// position keys per the track's separateKeys), each the KeyTransform of its pose, reduced by r.
void AddKeys(AnimTrack& track, std::span<const SampledKey> keys, const KeyBasis& basis, const KeyReduction& r);

// Number of keys the track holds: matrix keys, or rotation + scale + position keys.
uint32_t TrackKeyCount(const AnimTrack& track);

// Builds the node's tracks, one per clip. Called by the data pass at most once per node. Steps
// the meter once per key time or sample; returns the keys stored, the writer's units of work.
// With a builder the host is asked for every key's transform now and the keys are added by the
// builder: the tracks are complete, and counted, when builder->Finish() returns; 0 is returned.
uint32_t AnimateNode(const KeySettings& settings, XNode& node, ProgressMeter& meter, KeyBuilder* builder = nullptr);

// The key-frame path: one track per clip keyed at the controllers' key times. False when the
// node (or its host node) is absent or some clip has no usable keys; the tracks made so far
// are then left for the caller to replace. *keyCount receives the keys stored.
bool ExtractKeyedTracks(const KeySettings& settings, XNode* node, ProgressMeter& meter, uint32_t* keyCount,
                        KeyBuilder* builder = nullptr);

// The sampling path: one track per clip sampled every ticks per sample from the clip start,
// plus one sample exactly at the clip end. False only for an absent node. *keyCount receives
// the keys stored.
bool SampleTracks(const KeySettings& settings, XNode* node, ProgressMeter& meter, uint32_t* keyCount,
                  KeyBuilder* builder = nullptr);

// Fills the track's key-time lists from the node's position, rotation and scale controllers
// (their keys and those of their sub-animatables, inside [startTick, endTick]) and sets
// separateKeys from the settings. False when the node has no usable keys in that range: no
// transform controller, no sub-controller that carries keys, or fewer than two key times on
// every channel.
bool CollectKeyTimes(const KeySettings& settings, AnimTrack& track, const XNode& node);

// Number of key times of all clips on the key-frame path; 0 when the node has no usable keys
// in some clip or there are no clips (the work estimate then uses CountSamples).
int32_t CountKeyTimes(const KeySettings& settings, const XNode& node);

// Number of samples of all clips on the sampling path: per clip
// (end frame - start frame) * ticks per frame / ticks per sample + 1; 0 without clips. Only
// paces the progress display.
int32_t CountSamples(const KeySettings& settings);
