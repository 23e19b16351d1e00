#include "simstream.h"

#include "testpicture.h"

namespace KelCPP {
namespace Sim {

std::shared_ptr<SimStream> SimStream::Start(std::shared_ptr<IFrameObserver> observer)
{
    std::shared_ptr<SimStream> stream(new SimStream);
    stream->observer = std::move(observer);
    stream->statistics.missedTriggersKnown = true;
    // The thread keeps the stream alive: an observer that stops its own
    // stream leaves the thread to finish on its own.
    const std::lock_guard<std::mutex> lock(stream->mutex);
    stream->thread = std::thread([self = stream] { self->Run(); });
    return stream;
}

SimStream::~SimStream()
{
    // Only reached with a thread still attached when the thread itself let
    // go of the last reference; it is on its way out.
    if (thread.joinable())
        thread.detach();
}

void SimStream::Stop()
{
    std::thread ending;
    {
        std::unique_lock<std::mutex> lock(mutex);
        stopping = true;
        queue.clear();
        wake.notify_all();
        if (thread.joinable() && thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
            return;
        }
        finished.wait(lock, [this] { return done; });
        ending = std::move(thread);
    }
    if (ending.joinable())
        ending.join();
}

bool SimStream::Running()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return !stopping;
}

void SimStream::Push(std::int64_t timestampNs, std::uint32_t width, std::uint32_t height)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (stopping)
        return;
    if (queue.size() >= QueueDepth) {
        queue.pop_front();
        ++statistics.framesDropped;
    }
    // The camera numbers what it sends; a dropped frame leaves a gap.
    queue.push_back(Job{nextId++, timestampNs, width, height});
    wake.notify_one();
}

void SimStream::AddMissed(std::uint64_t count)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (!stopping)
        statistics.missedTriggers += count;
}

StreamStatistics SimStream::Statistics()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return statistics;
}

void SimStream::Run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping)
            break;
        const Job job = queue.front();
        queue.pop_front();
        const std::shared_ptr<IFrameObserver> target = observer;
        lock.unlock();
        auto frame = std::make_shared<Frame>();
        frame->id = job.id;
        frame->timestampNs = job.timestampNs;
        frame->width = job.width;
        frame->height = job.height;
        frame->status = KelFrameComplete;
        DrawTestPicture(*frame);
        target->FrameReceived(frame);
        lock.lock();
        ++statistics.framesDelivered;
    }
    // Released outside the lock: its destructor may call anything.
    std::shared_ptr<IFrameObserver> released = std::move(observer);
    lock.unlock();
    released.reset();
    lock.lock();
    done = true;
    finished.notify_all();
}

} // namespace Sim
} // namespace KelCPP
