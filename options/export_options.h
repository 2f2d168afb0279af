// The export option set, the root frame name and the animation clip list.
//
// Every field is named by its key in the initialisation file (plover_max_config.ini, section
// "Option"); "Multi-Textures" is spelled MultiTextures here. Integers are mostly 0/1 switches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ExportOptions {
    int32_t SceneRoot = 0;               // write a root frame for the scene root
    int32_t Mtl = 0;                     // export materials
    int32_t Meshs = 0;                   // export geometry nodes
    int32_t Bones = 0;                   // export bones
    int32_t Dummy = 0;                   // export dummy and helper nodes
    int32_t OTHER = 0;                   // export nodes of other kinds
    int32_t Normal = 0;                  // write vertex normals
    int32_t Tangent = 0;                 // write vertex tangents
    int32_t BiTangent = 0;               // write vertex bitangents
    int32_t InlineMtl = 0;               // keep material records with each mesh
    int32_t Precision = 0;               // weight-fix precision in tenths, 0 to 10
    int32_t WorldSpace = 0;              // geometry and animation in world space
    int32_t MultiTexCoordsOptimize = 0;  // identical texture coordinate channels share one set
    int32_t XFileType = 0;               // 0 text, 1 binary, anything else compressed binary
    int32_t Animation = 0;               // export animation
    int32_t RightHand = 0;               // right-handed output coordinates
    int32_t FX = 0;                      // generate effect files for standard materials
    int32_t VertexDup = 0;               // stored and edited only
    int32_t EffectParam = 0;             // write effect material parameters
    int32_t NormalMapCode = 0;           // use the normal map in generated effect files
    int32_t DiffuseMapColor = 0;         // keep the diffuse colour where a diffuse map is used
    int32_t AnimationOptions = 0;        // write an AnimationOptions object into every animation
    int32_t AnimationOpenClose = 0;      // 0 closed, 1 open
    int32_t AnimationQuality = 0;        // 0 spline, 1 linear
    int32_t VertexColor = 0;             // write vertex colours
    int32_t OverwriteTexture = 0;        // overwrite existing texture and baked map files
    int32_t OverwriteFX = 0;             // overwrite existing effect files
    int32_t BoneMesh = 0;                // export the geometry of bone objects
    int32_t TexCoords = 0;               // write texture coordinates
    int32_t TextureConvert = 0;          // stored and edited only
    int32_t TextureFormat = 0;           // stored and edited only: 0 dds, 1 png, 2 tga, 3 jpg, 4 bmp
    int32_t SkinFix = 0;                 // fix skin weights
    int32_t SampleRate = 0;              // samples per second of sampled animation
    int32_t Timeline = 0;                // 1: custom timeline
    int32_t TimelineCustom = 0;          // time units per frame of the custom timeline
    int32_t KeyType = 0;                 // 0 matrix keys, 1 scale/rotation/translation keys
    int32_t KeyFrames = 0;               // take keys from the controllers where possible
    int32_t KeyOptimizeLevel = 0;        // key reduction level, 1 to 3
    int32_t SpaceScaleEnable = 0;        // apply SpaceScale
    float SpaceScale = 0;                // uniform output scale
    int32_t DuplicateNodeName = 0;       // legal but not unique node names
    int32_t DxFx = 0;                    // copy the effect files of effect materials
    int32_t TextureFiles = 0;            // copy texture files and bake procedural maps
    int32_t ProcMapX = 0;                // width of baked procedural maps
    int32_t ProcMapY = 0;                // height of baked procedural maps
    int32_t Skin = 0;                    // export skinning
    int32_t DeclData = 0;                // per-vertex channels as one DeclData object
    int32_t OnlyAnimationSet = 0;        // write only the animation sets
    int32_t MultiTextures = 0;           // key "Multi-Textures": write every used texture
    int32_t ZRotEnable = 0;              // apply ZRot
    float ZRot = 0;                      // extra rotation about the up axis, degrees
    int32_t XRotEnable = 0;              // apply XRot
    float XRot = 0;                      // extra rotation about the X axis, degrees
    int32_t PowerOf2 = 0;                // stored and edited only
};

// One animation clip, in host frames.
struct AnimClip {
    std::string name;
    int32_t start = 0;
    int32_t end = 0;
    friend bool operator==(const AnimClip&, const AnimClip&) = default;
};

using AnimClipList = std::vector<AnimClip>;
