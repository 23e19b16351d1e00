#include "araviscamera.h"

#include "araviscore.h"
#include "aravisfeature.h"

#include <mutex>

namespace KelCPP {
namespace Aravis {

namespace {

std::string Text(const char* text)
{
    return text ? text : "";
}

// Aravis's device list is global state; callers may come from any thread.
std::mutex& SystemMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<AravisCamera> Finish(ArvDevice* device, GError* openError, const std::string& id,
                                     std::string* error, AravisOptions options,
                                     std::shared_ptr<AravisCamera> (*make)(std::shared_ptr<AravisCore>))
{
    if (!device) {
        if (error)
            *error = "cannot open camera " + id + ": " + (openError ? openError->message : "unknown error");
        if (openError)
            g_error_free(openError);
        return nullptr;
    }
    auto core = std::make_shared<AravisCore>(device, id, options);
    std::string why;
    if (!core->Start(&why)) {
        if (error)
            *error = "camera " + id + ": " + why;
        return nullptr;
    }
    return make(std::move(core));
}

} // namespace

std::vector<CameraInfo> ListCameras()
{
    const std::lock_guard<std::mutex> lock(SystemMutex());
    arv_update_device_list();
    std::vector<CameraInfo> cameras;
    const unsigned int count = arv_get_n_devices();
    for (unsigned int i = 0; i < count; ++i) {
        cameras.push_back({Text(arv_get_device_id(i)), Text(arv_get_device_vendor(i)),
                           Text(arv_get_device_model(i)), Text(arv_get_device_serial_nbr(i)),
                           Text(arv_get_device_address(i)), Text(arv_get_device_protocol(i))});
    }
    return cameras;
}

AravisCamera::AravisCamera(std::shared_ptr<AravisCore> c)
    : core(std::move(c))
{
}

std::shared_ptr<AravisCamera> AravisCamera::Open(const std::string& id, std::string* error,
                                                 AravisOptions options)
{
    std::string deviceId = id;
    ArvDevice* device = nullptr;
    GError* openError = nullptr;
    {
        const std::lock_guard<std::mutex> lock(SystemMutex());
        if (deviceId.empty()) {
            arv_update_device_list();
            if (arv_get_n_devices() == 0) {
                if (error)
                    *error = "no camera found (Aravis searched GigE Vision and USB3 Vision)";
                return nullptr;
            }
            deviceId = Text(arv_get_device_id(0));
        }
        device = arv_open_device(deviceId.c_str(), &openError);
    }
    return Finish(device, openError, deviceId, error, options, [](std::shared_ptr<AravisCore> c) {
        return std::shared_ptr<AravisCamera>(new AravisCamera(std::move(c)));
    });
}

std::shared_ptr<AravisCamera> AravisCamera::OpenFake(const std::string& genicamFile, std::string* error,
                                                     AravisOptions options)
{
    ArvDevice* device = nullptr;
    GError* openError = nullptr;
    {
        const std::lock_guard<std::mutex> lock(SystemMutex());
        arv_set_fake_camera_genicam_filename(genicamFile.c_str());
        device = arv_fake_device_new("KELFAKE", &openError);
    }
    return Finish(device, openError, "fake:" + genicamFile, error, options, [](std::shared_ptr<AravisCore> c) {
        return std::shared_ptr<AravisCamera>(new AravisCamera(std::move(c)));
    });
}

AravisCamera::~AravisCamera()
{
    core->Close();
}

KelErrorType AravisCamera::GetFeatures(FeaturePtrVector& list) const
{
    list.assign(core->Features().begin(), core->Features().end());
    return KelError::Success;
}

KelErrorType AravisCamera::GetFeatureByName(const char* name, FeaturePtr& feature) const
{
    if (!name || !*name)
        return KelError::BadParameter;
    const int f = core->Find(name);
    if (f < 0)
        return KelError::NotFound;
    feature = core->Features()[static_cast<std::size_t>(f)];
    return KelError::Success;
}

std::size_t AravisCamera::FeatureCount() const
{
    return core->Features().size();
}

KelErrorType AravisCamera::StartStream(const std::shared_ptr<IFrameObserver>& observer)
{
    return core->StartStream(observer);
}

KelErrorType AravisCamera::StopStream()
{
    return core->StopStream();
}

KelErrorType AravisCamera::GetStreamStatistics(StreamStatistics& statistics) const
{
    core->GetStreamStatistics(statistics);
    return KelError::Success;
}

std::shared_ptr<SignalTrace> AravisCamera::GetSignalTrace() const
{
    return core->GetSignalTrace();
}

void AravisCamera::SetPollRate(double hz)
{
    core->SetPollRate(hz);
}

std::uint64_t AravisCamera::PollCount() const
{
    return core->PollCount();
}

bool AravisCamera::IsConnected() const
{
    return core->IsConnected();
}

std::string AravisCamera::DeviceId() const
{
    return core->Id();
}

std::uint64_t AravisCamera::DeviceAccessCount() const
{
    return core->DeviceCallCount();
}

std::uint64_t AravisCamera::LocalCallCount() const
{
    return core->LocalCallCount();
}

void AravisCamera::ResetCallCounts()
{
    core->ResetCallCounts();
}

void AravisCamera::WaitForNotifications() const
{
    core->WaitForNotifications();
}

KelErrorType AravisCamera::WriteMemory(std::uint64_t address, const std::vector<std::uint8_t>& data)
{
    return core->WriteMemory(address, data);
}

} // namespace Aravis
} // namespace KelCPP
