#ifndef KELCPP_FEATUREOBSERVER_H
#define KELCPP_FEATUREOBSERVER_H

#include <cstdint>
#include <memory>

namespace KelCPP {

class Feature;

// Receives change notifications of the features it is registered on.
// NotifyFeatureChanged runs on a thread the backend owns, never on the thread
// that caused the change, and without any backend lock held: it may call
// back into any feature. The backend keeps a shared reference to the
// observer while it is registered.
class IFeatureObserver {
public:
    virtual void NotifyFeatureChanged(const std::shared_ptr<Feature>& feature) = 0;
    // What the backend calls: `changes` holds KelFeatureChangeType bits, never
    // none. The default passes the notification on to NotifyFeatureChanged,
    // for observers that do not care why.
    virtual void NotifyFeatureChanges(const std::shared_ptr<Feature>& feature, std::uint32_t changes);
    virtual ~IFeatureObserver();
};

} // namespace KelCPP

#endif
