// Export material records: what material collection makes of the host's materials and what the
// mesh generator, the effect file generator and the material writer read.
//
// A node's material list holds one entry per material slot of the node; the list index is the
// material index of the mesh's faces. An entry is an XMaterial (kind 0), an XEffectMaterial
// (kind 1), or an XMaterialRef (kind 2) naming a shared record of the export's material table.
// Every entry begins with its kind, so a reader can tell them apart without a cast.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sdk/math.h"

class Texmap;

enum XMaterialKind : int32_t {
    kPlainMaterial = 0,   // XMaterial
    kEffectMaterial = 1,  // XEffectMaterial
    kMaterialRef = 2,     // XMaterialRef
};

enum XTextureUsage : int32_t {
    kTextureOrdinary = 0,
    kTextureMain = 1,    // the material's main (diffuse) texture
    kTextureNormal = 2,  // a normal map
};

enum XTextureAddress : int32_t {
    kAddressClamp = 0,
    kAddressWrap = 1,
    kAddressMirror = 2,
};

// Number of texture slots of every material: the standard material's maps after the ambient
// map (diffuse, specular, specular level, glossiness, self-illumination, opacity, filter
// colour, bump, reflection, refraction, displacement), or the first eleven maps of others.
inline constexpr int kTextureSlotCount = 11;

// One texture reference of a material.
struct XTextureSlot {
    int32_t usage = kTextureOrdinary;
    std::string textureName;  // unique among the material's slots; effect variable, bake stem
    std::string fileName;     // file name without directory
    std::string sourcePath;   // resolved full path of the source; fileName for procedural maps
    int32_t mapChannel = 0;   // host mapping channel; 0 = empty slot; used when >= 1
    Matrix2 uvTransform;      // texture coordinate transform; identity when empty
    int32_t addressU = kAddressClamp;
    int32_t addressV = kAddressClamp;
    Texmap* procMap = nullptr;  // procedural map to bake into fileName; null for bitmap files

    bool used() const { return mapChannel >= 1; }
};

// The common head of every material list entry.
struct XMaterialEntry {
    virtual ~XMaterialEntry() = default;
    int32_t kind;

protected:
    explicit XMaterialEntry(int32_t k) : kind(k) {}
    XMaterialEntry(const XMaterialEntry&) = default;
    XMaterialEntry& operator=(const XMaterialEntry&) = default;
};

struct XMaterial : XMaterialEntry {
    XMaterial() : XMaterialEntry(kPlainMaterial) {}
    explicit XMaterial(std::string materialName) : XMaterialEntry(kPlainMaterial), name(std::move(materialName)) {}
    // A plain record with the name, colours and slots of other (which may be an effect record).
    static std::unique_ptr<XMaterial> PlainCopy(const XMaterial& other);

    std::string name;                 // export name, legal in the X file
    AColor diffuse{1, 1, 1, 1};       // face colour with alpha
    float power = 0;                  // specular power
    Color specular{0, 0, 0};
    Color emissive{0, 0, 0};
    std::array<XTextureSlot, kTextureSlotCount> slots;

    // The first used slot whose usage is kTextureMain, or -1.
    int MainSlot() const;
    int UsedSlotCount() const;

protected:
    explicit XMaterial(int32_t k) : XMaterialEntry(k) {}
    XMaterial(const XMaterial&) = default;
    XMaterial& operator=(const XMaterial&) = default;
};

struct XDwordParam {
    std::string name;
    uint32_t value = 0;
};

struct XFloatParam {
    std::string name;
    std::array<float, 4> values{};
    int32_t count = 1;  // 1 to 4 components are meaningful
};

struct XStringParam {
    std::string name;
    std::string value;
};

// A material that is written with an EffectInstance: a DirectX shader material (effectValid)
// or a material whose effect file the writer generates.
struct XEffectMaterial : XMaterial {
    XEffectMaterial() : XMaterial(kEffectMaterial) {}

    bool effectValid = false;  // read completely from a DirectX shader material
    std::string effectFile;    // resolved path of the effect file; "" when none
    std::vector<XDwordParam> dwordParams;
    std::vector<XFloatParam> floatParams;
    std::vector<XStringParam> stringParams;
};

// A reference to a shared record of the export's material table.
struct XMaterialRef : XMaterialEntry {
    explicit XMaterialRef(uint32_t tableIndex) : XMaterialEntry(kMaterialRef), index(tableIndex) {}
    uint32_t index;  // position in the material table
};

// An array of material entries that finds its records by name without a scan: the records
// added since the last lookup are indexed by the next one, so a whole export's lookups cost
// one pass over the array. Records keep the name they had when they were added, and entries
// are only appended (a shrunk array is indexed again from its start).
template <class Entry>
class XMaterialArray : public std::vector<std::unique_ptr<Entry>> {
public:
    using std::vector<std::unique_ptr<Entry>>::vector;

    // The position of the first record (not reference) named name, or -1.
    int64_t FindName(std::string_view name) const {
        if (indexed_ > this->size()) {
            byName_.clear();
            indexed_ = 0;
        }
        for (; indexed_ < this->size(); ++indexed_) {
            const Entry* entry = (*this)[indexed_].get();
            if (entry && entry->kind != kMaterialRef)
                byName_.try_emplace(static_cast<const XMaterial*>(entry)->name, indexed_);
        }
        const auto found = byName_.find(std::string(name));
        if (found == byName_.end()) return -1;
        const Entry* entry = (*this)[found->second].get();
        // A record renamed after it was added is not found under its old name.
        if (!entry || static_cast<const XMaterial*>(entry)->name != name) return -1;
        return static_cast<int64_t>(found->second);
    }

    // Every "Material_<n>" with n below this is a record's name here (AddNodeMaterial's search
    // for a free name starts at it).
    size_t firstFreeNumber = 1;

private:
    mutable std::unordered_map<std::string, size_t> byName_;
    mutable size_t indexed_ = 0;
};

// The export's material table: shared plain records, in creation order. Positions never change.
using XMaterialTable = XMaterialArray<XMaterial>;
// A node's material list, indexed by the faces' material index. The node owns its entries.
using XMaterialList = XMaterialArray<XMaterialEntry>;

// The record an entry stands for: the entry itself, or for a reference the table's record.
// Null for a null entry or a reference outside the table.
const XMaterial* ResolveMaterialEntry(const XMaterialEntry* entry, const XMaterialTable& table);
XMaterial* ResolveMaterialEntry(XMaterialEntry* entry, XMaterialTable& table);
