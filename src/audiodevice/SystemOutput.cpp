#include "audiodevice/SystemOutput.h"

#include "audio/output/OutputChoice.h"
#include "audio/output/VirtualOutput.h"
#include "audiodevice/PortAudioOutput.h"

namespace lorvanta {

HResult OpenChosenOutput(std::unique_ptr<OutputDevice>& out) {
    return OpenNamedOutput({}, out);
}

HResult OpenNamedOutput(const std::string& device, std::unique_ptr<OutputDevice>& out) {
    const auto choice = OutputChoiceFromEnvironment();
    if (!choice)
        return HResult::InvalidArg;
    if (*choice == OutputChoice::Virtual) {
        out = std::make_unique<VirtualOutputDevice>();
        return HResult::Ok;
    }
    std::unique_ptr<PortAudioOutputDevice> card;
    const HResult result = PortAudioOutputDevice::Open(device, card);
    if (!Failed(result))
        out = std::move(card);
    return result;
}

} // namespace lorvanta
