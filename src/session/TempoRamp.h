#pragma once

// Practice aids on the session's tempo, pure arithmetic: a tempo ramp (laya
// rising or falling by itself) and tap tempo. Tempos are in bpm, within the
// program's 10 to 1000 bpm.

#include "model/StatusTable.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace lorvanta {

// Why a ramp was refused.
enum class RampStatus : std::uint32_t {
    Ok = 0,
    TargetOutOfRange = 1,
    BadStep = 2,
    BadCycles = 3,
    BadMinutes = 4,
};

inline constexpr std::array<StatusEntry<RampStatus>, 5> kRampStatusTable{{
    {RampStatus::Ok, 0, ""},
    {RampStatus::TargetOutOfRange, 1, "The target tempo must lie between 10 and 1000 bpm."},
    {RampStatus::BadStep, 2, "The step must be more than 0 and at most 990 bpm."},
    {RampStatus::BadCycles, 3,
     "The number of cycles per step must be a whole number from 1 to 1000."},
    {RampStatus::BadMinutes, 4, "The minutes must be more than 0 and at most 600."},
}};
static_assert(StatusTableConsistent(kRampStatusTable));

constexpr const auto& StatusTableOf(RampStatus) {
    return kRampStatusTable;
}

// What the player asks of a ramp: to the target, either by `step` bpm every
// `cycles` cycles, or evenly over `minutes`.
struct RampRequest {
    enum class Form { Stepped, Even };
    Form form = Form::Stepped;
    double targetBpm = 120.0;
    double stepBpm = 10.0;
    int cycles = 2;
    double minutes = 5.0;
};

// The tempo a ramp gives after so many cycles or so much time from where it
// started; it moves towards the target (up or down) and holds there.
class TempoRamp {
public:
    // Checks the request; the start is clamped to 10..1000 bpm.
    static RampStatus Check(const RampRequest& request);
    // Only for a request Check passes.
    TempoRamp(double startBpm, const RampRequest& request);

    // Stepped: the start moved by one step per `cycles` cycles completed,
    // never past the target. Even: the start at 0 cycles.
    double TempoAfterCycles(std::uint64_t cycles) const;
    // Even: the straight line from the start to the target over the minutes,
    // then the target. Stepped: the start.
    double TempoAfter(std::chrono::duration<double> elapsed) const;

    bool IsStepped() const { return m_request.form == RampRequest::Form::Stepped; }
    double StartBpm() const { return m_startBpm; }
    double TargetBpm() const { return m_request.targetBpm; }

private:
    double m_startBpm;
    RampRequest m_request;
};

// Tap tempo: the mean interval of the last four taps; a tap more than 2 s
// after the one before starts over.
class TapTempo {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kTapsAveraged = 4;
    static constexpr std::chrono::milliseconds kRestartAfter{2000};

    // A tap at `at`: the tempo it gives (clamped to 10..1000 bpm), or none
    // while fewer than two taps belong together.
    std::optional<double> Tap(Clock::time_point at);
    void Reset() { m_count = 0; }

private:
    std::array<Clock::time_point, kTapsAveraged> m_taps{};
    int m_count = 0; // taps kept, the newest last
};

} // namespace lorvanta
