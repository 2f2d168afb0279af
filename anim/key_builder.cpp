#include "anim/key_builder.h"

#include <utility>

namespace {

// The worker starts once this many keys wait, some milliseconds of work. Below that a thread
// costs more than it saves: starting it costs, and systems that keep short bursts of work on
// one core (as some virtual machines do) run it on the caller's core, in turns with the caller.
// The calling thread adds fewer keys itself in Finish().
constexpr size_t kWorkerStartKeys = 8192;
// Keys waiting beyond this (about 14 MB of poses) are built by the caller before it hands
// over more, so a host that evaluates faster than the worker decomposes cannot fill memory.
constexpr size_t kMaxQueuedKeys = size_t(1) << 17;

}  // namespace

uint32_t AddSampledKeys(AnimTrack& track, std::vector<SampledKey> keys, const KeyBasis& basis, const KeyReduction& r,
                        KeyBuilder* builder) {
    if (builder) {
        builder->Add(track, std::move(keys), basis, r);
        return 0;
    }
    AddKeys(track, keys, basis, r);
    return TrackKeyCount(track);
}

KeyBuilder::~KeyBuilder() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

uint32_t KeyBuilder::Build(Job& job) {
    return AddSampledKeys(*job.track, std::exchange(job.keys, {}), job.basis, job.reduction, nullptr);
}

bool KeyBuilder::BuildNext(std::unique_lock<std::mutex>& lock) {
    if (jobs_.empty()) return false;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    queuedKeys_ -= job.keys.size();
    lock.unlock();
    const uint32_t count = Build(job);
    lock.lock();
    keyCount_ += count;
    return true;
}

void KeyBuilder::Add(AnimTrack& track, std::vector<SampledKey> keys, const KeyBasis& basis, const KeyReduction& r) {
    Job job{&track, std::move(keys), basis, r};
    std::unique_lock<std::mutex> lock(mutex_);
    while (queuedKeys_ + job.keys.size() > kMaxQueuedKeys && BuildNext(lock)) {
    }
    queuedKeys_ += job.keys.size();
    jobs_.push_back(std::move(job));
    if (!worker_.joinable() && queuedKeys_ >= kWorkerStartKeys) {
        worker_ = std::thread([this] { Work(); });
    } else if (!working_) {
        lock.unlock();
        wake_.notify_one();
    }
}

void KeyBuilder::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        working_ = true;
        try {
            BuildNext(lock);
        } catch (...) {
            if (!lock.owns_lock()) lock.lock();
            if (!failure_) failure_ = std::current_exception();
        }
        working_ = false;
        idle_.notify_one();
    }
}

uint32_t KeyBuilder::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (BuildNext(lock)) {
    }
    idle_.wait(lock, [this] { return !working_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    const uint32_t count = keyCount_;
    keyCount_ = 0;
    return count;
}
