#include "audiodevice/SystemOutput.h"

#include "audio/output/OutputChoice.h"
#include "audio/output/VirtualOutput.h"
#include "audiodevice/PortAudioOutput.h"

namespace lorvanta {

HResult OpenChosenOutput(std::unique_ptr<OutputDevice>& out) {
    const auto choice = OutputChoiceFromEnvironment();
    if (!choice)
        return HResult::InvalidArg;
    if (*choice == OutputChoice::Virtual) {
        out = std::make_unique<VirtualOutputDevice>();
        return HResult::Ok;
    }
    std::unique_ptr<PortAudioOutputDevice> device;
    const HResult result = PortAudioOutputDevice::Open(device);
    if (!Failed(result))
        out = std::move(device);
    return result;
}

} // namespace lorvanta
