// Adding sampled keys to their tracks, on a second thread while the data pass goes on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "anim/anim_track.h"

class KeyBuilder;

// Adds the keys to the track now (AddKeys) and returns the keys the track stores, or hands them
// to builder and returns 0 when there is one.
uint32_t AddSampledKeys(AnimTrack& track, std::vector<SampledKey> keys, const KeyBasis& basis, const KeyReduction& r,
                        KeyBuilder* builder);

// Adds the sampled keys of whole tracks (AddSampledKeys without a builder). Making the key
// transforms from the host's poses and, with separate keys, decomposing them into scale,
// rotation and translation is the costly part of exporting animation. It needs nothing from
// the host, so once enough keys wait a worker thread adds them while the data pass goes on
// asking the host for the next node's poses; Finish() has the calling thread take its share of
// what is left and waits for the rest. One thread adds all keys of a track, in order, so the
// tracks do not depend on which.
class KeyBuilder {
public:
    KeyBuilder() = default;
    ~KeyBuilder();  // stops the worker; tracks not built yet stay as they are
    KeyBuilder(const KeyBuilder&) = delete;
    KeyBuilder& operator=(const KeyBuilder&) = delete;

    // Hands over the keys of track, to be added with basis and reduction r. The track must stay
    // where it is, untouched, until Finish() returns.
    void Add(AnimTrack& track, std::vector<SampledKey> keys, const KeyBasis& basis, const KeyReduction& r);
    // Builds every track handed over; returns the keys they store (TrackKeyCount) together.
    // Rethrows what building a track on the worker threw (running out of memory).
    uint32_t Finish();

private:
    struct Job {
        AnimTrack* track = nullptr;
        std::vector<SampledKey> keys;
        KeyBasis basis;
        KeyReduction reduction;
    };
    static uint32_t Build(Job& job);
    // Takes the oldest job and builds it; false when there is none.
    bool BuildNext(std::unique_lock<std::mutex>& lock);
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;  // the worker: a job arrived, or stop
    std::condition_variable idle_;  // Finish: the worker ended a job
    std::deque<Job> jobs_;
    size_t queuedKeys_ = 0;
    bool working_ = false;  // the worker is building a job
    bool stop_ = false;
    uint32_t keyCount_ = 0;
    std::exception_ptr failure_;  // thrown on the worker
    std::thread worker_;
};
