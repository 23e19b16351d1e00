// libFuzzer target: arbitrary bytes as a camera description. The loader
// either builds a camera or refuses with one short line; a camera it builds
// must then stand up to being read, written and run for a moment of
// simulated time. Nothing may crash, hang or trip a sanitizer.

#include "kelcpp/sim/simcamera.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace KelCPP;

// Reads the feature in the form its type calls for and writes the value
// back, which walks the conditions and the lists of what a write affects.
void Exercise(Feature& f)
{
    KelFeatureDataType type = KelFeatureDataUnknown;
    if (f.GetDataType(type) != KelError::Success)
        std::abort(); // a description's feature always has a type
    bool flag = false;
    f.IsReadable(flag);
    f.IsWritable(flag);
    switch (type) {
    case KelFeatureDataInt: {
        std::int64_t v = 0, min = 0, max = 0, inc = 0;
        f.GetRange(min, max);
        f.GetIncrement(inc);
        std::vector<std::int64_t> valid;
        f.GetValidValueSet(valid);
        if (f.GetValue(v) == KelError::Success)
            f.SetValue(v);
        break;
    }
    case KelFeatureDataFloat: {
        double v = 0, min = 0, max = 0;
        f.GetRange(min, max);
        if (f.GetValue(v) == KelError::Success)
            f.SetValue(v);
        break;
    }
    case KelFeatureDataEnum: {
        std::string v;
        std::vector<std::string> available;
        f.GetAvailableValues(available);
        if (f.GetValue(v) == KelError::Success)
            f.SetValue(v.c_str());
        break;
    }
    case KelFeatureDataString: {
        std::string v;
        if (f.GetValue(v) == KelError::Success)
            f.SetValue(v.c_str());
        break;
    }
    case KelFeatureDataBool:
        if (f.GetValue(flag) == KelError::Success)
            f.SetValue(flag);
        break;
    case KelFeatureDataRaw: {
        std::vector<std::uint8_t> v;
        if (f.GetValue(v) == KelError::Success)
            f.SetValue(v.data(), static_cast<std::uint32_t>(v.size()));
        break;
    }
    default:
        break; // commands: running them is the presets fuzzer's business
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    Sim::SimOptions options;
    options.live = false;
    const auto camera = Sim::SimCamera::FromJson(text, &error, options);
    if (!camera) {
        // A name and a problem, each cut to a few dozen characters: a line
        // of a few hundred at most.
        if (error.empty() || error.size() > 400 || error.find('\n') != std::string::npos) {
            std::fprintf(stderr, "bad refusal (%zu bytes): %.400s\n", error.size(), error.c_str());
            std::abort();
        }
        return 0;
    }
    FeaturePtrVector features;
    camera->GetFeatures(features);
    for (const FeaturePtr& feature : features)
        Exercise(*feature);
    // Runs the input signals, timers and frames the description sets going;
    // a longer step would mostly slow the fuzzer down.
    camera->Step(std::chrono::milliseconds(50));
    return 0;
}
