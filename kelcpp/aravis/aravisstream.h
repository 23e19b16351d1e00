#ifndef KELCPP_ARAVIS_ARAVISSTREAM_H
#define KELCPP_ARAVIS_ARAVISSTREAM_H

// One started image stream of an Aravis camera: Aravis's stream with a few
// buffers of the payload size, a thread of ours that takes each filled
// buffer, copies it into a Frame and gives the buffer back to Aravis at
// once, and a thread that hands the frames to the observer through a short
// queue. Aravis's stream queues are thread-safe; creating and releasing the
// stream talk to the device (a GigE Vision stream writes the stream channel
// registers), so those two run with the camera's lock held.

#include "../stream.h"

#include <arv.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace KelCPP {
namespace Aravis {

class AravisStream : public std::enable_shared_from_this<AravisStream> {
public:
    // With the camera's lock held. `owner` tags the delivery thread, so that
    // the camera can tell when its observer calls it (IsDeliveryThreadOf).
    // On failure `error` holds Aravis's reason.
    static KelErrorType Start(ArvDevice* device, std::size_t payloadSize,
                              const std::shared_ptr<IFrameObserver>& observer, const void* owner,
                              std::shared_ptr<AravisStream>& started, GError** error);
    ~AravisStream();

    AravisStream(const AravisStream&) = delete;
    AravisStream& operator=(const AravisStream&) = delete;

    // Ends delivery, without the camera's lock. From any other thread it
    // returns once the observer runs no more and is released. From the
    // observer itself it returns at once: nothing is delivered after the
    // call under way, whose thread ends by itself when it returns.
    void Stop();
    // After Stop, with the camera's lock held: Aravis's stream and buffers
    // go; the statistics keep their last counts.
    void Release();
    // The same on a thread of its own, for a camera that no longer answers:
    // the stream's goodbye to it would wait for Aravis's time-outs. Nobody
    // else uses a lost camera, and the stream holds its own reference to it.
    void ReleaseLater();

    void Statistics(StreamStatistics& statistics) const;
    // True on the thread that calls the observer of a stream of `owner`.
    static bool IsDeliveryThreadOf(const void* owner);

private:
    AravisStream(ArvStream* stream, std::shared_ptr<IFrameObserver> observer);
    void Receive();
    void Deliver(const void* owner);
    FramePtr Copy(ArvBuffer* buffer);
    // GigE Vision 1.x block ids are 16 bits wide and skip 0: 65535 is
    // followed by 1. Frame ids count on across the wrap.
    std::uint64_t Unwrap(std::uint64_t id);

    std::atomic<bool> stopping{false};
    std::thread receiver;
    std::thread deliverer;

    mutable std::mutex statisticsMutex; // guards `stream` against Release, and `underruns`
    ArvStream* stream;
    std::uint64_t underruns = 0; // Aravis's: frames that found no free buffer

    std::mutex queueMutex; // guards `queue` and `observer`
    std::condition_variable queued;
    std::deque<FramePtr> queue;
    std::shared_ptr<IFrameObserver> observer;

    // Receive thread only.
    bool haveId = false;
    std::uint64_t lastId = 0;
    std::uint64_t idBase = 0;

    std::atomic<std::uint64_t> delivered{0};
    std::atomic<std::uint64_t> incomplete{0};
    std::atomic<std::uint64_t> overflowed{0}; // dropped from a full queue
};

} // namespace Aravis
} // namespace KelCPP

#endif
