#ifndef KELCPP_ARAVIS_ARAVISCORE_H
#define KELCPP_ARAVIS_ARAVISCORE_H

// The shared state of one Aravis camera: the device, what was learnt from
// its GenICam description when it opened, the lock every device access
// takes, the notification dispatcher, the polling thread (which also samples
// the signal trace), and the image stream.

#include "araviscamera.h"

#include "../enumentry.h"
#include "../notificationdispatcher.h"

#include <arv.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace KelCPP {
namespace Aravis {

class AravisFeature;
class AravisStream;
class AravisTrace;

struct EntryInfo {
    EnumEntry entry;
    ArvGcFeatureNode* node = nullptr;
};

// What the description tells of a feature; fixed while the camera is open.
struct FeatureInfo {
    std::string name;
    ArvGcFeatureNode* node = nullptr;
    KelFeatureDataType type = KelFeatureDataUnknown;
    std::string displayName;
    std::string toolTip;
    std::string description;
    std::string category; // "/Parent/Child", from the category tree
    std::string unit;
    std::string representation;
    KelFeatureVisibilityType visibility = KelFeatureVisibilityBeginner;
    bool readable = true; // by access mode, before availability and locks
    bool writable = true;
    bool isVolatile = false; // a register behind it is not cacheable
    bool hasFloatIncrement = false;
    std::vector<EntryInfo> entries; // in the description's order
    std::vector<int> selected;      // features this selector governs
    // What a write of this feature may change besides itself: `moved` it
    // selects (they answer for another entry now), `affected` depend on it
    // through values, conditions, limits or addresses.
    std::vector<int> moved;
    std::vector<int> affected;

    int EntryByName(const char* entryName) const;
    int EntryByValue(std::int64_t entryValue) const;
};

class AravisCore : public std::enable_shared_from_this<AravisCore> {
public:
    // Takes over the reference to `device`.
    AravisCore(ArvDevice* device, std::string id, AravisOptions options);
    ~AravisCore();

    // Reads the description and starts polling; false with a reason when
    // the description has no features.
    bool Start(std::string* error);
    void Close();

    // Runs one call of feature `f`. A device call holds the lock and fails
    // with NotOpen once the camera is closed or lost.
    template <typename Body>
    KelErrorType Device(Body&& body)
    {
        ++deviceCalls;
        const std::lock_guard<std::mutex> lock(mutex);
        if (closed || lost)
            return KelError::NotOpen;
        return body();
    }
    template <typename Body>
    KelErrorType Local(Body&& body)
    {
        ++localCalls;
        if (closed)
            return KelError::NotOpen;
        return body();
    }

    const FeatureInfo& Info(int f) const { return infos[static_cast<std::size_t>(f)]; }
    const std::vector<std::shared_ptr<AravisFeature>>& Features() const { return features; }
    int Find(const char* name) const;

    // --- Device operations (lock held) ------------------------------------
    KelErrorType GetInt(int f, std::int64_t& value);
    KelErrorType GetFloat(int f, double& value);
    KelErrorType GetBool(int f, bool& value);
    KelErrorType GetText(int f, std::string& text);
    KelErrorType GetRaw(int f, std::vector<std::uint8_t>& data);
    KelErrorType SetInt(int f, std::int64_t value);
    KelErrorType SetFloat(int f, double value);
    KelErrorType SetBool(int f, bool value);
    KelErrorType SetText(int f, const char* value);
    KelErrorType SetRaw(int f, const std::uint8_t* data, std::uint32_t size);
    KelErrorType GetIntRange(int f, std::int64_t& min, std::int64_t& max);
    KelErrorType GetFloatRange(int f, double& min, double& max);
    KelErrorType GetIntIncrement(int f, std::int64_t& inc);
    KelErrorType GetFloatIncrement(int f, double& inc);
    KelErrorType IsEntryAvailable(int f, int entry, bool& available);
    KelErrorType GetAvailableEntries(int f, std::vector<int>& entries);
    KelErrorType RunCommand(int f);
    KelErrorType IsCommandDone(int f, bool& done);
    KelErrorType IsReadable(int f, bool& readable);
    KelErrorType IsWritable(int f, bool& writable);

    KelErrorType Register(int f, const std::shared_ptr<IFeatureObserver>& observer);
    KelErrorType Unregister(int f, const std::shared_ptr<IFeatureObserver>& observer);

    // --- The camera's controls ---------------------------------------------
    void SetPollRate(double hz);
    std::uint64_t PollCount() const { return polls; }
    bool IsConnected() const { return !closed && !lost; }
    const std::string& Id() const { return id; }
    std::uint64_t DeviceCallCount() const { return deviceCalls; }
    std::uint64_t LocalCallCount() const { return localCalls; }
    void ResetCallCounts()
    {
        deviceCalls = 0;
        localCalls = 0;
    }
    void WaitForNotifications() { dispatcher.WaitIdle(); }
    KelErrorType WriteMemory(std::uint64_t address, const std::vector<std::uint8_t>& data);
    bool IsClosed() const { return closed; }

    // --- Images and signals (Camera's) ---------------------------------------
    KelErrorType StartStream(const std::shared_ptr<IFrameObserver>& observer);
    KelErrorType StopStream();
    void GetStreamStatistics(StreamStatistics& statistics) const;
    // Null without LineStatusAll and LineSelector. One trace at a time: the
    // one still held elsewhere, else a new one; the polling thread samples
    // only while one is held.
    std::shared_ptr<SignalTrace> GetSignalTrace();

private:
    void ReadDescription();
    // The result code for an Aravis error; a transport failure marks the
    // camera lost.
    KelErrorType Fail(GError* error);
    // Implemented and available now (a feature or an entry).
    KelErrorType Available(ArvGcFeatureNode* node, bool& available);
    KelErrorType Available(int f, bool& available);
    // Availability and access mode, and the lock when `writable` is asked
    // for, evaluated now.
    KelErrorType Access(int f, bool& readable, bool* writable = nullptr);
    KelErrorType CheckReadable(int f, KelFeatureDataType type,
                               KelFeatureDataType alsoType = KelFeatureDataUnknown);
    KelErrorType CheckWritable(int f, KelFeatureDataType type);
    void NotifyWritten(int f);
    // After a write: its error, or the notifications of a success.
    KelErrorType Written(int f, GError* error);
    // The value of a polled feature, as text for comparison; empty when it
    // cannot be read now.
    std::string PollValue(int f);
    void PollLoop();
    // The image size a stream's buffers need (lock held).
    KelErrorType PayloadSize(std::size_t& size);
    // What a trace adds to the steady clock to tell the camera's time (lock held).
    std::int64_t TraceClockOffset();
    bool LatchTimestamp(const char* latch, const char* value, const char* tickFrequency, std::int64_t& ns);
    static void OnControlLost(ArvDevice* device, gpointer self);

    ArvDevice* device;
    ArvGc* genicam = nullptr;
    std::string id;
    std::vector<FeatureInfo> infos;
    std::unordered_map<std::string, int> index;
    std::vector<std::shared_ptr<AravisFeature>> features;
    std::vector<int> polled; // volatile features, in order
    int lineStatusAll = -1;  // the trace's feature, and its lines'
    int lineSelector = -1;
    std::size_t traceSamples;
    NotificationDispatcher dispatcher;
    gulong lostHandler = 0;

    std::atomic<bool> closed{false};
    std::atomic<bool> lost{false};
    std::atomic<std::uint64_t> deviceCalls{0};
    std::atomic<std::uint64_t> localCalls{0};
    std::atomic<std::uint64_t> polls{0};

    std::mutex mutex; // every use of the device and of the GenICam nodes

    std::mutex pollMutex; // guards pollRate and stopping
    std::condition_variable pollWake;
    double pollRate;
    bool stopping = false;
    std::thread pollThread;

    // Starting and stopping take turns: a GigE Vision stream channel serves
    // one stream, and releasing one closes the channel on the camera.
    mutable std::mutex streamMutex; // guards stream, streamBusy, lastStatistics
    std::condition_variable streamIdle;
    std::shared_ptr<AravisStream> stream;
    bool streamBusy = false; // a start or stop is under way
    StreamStatistics lastStatistics; // of the stream stopped last

    std::mutex traceMutex; // guards trace
    std::weak_ptr<AravisTrace> trace;
};

} // namespace Aravis
} // namespace KelCPP

#endif
