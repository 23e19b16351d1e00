#ifndef KELCPP_FEATUREOBSERVER_H
#define KELCPP_FEATUREOBSERVER_H

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
    virtual ~IFeatureObserver();
};

} // namespace KelCPP

#endif
