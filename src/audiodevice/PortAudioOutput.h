#pragma once

#include "audio/output/OutputDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lorvanta {

// Figures of a running device, for tests and benchmarks.
struct DeviceOutputStats {
    double sampleRate = 0.0;            // the device's own rate
    std::uint64_t callbacks = 0;        // callbacks run
    std::uint64_t frames = 0;           // device frames delivered
    std::uint64_t deviceUnderflows = 0; // callbacks the device reported as late
    double outputLatency = 0.0;         // seconds, as the device reports it
    std::uint64_t streamStarts = 0;     // times the stream was started
    bool running = false;               // the stream runs now
};

// One output device the sound library offers.
struct OutputDeviceEntry {
    std::string name;    // "HOST: DEVICE", as listed and chosen
    std::string hostApi; // ALSA, JACK Audio Connection Kit, ...
    std::string device;
    bool isDefault = false; // the host's default output
};

// Every output device, grouped by host interface in the library's order. Empty
// when the library cannot start.
std::vector<OutputDeviceEntry> ListOutputDevices();

// A sound card, through PortAudio. Its callback mixes every playing buffer,
// each converted from its frequency to the card's rate; it never allocates,
// blocks or takes a lock.
//
// The stream runs only while something plays: it starts when a buffer starts
// and stops after a second with nothing playing, so that the sound server
// idles and the program sleeps. A running stream that stops calling back
// counts as vanished: every buffer is lost until the device is opened again,
// which a monitor thread tries once a second.
class PortAudioOutputDevice : public OutputDevice {
public:
    // `wanted`: a device's listed name, or its own name when that is unique;
    // empty for the default. A device not found opens the default, and
    // FellBack() says so. HResult::NoDriver when nothing can be opened.
    static HResult Open(const std::string& wanted, std::unique_ptr<PortAudioOutputDevice>& out);
    ~PortAudioOutputDevice() override;

    const char* Name() const noexcept override { return "device"; }
    DeviceOutputStats Stats() const;
    // Name of the card and of the host interface it was opened through.
    std::string DeviceName() const;
    std::string HostApiName() const;
    // The wanted device was not there and the default was opened instead.
    bool FellBack() const noexcept override;
    // HResult::NoDriver when neither it nor the default can be opened (then
    // the device counts as lost, and is reopened when it can be).
    HResult SelectDevice(const std::string& wanted) override;
    std::string DeviceLabel() const override;

    struct Impl;

protected:
    HResult RestoreDevice() noexcept override;
    HResult OnBufferAttached(std::size_t slot, OutputBuffer& buffer) override;
    void OnBufferDetached(std::size_t slot) noexcept override;
    void OnBufferStarted() noexcept override;

private:
    PortAudioOutputDevice();
    HResult OpenStream() noexcept;
    void CloseStream() noexcept;
    bool StartStream() noexcept;
    void Mix(float* output, std::uint32_t frames, double dacLatency) noexcept;
    void Monitor();

    std::unique_ptr<Impl> m_impl;
};

} // namespace lorvanta
