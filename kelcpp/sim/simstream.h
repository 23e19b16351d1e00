#ifndef KELCPP_SIM_SIMSTREAM_H
#define KELCPP_SIM_SIMSTREAM_H

// One started stream of the simulated camera. The live model hands over what
// a frame needs (Push, with the core's mutex held, so it must stay cheap);
// the stream's own thread draws the picture and calls the observer without
// any lock held, so that the observer may call back into the camera.

#include "../stream.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace KelCPP {
namespace Sim {

class SimStream : public std::enable_shared_from_this<SimStream> {
public:
    // Frames waiting for a slow observer; beyond this the oldest are dropped.
    static constexpr std::size_t QueueDepth = 8;

    // A running stream; `observer` must not be null.
    static std::shared_ptr<SimStream> Start(std::shared_ptr<IFrameObserver> observer);
    ~SimStream();

    // No more frames. Returns once the observer runs no more and is released.
    // Called by the observer itself, from FrameReceived, it cannot wait for
    // that: it returns at once, and the observer is released when
    // FrameReceived returns.
    void Stop();
    bool Running();
    // A frame whose exposure began at `timestampNs`; ignored once stopped.
    void Push(std::int64_t timestampNs, std::uint32_t width, std::uint32_t height);
    // Frame triggers the camera took no frame for.
    void AddMissed(std::uint64_t count);
    StreamStatistics Statistics();

private:
    struct Job {
        std::uint64_t id;
        std::int64_t timestampNs;
        std::uint32_t width, height;
    };

    SimStream() = default;
    void Run();

    std::mutex mutex; // guards every member below
    std::condition_variable wake;     // a job came, or Stop
    std::condition_variable finished; // the thread let the observer go
    std::deque<Job> queue;
    std::shared_ptr<IFrameObserver> observer;
    StreamStatistics statistics;
    std::uint64_t nextId = 1;
    bool stopping = false;
    bool done = false;
    std::thread thread;
};

} // namespace Sim
} // namespace KelCPP

#endif
