#include "notificationdispatcher.h"

#include "feature.h"
#include "featureobserver.h"

#include <algorithm>

namespace KelCPP {

NotificationDispatcher::NotificationDispatcher()
    : state(std::make_shared<State>())
{
    thread = std::thread(&NotificationDispatcher::Run, state);
}

NotificationDispatcher::~NotificationDispatcher()
{
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->stopping = true;
        state->queue.clear();
        state->queued.clear();
    }
    state->wake.notify_all();
    state->idle.notify_all();
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach(); // the thread holds its own share of `state`
    else
        thread.join();
}

KelErrorType NotificationDispatcher::Register(const Feature* feature,
                                              const std::shared_ptr<IFeatureObserver>& observer)
{
    if (!feature || !observer)
        return KelError::BadParameter;
    std::lock_guard<std::mutex> lock(state->mutex);
    auto& list = state->observers[feature];
    if (std::find(list.begin(), list.end(), observer) != list.end())
        return KelError::BadParameter;
    list.push_back(observer);
    return KelError::Success;
}

KelErrorType NotificationDispatcher::Unregister(const Feature* feature,
                                                const std::shared_ptr<IFeatureObserver>& observer)
{
    if (!feature || !observer)
        return KelError::BadParameter;
    std::lock_guard<std::mutex> lock(state->mutex);
    const auto it = state->observers.find(feature);
    if (it == state->observers.end())
        return KelError::NotFound;
    auto& list = it->second;
    const auto pos = std::find(list.begin(), list.end(), observer);
    if (pos == list.end())
        return KelError::NotFound;
    list.erase(pos);
    if (list.empty())
        state->observers.erase(it);
    return KelError::Success;
}

void NotificationDispatcher::UnregisterAll(const Feature* feature)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->observers.erase(feature);
}

std::size_t NotificationDispatcher::ObserverCount(const Feature* feature) const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    const auto it = state->observers.find(feature);
    return it == state->observers.end() ? 0 : it->second.size();
}

void NotificationDispatcher::Post(const std::shared_ptr<Feature>& feature, std::uint32_t changes)
{
    if (!feature || changes == KelFeatureChangeNone)
        return;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->stopping || state->observers.find(feature.get()) == state->observers.end())
            return;
        const auto merged = state->queued.emplace(feature.get(), changes);
        if (!merged.second) {
            merged.first->second |= changes;
            return;
        }
        state->queue.push_back(feature);
    }
    state->wake.notify_one();
}

void NotificationDispatcher::WaitIdle()
{
    if (IsNotificationThread())
        return;
    std::unique_lock<std::mutex> lock(state->mutex);
    state->idle.wait(lock, [this] {
        return state->stopping || (state->queue.empty() && !state->dispatching);
    });
}

bool NotificationDispatcher::IsNotificationThread() const
{
    return std::this_thread::get_id() == thread.get_id();
}

std::uint64_t NotificationDispatcher::DeliveredCount() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->delivered;
}

void NotificationDispatcher::Run(const std::shared_ptr<State>& shared)
{
    // Keep our own reference: `shared` lives in the dispatcher, which a
    // callback may destroy.
    const std::shared_ptr<State> s = shared;
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&s] { return s->stopping || !s->queue.empty(); });
        if (s->stopping)
            break;
        std::shared_ptr<Feature> feature = std::move(s->queue.front());
        s->queue.pop_front();
        const auto queued = s->queued.find(feature.get());
        const std::uint32_t changes = queued->second;
        s->queued.erase(queued);
        std::vector<std::shared_ptr<IFeatureObserver>> targets;
        const auto it = s->observers.find(feature.get());
        if (it != s->observers.end())
            targets = it->second;
        s->dispatching = true;
        lock.unlock();

        for (const auto& observer : targets) {
            try {
                observer->NotifyFeatureChanges(feature, changes);
            } catch (...) {
                // One observer's failure must not end notifications for the others.
            }
        }
        // Release outside the lock: a last reference may run code that calls back in.
        targets.clear();
        feature.reset();

        lock.lock();
        s->dispatching = false;
        ++s->delivered;
        if (s->queue.empty())
            s->idle.notify_all();
    }
    s->dispatching = false;
    s->idle.notify_all();
}

} // namespace KelCPP
