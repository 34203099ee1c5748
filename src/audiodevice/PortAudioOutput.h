#pragma once

#include "audio/output/OutputDevice.h"

#include <cstdint>
#include <memory>

namespace lorvanta {

// Figures of a running device, for tests and benchmarks.
struct DeviceOutputStats {
    double sampleRate = 0.0;            // the device's own rate
    std::uint64_t callbacks = 0;        // callbacks run
    std::uint64_t frames = 0;           // device frames delivered
    std::uint64_t deviceUnderflows = 0; // callbacks the device reported as late
    double outputLatency = 0.0;         // seconds, as the device reports it
};

// The default sound card, through PortAudio. Its callback mixes every playing
// buffer, each converted from its frequency to the card's rate; it never
// allocates, blocks or takes a lock. A card that stops calling back counts as
// vanished: every buffer is lost until Restore opens the default card again.
class PortAudioOutputDevice : public OutputDevice {
public:
    // HResult::NoDriver when there is no output device to open.
    static HResult Open(std::unique_ptr<PortAudioOutputDevice>& out);
    ~PortAudioOutputDevice() override;

    const char* Name() const noexcept override { return "device"; }
    DeviceOutputStats Stats() const;
    // Name of the card and of the host interface it was opened through.
    const char* DeviceName() const noexcept;
    const char* HostApiName() const noexcept;

    struct Impl;

protected:
    HResult RestoreDevice() noexcept override;
    HResult OnBufferAttached(std::size_t slot, OutputBuffer& buffer) override;
    void OnBufferDetached(std::size_t slot) noexcept override;

private:
    PortAudioOutputDevice();
    HResult OpenStream() noexcept;
    void CloseStream() noexcept;
    void Mix(float* output, std::uint32_t frames, double dacLatency) noexcept;
    void Monitor();

    std::unique_ptr<Impl> m_impl;
};

} // namespace lorvanta
