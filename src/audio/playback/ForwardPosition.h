#pragma once

#include <chrono>

namespace lorvanta {

// The beat shown while playing, smoothed so that it only moves forward: the
// estimate of the beat heard comes from cursors and latencies that jitter by
// a few milliseconds, and taken raw it would now and then step back, or run
// ahead while the device fills its buffer at the start. Within a cycle the
// beat shown never goes back (a wrap from the cycle's end to its start is a
// step forward), and it never runs faster than kCatchUp times the tempo.
class ForwardPosition {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kCatchUp = 1.25;

    // Playing starts (or resumes, or comes back after a lost output) at
    // `beat`, at `when`.
    void Restart(double beat, Clock::time_point when) noexcept {
        m_beat = beat;
        m_at = when;
        m_started = true;
    }
    bool Started() const noexcept { return m_started; }
    void Forget() noexcept { m_started = false; }

    // The beat to show for the estimate `beat` at `now`, in a cycle of
    // `cycleBeats` beats (beats run from 1 to cycleBeats + 1) playing
    // `beatsPerSecond`. Without `realTime` (an output stepped by hand, whose
    // estimates are exact) only the hold applies.
    double Next(double beat, double cycleBeats, double beatsPerSecond, Clock::time_point now,
                bool realTime = true) noexcept;

private:
    double m_beat = 1.0;
    Clock::time_point m_at{};
    bool m_started = false;
};

} // namespace lorvanta
