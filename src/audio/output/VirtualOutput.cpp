#include "audio/output/VirtualOutput.h"

#include "audio/output/ThreadPriority.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace lorvanta {

VirtualOutputDevice::VirtualOutputDevice(const Options& options) : m_options(options) {
    if (m_options.clock == Clock::RealTime)
        m_clock = std::thread([this] { RunClock(); });
}

VirtualOutputDevice::~VirtualOutputDevice() {
    if (m_clock.joinable()) {
        {
            std::lock_guard lock(m_clockMutex);
            m_stopClock = true;
        }
        m_clockWake.notify_all();
        m_clock.join();
    }
}

void VirtualOutputDevice::RunClock() {
    m_priorityRaised.store(RaiseCurrentThreadPriority(ThreadPriority::Audio));
    using SteadyClock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<SteadyClock::duration>(m_options.period);
    auto last = SteadyClock::now();
    auto next = last + period;
    std::unique_lock lock(m_clockMutex);
    for (;;) {
        if (m_clockWake.wait_until(lock, next, [this] { return m_stopClock; }))
            return;
        const auto now = SteadyClock::now();
        if (now - next > period)
            m_latePasses.fetch_add(1, std::memory_order_relaxed);
        next += period;
        if (next < now)
            next = now + period;
        const double seconds = std::chrono::duration<double>(now - last).count();
        last = now;
        lock.unlock();
        Pass(seconds, 0, now);
        lock.lock();
    }
}

void VirtualOutputDevice::AdvanceFrames(std::uint32_t frames) {
    assert(m_options.clock == Clock::Manual);
    if (frames != 0)
        Pass(0.0, frames);
}

void VirtualOutputDevice::AdvanceTime(std::chrono::nanoseconds time) {
    assert(m_options.clock == Clock::Manual);
    Pass(std::chrono::duration<double>(time).count(), 0);
}

void VirtualOutputDevice::Pass(double seconds, std::uint32_t frames,
                               std::chrono::steady_clock::time_point now) {
    const bool realTime = now != std::chrono::steady_clock::time_point{};
    ConsumerPass pass(*this);
    m_passCount.fetch_add(1, std::memory_order_relaxed);
    for (std::size_t slot = 0; slot < kMaxBuffers; ++slot) {
        OutputBuffer* buffer = BufferInSlot(slot);
        if (buffer == nullptr || !buffer->IsPlaying()) {
            m_owed[slot] = 0.0;
            continue;
        }
        const std::uint32_t generation = buffer->StartGeneration();
        double owedSeconds = seconds;
        if (buffer->Serial() != m_serial[slot] || generation != m_generation[slot]) {
            m_serial[slot] = buffer->Serial();
            m_generation[slot] = generation;
            m_owed[slot] = 0.0;
            if (realTime) {
                const std::chrono::steady_clock::duration sinceStart(
                    now.time_since_epoch().count() - buffer->StartedAt());
                owedSeconds =
                    std::clamp(std::chrono::duration<double>(sinceStart).count(), 0.0, seconds);
            }
        }
        std::uint64_t due = frames;
        if (frames == 0) {
            m_owed[slot] += owedSeconds * buffer->Frequency();
            due = static_cast<std::uint64_t>(std::floor(m_owed[slot]));
            m_owed[slot] -= static_cast<double>(due);
        }
        buffer->SetLatencyBytes(m_options.latencyFrames * 2);
        while (due > 0) {
            const auto want =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(due, kScratchFrames));
            const std::uint32_t taken = buffer->Consume(m_scratch.data(), want);
            if (taken == 0)
                break;
            if (m_options.capture) {
                std::lock_guard lock(m_captureMutex);
                auto& heard = m_captured[buffer->Serial()];
                heard.insert(heard.end(), m_scratch.begin(), m_scratch.begin() + taken);
            }
            due -= taken;
            if (taken < want)
                break; // a one-shot buffer ended
        }
        if (realTime)
            buffer->StampTaken(now);
    }
}

void VirtualOutputDevice::SimulateLoss(int failedRestores) {
    m_failRestores.store(failedRestores);
    MarkAllLost();
}

HResult VirtualOutputDevice::RestoreDevice() noexcept {
    int left = m_failRestores.load();
    while (left > 0) {
        if (m_failRestores.compare_exchange_weak(left, left - 1))
            return HResult::BufferLost;
    }
    return HResult::Ok;
}

std::vector<std::int16_t> VirtualOutputDevice::Captured(std::uint64_t serial) const {
    std::lock_guard lock(m_captureMutex);
    const auto it = m_captured.find(serial);
    return it != m_captured.end() ? it->second : std::vector<std::int16_t>{};
}

void VirtualOutputDevice::ClearCaptured() {
    std::lock_guard lock(m_captureMutex);
    m_captured.clear();
}

} // namespace lorvanta
