// lorvanta-cli devices: the sound outputs `play --device` and the window's
// Options can choose, one a line as they are named there, grouped by host
// interface; the host's default is marked with "(default)".
#include "Commands.h"

#include "audiodevice/PortAudioOutput.h"

#include <cstdio>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "devices";

ExitCode RunDevices(const std::vector<std::string>& args) {
    CommandLine line;
    if (const auto exit = ReadArguments(args, kUsage, {}, 0, line))
        return *exit;
    const std::vector<OutputDeviceEntry> devices = ListOutputDevices();
    if (devices.empty()) {
        std::fprintf(stderr, "lorvanta-cli: no sound output device was found\n");
        return ExitCode::Failure;
    }
    for (const OutputDeviceEntry& device : devices)
        std::printf("%s%s\n", device.name.c_str(), device.isDefault ? " (default)" : "");
    return ExitCode::Ok;
}

} // namespace

const Command kDevicesCommand{"devices", kUsage, RunDevices};

} // namespace lorvanta::cli
