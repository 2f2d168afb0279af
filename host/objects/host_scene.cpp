#include "host/objects/host_scene.h"

#include <algorithm>

// --- kept world transforms ---

namespace {

size_t TimeSlot(TimeValue t, size_t mask) {
    return size_t((uint64_t(uint32_t(t)) * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

}  // namespace

const Matrix3* KeptWorlds::Find(TimeValue t) {
    if (last_ < entries_.size()) {
        if (entries_[last_].time == t) return &entries_[last_].world;
        if (last_ + 1 < entries_.size() && entries_[last_ + 1].time == t) return &entries_[++last_].world;
    }
    if (slots_.empty()) {  // the entries are in time order
        if (entries_.empty() || t > entries_.back().time) return nullptr;
        const auto at = std::lower_bound(entries_.begin(), entries_.end(), t,
                                         [](const Entry& e, TimeValue time) { return e.time < time; });
        if (at == entries_.end() || at->time != t) return nullptr;
        last_ = size_t(at - entries_.begin());
        return &at->world;
    }
    const size_t mask = slots_.size() - 1;
    for (size_t s = TimeSlot(t, mask); slots_[s] != 0; s = (s + 1) & mask)
        if (entries_[slots_[s] - 1].time == t) {
            last_ = slots_[s] - 1;
            return &entries_[last_].world;
        }
    return nullptr;
}

void KeptWorlds::Add(TimeValue t, const Matrix3& world) {
    const bool inOrder = slots_.empty() && (entries_.empty() || entries_.back().time < t);
    entries_.push_back({t, world});
    last_ = entries_.size() - 1;
    if (inOrder) return;
    // A time out of order: from now on the entries are found through the table, a power of two
    // at most half full. When it doubles, every entry goes into the larger one.
    size_t from = last_;
    if (2 * entries_.size() > slots_.size()) {
        size_t size = std::max<size_t>(64, 2 * slots_.size());
        while (size < 2 * entries_.size()) size *= 2;
        slots_.assign(size, 0);
        from = 0;
    }
    const size_t mask = slots_.size() - 1;
    for (size_t e = from; e < entries_.size(); ++e) {
        size_t s = TimeSlot(entries_[e].time, mask);
        while (slots_[s] != 0) s = (s + 1) & mask;
        slots_[s] = static_cast<uint32_t>(e + 1);
    }
}

// --- nodes ---

HostNode::HostNode(HostScene& scene, std::string name, HostNode* parent)
    : scene_(&scene), name_(std::move(name)), parent_(parent) {}

INode* HostNode::GetChildNode(int i) {
    return i >= 0 && i < NumberOfChildren() ? children_[i].get() : nullptr;
}

Matrix3 HostNode::GetNodeTM(TimeValue t) {
    // Only a node with children keeps its transforms: theirs are worked out from it, while a
    // node without children is asked for each time once, and working it out again takes one
    // local transform (its parent's being kept).
    const bool keeps = scene_->transformsFrozen() && !children_.empty();
    if (keeps)
        if (const Matrix3* kept = worlds_.Find(t)) return *kept;
    const Matrix3 local = controller_ ? controller_->LocalTM(t, local_) : local_;
    const Matrix3 world = parent_ ? local * parent_->GetNodeTM(t) : local;
    if (keeps && scene_->KeepTransform()) worlds_.Add(t, world);
    return world;
}

void HostNode::ForgetWorldTransforms() {
    worlds_.Clear();
    for (const std::unique_ptr<HostNode>& child : children_) child->ForgetWorldTransforms();
}

Matrix3 HostNode::GetObjectTM(TimeValue t) { return offset_ * GetNodeTM(t); }

HostNode& HostNode::AddChild(std::string name) {
    children_.push_back(std::make_unique<HostNode>(*scene_, std::move(name), this));
    return *children_.back();
}

HostNode& HostNode::Transform(const Matrix3& local) {
    local_ = local;
    return *this;
}

HostNode& HostNode::Translate(const Point3& p) { return Transform(TransMatrix(p)); }

HostNode& HostNode::ObjectOffset(const Matrix3& offset) {
    offset_ = offset;
    return *this;
}

HostNode& HostNode::SetObject(Object* object) {
    object_ = object;
    return *this;
}

HostNode& HostNode::SetController(std::unique_ptr<HostControl> controller) {
    controller_ = std::move(controller);
    return *this;
}

HostNode& HostNode::SetMtl(Mtl* material) {
    material_ = material;
    return *this;
}

HostNode& HostNode::WireColor(uint32_t bgr) {
    wireColor_ = bgr & 0x00FFFFFFu;
    return *this;
}

HostNode& HostNode::SetRenderable(bool on) {
    renderable_ = on;
    return *this;
}

HostNode& HostNode::SetSelected(bool on) {
    selected_ = on;
    return *this;
}

HostNode& HostNode::SetHidden(bool on) {
    hidden_ = on;
    return *this;
}

// --- scene ---

HostScene::HostScene(std::string rootName) : root_(std::make_unique<HostNode>(*this, std::move(rootName), nullptr)) {}

void HostScene::FreezeTransforms(bool on) {
    if (frozen_ && !on) {
        root_->ForgetWorldTransforms();
        keptTransforms_ = 0;
    }
    frozen_ = on;
}

// Nodes go first: they only point at objects, and derived objects point at the objects beneath.
HostScene::~HostScene() {
    root_.reset();
    while (!objects_.empty()) objects_.pop_back();
}

const std::string& HostScene::GetDir(int kind) {
    static const std::string none;
    auto found = dirs_.find(kind);
    return found == dirs_.end() ? none : found->second;
}

void HostScene::ProgressStart(const char* title, bool showBar, ProgressFunction fn, void* arg) {
    HostProgressEvent event;
    event.kind = HostProgressEvent::Start;
    event.title = title ? title : "";
    event.flag = showBar;
    progress_.push_back(event);
    if (progressSink_) progressSink_->Start(event.title, showBar);
    // The host runs the work routine once the display is up; its result is not used.
    if (fn) fn(arg);
}

void HostScene::ProgressUpdate(int percent, bool showPercent, const char* title) {
    HostProgressEvent event;
    event.kind = HostProgressEvent::Update;
    event.title = title ? title : "";
    event.percent = percent;
    event.flag = showPercent;
    progress_.push_back(event);
    if (progressSink_) progressSink_->Update(percent, showPercent, event.title);
}

void HostScene::ProgressEnd() {
    HostProgressEvent event;
    event.kind = HostProgressEvent::End;
    progress_.push_back(event);
    if (progressSink_) progressSink_->End();
}

int HostScene::MessageBox(HostWindow, const char* text, const char* caption, unsigned style) {
    HostMessage message{text ? text : "", caption ? caption : "", style};
    messages_.push_back(message);
    return messageSink_ ? messageSink_(message) : kIdOk;
}

void HostScene::ExportFinished(const ExportReport& report) {
    report_ = report;
    if (reportSink_) reportSink_(report);
}

HostDerivedObject& HostScene::AddStackLevel(HostNode& node) {
    HostDerivedObject& level = AddObject(std::make_unique<HostDerivedObject>(node.object()));
    node.SetObject(&level);
    return level;
}

HostModifier& HostScene::AddModifier(HostNode& node, std::unique_ptr<HostModifier> modifier) {
    auto* top = dynamic_cast<HostDerivedObject*>(node.object());
    if (!top) top = &AddStackLevel(node);
    return top->AddModifier(std::move(modifier));
}
