// The stand-in host's in-memory scene: the host interface, the node tree and the objects.
//
// HostScene implements Interface (what the exporter asks of the host during an export) and owns
// the root node, every scene object and the sinks that show messages and progress. HostNode
// implements INode. Build scenes with SceneBuilder (scene_builder.h) or LoadSceneDocument.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/objects/bitmap_writer.h"
#include "host/objects/host_materials.h"
#include "host/objects/host_objects.h"
#include "sdk/control.h"
#include "sdk/host.h"
#include "sdk/node.h"

// A transform controller of the stand-in host. For now it only carries its class id (the
// exporter tests the footstep class); keyed controllers derive from it and override LocalTM.
class HostControl : public Control {
public:
    explicit HostControl(Class_ID classId) : classId_(classId) {}
    Class_ID ClassID() const override { return classId_; }
    SClass_ID SuperClassID() const override { return kCtrlMatrix3ClassId; }
    // The node's transform relative to its parent at t; `rest` is the node's static transform.
    virtual Matrix3 LocalTM(TimeValue /*t*/, const Matrix3& rest) const { return rest; }
    virtual std::unique_ptr<HostControl> Clone() const { return std::make_unique<HostControl>(*this); }

private:
    Class_ID classId_;
};

class HostScene;

// The world transforms one node worked out while its scene is frozen, by time. Kept in the order
// made. The exporter asks for a node's times in increasing order, so the time after the one found
// last is tried first, then the entries are searched by bisection while they are in time order,
// and through a table of times once a time came out of order.
class KeptWorlds {
public:
    // The transform kept for t, or null.
    const Matrix3* Find(TimeValue t);
    // Keeps the transform of a time not kept yet.
    void Add(TimeValue t, const Matrix3& world);
    void Clear() { *this = KeptWorlds(); }

private:
    struct Entry {
        TimeValue time;
        Matrix3 world;
    };
    std::vector<Entry> entries_;
    // Open addressing by time (empty while the entries are in time order): an entry's index + 1,
    // 0 when free.
    std::vector<uint32_t> slots_;
    size_t last_ = 0;              // the entry found or added last
};

class HostNode final : public INode {
public:
    HostNode(HostScene& scene, std::string name, HostNode* parent);

    // INode
    const char* GetName() override { return name_.c_str(); }
    int NumberOfChildren() override { return static_cast<int>(children_.size()); }
    INode* GetChildNode(int i) override;
    INode* GetParentNode() override { return parent_; }
    bool IsRootNode() override { return parent_ == nullptr; }
    // The local transform (the controller's at t, else the static one) times the parent's.
    // While the scene's transforms are frozen a node with children keeps the result, by time.
    Matrix3 GetNodeTM(TimeValue t) override;
    // The object offset times GetNodeTM(t).
    Matrix3 GetObjectTM(TimeValue t) override;
    Object* GetObjectRef() override { return object_; }
    Control* GetTMController() override { return controller_.get(); }
    Mtl* GetMtl() override { return material_; }
    uint32_t GetWireColor() override { return wireColor_; }
    bool Renderable() override { return renderable_; }
    bool Selected() override { return selected_; }
    bool IsNodeHidden() override { return hidden_; }

    // Building. Setters return the node so that calls chain.
    HostNode& AddChild(std::string name);
    HostNode& Transform(const Matrix3& local);         // relative to the parent
    HostNode& Translate(const Point3& p);              // local = TransMatrix(p)
    HostNode& ObjectOffset(const Matrix3& offset);     // applied before the node transform
    HostNode& SetObject(Object* object);               // top of the stack; the scene owns it
    HostNode& SetController(std::unique_ptr<HostControl> controller);
    HostNode& SetMtl(Mtl* material);
    HostNode& WireColor(uint32_t bgr);                 // 0x00BBGGRR
    HostNode& SetRenderable(bool on);
    HostNode& SetSelected(bool on);
    HostNode& SetHidden(bool on);

    // Reading (the scene document writer and tests).
    const std::string& name() const { return name_; }
    const HostNode* parent() const { return parent_; }
    const std::vector<std::unique_ptr<HostNode>>& children() const { return children_; }
    const Matrix3& localTransform() const { return local_; }
    const Matrix3& objectOffset() const { return offset_; }
    Object* object() const { return object_; }
    const HostControl* controller() const { return controller_.get(); }
    uint32_t wireColor() const { return wireColor_; }
    bool renderable() const { return renderable_; }
    bool selected() const { return selected_; }
    bool hidden() const { return hidden_; }
    HostScene& scene() const { return *scene_; }

    // Forgets the kept world transforms of this node and its descendants.
    void ForgetWorldTransforms();

private:
    HostScene* scene_;
    std::string name_;
    HostNode* parent_;
    std::vector<std::unique_ptr<HostNode>> children_;
    Matrix3 local_;
    Matrix3 offset_;
    Object* object_ = nullptr;
    std::unique_ptr<HostControl> controller_;
    Mtl* material_ = nullptr;
    uint32_t wireColor_ = 0x00FFFFFF;
    bool renderable_ = true;
    bool selected_ = false;
    bool hidden_ = false;
    KeptWorlds worlds_;  // GetNodeTM by time, while frozen
};

// A message box the exporter showed.
// An animation clip the host offers, in frames: one per animation of an imported file.
struct HostClip {
    std::string name;
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    friend bool operator==(const HostClip&, const HostClip&) = default;
};

struct HostMessage {
    std::string text;
    std::string caption;
    unsigned style = 0;
};

// One call of the progress display, recorded in order.
struct HostProgressEvent {
    enum Kind { Start, Update, End } kind = Start;
    std::string title;  // Start and Update (empty when none was given)
    int percent = 0;    // Update
    bool flag = false;  // Start: show bar; Update: show percent
};

// Where the progress display goes (the console bar, or nothing).
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Start(const std::string& title, bool showBar) = 0;
    virtual void Update(int percent, bool showPercent, const std::string& title) = 0;
    virtual void End() = 0;
};

// Shows a message box; returns the button pressed.
using MessageSink = std::function<int(const HostMessage&)>;

class HostScene final : public Interface {
public:
    explicit HostScene(std::string rootName = "Scene Root");
    ~HostScene() override;

    // Interface
    HostWindow GetMAXHWnd() override { return nullptr; }
    Interval GetAnimRange() override { return animRange_; }
    INode* GetRootNode() override { return root_.get(); }
    const std::string& GetDir(int kind) override;
    const std::string& GetCurFilePath() override { return filePath_; }
    int GetTicksPerFrame() override { return ticksPerFrame_; }
    int GetFrameRate() override { return frameRate_; }
    void ProgressStart(const char* title, bool showBar, ProgressFunction fn, void* arg) override;
    void ProgressUpdate(int percent, bool showPercent, const char* title) override;
    void ProgressEnd() override;
    int MessageBox(HostWindow owner, const char* text, const char* caption, unsigned style) override;
    BitmapManager* GetBitmapManager() override { return &bitmapManager_; }
    const std::vector<std::string>& GetExportOverrides() override { return overrides_; }
    bool GetCancel() override { return cancelCheck_ && cancelCheck_(); }
    void ExportFinished(const ExportReport& report) override;

    // Settings.
    void SetAnimRange(Interval range) { animRange_ = range; }
    void SetTicksPerFrame(int ticks) { ticksPerFrame_ = ticks; }
    void SetFrameRate(int rate) { frameRate_ = rate; }
    void SetDir(int kind, std::string dir) { dirs_[kind] = std::move(dir); }
    void SetCurFilePath(std::string path) { filePath_ = std::move(path); }
    const std::map<int, std::string>& dirs() const { return dirs_; }
    Interval animRange() const { return animRange_; }
    int ticksPerFrame() const { return ticksPerFrame_; }
    int frameRate() const { return frameRate_; }
    const std::string& filePath() const { return filePath_; }
    // The clip list the host offers for an export whose configuration names no clips; unset
    // when the scene offers none (an empty list offers "no clips").
    void SetClips(std::vector<HostClip> clips) { clips_ = std::move(clips); }
    const std::optional<std::vector<HostClip>>& clips() const { return clips_; }

    // What an import kept or left out of the file, in plain words naming the place ("node Body's
    // translation: ..."): the caller shows each line as a warning.
    void AddImportWarning(std::string warning) { importWarnings_.push_back(std::move(warning)); }
    const std::vector<std::string>& importWarnings() const { return importWarnings_; }

    // The scene's materials and texture maps; nodes point into it.
    HostMaterialLibrary& materials() { return materials_; }
    const HostMaterialLibrary& materials() const { return materials_; }

    HostNode& root() { return *root_; }
    const HostNode& root() const { return *root_; }

    // Takes ownership of an object and returns it (typed). Objects live as long as the scene.
    template <class T>
    T& AddObject(std::unique_ptr<T> object) {
        T& ref = *object;
        objects_.push_back(std::move(object));
        return ref;
    }
    // Puts a new stack level over the node's current object and makes it the node's object.
    HostDerivedObject& AddStackLevel(HostNode& node);
    // Adds a modifier to the node's top stack level, making a level when the node has none.
    HostModifier& AddModifier(HostNode& node, std::unique_ptr<HostModifier> modifier);

    // The one-run "KEY=VALUE" option settings GetExportOverrides hands out.
    void SetExportOverrides(std::vector<std::string> settings) { overrides_ = std::move(settings); }
    // What GetCancel asks; without one, an export is never cancelled.
    void SetCancelCheck(std::function<bool()> check) { cancelCheck_ = std::move(check); }
    // The report of the last export (unset until an export finished), and a callback for it.
    const std::optional<ExportReport>& report() const { return report_; }
    void SetReportSink(std::function<void(const ExportReport&)> sink) { reportSink_ = std::move(sink); }

    // Sinks. Without a message sink a message box returns kIdOk; it is always recorded.
    void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
    void SetProgressSink(ProgressSink* sink) { progressSink_ = sink; }
    const std::vector<HostMessage>& messages() const { return messages_; }
    const std::vector<HostProgressEvent>& progress() const { return progress_; }
    void ClearRecords() { messages_.clear(); progress_.clear(); }

    // While frozen, nodes with children keep the world transforms they work out, by time: an
    // exporter asks for every node and its parent at every sample, and without them each request
    // evaluates the whole chain of ancestors. No transform, controller or parent may change while frozen;
    // unfreezing forgets what was kept. At most kMaxKeptTransforms are kept in all.
    void FreezeTransforms(bool on);
    bool transformsFrozen() const { return frozen_; }
    // Counts a transform that a node wants to keep; false when the budget is spent.
    bool KeepTransform() { return keptTransforms_ < kMaxKeptTransforms ? (++keptTransforms_, true) : false; }
    static constexpr size_t kMaxKeptTransforms = size_t(1) << 18;

private:
    std::unique_ptr<HostNode> root_;
    std::vector<std::unique_ptr<Object>> objects_;
    HostMaterialLibrary materials_;
    HostBitmapManager bitmapManager_;
    Interval animRange_{0, 100 * 160};
    int ticksPerFrame_ = 160;
    int frameRate_ = 30;
    std::map<int, std::string> dirs_;
    std::string filePath_;
    std::optional<std::vector<HostClip>> clips_;
    std::vector<std::string> importWarnings_;
    MessageSink messageSink_;
    ProgressSink* progressSink_ = nullptr;
    std::vector<HostMessage> messages_;
    std::vector<HostProgressEvent> progress_;
    std::vector<std::string> overrides_;
    std::function<bool()> cancelCheck_;
    std::optional<ExportReport> report_;
    std::function<void(const ExportReport&)> reportSink_;
    bool frozen_ = false;
    size_t keptTransforms_ = 0;
};
