#pragma once

#include "audio/output/OutputDevice.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvanta {

// An output without a sound card. Its clock takes every playing buffer's
// samples at the buffer's frequency, so whatever feeds the buffers works as it
// would with a device. The clock either runs on its own thread in real time
// or is stepped by hand (tests: no waiting). With capture on it also keeps
// every sample each buffer played.
class VirtualOutputDevice : public OutputDevice {
public:
    enum class Clock { RealTime, Manual };

    struct Options {
        Clock clock = Clock::RealTime;
        bool capture = false;
        // How often the real-time clock takes samples (a device's period).
        std::chrono::microseconds period{5000};
        // Samples taken but not yet heard, as a device's output latency.
        std::uint32_t latencyFrames = 0;
    };

    VirtualOutputDevice() : VirtualOutputDevice(Options{}) {}
    explicit VirtualOutputDevice(const Options& options);
    ~VirtualOutputDevice() override;

    const char* Name() const noexcept override { return m_options.capture ? "capture" : "virtual"; }

    // Manual clock: plays `frames` samples of every playing buffer.
    void AdvanceFrames(std::uint32_t frames);
    // Manual clock: plays `time` of every playing buffer, at its frequency.
    void AdvanceTime(std::chrono::nanoseconds time);

    // The device vanishes: every buffer is lost. The next `failedRestores`
    // attempts to restore fail before the device comes back.
    void SimulateLoss(int failedRestores = 0);

    // The buffer in a slot (the first one created takes slot 0), or null. On
    // the thread that creates and destroys the buffers.
    const OutputBuffer* Buffer(std::size_t slot) const noexcept {
        return slot < kMaxBuffers ? BufferInSlot(slot) : nullptr;
    }

    // Capture: the samples a buffer played, in order, by the buffer's serial.
    std::vector<std::int16_t> Captured(std::uint64_t serial) const;
    void ClearCaptured();

    // Clock passes run, and those that came more than a period late.
    std::uint64_t Passes() const noexcept { return m_passCount.load(std::memory_order_relaxed); }
    std::uint64_t LatePasses() const noexcept {
        return m_latePasses.load(std::memory_order_relaxed);
    }
    // Whether the real-time clock got a raised priority.
    bool ClockPriorityRaised() const noexcept { return m_priorityRaised.load(); }

protected:
    HResult RestoreDevice() noexcept override;

private:
    static constexpr std::uint32_t kScratchFrames = 512;

    void RunClock();
    // One pass of the clock: `seconds` of play, or `frames` samples when set.
    // A real-time pass gives its moment: a buffer started since the last pass
    // is owed only the time since its start, and its samples are stamped.
    void Pass(double seconds, std::uint32_t frames, std::chrono::steady_clock::time_point now = {});

    const Options m_options;
    // The clock's own state of each slot: the buffer last seen there, its start
    // generation, and the fraction of a sample it is owed.
    std::array<std::uint64_t, kMaxBuffers> m_serial{};
    std::array<std::uint32_t, kMaxBuffers> m_generation{};
    std::array<double, kMaxBuffers> m_owed{};
    std::array<std::int16_t, kScratchFrames> m_scratch{};

    std::atomic<int> m_failRestores{0};
    std::atomic<std::uint64_t> m_passCount{0};
    std::atomic<std::uint64_t> m_latePasses{0};
    std::atomic<bool> m_priorityRaised{false};

    mutable std::mutex m_captureMutex;
    std::map<std::uint64_t, std::vector<std::int16_t>> m_captured;

    std::mutex m_clockMutex; // only for waking the clock to stop
    std::condition_variable m_clockWake;
    bool m_stopClock = false;
    std::thread m_clock;
};

} // namespace lorvanta
