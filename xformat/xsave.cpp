#include "xformat/xsave.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#ifdef __linux__

#include <cerrno>
#endif

#include "xformat/mszip.h"
#include "xformat/payload_codec.h"
#include "xformat/template_codec.h"
#include "xformat/xfile_io.h"
#include "xformat/xreader.h"

namespace xfile {
namespace {

constexpr std::string_view kKeywords[] = {"template", "array",   "WORD",    "DWORD",  "FLOAT",
                                          "DOUBLE",   "CHAR",    "UCHAR",   "SWORD",  "SDWORD",
                                          "VOID",     "STRING",  "UNICODE", "CSTRING", "BINARY",
                                          "BINARY_RESOURCE", "ULONGLONG", "LPSTR"};

bool IsKeyword(std::string_view name) {
    for (std::string_view k : kKeywords) {
        if (k.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < k.size() && same; ++i) {
            char a = k[i], b = name[i];
            if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
            if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
            same = a == b;
        }
        if (same) return true;
    }
    return false;
}

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// File output keeps the body in memory up to kMemoryBodyBytes (kFileFlushBytes when the
// templates are expected), so that a small file is written once, behind its header; a larger
// body goes to the body file every kFileFlushBytes.
constexpr size_t kMemoryBodyBytes = size_t(4) << 20;
constexpr size_t kFileFlushBytes = size_t(1) << 20;
constexpr size_t kCompressFlushBytes = MszipCompressor::kBatchBlocks * kMszipBlockSize;

std::string Header(XFileFormat format) {
    switch (format) {
        case XFileFormat::Text: return "xof 0303txt 0032";
        case XFileFormat::Binary: return "xof 0303bin 0032";
        case XFileFormat::CompressedBinary: return "xof 0303bzip0032";
        case XFileFormat::CompressedText: return "xof 0303tzip0032";
    }
    return "";
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(static_cast<unsigned long long>(ticks) % 1000000007ull) + "-" + std::to_string(++counter);
}

// Appends `from` from byte `start` to its end to `to`, both flushed, telling `copied` the
// bytes copied so far every few MiB; stops when it returns false. The kernel copies between
// the files where it can, without passing the data through this process.
template <class Copied>
bool AppendFile(std::FILE* from, uint64_t start, std::FILE* to, Copied copied) {
    constexpr size_t kStep = size_t(8) << 20;
    uint64_t done = 0;
    for (uint64_t at = start;;) {
        const int64_t n = CopyInKernel(from, &at, to, kStep);
        if (n == -2 && done == 0) break;  // not here: through memory
        if (n < 0) return false;
        if (n == 0) return true;
        done += static_cast<uint64_t>(n);
        if (!copied(done)) return false;
    }
    if (!SeekTo(from, start) || std::fseek(to, 0, SEEK_END) != 0) return false;
    std::vector<uint8_t> chunk(kStep);
    size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), from)) > 0) {
        if (std::fwrite(chunk.data(), 1, got, to) != got) return false;
        done += got;
        if (!copied(done)) return false;
    }
    return !std::ferror(from) && std::fflush(to) == 0;
}

}  // namespace

bool IsLegalName(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-') return false;
    for (char c : name)
        if (!IsNameChar(c)) return false;
    return !IsKeyword(name);
}

std::string LegalName(std::string_view name) {
    if (name.empty() || IsLegalName(name)) return std::string(name);
    std::string out;
    out.reserve(name.size() + 1);
    for (char c : name) out.push_back(IsNameChar(c) ? c : '_');
    if ((out[0] >= '0' && out[0] <= '9') || out[0] == '-' || IsKeyword(out)) out.insert(out.begin(), '_');
    return out;
}

struct XSaveObject::Impl final : OutBuffer::Flusher {
    struct Open {
        uint32_t templateIndex;
        uint64_t serial;
    };

    std::shared_ptr<const XTemplateRegistry> templates;  // the file's, shared
    const XTemplateRegistry& registry() const { return *templates; }
    XFileFormat format = XFileFormat::Text;
    bool text = true;
    bool compressed = false;
    OutBuffer buffer;                  // encoded body not yet flushed
    std::unique_ptr<MszipCompressor> compressor;  // compressed formats only
    XSaveProgress progress;
    std::vector<uint8_t> chunk;        // the part of a payload source in memory
    std::vector<uint8_t> blocks;       // compressed blocks (memory output, or staging for the file)
    uint64_t bodyBytes = 0;            // uncompressed body bytes already flushed
    std::vector<Open> open;
    uint64_t nextSerial = 1;
    uint64_t topLevelCount = 0;
    std::vector<uint8_t> templateState;  // per registry index: 0 unused, 1 visiting, 2 listed
    std::vector<uint32_t> templateOrder;
    bool saved = false;
    XResult flushError;

    // Output.
    std::vector<uint8_t>* memoryOut = nullptr;
    // File output: the body goes into the body file from bodyOffset on, which leaves room for
    // the head (header and template definitions) that the expected templates make. When the
    // templates used are those, Save writes the head in front and the body file becomes the
    // target; otherwise Save writes the head into a second file and copies the body behind it.
    std::filesystem::path target, bodyPath;
    std::FILE* bodyFile = nullptr;
    uint64_t bodyOffset = 0;
    bool bodyStarted = false;           // something was written to the body file
    bool expecting = false;             // ExpectTemplates was called
    std::vector<uint32_t> expectedOrder;

    ~Impl() {
        if (bodyFile) {
            std::fclose(bodyFile);
            std::error_code ec;
            std::filesystem::remove(bodyPath, ec);
        }
    }

    // Positions the body file at the body's start before its first bytes.
    bool StartBody() {
        if (bodyStarted) return true;
        bodyStarted = true;
        return SeekTo(bodyFile, bodyOffset);
    }

    bool WriteBody(const uint8_t* data, size_t size) {
        if (StartBody() && std::fwrite(data, 1, size, bodyFile) == size) return true;
        flushError = XResult::Error(XStatus::IoError, "cannot write " + Utf8OfPath(bodyPath));
        return false;
    }

    void FlushBuffer() override {
        HandOn();
        Report(bodyBytes, 0);
    }

    // Writes (or compresses) what the buffer holds: all of it, or whole blocks when compressing.
    void HandOn() {
        if (!flushError.ok()) {
            buffer.Clear();
            return;
        }
        if (!compressed) {
            if (bodyFile) WriteBody(buffer.data(), buffer.size());
            bodyBytes += buffer.size();
            buffer.Clear();
            buffer.SetFlusher(this, kFileFlushBytes);
        } else {
            size_t whole = buffer.size() / kMszipBlockSize * kMszipBlockSize;
            CompressOut(buffer.data(), whole, bodyFile != nullptr);
            buffer.Consume(whole);
        }
    }

    // Passes progress on; a refusal cancels the save.
    bool Report(uint64_t done, uint64_t total) {
        if (!progress || !flushError.ok() || progress(done, total)) return flushError.ok();
        flushError = XResult::Error(XStatus::Cancelled, "the save was cancelled");
        return false;
    }

    // Compresses into `blocks`, or through it into the body file.
    void CompressOut(const uint8_t* data, size_t size, bool toFile) {
        size_t before = blocks.size();
        XResult r = compressor->Compress(data, size, &blocks);
        if (!r.ok()) flushError = r;
        bodyBytes += size;
        if (toFile) {
            WriteBody(blocks.data() + before, blocks.size() - before);
            blocks.resize(before);
        }
    }

    void Indent(size_t n) {
        if (n == 0) return;
        std::memset(buffer.Reserve(n), ' ', n);
        buffer.Commit(n);
    }

    void PutName(std::string_view name) {
        buffer.PutU16(kTokName);
        buffer.PutU32(static_cast<uint32_t>(name.size()));
        buffer.Put(name);
    }

    // Writes the closing brace of every open object at `depth` or deeper.
    void CloseTo(size_t depth) {
        while (open.size() > depth) {
            open.pop_back();
            if (text) {
                Indent(open.size());
                buffer.Put("}\n");
            } else {
                buffer.PutU16(kTokCBrace);
            }
        }
        buffer.AtSafePoint();
    }

    void ListTemplate(uint32_t index) {
        if (templateState.size() < registry().size()) templateState.resize(registry().size(), 0);
        if (templateState[index] != 0) return;
        templateState[index] = 1;
        const XTemplate& t = registry().at(index);
        for (const XMember& m : t.members)
            if (m.type == XType::Template) ListTemplate(m.templateIndex);
        for (const XRestrictionEntry& e : t.allowed) {
            int r = registry().ResolveRestriction(e);
            if (r >= 0) ListTemplate(static_cast<uint32_t>(r));
        }
        templateState[index] = 2;
        templateOrder.push_back(index);
    }

    bool Allows(uint32_t parentTemplate, uint32_t childTemplate) const {
        const XTemplate& p = registry().at(parentTemplate);
        if (p.restriction == XRestriction::Open) return true;
        if (p.restriction == XRestriction::Closed) return false;
        for (const XRestrictionEntry& e : p.allowed)
            if (registry().ResolveRestriction(e) == static_cast<int>(childTemplate) ||
                e.name == registry().at(childTemplate).name)
                return true;
        return false;
    }

    // Closes the body file and gives it the target's name, or removes it on failure.
    XResult CommitBodyFile(bool ok, uint64_t total) {
        ok = (std::fclose(bodyFile) == 0) && ok;
        bodyFile = nullptr;
        ok = ok && Report(total, total);
        std::error_code ec;
        if (ok && bodyPath != target) ec = ReplaceWith(bodyPath, target);
        if (!ok || ec) {
            std::filesystem::remove(bodyPath, ec);
            if (!flushError.ok()) return flushError;
            return XResult::Error(XStatus::IoError, "cannot write " + Utf8OfPath(target));
        }
        return XResult::Success();
    }

    // A body that never left memory: head and body go into the (empty) body file.
    XResult WriteWhole(const std::vector<uint8_t>& head, std::span<const uint8_t> body) {
        uint64_t total = head.size() + body.size();
        if (!Report(0, total)) return flushError;
        bool ok = std::fwrite(head.data(), 1, head.size(), bodyFile) == head.size() &&
                  std::fwrite(body.data(), 1, body.size(), bodyFile) == body.size();
        return CommitBodyFile(ok, total);
    }

    // The body lies behind room of exactly the head's size: the head goes in front.
    XResult WriteHeadInPlace(const std::vector<uint8_t>& head) {
        const uint64_t total = bodyOffset + BodyWritten();
        if (!Report(total - head.size(), total)) return flushError;
        bool ok = std::fflush(bodyFile) == 0 && SeekTo(bodyFile, 0) &&
                  std::fwrite(head.data(), 1, head.size(), bodyFile) == head.size();
        return CommitBodyFile(ok, total);
    }

    // Bytes of the body in the body file (flushed); 0 when that cannot be told, which only
    // makes progress reports smaller.
    uint64_t BodyWritten() {
        if (std::fflush(bodyFile) != 0) return 0;
        const int64_t end = PositionOf(bodyFile);
        return end < 0 || static_cast<uint64_t>(end) < bodyOffset ? 0 : static_cast<uint64_t>(end) - bodyOffset;
    }

    // Header, "\n" and template definitions of `order`: what precedes the objects.
    std::vector<uint8_t> Prefix(const std::vector<uint32_t>& order) const {
        std::vector<uint8_t> out;
        if (text) {
            std::string s = "\n";
            for (uint32_t i : order) AppendTemplateText(registry(), i, &s);
            out.assign(s.begin(), s.end());
        } else {
            for (uint32_t i : order) AppendTemplateBinary(registry(), i, true, &out);
        }
        return out;
    }

    // What a file holds before its objects: the header, then for compressed formats the
    // size of the uncompressed file (16 + prefix + body bytes) and the compressed prefix,
    // else the prefix.
    std::vector<uint8_t> Head(const std::vector<uint8_t>& prefix, uint64_t body) {
        const std::string header = Header(format);
        std::vector<uint8_t> head(header.size() + (compressed ? 4 : prefix.size()));
        std::memcpy(head.data(), header.data(), header.size());
        if (!compressed) {
            if (!prefix.empty()) std::memcpy(head.data() + header.size(), prefix.data(), prefix.size());
            return head;
        }
        const uint64_t total = 16 + prefix.size() + body;
        if (total > 0xFFFFFFFFull)
            flushError = XResult::Error(XStatus::LimitExceeded, "compressed files hold at most 4 GiB of data");
        const uint32_t total32 = static_cast<uint32_t>(total);
        std::memcpy(head.data() + header.size(), &total32, 4);
        XResult r = compressor->Compress(prefix.data(), prefix.size(), &head);
        if (!r.ok()) flushError = r;
        return head;
    }
};

XSaveObject::XSaveObject(std::unique_ptr<Impl> impl, XFileFormat format) : impl_(std::move(impl)), format_(format) {}

XSaveObject::~XSaveObject() = default;

XResult XSaveObject::Record(XResult result) {
    if (!result.ok() && firstError_.ok()) firstError_ = result;
    return result;
}

XResult XSaveData::AddDataObject(const XGuid& templateId, std::string_view name, std::span<const uint8_t> payload,
                                 XSaveData* child) {
    if (!owner_) return XResult::Error(XStatus::InvalidArgument, "AddDataObject on a data object that was not created");
    return owner_->Add(static_cast<int>(depth_), serial_, templateId, name, payload, nullptr, child);
}

XResult XSaveData::AddDataObject(const XGuid& templateId, std::string_view name, const XPayloadSource& payload,
                                 XSaveData* child) {
    if (!owner_) return XResult::Error(XStatus::InvalidArgument, "AddDataObject on a data object that was not created");
    return owner_->Add(static_cast<int>(depth_), serial_, templateId, name, {}, &payload, child);
}

XResult XSaveData::AddDataReference(std::string_view name) {
    if (!owner_) return XResult::Error(XStatus::InvalidArgument, "AddDataReference on a data object that was not created");
    return owner_->AddReference(depth_, serial_, name);
}

XResult XSaveObject::AddDataObject(const XGuid& templateId, std::string_view name, std::span<const uint8_t> payload,
                                   XSaveData* child) {
    return Add(-1, 0, templateId, name, payload, nullptr, child);
}

XResult XSaveObject::AddDataObject(const XGuid& templateId, std::string_view name, const XPayloadSource& payload,
                                   XSaveData* child) {
    return Add(-1, 0, templateId, name, {}, &payload, child);
}

XResult XSaveObject::Add(int parentDepth, uint64_t parentSerial, const XGuid& templateId, std::string_view name,
                         std::span<const uint8_t> bytes, const XPayloadSource* source, XSaveData* child) {
    if (child) *child = XSaveData{};
    Impl& s = *impl_;
    if (s.saved) return Record(XResult::Error(XStatus::BadState, "AddDataObject after Save"));
    if (!s.flushError.ok()) return Record(s.flushError);
    int ti = s.registry().FindByGuid(templateId);
    if (ti < 0)
        return Record(XResult::Error(XStatus::UnknownTemplate,
                                     "no registered template has the GUID " + GuidToString(templateId)));
    const XTemplate& t = s.registry().at(ti);
    if (parentDepth >= 0) {
        if (static_cast<size_t>(parentDepth) >= s.open.size() || s.open[parentDepth].serial != parentSerial)
            return Record(XResult::Error(XStatus::BadState, "cannot add '" + t.name +
                                                                "': its parent is already closed (children must be "
                                                                "added before the parent's next sibling)"));
        uint32_t parentTemplate = s.open[parentDepth].templateIndex;
        if (!s.Allows(parentTemplate, static_cast<uint32_t>(ti)))
            return Record(XResult::Error(XStatus::InvalidArgument, "template '" + s.registry().at(parentTemplate).name +
                                                                       "' does not take '" + t.name + "' children"));
    }
    // A source is read twice, to check it and to encode it, unless one chunk holds it; bytes
    // given whole are read in place.
    if (source && source->size() <= PayloadCursor::kChunkBytes) {
        const size_t size = static_cast<size_t>(source->size());
        if (s.chunk.size() < size) s.chunk.resize(size);  // a small file's payloads need less than a chunk
        source->Read(0, s.chunk.data(), size);
        bytes = {s.chunk.data(), size};
        source = nullptr;
    }
    auto cursor = [&] { return source ? PayloadCursor(*source, &s.chunk) : PayloadCursor(bytes); };
    PayloadCursor check = cursor();
    XResult valid = ValidatePayload(s.registry(), static_cast<uint32_t>(ti), check);
    if (!valid.ok()) return Record(valid);
    PayloadCursor payload = cursor();

    size_t depth = parentDepth < 0 ? 0 : static_cast<size_t>(parentDepth) + 1;
    s.CloseTo(depth);
    s.ListTemplate(static_cast<uint32_t>(ti));
    std::string legal = LegalName(name);
    if (s.text) {
        if (depth > 0 || s.topLevelCount > 0) s.buffer.PutChar('\n');
        s.Indent(depth);
        s.buffer.Put(t.name);
        if (!legal.empty()) {
            s.buffer.PutChar(' ');
            s.buffer.Put(legal);
        }
        s.buffer.Put(" {\n");
        EncodeTextMembers(s.registry(), static_cast<uint32_t>(ti), payload, static_cast<int>(depth) + 1, &s.buffer);
    } else {
        s.PutName(t.name);
        if (!legal.empty()) s.PutName(legal);
        s.buffer.PutU16(kTokOBrace);
        EncodeBinaryMembers(s.registry(), static_cast<uint32_t>(ti), payload, &s.buffer);
    }
    if (depth == 0) ++s.topLevelCount;
    uint64_t serial = s.nextSerial++;
    s.open.push_back({static_cast<uint32_t>(ti), serial});
    s.buffer.AtSafePoint();
    if (!s.flushError.ok()) return Record(s.flushError);
    if (child) {
        child->owner_ = this;
        child->depth_ = static_cast<uint32_t>(depth);
        child->serial_ = serial;
    }
    return XResult::Success();
}

XResult XSaveObject::AddReference(uint32_t parentDepth, uint64_t parentSerial, std::string_view name) {
    Impl& s = *impl_;
    if (s.saved) return Record(XResult::Error(XStatus::BadState, "AddDataReference after Save"));
    if (!s.flushError.ok()) return Record(s.flushError);
    if (name.empty()) return Record(XResult::Error(XStatus::InvalidArgument, "data reference without a name"));
    if (parentDepth >= s.open.size() || s.open[parentDepth].serial != parentSerial)
        return Record(XResult::Error(XStatus::BadState, "cannot add the reference '" + std::string(name) +
                                                            "': its parent is already closed"));
    const XTemplate& parent = s.registry().at(s.open[parentDepth].templateIndex);
    if (parent.restriction == XRestriction::Closed)
        return Record(XResult::Error(XStatus::InvalidArgument, "template '" + parent.name + "' takes no references"));
    s.CloseTo(parentDepth + 1);
    std::string legal = LegalName(name);
    if (s.text) {
        s.buffer.PutChar('\n');
        s.Indent(parentDepth + 1);
        s.buffer.Put("{ ");
        s.buffer.Put(legal);
        s.buffer.Put(" }\n");
    } else {
        s.buffer.PutU16(kTokOBrace);
        s.PutName(legal);
        s.buffer.PutU16(kTokCBrace);
    }
    return XResult::Success();
}

XResult XSaveObject::ExpectTemplates(std::span<const XGuid> templateIds) {
    Impl& s = *impl_;
    if (s.saved || s.nextSerial != 1 || s.expecting)
        return XResult::Error(XStatus::BadState, "ExpectTemplates must come once, before the first object");
    std::vector<uint32_t> indexes;
    for (const XGuid& id : templateIds) {
        int i = s.registry().FindByGuid(id);
        if (i < 0)
            return XResult::Error(XStatus::UnknownTemplate, "no registered template has the GUID " + GuidToString(id));
        indexes.push_back(static_cast<uint32_t>(i));
    }
    if (!s.bodyFile) return XResult::Success();  // memory output is written once anyway
    // The order the objects would list them in, worked out on the layer's own state, which
    // nothing has used yet.
    for (uint32_t i : indexes) s.ListTemplate(i);
    s.expectedOrder.swap(s.templateOrder);
    s.templateState.assign(s.templateState.size(), 0);
    s.expecting = true;
    s.bodyOffset = s.Head(s.Prefix(s.expectedOrder), 0).size();
    if (!s.flushError.ok()) return Record(s.flushError);
    s.buffer.SetFlusher(&s, s.compressed ? kCompressFlushBytes : kFileFlushBytes);
    return XResult::Success();
}

XResult XSaveObject::Save() {
    Impl& s = *impl_;
    if (s.saved) return XResult::Error(XStatus::BadState, "Save was already called");
    if (!firstError_.ok())
        return XResult::Error(firstError_.status, "nothing written, an earlier call failed: " + firstError_.message);
    s.CloseTo(0);
    s.saved = true;
    const std::vector<uint8_t> prefix = s.Prefix(s.templateOrder);

    if (s.memoryOut && !s.compressed) {
        const std::string header = Header(format_);
        if (!s.Report(0, 16 + prefix.size() + s.buffer.size())) return Record(s.flushError);
        std::vector<uint8_t>& out = *s.memoryOut;
        out.clear();
        out.reserve(16 + prefix.size() + s.buffer.size());
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), prefix.begin(), prefix.end());
        out.insert(out.end(), s.buffer.data(), s.buffer.data() + s.buffer.size());
        s.buffer.Clear();
        if (!s.Report(out.size(), out.size())) {
            out.clear();
            return Record(s.flushError);
        }
        return XResult::Success();
    }

    // The rest of the body: compressed (a final short block included) behind what was
    // written, or into memory when nothing was; plain, into the body file once it has some.
    if (s.compressed) {
        s.CompressOut(s.buffer.data(), s.buffer.size(), s.bodyFile && s.bodyStarted);
        s.buffer.Clear();
    } else if (s.bodyStarted) {
        s.HandOn();
    }
    const std::vector<uint8_t> head = s.Head(prefix, s.bodyBytes);
    if (!s.flushError.ok()) return Record(s.flushError);

    if (s.memoryOut) {  // compressed, in memory
        std::vector<uint8_t>& out = *s.memoryOut;
        out.clear();
        out.reserve(head.size() + s.blocks.size());
        out.insert(out.end(), head.begin(), head.end());
        out.insert(out.end(), s.blocks.begin(), s.blocks.end());
        if (!s.Report(out.size(), out.size())) {
            out.clear();
            return Record(s.flushError);
        }
        return XResult::Success();
    }

    if (!s.bodyStarted) {
        std::span<const uint8_t> body = s.compressed ? std::span<const uint8_t>(s.blocks)
                                                     : std::span<const uint8_t>(s.buffer.data(), s.buffer.size());
        return Record(s.WriteWhole(head, body));
    }
    if (s.expecting && s.templateOrder == s.expectedOrder) return Record(s.WriteHeadInPlace(head));

    // The head differs from the room left for it: head, then the body copied from the body
    // file, into a temporary file beside the target.
    std::filesystem::path temp = s.target;
    temp += ".tmp-" + UniqueSuffix();
    std::FILE* f = OpenPath(temp, "wb");
    if (!f) return Record(XResult::Error(XStatus::IoError, "cannot create " + Utf8OfPath(temp)));
    const uint64_t total = head.size() + s.BodyWritten();
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size() && std::fflush(f) == 0;
    ok = ok && s.Report(head.size(), total) && AppendFile(s.bodyFile, s.bodyOffset, f, [&](uint64_t copied) {
             return s.Report(head.size() + copied, total);
         });
    ok = (std::fclose(f) == 0) && ok;
    std::error_code ec;
    if (ok) ec = ReplaceWith(temp, s.target);
    if (!ok || ec) {
        std::filesystem::remove(temp, ec);
        if (!s.flushError.ok()) return Record(s.flushError);
        return Record(XResult::Error(XStatus::IoError, "cannot write " + Utf8OfPath(s.target)));
    }
    if (s.bodyPath == s.target) {  // in place: the body file was the target, now replaced
        std::fclose(s.bodyFile);
        s.bodyFile = nullptr;
    }
    return XResult::Success();
}

XResult XFile::RegisterTemplates(std::span<const uint8_t> image) {
    auto registry = std::make_shared<XTemplateRegistry>(*registry_);
    XResult r = RegisterTemplateImage(image, registry.get());
    if (r.ok()) registry_ = std::move(registry);
    return r;
}

XResult XFile::RegisterPublishedTemplates() {
    if (registry_->size() == 0) {
        // Never freed: a static's address that outlives every file.
        registry_ = std::shared_ptr<const XTemplateRegistry>(&PublishedTemplates(), [](const XTemplateRegistry*) {});
        return XResult::Success();
    }
    for (auto set : {StandardTemplateSet(), SkinTemplateSet(), ExtensionTemplateSet()}) {
        XResult r = RegisterTemplates(set);
        if (!r.ok()) return r;
    }
    return XResult::Success();
}

XResult XFile::CreateMemorySaveObject(std::vector<uint8_t>* bytes, XFileFormat format,
                                      std::unique_ptr<XSaveObject>* save, const XSaveOptions& options) const {
    if (!bytes || !save) return XResult::Error(XStatus::InvalidArgument, "CreateMemorySaveObject: null argument");
    auto impl = std::make_unique<XSaveObject::Impl>();
    impl->templates = registry_;
    impl->format = format;
    impl->text = IsTextFormat(format);
    impl->compressed = IsCompressedFormat(format);
    if (impl->compressed) impl->compressor = std::make_unique<MszipCompressor>(options.compressionLevel);
    impl->progress = options.progress;
    impl->memoryOut = bytes;
    if (impl->compressed) impl->buffer.SetFlusher(impl.get(), kCompressFlushBytes);
    save->reset(new XSaveObject(std::move(impl), format));
    return XResult::Success();
}

XResult XFile::CreateSaveObject(const std::string& path, XFileFormat format, std::unique_ptr<XSaveObject>* save,
                                const XSaveOptions& options) const {
    if (!save || path.empty()) return XResult::Error(XStatus::InvalidArgument, "CreateSaveObject: no path");
    auto impl = std::make_unique<XSaveObject::Impl>();
    impl->templates = registry_;
    impl->format = format;
    impl->text = IsTextFormat(format);
    impl->compressed = IsCompressedFormat(format);
    if (impl->compressed) impl->compressor = std::make_unique<MszipCompressor>(options.compressionLevel);
    impl->progress = options.progress;
    impl->target = PathOfUtf8(path);
    impl->bodyPath = impl->target;
    if (!options.inPlace) impl->bodyPath += ".tmp-" + UniqueSuffix();
    impl->bodyFile = OpenPath(impl->bodyPath, "w+b");
    if (!impl->bodyFile) return XResult::Error(XStatus::IoError, "cannot create a file beside " + path);
    impl->buffer.SetFlusher(impl.get(), impl->compressed ? kCompressFlushBytes : kMemoryBodyBytes);
    save->reset(new XSaveObject(std::move(impl), format));
    return XResult::Success();
}

}  // namespace xfile
