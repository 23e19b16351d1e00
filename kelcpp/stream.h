#ifndef KELCPP_STREAM_H
#define KELCPP_STREAM_H

// Images from a camera. Frames flow only while a stream is started AND the
// camera acquires (the AcquisitionStart command, which the host runs as it
// always did): the stream is where frames go, acquisition is what makes them.

#include "kelcpptypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace KelCPP {

// Pixel formats by their GenICam pixel format naming convention number.
enum KelPixelFormatType : std::uint32_t {
    KelPixelFormatUnknown = 0,
    KelPixelFormatMono8 = 0x01080001,
};

enum KelFrameStatusType : std::uint32_t {
    KelFrameComplete = 0,
    KelFrameIncomplete = 1, // data missing or damaged on the way; `data` may be short
};

// One image as the camera delivered it. Immutable once handed out.
struct Frame {
    std::uint64_t id = 0;         // the camera's block id: counts up by one per frame it sent
    std::int64_t timestampNs = 0; // camera clock (the Timestamp feature's), at exposure start
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    KelPixelFormatType pixelFormat = KelPixelFormatUnknown;
    KelFrameStatusType status = KelFrameComplete;
    // Mono8: width × height bytes, rows top to bottom, no padding.
    std::vector<std::uint8_t> data;
};
// Frames are shared, read-only: an observer may keep one as long as it likes,
// on any thread, after the stream stopped and after the camera closed.
using FramePtr = std::shared_ptr<const Frame>;

// Receives the frames of a started stream.
class IFrameObserver {
public:
    // Runs on a thread the backend owns, one frame at a time, in the order the
    // camera sent them, without any backend lock held: it may call features.
    // It must return soon; frames that arrive while it runs wait in a short
    // queue, and the oldest are dropped (StreamStatistics::framesDropped) when
    // it is full.
    virtual void FrameReceived(const FramePtr& frame) = 0;
    virtual ~IFrameObserver();
};

// Counts since the stream was last started.
struct StreamStatistics {
    std::uint64_t framesDelivered = 0;  // handed to the observer, complete or not
    std::uint64_t framesIncomplete = 0; // of those, how many were incomplete
    std::uint64_t framesDropped = 0;    // never delivered: the queue was full or the transport lost them
    // Frame triggers the camera took no frame for, because it was still
    // exposing or holding one back. Only where the backend can know it.
    bool missedTriggersKnown = false;
    std::uint64_t missedTriggers = 0;
};

} // namespace KelCPP

#endif
