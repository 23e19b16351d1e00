#include "aravisstream.h"

#include <algorithm>
#include <new>
#include <utility>

namespace KelCPP {
namespace Aravis {

namespace {

// A handful: each filled buffer is copied and given back at once, so the
// camera only waits for a free one while a copy is under way.
constexpr int bufferCount = 6;
// Frames waiting for a busy observer; the oldest give way.
constexpr std::size_t queueFrames = 4;
// How long the receive thread waits for a buffer before it looks whether
// the stream stops: the longest a StopStream waits for it.
constexpr guint64 popTimeoutUs = 100000;

thread_local const void* deliveringFor = nullptr;

} // namespace

AravisStream::AravisStream(ArvStream* s, std::shared_ptr<IFrameObserver> o)
    : stream(s), observer(std::move(o))
{
}

AravisStream::~AravisStream()
{
    // Released by the camera with its lock held; this only covers a stream
    // whose start failed half-way.
    if (stream)
        g_object_unref(stream);
}

KelErrorType AravisStream::Start(ArvDevice* device, std::size_t payloadSize,
                                 const std::shared_ptr<IFrameObserver>& observer, const void* owner,
                                 std::shared_ptr<AravisStream>& started, GError** error)
{
    ArvStream* stream = arv_device_create_stream(device, nullptr, nullptr, error);
    if (!stream)
        return KelError::IO;
    for (int i = 0; i < bufferCount; ++i)
        arv_stream_push_buffer(stream, arv_buffer_new_allocate(payloadSize));
    started.reset(new AravisStream(stream, observer));
    // Each thread keeps the stream alive: a delivery thread that an observer
    // stopped from inside its call outlives the camera's hold on it.
    auto self = started;
    started->receiver = std::thread([self] { self->Receive(); });
    started->deliverer = std::thread([self, owner] { self->Deliver(owner); });
    return KelError::Success;
}

bool AravisStream::IsDeliveryThreadOf(const void* owner)
{
    return owner && deliveringFor == owner;
}

void AravisStream::Stop()
{
    {
        const std::lock_guard<std::mutex> lock(queueMutex);
        stopping = true;
        queue.clear();
    }
    queued.notify_all();
    if (receiver.joinable())
        receiver.join();
    if (deliverer.joinable()) {
        if (deliverer.get_id() == std::this_thread::get_id())
            deliverer.detach(); // the observer stops its own stream: it ends when the call returns
        else
            deliverer.join();
    }
    std::shared_ptr<IFrameObserver> released;
    {
        const std::lock_guard<std::mutex> lock(queueMutex);
        released.swap(observer);
    }
}

void AravisStream::Release()
{
    ArvStream* released = nullptr;
    {
        const std::lock_guard<std::mutex> lock(statisticsMutex);
        if (!stream)
            return;
        guint64 completed = 0, failures = 0, missed = 0;
        arv_stream_get_statistics(stream, &completed, &failures, &missed);
        underruns = missed;
        std::swap(released, stream);
    }
    // A GigE Vision stream closes its channel on the camera here, and its
    // buffers go with it.
    g_object_unref(released);
}

void AravisStream::ReleaseLater()
{
    auto self = shared_from_this();
    std::thread([self] { self->Release(); }).detach();
}

void AravisStream::Statistics(StreamStatistics& statistics) const
{
    std::uint64_t missed = 0;
    {
        const std::lock_guard<std::mutex> lock(statisticsMutex);
        missed = underruns;
        if (stream) {
            guint64 completed = 0, failures = 0, now = 0;
            arv_stream_get_statistics(stream, &completed, &failures, &now);
            missed = now;
        }
    }
    statistics = StreamStatistics();
    statistics.framesDelivered = delivered;
    statistics.framesIncomplete = incomplete;
    // Aravis's failures are frames it delivered incomplete, counted above.
    statistics.framesDropped = overflowed + missed;
    statistics.missedTriggersKnown = false; // GenICam has no generic counter of them
}

void AravisStream::Receive()
{
    while (!stopping) {
        ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, popTimeoutUs);
        if (!buffer)
            continue;
        FramePtr frame;
        try {
            frame = Copy(buffer);
        } catch (const std::bad_alloc&) {
            // Counted as dropped below.
        }
        arv_stream_push_buffer(stream, buffer);
        {
            const std::lock_guard<std::mutex> lock(queueMutex);
            if (!frame) {
                ++overflowed;
            } else {
                if (queue.size() == queueFrames) {
                    queue.pop_front();
                    ++overflowed;
                }
                queue.push_back(std::move(frame));
            }
        }
        queued.notify_one();
    }
}

void AravisStream::Deliver(const void* owner)
{
    deliveringFor = owner;
    std::unique_lock<std::mutex> lock(queueMutex);
    for (;;) {
        queued.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping)
            break;
        FramePtr frame = std::move(queue.front());
        queue.pop_front();
        std::shared_ptr<IFrameObserver> target = observer;
        lock.unlock();
        if (frame->status != KelFrameComplete)
            ++incomplete;
        ++delivered;
        try {
            target->FrameReceived(frame);
        } catch (...) {
            // An observer's failure must not end the stream.
        }
        // Released outside the lock: a last reference may call back in.
        target.reset();
        frame.reset();
        lock.lock();
    }
}

FramePtr AravisStream::Copy(ArvBuffer* buffer)
{
    auto frame = std::make_shared<Frame>();
    frame->id = Unwrap(arv_buffer_get_frame_id(buffer));
    frame->timestampNs = static_cast<std::int64_t>(arv_buffer_get_timestamp(buffer));
    frame->status = arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS ? KelFrameComplete
                                                                               : KelFrameIncomplete;
    std::size_t size = 0;
    const void* bytes = arv_buffer_get_data(buffer, &size);
    const ArvBufferPayloadType type = arv_buffer_get_payload_type(buffer);
    if (type == ARV_BUFFER_PAYLOAD_TYPE_IMAGE || type == ARV_BUFFER_PAYLOAD_TYPE_EXTENDED_CHUNK_DATA) {
        frame->width = static_cast<std::uint32_t>(std::max(0, arv_buffer_get_image_width(buffer)));
        frame->height = static_cast<std::uint32_t>(std::max(0, arv_buffer_get_image_height(buffer)));
        if (arv_buffer_get_image_pixel_format(buffer) == ARV_PIXEL_FORMAT_MONO_8)
            frame->pixelFormat = KelPixelFormatMono8;
        std::size_t imageSize = 0;
        if (const void* image = arv_buffer_get_image_data(buffer, &imageSize)) {
            bytes = image;
            size = imageSize;
        }
    }
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    if (!data)
        return frame;
    if (frame->pixelFormat != KelPixelFormatMono8) {
        frame->data.assign(data, data + size); // as the camera sent it
        return frame;
    }
    // Mono8 rows without the padding a camera may add; an incomplete frame
    // keeps the rows that arrived.
    gint xPadding = 0, yPadding = 0;
    arv_buffer_get_image_padding(buffer, &xPadding, &yPadding);
    const std::size_t width = frame->width;
    const std::size_t stride = width + static_cast<std::size_t>(std::max(0, xPadding));
    frame->data.reserve(width * frame->height);
    for (std::size_t row = 0; row < frame->height && row * stride < size; ++row) {
        const std::uint8_t* from = data + row * stride;
        frame->data.insert(frame->data.end(), from, from + std::min(width, size - row * stride));
    }
    return frame;
}

std::uint64_t AravisStream::Unwrap(std::uint64_t id)
{
    if (haveId && id < lastId && lastId <= 0xFFFF && lastId - id > 0x8000)
        idBase += 0xFFFF;
    haveId = true;
    lastId = id;
    return idBase + id;
}

} // namespace Aravis
} // namespace KelCPP
