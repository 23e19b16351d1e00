#ifndef KELCPP_NOTIFICATIONDISPATCHER_H
#define KELCPP_NOTIFICATIONDISPATCHER_H

#include "kelcpptypes.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace KelCPP {

class Feature;
class IFeatureObserver;

// The observer registry and notification thread a backend shares among the
// features of one camera. Observers are called on the dispatcher's own
// thread, one notification at a time, with no lock held, so they may call
// back into the camera. A notification posted while an earlier one for the
// same feature still waits in the queue is merged into it, with the change
// types of both: an observer learns that and how the feature changed, not
// how often.
class NotificationDispatcher {
public:
    NotificationDispatcher();
    // Delivers nothing more; a callback under way is finished first.
    ~NotificationDispatcher();

    NotificationDispatcher(const NotificationDispatcher&) = delete;
    NotificationDispatcher& operator=(const NotificationDispatcher&) = delete;

    // BadParameter for a null observer or one already registered on the feature.
    KelErrorType Register(const Feature* feature, const std::shared_ptr<IFeatureObserver>& observer);
    // NotFound when the observer is not registered on the feature.
    KelErrorType Unregister(const Feature* feature,
                            const std::shared_ptr<IFeatureObserver>& observer);
    void UnregisterAll(const Feature* feature);
    std::size_t ObserverCount(const Feature* feature) const;

    // Queues a notification for the feature's observers; a feature without
    // observers is skipped at once. `changes` are KelFeatureChangeType bits.
    void Post(const std::shared_ptr<Feature>& feature,
              std::uint32_t changes = KelFeatureChangeValue);

    // Blocks until every notification posted before the call has been
    // delivered. Called on the notification thread itself it returns at once.
    void WaitIdle();

    bool IsNotificationThread() const;
    // Notifications delivered so far (one per feature per dispatch).
    std::uint64_t DeliveredCount() const;

private:
    // Shared with the thread, so that a dispatcher destroyed from inside a
    // callback (the observer dropped the last reference to the camera) can
    // let its thread finish on its own.
    struct State {
        mutable std::mutex mutex; // guards every member below
        std::condition_variable wake;
        std::condition_variable idle;
        std::unordered_map<const Feature*, std::vector<std::shared_ptr<IFeatureObserver>>> observers;
        std::deque<std::shared_ptr<Feature>> queue;
        std::unordered_map<const Feature*, std::uint32_t> queued; // with the changes merged so far
        bool dispatching = false;
        bool stopping = false;
        std::uint64_t delivered = 0;
    };
    static void Run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state;
    std::thread thread;
};

} // namespace KelCPP

#endif
