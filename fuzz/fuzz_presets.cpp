// libFuzzer target: arbitrary bytes as a presets file, read as the page
// reads it, and every preset found applied to a simulated camera. Anything
// may fail to apply; nothing may crash, hang or trip a sanitizer.

#include "features/featuremanager.h"
#include "kelcpp/sim/simcamera.h"
#include "presets/presetapplier.h"
#include "presets/presetsfile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Small enough to build for every input, varied enough to reach every
// branch of the applier: a selector with an entry that is not always
// available, features selected by it, numbers with increments and limits,
// every data type, read-only and conditional access, commands that the
// simulator's live model acts on.
const char* const description = R"json({ "format": 1, "features": [
  { "name": "DeviceVendorName", "type": "String", "access": "RO", "value": "Brennix Vision Systems" },
  { "name": "DeviceUserID", "type": "String", "maxLength": 16 },
  { "name": "TriggerSelector", "type": "Enumeration", "value": "AcquisitionStart",
    "entries": [ "FrameStart", "AcquisitionStart", { "name": "ExposureEnd", "availableWhen": { "PtpEnable": "true" } } ] },
  { "name": "TriggerMode", "type": "Enumeration", "selectedBy": "TriggerSelector", "entries": [ "Off", "On" ],
    "writableWhen": { "TLParamsLocked": 0 } },
  { "name": "TriggerSource", "type": "Enumeration", "selectedBy": "TriggerSelector",
    "entries": [ "Software", "Line0", "Timer0End" ] },
  { "name": "TriggerDelay", "type": "Float", "selectedBy": "TriggerSelector", "min": 0.5, "max": 1000, "inc": 0.5, "value": 1 },
  { "name": "TriggerDivider", "type": "Integer", "selectedBy": "TriggerSelector", "min": 1, "max": 255 },
  { "name": "TriggerSoftware", "type": "Command", "selectedBy": "TriggerSelector" },
  { "name": "ExposureTime", "type": "Float", "min": 15, "max": 1e7, "value": 5000 },
  { "name": "AcquisitionFrameCount", "type": "Integer", "min": 1, "max": 1001, "inc": 4, "value": 5 },
  { "name": "GevSCPSPacketSize", "type": "Integer", "validValues": [ 576, 1500, 9000 ], "value": 1500 },
  { "name": "ActionDeviceKey", "type": "Integer", "access": "WO", "max": 4294967295 },
  { "name": "PtpEnable", "type": "Boolean" },
  { "name": "DeviceTemperature", "type": "Float", "access": "RO", "min": -40, "max": 125, "value": 40 },
  { "name": "LutValueAll", "type": "Raw", "size": 4 },
  { "name": "LineSelector", "type": "Enumeration", "entries": [ "Line0", "Line1" ] },
  { "name": "LineMode", "type": "Enumeration", "selectedBy": "LineSelector", "writableWhen": { "LineSelector": "Line1" },
    "entries": [ "Input", { "name": "Output", "availableWhen": { "LineSelector": "Line1" } } ] },
  { "name": "LineSource", "type": "Enumeration", "selectedBy": "LineSelector", "writableWhen": { "LineMode": "Output" },
    "entries": [ "Off", "ExposureActive", "Timer0Active" ] },
  { "name": "TimerSelector", "type": "Enumeration", "entries": [ "Timer0" ] },
  { "name": "TimerTriggerSource", "type": "Enumeration", "selectedBy": "TimerSelector",
    "entries": [ "Off", "Line0", "Timer0Active" ] },
  { "name": "TimerTriggerActivation", "type": "Enumeration", "selectedBy": "TimerSelector",
    "entries": [ "RisingEdge", "FallingEdge" ] },
  { "name": "TimerDuration", "type": "Float", "selectedBy": "TimerSelector", "max": 1e6, "value": 500 },
  { "name": "TimerDelay", "type": "Float", "selectedBy": "TimerSelector", "max": 1e6, "value": 500 },
  { "name": "TimerReset", "type": "Command", "selectedBy": "TimerSelector" },
  { "name": "AcquisitionStart", "type": "Command" },
  { "name": "AcquisitionStop", "type": "Command" },
  { "name": "TLParamsLocked", "type": "Integer", "access": "RO", "max": 1 },
  { "name": "UserSetSelector", "type": "Enumeration", "entries": [ "Default" ] },
  { "name": "UserSetLoad", "type": "Command", "selectedBy": "UserSetSelector" }
] })json";

void Discard(QtMsgType, const QMessageLogContext&, const QString&) {}

// One file rewritten for every input: Read only takes a path.
struct Scratch {
    Scratch()
    {
        // The feature manager reports every failed write on Qt's debug channel.
        qInstallMessageHandler(Discard);
        if (!dir.isValid())
            std::abort();
        path = dir.filePath(QStringLiteral("AdvTrigger_Presets.json"));
    }
    QTemporaryDir dir;
    QString path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Scratch scratch;
    {
        QFile file(scratch.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const QList<PresetEntry> presets = PresetsFile::Read(scratch.path, scratch.dir.path());
    if (presets.isEmpty())
        return 0;

    // A fresh camera for every input, so that a crash replays from its input alone.
    std::string error;
    KelCPP::Sim::SimOptions options;
    options.live = false;
    const auto camera = KelCPP::Sim::SimCamera::FromJson(description, &error, options);
    if (!camera)
        std::abort();
    KelCPP::FeaturePtrVector features;
    camera->GetFeatures(features);
    FeatureList wrappers(new QVector<KelFeatureWrapperPtr>());
    for (const KelCPP::FeaturePtr& feature : features)
        wrappers->append(std::make_shared<KelFeatureWrapper>(feature));
    FeatureManager manager(wrappers);
    PresetApplier applier(&manager);
    for (const PresetEntry& preset : presets)
        applier.Apply(preset.body);
    return 0;
}
