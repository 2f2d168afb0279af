// The save layer: the operations of the D3DX9 file-save interface over our own encoders.
//
//   xfile::XFile file;
//   file.RegisterTemplates(xfile::StandardTemplateSet());   // or RegisterPublishedTemplates()
//   std::unique_ptr<xfile::XSaveObject> save;
//   file.CreateSaveObject("out.x", xfile::FormatFromXFileType(type), &save);
//   save->ExpectTemplates(templatesInOrderOfFirstUse);      // optional: a large body is written once
//   xfile::XSaveData frame;
//   save->AddDataObject(xfile::kTidFrame, "Root", {}, &frame);
//   frame.AddDataObject(xfile::kTidFrameTransformMatrix, "", matrixPayload);
//   save->Save();
//
// Streaming: each object is encoded when it is added and closed when its last child is done,
// that is when an object is next added to it, to one of its ancestors or at the top level,
// or at Save. Children must therefore be added depth first: adding to an object that has
// been closed is refused. Memory holds the open objects' path, an output buffer and, for a
// payload given as a source, a chunk of it; file output goes to a temporary file beside the
// target that Save renames into place.
//
// Every file carries the definitions of the templates its objects use (with their member
// templates and the templates their restrictions name), ahead of the data.
//
// Names: a name made of ASCII letters, digits, '_' and '-', not starting with a digit or '-',
// and not a format keyword, reaches the file unchanged. Any other name is made legal by
// LegalName (same mapping for object names and references, so references still resolve).
// An empty name means "unnamed".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xformat/xfile_format.h"
#include "xformat/xpayload.h"
#include "xformat/xresult.h"
#include "xformat/xtemplates.h"

namespace xfile {

class XSaveObject;

// Progress of a save, called on the saving thread. While objects are added it is called each
// time encoded data is handed on (every MiB written, every 2 MiB compressed) with `total` 0,
// since the size is not known yet, and `done` the bytes of the body encoded so far. Save then
// calls it as it writes the file, with `done` the bytes written so far of `total`, the size of
// the file, ending with done == total. Returning false cancels the save: the call under way
// fails with XStatus::Cancelled, later calls are refused, and no file is written.
using XSaveProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct XSaveOptions {
    int compressionLevel = 2;  // deflate level for compressed formats (1 fastest .. 12 smallest)
    XSaveProgress progress;    // optional
    // File output: Save writes the path itself, without a temporary renamed onto it, for a
    // path that is already the caller's temporary. A failed save removes it.
    bool inPlace = false;
};

// True when `name` can appear in a text file unchanged (see above).
bool IsLegalName(std::string_view name);
// The name as written: unchanged when legal; otherwise every character outside
// [A-Za-z0-9_-] becomes '_', and '_' is put in front when the result would start with a
// digit or '-' or equal a keyword (in any letter case).
std::string LegalName(std::string_view name);

// A data object that is open for children. Cheap to copy; valid while its save object lives.
class XSaveData {
public:
    XSaveData() = default;
    bool valid() const { return owner_ != nullptr; }

    // Adds a child object. `payload` is the packed member data (see XPayload).
    XResult AddDataObject(const XGuid& templateId, std::string_view name, std::span<const uint8_t> payload,
                          XSaveData* child = nullptr);
    // The same with a payload read from `payload` in bounded chunks during the call, so that
    // a large payload is never held whole.
    XResult AddDataObject(const XGuid& templateId, std::string_view name, const XPayloadSource& payload,
                          XSaveData* child = nullptr);
    // Adds a reference "{ name }" to an object written earlier (or elsewhere).
    XResult AddDataReference(std::string_view name);

private:
    friend class XSaveObject;
    XSaveObject* owner_ = nullptr;
    uint32_t depth_ = 0;
    uint64_t serial_ = 0;
};

class XSaveObject {
public:
    XSaveObject(const XSaveObject&) = delete;
    XSaveObject& operator=(const XSaveObject&) = delete;
    ~XSaveObject();  // without a successful Save, removes its temporary files

    // Adds a top-level object; closes every open object first.
    XResult AddDataObject(const XGuid& templateId, std::string_view name, std::span<const uint8_t> payload,
                          XSaveData* child = nullptr);
    XResult AddDataObject(const XGuid& templateId, std::string_view name, const XPayloadSource& payload,
                          XSaveData* child = nullptr);

    // The templates the objects will use, in the order of their first use, as the caller
    // expects them. When they are right, a file body too large to keep in memory is written
    // once, behind room left for the template definitions; when they are not, Save copies the
    // body behind the right ones, and the file is the same. Call once, before the first object.
    XResult ExpectTemplates(std::span<const XGuid> templateIds);

    // Writes the file (or the memory buffer). Refused, writing nothing, when an earlier call
    // on this object failed, so that a file never silently lacks objects. Once only.
    XResult Save();

    XFileFormat format() const { return format_; }
    // The first failure of any call so far (success when none).
    const XResult& FirstError() const { return firstError_; }

private:
    friend class XFile;
    friend class XSaveData;
    struct Impl;
    explicit XSaveObject(std::unique_ptr<Impl> impl, XFileFormat format);

    // The payload is `source` when given, else `bytes`.
    XResult Add(int parentDepth, uint64_t parentSerial, const XGuid& templateId, std::string_view name,
                std::span<const uint8_t> bytes, const XPayloadSource* source, XSaveData* child);
    XResult AddReference(uint32_t parentDepth, uint64_t parentSerial, std::string_view name);
    XResult Record(XResult result);

    std::unique_ptr<Impl> impl_;
    XFileFormat format_;
    XResult firstError_;
};

// The file object: a template registry and a factory of save objects.
class XFile {
public:
    // Registers the templates of an X file image (text, binary or compressed; templates only).
    XResult RegisterTemplates(std::span<const uint8_t> image);
    // The standard, skinning/effect and vertex-data sets, in that order. Into an empty
    // registry this takes the process's registered sets (PublishedTemplates) as they are.
    XResult RegisterPublishedTemplates();
    const XTemplateRegistry& templates() const { return *registry_; }

    // Saves to `path`: a temporary file in the same directory is renamed onto it by Save
    // (unless options.inPlace).
    XResult CreateSaveObject(const std::string& path, XFileFormat format, std::unique_ptr<XSaveObject>* save,
                             const XSaveOptions& options = {}) const;
    // Saves into `*bytes`, which Save replaces with the whole file.
    XResult CreateMemorySaveObject(std::vector<uint8_t>* bytes, XFileFormat format,
                                   std::unique_ptr<XSaveObject>* save, const XSaveOptions& options = {}) const;

private:
    // Shared with the save objects made from this file, and with PublishedTemplates() until
    // other templates are registered: a registration copies it first.
    std::shared_ptr<const XTemplateRegistry> registry_ = std::make_shared<const XTemplateRegistry>();
};

}  // namespace xfile
